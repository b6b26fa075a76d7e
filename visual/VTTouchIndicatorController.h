#pragma once
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"

#include <QRectF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DisplayServices;
class QScreen;
class QWidget;
class Scheduler;
class SettingsStore;
class VTTouchIndicatorView;

// Shows every touch on the target display when "showTouchIndicators" is on:
// a window over the whole display, above other windows, that every click
// passes through and that never takes the focus. It hides while a
// compatibility check runs. Main thread only.
class VTTouchIndicatorController {
public:
    struct Environment {
        SettingsStore& settings;
        NotificationCenter& notifications;
        const DisplayServices& displays;
        Scheduler& scheduler;
        // Whether windows can be see-through (a compositor runs); unset means yes.
        std::function<bool()> compositing;
    };

    explicit VTTouchIndicatorController(const Environment& environment);
    ~VTTouchIndicatorController();
    VTTouchIndicatorController(const VTTouchIndicatorController&) = delete;
    VTTouchIndicatorController& operator=(const VTTouchIndicatorController&) = delete;

    QWidget* window() const;
    VTTouchIndicatorView& view() const { return *_view; }
    bool compatibilityTestActive() const { return _compatibilityTestActive; }

    QRectF targetBounds() const;
    QScreen* targetScreen() const;
    void updateWindowFrame();
    void updateVisibility();

    void touchReport(const Notification& notification);
    void settingChanged();
    void displayChanged();
    void compatibilityModeChanged(const Notification& notification);

private:
    bool indicatorsWanted() const;
    void followScreens();
    void followFrames(bool follow);

    Environment m_env;
    std::unique_ptr<VTTouchIndicatorView> _view; // the overlay window itself
    bool _compatibilityTestActive = false;
    std::vector<ScopedObserver> m_observers;
    // Only while indicators are shown: a listener makes touch build every
    // frame's contact dictionaries. Frames, not reports: the overlay needs
    // no report's debug text, and a report of another ID is no touch.
    std::optional<ScopedObserver> m_frames;
    UserDefaults::ObserverToken m_externalChanges = 0;
};
