#include "base/ManualScheduler.h"
#include "base/QtScheduler.h"
#include "keyboard/VTTouchKeyboardController.h"
#include "platform/linux/X11PanelPlatform.h"
#include "platform/linux/XTestEventSink.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/TestSettings.h"
#include "tests/support/XEventRecorder.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "tests/support/QtPrinters.h"

namespace {

using Kind = RecordedXEvent::Kind;

// The keyboard on a real X desktop (Xvfb, openbox): an application of our
// own has the focus, a second XTest connection taps the panel's keys the
// way touch input does, and the keyboard types through the XTest sink.
// Hold-repeat runs on a virtual clock; everything else is real X traffic.
class KeyboardOnDesktopTest : public ::testing::Test, protected TestSettings {
protected:
    QtScheduler sinkClock;
    ManualScheduler clock{10.0};
    std::unique_ptr<XEventRecorder> client;
    std::unique_ptr<XTestEventSink> output;
    std::unique_ptr<XTestEventSink> finger;
    std::unique_ptr<PanelPlatform> platform;
    std::unique_ptr<VTTouchKeyboardController> keyboard;
    Display* x = nullptr; // to ask the server itself about the panel

    void SetUp() override
    {
        DesktopSession* desktop = DesktopSession::current();
        if (!desktop)
            GTEST_SKIP() << "no desktop to test on";
        ASSERT_TRUE(dir.isValid());
        x = XOpenDisplay(desktop->displayName().constData());
        ASSERT_TRUE(x);
        store.setSettingValue(SettingsKey::HoldRepeatInterval, 0.1);

        QString error;
        client = XEventRecorder::open(desktop->displayName(), &error, QRect(100, 80, 900, 300));
        ASSERT_TRUE(client) << error.toStdString();
        ASSERT_TRUE(waitFor([&] { return client->hasFocus(); })) << "the client never got the focus";
        output = XTestEventSink::open(sinkClock, &error, desktop->displayName().constData());
        ASSERT_TRUE(output) << error.toStdString();
        finger = XTestEventSink::open(sinkClock, &error, desktop->displayName().constData());
        ASSERT_TRUE(finger) << error.toStdString();
        platform = createPanelPlatform();
        keyboard = std::make_unique<VTTouchKeyboardController>(
            VTTouchKeyboardController::Environment{*output, clock, store, center, *platform, nullptr});
        keyboard->showKeyboard();
        ASSERT_TRUE(waitFor([&] { return panelViewable(); }));
    }

    void TearDown() override
    {
        keyboard.reset();
        finger.reset();
        output.reset();
        if (x)
            XCloseDisplay(x);
    }

    // Runs Qt and reads the client's events until the condition holds.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
    {
        return client->waitUntil([&](const XEventRecorder&) { return condition(); }, timeoutMs);
    }

    // Where the key is on the screen, from the server's idea of where the
    // panel is: the window manager may have moved it without Qt knowing yet.
    QPointF centreOf(const QString& label) const
    {
        const QPoint origin = panelOrigin();
        for (VTKeyboardButton* b : keyboard->keyButtons()) {
            const KeyDescriptor& key = b->descriptor();
            if (key.title == label || key.action == label || (label == "space" && key.text == " "))
                return QPointF(origin) + b->mapTo(keyboard->panel(), QPointF(b->rect().center()));
        }
        ADD_FAILURE() << "no key " << label.toStdString();
        return {};
    }

    void fingerOn(const QString& label, MouseEventType type)
    {
        finger->postMouseEvent(type, MouseButton::Left, centreOf(label), 0, 1);
        finger->sync();
    }

    // Taps a key and waits until it has done what it does.
    void tap(const QString& label, const std::function<bool()>& done)
    {
        fingerOn(label, MouseEventType::LeftDown);
        fingerOn(label, MouseEventType::LeftUp);
        ASSERT_TRUE(waitFor(done)) << "tapping " << label.toStdString();
        clock.runDue(); // the rebuild a layer key posts
    }
    void type(const QString& label, const QString& typedSoFar)
    {
        tap(label, [&] { return client->typedText() == typedSoFar; });
    }
    void latch(const QString& label, bool KeyboardState::*flag)
    {
        tap(label, [&] { return keyboard->state().*flag; });
    }

    Window panelWindow() const { return static_cast<Window>(keyboard->panel()->winId()); }

    QPoint panelOrigin() const
    {
        Window child = 0;
        int left = 0, top = 0;
        XTranslateCoordinates(x, panelWindow(), DefaultRootWindow(x), 0, 0, &left, &top, &child);
        return {left, top};
    }

