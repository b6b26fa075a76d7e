#pragma once
#include "settings_ui/KeyPressTranslator.h"

#include <memory>

struct _XDisplay;

// Key presses back to virtual key codes through the key table: the keysym
// the pressed key has without modifiers in the current layout (so Shift+4
// records 4, and a key labelled Z records Z on any layout, which is what
// XTest then posts), else the keysym it produced. Without an X connection
// the kernel key code stands in (positional, like uinput posts), and an
// event from no real keyboard is read from its Qt key.
class XKeyPressTranslator final : public KeyPressTranslator {
public:
    // Without a layout: kernel key codes and Qt keys only.
    XKeyPressTranslator() = default;
    // With a connection of its own to displayName (nullptr: $DISPLAY) to
    // read the layout, when that display can be reached.
    static std::unique_ptr<XKeyPressTranslator> open(const char* displayName = nullptr);
    ~XKeyPressTranslator() override;
    XKeyPressTranslator(const XKeyPressTranslator&) = delete;
    XKeyPressTranslator& operator=(const XKeyPressTranslator&) = delete;

    bool hasDisplay() const { return m_display != nullptr; }
    TranslatedKeyPress translate(const PressedKey& press) const override;

private:
    _XDisplay* m_display = nullptr;
};
