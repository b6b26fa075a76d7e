#include "tests/gestures/GestureTestHarness.h"

#include <functional>

namespace {

using Scroll = GestureEngineTest;

constexpr double kTick = 1.0 / 60.0;

// Two fingers 100 points apart whose centre is (x, y).
std::vector<QPointF> pairAt(double x, double y)
{
    return {QPointF(x - 50, y), QPointF(x + 50, y)};
}

TEST_F(Scroll, RemaindersRoundHalfToEvenAndNaturalScrollingFlipsTheSign)
{
    touch({{100, 100}, {200, 100}}); // anchors, posts nothing
    touch({{100, 101}, {200, 101}});
    touch({{100, 102}, {200, 102}});
    EXPECT_EQ(take(), QStringList({
                          "0.000 warp 150.00,100.00",
                          "0.000 scroll wheel1=2 wheel2=0 flags=0x0",
                          "0.000 scroll wheel1=1 wheel2=0 flags=0x0",
                      }));
    lift();
    advance(5.0);
    take();

    set(SettingsKey::NaturalScroll, false);
    touch({{100, 100}, {200, 100}});
    touch({{100, 101}, {200, 101}});
    touch({{100, 102}, {200, 102}});
    // Below half a point a move is dropped, not saved up for later.
    touch({{100, 102.4}, {200, 102.4}});
    touch({{100, 102.8}, {200, 102.8}});
    touch({{101, 103.8}, {201, 103.8}});
    EXPECT_EQ(take("scroll"), QStringList({
                                  "5.000 scroll wheel1=-2 wheel2=0 flags=0x0",
                                  "5.000 scroll wheel1=-1 wheel2=0 flags=0x0",
                                  "5.000 scroll wheel1=-2 wheel2=-2 flags=0x0",
                              }));
}

TEST_F(Scroll, ReleaseDelayThenInertiaDecaysWithThePressFlags)
{
    set(SettingsKey::ScrollScale, 3.0); // every inertia tick then posts
    setKeyboardAction(InputType::Finger2, KeyboardAction::Shift);
    touch(pairAt(300, 100));
    for (int i = 1; i <= 3; ++i) {
        advance(kTick);
        touch(pairAt(300, 100 + 6 * i));
    }
    EXPECT_EQ(take("scroll"), QStringList({
                                  "0.017 scroll wheel1=18 wheel2=0 flags=0x20000",
                                  "0.033 scroll wheel1=18 wheel2=0 flags=0x20000",
                                  "0.050 scroll wheel1=18 wheel2=0 flags=0x20000",
                              }));
    lift();
    setKeyboardAction(InputType::Finger2, KeyboardAction::None); // the scroll keeps its flags
    EXPECT_TRUE(engine.scrollActive()) << "finger2 waits for the release delay";
    advance(0.01);
    EXPECT_TRUE(engine.inertiaRunning());
    advance(3 * kTick + 0.001);
    EXPECT_EQ(take(), QStringList({
                          "0.077 scroll wheel1=34 wheel2=0 flags=0x20000",
                          "0.093 scroll wheel1=33 wheel2=0 flags=0x20000",
                          "0.110 scroll wheel1=31 wheel2=0 flags=0x20000",
                      }));
    // 12 x 0.95^n stays at 0.35 or above up to n = 68.
    advance(5.0);
    const QStringList rest = take("scroll");
    ASSERT_EQ(rest.size(), 68 - 3);
    EXPECT_TRUE(rest.last().startsWith(QLatin1String("1.193 "))) << rest.last().toStdString();
    EXPECT_TRUE(rest.filter(QLatin1String("flags=0x20000")).size() == rest.size());
    EXPECT_FALSE(engine.inertiaRunning());
    EXPECT_FALSE(scheduler.hasPending());
}

TEST_F(Scroll, InertiaNeedsSpeedStopsOnTouchAndOnEveryReset)
{
    // Slow: 1 point per 0.1 s boosts to 0.33 per tick, below the stop speed.
    touch(pairAt(300, 100));
    for (int i = 1; i <= 3; ++i) {
        advance(0.1);
        touch(pairAt(300, 100 + i));
    }
    lift();
    take();
    advance(1.0);
    EXPECT_TRUE(take().isEmpty());
    EXPECT_FALSE(scheduler.hasPending());

    auto flick = [&] {
        touch(pairAt(300, 100));
        for (int i = 1; i <= 3; ++i) {
            advance(kTick);
            touch(pairAt(300, 100 + 6 * i));
        }
        lift();
        advance(0.01 + 2 * kTick);
        EXPECT_TRUE(engine.inertiaRunning());
        take();
    };
    flick();
    touch(pairAt(600, 600)); // a new touch stops it at once
    advance(1.0);
    EXPECT_TRUE(take("scroll").isEmpty());
    lift();
    advance(1.0);

    flick();
    engine.stop();
    advance(1.0);
    EXPECT_TRUE(take("scroll").isEmpty());
    EXPECT_FALSE(scheduler.hasPending());

    flick();
    engine.refreshDisplayMapping();
    advance(1.0);
    EXPECT_TRUE(take("scroll").isEmpty());
    EXPECT_FALSE(scheduler.hasPending());
}

TEST_F(Scroll, OneFingerFinishesAtOnceAndSmallReversalsKeepTheDirection)
{
    setMouseAction(InputType::Finger1, MouseAction::Scroll);
    touch({{300, 100}});
    for (int i = 1; i <= 3; ++i) {
        advance(kTick);
        touch({{300, 100.0 + 6 * i}});
    }
    lift();
    EXPECT_FALSE(engine.scrollActive());
    EXPECT_FALSE(engine.inertiaRunning()) << "inertia is off for finger1 by default";
    take();

    setInput(InputType::Finger1, InputSetting::InertiaEnabled, true);
    touch({{300, 100}});
    for (int i = 1; i <= 3; ++i) {
        advance(kTick);
        touch({{300, 100.0 + 6 * i}});
    }
    take();
    lift();
    advance(kTick); // no release delay: the first tick is one tick after the lift
    EXPECT_EQ(take("scroll").size(), 1);
    touch({{0, 0}});
    lift();
    take();

    // A finger rolling back 2 points as it lifts: finger3 keeps scrolling
    // down, finger2 follows the reversal.
    auto reversal = [&](const std::function<std::vector<QPointF>(double)>& frame) {
        engine.handleContacts(frameOf(frame(100)));
        for (int i = 1; i <= 3; ++i) {
            advance(kTick);
            engine.handleContacts(frameOf(frame(100 + 6 * i)));
        }
        advance(kTick);
        engine.handleContacts(frameOf(frame(116)));
        lift();
        take();
        advance(0.01 + kTick);
        const QStringList first = take("scroll");
        advance(5.0);
        take();
        return first.value(0);
    };
    setMouseAction(InputType::Finger3, MouseAction::Scroll);
    setInput(InputType::Finger3, InputSetting::InertiaEnabled, true);
    const QString finger3 = reversal([](double y) -> std::vector<QPointF> {
        return {QPointF(250, y - 10), QPointF(350, y - 10), QPointF(300, y + 20)};
    });
    EXPECT_TRUE(finger3.contains(QLatin1String("wheel1=17 "))) << finger3.toStdString();
    const QString finger2 = reversal([](double y) { return pairAt(300, y); });
    EXPECT_TRUE(finger2.contains(QLatin1String("wheel1=-6 "))) << finger2.toStdString();
}

TEST_F(Scroll, PinchLocksAtEighteenPointsAndClampsEachStep)
{
    setMouseAction(InputType::Finger2, MouseAction::ScrollAndPinch);
    auto spread = [&](double x, double y, double distance) {
        touch({{x - distance / 2, y}, {x + distance / 2, y}});
    };
    spread(400, 500, 100);
    spread(400, 502, 117); // 17 points: still a scroll
    spread(400, 502, 118); // locks
    spread(400, 502, 138); // +20 in one frame: clamped
    spread(400, 502, 100);
    spread(430, 502, 100); // the centre moving no longer scrolls
    touch({{480, 502}});   // one finger left: the pinch stays locked
    EXPECT_TRUE(engine.pinchLocked());
    lift();
    EXPECT_EQ(take(), QStringList({
                          "0.000 warp 400.00,500.00",
                          "0.000 scroll wheel1=3 wheel2=0 flags=0x0",
                          "0.000 warp 400.00,502.00",
                          "0.000 magnify 0.0000 phase=1 at=400.00,502.00",
                          "0.000 magnify 0.0111 phase=2 at=400.00,502.00",
                          "0.000 magnify 0.0800 phase=2 at=400.00,502.00",
                          "0.000 magnify -0.0800 phase=2 at=400.00,502.00",
                          "0.000 magnify 0.0000 phase=8 at=430.00,502.00",
                      }));

    // A reset ends a locked pinch too.
    spread(400, 500, 100);
    spread(400, 500, 130);
    take();
    engine.refreshDisplayMapping();
    EXPECT_EQ(take(), QStringList({"0.000 magnify 0.0000 phase=8 at=400.00,500.00"}));
    lift();

    // Stopping touch ends it as well: the desktop is never left mid-pinch.
    spread(400, 500, 100);
    spread(400, 500, 130);
    take();
    engine.stop();
    EXPECT_EQ(take(), QStringList({"0.000 magnify 0.0000 phase=8 at=400.00,500.00"}));
}

} // namespace
