#pragma once
#include "base/Notifications.h"
#include "platform/linux/XKeyPressTranslator.h"
#include "settings_ui/LoginItem.h"
#include "settings_ui/PopupItems.h"
#include "settings_ui/VTSettingsWindowController.h"
#include "tests/support/FakeHidDeviceSource.h"
#include "tests/support/ScriptedAlertPresenter.h"
#include "tests/support/TestSettings.h"

#include <QComboBox>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

class FakeLoginItem final : public LoginItem {
public:
    bool enabled = false;
    std::optional<VTError> failure;

    bool isEnabled() const override { return enabled; }
    std::optional<VTError> setEnabled(bool on) override
    {
        if (failure)
            return failure;
        enabled = on;
        return std::nullopt;
    }
};

// Counts the notifications of one name and remembers who sent the last.
struct NotificationCount {
    NotificationCount(NotificationCenter& center, const QString& name)
        : observer(center, name, [this](const Notification& n) {
            ++count;
            sender = n.sender;
        })
    {
    }
    int count = 0;
    const void* sender = nullptr;
    ScopedObserver observer;
};

// A settings window on a store in a temporary directory, with fake devices,
// displays, alerts and login item, and the real key translation.
struct SettingsWindowHarness : TestSettings {
    VTSettingsWindowController& window()
    {
        if (!controller)
            controller = std::make_unique<VTSettingsWindowController>(
                VTSettingsWindowController::Environment{store, center, devices, displays, alerts, *translator, login});
        return *controller;
    }

    template <typename T>
    T* find(const QString& name)
    {
        T* widget = window().window()->findChild<T*>(name);
        EXPECT_TRUE(widget) << name.toStdString();
        return widget;
    }
    QComboBox* popup(const QString& name) { return find<QComboBox>(name); }

    // Picks an item the way a user does: it becomes current and is activated.
    static void choose(QComboBox* popup, const QString& title)
    {
        const int index = popup->findText(title);
        ASSERT_GE(index, 0) << title.toStdString() << " in " << itemTitles(popup).join(", ").toStdString();
        popup->setCurrentIndex(index);
        emit popup->activated(index);
    }

    // Every item; separators as "-", disabled items in brackets, the
    // selected one marked with "*".
    static QStringList itemTitles(const QComboBox* popup);

    FakeHidDeviceSource devices;
    ScriptedAlertPresenter alerts;
    XKeyPressTranslator keys;
    // What the window reads key presses with; a test may give one that reads a real layout.
    const KeyPressTranslator* translator = &keys;
    FakeLoginItem login;
    std::unique_ptr<VTSettingsWindowController> controller;
};

inline QStringList SettingsWindowHarness::itemTitles(const QComboBox* popup)
{
    QStringList titles;
    for (int i = 0; i < popup->count(); ++i) {
        if (popup->itemData(i, Qt::AccessibleDescriptionRole).toString() == QLatin1String("separator")) {
            titles << QStringLiteral("-");
            continue;
        }
        QString title = popup->itemText(i);
        if (!popup::isItemEnabled(popup, i))
            title = QLatin1Char('[') + title + QLatin1Char(']');
        if (i == popup->currentIndex())
            title = QLatin1Char('*') + title;
        titles << title;
    }
    return titles;
}
