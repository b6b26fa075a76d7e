#include "visual/VTTouchIndicatorController.h"

#include "base/Notifications.h"
#include "settings/SettingsStore.h"
#include "touch/DisplaySelection.h"
#include "visual/DesktopScreens.h"
#include "visual/VTTouchIndicatorView.h"

#include <QGuiApplication>
#include <QScreen>

VTTouchIndicatorController::VTTouchIndicatorController(const Environment& environment)
    : m_env(environment), _view(std::make_unique<VTTouchIndicatorView>(m_env.scheduler))
{
    _view->setObjectName(QStringLiteral("touchIndicatorOverlay"));
    // Bypassing the window manager keeps it above every managed window and
    // out of task lists and window cycling.
    _view->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                          | Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput
                          | Qt::WindowDoesNotAcceptFocus);
    _view->setAttribute(Qt::WA_ShowWithoutActivating);
    const bool compositing = !m_env.compositing || m_env.compositing();
    if (compositing) {
        _view->setAttribute(Qt::WA_TranslucentBackground);
        _view->setAttribute(Qt::WA_NoSystemBackground);
    } else {
        _view->setShaped(true);
    }

    NotificationCenter& center = m_env.notifications;
    m_observers.emplace_back(center, VTNotification::TouchIndicatorsSettingDidChange,
                             [this](const Notification&) { settingChanged(); });
    m_observers.emplace_back(center, VTNotification::DisplaySelectionDidChange,
                             [this](const Notification&) { displayChanged(); });
    m_observers.emplace_back(center, VTNotification::CompatibilityTestModeDidChange,
                             [this](const Notification& n) { compatibilityModeChanged(n); });
    // The switch edited outside the settings window (velotap defaults) counts too.
    m_externalChanges = m_env.settings.defaults().addExternalChangeObserver([this] { updateVisibility(); });
    followScreens();
    updateVisibility();
}

VTTouchIndicatorController::~VTTouchIndicatorController()
{
    m_env.settings.defaults().removeExternalChangeObserver(m_externalChanges);
    m_frames.reset();
    m_observers.clear();
    _view->hide();
}

QWidget* VTTouchIndicatorController::window() const
{
    return _view.get();
}

QRectF VTTouchIndicatorController::targetBounds() const
{
    return DisplaySelection::targetDisplayBounds(m_env.displays, m_env.settings.displaySelection());
}

QScreen* VTTouchIndicatorController::targetScreen() const
{
    return desktopscreens::screenForDisplayBounds(targetBounds());
}

void VTTouchIndicatorController::updateWindowFrame()
{
    QScreen* screen = targetScreen();
    if (!screen)
        return;
    if (_view->screen() != screen)
        _view->setScreen(screen);
    if (_view->geometry() != screen->geometry())
        _view->setGeometry(screen->geometry());
}

void VTTouchIndicatorController::followScreens()
{
    // Monitors that come, go or change size move the overlay with them.
    const auto follow = [this] {
        if (_view->isVisible())
            updateWindowFrame();
    };
    const auto watch = [this, follow](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, _view.get(), follow);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!application)
        return;
    QObject::connect(application, &QGuiApplication::screenAdded, _view.get(), [watch, follow](QScreen* screen) {
        watch(screen);
        follow();
    });
    QObject::connect(application, &QGuiApplication::screenRemoved, _view.get(), follow, Qt::QueuedConnection);
    QObject::connect(application, &QGuiApplication::primaryScreenChanged, _view.get(), follow);
}

bool VTTouchIndicatorController::indicatorsWanted() const
{
    return m_env.settings.showTouchIndicators() && !_compatibilityTestActive;
}

void VTTouchIndicatorController::followFrames(bool follow)
{
    if (!follow)
        m_frames.reset();
    else if (!m_frames)
        m_frames.emplace(m_env.notifications, VTNotification::TouchFrame,
                         [this](const Notification& n) { touchReport(n); });
}

void VTTouchIndicatorController::updateVisibility()
{
    const bool wanted = indicatorsWanted();
    followFrames(wanted);
    if (wanted) {
        updateWindowFrame();
        _view->show();
        _view->raise();
    } else {
        _view->resetEffects();
        _view->hide();
    }
}

void VTTouchIndicatorController::touchReport(const Notification& notification)
{
    if (!indicatorsWanted())
        return;
    if (!_view->isVisible())
        updateVisibility();
    const QVariantList contacts = notification.userInfo.value(QStringLiteral("contacts")).toList();
    // A touch that begins brings the overlay back above windows raised since.
    if (_view->activeContactCount() == 0 && !contacts.isEmpty())
        _view->raise();
    _view->addContacts(contacts, targetBounds());
}

void VTTouchIndicatorController::settingChanged()
{
    updateVisibility();
}

void VTTouchIndicatorController::displayChanged()
{
    _view->resetEffects();
    updateVisibility();
}

void VTTouchIndicatorController::compatibilityModeChanged(const Notification& notification)
{
    _compatibilityTestActive = notification.userInfo.value(QStringLiteral("enabled")).toBool();
    updateVisibility();
}
