#include "settings_ui/KeyComboLabel.h"

#include "settings/SettingsStore.h"

#include <QStringList>

#include <utility>

namespace {

struct KeyName {
    std::uint16_t code;
    const char* name;
};

// Names of the keys of the ANSI layout by their virtual key code.
constexpr KeyName kKeyNames[] = {
    {0, "A"}, {1, "S"}, {2, "D"}, {3, "F"}, {4, "H"}, {5, "G"}, {6, "Z"}, {7, "X"}, {8, "C"}, {9, "V"},
    {11, "B"}, {12, "Q"}, {13, "W"}, {14, "E"}, {15, "R"}, {16, "Y"}, {17, "T"}, {18, "1"}, {19, "2"},
    {20, "3"}, {21, "4"}, {22, "6"}, {23, "5"}, {24, "="}, {25, "9"}, {26, "7"}, {27, "-"}, {28, "8"},
    {29, "0"}, {30, "]"}, {31, "O"}, {32, "U"}, {33, "["}, {34, "I"}, {35, "P"}, {36, "Return"}, {37, "L"},
    {38, "J"}, {39, "'"}, {40, "K"}, {41, ";"}, {42, "\\"}, {43, ","}, {44, "/"}, {45, "N"}, {46, "M"},
    {47, "."}, {48, "Tab"}, {49, "Space"}, {50, "`"}, {51, "Delete"}, {53, "Esc"}, {96, "F5"}, {97, "F6"},
    {98, "F7"}, {99, "F3"}, {100, "F8"}, {101, "F9"}, {103, "F11"}, {109, "F10"}, {111, "F12"},
    {115, "Home"}, {116, "Page Up"}, {117, "Forward Delete"}, {118, "F4"}, {119, "End"}, {120, "F2"},
    {121, "Page Down"}, {122, "F1"}, {123, "Left"}, {124, "Right"}, {125, "Down"}, {126, "Up"},
};

} // namespace

QString virtualKeyName(std::uint16_t keyCode)
{
    for (const KeyName& entry : kKeyNames) {
        if (entry.code == keyCode)
            return QString::fromLatin1(entry.name);
    }
    return QString();
}

QString keyComboLabel(std::uint16_t keyCode, std::uint64_t flags)
{
    static const std::pair<std::uint64_t, const char*> kModifierNames[] = {
        {ModifierFlag::Control, "Ctrl"},
        {ModifierFlag::Option, "Opt"},
        {ModifierFlag::Shift, "Shift"},
        {ModifierFlag::Command, "Cmd"},
    };
    QStringList parts;
    for (const auto& [mask, name] : kModifierNames) {
        if (flags & mask)
            parts << QString::fromLatin1(name);
    }
    const QString name = virtualKeyName(keyCode);
    parts << (name.isEmpty() ? QStringLiteral("Key %1").arg(keyCode) : name);
    return parts.join(QLatin1Char('+'));
}
