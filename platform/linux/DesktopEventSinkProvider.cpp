#include "platform/linux/DesktopEventSinkProvider.h"

#include "base/UserDefaults.h"

DesktopEventSinkProvider::DesktopEventSinkProvider(const UserDefaults& defaults, Scheduler& scheduler,
                                                   const DisplayServices& displays)
    : m_defaults(defaults), m_scheduler(scheduler), m_displays(displays)
{
}

DesktopEventSinkProvider::~DesktopEventSinkProvider() = default;

bool DesktopEventSinkProvider::canPost() const
{
    if (m_sink)
        return true;
    return EventSinkFactory::chooseBackend(m_defaults.stringValue(EventSinkFactory::SettingKey),
                                           EventSinkFactory::detectEnvironment())
        .backend.has_value();
}

EventSink* DesktopEventSinkProvider::acquire(VTError* error)
{
    if (m_sink)
        return m_sink.get();
    EventSinkFactory::Result result = EventSinkFactory::create(m_defaults, m_scheduler, m_displays);
    if (!result.sink) {
        if (error && result.error)
            *error = *result.error;
        return nullptr;
    }
    m_sink = std::move(result.sink);
    return m_sink.get();
}

void DesktopEventSinkProvider::release()
{
    m_sink.reset();
}
