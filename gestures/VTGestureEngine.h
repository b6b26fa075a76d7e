#pragma once
#include "base/Scheduler.h"
#include "gestures/EventSink.h"
#include "settings/SettingsStore.h"
#include "touch/DisplayServices.h"
#include "touch/TouchTypes.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <limits>

class NotificationCenter;

// The event side of the touch bridge: turns every decoded contact frame into
// synthetic clicks, drags, scrolls with inertia, magnify gestures and key
// actions. It is driven only by handleContacts() and the reset paths the
// bridge forwards; its timers run on the injected Scheduler and every event
// leaves through the EventSink. Settings are read at the moment of use, so a
// change applies on the next frame. Main thread only.
class VTGestureEngine {
public:
    // The five configurable inputs, in settings order; None = no input.
    enum class Input : int { None = -1, Finger1 = 0, Finger2, Finger3, Pen, Eraser };

    // doubleClickInterval: the desktop's double-click time in seconds
    // (QStyleHints::mouseDoubleClickInterval() / 1000.0 in the application).
    VTGestureEngine(EventSink& sink, Scheduler& scheduler, SettingsStore& settings, const DisplayServices& displays,
                    NotificationCenter& notifications, double doubleClickInterval);
    ~VTGestureEngine();
    VTGestureEngine(const VTGestureEngine&) = delete;
    VTGestureEngine& operator=(const VTGestureEngine&) = delete;

    // The object notifications name as their sender (the bridge); the engine
    // itself until set.
    void setNotificationSender(const void* sender) { m_notificationSender = sender; }

    // --- Entry and reset paths forwarded by the bridge --------------------

    // One call per decoded report (skip it while the compatibility test mode
    // is on; compatibilityTestMode() says so).
    void handleContacts(const TouchContactList& frame);

    // Reads the target display's bounds without touching gesture state; the
    // bridge calls it when touch starts.
    void updateDisplayBounds();
    // Lets go of everything, re-reads the target display and ignores the
    // contacts still down until all are lifted. The bridge shows "Display
    // updated" afterwards when running.
    void refreshDisplayMapping();
    // The gesture half of the bridge's stop: nothing stays pressed, no scroll
    // or inertia continues.
    void stop();
    // No effect when unchanged; otherwise lets go of everything and, when
    // leaving the mode, ignores contacts still down until all are lifted.
    void setCompatibilityTestMode(bool mode);
    bool compatibilityTestMode() const { return _compatibilityTestMode; }

    QRectF bounds() const { return _bounds; }
    // A contact's raw position on the target display (the last read bounds).
    QPointF mapContact(const TouchContact& contact) const;

    // --- Gesture state machine --------------------------------------------

    void handleMappedInput(Input input, QPointF at, bool moved, QPointF delta);
    void beginGroupGestureWithContactCount(int count, QPointF center);
    void resetGroupGestureState() { _activeGroupContactCount = 0; }
    static Input inputForContactKind(std::int64_t kind);

    // --- Pointer ------------------------------------------------------------

    std::int64_t beginLeftClickCountAtPoint(QPointF point);
    void finishLeftClickAtPoint(QPointF point, bool dragged);
    void scheduleMouseDownAt(QPointF point, std::uint64_t flags);
    void firePendingMouseDown();
    void cancelPendingMouseDown();
    // The lift of a tap whose press is still pending: fires it now, or as
    // soon as the last key action is old enough.
    void finishTap();
    void releaseMouseIfNeededAt(QPointF point);
    void releaseRightMouseIfNeededAt(QPointF point);
    void releaseMiddleMouseIfNeededAt(QPointF point);
    void releaseActiveButtonsAt(QPointF point);

    // Left button events (types 1, 2, 6) with a click state of at least 1.
    void postMouse(MouseEventType type, QPointF at, std::uint64_t flags, std::int64_t clickCount);
    void postMouse(MouseEventType type, QPointF at, std::uint64_t flags) { postMouse(type, at, flags, 1); }
    void postMouse(MouseEventType type, QPointF at) { postMouse(type, at, 0, 1); }
    void postRightMouse(MouseEventType type, QPointF at, std::uint64_t flags = 0);
    void postMiddleMouse(MouseEventType type, QPointF at, std::uint64_t flags = 0);

    // --- Scroll, pinch and inertia ----------------------------------------

    void beginScrollInput(Input input, QPointF at, std::uint64_t flags);
    void handleScrollInput(Input input, QPointF at, std::uint64_t flags);
    void handleScrollAndPinchAtCenter(QPointF center, double distance, std::uint64_t flags);
    void postScrollDeltaX(double deltaX, double deltaY, std::uint64_t flags);
    void postMagnify(double magnification, int phase, QPointF at);
    void scheduleScrollRelease();
    void finishScrollRelease();
    void cancelScrollRelease();
    void startInertiaIfNeeded();
    void inertiaTick();
    void cancelInertiaTimer();
    void stopInertia();
    void resetPinchState();

    // --- Keyboard actions --------------------------------------------------

