#pragma once
#include <QString>
#include <QVariant>

class QComboBox;

// Pop-up buttons as the settings window uses them: every item carries a
// value (a tag or a represented string), items can be disabled or checked,
// and separators are real separators.
namespace popup {

void addItem(QComboBox* popup, const QString& title, const QVariant& value, bool enabled = true);
void addSeparator(QComboBox* popup);
void setItemChecked(QComboBox* popup, int index, bool checked);
bool isItemEnabled(const QComboBox* popup, int index);
// -1 when no item carries the value.
int indexOfValue(const QComboBox* popup, const QVariant& value);
// Selects the item with the value; false (selection unchanged) when none has it.
bool selectValue(QComboBox* popup, const QVariant& value);

// Selects the item with the value; when none has it, the value is shown as
// it is, after a separator, as a disabled item titled `title` (by default
// "Unknown (<value>)"), so a stored value is never silently replaced.
void selectOrShowStored(QComboBox* popup, const QVariant& value, const QString& title = QString(),
                        bool enabled = false);

} // namespace popup
