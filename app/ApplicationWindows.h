#pragma once
#include "app/AppEnvironment.h"

#include <QIcon>
#include <QString>
#include <QUrl>

class AlertPresenter;
class DisplayServices;
class HidDeviceSource;
class KeyPressTranslator;
class LoginItem;
class NotificationCenter;
class SettingsStore;
class UpdateCheck;
class Workspace;

// What the settings, help, about and debug report windows are made from.
struct ApplicationWindowServices {
    SettingsStore& settings;
    NotificationCenter& notifications;
    HidDeviceSource& devices;
    const DisplayServices& displays;
    AlertPresenter& alerts;
    Workspace& workspace;
    const KeyPressTranslator& keys;
    LoginItem& loginItem;
    UpdateCheck& updateCheck;
    QIcon applicationIcon;
    QString version;
    QUrl helpPage;
};

// Sets the factories of the settings, help, about and debug report windows
// behind the delegate's window commands; `services` outlives the delegate.
void addApplicationWindows(AppWindowFactories& windows, const ApplicationWindowServices& services);
