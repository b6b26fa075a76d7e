#include "settings_ui/AdvancedSettingsPanel.h"

#include "settings/SettingsStore.h"
#include "settings_ui/PopupItems.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSignalBlocker>

#include <algorithm>

namespace {

const QString kSeconds = QStringLiteral(" s");

} // namespace

AdvancedSettingsPanel::AdvancedSettingsPanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("advancedSettings"));
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);

    addNumber(SettingsKey::ScrollScale, QStringLiteral("Scroll speed"), 0.1, 10, 0.1, QStringLiteral(" ×"),
              QStringLiteral("How far content moves for each point a finger moves."));
    addCheck(SettingsKey::NaturalScroll, QStringLiteral("Natural scrolling"),
             QStringLiteral("Content follows the fingers, as on a phone. Applies to every profile."));
    addNumber(SettingsKey::InertiaDecay, QStringLiteral("Inertia decay"), 0, 0.99, 0.01, QString(),
              QStringLiteral("How much of the speed is kept each frame after release; higher glides longer."));
    addNumber(SettingsKey::InertiaBoost, QStringLiteral("Inertia boost"), 0, 10, 0.1, QStringLiteral(" ×"),
              QStringLiteral("How much the release speed is multiplied when inertia starts."));
    addNumber(SettingsKey::TouchDelay, QStringLiteral("Touch delay"), 0, 1, 0.01, kSeconds,
              QStringLiteral("How long a touch waits before pressing, so two fingers landing together "
                             "are not taken for a click."));
    addNumber(SettingsKey::ScrollReleaseDelay, QStringLiteral("Scroll release delay"), 0, 1, 0.005, kSeconds,
              QStringLiteral("How long scrolling waits after the fingers lift before it ends."));
    addNumber(SettingsKey::HoldRepeatInterval, QStringLiteral("Key repeat interval"), 0.02, 1, 0.01, kSeconds,
              QStringLiteral("How often a held key of the touch keyboard repeats."));

    m_backend = new QComboBox(this);
    m_backend->setObjectName(SettingsKey::EventBackend);
    m_backend->setToolTip(QStringLiteral("How touches reach the desktop. XTest works in X11 sessions; uinput "
                                         "also works under Wayland and needs write access to /dev/uinput. "
                                         "Takes effect the next time touch starts."));
    connect(m_backend, &QComboBox::activated, this,
            [this] { emit edited(SettingsKey::EventBackend, m_backend->currentData().toString()); });
    form->addRow(QStringLiteral("Input method"), m_backend);

    addCheck(SettingsKey::GrabKernelTouchInput, QStringLiteral("Take the display's touch input from the desktop"),
             QStringLiteral("While touch runs, the desktop does not also act on the display's own touch "
                            "events, so a touch is not acted on twice. Takes effect the next time touch starts."));
}

void AdvancedSettingsPanel::addNumber(const QString& key, const QString& title, double minimum, double maximum,
                                      double step, const QString& suffix, const QString& help)
{
    auto* box = new QDoubleSpinBox(this);
    box->setObjectName(key);
    box->setDecimals(3);
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setSuffix(suffix);
    box->setToolTip(help);
    // Typing "0.25" must not store 0, 0.2 and 0.25 one after the other.
    box->setKeyboardTracking(false);
    connect(box, &QDoubleSpinBox::valueChanged, this, [this, key](double value) { emit edited(key, value); });
    static_cast<QFormLayout*>(layout())->addRow(title, box);
    m_numbers.push_back({key, minimum, maximum, box});
}

QCheckBox* AdvancedSettingsPanel::addCheck(const QString& key, const QString& title, const QString& help)
{
    auto* check = new QCheckBox(title, this);
    check->setObjectName(key);
    check->setToolTip(help);
    connect(check, &QCheckBox::clicked, this, [this, key](bool on) { emit edited(key, on); });
    static_cast<QFormLayout*>(layout())->addRow(QString(), check);
    m_checks.push_back(check);
    return check;
}

void AdvancedSettingsPanel::refresh(const SettingsStore& settings)
{
    for (const NumberField& field : m_numbers) {
        const QSignalBlocker blocker(field.box);
        const double value = settings.settingDouble(field.key);
        // A stored value outside the usual range is shown as it is, not clamped.
        field.box->setRange(std::min(value, field.minimum), std::max(value, field.maximum));
        field.box->setValue(value);
    }
    for (QCheckBox* check : m_checks)
        check->setChecked(settings.settingBool(check->objectName()));

    m_backend->clear();
    popup::addItem(m_backend, QStringLiteral("Automatic"), QStringLiteral("auto"));
    popup::addItem(m_backend, QStringLiteral("XTest (X11)"), QStringLiteral("xtest"));
    popup::addItem(m_backend, QStringLiteral("uinput (X11 and Wayland)"), QStringLiteral("uinput"));
    const QString backend = settings.settingString(SettingsKey::EventBackend);
    popup::selectOrShowStored(m_backend, backend.isEmpty() ? QStringLiteral("auto") : backend);
}
