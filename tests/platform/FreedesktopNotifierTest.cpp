#include "platform/linux/FreedesktopNotifier.h"

#include "tests/support/DbusDaemon.h"
#include "tests/support/NotificationServerDouble.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

namespace {

// A named connection of this process to a test bus, closed at the end; the
// address in the name keeps connections to two daemons apart.
class BusPeer {
public:
    BusPeer(const DbusDaemon& bus, const QString& name)
        : m_name(name + QLatin1Char('@') + QString::fromUtf8(bus.address())),
          m_connection(QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), m_name))
    {
    }
    ~BusPeer() { QDBusConnection::disconnectFromBus(m_name); }
    const QDBusConnection& connection() const { return m_connection; }

private:
    QString m_name;
    QDBusConnection m_connection;
};

struct Answer {
    bool done = false;
    UserNotifier::Authorization status = UserNotifier::Authorization::NotDetermined;
    std::optional<VTError> error;
};

Answer authorize(FreedesktopNotifier& notifier)
{
    Answer answer;
    notifier.requestAuthorization([&](UserNotifier::Authorization status, const std::optional<VTError>& error) {
        answer = {true, status, error};
    });
    EXPECT_TRUE(waitUntil([&] { return answer.done; }));
    return answer;
}

std::optional<VTError> deliver(FreedesktopNotifier& notifier, const UserNotifier::Content& content,
                               std::function<void()> activated)
{
    bool done = false;
    std::optional<VTError> error;
    notifier.deliver(content, [&](const std::optional<VTError>& e) {
        error = e;
        done = true;
    }, std::move(activated));
    EXPECT_TRUE(waitUntil([&] { return done; }));
    return error;
}

class FreedesktopNotifierTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString(); }

    DbusDaemon bus;
    BusPeer serverPeer{bus, "server"};
    BusPeer programPeer{bus, "program"};
    NotificationServerDouble server{serverPeer.connection()};
    FreedesktopNotifier notifier{programPeer.connection()};
};

TEST_F(FreedesktopNotifierTest, DeliversAndReportsTheClick)
{
    ASSERT_TRUE(server.isRegistered());
    const Answer answer = authorize(notifier);
    EXPECT_EQ(answer.status, UserNotifier::Authorization::Authorized);
    EXPECT_FALSE(answer.error);

    int clicks = 0;
    EXPECT_FALSE(deliver(notifier, {"Tip", "Try pen mode", "Open"}, [&] { ++clicks; }));
    EXPECT_FALSE(deliver(notifier, {"Plain", "", ""}, [&] { clicks += 100; }));
    ASSERT_EQ(server.calls.size(), 2);
    const NotificationServerDouble::Call& call = server.calls.first();
    EXPECT_EQ(call.applicationName, "Velotap");
    EXPECT_EQ(call.summary, "Tip");
    EXPECT_EQ(call.body, "Try pen mode");
    EXPECT_EQ(call.actions, QStringList({"default", "Open"}));
    EXPECT_EQ(call.hints.value("desktop-entry").toString(), "velotap");
    EXPECT_TRUE(server.calls.last().actions.isEmpty());

    // A click reaches the program once; a notification without action never does.
    server.invokeAction(server.calls.last().id, "default");
    server.invokeAction(call.id, "default");
    ASSERT_TRUE(waitUntil([&] { return clicks > 0; }));
    server.invokeAction(call.id, "default");
    EXPECT_FALSE(deliver(notifier, {"Later", "", "Open"}, [&] { clicks += 10; }));
    server.closeNotification(server.calls.last().id);
    server.invokeAction(server.calls.last().id, "default");
    // Round trips after the signals so that any stray delivery has arrived.
    authorize(notifier);
    EXPECT_EQ(clicks, 1);
}

// The service's text arrives as written: a server that reads markup in
// bodies gets it escaped, so no tag or link of the text comes alive.
TEST_F(FreedesktopNotifierTest, BodiesAreEscapedOnlyForServersThatReadMarkup)
{
    const UserNotifier::Content content{"Fish & <b>chips</b>", "Fish & <a href=\"file:///etc\">chips</a>", ""};
    authorize(notifier);
    EXPECT_FALSE(deliver(notifier, content, {}));

    server.capabilities << "body-markup" << "body-hyperlinks";
    authorize(notifier);
    EXPECT_FALSE(deliver(notifier, content, {}));

    ASSERT_EQ(server.calls.size(), 2);
    EXPECT_EQ(server.calls[0].body, content.body);
    EXPECT_EQ(server.calls[1].body, "Fish &amp; &lt;a href=&quot;file:///etc&quot;&gt;chips&lt;/a&gt;");
    EXPECT_EQ(server.calls[1].summary, content.title) << "summaries are never markup";
}

TEST_F(FreedesktopNotifierTest, AbsentOrFailingServerIsAnError)
{
    server.failNotifyWith = "org.freedesktop.Notifications.Error.Busy";
    const std::optional<VTError> refused = deliver(notifier, {"Tip", "", ""}, {});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->domain, "org.freedesktop.Notifications.Error.Busy");

    DbusDaemon empty;
    BusPeer lonely(empty, "program");
    FreedesktopNotifier alone(lonely.connection());
    const Answer answer = authorize(alone);
    EXPECT_NE(answer.status, UserNotifier::Authorization::Authorized);
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.error->domain, "org.freedesktop.DBus.Error.ServiceUnknown");
}

} // namespace
