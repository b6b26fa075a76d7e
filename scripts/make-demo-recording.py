#!/usr/bin/env python3
"""Writes resources/samples/demo.hid: a made-up 75-inch touch display with ten
fingers (five per report, hybrid frames) and a pen with an eraser end, doing a
tap, a double tap, a drag, a right click with the eraser, a two-finger scroll
that is let go while moving (so it coasts), and a pinch. The output is the
hid-recorder text format, so `velotap replay` and other HID tools can read it.

Usage: scripts/make-demo-recording.py [OUTPUT]
"""
import struct
import sys

LOGICAL_MAX = 32767
FINGER_SLOTS = 5
REPORT_ID = 1
INTERVAL = 0.010  # the display reports at 100 Hz


def item(prefix, value=None, size=None):
    """One short item; the size follows the value unless given."""
    if value is None:
        return bytes([prefix])
    if size is None:
        # Signed ranges: Logical and Physical limits are signed in HID.
        size = 1 if -128 <= value <= 127 else 2 if -32768 <= value <= 32767 else 4
    code = {1: 1, 2: 2, 4: 3}[size]
    fmt = {1: '<B', 2: '<H', 4: '<I'}[size]
    return bytes([prefix | code]) + struct.pack(fmt, value & ((1 << (8 * size)) - 1))


def usage_page(v): return item(0x04, v)
def usage(v): return item(0x08, v)
def collection(v): return item(0xA0, v)
def end_collection(): return item(0xC0)
def logical_min(v): return item(0x14, v)
def logical_max(v): return item(0x24, v)
def physical_max(v): return item(0x44, v)
def unit(v): return item(0x64, v)
def unit_exponent(v): return item(0x54, v)
def report_size(v): return item(0x74, v)
def report_count(v): return item(0x94, v)
def report_id(v): return item(0x84, v)
def input_(v): return item(0x80, v)
def feature(v): return item(0xB0, v)


def bits(*usages):
    """One-bit fields for the given digitizer usages, padded to a byte."""
    out = b''
    for u in usages:
        out += usage(u)
    out += logical_min(0) + logical_max(1) + report_size(1) + report_count(len(usages)) + input_(0x02)
    pad = 8 - len(usages)
    if pad:
        out += report_count(pad) + input_(0x03)
    return out


def position(width_mm, height_mm):
    return (usage_page(0x01) + logical_min(0) + logical_max(LOGICAL_MAX) + report_size(16) + report_count(1)
            + unit_exponent(0x0E) + unit(0x11)
            + physical_max(width_mm * 10) + usage(0x30) + input_(0x02)
            + physical_max(height_mm * 10) + usage(0x31) + input_(0x02)
            + usage_page(0x0D))


def descriptor():
    d = usage_page(0x0D) + usage(0x04) + collection(0x01) + report_id(REPORT_ID)
    for _ in range(FINGER_SLOTS):
        d += usage(0x22) + collection(0x02)
        d += bits(0x42, 0x32, 0x47)                      # Tip Switch, In Range, Touch Valid
        d += usage(0x51) + logical_max(255) + report_size(8) + report_count(1) + input_(0x02)
        d += position(1650, 928)
        d += usage(0x48) + usage(0x49) + logical_max(255) + report_size(8) + report_count(2) + input_(0x02)
        d += end_collection()
    d += usage(0x20) + collection(0x02)                  # the pen shares the touch report
    d += bits(0x42, 0x44, 0x3C, 0x45, 0x32)              # Tip, Barrel, Invert, Eraser, In Range
    d += usage(0x51) + logical_max(255) + report_size(8) + report_count(1) + input_(0x02)
    d += position(1650, 928)
    d += usage(0x30) + logical_max(4095) + report_size(16) + report_count(1) + input_(0x02)  # Tip Pressure
    d += end_collection()
    d += usage(0x54) + logical_max(10) + report_size(8) + report_count(1) + input_(0x02)      # Contact Count
    d += report_id(2) + usage(0x55) + logical_max(10) + report_size(8) + report_count(1) + feature(0x02)
    d += end_collection()
    return d


def scale(fraction):
    return max(0, min(LOGICAL_MAX, round(fraction * LOGICAL_MAX)))


