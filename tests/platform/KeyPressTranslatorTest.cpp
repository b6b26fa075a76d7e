#include "platform/linux/XKeyPressTranslator.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

namespace {

using Kind = TranslatedKeyPress::Kind;

// "code/flags", "modifier" or "unsupported".
std::string translated(const KeyPressTranslator& keys, const PressedKey& press)
{
    const TranslatedKeyPress t = keys.translate(press);
    switch (t.kind) {
    case Kind::ModifierOnly: return "modifier";
    case Kind::Unsupported: return "unsupported";
    case Kind::Key: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%u/%#llx", unsigned(t.keyCode), static_cast<unsigned long long>(t.flags));
    return text;
}

// A press from a real keyboard without a layout to read: X key code = kernel code + 8.
PressedKey scanned(int kernelCode, Qt::KeyboardModifiers modifiers = {}, int qtKey = 0)
{
    return PressedKey{qtKey, modifiers, quint32(kernelCode + 8), 0, 0};
}

PressedKey synthetic(int qtKey, Qt::KeyboardModifiers modifiers = {})
{
    return PressedKey{qtKey, modifiers, 0, 0, 0};
}

} // namespace

TEST(KeyPressTranslator, WithoutALayoutKernelCodesAndQtKeysGiveVirtualKeys)
{
    const XKeyPressTranslator keys;
    const struct {
        PressedKey press;
        const char* expected;
    } cases[] = {
        {scanned(KEY_A), "0/0"},
        {scanned(KEY_4, Qt::ShiftModifier | Qt::MetaModifier, Qt::Key_Dollar), "21/0x120000"},
        {scanned(KEY_KP5, Qt::KeypadModifier), "87/0"},
        {scanned(KEY_LEFTCTRL, Qt::ControlModifier, Qt::Key_Control), "modifier"},
        {scanned(KEY_CAPSLOCK), "modifier"},
        {scanned(KEY_SYSRQ, {}, Qt::Key_Print), "unsupported"}, // an extension code, never stored
        {synthetic(Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier), "6/0xc0000"},
        {synthetic(Qt::Key_BraceLeft, Qt::ShiftModifier), "33/0x20000"},
        {synthetic(Qt::Key_Enter, Qt::KeypadModifier), "76/0"},
        {synthetic(Qt::Key_Backtab, Qt::ShiftModifier), "48/0x20000"},
        {synthetic(Qt::Key_PageDown, Qt::GroupSwitchModifier), "121/0"},
        {synthetic(Qt::Key_Meta, Qt::MetaModifier), "modifier"},
        {synthetic(Qt::Key_LaunchMail), "unsupported"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(translated(keys, c.press), c.expected) << "Qt key " << std::hex << c.press.key;
}
