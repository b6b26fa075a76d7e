#include "compat/VTIntroCompatibilityWindowController.h"

#include "base/Notifications.h"
#include "base/Scheduler.h"
#include "base/Workspace.h"
#include "compat/CompatibilityControls.h"
#include "compat/CompatibilityReport.h"
#include "keyboard/ScreenPlacement.h"
#include "settings/SettingsStore.h"
#include "touch/DeviceDiscovery.h"
#include "touch/DisplaySelection.h"
#include "touch/HidDeviceSource.h"
#include "touch/TouchTypes.h"
#include "visual/VTCompatibilityRippleView.h"
#include "windows/WindowText.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kFinishFirstText = QStringLiteral("Send the anonymous report to finish first-run setup.");
const QString kNotReadyText = QStringLiteral("Select your display model and try at least one input first.");

} // namespace

const QStringList& VTIntroCompatibilityWindowController::resultNames()
{
    static const QStringList names = {
        QStringLiteral("Finger 1 point"), QStringLiteral("Finger 2 point"), QStringLiteral("Finger 3 point"),
        QStringLiteral("Finger 4 point"), QStringLiteral("Pen"),            QStringLiteral("Eraser"),
    };
    return names;
}

VTIntroCompatibilityWindowController::VTIntroCompatibilityWindowController(const CompatibilityEnvironment& environment)
    : m_env(environment), m_window(std::make_unique<QWidget>()), m_sender(m_env.service),
      m_testMode(m_env.notifications, this),
      m_feed(m_env.notifications, [this](const QVariantList& contacts, const QString& sample) {
          contactFrame(contacts, sample);
      })
{
    m_window->setObjectName(QStringLiteral("compatibilityCheckWindow"));
    m_window->setWindowTitle(QStringLiteral("Compatibility Check"));
    m_window->setFixedSize(kWidth, kHeight);
    buildContent();
    m_window->installEventFilter(this);
    centerWindowOnLargestScreen(m_window.get());
}

VTIntroCompatibilityWindowController::~VTIntroCompatibilityWindowController()
{
    m_window->removeEventFilter(this);
}

void VTIntroCompatibilityWindowController::buildContent()
{
    QWidget* content = m_window.get();
    windowtext::label(content, QStringLiteral("Compatibility Check"), QRect(24, 22, 320, 28))
        ->setFont(windowtext::font(true, 22));
    windowtext::label(content, QStringLiteral("Touch the area below with fingers, pen and eraser in any order."),
                      QRect(24, 56, 520, 22), true);
    _rippleView = new VTCompatibilityRippleView(m_env.scheduler, content);
    _rippleView->setGeometry(24, 98, 430, 340);

    windowtext::label(content, QStringLiteral("Display model"), QRect(480, 100, 160, 22));
    m_model = new DisplayModelChooser(content, QRect(480, 124, 176, 28), QRect(480, 158, 176, 24));
    connect(m_model, &DisplayModelChooser::changed, this, &VTIntroCompatibilityWindowController::refreshActionButtons);
    connect(m_model->popup(), &QComboBox::activated, this, [this] {
        if (m_model->otherModelField()->isEnabled() && m_env.showKeyboard)
            m_env.showKeyboard();
    });

    windowtext::label(content, QStringLiteral("Touch display"), QRect(480, 196, 160, 22));
    _displayPopup = new QComboBox(content);
    _displayPopup->setObjectName(QStringLiteral("displayPopup"));
    _displayPopup->setGeometry(480, 220, 176, 28);
    connect(_displayPopup, &QComboBox::activated, this, &VTIntroCompatibilityWindowController::displaySelectionChanged);

    windowtext::label(content, QStringLiteral("Detected inputs"), QRect(480, 266, 160, 22))->setFont(windowtext::font(true));
    int y = 294;
    for (const QString& name : resultNames()) {
        QLabel* label = windowtext::label(content, QStringLiteral("- %1").arg(name), QRect(480, y, 176, 22), true);
        label->setObjectName(QStringLiteral("check:%1").arg(name));
        _checkLabels.insert(name, label);
        y += 28;
    }

    _statusLabel = windowtext::label(content, QString(), QRect(24, 460, 360, 36), true);
    _statusLabel->setObjectName(QStringLiteral("statusLabel"));
    _statusLabel->setWordWrap(true);
    const auto button = [content, this](const QString& title, const QRect& frame, const char* name,
                                        void (VTIntroCompatibilityWindowController::*action)()) {
        QPushButton* b = pushButton(content, title, frame, name);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    button(QStringLiteral("Help"), QRect(396, 466, 68, 30), "helpButton", &VTIntroCompatibilityWindowController::openHelpPage);
    _saveButton = button(QStringLiteral("Send Report"), QRect(476, 466, 86, 30), "sendButton",
                         &VTIntroCompatibilityWindowController::sendReport);
    _saveButton->setEnabled(false);
    _finishButton = button(QStringLiteral("Finish"), QRect(574, 466, 82, 30), "finishButton",
                           &VTIntroCompatibilityWindowController::finish);

    m_privacy = new ReportPrivacyNotice(m_env.settings, content, QRect(24, 506, 632, 40), QRect(24, 552, 632, 22));
    connect(m_privacy, &ReportPrivacyNotice::sendingAllowedChanged, this, [this](bool allowed) {
        setStatus(allowed ? deviceStatusMessage() : ReportPrivacyNotice::SwitchedOffText);
        refreshActionButtons();
    });
}

void VTIntroCompatibilityWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    startCheck();
}

