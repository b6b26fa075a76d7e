#include "platform/linux/KeyCodeTable.h"

#include "gestures/VirtualKeyCodes.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>

#include <array>

namespace keycodes {
namespace {

// Virtual key codes follow the ANSI keyboard layout the settings store.
constexpr KeyEntry kKeys[] = {
    // letters
    {0, XK_a, KEY_A}, {11, XK_b, KEY_B}, {8, XK_c, KEY_C}, {2, XK_d, KEY_D},
    {14, XK_e, KEY_E}, {3, XK_f, KEY_F}, {5, XK_g, KEY_G}, {4, XK_h, KEY_H},
    {34, XK_i, KEY_I}, {38, XK_j, KEY_J}, {40, XK_k, KEY_K}, {37, XK_l, KEY_L},
    {46, XK_m, KEY_M}, {45, XK_n, KEY_N}, {31, XK_o, KEY_O}, {35, XK_p, KEY_P},
    {12, XK_q, KEY_Q}, {15, XK_r, KEY_R}, {1, XK_s, KEY_S}, {17, XK_t, KEY_T},
    {32, XK_u, KEY_U}, {9, XK_v, KEY_V}, {13, XK_w, KEY_W}, {7, XK_x, KEY_X},
    {16, XK_y, KEY_Y}, {6, XK_z, KEY_Z},
    // digits
    {29, XK_0, KEY_0}, {18, XK_1, KEY_1}, {19, XK_2, KEY_2}, {20, XK_3, KEY_3},
    {21, XK_4, KEY_4}, {23, XK_5, KEY_5}, {22, XK_6, KEY_6}, {26, XK_7, KEY_7},
    {28, XK_8, KEY_8}, {25, XK_9, KEY_9},
    // punctuation
    {24, XK_equal, KEY_EQUAL}, {27, XK_minus, KEY_MINUS},
    {30, XK_bracketright, KEY_RIGHTBRACE}, {33, XK_bracketleft, KEY_LEFTBRACE},
    {39, XK_apostrophe, KEY_APOSTROPHE}, {41, XK_semicolon, KEY_SEMICOLON},
    {42, XK_backslash, KEY_BACKSLASH}, {43, XK_comma, KEY_COMMA},
    {44, XK_slash, KEY_SLASH}, {47, XK_period, KEY_DOT}, {50, XK_grave, KEY_GRAVE},
    {10, XK_section, KEY_102ND},
    // editing and whitespace
    {36, XK_Return, KEY_ENTER}, {48, XK_Tab, KEY_TAB}, {49, XK_space, KEY_SPACE},
    {51, XK_BackSpace, KEY_BACKSPACE}, {53, XK_Escape, KEY_ESC},
    {117, XK_Delete, KEY_DELETE}, {114, XK_Insert, KEY_INSERT},
    {115, XK_Home, KEY_HOME}, {119, XK_End, KEY_END},
    {116, XK_Prior, KEY_PAGEUP}, {121, XK_Next, KEY_PAGEDOWN},
    {57, XK_Caps_Lock, KEY_CAPSLOCK},
    // arrows
    {123, XK_Left, KEY_LEFT}, {124, XK_Right, KEY_RIGHT},
    {125, XK_Down, KEY_DOWN}, {126, XK_Up, KEY_UP},
    // function keys
    {122, XK_F1, KEY_F1}, {120, XK_F2, KEY_F2}, {99, XK_F3, KEY_F3}, {118, XK_F4, KEY_F4},
    {96, XK_F5, KEY_F5}, {97, XK_F6, KEY_F6}, {98, XK_F7, KEY_F7}, {100, XK_F8, KEY_F8},
    {101, XK_F9, KEY_F9}, {109, XK_F10, KEY_F10}, {103, XK_F11, KEY_F11},
    {111, XK_F12, KEY_F12}, {105, XK_F13, KEY_F13}, {107, XK_F14, KEY_F14},
    {113, XK_F15, KEY_F15}, {106, XK_F16, KEY_F16}, {64, XK_F17, KEY_F17},
    {79, XK_F18, KEY_F18}, {80, XK_F19, KEY_F19}, {90, XK_F20, KEY_F20},
    // keypad
    {82, XK_KP_0, KEY_KP0}, {83, XK_KP_1, KEY_KP1}, {84, XK_KP_2, KEY_KP2},
    {85, XK_KP_3, KEY_KP3}, {86, XK_KP_4, KEY_KP4}, {87, XK_KP_5, KEY_KP5},
    {88, XK_KP_6, KEY_KP6}, {89, XK_KP_7, KEY_KP7}, {91, XK_KP_8, KEY_KP8},
    {92, XK_KP_9, KEY_KP9}, {65, XK_KP_Decimal, KEY_KPDOT},
    {67, XK_KP_Multiply, KEY_KPASTERISK}, {69, XK_KP_Add, KEY_KPPLUS},
    {75, XK_KP_Divide, KEY_KPSLASH}, {76, XK_KP_Enter, KEY_KPENTER},
    {78, XK_KP_Subtract, KEY_KPMINUS}, {81, XK_KP_Equal, KEY_KPEQUAL},
    {71, XK_Num_Lock, KEY_NUMLOCK},
    // media keys that also have virtual codes
    {72, XF86XK_AudioRaiseVolume, KEY_VOLUMEUP}, {73, XF86XK_AudioLowerVolume, KEY_VOLUMEDOWN},
    {74, XF86XK_AudioMute, KEY_MUTE},
    // modifiers (right-hand keys too; the modifier table names the left ones)
    {56, XK_Shift_L, KEY_LEFTSHIFT}, {60, XK_Shift_R, KEY_RIGHTSHIFT},
    {59, XK_Control_L, KEY_LEFTCTRL}, {62, XK_Control_R, KEY_RIGHTCTRL},
    {58, XK_Alt_L, KEY_LEFTALT}, {61, XK_Alt_R, KEY_RIGHTALT},
    {55, XK_Super_L, KEY_LEFTMETA}, {54, XK_Super_R, KEY_RIGHTMETA},
    // the program's own codes for keys the classic table lacks; Super here
    // is a key of its own (a tap opens the overview), not the Command flag
    {VirtualKey::Super, XK_Super_L, KEY_LEFTMETA}, {VirtualKey::Print, XK_Print, KEY_SYSRQ},
};

constexpr std::array<ModifierEntry, kModifierCount> kModifiers = {{
    {Modifier::Shift, 0x20000, 56},
    {Modifier::Control, 0x40000, 59},
    {Modifier::Option, 0x80000, 58},
    {Modifier::Command, 0x100000, 55},
}};

} // namespace

std::span<const KeyEntry> keys()
{
    return kKeys;
}

const KeyEntry* findKey(std::uint16_t virtualKey)
{
    for (const KeyEntry& entry : kKeys) {
        if (entry.virtualKey == virtualKey)
            return &entry;
    }
    return nullptr;
}

const ModifierEntry& modifier(Modifier m)
{
    return kModifiers[static_cast<std::size_t>(m)];
}

std::optional<Modifier> modifierForVirtualKey(std::uint16_t virtualKey)
{
    switch (virtualKey) {
    case 56: case 60: return Modifier::Shift;
    case 59: case 62: return Modifier::Control;
    case 58: case 61: return Modifier::Option;
    case 55: case 54: return Modifier::Command;
    default: return std::nullopt;
    }
}

const KeyEntry* mediaKey(int keyType)
{
    switch (keyType) {
    case 0: return findKey(72);
    case 1: return findKey(73);
    default: return nullptr;
    }
}

std::uint32_t keysymForCodePoint(char32_t codePoint)
{
    if (codePoint == U'\n' || codePoint == U'\r')
        return XK_Return;
    if (codePoint == U'\t')
        return XK_Tab;
    if (codePoint < 0x20 || (codePoint >= 0x7f && codePoint < 0xa0) || codePoint > 0x10ffff)
        return 0;
    if (codePoint < 0x100)
        return codePoint;
    return 0x01000000u | codePoint;
}

} // namespace keycodes
