#include "tests/gestures/GestureTestHarness.h"

namespace {

using Pointer = GestureEngineTest;

QStringList clickStates(const QStringList& mouseLines)
{
    QStringList states;
    for (const QString& line : mouseLines)
        states << line.section(QLatin1Char(' '), 2, 2) + QLatin1Char(' ') + line.section(QLatin1Char(' '), -1);
    return states;
}

TEST_F(Pointer, TapsAndThePendingPress)
{
    // A tap shorter than the delay clicks when it lifts.
    touch({{100, 100}});
    advance(0.04);
    lift();
    EXPECT_EQ(take(), QStringList({
                          "0.000 warp 100.00,100.00",
                          "0.040 mouse left-down button=0 at=100.00,100.00 flags=0x0 click=1",
                          "0.040 mouse left-up button=0 at=100.00,100.00 flags=0x0 click=1",
                      }));
    EXPECT_FALSE(scheduler.hasPending()) << "the fired press must not fire again";

    // Moving during the delay moves the press with it.
    advance(1.0);
    touch({{200, 200}});
    touch({{203, 200}});
    advance(0.05);
    lift();
    EXPECT_EQ(take("mouse"), QStringList({
                                 "1.090 mouse left-down button=0 at=203.00,200.00 flags=0x0 click=1",
                                 "1.090 mouse left-up button=0 at=203.00,200.00 flags=0x0 click=1",
                             }));

    // Held past the delay: the press comes from the timer, then drags.
    advance(1.0);
    touch({{300, 300}});
    advance(0.1);
    EXPECT_EQ(take("mouse"), QStringList({"2.190 mouse left-down button=0 at=300.00,300.00 flags=0x0 click=1"}));
    touch({{300.6, 300.9}}); // below one point on both axes: not moved
    EXPECT_TRUE(take().isEmpty());
    touch({{305, 300}});
    lift();
    EXPECT_EQ(take(), QStringList({
                          "2.190 warp 305.00,300.00",
                          "2.190 mouse left-dragged button=0 at=305.00,300.00 flags=0x0 click=1",
                          "2.190 mouse left-up button=0 at=305.00,300.00 flags=0x0 click=1",
                      }));

    // A drag never starts a double click.
    touch({{305, 300}});
    lift();
    EXPECT_EQ(clickStates(take("mouse")), QStringList({"left-down click=1", "left-up click=1"}));

    // Without a delay the press is posted in the touching frame.
    set(SettingsKey::TouchDelay, 0.0);
    advance(1.0);
    touch({{400, 400}});
    EXPECT_EQ(take("mouse"), QStringList({"3.190 mouse left-down button=0 at=400.00,400.00 flags=0x0 click=1"}));
    lift();
    EXPECT_EQ(take("mouse").size(), 1);
}

TEST_F(Pointer, DoubleClicksCountOneTwoTwoWithinTwelvePoints)
{
    auto tap = [&](double x) {
        touch({{x, 100}});
        advance(0.02);
        lift();
        advance(0.1);
    };
    tap(100);
    tap(108);
    tap(116);
    EXPECT_EQ(clickStates(take("mouse")), QStringList({"left-down click=1", "left-up click=1", "left-down click=2",
                                                       "left-up click=2", "left-down click=2", "left-up click=2"}));

    advance(1.0);
    tap(500);
    tap(513); // 13 points away
    tap(525); // 12 points away
    EXPECT_EQ(clickStates(take("mouse")), QStringList({"left-down click=1", "left-up click=1", "left-down click=1",
                                                       "left-up click=1", "left-down click=2", "left-up click=2"}));

    advance(1.0);
    tap(700);
    advance(0.5); // past the interval
    tap(700);
    EXPECT_EQ(clickStates(take("mouse")),
              QStringList({"left-down click=1", "left-up click=1", "left-down click=1", "left-up click=1"}));
}

TEST_F(Pointer, RightAndMiddleButtonsKeepTheirPressFlags)
{
    setMouseAction(InputType::Finger2, MouseAction::Right);
    setKeyboardAction(InputType::Finger2, KeyboardAction::Option);
    touch({{100, 100}, {200, 100}});
    setKeyboardAction(InputType::Finger2, KeyboardAction::None); // the press's flags stay
    touch({{100.5, 100}, {200.5, 100}});
    touch({{102, 100}, {202, 100}});
    lift();
    EXPECT_EQ(take(), QStringList({
                          "0.000 warp 150.00,100.00",
                          "0.000 mouse right-down button=1 at=150.00,100.00 flags=0x80000",
                          "0.000 warp 152.00,100.00",
                          "0.000 mouse right-dragged button=1 at=152.00,100.00 flags=0x80000",
                          "0.000 mouse right-up button=1 at=152.00,100.00 flags=0x80000",
                      }));

    // Two fingers becoming three: one warp to the new centre, the held
    // finger2 button is released by the finger3 (Middle) step.
    touch({{100, 100}, {200, 100}});
    touch({{100, 100}, {200, 100}, {150, 190}});
    touch({{100, 110}, {200, 110}, {150, 200}});
    lift();
    EXPECT_EQ(take(), QStringList({
                          "0.000 warp 150.00,100.00",
                          "0.000 mouse right-down button=1 at=150.00,100.00 flags=0x0",
                          "0.000 warp 150.00,130.00",
                          "0.000 mouse right-up button=1 at=150.00,130.00 flags=0x0",
                          "0.000 mouse other-down button=2 at=150.00,130.00 flags=0x0",
                          "0.000 warp 150.00,140.00",
                          "0.000 mouse other-dragged button=2 at=150.00,140.00 flags=0x0",
                          "0.000 mouse other-up button=2 at=150.00,140.00 flags=0x0",
                      }));

    // The eraser is Right by default; a pen with a finger is a finger2 frame.
    touch({{300, 300}}, ContactKindEraser);
    lift();
    EXPECT_EQ(take("mouse"), QStringList({"0.000 mouse right-down button=1 at=300.00,300.00 flags=0x0",
                                          "0.000 mouse right-up button=1 at=300.00,300.00 flags=0x0"}));
    setMouseAction(InputType::Pen, MouseAction::Middle);
    touch({{300, 300}}, ContactKindPen);
    lift();
    EXPECT_EQ(take("mouse").size(), 2);
    setMouseAction(InputType::Finger2, MouseAction::Scroll);
    TouchContactList mixed = frameOf({{300, 300}, {400, 300}});
    mixed.contacts[0].kind = ContactKindPen;
    engine.handleContacts(mixed); // finger2 scrolls: the anchor posts nothing
    EXPECT_EQ(take(), QStringList({"0.000 warp 350.00,300.00"}));
    lift();

    // Changing the held input's action: the left button goes up first.
    set(SettingsKey::TouchDelay, 0.0);
    touch({{500, 500}});
    setMouseAction(InputType::Finger1, MouseAction::Right);
    touch({{500, 500}});
    EXPECT_EQ(take("mouse"), QStringList({
                                 "0.000 mouse left-down button=0 at=500.00,500.00 flags=0x0 click=1",
                                 "0.000 mouse left-up button=0 at=500.00,500.00 flags=0x0 click=1",
                                 "0.000 mouse right-down button=1 at=500.00,500.00 flags=0x0",
                             }));
}

TEST_F(Pointer, EveryResetPathReleasesWhatIsHeld)
{
    set(SettingsKey::TouchDelay, 0.0);

    touch({{100, 100}});
    engine.stop();
    EXPECT_EQ(take("mouse"), QStringList({"0.000 mouse left-down button=0 at=100.00,100.00 flags=0x0 click=1",
                                          "0.000 mouse left-up button=0 at=100.00,100.00 flags=0x0 click=1"}));
    lift();
    EXPECT_TRUE(take().isEmpty());

    // Refreshing the mapping releases and then ignores the resting finger.
    advance(1.0);
    touch({{200, 200}}, ContactKindEraser);
    displays.addDisplay(2, QRectF(1000, 0, 2000, 1000));
    engine.refreshDisplayMapping();
    EXPECT_EQ(engine.bounds(), QRectF(1000, 0, 2000, 1000));
    EXPECT_EQ(take("mouse"), QStringList({"1.000 mouse right-down button=1 at=200.00,200.00 flags=0x0",
                                          "1.000 mouse right-up button=1 at=200.00,200.00 flags=0x0"}));
    touch({{300, 300}});
    lift(); // only ends the suppression
    EXPECT_TRUE(take().isEmpty());
    touch({{500, 500}}); // raw 500 on the new display
    EXPECT_EQ(take(), QStringList({"1.000 warp 2000.00,500.00",
                                   "1.000 mouse left-down button=0 at=2000.00,500.00 flags=0x0 click=1"}));

    // The compatibility test mode lets go entering, and ignores resting
    // fingers leaving.
    engine.setCompatibilityTestMode(true);
    engine.setCompatibilityTestMode(true); // unchanged: nothing
    EXPECT_EQ(take("mouse"), QStringList({"1.000 mouse left-up button=0 at=2000.00,500.00 flags=0x0 click=1"}));
    engine.setCompatibilityTestMode(false);
    touch({{500, 500}});
    lift();
    EXPECT_TRUE(take().isEmpty());

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

    // A group input set to Left clicks at its centre, after the delay or at
    // the lift, also when the fingers lift one after the other.
    setMouseAction(InputType::Finger2, MouseAction::Left);
    advance(1.0);
    touch({{200, 100}, {220, 100}});
    advance(0.04);
    touch({{200, 100}});
    lift();
    EXPECT_EQ(take(), QStringList({
                          "1.200 warp 210.00,100.00",
                          "1.240 mouse left-down button=0 at=210.00,100.00 flags=0x0 click=1",
                          "1.240 mouse left-up button=0 at=210.00,100.00 flags=0x0 click=1",
                      }));
    advance(1.0);
    touch({{300, 100}, {320, 100}});
    advance(0.1);
    touch({{300, 110}, {320, 110}});
    lift();
    EXPECT_EQ(take("mouse"), QStringList({
                                 "2.340 mouse left-down button=0 at=310.00,100.00 flags=0x0 click=1",
                                 "2.340 mouse left-dragged button=0 at=310.00,110.00 flags=0x0 click=1",
                                 "2.340 mouse left-up button=0 at=310.00,110.00 flags=0x0 click=1",
                             }));
}

TEST_F(Pointer, GroupsOfFourOrMoreOnlyWarpAndTheLeftoverFingerIsIgnored)
{
    set(SettingsKey::TouchDelay, 0.0);
    touch({{100, 100}});
    take();
    touch({{100, 100}, {200, 100}, {300, 100}, {400, 100}, {500, 100}});
    touch({{110, 100}, {210, 100}, {310, 100}, {410, 100}, {510, 100}});
    EXPECT_EQ(take(), QStringList({"0.000 warp 300.00,100.00",
                                   "0.000 mouse left-up button=0 at=300.00,100.00 flags=0x0 click=1"}));
    touch({{700, 700}});
    touch({{750, 700}});
    lift();
    EXPECT_TRUE(take().isEmpty());
    touch({{750, 700}});
    EXPECT_EQ(take().size(), 2); // a new sequence acts again: warp and press
}

} // namespace
