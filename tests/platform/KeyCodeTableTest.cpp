#include "platform/linux/KeyCodeTable.h"

#include "gestures/EventSink.h"
#include "gestures/VirtualKeyCodes.h"

#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <linux/input-event-codes.h>

#include <set>

namespace {

TEST(KeyCodeTable, EveryVirtualKeyModifierAndMediaKeyHasOneKeysymAndOneEvdevCode)
{
    std::set<std::uint16_t> seen;
    for (const keycodes::KeyEntry& key : keycodes::keys()) {
        EXPECT_TRUE(seen.insert(key.virtualKey).second) << "twice: " << key.virtualKey;
        EXPECT_NE(key.keysym, 0u) << key.virtualKey;
        EXPECT_TRUE(key.evdevCode > 0 && key.evdevCode < KEY_MAX) << key.virtualKey;
        EXPECT_EQ(keycodes::findKey(key.virtualKey), &key);
    }
    EXPECT_EQ(keycodes::findKey(53)->evdevCode, KEY_ESC);
    EXPECT_EQ(keycodes::findKey(0x7f), nullptr);

    // Each flag names its left-hand key, which the key table can press.
    const std::uint64_t flags[] = {EventFlags::Shift, EventFlags::Control, EventFlags::Option, EventFlags::Command};
    const std::uint16_t evdev[] = {KEY_LEFTSHIFT, KEY_LEFTCTRL, KEY_LEFTALT, KEY_LEFTMETA};
    for (int i = 0; i < keycodes::kModifierCount; ++i) {
        const auto m = static_cast<keycodes::Modifier>(i);
        EXPECT_EQ(keycodes::modifier(m).flagMask, flags[i]);
        EXPECT_EQ(keycodes::modifierForVirtualKey(keycodes::modifier(m).virtualKey), m);
        EXPECT_EQ(keycodes::findKey(keycodes::modifier(m).virtualKey)->evdevCode, evdev[i]);
    }
    EXPECT_EQ(keycodes::modifierForVirtualKey(60), keycodes::Modifier::Shift); // right Shift
    EXPECT_FALSE(keycodes::modifierForVirtualKey(VirtualKey::Super));

    EXPECT_EQ(keycodes::mediaKey(0)->keysym, std::uint32_t(XF86XK_AudioRaiseVolume));
    EXPECT_EQ(keycodes::mediaKey(1)->evdevCode, KEY_VOLUMEDOWN);
    EXPECT_EQ(keycodes::mediaKey(2), nullptr);
}

TEST(KeyCodeTable, ControlCharactersTypeNothingButLineBreaksAndTabs)
{
    // Printable characters are covered by typing them under Xvfb.
    EXPECT_EQ(keycodes::keysymForCodePoint(U'\n'), 0xff0du); // Return
    EXPECT_EQ(keycodes::keysymForCodePoint(U'\t'), 0xff09u);
    for (char32_t none : {char32_t(0x07), char32_t(0x7f), char32_t(0x85), char32_t(0x110000)})
        EXPECT_EQ(keycodes::keysymForCodePoint(none), 0u);
}

} // namespace
