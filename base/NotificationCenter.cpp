#include "base/NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, Callback callback)
{
    const Token token = m_nextToken++;
    m_observers.push_back(std::make_shared<Observer>(Observer{token, name, std::move(callback)}));
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    for (auto& observer : m_observers) {
        if (observer->token == token)
            observer->removed = true;
    }
    if (m_postDepth == 0)
        compact();
}

bool NotificationCenter::hasObservers(const QString& name) const
{
    return std::any_of(m_observers.begin(), m_observers.end(),
                       [&](const auto& o) { return !o->removed && o->name == name; });
}

void NotificationCenter::post(const QString& name, const void* sender, const QVariantMap& userInfo)
{
    // Walk by index over the observers present when the post began: the vector
    // may grow (and reallocate) while callbacks run, and removal only marks.
    const Notification notification{name, sender, userInfo};
    const std::size_t end = m_observers.size();
    ++m_postDepth;
    for (std::size_t i = 0; i < end; ++i) {
        std::shared_ptr<Observer> observer = m_observers[i];
        if (!observer->removed && observer->name == name)
            observer->callback(notification);
    }
    if (--m_postDepth == 0)
        compact();
}

void NotificationCenter::compact()
{
    std::erase_if(m_observers, [](const auto& o) { return o->removed; });
}
