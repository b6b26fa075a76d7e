#include "platform/linux/XTestEventSink.h"

#include "platform/linux/XErrors.h"

#include <QProcess>
#include <QStringView>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

using keycodes::Modifier;

namespace {

constexpr int kMaxSpareKeycodes = 8;

unsigned xButtonFor(MouseEventType type, MouseButton button)
{
    switch (type) {
    case MouseEventType::LeftDown: case MouseEventType::LeftUp: case MouseEventType::LeftDragged:
        return Button1;
    case MouseEventType::RightDown: case MouseEventType::RightUp: case MouseEventType::RightDragged:
        return Button3;
    default:
        break;
    }
    switch (button) {
    case MouseButton::Left: return Button1;
    case MouseButton::Right: return Button3;
    case MouseButton::Center: return Button2;
    }
    return Button2;
}

} // namespace

std::unique_ptr<XTestEventSink> XTestEventSink::open(Scheduler& scheduler, QString* error,
                                                     const char* displayName)
{
    installXErrorLogger();
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        if (error)
            *error = QStringLiteral("Cannot connect to the X display");
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display);
        if (error)
            *error = QStringLiteral("The X display has no XTest extension");
        return nullptr;
    }
    // Keep working while another client grabs the server (menus, drags).
    XTestGrabControl(display, True);
    return std::unique_ptr<XTestEventSink>(new XTestEventSink(display, scheduler));
}

XTestEventSink::XTestEventSink(_XDisplay* display, Scheduler& scheduler)
    : m_display(display)
    , m_scheduler(scheduler)
    , m_modifiers([this](Modifier m, bool down) { pressModifier(m, down); })
{
    XDisplayKeycodes(m_display, &m_minKeycode, &m_maxKeycode);
    loadKeymap();
    findSpareKeycodes();
}

XTestEventSink::~XTestEventSink()
{
    // Leave nothing pressed and give every borrowed keycode back.
    while (!m_heldKeys.empty())
        releaseHeld(m_heldKeys.back().id);
    for (unsigned button = Button1; button <= Button3; ++button) {
        if (m_buttonsHeld & (1u << button))
            XTestFakeButtonEvent(m_display, button, False, CurrentTime);
    }
    m_buttonsHeld = 0;
    m_modifiers.releaseAll();
    XSync(m_display, False);
    double latest = 0;
    for (SpareKey& spare : m_spares) {
        m_scheduler.cancel(spare.restoreTimer);
        spare.restoreTimer = 0;
        if (spare.mapped != 0)
            latest = std::max(latest, spare.lastUse + kKeymapRestoreDelay);
    }
    const double wait = std::clamp(latest - m_scheduler.now(), 0.0, kKeymapRestoreDelay);
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    for (SpareKey& spare : m_spares) {
        if (spare.mapped != 0)
            restore(spare);
    }
    XSync(m_display, False);
    XCloseDisplay(m_display);
}

void XTestEventSink::flush()
{
    XFlush(m_display);
    // Every client receives MappingNotify; read them so they do not pile up
    // and so the keymap is looked up again when it changed.
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            m_keymapStale = true;
        }
    }
}

void XTestEventSink::sync()
{
    XSync(m_display, False);
    flush();
}

void XTestEventSink::moveTo(QPointF point)
{
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
        return;
    // The pixel that contains the point; the server clamps to the screen.
    const double x = std::clamp(std::floor(point.x()), -1e6, 1e6);
    const double y = std::clamp(std::floor(point.y()), -1e6, 1e6);
    XTestFakeMotionEvent(m_display, -1, static_cast<int>(x), static_cast<int>(y), CurrentTime);
}

void XTestEventSink::postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                                    std::uint64_t flags, std::int64_t)
{
    // X clients count clicks themselves from the timing of the presses.
    const unsigned xButton = xButtonFor(type, button);
    const unsigned bit = 1u << xButton;
    m_modifiers.applyFlags(flags);
    moveTo(point);
    switch (type) {
    case MouseEventType::LeftDown: case MouseEventType::RightDown: case MouseEventType::OtherDown:
        XTestFakeButtonEvent(m_display, xButton, True, CurrentTime);
        m_buttonsHeld |= bit;
        break;
    case MouseEventType::LeftUp: case MouseEventType::RightUp: case MouseEventType::OtherUp:
        if (m_buttonsHeld & bit) {
            XTestFakeButtonEvent(m_display, xButton, False, CurrentTime);
            m_buttonsHeld &= ~bit;
        }
        break;
    default:
        break;
    }
    m_modifiers.settle(inputHeld());
    flush();
}

void XTestEventSink::clickButton(unsigned button, int times)
{
    for (int i = 0; i < times; ++i) {
        XTestFakeButtonEvent(m_display, button, True, CurrentTime);
        XTestFakeButtonEvent(m_display, button, False, CurrentTime);
    }
}

