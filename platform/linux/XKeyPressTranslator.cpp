#include "platform/linux/XKeyPressTranslator.h"

#include "gestures/VirtualKeyCodes.h"
#include "platform/linux/KeyCodeTable.h"
#include "platform/linux/XErrors.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <optional>
#include <utility>

namespace {

using keycodes::KeyEntry;

// Lock keys change a state; like modifiers they are never a combo's key.
constexpr std::uint16_t kCapsLock = 57;
constexpr std::uint16_t kNumLock = 71;

std::optional<std::uint16_t> virtualKeyForKeysym(std::uint32_t keysym)
{
    if (keysym == 0)
        return std::nullopt;
    for (const KeyEntry& entry : keycodes::keys()) {
        if (entry.keysym == keysym)
            return entry.virtualKey;
    }
    return std::nullopt;
}

std::optional<std::uint16_t> virtualKeyForEvdevCode(std::uint32_t code)
{
    for (const KeyEntry& entry : keycodes::keys()) {
        if (entry.evdevCode == code)
            return entry.virtualKey;
    }
    return std::nullopt;
}

bool isModifierOrLockKey(int key)
{
    switch (key) {
    case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Meta: case Qt::Key_Alt:
    case Qt::Key_AltGr: case Qt::Key_Super_L: case Qt::Key_Super_R: case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R: case Qt::Key_CapsLock: case Qt::Key_NumLock: case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

// What a US keyboard types with Shift held, back to the unshifted key, for
// synthetic events that name only the shifted character.
std::uint32_t unshiftedUsKeysym(std::uint32_t keysym)
{
    static const char kShifted[] = "!@#$%^&*()_+{}|:\"<>?~";
    static const char kPlain[] = "1234567890-=[]\\;',./`";
    for (int i = 0; kShifted[i]; ++i) {
        if (std::uint32_t(std::uint8_t(kShifted[i])) == keysym)
            return std::uint8_t(kPlain[i]);
    }
    return keysym;
}

std::uint32_t keysymForQtKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return XK_KP_0 + std::uint32_t(key - Qt::Key_0);
        switch (key) {
        case Qt::Key_Period: return XK_KP_Decimal;
        case Qt::Key_Asterisk: return XK_KP_Multiply;
        case Qt::Key_Plus: return XK_KP_Add;
        case Qt::Key_Slash: return XK_KP_Divide;
        case Qt::Key_Minus: return XK_KP_Subtract;
        case Qt::Key_Equal: return XK_KP_Equal;
        case Qt::Key_Enter: return XK_KP_Enter;
        default: break;
        }
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + std::uint32_t(key - Qt::Key_A);
    // Latin-1 keysyms are the characters themselves.
    if (key >= 0x20 && key <= 0xff)
        return unshiftedUsKeysym(std::uint32_t(key));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + std::uint32_t(key - Qt::Key_F1);
    static const std::pair<int, std::uint32_t> kSpecial[] = {
        {Qt::Key_Escape, XK_Escape}, {Qt::Key_Tab, XK_Tab}, {Qt::Key_Backtab, XK_Tab},
        {Qt::Key_Backspace, XK_BackSpace}, {Qt::Key_Return, XK_Return}, {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert}, {Qt::Key_Delete, XK_Delete}, {Qt::Key_Home, XK_Home},
        {Qt::Key_End, XK_End}, {Qt::Key_Left, XK_Left}, {Qt::Key_Up, XK_Up}, {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down}, {Qt::Key_PageUp, XK_Prior}, {Qt::Key_PageDown, XK_Next},
    };
    for (const auto& [qtKey, keysym] : kSpecial) {
        if (qtKey == key)
            return keysym;
    }
    return 0;
}

// The key's symbol without modifiers in the given group, read fresh so a
// layout switched since start counts.
std::uint32_t plainKeysym(Display* display, unsigned keycode, int group)
{
    XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return 0;
    KeySym keysym = NoSymbol;
    if (keycode >= xkb->min_key_code && keycode <= xkb->max_key_code) {
        const int groups = XkbKeyNumGroups(xkb, keycode);
        if (groups > 0)
            keysym = XkbKeySymEntry(xkb, keycode, 0, group < groups ? group : 0);
    }
    XkbFreeKeyboard(xkb, 0, True);
    return std::uint32_t(keysym);
}

std::uint64_t flagsForModifiers(Qt::KeyboardModifiers modifiers)
{
    using keycodes::Modifier;
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= keycodes::modifier(Modifier::Shift).flagMask;
    if (modifiers & Qt::ControlModifier)
        flags |= keycodes::modifier(Modifier::Control).flagMask;
    if (modifiers & Qt::AltModifier)
        flags |= keycodes::modifier(Modifier::Option).flagMask;
    if (modifiers & Qt::MetaModifier)
        flags |= keycodes::modifier(Modifier::Command).flagMask;
    return flags;
}

} // namespace

std::unique_ptr<XKeyPressTranslator> XKeyPressTranslator::open(const char* displayName)
{
    auto translator = std::make_unique<XKeyPressTranslator>();
    QString error;
    translator->m_display = openXDisplay(displayName, &error);
    return translator;
}

XKeyPressTranslator::~XKeyPressTranslator()
{
    if (m_display)
        XCloseDisplay(m_display);
}

TranslatedKeyPress XKeyPressTranslator::translate(const PressedKey& press) const
{
    TranslatedKeyPress result;
    if (isModifierOrLockKey(press.key)) {
        result.kind = TranslatedKeyPress::Kind::ModifierOnly;
        return result;
    }
    std::optional<std::uint16_t> code;
    if (press.nativeScanCode != 0) {
        if (m_display) {
            const int group = XkbGroupForCoreState(press.nativeModifiers);
            code = virtualKeyForKeysym(plainKeysym(m_display, press.nativeScanCode, group));
            if (!code)
                code = virtualKeyForKeysym(press.nativeVirtualKey);
        }
        // Last resort: the key's position. X key codes are the kernel's plus 8.
        if (!code && press.nativeScanCode >= 8)
            code = virtualKeyForEvdevCode(press.nativeScanCode - 8);
    } else {
        code = virtualKeyForKeysym(keysymForQtKey(press.key, press.modifiers));
    }

    if (code && (keycodes::modifierForVirtualKey(*code) || *code == kCapsLock || *code == kNumLock)) {
        result.kind = TranslatedKeyPress::Kind::ModifierOnly;
    } else if (code && *code < VirtualKey::FirstExtension) {
        result.kind = TranslatedKeyPress::Kind::Key;
        result.keyCode = *code;
        result.flags = flagsForModifiers(press.modifiers);
    }
    return result;
}
