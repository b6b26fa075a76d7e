#include "keyboard/VTTouchKeyboardController.h"

#include "base/Notifications.h"
#include "base/Scheduler.h"
#include "keyboard/KeyLabels.h"
#include "keyboard/KeyboardGeometry.h"
#include "keyboard/KeyboardIcons.h"
#include "keyboard/KeyboardLayouts.h"
#include "keyboard/PanelPlatform.h"
#include "keyboard/ScreenPlacement.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace {

constexpr qreal kPanelCornerRadius = 18;

// Dark text on the light key caps, whatever the desktop theme.
const QColor kLabelColour(0, 0, 0, 217);

QFont keyFont(const KeyDescriptor& descriptor)
{
    const KeyLabels::KeyFont size = KeyLabels::fontForDescriptor(descriptor);
    QFont font = QApplication::font();
    font.setPixelSize(static_cast<int>(std::lround(size.pixelSize)));
    font.setWeight(size.medium ? QFont::Medium : QFont::Normal);
    return font;
}

bool isActive(const QString& action, const KeyboardState& state)
{
    return (action == KeyAction::Shift && state._shiftOn) || (action == KeyAction::Caps && state._capsOn)
        || (action == KeyAction::Command && state._commandOn) || (action == KeyAction::Option && state._optionOn)
        || (action == KeyAction::Control && state._controlOn) || (action == KeyAction::HoldToggle && state._holdMode);
}

} // namespace

// The panel window: a rounded, light sheet that floats above everything,
// never takes focus and is drawn translucent where a compositor can.
class VTTouchKeyboardController::Panel final : public QWidget {
public:
    explicit Panel(bool translucent)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                               | Qt::WindowDoesNotAcceptFocus)
        , m_translucent(translucent)
    {
        setObjectName(QStringLiteral("touchKeyboardPanel"));
        setWindowTitle(QStringLiteral("Velotap Keyboard"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
        setAttribute(Qt::WA_TranslucentBackground, translucent);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (m_translucent)
            return;
        // Without a compositor the corners are cut away instead.
        QBitmap mask(size());
        mask.fill(Qt::color0);
        QPainter painter(&mask);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::color1);
        painter.drawRoundedRect(QRectF(rect()), kPanelCornerRadius, kPanelCornerRadius);
        painter.end();
        setMask(mask);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0, 0, 0, 40), 1));
        painter.setBrush(m_translucent ? QColor(232, 232, 236, 238) : QColor(232, 232, 236));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kPanelCornerRadius, kPanelCornerRadius);
    }

private:
    bool m_translucent;
};

VTTouchKeyboardController::VTTouchKeyboardController(const Environment& environment)
    : m_scheduler(environment.scheduler)
    , m_settings(environment.settings)
    , m_platform(environment.platform)
    , m_icons(environment.icons ? *environment.icons : KeyboardIcons::shared())
    , m_logic(environment.sink, environment.scheduler, environment.settings)
    , m_showObserver(environment.notifications, VTNotification::TouchKeyboardShow,
                     [this](const Notification&) { showKeyboard(); })
{
    m_logic.setPanel(this);
}

VTTouchKeyboardController::~VTTouchKeyboardController()
{
    m_logic.setPanel(nullptr);
    m_logic.releaseHeldKeyIfNeeded();
}

QWidget* VTTouchKeyboardController::panel() const
{
    return _panel.get();
}

QList<VTKeyboardButton*> VTTouchKeyboardController::keyButtons() const
{
    if (!_keyView)
        return {};
    return _keyView->findChildren<VTKeyboardButton*>(Qt::FindDirectChildrenOnly);
}

bool VTTouchKeyboardController::visible() const
{
    return _panel && _panel->isVisible();
}

void VTTouchKeyboardController::showKeyboard()
{
    ensurePanel();
    positionKeyboardAtSavedPosition();
    if (_panel->isVisible()) {
        _panel->raise();
        return;
    }
    _panel->winId(); // the native window, for the hints
    if (QWindow* window = _panel->windowHandle())
        m_platform.prepareToShow(*window);
    _panel->show();
}

void VTTouchKeyboardController::hideKeyboard()
{
    m_logic.releaseHeldKeyIfNeeded();
    if (_panel)
        _panel->hide();
    // Building the full keyboard again restyles its keys as well.
    if (m_logic.resetForHide() && _panel)
        buildKeys();
    else
        refreshModifierButtons();
}

void VTTouchKeyboardController::ensurePanel()
{
    if (_panel)
        return;
    _panel = std::make_unique<Panel>(m_platform.supportsTranslucency());
    _keyView = new QWidget(_panel.get());
    _keyView->setObjectName(QStringLiteral("keyView"));
    // Sized for its rows by buildKeys.
    buildKeys();
}