void VTIntroCompatibilityWindowController::startCheck()
{
    _resultsByName.clear();
    _rippleView->resetEffects();
    _reportSent = false;
    const UserDefaults& defaults = m_env.settings.defaults();
    _requiresInitialReport = !defaults.boolValue(SettingsKey::InitialCompatibilityReportSent)
        || defaults.boolValue(SettingsKey::PermissionsCompatibilityCheckPending);
    _saveButton->setEnabled(false);
    _finishButton->setText(QStringLiteral("Finish"));
    _finishButton->setEnabled(!_requiresInitialReport);
    m_privacy->refresh();
    setStatus(deviceStatusMessage());
    refreshDisplayChoices();
    refreshChecklist();
    m_model->modelSelectionChanged();
    m_feed.start();
    m_testMode.set(true);
}

void VTIntroCompatibilityWindowController::refreshDisplayChoices()
{
    _displayPopup->clear();
    _displayPopup->addItem(QStringLiteral("Auto"), QStringLiteral("auto"));
    _displayPopup->addItem(QStringLiteral("Primary display"), QStringLiteral("primary"));
    if (DisplaySelection::sortedDisplayList(m_env.displays).size() >= 2)
        _displayPopup->addItem(QStringLiteral("Secondary display"), QStringLiteral("secondary"));
    QString stored = m_env.settings.displaySelection();
    if (stored.isEmpty())
        stored = QStringLiteral("auto");
    int index = _displayPopup->findData(stored);
    if (index < 0) {
        // A monitor chosen by its ID in the settings window stays chosen.
        _displayPopup->addItem(stored, stored);
        index = _displayPopup->count() - 1;
    }
    _displayPopup->setCurrentIndex(index);
}

QString VTIntroCompatibilityWindowController::deviceStatusMessage() const
{
    if (!touchDeviceEntries(m_env.devices.devices()).isEmpty())
        return QStringLiteral("Compatible USB touch display detected.");
    return QStringLiteral("No compatible USB touch display was found. Connect the display with USB and make sure no "
                          "other touch driver app is using it.");
}

void VTIntroCompatibilityWindowController::contactFrame(const QVariantList& frame, const QString& sample)
{
    const QVariantList contacts = contactsInsideWindow(frame, m_window.get());
    if (!contacts.isEmpty())
        _rippleView->addContacts(contacts);
    int fingers = 0;
    bool pen = false;
    bool eraser = false;
    for (const QVariant& contact : contacts) {
        switch (contact.toMap().value(QStringLiteral("kind")).toLongLong()) {
        case ContactKindFinger:
            ++fingers;
            break;
        case ContactKindPen:
            pen = true;
            break;
        case ContactKindEraser:
            eraser = true;
            break;
        default:
            break;
        }
    }
    if (fingers > 0)
        markResult(resultNames().at(std::min(fingers, 4) - 1), contacts, sample);
    if (pen)
        markResult(QStringLiteral("Pen"), contacts, sample);
    if (eraser)
        markResult(QStringLiteral("Eraser"), contacts, sample);
}

void VTIntroCompatibilityWindowController::markResult(const QString& name, const QVariantList& contacts,
                                                      const QString& sample)
{
    if (_resultsByName.contains(name))
        return;
    _resultsByName.insert(name, {{QStringLiteral("name"), name},
                                 {QStringLiteral("status"), QStringLiteral("ok")},
                                 {QStringLiteral("details"), compatreport::contactsDetails(contacts)},
                                 {QStringLiteral("sample"), sample}});
    refreshChecklist();
    setStatus(QStringLiteral("%1 detected.").arg(name));
    refreshActionButtons();
}

