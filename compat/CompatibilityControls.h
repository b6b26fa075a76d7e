#pragma once
#include "base/NotificationCenter.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class SettingsStore;

// The contacts whose display point lies inside the window's frame; none
// without a window. Contacts without "screenX" and "screenY" are dropped.
QVariantList contactsInsideWindow(const QVariantList& contacts, const QWidget* window);

// A rounded push button at an exact frame, named for tests.
QPushButton* pushButton(QWidget* parent, const QString& title, const QRect& frame, const char* name);

// Announces the compatibility test mode that touch runs in while a window
// checks the display. Only what this window turned on it turns off again,
// so closing one window does not end another's check.
class TestModeSwitch {
public:
    TestModeSwitch(NotificationCenter& center, const void* sender) : m_center(center), m_sender(sender) {}
    void set(bool enabled);
    bool on() const { return m_on; }

private:
    NotificationCenter& m_center;
    const void* m_sender;
    bool m_on = false;
};

// The touch frames while a window checks the display: every contact of a
// frame at once, even when the display spreads a frame over several reports,
// each with the debug text of the latest report as its sample.
class TouchFrameFeed {
public:
    using Handler = std::function<void(const QVariantList& contacts, const QString& sample)>;

    TouchFrameFeed(NotificationCenter& center, Handler handler) : m_center(center), m_handler(std::move(handler)) {}
    void start();
    void stop();

private:
    NotificationCenter& m_center;
    Handler m_handler;
    QString m_lastReportText;
    ScopedObserver m_reports;
    ScopedObserver m_frames;
};

// The display model pop-up and the free-text field beside it that only
// "Other" enables.
class DisplayModelChooser final : public QObject {
    Q_OBJECT
public:
    static const QStringList& displayModelOptions();

    DisplayModelChooser(QWidget* parent, const QRect& popupFrame, const QRect& fieldFrame);

    QComboBox* popup() const { return _modelPopup; }
    QLineEdit* otherModelField() const { return _otherModelField; }

    // "Select" gives ""; "Other" gives "Other: <text>", or `otherWhenBlank`
    // when the trimmed text is empty.
    QString selectedDisplayModel(const QString& otherWhenBlank) const;
    // Enables the field only for "Other", clearing it otherwise.
    void modelSelectionChanged();
    void setEnabled(bool enabled);

signals:
    // The chosen model or the typed name changed.
    void changed();

private:
    bool otherChosen() const;

    QComboBox* _modelPopup;
    QLineEdit* _otherModelField;
};

// What a report holds, stated in the window, with the switch that stops
// sending ("sendCompatibilityReports").
class ReportPrivacyNotice final : public QObject {
    Q_OBJECT
public:
    static const QString NoticeText;
    static const QString SwitchTitle;
    static const QString SwitchedOffText;

    ReportPrivacyNotice(SettingsStore& settings, QWidget* parent, const QRect& textFrame, const QRect& switchFrame);

    QCheckBox* sendingSwitch() const { return m_switch; }
    bool sendingAllowed() const;
    // Shows the stored choice (it may have been changed elsewhere).
    void refresh();

signals:
    void sendingAllowedChanged(bool allowed);

private:
    SettingsStore& m_settings;
    QCheckBox* m_switch;
};
