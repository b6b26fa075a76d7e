#include "base/ManualScheduler.h"
#include "tests/support/QtPrinters.h"
#include "visual/VTCompatibilityRippleView.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace {

QVariantMap raw(qint64 kind, qint64 id, double x, double y, double xMax = 1000, double yMax = 1000)
{
    return {{"kind", kind}, {"id", id}, {"x", x}, {"y", y}, {"xMinimum", 0}, {"xMaximum", xMax},
            {"yMinimum", 0}, {"yMaximum", yMax}};
}

} // namespace

TEST(RippleView, ContactsArePlacedByTheirScreenPointOnlyInAWindowElseByRawValues)
{
    ManualScheduler clock;
    VTCompatibilityRippleView loose(clock);
    loose.resize(400, 300);
    QVariantMap placed = raw(1, 1, 500, 250);
    EXPECT_EQ(loose.viewPointForContact(placed), QPointF(200, 75));
    // A range without extent falls back to 4800 by 3000, unclamped.
    EXPECT_EQ(loose.viewPointForContact(raw(1, 1, 2400, 6000, 0, 0)), QPointF(200, 600));
    // A screen point counts only once the view is shown in a window.
    placed.insert("screenX", 5.0);
    placed.insert("screenY", 5.0);
    EXPECT_EQ(loose.viewPointForContact(placed), QPointF(200, 75));

    // In a window: through it, clamped to the view's bounds.
    QWidget window;
    window.setGeometry(100, 200, 500, 400);
    auto* view = new VTCompatibilityRippleView(clock, &window);
    view->setGeometry(24, 30, 430, 340);
    window.show();
    const auto at = [&](double x, double y) {
        return view->viewPointForContact({{"kind", 1}, {"id", 1}, {"screenX", x}, {"screenY", y}});
    };
    EXPECT_EQ(at(100 + 24 + 10, 200 + 30 + 20), QPointF(10, 20));
    EXPECT_EQ(at(0, 5000), QPointF(0, 340));
}

TEST(RippleView, MovingContactsLeaveTrailsHeldOnesPulseWithoutAndAllFade)
{
    ManualScheduler clock{50.0};
    VTCompatibilityRippleView view(clock);
    view.resize(1000, 1000);
    view.addContacts({raw(1, 1, 100, 100)});
    ASSERT_EQ(view.ripples().size(), 1u);

    clock.advance(0.01);
    view.addContacts({raw(1, 1, 101, 100)}); // 1 point: no trail
    EXPECT_TRUE(view.trails().empty());
    clock.advance(0.01);
    view.addContacts({raw(1, 1, 103, 100)}); // 2 points: a trail
    ASSERT_EQ(view.trails().size(), 1u);
    EXPECT_EQ(view.trails()[0].from, QPointF(101, 100));
    EXPECT_EQ(view.trails()[0].to, QPointF(103, 100));

    // Held still and reported every 10 ms: a ring every 0.22 s or so, no trail.
    for (int i = 0; i < 50; ++i) {
        clock.advance(0.01);
        view.addContacts({raw(1, 1, 103, 100)});
    }
    EXPECT_EQ(view.trails().size(), 1u);
    EXPECT_EQ(view.ripples().size(), 3u);

    // A pause of 0.18 s restarts it with a ring and without a trail across the gap.
    clock.advance(0.2);
    view.addContacts({raw(1, 1, 400, 400)});
    EXPECT_EQ(view.trails().size(), 1u);
    EXPECT_EQ(view.ripples().back().point, QPointF(400, 400));
    EXPECT_EQ(view.ripples().back().start, clock.now());

    // A kind 0 contact is nothing; an empty list forgets every contact.
    const std::size_t rings = view.ripples().size();
    view.addContacts({raw(0, 9, 10, 10)});
    EXPECT_EQ(view.ripples().size(), rings);
    view.addContacts({raw(1, 1, 400, 400)});
    EXPECT_EQ(view.ripples().size(), rings + 1) << "the report without it forgot the contact";

    // Trails outlive rings, then both fade away and the clock goes quiet.
    clock.advance(0.02);
    view.addContacts({raw(1, 1, 500, 400)});
    view.addContacts({});
    clock.advance(0.9);
    EXPECT_TRUE(view.ripples().empty());
    EXPECT_FALSE(view.trails().empty());
    clock.advance(0.25);
    EXPECT_TRUE(view.trails().empty());
    EXPECT_FALSE(view.animating());

    view.addContacts({raw(2, 1, 10, 10)});
    view.resetEffects();
    EXPECT_TRUE(view.ripples().empty());
    EXPECT_FALSE(clock.hasPending());
}
