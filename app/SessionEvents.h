#pragma once
#include <functional>

// What the login session tells about the machine and the seat: sleep and
// wake, and whether this session is the one in front of the user (another
// user may switch to theirs).
class SessionEvents {
public:
    struct Handlers {
        std::function<void()> willSleep;
        std::function<void()> didWake;
        std::function<void(bool active)> activeChanged;
    };

    virtual ~SessionEvents() = default;
    virtual void setHandlers(Handlers handlers) = 0;
    // True when nothing is known about the session.
    virtual bool sessionActive() const = 0;
    // While wanted, sleep waits (briefly) until the program lets go, so
    // touch stops cleanly before the machine sleeps.
    virtual void setSleepDelayWanted(bool wanted) = 0;
};
