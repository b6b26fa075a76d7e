#include "base/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

const QString kPing = QStringLiteral("Ping");
const QString kPong = QStringLiteral("Pong");

TEST(NotificationCenter, DeliversByNameWithSenderAndUserInfoInOrder)
{
    NotificationCenter center;
    QStringList seen;
    int sender = 0;
    center.addObserver(kPing, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &sender);
        seen << QStringLiteral("a:") + n.userInfo.value(QStringLiteral("text")).toString();
    });
    center.addObserver(kPong, [&](const Notification&) { seen << QStringLiteral("pong"); });
    center.addObserver(kPing, [&](const Notification&) { seen << QStringLiteral("b"); });

    center.post(kPing, &sender, {{QStringLiteral("text"), QStringLiteral("hi")}});
    EXPECT_EQ(seen, QStringList({QStringLiteral("a:hi"), QStringLiteral("b")}));
    EXPECT_TRUE(center.hasObservers(kPong));
    EXPECT_FALSE(center.hasObservers(QStringLiteral("Other")));
}

TEST(NotificationCenter, RemovalInsideCallbackStopsLaterDeliveryInSamePost)
{
    NotificationCenter center;
    int firstCalls = 0, secondCalls = 0;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token first = center.addObserver(kPing, [&](const Notification&) {
        ++firstCalls;
        center.removeObserver(first); // itself
        center.removeObserver(second); // a later observer of the same post
    });
    second = center.addObserver(kPing, [&](const Notification&) { ++secondCalls; });

    center.post(kPing);
    center.post(kPing);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_FALSE(center.hasObservers(kPing));
}

TEST(NotificationCenter, ObserverAddedDuringPostWaitsForNextPostAndNestedPostsWork)
{
    NotificationCenter center;
    QStringList seen;
    bool added = false;
    center.addObserver(kPing, [&](const Notification&) {
        seen << QStringLiteral("ping");
        if (!added) {
            added = true;
            // Enough observers to force the list to reallocate mid-post.
            for (int i = 0; i < 32; ++i)
                center.addObserver(kPing, [&](const Notification&) { seen << QStringLiteral("late"); });
            center.post(kPong);
        }
    });
    center.addObserver(kPong, [&](const Notification&) { seen << QStringLiteral("pong"); });

    center.post(kPing);
    EXPECT_EQ(seen, QStringList({QStringLiteral("ping"), QStringLiteral("pong")}));
    seen.clear();
    center.post(kPing);
    EXPECT_EQ(seen.size(), 33);
}

TEST(NotificationCenter, ScopedObserverRemovesOnDestruction)
{
    NotificationCenter center;
    int calls = 0;
    {
        ScopedObserver observer(center, kPing, [&](const Notification&) { ++calls; });
        center.post(kPing);
        ScopedObserver moved = std::move(observer);
        center.post(kPing);
    }
    center.post(kPing);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(center.hasObservers(kPing));
}

} // namespace
