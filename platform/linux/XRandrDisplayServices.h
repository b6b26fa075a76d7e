#pragma once
#include "touch/DisplayServices.h"

#include <QObject>
#include <QString>

#include <memory>

struct _XDisplay;
class QSocketNotifier;

// Monitors of an X screen through XRandR. A monitor's ID is derived from its
// name ("HDMI-1", or a name given with xrandr --setmonitor), so it survives
// restarts and a stored "display:<id>" keeps finding it. Bounds are
// root-window pixels; the primary monitor is the main display.
class XRandrDisplayServices final : public QObject, public DisplayServices {
    Q_OBJECT
public:
    // Connects to displayName (nullptr: $DISPLAY). Null with *error set when
    // there is no display or it lacks RandR 1.5.
    static std::unique_ptr<XRandrDisplayServices> open(QString* error,
                                                       const char* displayName = nullptr);
    ~XRandrDisplayServices() override;

    std::vector<DisplayID> activeDisplays() const override;
    DisplayID mainDisplay() const override;
    QRectF displayBounds(DisplayID id) const override;
    QSize displayPixelSize(DisplayID id) const override;

    // The stable ID of a monitor name: 32-bit FNV-1a, never 0.
    static DisplayID idForMonitorName(const QString& name);
    QString monitorName(DisplayID id) const;

signals:
    // The arrangement changed (monitor added, removed, moved, resized).
    void displaysChanged();

private:
    struct Monitor {
        DisplayID id;
        QString name;
        QRect bounds;
        bool primary;
    };

    explicit XRandrDisplayServices(_XDisplay* display, int eventBase);
    std::vector<Monitor> monitors() const;
    void readEvents();
    void drainLater() const;

    _XDisplay* m_display;
    int m_eventBase;
    QSocketNotifier* m_notifier = nullptr;
    mutable bool m_drainQueued = false;
};
