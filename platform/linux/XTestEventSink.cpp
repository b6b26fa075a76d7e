#include "platform/linux/XTestEventSink.h"

#include "platform/linux/XErrors.h"

#include <QSocketNotifier>
#include <QStringView>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr int kMaxSpareKeycodes = 8;

} // namespace

std::unique_ptr<XTestEventSink> XTestEventSink::open(Scheduler& scheduler, QString* error,
                                                     const char* displayName)
{
    Display* display = openXDisplay(displayName, error);
    if (!display)
        return nullptr;
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
    : SyntheticInputSink(1) // X wheels know only whole steps
    , m_display(display)
    , m_scheduler(scheduler)
{
    XDisplayKeycodes(m_display, &m_minKeycode, &m_maxKeycode);
    loadKeymap();
    findSpareKeycodes();
    // A client with the keyboard extension hears of keymap changes (another
    // layout, a key remapped) only when it asks to.
    int opcode = 0, xkbError = 0, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(m_display, &opcode, &m_xkbEventBase, &xkbError, &xkbMajor, &xkbMinor)) {
        XkbSelectEventDetails(m_display, XkbUseCoreKbd, XkbMapNotify, XkbAllMapComponentsMask, XkbAllMapComponentsMask);
        XkbSelectEventDetails(m_display, XkbUseCoreKbd, XkbNewKeyboardNotify, XkbAllNewKeyboardEventsMask,
                              XkbAllNewKeyboardEventsMask);
    } else {
        m_xkbEventBase = -1;
    }
    XSync(m_display, False);
    m_serverEvents = std::make_unique<QSocketNotifier>(ConnectionNumber(m_display), QSocketNotifier::Read);
    QObject::connect(m_serverEvents.get(), &QSocketNotifier::activated, [this] {
        XEventsQueued(m_display, QueuedAfterReading);
        handleQueuedEvents();
    });
}

XTestEventSink::~XTestEventSink()
{
    m_serverEvents.reset();
    // Leave nothing pressed and give every borrowed keycode back.
    releaseAll();
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
    handleQueuedEvents();
}

void XTestEventSink::handleQueuedEvents()
{
    // Handles what Xlib has already read (no system call); the socket itself
    // is read when the server sends something.
    while (XEventsQueued(m_display, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == MappingNotify)
            XRefreshKeyboardMapping(&event.xmapping);
        if (event.type == MappingNotify || (m_xkbEventBase >= 0 && event.type == m_xkbEventBase))
            m_keymapStale = true;
    }
}

void XTestEventSink::sync()
{
    XSync(m_display, False);
    flush();
}

void XTestEventSink::sendMotion(QPointF point)
{
    // The pixel that contains the point; the server clamps to the screen.
    const double x = std::clamp(std::floor(point.x()), -1e6, 1e6);
    const double y = std::clamp(std::floor(point.y()), -1e6, 1e6);
    XTestFakeMotionEvent(m_display, -1, static_cast<int>(x), static_cast<int>(y), CurrentTime);
}

void XTestEventSink::sendButton(int button, bool down)
{
    static constexpr unsigned kXButtons[] = {Button1, Button3, Button2};
    XTestFakeButtonEvent(m_display, kXButtons[button], down ? True : False, CurrentTime);
}

void XTestEventSink::clickButton(unsigned button, int times)
{
    for (int i = 0; i < times; ++i) {
        XTestFakeButtonEvent(m_display, button, True, CurrentTime);
        XTestFakeButtonEvent(m_display, button, False, CurrentTime);
    }
}

void XTestEventSink::sendWheel(const WheelMotion& motion)
{
    clickButton(motion.vertical > 0 ? 4 : 5, std::abs(motion.vertical));
    clickButton(motion.horizontal > 0 ? 7 : 6, std::abs(motion.horizontal));
}

unsigned XTestEventSink::deviceKey(const keycodes::KeyEntry& key)
{
    return keycodeFor(key.keysym);
}

void XTestEventSink::sendKey(unsigned keycode, bool down)
{
    XTestFakeKeyEvent(m_display, keycode, down ? True : False, CurrentTime);
    if (SpareKey* spare = spareFor(keycode)) {
        spare->pressed = down;
        if (!down)
            scheduleRestore(*spare);
    }
}

void XTestEventSink::postUnicodeText(const char16_t* units, int length, std::uint64_t flags)
{
    if (!units || length <= 0)
        return;
    const QList<uint> codePoints = QStringView(units, std::min(length, 8)).toUcs4();
    m_modifiers.applyFlags(flags);
    for (uint codePoint : codePoints) {
        const std::uint32_t keysym = keycodes::keysymForCodePoint(codePoint);
        if (const unsigned keycode = keysym != 0 ? keycodeFor(keysym) : 0) {
            sendKey(keycode, true);
            sendKey(keycode, false);
        }
    }
    m_modifiers.settle(inputHeld());
    flush();
}

void XTestEventSink::loadKeymap()
{
    const int count = m_maxKeycode - m_minKeycode + 1;
    int perKeycode = 0;
    KeySym* syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(m_minKeycode), count,
                                       &perKeycode);
    m_keymap.assign(static_cast<std::size_t>(count), NoSymbol);
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
