#pragma once
#include "base/ManualScheduler.h"
#include "base/Notifications.h"
#include "compat/CompatibilityEnvironment.h"
#include "gestures/TraceEventSink.h"
#include "service/ServiceClient.h"
#include "tests/support/FakeHidDeviceSource.h"
#include "tests/support/ReferenceService.h"
#include "tests/support/ScriptedAlertPresenter.h"
#include "tests/support/TestSettings.h"
#include "touch/HidRecording.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

#include <QJsonArray>
#include <QWidget>
#include <QtEndian>

#include <optional>
#include <vector>

// The demo display (five finger slots and a pen in one report) plugged in
// through a fake device source, read by a real bridge, with the reference
// service on loopback and a manual clock.
struct CompatHarness : TestSettings {
    struct Finger {
        int id;
        double x; // 0..1 across the display
        double y;
    };
    struct Pen {
        double x;
        double y;
        bool eraser = false;
    };

    CompatHarness()
    {
        const QString path = qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/samples/demo.hid");
        HidRecording recording = readHidRecordingFile(path).value_or(HidRecording{});
        recording.reports.clear();
        HidDeviceInfo display = RecordingDeviceSource(recording, scheduler).device();
        display.node = QStringLiteral("/dev/hidraw4");
        display.properties.insert(HidProperty::VendorID, qint64(0x4e8));
        display.properties.insert(HidProperty::ProductID, qint64(0xa0f5));
        display.properties.insert(HidProperty::Transport, QStringLiteral("USB"));
        display.properties.insert(HidProperty::MaxInputReportSize, qint64(50));
        display.properties.insert(HidProperty::PrimaryUsagePage, qint64(0x0d));
        display.properties.insert(HidProperty::PrimaryUsage, qint64(0x04));
        display.properties.insert(HidProperty::DeviceUsagePairs,
                                  QVariantList{QVariantMap{{HidProperty::DeviceUsagePage, qint64(0x0d)},
                                                           {HidProperty::DeviceUsage, qint64(0x04)}}});
        devices.list.push_back(display);
        store.setSettingValue(SettingsKey::ApiBaseURL, service.baseURL());
        // What the application does with the windows' test mode.
        testModeObserver = ScopedObserver(center, VTNotification::CompatibilityTestModeDidChange, [this](const Notification& n) {
            const bool on = n.userInfo.value(QStringLiteral("enabled")).toBool();
            testModes.push_back(on);
            bridge.setCompatibilityTestMode(on);
        });
    }

    CompatibilityEnvironment environment()
    {
        CompatibilityEnvironment env{store, center, scheduler, client, devices, displays, workspace};
        env.helpPage = QUrl(QStringLiteral("file:///help/index.html"));
        env.appVersion = QStringLiteral("1.2.3");
        env.quitApplication = [this] { ++quits; };
        return env;
    }

    // Touches map onto this rectangle of the desktop from now on.
    void mapTouchesOnto(const QRect& rect)
    {
        displays.addDisplay(1, rect);
        bridge.refreshDisplayMapping();
    }
    void mapTouchesOnto(const QWidget* window) { mapTouchesOnto(window->frameGeometry()); }

    // `count` is the Contact Count field: a frame of more fingers than the five
    // slots announces them all in its first report and 0 in the next.
    static QByteArray report(const std::vector<Finger>& fingers, std::optional<Pen> pen = std::nullopt,
                             std::optional<int> count = std::nullopt)
    {
        const auto put16 = [](QByteArray& out, double fraction) {
            const quint16 value = quint16(qBound(0.0, fraction, 1.0) * 32767 + 0.5);
            out.append(char(value & 0xff)).append(char(value >> 8));
        };
        QByteArray out(1, char(1));
        for (int slot = 0; slot < 5; ++slot) {
            if (slot < int(fingers.size())) {
                out.append(char(0x07)).append(char(fingers[std::size_t(slot)].id));
                put16(out, fingers[std::size_t(slot)].x);
                put16(out, fingers[std::size_t(slot)].y);
                out.append(char(0x30)).append(char(0x30));
            } else {
                out.append(QByteArray(8, 0));
            }
        }
        if (pen) {
            out.append(char(0x01 | 0x10 | (pen->eraser ? 0x0c : 0))).append(char(32));
            put16(out, pen->x);
            put16(out, pen->y);
            out.append(char(0xd0)).append(char(0x07));
        } else {
            out.append(QByteArray(8, 0));
        }
        out.append(char(count.value_or(int(fingers.size()) + (pen ? 1 : 0))));
        return out;
    }
    void touch(const std::vector<Finger>& fingers, std::optional<Pen> pen = std::nullopt)
    {
        devices.deliver(report(fingers, pen));
    }
    void lift() { touch({}); }

    QJsonObject lastStoredReport() const
    {
        const QList<QJsonObject> rows = service.reports();
        return rows.isEmpty() ? QJsonObject() : rows.last().value(QStringLiteral("report")).toObject();
    }

    ManualScheduler scheduler{0.0};
    TraceEventSink sink{scheduler};
    FakeHidDeviceSource devices;
    VTTouchBridge bridge{{devices, sink, scheduler, store, displays, center, 0.5, {}}};
    ReferenceService service;
    ServiceClient client{defaults};
    RecordingWorkspace workspace;
    ScopedObserver testModeObserver;
    std::vector<bool> testModes;
    int quits = 0;
};
