// Mouse buttons of the gesture engine: click counting, the delayed left
// press, the button steps and the releases every other path relies on.
#include "gestures/VTGestureEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

// --- Posting ---------------------------------------------------------------

void VTGestureEngine::postMouse(MouseEventType type, QPointF at, std::uint64_t flags, std::int64_t clickCount)
{
    m_sink.postMouseEvent(type, MouseButton::Left, at, flags, std::max<std::int64_t>(clickCount, 1));
}

void VTGestureEngine::postRightMouse(MouseEventType type, QPointF at, std::uint64_t flags)
{
    m_sink.postMouseEvent(type, MouseButton::Right, at, flags, 0);
}

void VTGestureEngine::postMiddleMouse(MouseEventType type, QPointF at, std::uint64_t flags)
{
    m_sink.postMouseEvent(type, MouseButton::Center, at, flags, 0);
}

// --- Click counting --------------------------------------------------------

std::int64_t VTGestureEngine::beginLeftClickCountAtPoint(QPointF point)
{
    const double now = m_scheduler.now();
    const double dx = point.x() - _lastLeftClickPoint.x();
    const double dy = point.y() - _lastLeftClickPoint.y();
    // With no last click the point sits at minus the largest double, and the
    // distance is infinite rather than a number.
    const double distance = std::hypot(dx, dy);
    std::int64_t count = 1;
    if (_lastLeftClickTime > 0.0 && now - _lastLeftClickTime <= m_doubleClickInterval
        && distance <= kDoubleClickDistance)
        count = std::min<std::int64_t>(_lastLeftClickCount + 1, 2);
    _activeLeftClickCount = count;
    return count;
}

void VTGestureEngine::finishLeftClickAtPoint(QPointF point, bool dragged)
{
    if (dragged) {
        // A drag never starts a double click.
        _lastLeftClickTime = 0.0;
        _lastLeftClickPoint = QPointF(-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max());
        _lastLeftClickCount = 0;
    } else {
        _lastLeftClickTime = m_scheduler.now();
        _lastLeftClickPoint = point;
        _lastLeftClickCount = _activeLeftClickCount >= 2 ? _activeLeftClickCount : 1;
    }
    _activeLeftClickCount = 0;
}

// --- The delayed left press ------------------------------------------------

void VTGestureEngine::pressLeftNow(QPointF p, std::uint64_t flags)
{
    const std::int64_t count = beginLeftClickCountAtPoint(p);
    postMouse(MouseEventType::LeftDown, p, flags, count);
    _leftMouseFlags = flags;
    _mouseDown = true;
    _leftMouseDragged = false;
    _pendingMouseFlags = 0;
}

void VTGestureEngine::scheduleMouseDownAt(QPointF point, std::uint64_t flags)
{
    _pendingMousePoint = point;
    _pendingMouseFlags = flags;
    // Whoever last moved the pending press owns it: a group input adopting a
    // single finger's press keeps it alive through the group.
    _pendingMouseFromGroup = _activeGroupContactCount >= 2;
    if (_pendingMouseDown || _mouseDown)
        return;
    const double delay = std::max(m_settings.touchDelay(), keyboardActionMouseDelayRemaining());
    if (delay > kDelayThreshold) {
        _pendingMouseDown = true;
        cancelTimer(_pendingMouseTimer);
        _pendingMouseTimer = m_scheduler.schedule(delay, [this] { firePendingMouseDown(); });
        return;
    }
    pressLeftNow(point, flags);
}

void VTGestureEngine::firePendingMouseDown()
{
    if (_pendingMouseTimer != 0) {
        // Called early by a lift: the timer must not fire a second time.
        m_scheduler.cancel(_pendingMouseTimer);
        _pendingMouseTimer = 0;
    }
    // A group sequence drops a single finger's press (a second finger came
    // down meanwhile) but keeps a press a group input asked for.
    const bool allowed = !_ignoreSingleTouchUntilAllUp || _pendingMouseFromGroup;
    if (_pendingMouseDown && !_mouseDown && allowed) {
        _pendingMouseDown = false;
        pressLeftNow(_pendingMousePoint, _pendingMouseFlags);
        return;
    }
    _pendingMouseDown = false;
    _pendingMouseFlags = 0;
}

