#include "app/QtAlertPresenter.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

AlertResult QtAlertPresenter::runModal(const Alert& alert)
{
    QMessageBox box;
    box.setObjectName(QStringLiteral("alert"));
    // Titled with its message, so the window list says what is waiting.
    box.setWindowTitle(alert.message);
    box.setIcon(QMessageBox::Information);
    // Texts may come from the maker's service or a device: shown as written,
    // never as markup whose links the message box would open itself.
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    const QStringList buttons = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    QList<QAbstractButton*> added;
    for (const QString& title : buttons)
        added << box.addButton(title, added.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(added.first()));

    // Extra controls go below the text, where the message box leaves room.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    QLineEdit* field = nullptr;
    if (alert.hasTextField) {
        field = new QLineEdit(alert.textFieldText, &box);
        field->setObjectName(QStringLiteral("alertTextField"));
        field->setMinimumWidth(260);
        if (grid)
            grid->addWidget(field, grid->rowCount(), 1, 1, grid->columnCount() - 1);
    }
    if (!alert.accessoryButton.isEmpty() && grid) {
        // Pressing it leaves the alert open.
        auto* accessory = new QPushButton(alert.accessoryButton, &box);
        accessory->setObjectName(QStringLiteral("alertAccessoryButton"));
        accessory->setAutoDefault(false);
        QObject::connect(accessory, &QPushButton::clicked, &box, [&alert] {
            if (alert.accessoryAction)
                alert.accessoryAction();
        });
        grid->addWidget(accessory, grid->rowCount(), 1, Qt::AlignLeft);
    }

    box.exec();
    AlertResult result;
    result.button = int(added.indexOf(box.clickedButton()));
    if (field)
        result.text = field->text();
    return result;
}
