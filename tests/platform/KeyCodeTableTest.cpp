#include "platform/linux/KeyCodeTable.h"

#include "gestures/EventSink.h"
#include "gestures/VirtualKeyCodes.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <set>

namespace {

TEST(KeyCodeTable, EveryVirtualKeyHasOneKeysymAndOneEvdevCode)
{
    std::set<std::uint16_t> seen;
    for (const keycodes::KeyEntry& key : keycodes::keys()) {
        EXPECT_TRUE(seen.insert(key.virtualKey).second) << "twice: " << key.virtualKey;
        EXPECT_NE(key.keysym, 0u) << key.virtualKey;
        EXPECT_GT(key.evdevCode, 0) << key.virtualKey;
        EXPECT_LT(key.evdevCode, KEY_MAX) << key.virtualKey;
        EXPECT_EQ(keycodes::findKey(key.virtualKey), &key);
    }
    // All 26 letters, 10 digits, 20 function keys, 4 arrows at least.
    EXPECT_GE(seen.size(), 26u + 10 + 20 + 4 + 11 + 8);
    EXPECT_EQ(keycodes::findKey(53)->evdevCode, KEY_ESC);
    EXPECT_EQ(keycodes::findKey(8)->keysym, std::uint32_t('c'));
    EXPECT_EQ(keycodes::findKey(18)->evdevCode, KEY_1);
    EXPECT_EQ(keycodes::findKey(123)->evdevCode, KEY_LEFT);
    EXPECT_EQ(keycodes::findKey(VirtualKey::Super)->evdevCode, KEY_LEFTMETA);
    EXPECT_EQ(keycodes::findKey(VirtualKey::Print)->evdevCode, KEY_SYSRQ);
    EXPECT_EQ(keycodes::findKey(0x7f), nullptr);
}

TEST(KeyCodeTable, ModifiersMatchTheirFlagsAndKeys)
{
    const std::pair<keycodes::Modifier, std::uint64_t> expected[] = {
        {keycodes::Modifier::Shift, EventFlags::Shift},
        {keycodes::Modifier::Control, EventFlags::Control},
        {keycodes::Modifier::Option, EventFlags::Option},
        {keycodes::Modifier::Command, EventFlags::Command},
    };
    for (const auto& [modifier, flag] : expected) {
        const keycodes::ModifierEntry& entry = keycodes::modifier(modifier);
        EXPECT_EQ(entry.flagMask, flag);
        EXPECT_EQ(keycodes::modifierForVirtualKey(entry.virtualKey), modifier);
        // The key table and the modifier table agree.
        EXPECT_EQ(keycodes::findKey(entry.virtualKey)->evdevCode, entry.evdevCode);
        EXPECT_EQ(keycodes::findKey(entry.virtualKey)->keysym, entry.keysym);
    }
    EXPECT_EQ(keycodes::modifier(keycodes::Modifier::Command).evdevCode, KEY_LEFTMETA);
    EXPECT_EQ(keycodes::modifier(keycodes::Modifier::Option).evdevCode, KEY_LEFTALT);
    EXPECT_EQ(keycodes::modifierForVirtualKey(60), keycodes::Modifier::Shift); // right Shift
    EXPECT_FALSE(keycodes::modifierForVirtualKey(VirtualKey::Super));
}

TEST(KeyCodeTable, CodePointsBecomeLatinOrUnicodeKeysyms)
{
    EXPECT_EQ(keycodes::keysymForCodePoint(U'a'), 0x61u);
    EXPECT_EQ(keycodes::keysymForCodePoint(U'ä'), 0xe4u);
    EXPECT_EQ(keycodes::keysymForCodePoint(U'¿'), 0xbfu);
    EXPECT_EQ(keycodes::keysymForCodePoint(U'€'), 0x010020acu);
    EXPECT_EQ(keycodes::keysymForCodePoint(0x1f600), 0x0101f600u);
    EXPECT_EQ(keycodes::keysymForCodePoint(U'\n'), 0xff0du); // Return
    EXPECT_EQ(keycodes::keysymForCodePoint(U'\t'), 0xff09u);
    EXPECT_EQ(keycodes::keysymForCodePoint(0x07), 0u);
    EXPECT_EQ(keycodes::keysymForCodePoint(0x85), 0u);
    EXPECT_EQ(keycodes::keysymForCodePoint(0x110000), 0u);
}

} // namespace
