#pragma once
#include "app/ActiveApplicationSource.h"
#include "platform/linux/DesktopEntries.h"

#include <QObject>

#include <memory>

struct _XDisplay;
class QSocketNotifier;

// The application of the window the window manager made active
// (_NET_ACTIVE_WINDOW on the root window), named by its desktop entry,
// else by its WM_CLASS. Windows of this process report ownIdentifier.
class X11ActiveApplicationSource final : public QObject, public ActiveApplicationSource {
    Q_OBJECT
public:
    // Null with *error set when the X display cannot be reached.
    static std::unique_ptr<X11ActiveApplicationSource> open(const QString& ownIdentifier, DesktopEntries entries,
                                                            QString* error, const char* displayName = nullptr);
    ~X11ActiveApplicationSource() override;

    bool available() const override { return true; }
    QString unavailableReason() const override { return {}; }
    void setHandler(std::function<void(const ActiveApplication&)> handler) override;

    // The application of the currently active window (empty when none).
    ActiveApplication current() const;

private:
    X11ActiveApplicationSource(_XDisplay* display, QString ownIdentifier, DesktopEntries entries);
    void readEvents();
    void drainLater() const;
    unsigned long activeWindow() const;
    ActiveApplication describe(unsigned long window) const;

    _XDisplay* m_display;
    QString m_ownIdentifier;
    DesktopEntries m_entries;
    unsigned long m_activeAtom = 0;
    QSocketNotifier* m_notifier = nullptr;
    std::function<void(const ActiveApplication&)> m_handler;
    unsigned long m_lastWindow = 0;
    mutable bool m_drainQueued = false;
};
