// Scrolling, the delayed scroll release, inertia and the two-finger pinch of
// the gesture engine.
#include "gestures/VTGestureEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Rounds half to even, as the wheel expects, and keeps the result inside
// what a wheel event can carry.
double wheelPixels(double remainder)
{
    constexpr double limit = std::numeric_limits<std::int32_t>::max();
    return std::clamp(std::nearbyint(remainder), -limit, limit);
}

} // namespace

// --- Scroll step -------------------------------------------------------------

void VTGestureEngine::beginScrollInput(Input input, QPointF at, std::uint64_t flags)
{
    _scrollActive = true;
    _scrollInertiaEnabled = inertiaEnabledForInput(input);
    _scrollFlags = flags;
    _scrollRemainderX = _scrollRemainderY = 0.0;
    _scrollVelocityX = _scrollVelocityY = 0.0;
    _lastScrollCenter = at;
    _lastScrollTime = m_scheduler.now();
    _lastPoint = at;
    _scrollInput = input;
}

void VTGestureEngine::handleScrollInput(Input input, QPointF at, std::uint64_t flags)
{
    releaseActiveButtonsAt(at);
    if (!(_scrollActive && _scrollFlags == flags && _scrollInput == input)) {
        beginScrollInput(input, at, flags); // the anchoring frame posts nothing
        return;
    }
    const QPointF d = at - _lastScrollCenter;
    if (std::hypot(d.x(), d.y()) >= kScrollMovementThreshold) {
        const double now = m_scheduler.now();
        const double dt = std::max(now - _lastScrollTime, kMinimumSampleInterval);
        const QPointF v = dt < kVelocityWindow ? d * kInertiaTick / dt : d;
        if (input == Input::Finger2) {
            _scrollVelocityX = v.x();
            _scrollVelocityY = v.y();
        } else {
            // A small reversal (a finger rolling back as it lifts) must not
            // flip the direction inertia will carry on in.
            if (!(std::abs(d.x()) < kReversalThreshold && _scrollVelocityX * v.x() < 0.0))
                _scrollVelocityX = v.x();
            if (!(std::abs(d.y()) < kReversalThreshold && _scrollVelocityY * v.y() < 0.0))
                _scrollVelocityY = v.y();
        }
        postScrollDeltaX(d.x(), d.y(), flags);
        _lastScrollTime = now;
    }
    // Movement below the threshold is dropped, not accumulated.
    _lastScrollCenter = at;
    _lastPoint = at;
}

void VTGestureEngine::postScrollDeltaX(double deltaX, double deltaY, std::uint64_t flags)
{
    const double sign = m_settings.naturalScroll() ? 1.0 : -1.0;
    const double scale = m_settings.scrollScale();
    _scrollRemainderX += scale * deltaX * sign;
    _scrollRemainderY += scale * deltaY * sign;
    if (!std::isfinite(_scrollRemainderX) || !std::isfinite(_scrollRemainderY)) {
        // A nonsensical scale must not poison every later scroll.
        _scrollRemainderX = _scrollRemainderY = 0.0;
        return;
    }
    const double wx = wheelPixels(_scrollRemainderX);
    const double wy = wheelPixels(_scrollRemainderY);
    if (wx == 0.0 && wy == 0.0)
        return;
    _scrollRemainderX -= wx;
    _scrollRemainderY -= wy;
    m_sink.postScrollWheel(static_cast<std::int32_t>(wy), static_cast<std::int32_t>(wx), flags);
}

// --- Release and inertia -----------------------------------------------------

void VTGestureEngine::scheduleScrollRelease()
{
    if (_scrollReleasePending)
        return;
    if (_scrollInput != Input::Finger2 && _scrollInput != Input::Finger3) {
        finishScrollRelease();
        return;
    }
    const double delay = m_settings.scrollReleaseDelay();
    if (delay > kDelayThreshold) {
        _scrollReleasePending = true;
        cancelTimer(_scrollReleaseTimer);
        _scrollReleaseTimer = m_scheduler.schedule(delay, [this] { finishScrollRelease(); });
        return;
    }
    finishScrollRelease();
}

