#include "tests/support/XEventRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <clocale>
#include <map>
#include <poll.h>

std::unique_ptr<XEventRecorder> XEventRecorder::open(const QByteArray& displayName, QString* error,
                                                     std::optional<QRect> managedGeometry)
{
    // Text in UTF-8 whatever the test's environment says.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    XSetLocaleModifiers("@im=none");
    Display* display = XOpenDisplay(displayName.constData());
    if (!display) {
        *error = QStringLiteral("cannot open display %1").arg(QString::fromLatin1(displayName));
        return nullptr;
    }
    std::unique_ptr<XEventRecorder> recorder(new XEventRecorder);
    recorder->m_display = display;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = managedGeometry ? False : True;
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask
        | KeyReleaseMask | StructureNotifyMask;
    const QRect area = managedGeometry ? *managedGeometry
                                       : QRect(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen));
    const Window window = XCreateWindow(display, RootWindow(display, screen), area.x(), area.y(),
                                        static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()), 0,
                                        CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWEventMask, &attributes);
    recorder->m_window = window;
    if (managedGeometry) {
        XStoreName(display, window, "Velotap test client");
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = area.x();
        hints.y = area.y();
        hints.width = area.width();
        hints.height = area.height();
        XSetWMNormalHints(display, window, &hints);
        XWMHints wmHints{};
        wmHints.flags = InputHint;
        wmHints.input = True;
        XSetWMHints(display, window, &wmHints);
    }
    XMapRaised(display, window);
    XFlush(display);
    XEvent event;
    QElapsedTimer clock;
    clock.start();
    while (!XCheckTypedWindowEvent(display, window, MapNotify, &event)) {
        if (clock.elapsed() > 5000) {
            *error = QStringLiteral("the test window was never mapped");
            return nullptr;
        }
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        poll(&p, 1, 10);
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);

    if (XIM im = XOpenIM(display, nullptr, nullptr, nullptr)) {
        recorder->m_inputMethod = im;
        recorder->m_inputContext = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                             XNClientWindow, window, XNFocusWindow, window, nullptr);
    }
    XSync(display, False);
    return recorder;
}

bool XEventRecorder::hasFocus() const
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    return focus == m_window;
}

XEventRecorder::~XEventRecorder()
{
    if (m_inputContext)
        XDestroyIC(static_cast<XIC>(m_inputContext));
    if (m_inputMethod)
        XCloseIM(static_cast<XIM>(m_inputMethod));
    XCloseDisplay(m_display);
}

namespace {

// What a key press types: through the input context when there is one
// (any Unicode character), else Latin-1.
QString textOf(XKeyEvent& key, XIC inputContext)
{
    char buffer[64];
    KeySym keysym = NoSymbol;
    if (!inputContext)
        return QString::fromLatin1(buffer, XLookupString(&key, buffer, sizeof buffer, &keysym, nullptr));
    Status status = 0;
    const int n = Xutf8LookupString(inputContext, &key, buffer, sizeof buffer, &keysym, &status);
    return status == XLookupChars || status == XLookupBoth ? QString::fromUtf8(buffer, n) : QString();
}

} // namespace

void XEventRecorder::readPending()
{
    using Kind = RecordedXEvent::Kind;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        switch (event.type) {
        case MappingNotify:
            XRefreshKeyboardMapping(&event.xmapping);
            break;
        case ButtonPress:
        case ButtonRelease: {
            const XButtonEvent& b = event.xbutton;
            m_events.push_back({b.type == ButtonPress ? Kind::ButtonDown : Kind::ButtonUp, b.x_root, b.y_root,
                                b.button, b.state, b.time, 0, {}});
            break;
        }
        case MotionNotify: {
            const XMotionEvent& m = event.xmotion;
            m_events.push_back({Kind::Motion, m.x_root, m.y_root, 0, m.state, m.time, 0, {}});
            break;
        }
        case KeyPress:
        case KeyRelease: {
            XKeyEvent& k = event.xkey;
            // The key's own symbol, whatever modifiers are down.
            m_events.push_back({k.type == KeyPress ? Kind::KeyDown : Kind::KeyUp, k.x_root, k.y_root, k.keycode,
                                k.state, k.time, static_cast<std::uint32_t>(XLookupKeysym(&k, 0)),
                                k.type == KeyPress ? textOf(k, static_cast<XIC>(m_inputContext)) : QString()});
            break;
        }
        default:
            break;
        }
    }
}

bool XEventRecorder::waitUntil(const std::function<bool(const XEventRecorder&)>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (true) {
        readPending();
        if (done(*this))
            return true;
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{ConnectionNumber(m_display), POLLIN, 0};
        poll(&p, 1, 5);
    }
}

void XEventRecorder::settle(int milliseconds)
{
    waitUntil([](const XEventRecorder&) { return false; }, milliseconds);
}

std::vector<RecordedXEvent> XEventRecorder::eventsOf(RecordedXEvent::Kind kind, unsigned detail) const
{
    std::vector<RecordedXEvent> result;
    for (const RecordedXEvent& event : m_events) {
        if (event.kind == kind && (detail == 0 || event.detail == detail))
            result.push_back(event);
    }
    return result;
}

std::vector<unsigned> XEventRecorder::buttonsPressed() const
{
    std::vector<unsigned> buttons;
    for (const RecordedXEvent& event : eventsOf(RecordedXEvent::ButtonDown))
        buttons.push_back(event.detail);
    return buttons;
}

std::vector<std::uint32_t> XEventRecorder::keysymsPressed() const
{
    std::vector<std::uint32_t> keysyms;
    for (const RecordedXEvent& event : eventsOf(RecordedXEvent::KeyDown))
        keysyms.push_back(event.keysym);
    return keysyms;
}

bool XEventRecorder::nothingHeld() const
{
    std::map<std::pair<bool, unsigned>, int> down;
    for (const RecordedXEvent& e : m_events) {
        const bool key = e.kind == RecordedXEvent::KeyDown || e.kind == RecordedXEvent::KeyUp;
        if (e.kind == RecordedXEvent::KeyDown || e.kind == RecordedXEvent::ButtonDown)
            ++down[{key, e.detail}];
        else if (e.kind == RecordedXEvent::KeyUp || e.kind == RecordedXEvent::ButtonUp)
            --down[{key, e.detail}];
    }
    return std::all_of(down.begin(), down.end(), [](const auto& entry) { return entry.second == 0; });
}

QString XEventRecorder::typedText() const
{
    QString text;
    for (const RecordedXEvent& event : eventsOf(RecordedXEvent::KeyDown))
        text += event.text;
    return text;
}
