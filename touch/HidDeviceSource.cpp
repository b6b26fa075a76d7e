#include "touch/HidDeviceSource.h"

#include <algorithm>

HidDeviceSource::ObserverToken HidDeviceSource::addDevicesChangedObserver(std::function<void()> observer)
{
    const ObserverToken token = m_nextToken++;
    m_observers.emplace_back(token, std::move(observer));
    if (!std::exchange(m_watching, true))
        watchDevices();
    return token;
}

void HidDeviceSource::removeDevicesChangedObserver(ObserverToken token)
{
    std::erase_if(m_observers, [token](const auto& entry) { return entry.first == token; });
}

void HidDeviceSource::notifyDevicesChanged()
{
    // A copy: an observer may add or remove observers (a window closing).
    const auto observers = m_observers;
    for (const auto& [token, observer] : observers) {
        const bool stillThere = std::any_of(m_observers.begin(), m_observers.end(),
                                            [token = token](const auto& entry) { return entry.first == token; });
        if (stillThere)
            observer();
    }
}
