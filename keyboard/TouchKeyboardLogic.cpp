#include "keyboard/TouchKeyboardLogic.h"

#include "gestures/EventSink.h"
#include "gestures/SystemAction.h"
#include "keyboard/KeyLabels.h"
#include "settings/SettingsStore.h"

#include <QHash>

namespace {

constexpr std::uint64_t kShortcutModifiers = EventFlags::Command | EventFlags::Option | EventFlags::Control;
constexpr std::uint16_t kPeriodKey = 47;

// Keys that post one key code and may repeat in hold mode.
const QHash<QString, std::uint16_t>& keyCodeActions()
{
    static const QHash<QString, std::uint16_t> codes = {
        {KeyAction::Backspace, 51}, {KeyAction::Return, 36}, {KeyAction::Tab, 48},
        {KeyAction::Escape, 53},    {KeyAction::Left, 123},  {KeyAction::Right, 124},
        {KeyAction::Up, 126},       {KeyAction::Down, 125},  {KeyAction::Home, 115},
        {KeyAction::End, 119},
    };
    return codes;
}

struct Shortcut {
    std::uint16_t keyCode;
    std::uint64_t flags;
};

// Editing shortcuts as Linux applications take them.
const QHash<QString, Shortcut>& shortcutActions()
{
    static const QHash<QString, Shortcut> shortcuts = {
        {KeyAction::Cut, {7, EventFlags::Control}},
        {KeyAction::Copy, {8, EventFlags::Control}},
        {KeyAction::Paste, {9, EventFlags::Control}},
        {KeyAction::Undo, {6, EventFlags::Control}},
        {KeyAction::Redo, {6, EventFlags::Control | EventFlags::Shift}},
    };
    return shortcuts;
}

// A character typed with command held is a shortcut; Linux applications
// take those with Control.
std::uint64_t typingFlags(std::uint64_t flags)
{
    if (flags & EventFlags::Command)
        flags = (flags & ~EventFlags::Command) | EventFlags::Control;
    return flags;
}

} // namespace

TouchKeyboardLogic::TouchKeyboardLogic(EventSink& sink, Scheduler& scheduler, const SettingsStore& settings)
    : m_sink(sink), m_scheduler(scheduler), m_settings(settings)
{
}

TouchKeyboardLogic::~TouchKeyboardLogic()
{
    m_scheduler.cancel(m_repeatTimer);
}

void TouchKeyboardLogic::refresh()
{
    if (m_panel)
        m_panel->refreshModifierButtons();
}

void TouchKeyboardLogic::keyPressed(const KeyDescriptor& key)
{
    const QString& action = key.action;
    if (action == KeyAction::Text) {
        postTextFromDescriptor(key);
        return;
    }
    bool* latch = action == KeyAction::Shift     ? &m_state._shiftOn
                  : action == KeyAction::Caps    ? &m_state._capsOn
                  : action == KeyAction::Command ? &m_state._commandOn
                  : action == KeyAction::Option  ? &m_state._optionOn
                  : action == KeyAction::Control ? &m_state._controlOn
                                                 : nullptr;
    if (latch) {
        *latch = !*latch;
        refresh();
    } else if (action == KeyAction::HoldToggle) {
        m_state._holdMode = !m_state._holdMode;
        releaseHeldKeyIfNeeded();
        refresh();
    } else if (action == KeyAction::Hide) {
        if (m_panel)
            m_panel->hideKeyboard();
    } else if (action == KeyAction::Position) {
        if (m_panel)
            m_panel->cycleKeyboardPosition();
    } else if (action == KeyAction::KeyboardSize) {
        m_state._keyboardMinimized = !m_state._keyboardMinimized;
        releaseHeldKeyIfNeeded();
        if (m_panel)
            m_panel->keyboardLayoutChanged(true);
    } else if (action == KeyAction::Symbols) {
        m_state._symbolsOn = !m_state._symbolsOn;
        m_state._shiftOn = false;
        m_state._capsOn = false;
        if (m_panel)
            m_panel->keyboardLayoutChanged(false);
    } else if (const auto code = keyCodeActions().constFind(action); code != keyCodeActions().cend()) {
        postKeyCode(*code, action == KeyAction::Escape ? 0 : currentModifierFlags());
        clearOneShotModifiers();
    } else if (action == KeyAction::Emoji) {
        postKeyCode(kPeriodKey, EventFlags::Command);
        clearOneShotModifiers();
    } else if (action == KeyAction::VolumeDown || action == KeyAction::VolumeUp) {
        postSystemKey(action == KeyAction::VolumeUp ? 0 : 1);
        clearOneShotModifiers();
    } else if (action == KeyAction::MissionControl) {
        openMissionControl();
        clearOneShotModifiers();
    } else if (const auto shortcut = shortcutActions().constFind(action); shortcut != shortcutActions().cend()) {
        postKeyCode(shortcut->keyCode, shortcut->flags);
    }
}

std::uint64_t TouchKeyboardLogic::currentModifierFlags() const
{
    std::uint64_t flags = 0;
    if (m_state._shiftOn)
        flags |= EventFlags::Shift;
    if (m_state._commandOn)
        flags |= EventFlags::Command;
    if (m_state._optionOn)
        flags |= EventFlags::Option;
    if (m_state._controlOn)
        flags |= EventFlags::Control;
    return flags;
}

