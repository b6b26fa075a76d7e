#include "keyboard/KeyboardLayouts.h"

namespace KeyboardLayout {

namespace {

using K = KeyDescriptor;

const QString kAbcTitle = QStringLiteral("abc");
const QString kSymbolsTitle = QStringLiteral("#+=");

K action(const QString& titleAndAction)
{
    return K::actionKey(titleAndAction, {}, titleAndAction);
}

K action(const QString& title, const QString& name, int span = 1)
{
    return K::actionKey(title, {}, name, span);
}

void addCharacters(KeyRow& row, QStringView characters)
{
    for (QChar c : characters)
        row << K::characterKey(QString(c));
}

void addLetters(KeyRow& row, QStringView letters)
{
    for (QChar c : letters)
        row << K::letterKey(c);
}

// Accented letters typed in lower case, upper case with shift.
void addSymbolLetters(KeyRow& row, QStringView lowerCase)
{
    for (QChar c : lowerCase)
        row << K::symbolKey(QString(c), QString(c), QString(c.toUpper()));
}

} // namespace

KeyRow commonModifierRow()
{
    return {
        action(QStringLiteral("hold"), KeyAction::HoldToggle),
        action(QStringLiteral("ctrl"), KeyAction::Control),
        action(QStringLiteral("opt"), KeyAction::Option),
        action(QStringLiteral("cmd"), KeyAction::Command),
        K::actionKey({}, QStringLiteral(" "), KeyAction::Text, 5),
        action(KeyAction::Home),
        action(KeyAction::End),
        action(KeyAction::Left),
        action(KeyAction::Down),
        action(KeyAction::Right),
    };
}

KeyRow actionRowWithSymbolTitle(const QString& symbolTitle)
{
    return {
        action(QStringLiteral("esc"), KeyAction::Escape),
        action(symbolTitle, KeyAction::Symbols),
        action(KeyAction::Emoji),
        action(KeyAction::Cut),
        action(KeyAction::Copy),
        action(KeyAction::Paste),
        action(KeyAction::Redo),
        action(KeyAction::Undo),
        action(QStringLiteral("vol-"), KeyAction::VolumeDown),
        action(QStringLiteral("vol+"), KeyAction::VolumeUp),
        action(QStringLiteral("mission"), KeyAction::MissionControl),
        action(QStringLiteral("place"), KeyAction::Position),
        action(QStringLiteral("size"), KeyAction::KeyboardSize),
        action(KeyAction::Hide),
    };
}

QList<KeyRow> abcKeyboardRows()
{
    KeyRow numbers;
    addCharacters(numbers, u"`1234567890-=");
    numbers << action(QStringLiteral("del"), KeyAction::Backspace);

    KeyRow upper{action(KeyAction::Tab)};
    addLetters(upper, u"QWERTYUIOP");
    addCharacters(upper, u"[]\\");

    // The grave accent again at the end of the home row, as on the
    // keyboards this layout copies.
    KeyRow home{action(KeyAction::Caps)};
    addLetters(home, u"ASDFGHJKL");
    addCharacters(home, u";'`");
    home << K::returnKey();

    KeyRow lower{action(KeyAction::Shift, KeyAction::Shift, 2)};
    addLetters(lower, u"ZXCVBNM");
    addCharacters(lower, u",./");
    lower << action(KeyAction::Up);

    return {actionRowWithSymbolTitle(kSymbolsTitle), numbers, upper, home, lower, commonModifierRow()};
}

QList<KeyRow> symbolKeyboardRows()
{
    KeyRow first;
    addCharacters(first, u"€´¨©£∞§≈±™–°");
    first << action(QStringLiteral("back"), KeyAction::Backspace, 2);

    KeyRow second{action(KeyAction::Tab)};
    addSymbolLetters(second, u"äöåéèêëáàâíóú");

    KeyRow third{action(KeyAction::Caps)};
    addSymbolLetters(third, u"ñçüùûôòïîœæ");
    addCharacters(third, u"¡");
    third << K::returnKey();

    KeyRow fourth{action(KeyAction::Shift, KeyAction::Shift, 2)};
    addCharacters(fourth, u"¿¶«»≤≥×÷µ®");
    fourth << action(KeyAction::Up);

    return {actionRowWithSymbolTitle(kAbcTitle), first, second, third, fourth, commonModifierRow()};
}

QList<KeyRow> keyboardRows(const KeyboardState& state)
{
    if (state._keyboardMinimized)
        return {actionRowWithSymbolTitle(state._symbolsOn ? kAbcTitle : kSymbolsTitle)};
    return state._symbolsOn ? symbolKeyboardRows() : abcKeyboardRows();
}

} // namespace KeyboardLayout
