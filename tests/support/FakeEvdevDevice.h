#pragma once
#include "platform/linux/UinputDevice.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/UdevRules.h"

#include <QRect>
#include <QString>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

// udev's input_id: what a device is taken for, by the codes it declares.
// Joysticks and accelerometers are left out; no device here declares their
// buttons or axes.
inline UdevProperties udevInputProperties(const UinputDeviceLayout& layout)
{
    const std::set<std::uint16_t> keys(layout.keys.begin(), layout.keys.end());
    const std::set<std::uint16_t> relative(layout.relativeAxes.begin(), layout.relativeAxes.end());
    std::set<std::uint16_t> absolute;
    for (const auto& axis : layout.absoluteAxes)
        absolute.insert(axis.code);
    const auto any = [&](std::uint16_t first, std::uint16_t end) {
        return keys.lower_bound(first) != keys.lower_bound(end);
    };
    EXPECT_FALSE(any(BTN_JOYSTICK, BTN_DIGI) || any(BTN_TRIGGER_HAPPY, KEY_MAX)) << "joysticks are not modelled";

    const bool absoluteXY = absolute.count(ABS_X) && absolute.count(ABS_Y);
    const bool relativeXY = relative.count(REL_X) && relative.count(REL_Y);
    const bool mouseButton = any(BTN_MOUSE, BTN_JOYSTICK);
    bool tablet = false, touchpad = false, absoluteMouse = false, touchscreen = false;
    if (absoluteXY) {
        if (keys.count(BTN_STYLUS) || keys.count(BTN_TOOL_PEN))
            tablet = true;
        else if (keys.count(BTN_TOOL_FINGER))
            touchpad = true;
        else if (mouseButton)
            absoluteMouse = true;
        else if (keys.count(BTN_TOUCH))
            touchscreen = true;
    }
    // Mouse buttons with relative axes, or with no axes at all, are a mouse.
    const bool mouse = absoluteMouse || (!tablet && !touchpad && mouseButton && (relativeXY || !absoluteXY));
    // Any key below the buttons, or among the keys above them.
    const bool key = any(1, BTN_MISC) || any(KEY_OK, BTN_DPAD_UP) || any(KEY_ALS_TOGGLE, BTN_TRIGGER_HAPPY);
    // KEY_ESC up to KEY_D all there: a full keyboard.
    const bool keyboard = std::distance(keys.lower_bound(1), keys.lower_bound(32)) == 31;
    const bool wheel = relative.count(REL_WHEEL) || relative.count(REL_HWHEEL);
    const bool pointer = mouse || tablet || touchpad || touchscreen;

    UdevProperties properties{{"ID_INPUT", "1"}};
    // A wheel alone makes a key device too.
    const std::pair<const char*, bool> kinds[] = {{"ID_INPUT_MOUSE", mouse},
                                                  {"ID_INPUT_TOUCHPAD", touchpad},
                                                  {"ID_INPUT_TOUCHSCREEN", touchscreen},
                                                  {"ID_INPUT_TABLET", tablet},
                                                  {"ID_INPUT_KEY", key || (wheel && !pointer)},
                                                  {"ID_INPUT_KEYBOARD", keyboard}};
    for (const auto& [name, is] : kinds) {
        if (is)
            properties[QLatin1String(name)] = QStringLiteral("1");
    }
    return properties;
}

// What libinput makes of a device with these udev properties: the kinds of
// events it passes on (others are dropped), and whether it offers the
// left-handed option that desktops set from the user's mouse settings.
struct LibinputSetup {
    bool pointer = false;
    bool keyboard = false;
    bool leftHandedOption = false;
};

inline LibinputSetup libinputSetup(const UdevProperties& properties, const UinputDeviceLayout& layout)
{
    const auto tagged = [&](const char* name) { return properties.value(QLatin1String(name)) == QLatin1String("1"); };
    const bool wheel = std::any_of(layout.relativeAxes.begin(), layout.relativeAxes.end(),
                                   [](std::uint16_t axis) { return axis == REL_WHEEL || axis == REL_HWHEEL; });
    LibinputSetup setup;
    if (tagged("ID_INPUT_MOUSE")) {
        setup.pointer = true;
        setup.leftHandedOption = true;
    }
    if (tagged("ID_INPUT_KEYBOARD") || tagged("ID_INPUT_KEY")) {
        setup.keyboard = true;
        // A keyboard with a wheel scrolls and clicks, with no left-handed option.
        setup.pointer = setup.pointer || wheel;
    }
    return setup;
}

