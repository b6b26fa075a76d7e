#include "platform/linux/KeyCodeTable.h"

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
        EXPECT_TRUE(key.evdevCode > 0 && key.evdevCode < KEY_MAX) << key.virtualKey;
        EXPECT_EQ(keycodes::findKey(key.virtualKey), &key);
    }
    // The sinks' tests press each modifier and media key; here the edges.
    EXPECT_EQ(keycodes::findKey(0x7f), nullptr);
    EXPECT_EQ(keycodes::modifierForVirtualKey(60), keycodes::Modifier::Shift); // right Shift
    EXPECT_FALSE(keycodes::modifierForVirtualKey(VirtualKey::Super));
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