    void triggerKeyboardActionForInputIfNeeded(Input input);
    double keyboardActionMouseDelayRemaining() const;
    void postKeyComboForInput(Input input);
    void openMissionControl();
    void openScreenshot();
    // A press and a release.
    void postKeyCode(std::uint16_t keyCode, std::uint64_t flags);
    void postKeyCode(std::uint16_t keyCode, bool down, std::uint64_t flags);

    // --- State, read by tests and the bridge -------------------------------

    bool scrollActive() const { return _scrollActive; }
    bool pinchLocked() const { return _pinchLocked; }
    bool inertiaRunning() const { return _inertiaTimer != 0; }
    bool pendingMouseDown() const { return _pendingMouseDown; }
    bool anyButtonDown() const { return _mouseDown || _rightMouseDown || _middleMouseDown; }
    QPointF lastPoint() const { return _lastPoint; }
    Input keyboardActionInput() const { return _keyboardActionInput; }

    static constexpr double kMovementThreshold = 1.0;
    static constexpr double kDoubleClickDistance = 12.0;
    static constexpr double kDelayThreshold = 0.001;
    static constexpr double kScrollMovementThreshold = 0.5;
    static constexpr double kMinimumSampleInterval = 1.0 / 120.0;
    static constexpr double kVelocityWindow = 0.2;
    static constexpr double kReversalThreshold = 12.0;
    static constexpr double kInertiaStopSpeed = 0.35;
    static constexpr double kInertiaTick = 1.0 / 60.0;
    static constexpr double kPinchLockDistance = 18.0;
    static constexpr double kPinchDivisor = 90.0;
    static constexpr double kMagnificationStepLimit = 0.08;
    static constexpr double kSmallestMagnification = 0.0001;
    static constexpr double kKeyboardActionMouseDelay = 0.05;

private:
    EventSink& m_sink;
    Scheduler& m_scheduler;
    SettingsStore& m_settings;
    const DisplayServices& m_displays;
    NotificationCenter& m_notifications;
    double m_doubleClickInterval;
    const void* m_notificationSender;

    // Frame and mode state.
    QRectF _bounds;
    bool _compatibilityTestMode = false;
    bool _suppressInputUntilAllContactsUp = false;
    bool _ignoreSingleTouchUntilAllUp = false;
    int _activeGroupContactCount = 0;
    QPointF _lastPoint{-1.0, -1.0};

    // Pointer.
    bool _mouseDown = false;
    bool _rightMouseDown = false;
    bool _middleMouseDown = false;
    bool _pendingMouseDown = false;
    // The pending press was scheduled by a group input, which keeps it alive
    // in a group sequence.
    bool _pendingMouseFromGroup = false;
    bool _leftMouseDragged = false;
    QPointF _pendingMousePoint{0.0, 0.0};
    std::uint64_t _leftMouseFlags = 0;
    std::uint64_t _rightMouseFlags = 0;
    std::uint64_t _middleMouseFlags = 0;
    std::uint64_t _pendingMouseFlags = 0;
    Scheduler::TimerId _pendingMouseTimer = 0;
    // A tap's click held back after a key action.
    Scheduler::TimerId _deferredClickTimer = 0;
    double _lastLeftClickTime = 0.0;
    QPointF _lastLeftClickPoint{-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max()};
    std::int64_t _lastLeftClickCount = 0;
    std::int64_t _activeLeftClickCount = 0;

    // Scroll and inertia.
    bool _scrollActive = false;
    Input _scrollInput = Input::None;
    std::uint64_t _scrollFlags = 0;
    bool _scrollInertiaEnabled = false;
    QPointF _lastScrollCenter{0.0, 0.0};
    double _lastScrollTime = 0.0;
    double _scrollRemainderX = 0.0;
    double _scrollRemainderY = 0.0;
    double _scrollVelocityX = 0.0;
    double _scrollVelocityY = 0.0;
    Scheduler::TimerId _inertiaTimer = 0;
    bool _scrollReleasePending = false;
    Scheduler::TimerId _scrollReleaseTimer = 0;

    // Pinch.
    bool _pinchCandidateActive = false;
    bool _pinchLocked = false;
    bool _pinchGestureActive = false;
    double _pinchStartDistance = 0.0;
    double _lastPinchDistance = 0.0;

    // Keyboard actions.
    Input _keyboardActionInput = Input::None;
    double _lastKeyboardActionTime = 0.0;

    void leftButtonStep(QPointF p, bool moved, std::uint64_t flags);
    void rightButtonStep(QPointF p, bool moved, std::uint64_t flags);
    void middleButtonStep(QPointF p, bool moved, std::uint64_t flags);
    void pressLeftNow(QPointF p, std::uint64_t flags);
    void letGoOfEverything();
    void cancelTimer(Scheduler::TimerId& timer);
    bool movedFrom(QPointF q) const;
    QPointF deltaFrom(QPointF q) const;
    void runSystemAction(const QString& settingKey, const QString& fallback);

    // Settings, read at the moment of use.
    MouseAction mouseActionForInput(Input input) const;
    KeyboardAction keyboardActionForInput(Input input) const;
    std::uint64_t modifierFlagsForInput(Input input) const;
    bool inertiaEnabledForInput(Input input) const;
};
