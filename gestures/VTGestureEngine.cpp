#include "gestures/VTGestureEngine.h"

#include "base/NotificationCenter.h"
#include "touch/AxisMapping.h"
#include "touch/DisplaySelection.h"

#include <cmath>

VTGestureEngine::VTGestureEngine(EventSink& sink, Scheduler& scheduler, SettingsStore& settings,
                                 const DisplayServices& displays, NotificationCenter& notifications,
                                 double doubleClickInterval)
    : m_sink(sink),
      m_scheduler(scheduler),
      m_settings(settings),
      m_displays(displays),
      m_notifications(notifications),
      m_doubleClickInterval(doubleClickInterval),
      m_notificationSender(this)
{
}

VTGestureEngine::~VTGestureEngine()
{
    // Timers hold `this`; none may outlive the engine.
    cancelTimer(_pendingMouseTimer);
    cancelTimer(_deferredClickTimer);
    cancelTimer(_scrollReleaseTimer);
    cancelTimer(_inertiaTimer);
}

void VTGestureEngine::cancelTimer(Scheduler::TimerId& timer)
{
    if (timer != 0) {
        m_scheduler.cancel(timer);
        timer = 0;
    }
}

// --- Display mapping -------------------------------------------------------

QPointF VTGestureEngine::mapContact(const TouchContact& contact) const
{
    return ::mapContact(contact, _bounds);
}

void VTGestureEngine::updateDisplayBounds()
{
    _bounds = DisplaySelection::targetDisplayBounds(m_displays, m_settings.displaySelection());
}

void VTGestureEngine::letGoOfEverything()
{
    cancelPendingMouseDown();
    cancelTimer(_deferredClickTimer);
    releaseActiveButtonsAt(_lastPoint);
    cancelScrollRelease();
    _scrollActive = false;
    // Also on stop: a begun magnify gesture holds a modifier on the desktop
    // until it is ended.
    resetPinchState();
    stopInertia();
}

void VTGestureEngine::refreshDisplayMapping()
{
    letGoOfEverything();

    _lastPoint = QPointF(-1.0, -1.0);
    resetGroupGestureState();
    _lastScrollCenter = QPointF(0.0, 0.0);
    _scrollRemainderX = _scrollRemainderY = 0.0;
    _scrollVelocityX = _scrollVelocityY = 0.0;
    resetPinchState();

    updateDisplayBounds();

    // Contacts still on the screen were placed on the old display.
    _ignoreSingleTouchUntilAllUp = true;
    _suppressInputUntilAllContactsUp = true;
}

// --- Reset paths -----------------------------------------------------------

void VTGestureEngine::stop()
{
    letGoOfEverything();
    _ignoreSingleTouchUntilAllUp = false;
}

void VTGestureEngine::setCompatibilityTestMode(bool mode)
{
    if (mode == _compatibilityTestMode)
        return;
    letGoOfEverything();
    _keyboardActionInput = Input::None;
    _compatibilityTestMode = mode;
    // Leaving the mode: fingers resting on the screen act only after a lift.
    _suppressInputUntilAllContactsUp = !mode;
}

// --- State machine ---------------------------------------------------------

VTGestureEngine::Input VTGestureEngine::inputForContactKind(std::int64_t kind)
{
    switch (kind) {
    case ContactKindPen: return Input::Pen;
    case ContactKindEraser: return Input::Eraser;
    default: return Input::Finger1;
    }
}

bool VTGestureEngine::movedFrom(QPointF q) const
{
    return std::abs(q.x() - _lastPoint.x()) >= kMovementThreshold
        || std::abs(q.y() - _lastPoint.y()) >= kMovementThreshold;
}

QPointF VTGestureEngine::deltaFrom(QPointF q) const
{
    return _lastPoint.x() >= 0.0 ? q - _lastPoint : QPointF(0.0, 0.0);
}

