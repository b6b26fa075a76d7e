#include "keyboard/KeyLabels.h"
#include "keyboard/KeyboardGeometry.h"
#include "keyboard/KeyboardIcons.h"
#include "keyboard/KeyboardLayouts.h"

#include <gtest/gtest.h>

#include <QSet>

#include "tests/support/QtPrinters.h"

namespace {

int units(const KeyRow& row)
{
    int total = 0;
    for (const KeyDescriptor& key : row)
        total += key.span;
    return total;
}

TEST(KeyboardLayout, EveryRowFillsFourteenUnits)
{
    for (const auto& rows : {KeyboardLayout::abcKeyboardRows(), KeyboardLayout::symbolKeyboardRows()}) {
        ASSERT_EQ(rows.size(), 6);
        for (int r = 0; r < rows.size(); ++r) {
            // Row 5 shares its last unit with the return key above it.
            const int expected = r == 4 ? 13 : 14;
            EXPECT_EQ(units(rows[r]), expected) << "row " << r + 1;
        }
    }
}

TEST(KeyboardLayout, RowsFollowTheState)
{
    KeyboardState state;
    state._keyboardMinimized = true;
    QList<KeyRow> rows = KeyboardLayout::keyboardRows(state);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].size(), 14);
    EXPECT_EQ(rows[0][1].title, "#+=");
    state._symbolsOn = true;
    EXPECT_EQ(KeyboardLayout::keyboardRows(state)[0][1].title, "abc");
    state._keyboardMinimized = false;
    EXPECT_EQ(KeyboardLayout::keyboardRows(state), KeyboardLayout::symbolKeyboardRows());
}

TEST(KeyLabels, TitlesFollowShiftCapsAndLayer)
{
    const KeyDescriptor q = KeyDescriptor::letterKey('Q');
    const KeyDescriptor one = KeyDescriptor::characterKey("1");
    const KeyDescriptor ae = KeyDescriptor::symbolKey("ä", "ä", "Ä");
    const KeyDescriptor layer = KeyDescriptor::actionKey("#+=", {}, KeyAction::Symbols);
    const KeyDescriptor space = KeyboardLayout::commonModifierRow()[4];

    struct Case {
        bool shift, caps, symbols;
        QString q, one, ae, layer;
    };
    const Case cases[] = {
        {false, false, false, "q", "1", "ä", "#+="},
        {true, false, false, "Q", "!", "Ä", "#+="},
        {false, true, false, "Q", "1", "Ä", "#+="},
        {true, true, false, "q", "!", "Ä", "#+="},
        {false, true, true, "Q", "1", "ä", "abc"},
        {true, false, true, "Q", "1", "Ä", "abc"},
    };
    for (const Case& c : cases) {
        KeyboardState state;
        state._shiftOn = c.shift;
        state._capsOn = c.caps;
        state._symbolsOn = c.symbols;
        const QString got = QStringList({KeyLabels::displayTitleForDescriptor(q, state),
                                         KeyLabels::displayTitleForDescriptor(one, state),
                                         KeyLabels::displayTitleForDescriptor(ae, state),
                                         KeyLabels::displayTitleForDescriptor(layer, state)})
                                .join(' ');
        EXPECT_EQ(got, QStringList({c.q, c.one, c.ae, c.layer}).join(' '))
            << "shift " << c.shift << " caps " << c.caps << " symbols " << c.symbols;
        EXPECT_EQ(KeyLabels::displayTitleForDescriptor(space, state), "");
    }
}

TEST(KeyLabels, IconsCoverExactlyTheIconKeys)
{
    QSet<QString> used;
    QStringList labelled;
    for (bool minimized : {false, true}) {
        KeyboardState state;
        state._keyboardMinimized = minimized;
        QList<KeyRow> rows = KeyboardLayout::abcKeyboardRows() + KeyboardLayout::symbolKeyboardRows();
        for (const KeyRow& row : rows) {
            for (const KeyDescriptor& key : row) {
                const QString icon = KeyLabels::iconNameForDescriptor(key, state);
                if (!icon.isEmpty())
                    used.insert(icon);
                else if (key.action != KeyAction::Text && !labelled.contains(key.action))
                    labelled << key.action;
            }
        }
    }
    const QStringList& names = KeyboardIcons::names();
    EXPECT_EQ(used, QSet<QString>(names.begin(), names.end()));
    labelled.sort();
    EXPECT_EQ(labelled, QStringList({"escape", "holdToggle", "symbols"}));
}

TEST(KeyLabels, KeyCodesOfTheUsLayout)
{
    EXPECT_EQ(KeyLabels::keyCodeForText("A"), 0) << "a capital is the same key";
    EXPECT_EQ(KeyLabels::keyCodeForText(" "), 49);
    EXPECT_EQ(KeyLabels::keyCodeForText("\\"), 42);
    for (const char* off : {"ä", "ab", ""})
        EXPECT_EQ(KeyLabels::keyCodeForText(QString::fromUtf8(off)), std::nullopt) << off;
}

TEST(KeyboardGeometry, KeyFrames)
{
    using namespace KeyboardGeometry;
    EXPECT_EQ(panelSizeForRowCount(0), QSize(780, 16));
    const QList<KeyRow> rows = KeyboardLayout::abcKeyboardRows();
    const QList<QRect> frames = keyFrames(rows, QSize(764, 270));
    auto frameOf = [&](int row, int index) {
        int at = 0;
        for (int r = 0; r < row; ++r)
            at += static_cast<int>(rows[r].size());
        return frames.at(at + index);
    };
    EXPECT_EQ(frameOf(1, 13), QRect(715, 46, 49, 40)); // del, flush right
    EXPECT_EQ(frameOf(3, 13), QRect(715, 138, 49, 86)); // return hangs into row 5
    EXPECT_EQ(frameOf(4, 0), QRect(0, 184, 104, 40));   // shift
    EXPECT_EQ(frameOf(4, 11), QRect(660, 184, 49, 40)); // up ...
    EXPECT_EQ(frameOf(5, 8), QRect(660, 230, 49, 40));  // ... above down
    EXPECT_EQ(frameOf(5, 4), QRect(220, 230, 269, 40)); // space

    // One row in a taller area is centred.
    const QList<QRect> single = keyFrames({KeyboardLayout::actionRowWithSymbolTitle("#+=")}, QSize(764, 60));
    EXPECT_EQ(single.first(), QRect(0, 10, 49, 40));
}

// The six positions on a roomy screen are walked by the panel's test.
TEST(KeyboardGeometry, UnknownPositionsAndCrampedScreens)
{
    using namespace KeyboardGeometry;
    const QSize panel(780, 286);
    EXPECT_EQ(keyboardOrigin("nonsense", QRect(0, 0, 1440, 875), panel), QPoint(330, 573));
    EXPECT_EQ(nextKeyboardPosition("nonsense"), "bottomRight");
    EXPECT_EQ(normalizedKeyboardPosition("top"), "topCenter");
    // Too narrow: the right margin wins; too low: the top stays on screen.
    EXPECT_EQ(keyboardOrigin("bottomLeft", QRect(0, 0, 700, 200), panel), QPoint(-96, 16));
}

} // namespace