void XTestEventSink::postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags)
{
    // Positive wheel 1 scrolls up (button 4), positive wheel 2 scrolls left
    // (button 6): the direction a wheel turned away from the user moves the
    // content, whatever the natural-scrolling setting made of the fingers.
    const int vertical = m_vertical.add(wheel1);
    const int horizontal = m_horizontal.add(wheel2);
    if (vertical == 0 && horizontal == 0)
        return;
    m_modifiers.applyFlags(flags);
    clickButton(vertical > 0 ? 4 : 5, std::abs(vertical));
    clickButton(horizontal > 0 ? 6 : 7, std::abs(horizontal));
    m_modifiers.settle(inputHeld());
    flush();
}

void XTestEventSink::postMagnify(double magnification, int phase, QPointF)
{
    // Zoom is Control with the wheel on Linux desktops.
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
        clickButton(steps > 0 ? 4 : 5, std::abs(steps));
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
    flush();
}

void XTestEventSink::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags)
{
    if (const auto m = keycodes::modifierForVirtualKey(keyCode)) {
        // The key itself is the modifier; its own flag must not press it twice.
        m_modifiers.setHeld(*m, ModifierLatch::Key, down);
        m_modifiers.applyFlags(flags & ~keycodes::modifier(*m).flagMask);
        m_modifiers.settle(inputHeld());
        flush();
        return;
    }
    const keycodes::KeyEntry* entry = keycodes::findKey(keyCode);
    if (!entry)
        return;
    m_modifiers.applyFlags(flags);
    if (down)
        pressKeysym(keyCode, entry->keysym);
    else
        releaseHeld(keyCode);
    m_modifiers.settle(inputHeld());
    flush();
}

void XTestEventSink::postMediaKey(int keyType, bool down)
{
    const auto keysym = keycodes::mediaKeysym(keyType);
    if (!keysym)
        return;
    const std::uint32_t id = kMediaKeyId + static_cast<std::uint32_t>(keyType);
    if (down)
        pressKeysym(id, *keysym);
    else
        releaseHeld(id);
    m_modifiers.settle(inputHeld());
    flush();
}

void XTestEventSink::postUnicodeText(const char16_t* units, int length, std::uint64_t flags)
{
    if (!units || length <= 0)
        return;
    const QList<uint> codePoints = QStringView(units, std::min(length, 8)).toUcs4();
    m_modifiers.applyFlags(flags);
    for (uint codePoint : codePoints) {
        const std::uint32_t keysym = keycodes::keysymForCodePoint(codePoint);
        if (keysym != 0)
            tapKeysym(keysym);
    }
    m_modifiers.settle(inputHeld());
    flush();
}

void XTestEventSink::warpCursor(QPointF point)
{
    moveTo(point);
    flush();
}

void XTestEventSink::launchProgram(const QString& program, const QStringList& arguments)
{
    QProcess::startDetached(program, arguments);
}

void XTestEventSink::pressModifier(Modifier m, bool down)
{
    const unsigned keycode = keycodeFor(keycodes::modifier(m).keysym);
    if (keycode == 0)
        return;
    XTestFakeKeyEvent(m_display, keycode, down ? True : False, CurrentTime);
    if (SpareKey* spare = spareFor(keycode)) {
        spare->pressed = down;
        if (!down)
            scheduleRestore(*spare);
    }
}

void XTestEventSink::pressKeysym(std::uint32_t id, std::uint32_t keysym)
{
    // A second press of a held key repeats it on the keycode it went down on.
    auto held = std::find_if(m_heldKeys.begin(), m_heldKeys.end(),
                             [id](const HeldKey& k) { return k.id == id; });
    const unsigned keycode = held != m_heldKeys.end() ? held->keycode : keycodeFor(keysym);
    if (keycode == 0)
        return;
    XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    if (held == m_heldKeys.end())
        m_heldKeys.push_back({id, keycode});
    if (SpareKey* spare = spareFor(keycode))
        spare->pressed = true;
}

void XTestEventSink::releaseHeld(std::uint32_t id)
{
    auto held = std::find_if(m_heldKeys.begin(), m_heldKeys.end(),
                             [id](const HeldKey& k) { return k.id == id; });
    if (held == m_heldKeys.end())
        return;
    const unsigned keycode = held->keycode;
    m_heldKeys.erase(held);
    XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
    if (SpareKey* spare = spareFor(keycode)) {
        spare->pressed = false;
        scheduleRestore(*spare);
    }
}

void XTestEventSink::tapKeysym(std::uint32_t keysym)
{
    const unsigned keycode = keycodeFor(keysym);
    if (keycode == 0)
        return;
    XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
    if (SpareKey* spare = spareFor(keycode))
        scheduleRestore(*spare);
}

void XTestEventSink::loadKeymap()
{
    const int count = m_maxKeycode - m_minKeycode + 1;
    int perKeycode = 0;
    KeySym* syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(m_minKeycode), count,
                                       &perKeycode);
    m_keymap.assign(static_cast<std::size_t>(count), NoSymbol);
    m_keysymsPerKeycode = perKeycode;
    if (syms) {
        for (int i = 0; i < count; ++i)
            m_keymap[static_cast<std::size_t>(i)] = syms[i * perKeycode];
        XFree(syms);
    }
    m_keymapStale = false;
}

