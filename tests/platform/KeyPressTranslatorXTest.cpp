#include "platform/linux/XKeyPressTranslator.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

namespace {

// A press as the X server delivers it: key code = kernel code + 8, the
// keysym it produced, and the core state (Shift is bit 0).
std::uint16_t recordedKey(const KeyPressTranslator& keys, int kernelCode, quint32 producedKeysym = 0,
                          Qt::KeyboardModifiers modifiers = {})
{
    const quint32 state = (modifiers & Qt::ShiftModifier) ? 1 : 0;
    const TranslatedKeyPress t = keys.translate({0, modifiers, quint32(kernelCode + 8), producedKeysym, state});
    return t.kind == TranslatedKeyPress::Kind::Key ? t.keyCode : 0xFFFF;
}

} // namespace

TEST(KeyPressTranslatorOnX, TheKeyIsReadFromTheLayoutInForceWithoutItsShiftLevel)
{
    XvfbServer server(640, 480);
    if (!server.isRunning())
        GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
    const auto keys = XKeyPressTranslator::open(server.displayName().constData());
    ASSERT_TRUE(keys->hasDisplay());

    ASSERT_EQ(server.runClient("setxkbmap", {"-layout", "us"}), 0);
    EXPECT_EQ(recordedKey(*keys, KEY_4, 0x24 /* dollar */, Qt::ShiftModifier), 21);
    EXPECT_EQ(recordedKey(*keys, KEY_Y), 16);

    // On a German keyboard the key in the Y position types Z: Z is recorded,
    // which is what XTest then types. The layout is read again each time.
    ASSERT_EQ(server.runClient("setxkbmap", {"-layout", "de"}), 0);
    EXPECT_EQ(recordedKey(*keys, KEY_Y), 6);
    EXPECT_EQ(recordedKey(*keys, KEY_Z), 16);
    // A key the table has no symbol for falls back to its position.
    EXPECT_EQ(recordedKey(*keys, KEY_MINUS), 27);
}
