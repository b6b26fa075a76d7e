#include "windows/VTHelpWindowController.h"

#include "base/AlertPresenter.h"
#include "base/Workspace.h"
#include "keyboard/KeyboardIcons.h"
#include "keyboard/ScreenPlacement.h"
#include "windows/WindowText.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <climits>

namespace {

struct Section {
    const char* title;
    const char* body;
    int gapAfter;
};

const Section kSections[] = {
    {"Touch Control",
     "Use Start/Stop to start or stop capturing touch data. After sleep mode you may need to restart touch "
     "controls.",
     18},
    {"Keyboard",
     "Open, close, move, minimize and maximize the keyboard. Use the \"hold\" key to repeat keypresses.", 16},
    {"Settings > Profiles",
     "You can create custom profiles for your apps. Name a profile after the app and it can automatically switch "
     "to the profile when the named app is activated. Matching is partial and case-insensitive, so a profile named "
     "\"Illustrator\" can activate for \"Adobe Illustrator 2026\" app.",
     18},
    {"Settings > Input types",
     "Mouse and keyboard actions can be combined. Selected special keys are held down during the input event. Key "
     "combos however are sent once and before the mouse button, so they can switch tools and then immediately draw "
     "or click with that tool.",
     0},
};

struct Hint {
    const char* icon;
    const char* text;
    int x;
    int rowOffset;
    int width;
};

const Hint kHints[] = {
    {"place", "cycle location", 24, 0, 188},
    {"hide", "close keyboard", 224, 0, 192},
    {"keyboard-minimize", "minimize keyboard", 24, 36, 188},
    {"keyboard-maximize", "maximize keyboard", 224, 36, 192},
};

constexpr int kTopMargin = 34;
constexpr int kHintRows = 82;
constexpr int kBottomMargin = 64;
constexpr int kIconSize = KeyboardIcon::kSize;

QFont bodyFont()
{
    return windowtext::font(false);
}

} // namespace

VTHelpWindowController::VTHelpWindowController(Environment environment)
    : m_env(std::move(environment))
    , m_window(std::make_unique<QWidget>())
{
    m_window->setObjectName(QStringLiteral("helpWindow"));
    m_window->setWindowTitle(QStringLiteral("Velotap Help"));
    buildContent();
    centerWindowOnLargestScreen(m_window.get());
}

VTHelpWindowController::~VTHelpWindowController() = default;

void VTHelpWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

int VTHelpWindowController::helpBodyHeightForText(const QString& text)
{
    if (text.isEmpty())
        return 12;
    const QFontMetrics metrics(bodyFont());
    return metrics.boundingRect(QRect(0, 0, TextWidth, INT_MAX / 2), Qt::TextWordWrap, text).height() + 12;
}

int VTHelpWindowController::helpSectionHeightForBody(const QString& body, int gapAfter)
{
    return helpBodyHeightForText(body) + 22 + gapAfter;
}

void VTHelpWindowController::addHelpSection(const QString& title, const QString& body, int& top, int gapAfter)
{
    QLabel* heading = windowtext::label(m_window.get(), title, QRect(24, top, TextWidth, 20));
    heading->setFont(windowtext::font(true));
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top += 22;
    const int height = helpBodyHeightForText(body);
    QLabel* text = windowtext::label(m_window.get(), body, QRect(24, top, TextWidth, height), true);
    text->setFont(bodyFont());
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top += height + gapAfter;
}

void VTHelpWindowController::addKeyboardIconHint(const QString& icon, const QString& text, int x, int top, int width)
{
    auto* box = new QFrame(m_window.get());
    box->setObjectName(QStringLiteral("hint-") + icon);
    box->setGeometry(x, top, width, 28);
    box->setStyleSheet(QStringLiteral("QFrame#%1 { background: rgba(255, 255, 255, 140); border: 1px solid "
                                      "rgba(179, 179, 179, 115); border-radius: 6px; }")
                           .arg(box->objectName()));
    auto* image = new QLabel(box);
    image->setObjectName(QStringLiteral("icon"));
    image->setGeometry(8, 5, kIconSize, kIconSize);
    // A missing icon leaves its place empty; the text still tells.
    if (const std::optional<KeyboardIcon> glyph = m_env.keyboardIcons.iconNamed(icon))
        image->setPixmap(glyph->pixmap(box->palette().color(QPalette::WindowText), m_window->devicePixelRatioF()));
    QLabel* caption = windowtext::label(box, text, QRect(34, 5, width - 42, kIconSize), true);
    QFont small = windowtext::font(false);
    small.setPointSizeF(small.pointSizeF() * 0.9);
    caption->setFont(small);
}

void VTHelpWindowController::buildContent()
{
    int height = kTopMargin + kHintRows + kBottomMargin;
    for (const Section& section : kSections)
        height += helpSectionHeightForBody(QString::fromUtf8(section.body), section.gapAfter);
    m_window->setFixedSize(Width, height);

    int top = kTopMargin;
    for (int i = 0; i < 2; ++i)
        addHelpSection(QString::fromUtf8(kSections[i].title), QString::fromUtf8(kSections[i].body), top,
                       kSections[i].gapAfter);
    for (const Hint& hint : kHints)
        addKeyboardIconHint(QString::fromLatin1(hint.icon), QString::fromLatin1(hint.text), hint.x,
                            top + hint.rowOffset, hint.width);
    top += kHintRows;
    for (int i = 2; i < 4; ++i)
        addHelpSection(QString::fromUtf8(kSections[i].title), QString::fromUtf8(kSections[i].body), top,
                       kSections[i].gapAfter);

    auto* button = new QPushButton(QStringLiteral("Open Help Page"), m_window.get());
    button->setObjectName(QStringLiteral("openHelpPage"));
    button->setGeometry(24, height - 48, 160, 30);
    connect(button, &QPushButton::clicked, this, &VTHelpWindowController::openHelpPage);
}

void VTHelpWindowController::openHelpPage()
{
    if (m_env.helpPage.isValid() && m_env.workspace.openUrl(m_env.helpPage))
        return;
    Alert alert;
    alert.message = QStringLiteral("The help page could not be opened");
    alert.informativeText = m_env.helpPage.isLocalFile() ? m_env.helpPage.toLocalFile() : m_env.helpPage.toString();
    alert.buttons = {QStringLiteral("OK")};
    m_env.alerts.runModal(alert);
}