def report(fingers=(), pen=None):
    """fingers: (id, x, y, down) with x, y in 0..1; pen: (x, y, tip, eraser, in_range)."""
    out = bytes([REPORT_ID])
    count = 0
    for slot in range(FINGER_SLOTS):
        if slot < len(fingers):
            cid, x, y, down = fingers[slot]
            flags = (1 if down else 0) | 2 | 4
            out += struct.pack('<BBHHBB', flags, cid, scale(x), scale(y), 0x30, 0x30)
            count += 1
        else:
            out += bytes(8)
    if pen:
        x, y, tip, eraser, in_range = pen
        flags = (1 if tip else 0) | (4 if eraser else 0) | (8 if eraser else 0) | (16 if in_range else 0)
        out += struct.pack('<BBHHH', flags, 32, scale(x), scale(y), 2000 if tip else 0)
        count += 1 if tip or in_range else 0
    else:
        out += bytes(8)
    return out + bytes([count])


class Timeline:
    def __init__(self):
        self.time = 0.0
        self.events = []

    def emit(self, data):
        self.events.append((self.time, data))
        self.time += INTERVAL

    def pause(self, seconds):
        self.time += seconds

    def finger_path(self, cid, points, lift=True):
        for x, y in points:
            self.emit(report([(cid, x, y, True)]))
        if lift:
            x, y = points[-1]
            self.emit(report([(cid, x, y, False)]))
            self.emit(report())


def lerp(a, b, steps):
    return [(a[0] + (b[0] - a[0]) * i / (steps - 1), a[1] + (b[1] - a[1]) * i / (steps - 1)) for i in range(steps)]


def gestures():
    t = Timeline()
    t.emit(report())
    t.pause(0.2)
    # Tap: a short touch, no movement.
    t.finger_path(1, [(0.25, 0.30)] * 6)
    t.pause(0.7)
    # Double tap: two quick taps on the same spot.
    t.finger_path(2, [(0.50, 0.30)] * 5)
    t.pause(0.12)
    t.finger_path(3, [(0.501, 0.301)] * 5)
    t.pause(0.7)
    # Drag: rest long enough for the press, then move and let go.
    t.finger_path(4, [(0.20, 0.60)] * 15 + lerp((0.20, 0.60), (0.45, 0.70), 40))
    t.pause(0.7)
    # Eraser end of the pen: hover, touch briefly, hover away.
    for _ in range(5):
        t.emit(report(pen=(0.70, 0.40, False, True, True)))
    for _ in range(8):
        t.emit(report(pen=(0.70, 0.40, True, True, True)))
    for _ in range(5):
        t.emit(report(pen=(0.70, 0.40, False, True, True)))
    t.emit(report())
    t.pause(0.7)
    # Two-finger scroll, let go while still moving so it coasts.
    for (x, y) in lerp((0.50, 0.70), (0.50, 0.40), 20):
        t.emit(report([(5, x - 0.04, y, True), (6, x + 0.04, y, True)]))
    t.emit(report([(5, 0.46, 0.40, False), (6, 0.54, 0.40, False)]))
    t.emit(report())
    t.pause(2.0)
    # Pinch: two fingers spread apart around the same centre.
    for i in range(50):
        half = 0.05 + 0.07 * i / 49
        t.emit(report([(7, 0.50 - half, 0.50, True), (8, 0.50 + half, 0.50, True)]))
    t.emit(report([(7, 0.38, 0.50, False), (8, 0.62, 0.50, False)]))
    t.emit(report())
    return t.events


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else 'resources/samples/demo.hid'
    d = descriptor()
    lines = [
        '# Velotap demo: a made-up 75-inch touch display with ten fingers and a pen.',
        '# Generated by scripts/make-demo-recording.py; edit the script, not this file.',
        '# tap, double tap, drag, eraser right click, two-finger scroll with inertia, pinch',
        'D: 0',
        'R: %d %s' % (len(d), ' '.join('%02x' % b for b in d)),
        'N: Velotap Demo Touch Display',
        'P: usb-0000:00:14.0-2/input0',
        'I: 3 0000 0000',
    ]
    for time, data in gestures():
        seconds, micros = divmod(round(time * 1e6), 1000000)
        lines.append('E: %d.%06d %d %s' % (seconds, micros, len(data), ' '.join('%02x' % b for b in data)))
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