void VTGestureEngine::finishScrollRelease()
{
    cancelTimer(_scrollReleaseTimer);
    _scrollReleasePending = false;
    if (_scrollActive && _scrollInertiaEnabled)
        startInertiaIfNeeded();
    _scrollActive = false;
    if (_inertiaTimer == 0)
        stopInertia();
}

void VTGestureEngine::cancelScrollRelease()
{
    cancelTimer(_scrollReleaseTimer);
    _scrollReleasePending = false;
}

void VTGestureEngine::startInertiaIfNeeded()
{
    if (!_scrollInertiaEnabled) {
        stopInertia();
        return;
    }
    const double boost = m_settings.inertiaBoost();
    const double vx = _scrollVelocityX * boost;
    const double vy = _scrollVelocityY * boost;
    if (std::abs(vx) < kInertiaStopSpeed && std::abs(vy) < kInertiaStopSpeed) {
        stopInertia();
        return;
    }
    _scrollVelocityX = vx;
    _scrollVelocityY = vy;
    cancelTimer(_inertiaTimer);
    _inertiaTimer = m_scheduler.scheduleRepeating(kInertiaTick, [this] { inertiaTick(); });
}

void VTGestureEngine::inertiaTick()
{
    const double decay = m_settings.inertiaDecay();
    _scrollVelocityX *= decay;
    _scrollVelocityY *= decay;
    // A decay of 1 or more (or not a number) would scroll forever.
    if (!(std::abs(_scrollVelocityX) >= kInertiaStopSpeed || std::abs(_scrollVelocityY) >= kInertiaStopSpeed)
        || !(decay < 1.0)) {
        stopInertia();
        return;
    }
    postScrollDeltaX(_scrollVelocityX, _scrollVelocityY, _scrollFlags);
}

void VTGestureEngine::cancelInertiaTimer()
{
    cancelTimer(_inertiaTimer); // the velocity is kept
}

void VTGestureEngine::stopInertia()
{
    cancelTimer(_inertiaTimer);
    _scrollVelocityX = _scrollVelocityY = 0.0;
    if (!_scrollActive) {
        _scrollFlags = 0;
        _scrollInertiaEnabled = false;
        _scrollInput = Input::None;
    }
}

// --- Pinch -------------------------------------------------------------------

void VTGestureEngine::handleScrollAndPinchAtCenter(QPointF center, double distance, std::uint64_t flags)
{
    releaseActiveButtonsAt(center);
    if (!_pinchCandidateActive) {
        _pinchCandidateActive = true;
        _pinchLocked = false;
        _pinchStartDistance = distance;
        _lastPinchDistance = distance;
    }
    if (!_pinchLocked && std::abs(distance - _pinchStartDistance) >= kPinchLockDistance) {
        _pinchLocked = true;
        _pinchGestureActive = true;
        m_sink.warpCursor(center);
        postMagnify(0.0, static_cast<int>(MagnifyPhase::Begin), center);
        cancelScrollRelease();
        _scrollActive = false;
        stopInertia();
    }
    if (!_pinchLocked) {
        handleScrollInput(Input::Finger2, center, flags);
        _lastPinchDistance = distance;
        return;
    }
    const double m = std::clamp((distance - _lastPinchDistance) / kPinchDivisor, -kMagnificationStepLimit,
                                kMagnificationStepLimit);
    postMagnify(m, static_cast<int>(MagnifyPhase::Change), center);
    _lastPinchDistance = distance;
    _lastPoint = center;
}

void VTGestureEngine::resetPinchState()
{
    if (_pinchGestureActive)
        postMagnify(0.0, static_cast<int>(MagnifyPhase::End), _lastPoint);
    _pinchCandidateActive = false;
    _pinchLocked = false;
    _pinchGestureActive = false;
    _pinchStartDistance = 0.0;
    _lastPinchDistance = 0.0;
}

void VTGestureEngine::postMagnify(double magnification, int phase, QPointF at)
{
    if (phase == static_cast<int>(MagnifyPhase::Change) && std::abs(magnification) < kSmallestMagnification)
        return;
    m_sink.postMagnify(magnification, phase, at);
}
