#include "tests/gestures/GestureTestHarness.h"

#include <memory>

namespace {

using Scroll = GestureEngineTest;

TEST_F(Scroll, RemaindersRoundHalfToEvenAndNaturalScrollingFlipsTheSign)
{
    swipe([](double y) { return pairAt(150, y); }, 2, 1); // the anchor posts nothing
    EXPECT_EQ(brief(), "0.000 warp 150,100; 0.017 scroll wheel1=2 wheel2=0; 0.033 scroll wheel1=1 wheel2=0");
    lift();
    advance(5.0);
    take();

    set(SettingsKey::NaturalScroll, false);
    swipe([](double y) { return pairAt(150, y); }, 2, 1);
    // Below half a point a move is dropped, not saved up for later.
    touch(pairAt(150, 102.4));
    touch(pairAt(150, 102.8));
    touch(pairAt(151, 103.8));
    EXPECT_EQ(brief(), "5.033 warp 150,100; 5.050 scroll wheel1=-2 wheel2=0; 5.067 scroll wheel1=-1 wheel2=0; "
                       "5.067 scroll wheel1=-2 wheel2=-2");
}

TEST_F(Scroll, ReleaseDelayThenInertiaDecaysWithTheScrollsFlags)
{
    set(SettingsKey::ScrollScale, 3.0); // every inertia tick then posts
    setKeyboardAction(InputType::Finger2, KeyboardAction::Shift);
    swipe([](double y) { return pairAt(300, y); });
    EXPECT_EQ(brief("scroll"), "0.017 scroll wheel1=18 wheel2=0 flags=0x20000; 0.033 scroll wheel1=18 wheel2=0 "
                               "flags=0x20000; 0.050 scroll wheel1=18 wheel2=0 flags=0x20000");
    lift();
    setKeyboardAction(InputType::Finger2, KeyboardAction::None); // the scroll keeps its flags
    EXPECT_TRUE(engine.scrollActive()) << "finger2 waits for the release delay";
    advance(0.01);
    EXPECT_TRUE(engine.inertiaRunning());
    advance(3 * kTick + 0.001);
    // 6 points per tick, doubled, then times 0.95 per tick.
    EXPECT_EQ(brief(), "0.077 scroll wheel1=34 wheel2=0 flags=0x20000; 0.093 scroll wheel1=33 wheel2=0 "
                       "flags=0x20000; 0.110 scroll wheel1=31 wheel2=0 flags=0x20000");
    // 12 x 0.95^n stays at 0.35 or above up to n = 68.
    advance(5.0);
    const QStringList rest = take("scroll");
    ASSERT_EQ(rest.size(), 68 - 3);
    EXPECT_TRUE(rest.last().startsWith(QLatin1String("1.193 "))) << rest.last().toStdString();
    EXPECT_EQ(rest.filter(QLatin1String("flags=0x20000")).size(), rest.size());
    EXPECT_FALSE(scheduler.hasPending());
}

TEST_F(Scroll, InertiaNeedsSpeedAndStopsOnTouchEveryResetDestructionAndABadDecay)
{
    // Slow: 1 point per 0.1 s boosts to 0.33 per tick, below the stop speed.
    swipe([](double y) { return pairAt(300, y); }, 3, 1, 0.1);
    lift();
    take();
    advance(1.0);
    EXPECT_TRUE(take().isEmpty() && !scheduler.hasPending());

    const std::vector<std::function<void()>> stoppers = {
        [&] { touch(pairAt(600, 600)); }, // a new touch stops it at once
        [&] { engine.stop(); },
        [&] { engine.refreshDisplayMapping(); },
    };
    for (const auto& stopInertia : stoppers) {
        swipe([](double y) { return pairAt(300, y); });
        lift();
        advance(0.01 + 2 * kTick);
        ASSERT_TRUE(engine.inertiaRunning());
        take();
        stopInertia();
        advance(1.0);
        EXPECT_TRUE(take("scroll").isEmpty());
        lift();
        advance(1.0);
    }
    EXPECT_FALSE(scheduler.hasPending());

    // Timers never outlive their engine.
    auto other = std::make_unique<VTGestureEngine>(trace, scheduler, settings, displays, center, 0.5);
    other->updateDisplayBounds();
    for (int i = 0; i <= 3; ++i) {
        advance(i > 0 ? kTick : 0.0);
        other->handleContacts(frameOf(pairAt(300, 100 + 6 * i)));
    }
    other->handleContacts(TouchContactList{});
    advance(0.05);
    ASSERT_TRUE(other->inertiaRunning());
    other.reset();
    EXPECT_FALSE(scheduler.hasPending());

    // A decay of 1 or more would scroll for ever.
    set(SettingsKey::InertiaDecay, 1.0);
    swipe([](double y) { return pairAt(300, y); });
    lift();
    advance(1.0);
    EXPECT_FALSE(engine.inertiaRunning());
}

TEST_F(Scroll, OneFingerFinishesAtOnceAndSmallReversalsKeepTheDirection)
{
    setMouseAction(InputType::Finger1, MouseAction::Scroll);
    swipe([](double y) { return Points{{300, y}}; });
    lift();
    EXPECT_FALSE(engine.scrollActive());
    EXPECT_FALSE(engine.inertiaRunning()) << "inertia is off for finger1 by default";
    setInput(InputType::Finger1, InputSetting::InertiaEnabled, true);
    swipe([](double y) { return Points{{300, y}}; });
    take();
    lift();
    advance(kTick); // no release delay: the first tick is one tick after the lift
    EXPECT_EQ(take("scroll").size(), 1);
    touch({{0, 0}});
    lift();

    // A finger rolling back 2 points as it lifts: finger3 keeps scrolling
    // down, finger2 follows the reversal.
    auto firstInertiaStep = [&](const std::function<Points(double)>& at) {
        swipe(at);
        advance(kTick);
        touch(at(116));
        lift();
        take();
        advance(0.01 + kTick);
        const QString first = take("scroll").value(0);
        advance(5.0);
        take();
        return first;
    };
    setMouseAction(InputType::Finger3, MouseAction::Scroll);
    setInput(InputType::Finger3, InputSetting::InertiaEnabled, true);
    const auto three = [](double y) { return Points{{250, y - 10}, {350, y - 10}, {300, y + 20}}; };
    EXPECT_TRUE(firstInertiaStep(three).contains(QLatin1String("wheel1=17 ")));
    EXPECT_TRUE(firstInertiaStep([](double y) { return pairAt(300, y); }).contains(QLatin1String("wheel1=-6 ")));
}

TEST_F(Scroll, PinchLocksAtEighteenPointsClampsEachStepAndEndsOnEveryReset)
{
    setMouseAction(InputType::Finger2, MouseAction::ScrollAndPinch);
    auto spread = [&](double x, double y, double distance) { touch({{x - distance / 2, y}, {x + distance / 2, y}}); };
    spread(400, 500, 100);
    spread(400, 502, 117); // 17 points: still a scroll
    spread(400, 502, 118); // locks
    spread(400, 502, 138); // +20 in one frame: clamped
    spread(400, 502, 100);
    spread(430, 502, 100); // the centre moving no longer scrolls
    touch({{480, 502}});   // one finger left: the pinch stays locked
    EXPECT_TRUE(engine.pinchLocked());
    lift();
    EXPECT_EQ(brief(), "0.000 warp 400,500; 0.000 scroll wheel1=3 wheel2=0; 0.000 warp 400,502; "
                       "0.000 magnify 0.0000 phase=1 at=400,502; 0.000 magnify 0.0111 phase=2 at=400,502; "
                       "0.000 magnify 0.0800 phase=2 at=400,502; 0.000 magnify -0.0800 phase=2 at=400,502; "
                       "0.000 magnify 0.0000 phase=8 at=430,502");

    // A refresh or a stop ends a locked pinch too: the desktop is never left
    // inside one.
    for (const auto& reset : std::vector<std::function<void()>>{[&] { engine.refreshDisplayMapping(); },
                                                                [&] { engine.stop(); }}) {
        spread(400, 500, 100);
        spread(400, 500, 130);
        take();
        reset();
        EXPECT_EQ(brief(), "0.000 magnify 0.0000 phase=8 at=400,500");
        lift();
    }
}

// A lift that ends a scroll ends the whole touch sequence: the next group
// is a new one in every respect.
TEST_F(Scroll, TheNextTouchAfterAScrollStartsAfresh)
{
    // The wheel goes where the fingers are: the pointer moves there first.
    swipe([](double y) { return pairAt(150, y); });
    lift();
    advance(5.0);
    take();
    swipe([](double y) { return pairAt(600, y + 400); }, 1);
    const QString moved = brief();
    EXPECT_TRUE(moved.startsWith("5.050 warp 600,500; 5.067 scroll")) << moved.toStdString();
    lift();
    advance(5.0);

    // A pinch candidate does not outlive the lift: fingers put down farther
    // apart than the last pair do not zoom.
    setMouseAction(InputType::Finger2, MouseAction::ScrollAndPinch);
    swipe([](double y) { return pairAt(300, y); });
    lift();
    advance(5.0);
    take();
    touch({QPointF(250, 300), QPointF(390, 300)});
    EXPECT_TRUE(take("magnify").isEmpty());
    EXPECT_FALSE(engine.pinchLocked());
    lift();
    advance(5.0);

    // A one-finger scroll with Escape fires it on each new touch, also when
    // the last one ended while scrolling.
    setMouseAction(InputType::Finger1, MouseAction::Scroll);
    setKeyboardAction(InputType::Finger1, KeyboardAction::Escape);
    for (int sequence = 0; sequence < 2; ++sequence) {
        swipe([](double y) { return Points{QPointF(400, y)}; });
        lift();
        advance(5.0);
        EXPECT_EQ(take("key").size(), 2) << "sequence " << sequence;
    }
}

} // namespace
