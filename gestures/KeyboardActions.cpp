// One-shot keyboard actions of the gesture engine: Escape, the desktop
// overview, the touch keyboard, recorded key combos and the screenshot tool.
#include "gestures/VTGestureEngine.h"

#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "gestures/SystemAction.h"
#include "gestures/VirtualKeyCodes.h"

#include <array>

namespace {

struct ModifierKey {
    std::uint64_t mask;
    std::uint16_t keyCode;
};

// Pressed in this order, released in reverse.
constexpr std::array<ModifierKey, 4> kModifierKeys = {{
    {EventFlags::Shift, VirtualKey::Shift},
    {EventFlags::Control, VirtualKey::Control},
    {EventFlags::Option, VirtualKey::Option},
    {EventFlags::Command, VirtualKey::Command},
}};

} // namespace

void VTGestureEngine::triggerKeyboardActionForInputIfNeeded(Input input)
{
    if (_keyboardActionInput == input)
        return; // once per touch sequence of an input
    switch (keyboardActionForInput(input)) {
    case KeyboardAction::Escape: postKeyCode(VirtualKey::Escape, 0); break;
    case KeyboardAction::MissionControl: openMissionControl(); break;
    case KeyboardAction::ShowKeyboard:
        m_notifications.post(VTNotification::TouchKeyboardShow, m_notificationSender);
        break;
    case KeyboardAction::KeyCombo: postKeyComboForInput(input); break;
    case KeyboardAction::Screenshot: openScreenshot(); break;
    default: return; // held modifiers and nothing: not a one-shot action
    }
    _keyboardActionInput = input;
    _lastKeyboardActionTime = m_scheduler.now();
}

double VTGestureEngine::keyboardActionMouseDelayRemaining() const
{
    if (_lastKeyboardActionTime <= 0.0)
        return 0.0;
    const double elapsed = m_scheduler.now() - _lastKeyboardActionTime;
    return elapsed < kKeyboardActionMouseDelay ? kKeyboardActionMouseDelay - elapsed : 0.0;
}

void VTGestureEngine::postKeyComboForInput(Input input)
{
    if (input == Input::None)
        return;
    const auto type = static_cast<InputType>(input);
    const qint64 keyCode = m_settings.settingInteger(SettingsStore::inputKey(type, InputSetting::KeyComboKeyCode));
    const auto flags = static_cast<std::uint64_t>(
        m_settings.settingInteger(SettingsStore::inputKey(type, InputSetting::KeyComboFlags)));
    // Key code 0 is a real key: a combo on it is known by its label.
    if (keyCode < 1 && m_settings.keyComboLabelForInput(type).isEmpty())
        return;
    const auto key = static_cast<std::uint16_t>(keyCode & 0xffff);
    std::uint64_t held = 0;
    for (const ModifierKey& modifier : kModifierKeys) {
        if (flags & modifier.mask) {
            held |= modifier.mask;
            postKeyCode(modifier.keyCode, true, held);
        }
    }
    postKeyCode(key, true, flags);
    postKeyCode(key, false, flags);
    for (auto it = kModifierKeys.rbegin(); it != kModifierKeys.rend(); ++it) {
        if (flags & it->mask) {
            held &= ~it->mask;
            postKeyCode(it->keyCode, false, held);
        }
    }
}

void VTGestureEngine::runSystemAction(const QString& settingKey, const QString& fallback)
{
    SystemAction::fromSetting(m_settings.settingString(settingKey), fallback).perform(m_sink);
}

void VTGestureEngine::openMissionControl()
{
    runSystemAction(SettingsKey::MissionControlAction, SystemActionDefault::MissionControl);
}

void VTGestureEngine::openScreenshot()
{
    runSystemAction(SettingsKey::ScreenshotAction, SystemActionDefault::Screenshot);
}

void VTGestureEngine::postKeyCode(std::uint16_t keyCode, std::uint64_t flags)
{
    m_sink.postKey(keyCode, true, flags);
    m_sink.postKey(keyCode, false, flags);
}

void VTGestureEngine::postKeyCode(std::uint16_t keyCode, bool down, std::uint64_t flags)
{
    m_sink.postKey(keyCode, down, flags);
}
