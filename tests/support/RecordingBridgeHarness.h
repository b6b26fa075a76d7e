#pragma once
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"
#include "touch/DeviceDiscovery.h"
#include "touch/HidRecording.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

#include <QTemporaryDir>

// A recording played through a real bridge on a virtual clock, the way a dry
// run does: registered default settings with the recorded device chosen, one
// 1920x1080 display and a trace sink.
struct RecordingBridgeHarness {
    explicit RecordingBridgeHarness(const HidRecording& recording)
        : defaults(dir.path())
        , store(defaults, center)
        , source(recording, scheduler)
    {
        store.registerDefaults();
        store.setSettingValue(SettingsKey::DeviceSelection, deviceSignature(source.device()));
        displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
        displays.setMainDisplay(1);
    }

    // Runs the clock until `count` reports arrived or the recording ended.
    void deliverUntil(int count)
    {
        while (!source.finished() && source.deliveredCount() < count && scheduler.hasPending())
            scheduler.advanceTo(scheduler.nextDueTime());
    }
    void deliverAll() { deliverUntil(INT_MAX); }

    QTemporaryDir dir;
    UserDefaults defaults;
    NotificationCenter center;
    SettingsStore store;
    ManualScheduler scheduler{0.0};
    TraceEventSink sink{scheduler};
    FakeDisplayServices displays;
    RecordingDeviceSource source;
    VTTouchBridge bridge{{source, sink, scheduler, store, displays, center, 0.5, {}}};
};
