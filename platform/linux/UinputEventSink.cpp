#include "platform/linux/UinputEventSink.h"

#include "platform/linux/UinputDevice.h"

#include <QProcess>
#include <QStringView>

#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using keycodes::Modifier;

static_assert(sizeof(input_event) == 24, "the writer's buffer holds 64-bit input_event records");

void UinputEventSink::Writer::add(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    if (m_used + sizeof(input_event) > m_buffer.size() - sizeof(input_event))
        report();
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    std::memcpy(m_buffer.data() + m_used, &event, sizeof event);
    m_used += sizeof event;
}

void UinputEventSink::Writer::report()
{
    input_event syn{};
    syn.type = EV_SYN;
    syn.code = SYN_REPORT;
    std::memcpy(m_buffer.data() + m_used, &syn, sizeof syn);
    m_used += sizeof syn;
    // A full device queue drops the report; retrying would only add lag.
    std::size_t written = 0;
    while (written < m_used) {
        const ssize_t n = ::write(m_fd, m_buffer.data() + written, m_used - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    m_used = 0;
}

std::unique_ptr<UinputEventSink> UinputEventSink::open(const QString& path, QRect desktop, QString* error)
{
    auto pointer = UinputDevice::createPointer(path, desktop, error);
    if (!pointer)
        return nullptr;
    auto keyboard = UinputDevice::createKeyboard(path, error);
    if (!keyboard)
        return nullptr;
    auto sink = std::make_unique<UinputEventSink>(pointer->fd(), keyboard->fd(), desktop);
    sink->m_pointerDevice = std::move(pointer);
    sink->m_keyboardDevice = std::move(keyboard);
    return sink;
}

UinputEventSink::UinputEventSink(int pointerFd, int keyboardFd, QRect desktop)
    : m_pointer(pointerFd)
    , m_keyboard(keyboardFd)
    , m_desktop(desktop)
    , m_modifiers([this](Modifier m, bool down) { key(keycodes::modifier(m).evdevCode, down); })
{
}

UinputEventSink::~UinputEventSink()
{
    while (!m_heldKeys.empty())
        releaseHeld(m_heldKeys.back().id);
    for (int offset = 0; offset < 3; ++offset) {
        if (m_buttonsHeld & (1u << offset)) {
            m_pointer.add(EV_KEY, static_cast<std::uint16_t>(BTN_LEFT + offset), 0);
            m_pointer.report();
        }
    }
    m_buttonsHeld = 0;
    m_modifiers.releaseAll();
}

void UinputEventSink::key(std::uint16_t evdevCode, bool down)
{
    m_keyboard.add(EV_KEY, evdevCode, down ? 1 : 0);
    m_keyboard.report();
}

void UinputEventSink::moveTo(QPointF point)
{
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
        return;
    const double x = std::clamp(std::floor(point.x()) - m_desktop.x(), 0.0, double(std::max(m_desktop.width() - 1, 0)));
    const double y = std::clamp(std::floor(point.y()) - m_desktop.y(), 0.0, double(std::max(m_desktop.height() - 1, 0)));
    m_pointer.add(EV_ABS, ABS_X, static_cast<std::int32_t>(x));
    m_pointer.add(EV_ABS, ABS_Y, static_cast<std::int32_t>(y));
    m_pointer.report();
}

void UinputEventSink::postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                                     std::uint64_t flags, std::int64_t)
{
    int offset = 2; // BTN_MIDDLE
    switch (type) {
    case MouseEventType::LeftDown: case MouseEventType::LeftUp: case MouseEventType::LeftDragged:
        offset = 0;
        break;
    case MouseEventType::RightDown: case MouseEventType::RightUp: case MouseEventType::RightDragged:
        offset = 1;
        break;
    default:
        offset = button == MouseButton::Left ? 0 : button == MouseButton::Right ? 1 : 2;
        break;
    }
    const std::uint32_t bit = 1u << offset;
    const auto code = static_cast<std::uint16_t>(BTN_LEFT + offset);
    m_modifiers.applyFlags(flags);
    // The move is its own report so the press lands where the pointer is.
    moveTo(point);
    switch (type) {
    case MouseEventType::LeftDown: case MouseEventType::RightDown: case MouseEventType::OtherDown:
        m_pointer.add(EV_KEY, code, 1);
        m_pointer.report();
        m_buttonsHeld |= bit;
        break;
    case MouseEventType::LeftUp: case MouseEventType::RightUp: case MouseEventType::OtherUp:
        if (m_buttonsHeld & bit) {
            m_pointer.add(EV_KEY, code, 0);
            m_pointer.report();
            m_buttonsHeld &= ~bit;
        }
        break;
    default:
        break;
    }
    m_modifiers.settle(inputHeld());
}

void UinputEventSink::wheel(int vertical, int horizontal, int verticalHighRes, int horizontalHighRes)
{
    if (verticalHighRes != 0)
        m_pointer.add(EV_REL, REL_WHEEL_HI_RES, verticalHighRes);
    if (vertical != 0)
        m_pointer.add(EV_REL, REL_WHEEL, vertical);
    if (horizontalHighRes != 0)
        m_pointer.add(EV_REL, REL_HWHEEL_HI_RES, horizontalHighRes);
    if (horizontal != 0)
        m_pointer.add(EV_REL, REL_HWHEEL, horizontal);
    m_pointer.report();
}

void UinputEventSink::postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags)
{
    // Positive wheel 1 scrolls up, as REL_WHEEL does; positive wheel 2
    // scrolls left, which REL_HWHEEL counts negative.
    const int verticalHighRes = m_vertical.add(wheel1);
    const int horizontalHighRes = m_horizontal.add(-double(wheel2));
    if (verticalHighRes == 0 && horizontalHighRes == 0)
        return;
    const int vertical = m_verticalDetents.add(verticalHighRes);
    const int horizontal = m_horizontalDetents.add(horizontalHighRes);
    m_modifiers.applyFlags(flags);
    wheel(vertical, horizontal, verticalHighRes, horizontalHighRes);
    m_modifiers.settle(inputHeld());
}

