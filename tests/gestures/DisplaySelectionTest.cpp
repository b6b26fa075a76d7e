#include "touch/DisplaySelection.h"

#include "tests/support/FakeDisplayServices.h"

#include <gtest/gtest.h>

namespace {

using namespace DisplaySelection;
using IDs = std::vector<DisplayServices::DisplayID>;

TEST(DisplaySelection, AutoPicksTheLargestNonMainDisplayInEveryArrangement)
{
    FakeDisplayServices displays;
    displays.addDisplay(7, QRectF(0, 0, 1440, 900));
    displays.setMainDisplay(7);
    for (const char* value : {"auto", "secondary", ""}) // one display: the main one
        EXPECT_EQ(selectedDisplayID(displays, value), 7u) << value;

    displays.addDisplay(3, QRectF(1440, 0, 1920, 1080));
    displays.addDisplay(9, QRectF(-3840, 0, 3840, 2160));
    for (const char* value : {"auto", "", "bogus", "display:", "display:12", "display:x7"})
        EXPECT_EQ(selectedDisplayID(displays, value), 9u) << value;
    EXPECT_EQ(selectedDisplayID(displays, "primary"), 7u);
    // The sorted list runs left to right: 9 (x -3840) comes before the main display.
    EXPECT_EQ(sortedDisplayList(displays), IDs({9, 7, 3}));
    EXPECT_EQ(selectedDisplayID(displays, "secondary"), 9u);

    displays.addDisplay(4, QRectF(-7680, 0, 3840, 2160));
    EXPECT_EQ(selectedDisplayID(displays, "auto"), 4u) << "equal areas: the one further left";

    // Edge arrangements still choose one.
    FakeDisplayServices mirrored; // same origin: ordered by ID
    mirrored.addDisplay(8, QRectF(0, 0, 1920, 1080));
    mirrored.addDisplay(2, QRectF(0, 0, 1920, 1080));
    mirrored.setMainDisplay(8);
    EXPECT_EQ(sortedDisplayList(mirrored), IDs({2, 8}));
    EXPECT_EQ(selectedDisplayID(mirrored, "secondary"), 2u);

    FakeDisplayServices empty; // the platform reports nothing: the main display alone
    empty.setMainDisplay(42);
    EXPECT_EQ(sortedDisplayList(empty), IDs({42}));
    EXPECT_EQ(selectedDisplayID(empty, "auto"), 42u);

    FakeDisplayServices zero; // only empty displays besides the main one: the first is taken
    zero.addDisplay(1, QRectF(0, 0, 800, 600));
    zero.addDisplay(6, QRectF(900, 0, 0, 0));
    zero.addDisplay(5, QRectF(800, 0, 0, 0));
    zero.setMainDisplay(1);
    EXPECT_EQ(selectedDisplayID(zero, "auto"), 5u);
}

} // namespace
