#include "platform/linux/UinputEventSink.h"

#include <cerrno>

#include <QDebug>
#include <QStringView>

#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using keycodes::Modifier;

UinputDeviceLayout UinputEventSink::pointerLayout()
{
    // The left button is declared, never pressed: without it desktops do not
    // take an absolute device for a pointer.
    return {"pointer", {BTN_LEFT}, {}, {{ABS_X, kAbsoluteMaximum}, {ABS_Y, kAbsoluteMaximum}}};
}

UinputDeviceLayout UinputEventSink::keyboardLayout()
{
    UinputDeviceLayout layout{"keyboard", {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE},
                              {REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES}, {}};
    for (const keycodes::KeyEntry& key : keycodes::keys())
        layout.keys.push_back(key.evdevCode);
    return layout;
}

void UinputEventSink::Writer::add(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    if (m_count + 1 >= m_events.size())
        report();
    input_event& event = m_events[m_count++];
    event = input_event{};
    event.type = type;
    event.code = code;
    event.value = value;
}

void UinputEventSink::Writer::report()
{
    input_event& syn = m_events[m_count++];
    syn = input_event{};
    syn.type = EV_SYN;
    syn.code = SYN_REPORT;
    m_sink.send(m_fd, m_events.data(), m_count);
    m_count = 0;
}

void UinputEventSink::send(int fd, const input_event* events, std::size_t count)
{
    if (!isReady()) {
        if (m_held.size() + count > m_held.capacity()) {
            m_heldOverflow = true;
            m_kernelPosition.reset();
            return;
        }
        for (std::size_t i = 0; i < count; ++i)
            m_held.push_back({fd, events[i]});
        return;
    }
    // A full device queue drops the report; retrying would only add lag. A
    // signal is no reason to lose the rest of it (a release, say).
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(events);
    const std::size_t size = count * sizeof(input_event);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
}

void UinputEventSink::sendHeldEvents()
{
    if (m_heldOverflow)
        qWarning().noquote() << "Velotap dropped part of the input posted before its virtual devices were ready";
    for (std::size_t first = 0; first < m_held.size();) {
        std::size_t end = first;
        std::array<input_event, 16> run{};
        std::size_t count = 0;
        while (end < m_held.size() && m_held[end].fd == m_held[first].fd && count < run.size())
            run[count++] = m_held[end++].event;
        send(m_held[first].fd, run.data(), count);
        first = end;
    }
    m_held.clear();
    m_heldOverflow = false;
}

std::unique_ptr<UinputEventSink> UinputEventSink::open(const QString& path, QRect desktop, Scheduler& scheduler,
                                                       QString* error)
{
    auto pointer = UinputDevice::create(path, pointerLayout(), error);
    if (!pointer)
        return nullptr;
    auto keyboard = UinputDevice::create(path, keyboardLayout(), error);
    if (!keyboard)
        return nullptr;
    auto sink = std::make_unique<UinputEventSink>(pointer->fd(), keyboard->fd(), desktop);
    sink->holdUntilReady(scheduler, {pointer->sysName(), keyboard->sysName()});
    sink->m_pointerDevice = std::move(pointer);
    sink->m_keyboardDevice = std::move(keyboard);
    return sink;
}

UinputEventSink::UinputEventSink(int pointerFd, int keyboardFd, QRect desktop)
    : SyntheticInputSink(kHighResolutionPerStep)
    , m_pointer(*this, pointerFd)
    , m_keyboard(*this, keyboardFd)
    , m_desktop(desktop)
{
}

UinputEventSink::~UinputEventSink()
{
    releaseAll();
}

void UinputEventSink::holdUntilReady(Scheduler& scheduler, const QStringList& sysNames,
                                     VirtualDevicePaths paths)
{
    m_held.reserve(kHeldEventCapacity);
    m_readiness = std::make_unique<VirtualDeviceReadiness>(scheduler, sysNames, [this] { sendHeldEvents(); },
                                                           std::move(paths));
}

void UinputEventSink::sendKey(unsigned evdevCode, bool down)
{
    m_keyboard.add(EV_KEY, static_cast<std::uint16_t>(evdevCode), down ? 1 : 0);
    m_keyboard.report();
}

std::int32_t UinputEventSink::scaled(double position, int origin, int extent) const
{
    // The middle of the pixel, so the desktop's own scaling lands inside it.
    extent = std::max(extent, 1);
    const double pixel = std::clamp(std::floor(position) - origin, 0.0, double(extent - 1));
    return static_cast<std::int32_t>((pixel + 0.5) * (double(kAbsoluteMaximum) + 1) / extent);
}

void UinputEventSink::sendMotion(QPointF point)
{
    const std::pair position{scaled(point.x(), m_desktop.x(), m_desktop.width()),
                             scaled(point.y(), m_desktop.y(), m_desktop.height())};
    // The kernel drops a position equal to the one it holds, and a tap where
    // the last one was, after the mouse moved away, would click at the
    // mouse. A step to a neighbouring value and back in the same report
    // makes it take effect without visible movement.
    if (!m_kernelPosition || *m_kernelPosition == position)
        m_pointer.add(EV_ABS, ABS_X, position.first < kAbsoluteMaximum ? position.first + 1 : position.first - 1);
    m_pointer.add(EV_ABS, ABS_X, position.first);
    m_pointer.add(EV_ABS, ABS_Y, position.second);
    m_kernelPosition = position;
    // The move is its own report so that a press lands where the pointer is.
    m_pointer.report();
}

void UinputEventSink::sendButton(int button, bool down)
{
    m_keyboard.add(EV_KEY, static_cast<std::uint16_t>(BTN_LEFT + button), down ? 1 : 0);
    m_keyboard.report();
}

void UinputEventSink::sendWheel(const WheelMotion& motion)
{
    if (motion.verticalHighRes != 0)
        m_keyboard.add(EV_REL, REL_WHEEL_HI_RES, motion.verticalHighRes);
    if (motion.vertical != 0)
        m_keyboard.add(EV_REL, REL_WHEEL, motion.vertical);
    if (motion.horizontalHighRes != 0)
        m_keyboard.add(EV_REL, REL_HWHEEL_HI_RES, motion.horizontalHighRes);
    if (motion.horizontal != 0)
        m_keyboard.add(EV_REL, REL_HWHEEL, motion.horizontal);
    m_keyboard.report();
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
        sendKey(stroke->evdevCode, true);
        sendKey(stroke->evdevCode, false);
        if (shift)
            m_modifiers.setHeld(Modifier::Shift, ModifierLatch::Key, false);
    }
    m_modifiers.settle(inputHeld());
}
