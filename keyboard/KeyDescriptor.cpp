#include "keyboard/KeyDescriptor.h"

KeyDescriptor KeyDescriptor::actionKey(const QString& title, const QString& text, const QString& action, int span)
{
    KeyDescriptor key;
    key.title = title;
    key.text = text;
    key.action = action.isEmpty() ? KeyAction::Text : action;
    key.span = span;
    return key;
}

KeyDescriptor KeyDescriptor::symbolKey(const QString& title, const QString& text, const QString& shiftText)
{
    KeyDescriptor key;
    key.title = title;
    key.text = text;
    key.shiftText = shiftText;
    return key;
}

KeyDescriptor KeyDescriptor::returnKey()
{
    KeyDescriptor key = actionKey(QStringLiteral("ret"), {}, KeyAction::Return);
    key.rowSpan = 2;
    return key;
}

KeyDescriptor KeyDescriptor::characterKey(const QString& character)
{
    return actionKey(character, character, KeyAction::Text);
}

KeyDescriptor KeyDescriptor::letterKey(QChar letter)
{
    return actionKey(QString(letter.toUpper()), QString(letter.toLower()), KeyAction::Text);
}