void VTGestureEngine::finishTap()
{
    const double wait = keyboardActionMouseDelayRemaining();
    if (wait <= kDelayThreshold) {
        firePendingMouseDown();
        return;
    }
    // A key action fired a moment ago: the click waits until it is 50 ms
    // old, so it cannot overtake the key on the desktop.
    const bool allowed = !_ignoreSingleTouchUntilAllUp || _pendingMouseFromGroup;
    const QPointF pressAt = _pendingMousePoint;
    const QPointF releaseAt = _lastPoint;
    const std::uint64_t flags = _pendingMouseFlags;
    cancelPendingMouseDown();
    if (!allowed)
        return;
    cancelTimer(_deferredClickTimer);
    _deferredClickTimer = m_scheduler.schedule(wait, [this, pressAt, releaseAt, flags] {
        _deferredClickTimer = 0;
        if (_mouseDown)
            return;
        pressLeftNow(pressAt, flags);
        releaseMouseIfNeededAt(releaseAt);
    });
}

void VTGestureEngine::cancelPendingMouseDown()
{
    cancelTimer(_pendingMouseTimer);
    _pendingMouseDown = false;
    _pendingMouseFlags = 0;
}

// --- Releases ----------------------------------------------------------------

void VTGestureEngine::releaseMouseIfNeededAt(QPointF point)
{
    if (_pendingMouseDown)
        cancelPendingMouseDown();
    if (_mouseDown) {
        postMouse(MouseEventType::LeftUp, point, _leftMouseFlags, _activeLeftClickCount);
        finishLeftClickAtPoint(point, _leftMouseDragged);
        _mouseDown = false;
        _leftMouseDragged = false;
        _leftMouseFlags = 0;
    }
}

void VTGestureEngine::releaseRightMouseIfNeededAt(QPointF point)
{
    if (_rightMouseDown) {
        postRightMouse(MouseEventType::RightUp, point, _rightMouseFlags);
        _rightMouseDown = false;
        _rightMouseFlags = 0;
    }
}

void VTGestureEngine::releaseMiddleMouseIfNeededAt(QPointF point)
{
    if (_middleMouseDown) {
        postMiddleMouse(MouseEventType::OtherUp, point, _middleMouseFlags);
        _middleMouseDown = false;
        _middleMouseFlags = 0;
    }
}

void VTGestureEngine::releaseActiveButtonsAt(QPointF point)
{
    releaseMouseIfNeededAt(point);
    releaseRightMouseIfNeededAt(point);
    releaseMiddleMouseIfNeededAt(point);
}

// --- Button steps ------------------------------------------------------------

void VTGestureEngine::leftButtonStep(QPointF p, bool moved, std::uint64_t flags)
{
    _scrollActive = false;
    releaseRightMouseIfNeededAt(p);
    releaseMiddleMouseIfNeededAt(p);
    if (!_mouseDown) {
        scheduleMouseDownAt(p, flags);
        _lastPoint = p;
        return;
    }
    if (moved) {
        postMouse(MouseEventType::LeftDragged, p, _leftMouseFlags, _activeLeftClickCount);
        _leftMouseDragged = true;
    }
    _lastPoint = p;
}

void VTGestureEngine::rightButtonStep(QPointF p, bool moved, std::uint64_t flags)
{
    _scrollActive = false;
    releaseMouseIfNeededAt(p);
    releaseMiddleMouseIfNeededAt(p);
    if (!_rightMouseDown) {
        postRightMouse(MouseEventType::RightDown, p, flags);
        _rightMouseFlags = flags;
        _rightMouseDown = true;
    } else if (moved) {
        postRightMouse(MouseEventType::RightDragged, p, _rightMouseFlags);
    }
    _lastPoint = p;
}

void VTGestureEngine::middleButtonStep(QPointF p, bool moved, std::uint64_t flags)
{
    _scrollActive = false;
    releaseMouseIfNeededAt(p);
    releaseRightMouseIfNeededAt(p);
    if (!_middleMouseDown) {
        postMiddleMouse(MouseEventType::OtherDown, p, flags);
        _middleMouseFlags = flags;
        _middleMouseDown = true;
    } else if (moved) {
        postMiddleMouse(MouseEventType::OtherDragged, p, _middleMouseFlags);
    }
    _lastPoint = p;
}
