// Cost of one contact frame through the gesture engine, events dropped.
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "gestures/VTGestureEngine.h"
#include "settings/SettingsStore.h"
#include "tests/support/DroppingEventSink.h"
#include "tests/support/FakeDisplayServices.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <vector>

namespace {

struct EngineRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler scheduler;
    DroppingEventSink sink;
    FakeDisplayServices displays;
    VTGestureEngine engine{sink, scheduler, settings, displays, center, 0.5};

    EngineRig()
    {
        settings.registerDefaults();
        settings.setSettingValue(SettingsKey::TouchDelay, 0.0);
        displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
        displays.setMainDisplay(1);
        engine.updateDisplayBounds();
    }

    static TouchContactList frame(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& raw)
    {
        TouchContactList list;
        for (auto [x, y] : raw) {
            TouchContact& c = list.contacts[list.count++];
            c.rawX = x;
            c.rawY = y;
            c.xMaximum = c.yMaximum = 32767;
            c.kind = ContactKindFinger;
        }
        list.frameContactCount = list.count;
        return list;
    }
};

void runFrames(benchmark::State& state, EngineRig& rig, const TouchContactList (&frames)[2])
{
    rig.engine.handleContacts(frames[0]);
    std::size_t i = 1;
    for (auto _ : state) {
        rig.engine.handleContacts(frames[i & 1]);
        ++i;
    }
    benchmark::DoNotOptimize(rig.sink.events);
    state.counters["events/frame"] = benchmark::Counter(double(rig.sink.events) / double(i));
}

void BM_OneFingerDragFrame(benchmark::State& state)
{
    EngineRig rig;
    const TouchContactList frames[2] = {EngineRig::frame({{10000, 10000}}), EngineRig::frame({{10100, 10050}})};
    runFrames(state, rig, frames);
}
BENCHMARK(BM_OneFingerDragFrame);

void BM_TwoFingerScrollFrame(benchmark::State& state)
{
    EngineRig rig;
    const TouchContactList frames[2] = {EngineRig::frame({{10000, 10000}, {14000, 10000}}),
                                        EngineRig::frame({{10000, 10300}, {14000, 10300}})};
    runFrames(state, rig, frames);
}
BENCHMARK(BM_TwoFingerScrollFrame);

} // namespace
