// Settings reads as a touch frame makes them, through a named profile.
#include "base/NotificationCenter.h"
#include "settings/SettingsStore.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct StoreWithProfile {
    StoreWithProfile()
        : store(defaults, center)
    {
        store.registerDefaults();
        store.setSettingValue(SettingsKey::ScrollScale, 2.0);
        store.saveCurrentValuesAsProfileNamed(QStringLiteral("Work"));
        store.setSettingValue(SettingsKey::TouchDelay, 0.05);
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore store;
};

void BM_SettingsReadAccessor(benchmark::State& state)
{
    StoreWithProfile s;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.store.scrollScale());
}
BENCHMARK(BM_SettingsReadAccessor);

void BM_SettingsReadByKey(benchmark::State& state)
{
    StoreWithProfile s;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.store.settingDouble(SettingsKey::TouchDelay));
}
BENCHMARK(BM_SettingsReadByKey);

void BM_SettingsReadInputAction(benchmark::State& state)
{
    StoreWithProfile s;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.store.mouseActionForInput(InputType::Finger2));
        benchmark::DoNotOptimize(s.store.modifierFlagsForInput(InputType::Finger2));
    }
}
BENCHMARK(BM_SettingsReadInputAction);

// Everything one frame of a two-finger scroll reads.
void BM_SettingsReadFrame(benchmark::State& state)
{
    StoreWithProfile s;
    for (auto _ : state) {
        const SettingsStore& store = s.store;
        benchmark::DoNotOptimize(store.mouseActionForInput(InputType::Finger2));
        benchmark::DoNotOptimize(store.keyboardActionForInput(InputType::Finger2));
        benchmark::DoNotOptimize(store.modifierFlagsForInput(InputType::Finger2));
        benchmark::DoNotOptimize(store.inertiaEnabledForInput(InputType::Finger2));
        benchmark::DoNotOptimize(store.scrollScale());
        benchmark::DoNotOptimize(store.naturalScroll());
        benchmark::DoNotOptimize(store.scrollReleaseDelay());
        benchmark::DoNotOptimize(store.touchDelay());
    }
}
BENCHMARK(BM_SettingsReadFrame);

// The first read after a change rebuilds the cache: what a frame pays once
// after the user (or `velotap defaults`) changed something.
void BM_SettingsReadAfterChange(benchmark::State& state)
{
    StoreWithProfile s;
    for (auto _ : state) {
        s.defaults.registerDefaults({}); // bumps the generation without touching the file
        benchmark::DoNotOptimize(s.store.scrollScale());
    }
}
BENCHMARK(BM_SettingsReadAfterChange);

} // namespace
