#pragma once
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"

#include <QTemporaryDir>

// Registered default settings in a temporary folder and one 1920x1080 main
// display: where most harnesses start.
struct TestSettings {
    TestSettings()
    {
        store.registerDefaults();
        displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
        displays.setMainDisplay(1);
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore store{defaults, center};
    FakeDisplayServices displays;
};
