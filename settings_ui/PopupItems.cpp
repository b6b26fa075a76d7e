#include "settings_ui/PopupItems.h"

#include <QComboBox>
#include <QStandardItemModel>

namespace popup {

static QStandardItem* itemAt(const QComboBox* popup, int index)
{
    auto* model = qobject_cast<QStandardItemModel*>(popup->model());
    return model ? model->item(index) : nullptr;
}

void addItem(QComboBox* popup, const QString& title, const QVariant& value, bool enabled)
{
    popup->addItem(title, value);
    if (!enabled) {
        if (QStandardItem* item = itemAt(popup, popup->count() - 1))
            item->setEnabled(false);
    }
}

void addSeparator(QComboBox* popup)
{
    popup->insertSeparator(popup->count());
}

void setItemChecked(QComboBox* popup, int index, bool checked)
{
    popup->setItemData(index, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

bool isItemEnabled(const QComboBox* popup, int index)
{
    const QStandardItem* item = itemAt(popup, index);
    return item && item->isEnabled();
}

int indexOfValue(const QComboBox* popup, const QVariant& value)
{
    for (int i = 0; i < popup->count(); ++i) {
        const QVariant data = popup->itemData(i);
        if (data.isValid() && data == value)
            return i;
    }
    return -1;
}

bool selectValue(QComboBox* popup, const QVariant& value)
{
    const int index = indexOfValue(popup, value);
    if (index < 0)
        return false;
    popup->setCurrentIndex(index);
    return true;
}

void selectOrShowStored(QComboBox* popup, const QVariant& value, const QString& title, bool enabled)
{
    if (selectValue(popup, value))
        return;
    addSeparator(popup);
    addItem(popup, title.isEmpty() ? QStringLiteral("Unknown (%1)").arg(value.toString()) : title, value, enabled);
    popup->setCurrentIndex(popup->count() - 1);
}

} // namespace popup
