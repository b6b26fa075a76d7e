#include "compat/CompatibilityControls.h"

#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "settings/SettingsStore.h"
#include "visual/DesktopScreens.h"
#include "windows/WindowText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QWidget>

QVariantList contactsInsideWindow(const QVariantList& contacts, const QWidget* window)
{
    QVariantList inside;
    if (!window)
        return inside;
    const QRect frame = window->frameGeometry();
    for (const QVariant& item : contacts) {
        const QVariantMap contact = item.toMap();
        const QVariant x = contact.value(QStringLiteral("screenX"));
        const QVariant y = contact.value(QStringLiteral("screenY"));
        if (!x.isValid() || !y.isValid())
            continue;
        const QPointF point = desktopscreens::qtGlobalPoint(QPointF(x.toDouble(), y.toDouble()));
        if (QRectF(frame).contains(point))
            inside.append(item);
    }
    return inside;
}

QPushButton* pushButton(QWidget* parent, const QString& title, const QRect& frame, const char* name)
{
    auto* button = new QPushButton(title, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(frame);
    return button;
}

void TestModeSwitch::set(bool enabled)
{
    if (enabled == m_on)
        return;
    m_on = enabled;
    m_center.post(VTNotification::CompatibilityTestModeDidChange, m_sender, {{QStringLiteral("enabled"), enabled}});
}

void TouchFrameFeed::start()
{
    m_lastReportText.clear();
    m_reports = ScopedObserver(m_center, VTNotification::CompatibilityReport, [this](const Notification& n) {
        m_lastReportText = n.userInfo.value(QStringLiteral("text")).toString();
    });
    m_frames = ScopedObserver(m_center, VTNotification::TouchFrame, [this](const Notification& n) {
        m_handler(n.userInfo.value(QStringLiteral("contacts")).toList(), m_lastReportText);
    });
}

void TouchFrameFeed::stop()
{
    m_reports.reset();
    m_frames.reset();
}

const QStringList& DisplayModelChooser::displayModelOptions()
{
    static const QStringList options = {
        QStringLiteral("Select"), QStringLiteral("Samsung Flip"), QStringLiteral("Samsung Flip 2"),
        QStringLiteral("Samsung Flip Pro"), QStringLiteral("Other"),
    };
    return options;
}

DisplayModelChooser::DisplayModelChooser(QWidget* parent, const QRect& popupFrame, const QRect& fieldFrame)
    : QObject(parent), _modelPopup(new QComboBox(parent)), _otherModelField(new QLineEdit(parent))
{
    _modelPopup->setObjectName(QStringLiteral("modelPopup"));
    _modelPopup->addItems(displayModelOptions());
    _modelPopup->setGeometry(popupFrame);
    _otherModelField->setObjectName(QStringLiteral("otherModelField"));
    _otherModelField->setPlaceholderText(QStringLiteral("Specify display model"));
    _otherModelField->setGeometry(fieldFrame);
    _otherModelField->setEnabled(false);
    connect(_modelPopup, &QComboBox::currentIndexChanged, this, [this] {
        modelSelectionChanged();
        if (otherChosen())
            _otherModelField->setFocus();
    });
    connect(_otherModelField, &QLineEdit::textChanged, this, &DisplayModelChooser::changed);
}

bool DisplayModelChooser::otherChosen() const
{
    return _modelPopup->currentText() == QLatin1String("Other");
}

QString DisplayModelChooser::selectedDisplayModel(const QString& otherWhenBlank) const
{
    const QString title = _modelPopup->currentText();
    if (title == QLatin1String("Select"))
        return QString();
    if (otherChosen()) {
        const QString typed = _otherModelField->text().trimmed();
        return typed.isEmpty() ? otherWhenBlank : QStringLiteral("Other: %1").arg(typed);
    }
    return title;
}

void DisplayModelChooser::modelSelectionChanged()
{
    const bool other = otherChosen() && _modelPopup->isEnabled();
    _otherModelField->setEnabled(other);
    if (!otherChosen())
        _otherModelField->clear();
    emit changed();
}

void DisplayModelChooser::setEnabled(bool enabled)
{
    _modelPopup->setEnabled(enabled);
    if (!enabled)
        _otherModelField->setEnabled(false);
}

const QString ReportPrivacyNotice::NoticeText = QStringLiteral(
    "Reports are anonymous: the display's USB and HID data, one raw report per input, the inputs found, the model "
    "you choose, the screen size, the system version and a random install ID.");
const QString ReportPrivacyNotice::SwitchTitle = QStringLiteral("Send anonymous compatibility reports");
const QString ReportPrivacyNotice::SwitchedOffText = QStringLiteral("Sending reports is switched off.");

ReportPrivacyNotice::ReportPrivacyNotice(SettingsStore& settings, QWidget* parent, const QRect& textFrame,
                                         const QRect& switchFrame)
    : QObject(parent), m_settings(settings), m_switch(new QCheckBox(SwitchTitle, parent))
{
    QLabel* notice = windowtext::label(parent, NoticeText, textFrame, true);
    notice->setObjectName(QStringLiteral("privacyNotice"));
    notice->setWordWrap(true);
    notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_switch->setObjectName(QStringLiteral("sendReportsSwitch"));
    m_switch->setGeometry(switchFrame);
    m_switch->setChecked(sendingAllowed());
    connect(m_switch, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.setSettingValue(SettingsKey::SendCompatibilityReports, on);
        emit sendingAllowedChanged(on);
    });
}

bool ReportPrivacyNotice::sendingAllowed() const
{
    return m_settings.sendCompatibilityReports();
}

void ReportPrivacyNotice::refresh()
{
    const QSignalBlocker blocker(m_switch);
    m_switch->setChecked(sendingAllowed());
}
