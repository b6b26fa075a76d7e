#include "windows/VTAboutWindowController.h"

#include "keyboard/ScreenPlacement.h"
#include "windows/WindowText.h"

#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kWidth = 280;
constexpr int kHeight = 296;
constexpr int kIconSize = 56;

} // namespace

VTAboutWindowController::VTAboutWindowController(Environment environment)
    : m_env(std::move(environment))
    , m_window(std::make_unique<QWidget>())
{
    m_window->setObjectName(QStringLiteral("aboutWindow"));
    m_window->setWindowTitle(QStringLiteral("About Velotap"));
    m_window->setFixedSize(kWidth, kHeight);
    buildContent();
    centerWindowOnLargestScreen(m_window.get());
}

VTAboutWindowController::~VTAboutWindowController() = default;

void VTAboutWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

QPushButton* VTAboutWindowController::buttonWithTitle(const QString& title, const QRect& frame,
                                                      void (VTAboutWindowController::*action)(), bool available)
{
    auto* button = new QPushButton(title, m_window.get());
    button->setGeometry(frame);
    button->setEnabled(available);
    connect(button, &QPushButton::clicked, this, action);
    return button;
}

void VTAboutWindowController::buildContent()
{
    QWidget* content = m_window.get();
    auto* icon = new QLabel(content);
    icon->setObjectName(QStringLiteral("applicationIcon"));
    icon->setGeometry(30, 26, kIconSize, kIconSize);
    icon->setPixmap(m_env.applicationIcon.pixmap(QSize(kIconSize, kIconSize), content->devicePixelRatioF()));

    QLabel* name = windowtext::label(content, QStringLiteral("Velotap"), QRect(104, 22, 162, 34));
    name->setFont(windowtext::font(true, 24));
    const QString version = m_env.version.isEmpty() ? QStringLiteral("0.1.0") : m_env.version;
    QLabel* versionLine = windowtext::label(content, QStringLiteral("Version %1").arg(version), QRect(106, 58, 140, 22), true);
    versionLine->setObjectName(QStringLiteral("version"));
    QLabel* maker = windowtext::label(content, QStringLiteral("Velotap by Orvanta"), QRect(30, 98, 220, 22));
    maker->setAlignment(Qt::AlignCenter);

    buttonWithTitle(QStringLiteral("Check for Updates"), QRect(30, 172, 220, 30),
                    &VTAboutWindowController::checkForUpdates, bool(m_env.checkForUpdates))
        ->setObjectName(QStringLiteral("checkForUpdates"));
    buttonWithTitle(QStringLiteral("Compatibility Check"), QRect(30, 208, 220, 30),
                    &VTAboutWindowController::startCompatibilityCheck, bool(m_env.startCompatibilityCheck))
        ->setObjectName(QStringLiteral("compatibilityCheck"));
    buttonWithTitle(QStringLiteral("Step-by-step Test"), QRect(30, 244, 220, 30),
                    &VTAboutWindowController::startCompatibilityTest, bool(m_env.startCompatibilityTest))
        ->setObjectName(QStringLiteral("compatibilityTest"));
}

void VTAboutWindowController::checkForUpdates()
{
    if (m_env.checkForUpdates)
        m_env.checkForUpdates();
}

void VTAboutWindowController::startCompatibilityCheck()
{
    if (m_env.startCompatibilityCheck)
        m_env.startCompatibilityCheck();
}

void VTAboutWindowController::startCompatibilityTest()
{
    if (m_env.startCompatibilityTest)
        m_env.startCompatibilityTest();
}
