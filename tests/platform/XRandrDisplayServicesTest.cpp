#include "platform/linux/XRandrDisplayServices.h"
#include "tests/support/XvfbServer.h"
#include "touch/DisplaySelection.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

TEST(XRandrDisplayServices, MonitorsKeepTheirIDsAcrossRestartsAndChangesAreReported)
{
    XvfbServer server{3840, 1080};
    if (!server.isRunning())
        GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
    QString error;
    auto displays = XRandrDisplayServices::open(&error, server.displayName().constData());
    ASSERT_TRUE(displays) << error.toStdString();

    // Without monitors the screen is the one main display.
    const auto screen = displays->activeDisplays();
    ASSERT_EQ(screen.size(), 1u);
    EXPECT_EQ(displays->mainDisplay(), screen[0]);
    EXPECT_EQ(displays->displayBounds(screen[0]), QRectF(0, 0, 3840, 1080));
    EXPECT_EQ(displays->displayPixelSize(screen[0]), QSize(3840, 1080));
    EXPECT_TRUE(displays->displayBounds(screen[0] + 1).isEmpty());

    QSignalSpy changed(displays.get(), &XRandrDisplayServices::displaysChanged);
    // Two 1920x1080 monitors side by side, the right one primary.
    ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "LEFT", "1920/508x1080/286+0+0", "screen"}), 0);
    ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "*RIGHT", "1920/508x1080/286+1920+0", "none"}), 0);
    EXPECT_TRUE(changed.wait(3000));
    const auto left = XRandrDisplayServices::idForMonitorName("LEFT");
    const auto right = XRandrDisplayServices::idForMonitorName("RIGHT");
    auto ids = displays->activeDisplays();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector{std::min(left, right), std::max(left, right)}));
    EXPECT_NE(left, right);
    EXPECT_EQ(displays->displayBounds(left), QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(displays->monitorName(right), QStringLiteral("RIGHT"));
    EXPECT_EQ(displays->mainDisplay(), right);
    EXPECT_EQ(DisplaySelection::selectedDisplayID(*displays, "secondary"), left);

    // A second connection (a restart) sees the same IDs, so a stored
    // selection still finds its monitor.
    auto again = XRandrDisplayServices::open(&error, server.displayName().constData());
    ASSERT_TRUE(again);
    const QString stored = QStringLiteral("display:%1").arg(right);
    EXPECT_EQ(DisplaySelection::selectedDisplayID(*again, stored), right);
    EXPECT_EQ(DisplaySelection::targetDisplayBounds(*again, stored), QRectF(1920, 0, 1920, 1080));
}
