#include "base/Notifications.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingBridgeHarness.h"
#include "tests/support/TwoMonitorDesktop.h"
#include "tests/support/XEventRecorder.h"
#include "visual/VTTouchIndicatorController.h"
#include "visual/VTTouchIndicatorView.h"
#include "tests/support/AssertEventually.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <X11/Xlib.h>

namespace {

using twomonitors::kLeft;
using twomonitors::kRight;

// Whether `window` is the top-most child of the root window.
bool onTop(unsigned long window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    bool top = false;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) && count > 0)
        top = children[count - 1] == window;
    if (children)
        XFree(children);
    XCloseDisplay(display);
    return top;
}

} // namespace

TEST(OverlayOnDesktop, ClicksPassThroughAndRipplesLandOnTheChosenMonitor)
{
    DesktopSession* session = DesktopSession::current();
    if (!session)
        GTEST_SKIP() << "no desktop";
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    QString error;
    // A window of another client below the overlay, recording what reaches it.
    std::unique_ptr<XEventRecorder> below = XEventRecorder::open(session->displayName(), &error);
    ASSERT_TRUE(below) << error.toStdString();

    const HidRecording recording =
        readHidRecordingFile(qEnvironmentVariable("VELOTAP_SOURCE_DIR") + "/resources/samples/demo.hid").value_or(HidRecording{});
    ASSERT_FALSE(recording.reports.isEmpty());
    RecordingBridgeHarness h(recording);
    h.displays.addDisplay(1, kLeft);
    h.displays.addDisplay(2, kRight);
    h.store.setSettingValue(SettingsKey::DisplaySelection, QStringLiteral("secondary"));
    h.store.setSettingValue(SettingsKey::ShowTouchIndicators, true);
    // Xvfb has no compositor: the overlay shows only the rings' own pixels.
    VTTouchIndicatorController controller({h.store, h.center, h.displays, h.scheduler, [] { return false; }});
    QWidget* overlay = controller.window();
    EXPECT_TRUE(controller.view().shaped());
    ASSERT_EVENTUALLY(overlay->isVisible() && overlay->windowHandle()->isExposed(), 5000);
    EXPECT_EQ(overlay->geometry(), kRight);
    ASSERT_EVENTUALLY(onTop(overlay->winId()), 5000);

    // The first touch of the demo lies at a quarter of the width, 30 % down.
    ASSERT_TRUE(h.bridge.start());
    h.deliverUntil(3);
    ASSERT_FALSE(controller.view().ripples().empty());
    const QPointF ripple = controller.view().ripples().front().point;
    EXPECT_NEAR(ripple.x(), 250, 1);
    EXPECT_NEAR(ripple.y(), 270, 1);

    // A click right on the ring reaches the window below.
    const QPoint click = overlay->mapToGlobal(ripple.toPoint());
    EXPECT_EQ(click, QPoint(850, 270));
    ASSERT_EQ(session->server().runClient("xdotool", {"mousemove", QString::number(click.x()),
                                                       QString::number(click.y()), "click", "1"}),
              0);
    ASSERT_TRUE(below->waitUntil([](const XEventRecorder& r) { return !r.pressesOf(1).empty(); }));
    EXPECT_EQ(below->pressesOf(1).front().x, click.x());
    EXPECT_EQ(below->pressesOf(1).front().y, click.y());
    EXPECT_FALSE(overlay->isActiveWindow());
    h.bridge.stop();
}
