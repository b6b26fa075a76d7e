#pragma once
#include <QList>
#include <QString>

// The names of what a key does. "text" types the key's text; every other
// action is handled by the keyboard itself.
namespace KeyAction {
inline const QString Text = QStringLiteral("text");
inline const QString Escape = QStringLiteral("escape");
inline const QString Symbols = QStringLiteral("symbols");
inline const QString Emoji = QStringLiteral("emoji");
inline const QString Cut = QStringLiteral("cut");
inline const QString Copy = QStringLiteral("copy");
inline const QString Paste = QStringLiteral("paste");
inline const QString Redo = QStringLiteral("redo");
inline const QString Undo = QStringLiteral("undo");
inline const QString VolumeDown = QStringLiteral("volumeDown");
inline const QString VolumeUp = QStringLiteral("volumeUp");
inline const QString MissionControl = QStringLiteral("missionControl");
inline const QString Position = QStringLiteral("position");
inline const QString KeyboardSize = QStringLiteral("keyboardSize");
inline const QString Hide = QStringLiteral("hide");
inline const QString HoldToggle = QStringLiteral("holdToggle");
inline const QString Control = QStringLiteral("control");
inline const QString Option = QStringLiteral("option");
inline const QString Command = QStringLiteral("command");
inline const QString Shift = QStringLiteral("shift");
inline const QString Caps = QStringLiteral("caps");
inline const QString Tab = QStringLiteral("tab");
inline const QString Return = QStringLiteral("return");
inline const QString Backspace = QStringLiteral("backspace");
inline const QString Home = QStringLiteral("home");
inline const QString End = QStringLiteral("end");
inline const QString Left = QStringLiteral("left");
inline const QString Right = QStringLiteral("right");
inline const QString Up = QStringLiteral("up");
inline const QString Down = QStringLiteral("down");
} // namespace KeyAction

// One key of the touch keyboard: its label, the text it types (and types
// with shift on), its action and its size in key units and rows.
struct KeyDescriptor {
    QString title;
    QString text;
    QString shiftText;
    QString action = KeyAction::Text;
    int span = 1;
    int rowSpan = 1;

    static KeyDescriptor actionKey(const QString& title, const QString& text, const QString& action, int span = 1);
    static KeyDescriptor symbolKey(const QString& title, const QString& text, const QString& shiftText);
    static KeyDescriptor returnKey();
    // A key that shows and types the same character.
    static KeyDescriptor characterKey(const QString& character);
    // Shows the upper-case letter, types the lower-case one.
    static KeyDescriptor letterKey(QChar letter);

    bool operator==(const KeyDescriptor&) const = default;
};

using KeyRow = QList<KeyDescriptor>;