// A virtual input device as the kernel's input core runs it. What is
// written to writeEnd() passes the core's filter before any reader sees it:
// codes the device did not declare are dropped, so is an absolute value
// equal to the one the device holds, a press of a pressed key or a release
// of a released one, a relative motion of 0, and a report with nothing left
// in it. Repeats (value 2) pass, as they do in the kernel.
// udev classes it as input_id does, then runs the shipped rule on its event
// node unless the rule is missing; libinput sets it up from the outcome.
class FakeEvdevDevice {
public:
    using Frame = std::vector<input_event>;
    enum class UdevRule { Installed, Missing };

    explicit FakeEvdevDevice(const UinputDeviceLayout& layout, UdevRule rule = UdevRule::Installed)
        : m_keys(layout.keys.begin(), layout.keys.end())
        , m_relative(layout.relativeAxes.begin(), layout.relativeAxes.end())
        , m_udevProperties(udevInputProperties(layout))
    {
        for (const auto& axis : layout.absoluteAxes)
            m_absolute[axis.code] = {0, axis.maximum};
        if (rule == UdevRule::Installed) {
            const auto id = [](std::uint16_t value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')); };
            const UdevEvent event{"input", "event40", {}, "/devices/virtual/input/input40/event40", "add",
                                  {{"name", UinputDevice::nameOf(layout)}, {"id/bustype", id(UinputDevice::kBusType)},
                                   {"id/vendor", id(UinputDevice::kVendor)}, {"id/product", id(UinputDevice::kProduct)}},
                                  m_udevProperties};
            m_udevProperties = UdevRuleEvaluator::shipped().evaluate(event).properties;
        }
        m_libinput = libinputSetup(m_udevProperties, layout);
        EXPECT_EQ(pipe2(m_fds, O_NONBLOCK | O_CLOEXEC), 0);
        // The kernel takes every write; a pipe holds what a test writes at once.
        fcntl(m_fds[1], F_SETPIPE_SZ, 1 << 20);
    }
    ~FakeEvdevDevice()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int writeEnd() const { return m_fds[1]; }
    std::int32_t maximum(std::uint16_t absCode) const { return m_absolute.at(absCode).maximum; }
    const UdevProperties& udevProperties() const { return m_udevProperties; }
    const LibinputSetup& libinput() const { return m_libinput; }

    // The reports delivered since the last call.
    std::vector<Frame> take()
    {
        std::vector<Frame> frames;
        input_event e;
        while (::read(m_fds[0], &e, sizeof e) == sizeof e) {
            if (e.type == EV_SYN && e.code == SYN_REPORT) {
                if (!m_pending.empty())
                    frames.push_back(std::exchange(m_pending, {}));
            } else if (passes(e)) {
                m_pending.push_back(e);
            }
        }
        return frames;
    }

private:
    struct Axis {
        std::int32_t value;
        std::int32_t maximum;
    };
    int m_fds[2] = {-1, -1};
    std::set<std::uint16_t> m_keys;
    std::set<std::uint16_t> m_relative;
    std::map<std::uint16_t, Axis> m_absolute;
    UdevProperties m_udevProperties;
    LibinputSetup m_libinput;
    std::set<std::uint16_t> m_down;
    Frame m_pending;

    bool passes(const input_event& e)
    {
        switch (e.type) {
        case EV_KEY:
            if (!m_keys.count(e.code))
                return false;
            if (e.value == 2)
                return true;
            if (m_down.count(e.code) == (e.value != 0))
                return false;
            e.value ? (void)m_down.insert(e.code) : (void)m_down.erase(e.code);
            return true;
        case EV_REL:
            return m_relative.count(e.code) && e.value != 0;
        case EV_ABS: {
            const auto axis = m_absolute.find(e.code);
            if (axis == m_absolute.end() || axis->second.value == e.value)
                return false;
            axis->second.value = e.value;
            return true;
        }
        default:
            return false;
        }
    }
};

// The desktop behind the virtual devices: one pointer, which the user's
// mouse moves too, placed by an absolute device's values scaled over the
// whole desktop as compositors do. libinput passes on only what a device's
// set-up allows, and the user's left-handed mouse setting swaps the buttons
// of the devices that offer the option. seen() tells what applications got,
// one word per delivered report: "move 10,20", "left down", "key 30 up",
// "key 30 repeat", "wheelHi=120 wheel=1"; what libinput dropped reads
// "dropped left down".
class FakeDesktop {
public:
    FakeDesktop(FakeEvdevDevice& pointer, FakeEvdevDevice& keyboard, QRect desktop)
        : m_pointer(pointer), m_keyboard(keyboard), m_desktop(desktop)
    {
    }
    void setDesktop(QRect desktop) { m_desktop = desktop; }
    void setLeftHanded(bool leftHanded) { m_leftHanded = leftHanded; }
    // The user's mouse moves the pointer, after what was sent so far.
    void moveMouse(QPoint to)
    {
        pump();
        m_position = to;
    }
    QPoint pointerPosition()
    {
        pump();
        return m_position;
    }
    // Where each button press landed, in order.
    const std::vector<QPoint>& pressPositions()
    {
        pump();
        return m_presses;
    }

