#pragma once
#include "platform/linux/UinputDevice.h"

#include <QRect>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

// A virtual input device as the kernel's input core runs it. What is
// written to writeEnd() passes the core's filter before any reader sees it:
// codes the device did not declare are dropped, so is an absolute value
// equal to the one the device holds, a press of a pressed key or a release
// of a released one, a relative motion of 0, and a report with nothing left
// in it. Repeats (value 2) pass, as they do in the kernel.
class FakeEvdevDevice {
public:
    using Frame = std::vector<input_event>;

    explicit FakeEvdevDevice(const UinputDeviceLayout& layout)
        : m_keys(layout.keys.begin(), layout.keys.end())
        , m_relative(layout.relativeAxes.begin(), layout.relativeAxes.end())
    {
        for (const auto& axis : layout.absoluteAxes)
            m_absolute[axis.code] = {0, axis.maximum};
        // How udev classes a device as a mouse, whose settings the desktop
        // then applies to it.
        const bool pointerAxes = (m_absolute.count(ABS_X) && m_absolute.count(ABS_Y))
                              || (m_relative.count(REL_X) && m_relative.count(REL_Y));
        m_classedAsMouse = pointerAxes && m_keys.count(BTN_LEFT) && !m_keys.count(BTN_STYLUS)
                        && !m_keys.count(BTN_TOOL_PEN);
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
    bool classedAsMouse() const { return m_classedAsMouse; }

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
    bool m_classedAsMouse = false;
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
// whole desktop as compositors do. Its left-handed mouse setting swaps the
// buttons of devices classed as mice. seen() tells what applications got, one
// word per delivered report: "move 10,20", "left down", "key 30 up",
// "key 30 repeat", "wheelHi=120 wheel=1".
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
        std::string word;
        bool moved = false;
        for (const input_event& e : frame) {
            if (e.type == EV_ABS) {
                (e.code == ABS_X ? m_x : m_y) = e.value;
                moved = true;
                continue;
            }
            if (!word.empty())
                word += ' ';
            if (e.type == EV_REL) {
                word += kWheels.at(e.code) + "=" + std::to_string(e.value);
            } else if (kButtons.count(e.code)) {
                int button = e.code;
                if (m_leftHanded && device.classedAsMouse() && (button == BTN_LEFT || button == BTN_RIGHT))
                    button = button == BTN_LEFT ? BTN_RIGHT : BTN_LEFT;
                word += kButtons.at(button) + (e.value ? " down" : " up");
                if (e.value)
                    m_presses.push_back(m_position);
            } else {
                word += "key " + std::to_string(e.code) + kKeyValues[std::clamp(e.value, 0, 2)];
            }
        }
        if (moved) {
            // Absolute motion reports the whole position, X and Y.
            m_position = {m_desktop.x() + int(std::int64_t(m_x) * m_desktop.width() / (device.maximum(ABS_X) + 1)),
                          m_desktop.y() + int(std::int64_t(m_y) * m_desktop.height() / (device.maximum(ABS_Y) + 1))};
            word = "move " + std::to_string(m_position.x()) + "," + std::to_string(m_position.y())
                 + (word.empty() ? "" : " " + word);
        }
        m_seen.push_back(word);
    }
};