void UinputEventSink::postMagnify(double magnification, int phase, QPointF)
{
    switch (static_cast<MagnifyPhase>(phase)) {
    case MagnifyPhase::Begin:
        m_zoom.reset();
        m_magnifying = true;
        m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, true);
        break;
    case MagnifyPhase::Change: {
        if (!std::isfinite(magnification))
            return;
        const int steps = m_zoom.add(magnification);
        if (steps == 0)
            return;
        const bool wasMagnifying = m_magnifying;
        if (!wasMagnifying)
            m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, true);
        wheel(steps, 0, steps * kHighResolutionPerStep, 0);
        if (!wasMagnifying)
            m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, false);
        break;
    }
    case MagnifyPhase::End:
        m_zoom.reset();
        m_magnifying = false;
        m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, false);
        break;
    }
}

void UinputEventSink::pressHeld(std::uint32_t id, std::uint16_t evdevCode)
{
    // A second press of a held key is a repeat (value 2).
    auto held = std::find_if(m_heldKeys.begin(), m_heldKeys.end(),
                             [id](const HeldKey& k) { return k.id == id; });
    if (held != m_heldKeys.end()) {
        m_keyboard.add(EV_KEY, held->evdevCode, 2);
        m_keyboard.report();
        return;
    }
    m_heldKeys.push_back({id, evdevCode});
    key(evdevCode, true);
}

void UinputEventSink::releaseHeld(std::uint32_t id)
{
    auto held = std::find_if(m_heldKeys.begin(), m_heldKeys.end(),
                             [id](const HeldKey& k) { return k.id == id; });
    if (held == m_heldKeys.end())
        return;
    const std::uint16_t code = held->evdevCode;
    m_heldKeys.erase(held);
    key(code, false);
}

void UinputEventSink::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags)
{
    if (const auto m = keycodes::modifierForVirtualKey(keyCode)) {
        m_modifiers.setHeld(*m, ModifierLatch::Key, down);
        m_modifiers.applyFlags(flags & ~keycodes::modifier(*m).flagMask);
        m_modifiers.settle(inputHeld());
        return;
    }
    const keycodes::KeyEntry* entry = keycodes::findKey(keyCode);
    if (!entry)
        return;
    m_modifiers.applyFlags(flags);
    if (down)
        pressHeld(keyCode, entry->evdevCode);
    else
        releaseHeld(keyCode);
    m_modifiers.settle(inputHeld());
}

void UinputEventSink::postMediaKey(int keyType, bool down)
{
    const auto code = keycodes::mediaEvdevCode(keyType);
    if (!code)
        return;
    const std::uint32_t id = kMediaKeyId + static_cast<std::uint32_t>(keyType);
    if (down)
        pressHeld(id, *code);
    else
        releaseHeld(id);
    m_modifiers.settle(inputHeld());
}

std::optional<UinputEventSink::KeyStroke> UinputEventSink::keyStrokeForCharacter(char32_t c)
{
    static constexpr char kShifted[] = "~!@#$%^&*()_+{}|:\"<>?";
    static constexpr char kUnshifted[] = "`1234567890-=[]\\;',./";
    if (c == U'\n' || c == U'\r')
        return KeyStroke{KEY_ENTER, false};
    if (c == U'\t')
        return KeyStroke{KEY_TAB, false};
    bool shift = false;
    if (c >= U'A' && c <= U'Z') {
        c = c - U'A' + U'a';
        shift = true;
    } else if (c > 0 && c < 0x80) {
        if (const char* at = std::strchr(kShifted, static_cast<int>(c))) {
            c = static_cast<char32_t>(kUnshifted[at - kShifted]);
            shift = true;
        }
    }
    if (c < 0x20 || c >= 0x7f)
        return std::nullopt;
    for (const keycodes::KeyEntry& entry : keycodes::keys()) {
        if (entry.virtualKey < 0x80 && entry.keysym == c)
            return KeyStroke{entry.evdevCode, shift};
    }
    return std::nullopt;
}

void UinputEventSink::postUnicodeText(const char16_t* units, int length, std::uint64_t flags)
{
    if (!units || length <= 0)
        return;
    const QList<uint> codePoints = QStringView(units, std::min(length, 8)).toUcs4();
    m_modifiers.applyFlags(flags);
    const bool shiftFromFlags = m_modifiers.isDown(Modifier::Shift);
    for (uint codePoint : codePoints) {
        const auto stroke = keyStrokeForCharacter(codePoint);
        if (!stroke)
            continue;
        const bool shift = stroke->shift;
        if (shift && !shiftFromFlags)
            m_modifiers.setHeld(Modifier::Shift, ModifierLatch::Key, true);
        key(stroke->evdevCode, true);
        key(stroke->evdevCode, false);
        if (shift && !shiftFromFlags)
            m_modifiers.setHeld(Modifier::Shift, ModifierLatch::Key, false);
    }
    m_modifiers.settle(inputHeld());
}

void UinputEventSink::warpCursor(QPointF point)
{
    moveTo(point);
}

void UinputEventSink::launchProgram(const QString& program, const QStringList& arguments)
{
    QProcess::startDetached(program, arguments);
}