void VTGestureEngine::handleContacts(const TouchContactList& frame)
{
    // A frame's warp and button events reach the desktop in one delivery.
    const EventFrame delivery(m_sink);
    const int n = std::max(0, std::min(frame.count, kMaxTouchSlots));

    if (_suppressInputUntilAllContactsUp) {
        if (n == 0) {
            _suppressInputUntilAllContactsUp = false;
            // The lift that ends the suppression ends the ignored sequence
            // too; otherwise the next single touch would be swallowed as well.
            _ignoreSingleTouchUntilAllUp = false;
        }
        return;
    }

    if (n == 0) {
        if (_pendingMouseDown)
            finishTap(); // a tap shorter than the delay still clicks
        releaseActiveButtonsAt(_lastPoint);
        // Every lift ends the sequence: the next group warps the pointer to
        // where it touches, starts its own pinch candidate and fires its
        // input's key action again, also after a scroll.
        resetGroupGestureState();
        resetPinchState();
        _keyboardActionInput = Input::None;
        if (_scrollActive) {
            scheduleScrollRelease();
            _ignoreSingleTouchUntilAllUp = false;
            return;
        }
        cancelScrollRelease();
        _scrollActive = false;
        if (_inertiaTimer == 0)
            stopInertia();
        _ignoreSingleTouchUntilAllUp = false;
        _scrollRemainderX = _scrollRemainderY = 0.0;
        return;
    }

    if (n == 1 && _ignoreSingleTouchUntilAllUp) {
        // The finger left over from a group neither moves nor clicks.
        if (_scrollActive)
            scheduleScrollRelease();
        resetGroupGestureState();
        if (!_pinchLocked)
            resetPinchState();
        return;
    }

    cancelScrollRelease();
    cancelInertiaTimer(); // a new touch stops a running inertia at once

    if (n >= 4) {
        QPointF sum(0.0, 0.0);
        for (int i = 0; i < n; ++i)
            sum += mapContact(frame.contacts[i]);
        const QPointF g = sum / double(n);
        beginGroupGestureWithContactCount(n, g);
        releaseActiveButtonsAt(g);
        _scrollActive = false;
        resetPinchState();
        _ignoreSingleTouchUntilAllUp = true;
        _lastPoint = g;
        return;
    }

    if (n == 2) {
        const QPointF p0 = mapContact(frame.contacts[0]);
        const QPointF p1 = mapContact(frame.contacts[1]);
        const QPointF g((p0.x() + p1.x()) * 0.5, (p0.y() + p1.y()) * 0.5);
        beginGroupGestureWithContactCount(2, g);
        _ignoreSingleTouchUntilAllUp = true;
        const MouseAction action = mouseActionForInput(Input::Finger2);
        if (action == MouseAction::ScrollAndPinch) {
            const QPointF d = p0 - p1;
            handleScrollAndPinchAtCenter(g, std::hypot(d.x(), d.y()), modifierFlagsForInput(Input::Finger2));
            return;
        }
        if (action == MouseAction::Scroll) {
            const std::uint64_t flags = modifierFlagsForInput(Input::Finger2);
            resetPinchState();
            handleScrollInput(Input::Finger2, g, flags);
            return;
        }
        _scrollActive = false;
        resetPinchState();
        handleMappedInput(Input::Finger2, g, movedFrom(g), deltaFrom(g));
        return;
    }

    if (n == 3) {
        const QPointF p0 = mapContact(frame.contacts[0]);
        const QPointF p1 = mapContact(frame.contacts[1]);
        const QPointF p2 = mapContact(frame.contacts[2]);
        const QPointF g((p0.x() + p1.x() + p2.x()) / 3.0, (p0.y() + p1.y() + p2.y()) / 3.0);
        beginGroupGestureWithContactCount(3, g);
        if (mouseActionForInput(Input::Finger3) != MouseAction::Scroll)
            _scrollActive = false;
        resetPinchState();
        _ignoreSingleTouchUntilAllUp = true;
        handleMappedInput(Input::Finger3, g, movedFrom(g), deltaFrom(g));
        return;
    }

    resetGroupGestureState();
    const QPointF p = mapContact(frame.contacts[0]);
    handleMappedInput(inputForContactKind(frame.contacts[0].kind), p, movedFrom(p), deltaFrom(p));
}

void VTGestureEngine::beginGroupGestureWithContactCount(int count, QPointF center)
{
    if (_activeGroupContactCount == count)
        return;
    _activeGroupContactCount = count;
    m_sink.warpCursor(center);
    _lastPoint = center;
}

void VTGestureEngine::handleMappedInput(Input input, QPointF at, bool moved, QPointF delta)
{
    Q_UNUSED(delta); // the steps work from absolute points
    const MouseAction action = mouseActionForInput(input);
    const std::uint64_t flags = modifierFlagsForInput(input);

    // Before any mouse event of the frame, so a key action is never overtaken.
    triggerKeyboardActionForInputIfNeeded(input);

    if (moved && action != MouseAction::Scroll && action != MouseAction::ScrollAndPinch)
        m_sink.warpCursor(at); // the cursor follows without mouse-moved events

    switch (action) {
    case MouseAction::None:
        releaseActiveButtonsAt(at);
        _scrollActive = false;
        _lastPoint = at;
        break;
    case MouseAction::Left: leftButtonStep(at, moved, flags); break;
    case MouseAction::Right: rightButtonStep(at, moved, flags); break;
    case MouseAction::Middle: middleButtonStep(at, moved, flags); break;
    case MouseAction::Scroll:
    case MouseAction::ScrollAndPinch: handleScrollInput(input, at, flags); break;
    default: _lastPoint = at; break; // a stored value outside the list
    }
}

// --- Settings, read at the moment of use -----------------------------------

MouseAction VTGestureEngine::mouseActionForInput(Input input) const
{
    return m_settings.mouseActionForInput(static_cast<InputType>(input));
}

KeyboardAction VTGestureEngine::keyboardActionForInput(Input input) const
{
    return m_settings.keyboardActionForInput(static_cast<InputType>(input));
}

std::uint64_t VTGestureEngine::modifierFlagsForInput(Input input) const
{
    return m_settings.modifierFlagsForInput(static_cast<InputType>(input));
}

bool VTGestureEngine::inertiaEnabledForInput(Input input) const
{
    return m_settings.inertiaEnabledForInput(static_cast<InputType>(input));
}
