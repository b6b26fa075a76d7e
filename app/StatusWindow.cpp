#include "app/StatusWindow.h"

#include "keyboard/ScreenPlacement.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A button that shows an action exactly as the menu does (its full title,
// enabled state and submenu) and triggers it.
QPushButton* buttonFor(QAction* action, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(action->objectName() + QStringLiteral("Button"));
    button->setAutoDefault(false);
    const auto sync = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setMenu(action->menu());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QPushButton::clicked, action, [action] {
        if (!action->menu())
            action->trigger();
    });
    return button;
}

} // namespace

StatusWindow::StatusWindow(QMenu* menu, const QIcon& icon, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("statusWindow"));
    setWindowTitle(menu->title());
    setWindowIcon(icon);
    auto* layout = new QVBoxLayout(this);
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            auto* line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            layout->addWidget(line);
        } else if (!m_status) {
            // The first line is the status: information, not a command.
            m_status = new QLabel(action->text(), this);
            m_status->setObjectName(QStringLiteral("statusLabel"));
            connect(action, &QAction::changed, m_status, [this, action] { m_status->setText(action->text()); });
            layout->addWidget(m_status);
        } else {
            layout->addWidget(buttonFor(action, this));
        }
    }
    // Shortcuts act while this window has focus.
    addActions(menu->actions());
    setMinimumWidth(260);
}

void StatusWindow::present()
{
    if (!m_placed) {
        m_placed = true;
        // Sized before it is centred; a new widget's size is not its own yet.
        adjustSize();
        centerWindowOnLargestScreen(this);
    }
    show();
    raise();
    activateWindow();
}
