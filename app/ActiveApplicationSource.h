#pragma once
#include <QString>

#include <functional>

// The application the user works in: its display name and a stable
// identifier (the desktop entry id where one is known).
struct ActiveApplication {
    QString name;
    QString identifier;
};

class ActiveApplicationSource {
public:
    virtual ~ActiveApplicationSource() = default;
    // False where the desktop does not tell (Wayland); unavailableReason() says why.
    virtual bool available() const = 0;
    virtual QString unavailableReason() const = 0;
    // Called on the main thread each time another application becomes active.
    virtual void setHandler(std::function<void(const ActiveApplication&)> handler) = 0;
};

// Where no desktop says which application is active.
class NoActiveApplicationSource final : public ActiveApplicationSource {
public:
    explicit NoActiveApplicationSource(QString reason) : m_reason(std::move(reason)) {}
    bool available() const override { return false; }
    QString unavailableReason() const override { return m_reason; }
    void setHandler(std::function<void(const ActiveApplication&)>) override {}

private:
    QString m_reason;
};