void VTIntroCompatibilityWindowController::refreshChecklist()
{
    for (const QString& name : resultNames()) {
        QLabel* label = _checkLabels.value(name);
        const bool detected = _resultsByName.contains(name);
        label->setText(QStringLiteral("%1 %2").arg(detected ? QStringLiteral("OK") : QStringLiteral("-"), name));
        if (detected) {
            QPalette palette = label->palette();
            palette.setColor(QPalette::WindowText, QColor::fromRgbF(0.72f, 0.14f, 0.82f));
            label->setPalette(palette);
        } else {
            windowtext::makeSecondary(label);
        }
    }
}

QString VTIntroCompatibilityWindowController::selectedDisplayModel() const
{
    return m_model->selectedDisplayModel(QString());
}

bool VTIntroCompatibilityWindowController::canSendReport() const
{
    return m_privacy->sendingAllowed() && !selectedDisplayModel().isEmpty() && !_resultsByName.isEmpty();
}

void VTIntroCompatibilityWindowController::refreshActionButtons()
{
    _saveButton->setEnabled(canSendReport() && !m_sender.sending());
    // With sending switched off, setup completes without a report.
    _finishButton->setEnabled(!_requiresInitialReport || _reportSent || !m_privacy->sendingAllowed());
}

void VTIntroCompatibilityWindowController::displaySelectionChanged()
{
    QString value = _displayPopup->currentData().toString();
    if (value.isEmpty())
        value = QStringLiteral("auto");
    m_env.settings.setSettingValue(SettingsKey::DisplaySelection, value);
    m_env.notifications.post(VTNotification::DisplaySelectionDidChange, this);
}

void VTIntroCompatibilityWindowController::openHelpPage()
{
    m_env.workspace.openUrl(m_env.helpPage);
}

QJsonObject VTIntroCompatibilityWindowController::resultSummary() const
{
    QJsonObject summary;
    for (const QString& name : resultNames())
        summary.insert(compatreport::summaryKeyForName(name),
                       _resultsByName.contains(name) ? QStringLiteral("ok") : QStringLiteral("not_tested"));
    return summary;
}

QJsonArray VTIntroCompatibilityWindowController::rawSamples() const
{
    QJsonArray samples;
    for (const QString& name : resultNames()) {
        const bool detected = _resultsByName.contains(name);
        samples.append(compatreport::rawSample(compatreport::summaryKeyForName(name),
                                               detected ? QStringLiteral("ok") : QStringLiteral("not_tested"),
                                               _resultsByName.value(name).value(QStringLiteral("sample")).toString()));
    }
    return samples;
}

QJsonObject VTIntroCompatibilityWindowController::reportPayload() const
{
    return compatreport::reportPayload(m_env, {QStringLiteral("compatibility_check"),
                                               QStringLiteral("zarezivodu-check-v1"), selectedDisplayModel(),
                                               resultSummary(), rawSamples()});
}

void VTIntroCompatibilityWindowController::sendReport()
{
    if (!canSendReport()) {
        setStatus(m_privacy->sendingAllowed() ? kNotReadyText : ReportPrivacyNotice::SwitchedOffText);
        refreshActionButtons();
        return;
    }
    if (m_sender.sending())
        return;
    _saveButton->setEnabled(false);
    setStatus(ReportSender::SendingText);
    m_sender.send(reportPayload(), [this](const ReportSender::Outcome& outcome) {
        if (outcome.sent)
            _reportSent = true;
        setStatus(outcome.status);
        refreshActionButtons();
    });
}

void VTIntroCompatibilityWindowController::finish()
{
    if (_requiresInitialReport && !_reportSent && m_privacy->sendingAllowed()) {
        setStatus(kFinishFirstText);
        return;
    }
    m_feed.stop();
    if (_requiresInitialReport) {
        UserDefaults& defaults = m_env.settings.defaults();
        defaults.setValue(SettingsKey::InitialCompatibilityReportSent, true);
        defaults.setValue(SettingsKey::PermissionsCompatibilityCheckPending, false);
        m_env.notifications.post(VTNotification::InitialCompatibilityCompleted, this);
    }
    m_testMode.set(false);
    m_window->close();
}

void VTIntroCompatibilityWindowController::windowWillClose()
{
    m_feed.stop();
    if (_requiresInitialReport && !m_env.settings.defaults().boolValue(SettingsKey::InitialCompatibilityReportSent)) {
        if (m_env.quitApplication)
            m_env.scheduler.post(m_env.quitApplication);
        return;
    }
    m_testMode.set(false);
}

bool VTIntroCompatibilityWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close)
        windowWillClose();
    return QObject::eventFilter(watched, event);
}

void VTIntroCompatibilityWindowController::setStatus(const QString& text)
{
    _statusLabel->setText(text);
}

QString VTIntroCompatibilityWindowController::statusText() const
{
    return _statusLabel->text();
}