void VTTouchKeyboardController::resizePanelForRowCount(int rows)
{
    if (!_panel)
        return;
    const QSize size = KeyboardGeometry::panelSizeForRowCount(rows);
    if (_panel->size() == size && _panel->minimumSize() == size)
        return;
    _panel->setFixedSize(size);
    _keyView->setGeometry(_panel->rect().adjusted(KeyboardGeometry::kPanelInset, KeyboardGeometry::kPanelInset,
                                                  -KeyboardGeometry::kPanelInset, -KeyboardGeometry::kPanelInset));
    if (_panel->isVisible())
        positionKeyboardAtSavedPosition();
}

void VTTouchKeyboardController::buildKeys()
{
    // A repeat must not outlive the key that started it.
    m_logic.releaseHeldKeyIfNeeded();
    qDeleteAll(keyButtons());
    const QList<KeyRow> rows = KeyboardLayout::keyboardRows(m_logic.state());
    resizePanelForRowCount(static_cast<int>(rows.size()));
    const QList<QRect> frames = KeyboardGeometry::keyFrames(rows, _keyView->size());
    qsizetype index = 0;
    for (const KeyRow& row : rows) {
        for (const KeyDescriptor& descriptor : row) {
            VTKeyboardButton* button = keyButtonWithTitle(descriptor.title, frames.at(index++), descriptor);
            button->show();
        }
    }
    refreshModifierButtons();
}

VTKeyboardButton* VTTouchKeyboardController::keyButtonWithTitle(const QString& title, const QRect& frame,
                                                                  const KeyDescriptor& descriptor)
{
    auto* button = new VTKeyboardButton(descriptor, *this, _keyView);
    button->setGeometry(frame);
    button->setText(title);
    button->setFont(keyFont(descriptor));
    button->setToolTip(descriptor.text);
    button->setIconSize(QSize(KeyboardIcon::kSize, KeyboardIcon::kSize));
    connect(button, &QAbstractButton::clicked, this, [this, button] { keyPressed(*button); });
    // Its icon or label and its tint come with the state, from
    // refreshModifierButtons once all keys are built.
    return button;
}

void VTTouchKeyboardController::applyIconForButton(VTKeyboardButton& button, bool active)
{
    const KeyDescriptor& descriptor = button.descriptor();
    const QColor tint = active ? QColor(Qt::white) : kLabelColour;
    const auto icon = m_icons.iconNamed(KeyLabels::iconNameForDescriptor(descriptor, m_logic.state()));
    if (icon) {
        button.setIcon(QIcon(icon->pixmap(tint, button.devicePixelRatioF())));
        button.setText(QString());
        button.setToolTip(descriptor.title.isEmpty() ? descriptor.action : descriptor.title);
    } else {
        button.setIcon(QIcon());
        button.setText(KeyLabels::displayTitleForDescriptor(descriptor, m_logic.state()));
    }
    button.setTint(tint);
}

void VTTouchKeyboardController::refreshModifierButtons()
{
    for (VTKeyboardButton* button : keyButtons()) {
        const KeyDescriptor& descriptor = button->descriptor();
        const bool active = isActive(descriptor.action, m_logic.state());
        button->setFont(keyFont(descriptor));
        button->setActive(active);
        applyIconForButton(*button, active);
    }
}

void VTTouchKeyboardController::keyPressed(VTKeyboardButton& button)
{
    m_logic.keyPressed(button.descriptor());
}

void VTTouchKeyboardController::keyboardLayoutChanged(bool sizeChanged)
{
    // The pressed key is among those rebuilt: wait until its click is over.
    m_scheduler.post([this, alive = std::weak_ptr<bool>(m_alive), sizeChanged] {
        if (alive.expired() || !_panel)
            return;
        buildKeys();
        if (sizeChanged)
            positionKeyboardAtSavedPosition();
    });
}

bool VTTouchKeyboardController::keyButtonShouldUseHold(VTKeyboardButton& button)
{
    return m_logic.keyButtonShouldUseHold(button.descriptor());
}

void VTTouchKeyboardController::keyButtonHoldBegan(VTKeyboardButton& button)
{
    m_logic.keyButtonHoldBegan(button.descriptor());
}

void VTTouchKeyboardController::keyButtonHoldEnded(VTKeyboardButton&)
{
    m_logic.keyButtonHoldEnded();
}

QString VTTouchKeyboardController::keyboardPosition() const
{
    return KeyboardGeometry::normalizedKeyboardPosition(m_settings.keyboardPosition());
}

void VTTouchKeyboardController::cycleKeyboardPosition()
{
    m_settings.setSettingValue(SettingsKey::KeyboardPosition,
                               KeyboardGeometry::nextKeyboardPosition(m_settings.keyboardPosition()));
    if (visible())
        positionKeyboardAtSavedPosition();
}

void VTTouchKeyboardController::positionKeyboardAtSavedPosition()
{
    ensurePanel();
    QScreen* screen = largestVisibleScreen();
    if (!screen)
        return; // the window system places it
    _panel->move(KeyboardGeometry::keyboardOrigin(keyboardPosition(), screen->availableGeometry(), _panel->size()));
}