void TouchKeyboardLogic::clearOneShotModifiers()
{
    m_state._shiftOn = false;
    m_state._commandOn = false;
    m_state._optionOn = false;
    m_state._controlOn = false;
    refresh();
}

QString TouchKeyboardLogic::outputTextForDescriptor(const KeyDescriptor& key) const
{
    if (m_state._shiftOn && !key.shiftText.isEmpty())
        return key.shiftText;
    // Caps lock leaves the symbol layer alone.
    if (m_state._symbolsOn)
        return key.text;
    return KeyLabels::shiftedTextForText(key.text, m_state);
}

void TouchKeyboardLogic::postTextFromDescriptor(const KeyDescriptor& key)
{
    postOutputText(outputTextForDescriptor(key), key.text);
}

void TouchKeyboardLogic::postOutputText(const QString& text, const QString& keyCodeHint)
{
    const std::uint64_t flags = typingFlags(currentModifierFlags());
    const auto code = KeyLabels::keyCodeForText(keyCodeHint.isEmpty() ? text : keyCodeHint);
    if (code && (flags & kShortcutModifiers)) {
        postKeyCode(*code, flags);
        clearOneShotModifiers();
        return;
    }
    if (text.isEmpty())
        return;
    // The text is already shifted; Linux sinks would shift it again
    // (caps lock and shift give "a", which Shift would turn into "A").
    const std::uint64_t textFlags = flags & ~EventFlags::Shift;
    qsizetype length = std::min<qsizetype>(text.size(), 8);
    // Never cut a character in half.
    if (length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    m_sink.postUnicodeText(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<int>(length), textFlags);
    clearOneShotModifiers();
}

void TouchKeyboardLogic::postKeyCode(std::uint16_t keyCode, std::uint64_t flags)
{
    m_sink.postKey(keyCode, true, flags);
    m_sink.postKey(keyCode, false, flags);
}

void TouchKeyboardLogic::postSystemKey(int keyType)
{
    m_sink.postMediaKey(keyType, true);
    m_sink.postMediaKey(keyType, false);
}

void TouchKeyboardLogic::openMissionControl()
{
    SystemAction::fromSetting(m_settings.settingString(SettingsKey::MissionControlAction),
                              SystemActionDefault::MissionControl)
        .perform(m_sink);
}

std::optional<std::uint16_t> TouchKeyboardLogic::holdKeyCodeForDescriptor(const KeyDescriptor& key)
{
    const auto code = keyCodeActions().constFind(key.action);
    if (code == keyCodeActions().cend())
        return std::nullopt;
    return *code;
}

bool TouchKeyboardLogic::keyButtonShouldUseHold(const KeyDescriptor& key) const
{
    if (!m_state._holdMode)
        return false;
    if (key.action == KeyAction::Text)
        return !key.text.isEmpty();
    return holdKeyCodeForDescriptor(key).has_value();
}

void TouchKeyboardLogic::keyButtonHoldBegan(const KeyDescriptor& key)
{
    if (_heldKeyActive)
        return;
    if (key.action == KeyAction::Text) {
        // The text is taken once: shift at the start keeps applying.
        const QString output = outputTextForDescriptor(key);
        if (output.isEmpty())
            return;
        _heldUsesText = true;
        _heldOutputText = output;
        _heldKeyCodeHint = key.text;
    } else {
        const auto code = holdKeyCodeForDescriptor(key);
        if (!code)
            return;
        _heldUsesText = false;
        _heldKeyCode = *code;
        _heldKeyFlags = currentModifierFlags();
    }
    _heldKeyActive = true;
    postHeldInput();
    // Each repeat is a fresh press and release: desktops ignore repeat
    // events from synthetic keyboards.
    m_repeatTimer = m_scheduler.scheduleRepeating(keyButtonHoldRepeatInterval(), [this] { postHeldInput(); });
}

double TouchKeyboardLogic::keyButtonHoldRepeatInterval() const
{
    const double interval = m_settings.holdRepeatInterval();
    return interval > kMinimumHoldRepeatInterval ? interval : kMinimumHoldRepeatInterval;
}

void TouchKeyboardLogic::postHeldInput()
{
    if (!_heldKeyActive)
        return;
    if (_heldUsesText)
        postOutputText(_heldOutputText, _heldKeyCodeHint);
    else
        postKeyCode(_heldKeyCode, _heldKeyFlags);
}

void TouchKeyboardLogic::keyButtonHoldEnded()
{
    if (!_heldKeyActive)
        return;
    stopHold();
    clearOneShotModifiers();
}

void TouchKeyboardLogic::releaseHeldKeyIfNeeded()
{
    if (_heldKeyActive)
        stopHold();
}

void TouchKeyboardLogic::stopHold()
{
    m_scheduler.cancel(m_repeatTimer);
    m_repeatTimer = 0;
    _heldKeyActive = false;
    _heldUsesText = false;
    _heldKeyCode = 0;
    _heldKeyFlags = 0;
    _heldOutputText.clear();
    _heldKeyCodeHint.clear();
}

bool TouchKeyboardLogic::resetForHide()
{
    releaseHeldKeyIfNeeded();
    const bool wasMinimized = m_state._keyboardMinimized;
    m_state._holdMode = false;
    m_state._keyboardMinimized = false;
    m_state._shiftOn = false;
    m_state._commandOn = false;
    m_state._optionOn = false;
    m_state._controlOn = false;
    return wasMinimized;
}
