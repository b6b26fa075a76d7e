// The status menu and the window commands of the delegate.
#include "app/VTAppDelegate.h"

#include "app/ActiveApplicationSource.h"
#include "app/KeyboardPanel.h"
#include "settings/SettingsStore.h"
#include "touch/VTTouchBridge.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace {

constexpr int kIconPoints = 18;
const int kIconScales[] = {1, 2, 3};

// Menu titles treat "&" as a mnemonic marker; profile names are shown as typed.
QString menuText(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QPixmap drawnStatusIcon(int scale)
{
    QPixmap pixmap(kIconPoints * scale, kIconPoints * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    // Drawn with the origin at the bottom left; every shape is centred, so
    // flipping changes nothing but keeps the drawing true to its numbers.
    painter.translate(0, kIconPoints);
    painter.scale(1, -1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.72f, 0.14f, 0.82f, 1.0f));
    painter.drawEllipse(QRectF(2, 2, 14, 14));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.92f), 1.0));
    for (const double r : {2.2, 4.4})
        painter.drawEllipse(QRectF(9 - r, 9 - r, 2 * r, 2 * r));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(7.1, 7.1, 3.8, 3.8));
    return pixmap;
}

} // namespace

QIcon VTAppDelegate::statusIcon(const QString& path)
{
    QIcon icon;
    QSvgRenderer renderer;
    const bool readable = !path.isEmpty() && QFileInfo(path).isFile() && renderer.load(path) && renderer.isValid();
    for (const int scale : kIconScales) {
        if (!readable) {
            icon.addPixmap(drawnStatusIcon(scale));
            continue;
        }
        QImage image(kIconPoints * scale, kIconPoints * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    // The template image of a menu bar: desktops that tint icons may do so.
    icon.setIsMask(true);
    return icon;
}

void VTAppDelegate::buildMenu()
{
    m_menu = std::make_unique<QMenu>(QStringLiteral("Velotap"));
    m_menu->setObjectName(QStringLiteral("statusMenu"));
    const auto add = [this](const QString& title, const char* name, const QKeySequence& shortcut,
                            void (VTAppDelegate::*command)()) {
        QAction* action = m_menu->addAction(title);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        if (command)
            QObject::connect(action, &QAction::triggered, m_menu.get(), [this, command] { (this->*command)(); });
        return action;
    };
    m_statusMenuItem = add(QStringLiteral("Starting..."), "actionStatus", {}, nullptr);
    m_statusMenuItem->setEnabled(false);
    m_menu->addSeparator();
    m_toggleMenuItem = add(QStringLiteral("Stop Touch"), "actionToggleTouch", {}, &VTAppDelegate::toggleTouch);
    m_keyboardMenuItem = add(QStringLiteral("Show Keyboard"), "actionShowKeyboard", QKeySequence(QStringLiteral("Ctrl+K")),
                             &VTAppDelegate::showKeyboard);
    m_profileMenuItem = add(QStringLiteral("Profile"), "actionProfile", {}, nullptr);
    m_settingsMenuItem = add(QStringLiteral("Settings..."), "actionSettings", QKeySequence(QStringLiteral("Ctrl+,")),
                             &VTAppDelegate::showSettings);
    add(QStringLiteral("Velotap Help"), "actionHelp", QKeySequence(QStringLiteral("Ctrl+?")), &VTAppDelegate::showHelp);
    add(QStringLiteral("About Velotap"), "actionAbout", {}, &VTAppDelegate::showAbout);
    m_menu->addSeparator();
    add(QStringLiteral("Quit"), "actionQuit", QKeySequence(QStringLiteral("Ctrl+Q")), &VTAppDelegate::quit);
    refreshMenu();
}

void VTAppDelegate::refreshMenu()
{
    if (!m_menu)
        return;
    const bool setupRequired = initialCompatibilitySetupRequired();
    const bool update = updateRequired();
    if (update)
        m_statusMenuItem->setText(QStringLiteral("Status: Update required"));
    else if (setupRequired)
        m_statusMenuItem->setText(QStringLiteral("Status: Compatibility check required"));
    else
        m_statusMenuItem->setText(QStringLiteral("Status: %1").arg(m_bridge->statusText()));

    const bool commandsEnabled = !update && !setupRequired;
    m_toggleMenuItem->setText(m_bridge->running() ? QStringLiteral("Stop Touch") : QStringLiteral("Start Touch"));
    m_keyboardMenuItem->setText(m_touchKeyboardController->visible() ? QStringLiteral("Close Keyboard")
                                                                     : QStringLiteral("Show Keyboard"));
    for (QAction* item : {m_toggleMenuItem, m_keyboardMenuItem, m_profileMenuItem, m_settingsMenuItem})
        item->setEnabled(commandsEnabled);
    rebuildProfileMenu();
}

void VTAppDelegate::rebuildProfileMenu()
{
    SettingsStore& settings = m_env.settings;
    const QString active = settings.activeProfileName();
    auto* menu = new QMenu(QStringLiteral("Profile"), m_menu.get());
    menu->setObjectName(QStringLiteral("profileMenu"));
    for (const QString& name : settings.profileNames()) {
        QAction* item = menu->addAction(menuText(name));
        item->setData(name);
        item->setCheckable(true);
        item->setChecked(name == active);
        QObject::connect(item, &QAction::triggered, m_menu.get(), [this, name] { selectProfileFromMenu(name); });
    }
    menu->addSeparator();
    const bool automatic = settings.automaticProfileSwitching();
    QAction* switching = menu->addAction(
        QStringLiteral("Automatic Switching: %1").arg(automatic ? QStringLiteral("On") : QStringLiteral("Off")));
    switching->setObjectName(QStringLiteral("actionAutomaticSwitching"));
    switching->setCheckable(true);
    switching->setChecked(automatic);
    QObject::connect(switching, &QAction::triggered, m_menu.get(), [this] { toggleAutomaticProfileSwitching(); });
    if (!m_env.activeApplication.available()) {
        // Say why switching cannot follow the active application here.
        QAction* reason = menu->addAction(m_env.activeApplication.unavailableReason());
        reason->setObjectName(QStringLiteral("actionSwitchingUnavailable"));
        reason->setEnabled(false);
    }

    m_profileMenuItem->setText(QStringLiteral("Profile: %1").arg(menuText(active)));
    m_profileMenuItem->setMenu(menu);
    // The old menu may be the one whose item is being handled right now.
    if (m_profileMenu)
        m_profileMenu->deleteLater();
    m_profileMenu = menu;
}

void VTAppDelegate::selectProfileFromMenu(const QString& name)
{
    if (!name.isEmpty())
        m_env.settings.applyProfileNamed(name);
}

void VTAppDelegate::toggleAutomaticProfileSwitching()
{
    m_env.settings.setAutomaticProfileSwitching(!m_env.settings.automaticProfileSwitching());
}

void VTAppDelegate::settingsProfileChanged()
{
    refreshMenu();
}

void VTAppDelegate::showWindow(std::unique_ptr<AppWindow>& window, const WindowFactory& factory, const char* name)
{
    if (!window) {
        if (!factory) {
            qCInfo(lcApp) << "Velotap" << name << "window is not available in this build yet";
            return;
        }
        window = factory(*this);
        if (!window)
            return;
    }
    window->showWindow();
}

void VTAppDelegate::showSettings()
{
    if (!touchCommandAllowed())
        return;
    showWindow(m_settingsWindowController, m_env.windows.settings, "settings");
}

void VTAppDelegate::showHelp()
{
    showWindow(m_helpWindowController, m_env.windows.help, "help");
}

void VTAppDelegate::showAbout()
{
    showWindow(m_aboutWindowController, m_env.windows.about, "about");
}

void VTAppDelegate::showDebugReports()
{
    showWindow(m_debugWindowController, m_env.windows.debugReports, "debug reports");
}
