#include "keyboard/KeyLabels.h"

#include <QHash>

namespace KeyLabels {

namespace {

const QHash<QString, QString>& shiftMap()
{
    static const QHash<QString, QString> map = {
        {QStringLiteral("`"), QStringLiteral("~")},  {QStringLiteral("1"), QStringLiteral("!")},
        {QStringLiteral("2"), QStringLiteral("@")},  {QStringLiteral("3"), QStringLiteral("#")},
        {QStringLiteral("4"), QStringLiteral("$")},  {QStringLiteral("5"), QStringLiteral("%")},
        {QStringLiteral("6"), QStringLiteral("^")},  {QStringLiteral("7"), QStringLiteral("&")},
        {QStringLiteral("8"), QStringLiteral("*")},  {QStringLiteral("9"), QStringLiteral("(")},
        {QStringLiteral("0"), QStringLiteral(")")},  {QStringLiteral("-"), QStringLiteral("_")},
        {QStringLiteral("="), QStringLiteral("+")},  {QStringLiteral("["), QStringLiteral("{")},
        {QStringLiteral("]"), QStringLiteral("}")},  {QStringLiteral("\\"), QStringLiteral("|")},
        {QStringLiteral(";"), QStringLiteral(":")},  {QStringLiteral("'"), QStringLiteral("\"")},
        {QStringLiteral(","), QStringLiteral("<")},  {QStringLiteral("."), QStringLiteral(">")},
        {QStringLiteral("/"), QStringLiteral("?")},
    };
    return map;
}

// The classic virtual key codes of the US ANSI keyboard.
const QHash<QString, std::uint16_t>& keyCodeTable()
{
    static const QHash<QString, std::uint16_t> table = [] {
        static constexpr struct {
            char16_t character;
            std::uint16_t code;
        } kCodes[] = {
            {u'a', 0},  {u's', 1},  {u'd', 2},  {u'f', 3},  {u'h', 4},  {u'g', 5},  {u'z', 6},
            {u'x', 7},  {u'c', 8},  {u'v', 9},  {u'b', 11}, {u'q', 12}, {u'w', 13}, {u'e', 14},
            {u'r', 15}, {u'y', 16}, {u't', 17}, {u'1', 18}, {u'2', 19}, {u'3', 20}, {u'4', 21},
            {u'6', 22}, {u'5', 23}, {u'=', 24}, {u'9', 25}, {u'7', 26}, {u'-', 27}, {u'8', 28},
            {u'0', 29}, {u']', 30}, {u'o', 31}, {u'u', 32}, {u'[', 33}, {u'i', 34}, {u'p', 35},
            {u'l', 37}, {u'j', 38}, {u'\'', 39}, {u'k', 40}, {u';', 41}, {u'\\', 42}, {u',', 43},
            {u'/', 44}, {u'n', 45}, {u'm', 46}, {u'.', 47}, {u' ', 49}, {u'`', 50},
        };
        QHash<QString, std::uint16_t> codes;
        for (const auto& entry : kCodes)
            codes.insert(QString(QChar(entry.character)), entry.code);
        return codes;
    }();
    return table;
}

QString iconForAction(const QString& action, const KeyboardState& state)
{
    static const QHash<QString, QString> icons = {
        {KeyAction::Tab, KeyAction::Tab},
        {KeyAction::Return, KeyAction::Return},
        {KeyAction::Backspace, KeyAction::Backspace},
        {KeyAction::Shift, KeyAction::Shift},
        {KeyAction::Caps, QStringLiteral("caps-lock")},
        {KeyAction::Command, KeyAction::Command},
        {KeyAction::Option, KeyAction::Option},
        {KeyAction::Control, KeyAction::Control},
        {KeyAction::Home, KeyAction::Home},
        {KeyAction::End, KeyAction::End},
        {KeyAction::Left, QStringLiteral("arrow-left")},
        {KeyAction::Right, QStringLiteral("arrow-right")},
        {KeyAction::Up, QStringLiteral("arrow-up")},
        {KeyAction::Down, QStringLiteral("arrow-down")},
        {KeyAction::Position, QStringLiteral("place")},
        {KeyAction::Hide, KeyAction::Hide},
        {KeyAction::Emoji, KeyAction::Emoji},
        {KeyAction::Cut, KeyAction::Cut},
        {KeyAction::Copy, KeyAction::Copy},
        {KeyAction::Paste, KeyAction::Paste},
        {KeyAction::Redo, KeyAction::Redo},
        {KeyAction::Undo, KeyAction::Undo},
        {KeyAction::VolumeDown, QStringLiteral("volume-down")},
        {KeyAction::VolumeUp, QStringLiteral("volume-up")},
        {KeyAction::MissionControl, QStringLiteral("mission-control")},
    };
    if (action == KeyAction::KeyboardSize)
        return state._keyboardMinimized ? QStringLiteral("keyboard-maximize") : QStringLiteral("keyboard-minimize");
    return icons.value(action);
}

} // namespace

QString iconNameForDescriptor(const KeyDescriptor& key, const KeyboardState& state)
{
    return iconForAction(key.action, state);
}

KeyFont fontForDescriptor(const KeyDescriptor& key)
{
    if (key.action == KeyAction::Text)
        return {15.0, true};
    return {10.5, false};
}

QString displayTitleForDescriptor(const KeyDescriptor& key, const KeyboardState& state)
{
    if (key.action == KeyAction::Symbols)
        return state._symbolsOn ? QStringLiteral("abc") : QStringLiteral("#+=");
    if (key.action != KeyAction::Text)
        return key.title;
    if (state._shiftOn && !key.shiftText.isEmpty())
        return key.shiftText;
    if (state._symbolsOn)
        return key.title;
    if (key.text.size() == 1 && key.text != QLatin1String(" "))
        return shiftedTextForText(key.text, state);
    return key.title;
}

QString shiftedTextForText(const QString& text, const KeyboardState& state)
{
    if (text.isEmpty())
        return text;
    if (text.front().isLower())
        return state._shiftOn != state._capsOn ? text.toUpper() : text.toLower();
    if (state._shiftOn)
        return shiftMap().value(text, text);
    return text;
}

std::optional<std::uint16_t> keyCodeForText(const QString& text)
{
    const auto& table = keyCodeTable();
    const auto it = table.constFind(text.toLower());
    if (it == table.cend())
        return std::nullopt;
    return *it;
}

} // namespace KeyLabels
