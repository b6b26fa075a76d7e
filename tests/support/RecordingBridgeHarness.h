#pragma once
#include "base/ManualScheduler.h"
#include "gestures/TraceEventSink.h"
#include "tests/support/TestSettings.h"
#include "touch/DeviceDiscovery.h"
#include "touch/HidRecording.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

// A recording played through a real bridge on a virtual clock, the way a dry
// run does: default settings with the recorded device chosen, and a trace sink.
struct RecordingBridgeHarness : TestSettings {
    explicit RecordingBridgeHarness(const HidRecording& recording) : source(recording, scheduler)
    {
        store.setSettingValue(SettingsKey::DeviceSelection, deviceSignature(source.device()));
    }

    // Runs the clock until `count` reports arrived or the recording ended.
    void deliverUntil(int count)
    {
        while (!source.finished() && source.deliveredCount() < count && scheduler.hasPending())
            scheduler.advanceTo(scheduler.nextDueTime());
    }
    void deliverAll() { deliverUntil(INT_MAX); }

    ManualScheduler scheduler{0.0};
    TraceEventSink sink{scheduler};
    RecordingDeviceSource source;
    VTTouchBridge bridge{{source, sink, scheduler, store, displays, center, 0.5, {}}};
};