    // Mapped as the server sees it: Qt may not have heard of a hide yet.
    bool panelViewable() const
    {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(x, panelWindow(), &attributes) && attributes.map_state == IsViewable;
    }

    bool panelRefusesFocus() const
    {
        XWMHints* hints = XGetWMHints(x, panelWindow());
        const bool refuses = hints && (hints->flags & InputHint) && !hints->input;
        if (hints)
            XFree(hints);
        return refuses;
    }
};

TEST_F(KeyboardOnDesktopTest, TypesIntoTheFocusedApplication)
{
    EXPECT_TRUE(panelRefusesFocus());
    latch("shift", &KeyboardState::_shiftOn);
    QString typed;
    const QStringList first = {"H", "E", "L", "L", "O", ",", "space", "W"};
    for (const QString& key : first)
        type(key, typed += key == "space" ? QStringLiteral(" ") : typed.isEmpty() ? key : key.toLower());
    latch("#+=", &KeyboardState::_symbolsOn);
    type("ö", typed += QStringLiteral("ö"));
    tap("abc", [&] { return !keyboard->state()._symbolsOn; });
    const QStringList second = {"R", "L", "D"};
    for (const QString& key : second)
        type(key, typed += key.toLower());
    latch("shift", &KeyboardState::_shiftOn);
    type("1", typed += "!");
    EXPECT_EQ(client->typedText(), QStringLiteral("Hello, wörld!"));

    client->clear();
    tap("backspace", [&] { return !client->eventsOf(Kind::KeyUp).empty(); });
    EXPECT_EQ(client->keysymsPressed(), std::vector<std::uint32_t>{XK_BackSpace});

    client->clear();
    latch("control", &KeyboardState::_controlOn);
    tap("A", [&] { return !client->eventsOf(Kind::KeyUp).empty(); });
    const auto presses = client->eventsOf(Kind::KeyDown);
    ASSERT_FALSE(presses.empty());
    EXPECT_EQ(presses.back().keysym, static_cast<std::uint32_t>(XK_a));
    EXPECT_TRUE(presses.back().state & ControlMask);
    EXPECT_FALSE(keyboard->state()._controlOn);

    client->settle(100);
    EXPECT_TRUE(client->nothingHeld());
    EXPECT_TRUE(client->hasFocus()) << "the panel took the focus";
}

TEST_F(KeyboardOnDesktopTest, HeldKeyRepeatsAndHidingLetsGoOfEverything)
{
    latch("hold", &KeyboardState::_holdMode);
    fingerOn("L", MouseEventType::LeftDown);
    ASSERT_TRUE(waitFor([&] { return client->typedText() == "l"; }));
    clock.advance(0.35);
    ASSERT_TRUE(waitFor([&] { return client->typedText() == "llll"; }));
    fingerOn("L", MouseEventType::LeftUp);
    ASSERT_TRUE(waitFor([&] { return !keyboard->logic().holdRunning(); }));
    clock.advance(1.0);
    client->settle(100);
    EXPECT_EQ(client->typedText(), "llll");

    // Modifiers latched when the panel hides are gone when it comes back.
    client->clear();
    latch("control", &KeyboardState::_controlOn);
    latch("option", &KeyboardState::_optionOn);
    tap("hide", [&] { return !keyboard->visible(); });
    keyboard->showKeyboard(); // at once, while the window manager may still be withdrawing it
    ASSERT_TRUE(waitFor([&] { return panelViewable(); }));
    type("A", "a");
    const auto presses = client->eventsOf(Kind::KeyDown);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].state & (ControlMask | Mod1Mask), 0u);
    client->settle(100);
    EXPECT_TRUE(client->nothingHeld());
    EXPECT_TRUE(client->hasFocus());
}

TEST_F(KeyboardOnDesktopTest, ComesBackOnTheLargestMonitorOfANewLayout)
{
    keyboard->hideKeyboard();
    XvfbServer& server = DesktopSession::current()->server();
    ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "LEFT", "600/160x900/240+0+0", "screen"}), 0);
    ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "RIGHT", "1000/260x900/240+600+0", "none"}), 0);
    const bool split = waitFor([] { return QGuiApplication::screens().size() == 2; });
    if (split) {
        keyboard->showKeyboard();
        ASSERT_TRUE(waitFor([&] { return panelViewable(); }));
        EXPECT_EQ(panelOrigin(), QPoint(600 + 110, 900 - 286 - 16));
    }
    server.runClient("xrandr", {"--delmonitor", "LEFT"});
    server.runClient("xrandr", {"--delmonitor", "RIGHT"});
    ASSERT_TRUE(split) << "Qt never saw the two monitors";
    EXPECT_TRUE(waitFor([] { return QGuiApplication::screens().size() == 1; }));
}

} // namespace