    std::vector<std::string> seen()
    {
        pump();
        return std::exchange(m_seen, {});
    }

    // Takes in what the devices delivered so far: the pointer's reports
    // before the keyboard's, as a desktop reading both after one write to
    // each gets them. Tests pump between writes where the order across the
    // two devices matters.
    void pump()
    {
        for (FakeEvdevDevice* device : {&m_pointer, &m_keyboard}) {
            for (const FakeEvdevDevice::Frame& frame : device->take())
                apply(*device, frame);
        }
    }

private:
    FakeEvdevDevice& m_pointer;
    FakeEvdevDevice& m_keyboard;
    QRect m_desktop;
    bool m_leftHanded = false;
    QPoint m_position;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    std::vector<QPoint> m_presses;
    std::vector<std::string> m_seen;

    void apply(const FakeEvdevDevice& device, const FakeEvdevDevice::Frame& frame)
    {
        static const std::map<int, std::string> kButtons{{BTN_LEFT, "left"}, {BTN_RIGHT, "right"}, {BTN_MIDDLE, "middle"}};
        static const std::map<int, std::string> kWheels{{REL_WHEEL, "wheel"}, {REL_WHEEL_HI_RES, "wheelHi"},
                                                        {REL_HWHEEL, "hwheel"}, {REL_HWHEEL_HI_RES, "hwheelHi"}};
        static const char* kKeyValues[] = {" up", " down", " repeat"};
        std::vector<std::string> words;
        bool moved = false;
        for (const input_event& e : frame) {
            const bool button = e.type == EV_KEY && kButtons.count(e.code);
            const bool passes = e.type == EV_KEY && !button ? device.libinput().keyboard : device.libinput().pointer;
            std::string word;
            if (e.type == EV_ABS) {
                if (passes) {
                    (e.code == ABS_X ? m_x : m_y) = e.value;
                    moved = true;
                    continue;
                }
                word = "abs " + std::to_string(e.code);
            } else if (e.type == EV_REL) {
                word = kWheels.at(e.code) + "=" + std::to_string(e.value);
            } else if (button) {
                int code = e.code;
                if (m_leftHanded && device.libinput().leftHandedOption && (code == BTN_LEFT || code == BTN_RIGHT))
                    code = code == BTN_LEFT ? BTN_RIGHT : BTN_LEFT;
                word = kButtons.at(code) + (e.value ? " down" : " up");
                if (e.value && passes)
                    m_presses.push_back(m_position);
            } else {
                word = "key " + std::to_string(e.code) + kKeyValues[std::clamp(e.value, 0, 2)];
            }
            words.push_back(passes ? word : "dropped " + word);
        }
        if (moved) {
            // Absolute motion reports the whole position, X and Y.
            m_position = {m_desktop.x() + int(std::int64_t(m_x) * m_desktop.width() / (device.maximum(ABS_X) + 1)),
                          m_desktop.y() + int(std::int64_t(m_y) * m_desktop.height() / (device.maximum(ABS_Y) + 1))};
            words.insert(words.begin(), "move " + std::to_string(m_position.x()) + "," + std::to_string(m_position.y()));
        }
        std::string report;
        for (const std::string& word : words)
            report += (report.empty() ? "" : " ") + word;
        m_seen.push_back(report);
    }
};