void XTestEventSink::findSpareKeycodes()
{
    // Prefer keycodes with no symbols at all; fall back to the highest ones,
    // whose mapping is put back after use.
    const int count = m_maxKeycode - m_minKeycode + 1;
    int perKeycode = 0;
    KeySym* syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(m_minKeycode), count,
                                       &perKeycode);
    if (!syms || perKeycode <= 0)
        return;
    auto symsOf = [&](int keycode) {
        const KeySym* first = syms + (keycode - m_minKeycode) * perKeycode;
        return std::vector<unsigned long>(first, first + perKeycode);
    };
    for (int keycode = m_maxKeycode; keycode >= m_minKeycode
         && static_cast<int>(m_spares.size()) < kMaxSpareKeycodes; --keycode) {
        std::vector<unsigned long> original = symsOf(keycode);
        if (std::all_of(original.begin(), original.end(), [](unsigned long s) { return s == NoSymbol; }))
            m_spares.push_back({static_cast<unsigned>(keycode), std::move(original)});
    }
    for (int keycode = m_maxKeycode; m_spares.empty() && keycode > m_maxKeycode - 4; --keycode)
        m_spares.push_back({static_cast<unsigned>(keycode), symsOf(keycode)});
    XFree(syms);
}

XTestEventSink::SpareKey* XTestEventSink::spareFor(unsigned keycode)
{
    for (SpareKey& spare : m_spares) {
        if (spare.keycode == keycode)
            return &spare;
    }
    return nullptr;
}

unsigned XTestEventSink::existingKeycode(std::uint32_t keysym)
{
    if (m_keymapStale)
        loadKeymap();
    // Only the unshifted level: pressing the key must give this keysym.
    for (std::size_t i = 0; i < m_keymap.size(); ++i) {
        const unsigned keycode = static_cast<unsigned>(m_minKeycode) + static_cast<unsigned>(i);
        if (m_keymap[i] == keysym && !spareFor(keycode))
            return keycode;
    }
    return 0;
}

unsigned XTestEventSink::keycodeFor(std::uint32_t keysym)
{
    if (const unsigned keycode = existingKeycode(keysym))
        return keycode;
    SpareKey* spare = borrowKeycode(keysym);
    return spare ? spare->keycode : 0;
}

XTestEventSink::SpareKey* XTestEventSink::borrowKeycode(std::uint32_t keysym)
{
    for (SpareKey& spare : m_spares) {
        if (spare.mapped == keysym) {
            m_scheduler.cancel(spare.restoreTimer);
            spare.restoreTimer = 0;
            spare.lastUse = m_scheduler.now();
            return &spare;
        }
    }
    SpareKey* chosen = nullptr;
    for (SpareKey& spare : m_spares) {
        if (spare.mapped == 0) {
            chosen = &spare;
            break;
        }
    }
    if (!chosen) {
        // All lent out: take the one released longest ago, once clients
        // have had their time to read its last key.
        for (SpareKey& spare : m_spares) {
            if (!spare.pressed && (!chosen || spare.lastUse < chosen->lastUse))
                chosen = &spare;
        }
        if (!chosen)
            return nullptr;
        m_scheduler.cancel(chosen->restoreTimer);
        chosen->restoreTimer = 0;
        XSync(m_display, False);
        const double wait = std::clamp(chosen->lastUse + kKeymapRestoreDelay - m_scheduler.now(),
                                       0.0, kKeymapRestoreDelay);
        if (wait > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(m_display, static_cast<int>(chosen->keycode), 2, syms, 1);
    chosen->mapped = keysym;
    chosen->lastUse = m_scheduler.now();
    return chosen;
}

void XTestEventSink::scheduleRestore(SpareKey& spare)
{
    if (spare.mapped == 0 || spare.pressed)
        return;
    spare.lastUse = m_scheduler.now();
    m_scheduler.cancel(spare.restoreTimer);
    const unsigned keycode = spare.keycode;
    spare.restoreTimer = m_scheduler.schedule(kKeymapRestoreDelay, [this, keycode] {
        if (SpareKey* s = spareFor(keycode)) {
            s->restoreTimer = 0;
            if (!s->pressed) {
                restore(*s);
                flush();
            }
        }
    });
}

void XTestEventSink::restore(SpareKey& spare)
{
    std::vector<KeySym> original(spare.original.begin(), spare.original.end());
    XChangeKeyboardMapping(m_display, static_cast<int>(spare.keycode),
                           static_cast<int>(original.size()), original.data(), 1);
    spare.mapped = 0;
}

int XTestEventSink::borrowedKeycodeCount() const
{
    return static_cast<int>(std::count_if(m_spares.begin(), m_spares.end(),
                                          [](const SpareKey& s) { return s.mapped != 0; }));
}
