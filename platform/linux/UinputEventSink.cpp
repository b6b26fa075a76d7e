#include "platform/linux/UinputEventSink.h"

#include "platform/linux/UinputDevice.h"

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
    : SyntheticInputSink(kHighResolutionPerStep)
    , m_pointer(pointerFd)
    , m_keyboard(keyboardFd)
    , m_desktop(desktop)
{
}

UinputEventSink::~UinputEventSink()
{
    releaseAll();
}

void UinputEventSink::sendKey(unsigned evdevCode, KeyAction action)
{
    // A repeat is value 2, as the kernel's own autorepeat.
    m_keyboard.add(EV_KEY, static_cast<std::uint16_t>(evdevCode),
                   action == KeyAction::Up ? 0 : action == KeyAction::Down ? 1 : 2);
    m_keyboard.report();
}

void UinputEventSink::sendMotion(QPointF point)
{
    // The move is its own report so that a press lands where the pointer is.
    const double x = std::clamp(std::floor(point.x()) - m_desktop.x(), 0.0, double(std::max(m_desktop.width() - 1, 0)));
    const double y = std::clamp(std::floor(point.y()) - m_desktop.y(), 0.0, double(std::max(m_desktop.height() - 1, 0)));
    m_pointer.add(EV_ABS, ABS_X, static_cast<std::int32_t>(x));
    m_pointer.add(EV_ABS, ABS_Y, static_cast<std::int32_t>(y));
    m_pointer.report();
}

void UinputEventSink::sendButton(int button, bool down)
{
    m_pointer.add(EV_KEY, static_cast<std::uint16_t>(BTN_LEFT + button), down ? 1 : 0);
    m_pointer.report();
}

void UinputEventSink::sendWheel(const WheelMotion& motion)
{
    if (motion.verticalHighRes != 0)
        m_pointer.add(EV_REL, REL_WHEEL_HI_RES, motion.verticalHighRes);
    if (motion.vertical != 0)
        m_pointer.add(EV_REL, REL_WHEEL, motion.vertical);
    if (motion.horizontalHighRes != 0)
        m_pointer.add(EV_REL, REL_HWHEEL_HI_RES, motion.horizontalHighRes);
    if (motion.horizontal != 0)
        m_pointer.add(EV_REL, REL_HWHEEL, motion.horizontal);
    m_pointer.report();
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
        const bool shift = stroke->shift && !shiftFromFlags;
        if (shift)
            m_modifiers.setHeld(Modifier::Shift, ModifierLatch::Key, true);
        sendKey(stroke->evdevCode, KeyAction::Down);
        sendKey(stroke->evdevCode, KeyAction::Up);
        if (shift)
            m_modifiers.setHeld(Modifier::Shift, ModifierLatch::Key, false);
    }
    m_modifiers.settle(inputHeld());
}
