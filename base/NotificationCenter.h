#pragma once
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct Notification {
    QString name;
    const void* sender = nullptr;
    QVariantMap userInfo;
};

// Synchronous, main-thread notification centre. Observers are called in the
// order they were added; an observer removed during a post (even by another
// observer of the same post) is not called afterwards, and one added during a
// post is first called by the next post.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    static NotificationCenter& defaultCenter();

    Token addObserver(const QString& name, Callback callback);
    void removeObserver(Token token);
    bool hasObservers(const QString& name) const;
    void post(const QString& name, const void* sender = nullptr, const QVariantMap& userInfo = {});

private:
    struct Observer {
        Token token;
        QString name;
        Callback callback;
        bool removed = false;
    };
    std::vector<std::shared_ptr<Observer>> m_observers;
    Token m_nextToken = 1;
    int m_postDepth = 0;

    void compact();
};

// Removes its observer when it goes away.
class ScopedObserver {
public:
    ScopedObserver() = default;
    ScopedObserver(NotificationCenter& center, const QString& name, NotificationCenter::Callback callback)
        : m_center(&center), m_token(center.addObserver(name, std::move(callback))) {}
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;
    ScopedObserver(ScopedObserver&& other) noexcept { *this = std::move(other); }
    ScopedObserver& operator=(ScopedObserver&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_center = other.m_center;
            m_token = other.m_token;
            other.m_center = nullptr;
        }
        return *this;
    }
    ~ScopedObserver() { reset(); }
    void reset()
    {
        if (m_center)
            m_center->removeObserver(m_token);
        m_center = nullptr;
    }

private:
    NotificationCenter* m_center = nullptr;
    NotificationCenter::Token m_token = 0;
};
