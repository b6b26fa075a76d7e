#pragma once
#include "app/EventSinkProvider.h"
#include "platform/linux/EventSinkFactory.h"

#include <memory>

class DisplayServices;
class Scheduler;
class UserDefaults;

// The desktop's sink as the "eventBackend" setting chooses it (XTest or
// uinput), made when touch starts and closed when it stops.
class DesktopEventSinkProvider final : public EventSinkProvider {
public:
    DesktopEventSinkProvider(const UserDefaults& defaults, Scheduler& scheduler, const DisplayServices& displays);
    ~DesktopEventSinkProvider() override;

    bool canPost() const override;
    EventSink* acquire(VTError* error) override;
    void release() override;

private:
    const UserDefaults& m_defaults;
    Scheduler& m_scheduler;
    const DisplayServices& m_displays;
    std::unique_ptr<EventSink> m_sink;
};
