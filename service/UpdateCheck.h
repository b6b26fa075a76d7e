#pragma once

class AppPolicy;

// "Check for Updates": compares this version with the latest one the
// current policy announces and offers its download. Asks the service
// nothing itself; a newer answer needs a relaunch.
class UpdateCheck {
public:
    explicit UpdateCheck(AppPolicy& policy) : m_policy(policy) {}
    void checkForUpdates();

private:
    AppPolicy& m_policy;
};
