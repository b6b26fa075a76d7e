#pragma once
#include "app/ActiveApplicationSource.h"
#include "app/CursorControl.h"
#include "app/EventSinkProvider.h"
#include "app/PermissionHelper.h"
#include "app/SessionEvents.h"
#include "app/TrayHost.h"
#include "gestures/TraceEventSink.h"

#include <QIcon>
#include <QList>

#include <memory>

// Test doubles of what the application shell needs from the desktop.

class FakeTrayHost final : public TrayHost {
public:
    bool available() const override { return m_present; }
    void setAvailabilityHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void show(const QIcon&, const QString& tip, QMenu* shownMenu) override
    {
        shown = true;
        toolTip = tip;
        menu = shownMenu;
    }
    void hide() override { shown = false; }

    // A tray appears or goes away.
    void setPresent(bool present)
    {
        m_present = present;
        if (m_handler)
            m_handler();
    }

    bool shown = false;
    QString toolTip;
    QMenu* menu = nullptr;

private:
    bool m_present = false;
    std::function<void()> m_handler;
};

class FakeSessionEvents final : public SessionEvents {
public:
    void setHandlers(Handlers h) override { handlers = std::move(h); }
    bool sessionActive() const override { return active; }
    void setSleepDelayWanted(bool wanted) override { sleepDelayHeld = wanted; }

    void sleep() { handlers.willSleep(); }
    void wake() { handlers.didWake(); }
    void setActive(bool value)
    {
        active = value;
        handlers.activeChanged(value);
    }

    Handlers handlers;
    bool active = true;
    bool sleepDelayHeld = false;
};

class FakeActiveApplicationSource final : public ActiveApplicationSource {
public:
    bool available() const override { return isAvailable; }
    QString unavailableReason() const override { return reason; }
    void setHandler(std::function<void(const ActiveApplication&)> h) override { handler = std::move(h); }
    void activate(const QString& name, const QString& identifier) { handler({name, identifier}); }

    bool isAvailable = true;
    QString reason;
    std::function<void(const ActiveApplication&)> handler;
};

// Counts hides like the X server: a show undoes one hide, extra shows do nothing.
class FakeCursorControl final : public CursorControl {
public:
    void hideCursor(DisplayServices::DisplayID) override { ++hides; }
    void showCursor(DisplayServices::DisplayID) override
    {
        if (hides > 0)
            --hides;
    }
    bool visible() const { return hides == 0; }

    int hides = 0;
};

class FakePermissionHelper final : public PermissionHelper {
public:
    void requestAccess(const QStringList& missing) override { requests.append(missing); }
    QList<QStringList> requests;
};

// Trace sinks, one per touch run; what every sink posted is kept.
class TraceEventSinkProvider final : public EventSinkProvider {
public:
    explicit TraceEventSinkProvider(Scheduler& scheduler) : m_scheduler(scheduler) {}

    bool canPost() const override { return postingAllowed; }
    EventSink* acquire(VTError* error) override
    {
        if (!postingAllowed) {
            if (error)
                *error = VTError::velotap(1, QStringLiteral("Velotap needs the Accessibility permission to post input events: test"));
            return nullptr;
        }
        if (!sink) {
            sink = std::make_unique<TraceEventSink>(m_scheduler);
            sink->setLineHandler([this](const QString& line) { lines << line; });
            ++made;
        }
        return sink.get();
    }
    void release() override { sink.reset(); }

    bool postingAllowed = true;
    std::unique_ptr<TraceEventSink> sink;
    int made = 0;
    QStringList lines;

private:
    Scheduler& m_scheduler;
};
