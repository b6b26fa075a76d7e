#include "base/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

const QString kPing = QStringLiteral("Ping");
const QString kPong = QStringLiteral("Pong");

TEST(NotificationCenter, DeliversByNameInOrderAndScopedObserversGoWithTheirScope)
{
    NotificationCenter center;
    QStringList seen;
    int sender = 0;
    center.addObserver(kPing, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &sender);
        seen << "a:" + n.userInfo.value("text").toString();
    });
    center.addObserver(kPong, [&](const Notification&) { seen << "pong"; });
    {
        ScopedObserver observer(center, kPing, [&](const Notification&) { seen << "b"; });
        center.post(kPing, &sender, {{"text", "hi"}});
        ScopedObserver moved = std::move(observer);
        center.post(kPing, &sender);
    }
    center.post(kPing, &sender);
    EXPECT_EQ(seen, QStringList({"a:hi", "b", "a:", "b", "a:"}));
    EXPECT_TRUE(center.hasObservers(kPong));
    EXPECT_FALSE(center.hasObservers(QStringLiteral("Other")));
}

// Observers removed during a post get no later delivery of it; observers
// added during a post wait for the next one; posts may nest.
TEST(NotificationCenter, ObserversChangedDuringAPostAndNestedPosts)
{
    NotificationCenter center;
    QStringList seen;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token first = center.addObserver(kPing, [&](const Notification&) {
        seen << "first";
        center.removeObserver(first); // itself
        center.removeObserver(second); // a later observer of the same post
        // Enough observers to force the list to reallocate mid-post.
        for (int i = 0; i < 32; ++i)
            center.addObserver(kPing, [&](const Notification&) { seen << "late"; });
        center.post(kPong);
    });
    second = center.addObserver(kPing, [&](const Notification&) { seen << "second"; });
    center.addObserver(kPong, [&](const Notification&) { seen << "pong"; });

    center.post(kPing);
    EXPECT_EQ(seen, QStringList({"first", "pong"}));
    center.post(kPing);
    EXPECT_EQ(seen.size(), 2 + 32);
    EXPECT_EQ(seen.count("late"), 32);
}

} // namespace
