#include "tests/app/AppHarness.h"

#include "base/Notifications.h"
#include "platform/linux/LogindSessionEvents.h"
#include "tests/support/DbusDaemon.h"
#include "tests/support/LogindDouble.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/AssertEventually.h"

#include <QDBusConnection>
#include <gtest/gtest.h>

using namespace apptest;

namespace {

// A private system bus; the test double of logind only where a test starts it.
class AppLogind : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString(); }
    QDBusConnection connect(const char* name) { return QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), name); }

    DbusDaemon bus{DbusDaemon::Type::System};
};

} // namespace

TEST_F(AppLogind, SleepWakeAndUserSwitchingWalk)
{
    LogindDouble logind(bus.address());
    ASSERT_TRUE(logind.isServing());
    ScopedEnv sessionId("XDG_SESSION_ID", LogindDouble::SessionId.toUtf8());
    LogindSessionEvents events(connect("app-system"));
    ASSERT_EQ(events.sessionPath(), LogindDouble::SessionPath);
    AppHarness app;
    app.completeSetup();
    app.sessionEvents = &events;
    app.launchAndAnswer();
    ASSERT_TRUE(app.bridge().running());
    // Touch runs: sleep waits for it.
    EXPECT_EQ(logind.inhibitCalls(), 1);
    ASSERT_EVENTUALLY(logind.lockHeld(), 5000);

    // Asleep mid-drag: the button and the delay lock are let go.
    app.devices.deliver(fingerReport(true, 100, 100));
    app.scheduler.advance(1);
    app.devices.deliver(fingerReport(true, 200, 100));
    ASSERT_TRUE(app.sinks.lines.join('\n').contains(QStringLiteral("left-dragged")));
    app.bridge().setCompatibilityTestMode(true);
    logind.prepareForSleep(true);
    ASSERT_EVENTUALLY(!app.bridge().running(), 5000);
    EXPECT_TRUE(app.sinks.lines.last().contains(QStringLiteral("left-up")));
    EXPECT_EQ(app.sinks.sink, nullptr);
    ASSERT_EVENTUALLY(!logind.lockHeld(), 5000);

    // Restarted 1.25 s after the wake, in the mode it slept in.
    logind.prepareForSleep(false);
    ASSERT_EVENTUALLY(app.delegate->wakeRestartPending(), 5000);
    app.scheduler.advance(1.2);
    EXPECT_FALSE(app.bridge().running());
    app.scheduler.advance(0.05);
    EXPECT_TRUE(app.bridge().compatibilityTestMode());
    EXPECT_EQ(app.devices.openCount, 2);
    ASSERT_EVENTUALLY(logind.lockHeld(), 5000);
    EXPECT_EQ(logind.inhibitCalls(), 2);

    // Another user takes the seat: nothing starts touch until the session
    // is ours again, in the mode asked for meanwhile.
    app.bridge().setCompatibilityTestMode(false);
    logind.setActive(false);
    ASSERT_EVENTUALLY(!app.bridge().running(), 5000);
    EXPECT_FALSE(app.devices.isOpen());
    EXPECT_EQ(app.sinks.sink, nullptr);
    app.center.post(VTNotification::CompatibilityTestModeDidChange, nullptr, {{QStringLiteral("enabled"), true}});
    app.delegate->workspaceDidWake();
    app.scheduler.advance(2);
    EXPECT_FALSE(app.devices.isOpen());
    logind.setActive(true);
    ASSERT_EVENTUALLY(app.bridge().running(), 5000);
    EXPECT_TRUE(app.bridge().compatibilityTestMode());

    // A wake without a sleep before it restarts cleanly, once.
    const int opened = app.devices.openCount;
    app.delegate->workspaceDidWake();
    app.delegate->workspaceDidWake();
    EXPECT_FALSE(app.bridge().running());
    app.scheduler.advance(2);
    EXPECT_TRUE(app.bridge().running());
    EXPECT_EQ(app.devices.openCount, opened + 1);

    // A second sleep cancels the pending restart: touch stays stopped, also
    // across a user switch.
    logind.prepareForSleep(true);
    ASSERT_EVENTUALLY(!app.bridge().running(), 5000);
    logind.prepareForSleep(false);
    ASSERT_EVENTUALLY(app.delegate->wakeRestartPending(), 5000);
    app.scheduler.advance(1);
    logind.prepareForSleep(true);
    ASSERT_EVENTUALLY(!app.delegate->wakeRestartPending(), 5000);
    logind.prepareForSleep(false);
    logind.setActive(false); // arrives after the wake: the wake was handled once it has
    ASSERT_EVENTUALLY(!events.sessionActive(), 5000);
    EXPECT_FALSE(app.delegate->wakeRestartPending());
    logind.setActive(true);
    ASSERT_EVENTUALLY(events.sessionActive(), 5000);
    app.scheduler.advance(5);
    EXPECT_FALSE(app.bridge().running());
    EXPECT_EQ(app.title("actionToggleTouch"), QStringLiteral("Start Touch"));
}

TEST_F(AppLogind, StartedOutsideAnySessionItFollowsTheUsersGraphicalSession)
{
    LogindDouble logind(bus.address());
    ASSERT_TRUE(logind.isServing());
    // An autostart entry run as a service of the user's systemd: no session
    // of its own and no XDG_SESSION_ID.
    logind.setCallerOutsideSessions(true);
    ScopedEnv noSessionId("XDG_SESSION_ID", QByteArray());
    LogindSessionEvents events(connect("outside"));
    EXPECT_EQ(events.sessionPath(), LogindDouble::SessionPath);

    std::vector<bool> changes;
    events.setHandlers({{}, {}, [&](bool active) { changes.push_back(active); }});
    logind.setActive(false);
    ASSERT_EVENTUALLY(!changes.empty(), 5000);
    EXPECT_EQ(changes, std::vector<bool>{false});
    EXPECT_FALSE(events.sessionActive());
}

TEST_F(AppLogind, WithoutLogindTheSessionIsActiveAndNothingIsHeld)
{
    LogindSessionEvents noLogind(connect("no-logind"));
    EXPECT_TRUE(noLogind.sessionActive());
    EXPECT_TRUE(noLogind.sessionPath().isEmpty());
    noLogind.setSleepDelayWanted(true);
    EXPECT_FALSE(noLogind.holdsSleepDelay());

    LogindSessionEvents noBus(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus")));
    EXPECT_TRUE(noBus.sessionActive());
    noBus.setSleepDelayWanted(true);
    EXPECT_FALSE(noBus.holdsSleepDelay());
}
