#include "tests/support/XEventRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <clocale>
#include <map>
#include <poll.h>

std::unique_ptr<XEventRecorder> XEventRecorder::open(const QByteArray& displayName, QString* error)
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
    attributes.override_redirect = True;
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask
        | KeyReleaseMask | StructureNotifyMask;
    const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                                        static_cast<unsigned>(DisplayWidth(display, screen)),
                                        static_cast<unsigned>(DisplayHeight(display, screen)), 0,
                                        CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWEventMask, &attributes);
    recorder->m_window = window;
    XMapRaised(display, window);
    XEvent event;
    do {
        XNextEvent(display, &event);
    } while (event.type != MapNotify);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);

    if (XIM im = XOpenIM(display, nullptr, nullptr, nullptr)) {
        recorder->m_inputMethod = im;
        recorder->m_inputContext = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                             XNClientWindow, window, XNFocusWindow, window, nullptr);
    }
    XSync(display, False);
    return recorder;
}

XEventRecorder::~XEventRecorder()
{
    if (m_inputContext)
        XDestroyIC(static_cast<XIC>(m_inputContext));
    if (m_inputMethod)
        XCloseIM(static_cast<XIM>(m_inputMethod));
    XCloseDisplay(m_display);
}

void XEventRecorder::readPending()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        RecordedXEvent record;
        record.kind = RecordedXEvent::Motion;
        switch (event.type) {
        case ButtonPress:
        case ButtonRelease:
            record.kind = event.type == ButtonPress ? RecordedXEvent::ButtonDown
                                                    : RecordedXEvent::ButtonUp;
            record.x = event.xbutton.x_root;
            record.y = event.xbutton.y_root;
            record.detail = event.xbutton.button;
            record.state = event.xbutton.state;
            record.time = event.xbutton.time;
            break;
        case MotionNotify:
            record.x = event.xmotion.x_root;
            record.y = event.xmotion.y_root;
            record.state = event.xmotion.state;
            record.time = event.xmotion.time;
            break;
        case KeyPress:
        case KeyRelease: {
            record.kind = event.type == KeyPress ? RecordedXEvent::KeyDown : RecordedXEvent::KeyUp;
            record.x = event.xkey.x_root;
            record.y = event.xkey.y_root;
            record.detail = event.xkey.keycode;
            record.state = event.xkey.state;
            record.time = event.xkey.time;
            char buffer[64];
            KeySym keysym = NoSymbol;
            if (event.type == KeyPress && m_inputContext) {
                Status status = 0;
                const int n = Xutf8LookupString(static_cast<XIC>(m_inputContext), &event.xkey, buffer,
                                                sizeof buffer, &keysym, &status);
                if (status == XLookupChars || status == XLookupBoth)
                    record.text = QString::fromUtf8(buffer, n);
            } else {
                const int n = XLookupString(&event.xkey, buffer, sizeof buffer, &keysym, nullptr);
                if (event.type == KeyPress)
                    record.text = QString::fromLatin1(buffer, n);
            }
            // The key's own symbol, whatever modifiers are down.
            record.keysym = static_cast<std::uint32_t>(XLookupKeysym(&event.xkey, 0));
            break;
        }
        default:
            continue;
        }
        m_events.push_back(record);
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
