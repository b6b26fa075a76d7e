#include "tests/gestures/GestureTestHarness.h"

namespace {

using Pointer = GestureEngineTest;

TEST_F(Pointer, TapsDragsAndThePendingPress)
{
    // A tap shorter than the delay clicks when it lifts; the press follows
    // the finger while it waits.
    touch({{100, 100}});
    touch({{103, 100}});
    advance(0.04);
    lift();
    EXPECT_EQ(brief(), "0.000 warp 100,100; 0.000 warp 103,100; 0.040 left-down at=103,100 click=1; "
                       "0.040 left-up at=103,100 click=1");
    // The lift fired the press: its timer must not fire another one into
    // the next touch before that touch's own delay.
    touch({{600, 600}});
    advance(0.09);
    EXPECT_EQ(brief(), "0.040 warp 600,600");
    lift();
    take();

    // Held past the delay: the timer presses, then moves of a point drag.
    advance(1.0);
    touch({{300, 300}});
    advance(0.1);
    touch({{300.6, 300.9}}); // below one point on both axes: not moved
    touch({{305, 300}});
    lift();
    EXPECT_EQ(brief(), "1.130 warp 300,300; 1.230 left-down at=300,300 click=1; 1.230 warp 305,300; "
                       "1.230 left-dragged at=305,300 click=1; 1.230 left-up at=305,300 click=1");
    tap({305, 300}); // a drag never starts a double click
    EXPECT_EQ(brief(), "1.250 left-down at=305,300 click=1; 1.250 left-up at=305,300 click=1");
}

TEST_F(Pointer, DoubleClicksCountOneTwoTwoWithinTwelvePointsAndTheInterval)
{
    auto clickCounts = [&](std::initializer_list<double> xs, double pause = 0.1) {
        QString counts;
        for (double x : xs) {
            tap({x, 100});
            advance(pause);
            counts += take("mouse").value(0).right(1);
        }
        return counts;
    };
    EXPECT_EQ(clickCounts({100, 108, 116}), "122");
    advance(1.0);
    EXPECT_EQ(clickCounts({500, 513, 525}), "112") << "13 points apart, then 12";
    EXPECT_EQ(clickCounts({525, 525}, 0.5), "21") << "past the interval";
}

TEST_F(Pointer, RightAndMiddleKeepTheirPressFlagsAndGroupsSwitchButtons)
{
    setMouseAction(InputType::Finger2, MouseAction::Right);
    setKeyboardAction(InputType::Finger2, KeyboardAction::Option);
    touch(pairAt(150, 100));
    setKeyboardAction(InputType::Finger2, KeyboardAction::None); // the press's flags stay
    touch(pairAt(150.5, 100));
    touch(pairAt(152, 100));
    lift();
    EXPECT_EQ(brief(), "0.000 warp 150,100; 0.000 right-down at=150,100 flags=0x80000; 0.000 warp 152,100; "
                       "0.000 right-dragged at=152,100 flags=0x80000; 0.000 right-up at=152,100 flags=0x80000");

    // Two fingers becoming three: one warp to the new centre, and the finger3
    // (Middle) step releases the held finger2 button.
    touch(pairAt(150, 100));
    touch({{100, 100}, {200, 100}, {150, 190}});
    touch({{100, 110}, {200, 110}, {150, 200}});
    lift();
    EXPECT_EQ(brief(), "0.000 warp 150,100; 0.000 right-down at=150,100; 0.000 warp 150,130; "
                       "0.000 right-up at=150,130; 0.000 other-down at=150,130; 0.000 warp 150,140; "
                       "0.000 other-dragged at=150,140; 0.000 other-up at=150,140");

    // The pen uses its own settings alone, and finger2's with a finger.
    setMouseAction(InputType::Pen, MouseAction::Middle);
    touch({{300, 300}}, ContactKindPen);
    lift();
    TouchContactList mixed = frameOf(pairAt(350, 300));
    mixed.contacts[0].kind = ContactKindPen;
    engine.handleContacts(mixed);
    lift();
    EXPECT_EQ(brief("mouse"), "0.000 other-down at=300,300; 0.000 other-up at=300,300; "
                              "0.000 right-down at=350,300; 0.000 right-up at=350,300");

    // Changing the held input's action: the left button goes up first.
    set(SettingsKey::TouchDelay, 0.0);
    touch({{500, 500}});
    setMouseAction(InputType::Finger1, MouseAction::Right);
    touch({{500, 500}});
    EXPECT_EQ(brief("mouse"), "0.000 left-down at=500,500 click=1; 0.000 left-up at=500,500 click=1; "
                              "0.000 right-down at=500,500");
}

TEST_F(Pointer, TheCompatibilityModeLetsGoAndAResetDropsAPendingPress)
{
    // A stop lets go as the bridge's unplug test shows; the test mode lets go
    // entering (the bridge's test shows it leaving).
    set(SettingsKey::TouchDelay, 0.0); // no delay: pressed in the touching frame
    touch({{200, 100}});
    engine.setCompatibilityTestMode(true);
    engine.setCompatibilityTestMode(true); // unchanged: nothing
    EXPECT_EQ(brief("mouse"), "0.000 left-down at=200,100 click=1; 0.000 left-up at=200,100 click=1");
    engine.setCompatibilityTestMode(false);
    lift();

    // A pending press is dropped, never posted, by a reset.
    set(SettingsKey::TouchDelay, 0.1);
    touch({{600, 600}});
    engine.stop();
    advance(1.0);
    lift();
    EXPECT_TRUE(take("mouse").isEmpty());
    EXPECT_FALSE(scheduler.hasPending());
}

TEST_F(Pointer, ASecondFingerDropsThePendingPressUnlessTheGroupClicksLeft)
{
    // finger2 scrolls by default: the single finger's press is dropped.
    touch({{100, 100}});
    touch({{100, 100}, {120, 100}});
    advance(0.2);
    lift();
    EXPECT_TRUE(take("mouse").isEmpty());

    // A group input set to Left clicks at its centre, at the lift (also when
    // the fingers lift one after the other) or after the delay.
    setMouseAction(InputType::Finger2, MouseAction::Left);
    touch(pairAt(210, 100));
    advance(0.04);
    touch({{200, 100}});
    lift();
    EXPECT_EQ(brief(), "0.200 warp 210,100; 0.240 left-down at=210,100 click=1; 0.240 left-up at=210,100 click=1");
    advance(1.0);
    touch(pairAt(310, 100));
    advance(0.1);
    touch(pairAt(310, 110));
    lift();
    EXPECT_EQ(brief("mouse"), "1.340 left-down at=310,100 click=1; 1.340 left-dragged at=310,110 click=1; "
                              "1.340 left-up at=310,110 click=1");
}

TEST_F(Pointer, FourOrMoreOnlyWarpAndTheFingerLeftOverIsIgnored)
{
    set(SettingsKey::TouchDelay, 0.0);
    touch({{100, 100}});
    take();
    touch({{100, 100}, {200, 100}, {300, 100}, {400, 100}, {500, 100}});
    touch({{110, 100}, {210, 100}, {310, 100}, {410, 100}, {510, 100}});
    EXPECT_EQ(brief(), "0.000 warp 300,100; 0.000 left-up at=300,100 click=1");
    touch({{700, 700}});
    touch({{750, 700}});
    lift();
    EXPECT_TRUE(take().isEmpty());
    touch({{750, 700}});
    EXPECT_EQ(take().size(), 2); // a new sequence acts again: warp and press
}

} // namespace
