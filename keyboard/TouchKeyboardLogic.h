#pragma once
#include "base/Scheduler.h"
#include "keyboard/KeyDescriptor.h"
#include "keyboard/KeyboardState.h"

#include <QString>

#include <cstdint>
#include <optional>

class EventSink;
class SettingsStore;

// What keys ask of the panel that shows them.
class KeyboardPanelHooks {
public:
    virtual ~KeyboardPanelHooks() = default;
    // A modifier, the hold mode or caps lock changed: restyle the keys.
    virtual void refreshModifierButtons() = 0;
    virtual void hideKeyboard() = 0;
    virtual void cycleKeyboardPosition() = 0;
    // The layer or the size changed: build the keys again once the current
    // press is handled, and place the panel again when its size changed.
    virtual void keyboardLayoutChanged(bool sizeChanged) = 0;
};

// The touch keyboard without its window: the keyboard state, what each key
// does, latched modifiers and hold-repeat. Everything it types leaves
// through the EventSink as press and release pairs, repeats included, so
// nothing stays down between two keys. Main thread only.
//
// Shortcuts follow Linux: the cut, copy, paste, undo and redo keys send
// Control shortcuts, a latched command with a typed character sends
// Control, and the emoji key asks for the desktop's emoji picker
// (Super+period). Elsewhere command stays Super.
class TouchKeyboardLogic {
public:
    // The shortest repeat interval, whatever the setting says.
    static constexpr double kMinimumHoldRepeatInterval = 0.03;

    TouchKeyboardLogic(EventSink& sink, Scheduler& scheduler, const SettingsStore& settings);
    ~TouchKeyboardLogic();
    TouchKeyboardLogic(const TouchKeyboardLogic&) = delete;
    TouchKeyboardLogic& operator=(const TouchKeyboardLogic&) = delete;

    void setPanel(KeyboardPanelHooks* panel) { m_panel = panel; }

    const KeyboardState& state() const { return m_state; }

    // What a released key does.
    void keyPressed(const KeyDescriptor& key);

    std::uint64_t currentModifierFlags() const;
    void clearOneShotModifiers();
    QString outputTextForDescriptor(const KeyDescriptor& key) const;
    void postTextFromDescriptor(const KeyDescriptor& key);
    // Types text: as its key's code when command, option or control is
    // latched and the key has one, else as Unicode text (8 UTF-16 units at
    // most, shift already applied to it). Clears the one-shot modifiers.
    void postOutputText(const QString& text, const QString& keyCodeHint);
    void postKeyCode(std::uint16_t keyCode, std::uint64_t flags);
    // 0 volume up, 1 volume down.
    void postSystemKey(int keyType);
    void openMissionControl();

    // --- hold mode: a key outputs when pressed and repeats until released ---
    bool keyButtonShouldUseHold(const KeyDescriptor& key) const;
    void keyButtonHoldBegan(const KeyDescriptor& key);
    double keyButtonHoldRepeatInterval() const;
    void keyButtonHoldEnded();
    // Stops a running repeat and leaves the modifiers alone.
    void releaseHeldKeyIfNeeded();
    bool holdRunning() const { return _heldKeyActive; }
    static std::optional<std::uint16_t> holdKeyCodeForDescriptor(const KeyDescriptor& key);

    // The state half of hiding the keyboard: no repeat, hold mode, size and
    // one-shot modifiers dropped; caps lock and the layer stay. Returns
    // whether the keyboard was minimised.
    bool resetForHide();

private:
    void postHeldInput();
    void stopHold();
    void refresh();

    EventSink& m_sink;
    Scheduler& m_scheduler;
    const SettingsStore& m_settings;
    KeyboardPanelHooks* m_panel = nullptr;
    KeyboardState m_state;

    bool _heldKeyActive = false;
    bool _heldUsesText = false;
    std::uint16_t _heldKeyCode = 0;
    std::uint64_t _heldKeyFlags = 0;
    QString _heldOutputText;
    QString _heldKeyCodeHint;
    Scheduler::TimerId m_repeatTimer = 0;
};
