#pragma once
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

// What both compatibility windows need from the application.
struct CompatibilityEnvironment {
    SettingsStore& settings;
    NotificationCenter& notifications;
    Scheduler& scheduler;
    ServiceClient& service;
    HidDeviceSource& devices;
    const DisplayServices& displays;
    Workspace& workspace;
    QUrl helpPage{};
    QString appVersion{}; // "0.9" when empty
    QString appBuild{};   // "1" when empty
    // Ends the application (a first-run check closed without finishing).
    std::function<void()> quitApplication{};
    // Shows the touch keyboard for typing the display model; unset without one.
    std::function<void()> showKeyboard{};
};
