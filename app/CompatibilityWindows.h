#pragma once
#include "app/AppEnvironment.h"

#include <QString>
#include <QUrl>

#include <functional>

class DisplayServices;
class HidDeviceSource;
class NotificationCenter;
class Scheduler;
class ServiceClient;
class SettingsStore;
class Workspace;

// What the compatibility check, the step-by-step test and the touch
// indicators are made from.
struct CompatibilityWindowServices {
    SettingsStore& settings;
    NotificationCenter& notifications;
    Scheduler& scheduler;
    ServiceClient& service;
    HidDeviceSource& devices;
    const DisplayServices& displays;
    Workspace& workspace;
    QUrl helpPage;
    QString version;
    // Whether windows can be see-through (a compositor runs).
    std::function<bool()> compositing;
};

// Sets the factories of the compatibility windows and the touch indicators;
// `services` outlives the delegate.
void addCompatibilityWindows(AppWindowFactories& windows, const CompatibilityWindowServices& services);
