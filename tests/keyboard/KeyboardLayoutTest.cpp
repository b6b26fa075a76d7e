#include "keyboard/KeyLabels.h"
#include "keyboard/KeyboardGeometry.h"
#include "keyboard/KeyboardIcons.h"
#include "keyboard/KeyboardLayouts.h"

#include <gtest/gtest.h>

#include <QSet>

#include "tests/support/QtPrinters.h"

namespace {

// A layer as text, one line per row: each key's text, or its action in
// brackets, with its span and row span when they are not 1.
QString describe(const QList<KeyRow>& rows)
{
    QStringList lines;
    for (const KeyRow& row : rows) {
        QStringList keys;
        for (const KeyDescriptor& key : row) {
            QString text = key.action == KeyAction::Text ? key.text : QLatin1Char('[') + key.action + QLatin1Char(']');
            if (!key.shiftText.isEmpty())
                text += QLatin1Char('/') + key.shiftText;
            if (key.span != 1 || key.rowSpan != 1)
                text += QStringLiteral("*%1x%2").arg(key.span).arg(key.rowSpan);
            keys << text;
        }
        lines << keys.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n'));
}

int units(const KeyRow& row)
{
    int total = 0;
    for (const KeyDescriptor& key : row)
        total += key.span;
    return total;
}

const QString kActionRow = QStringLiteral(
    "[escape] [symbols] [emoji] [cut] [copy] [paste] [redo] [undo] [volumeDown] [volumeUp] "
    "[missionControl] [position] [keyboardSize] [hide]");
const QString kBottomRow
    = QStringLiteral("[holdToggle] [control] [option] [command]  *5x1 [home] [end] [left] [down] [right]");

TEST(KeyboardLayout, LayersRowByRow)
{
    EXPECT_EQ(describe(KeyboardLayout::abcKeyboardRows()),
              QStringList({kActionRow, "` 1 2 3 4 5 6 7 8 9 0 - = [backspace]",
                           "[tab] q w e r t y u i o p [ ] \\",
                           "[caps] a s d f g h j k l ; ' ` [return]*1x2",
                           "[shift]*2x1 z x c v b n m , . / [up]", kBottomRow})
                  .join('\n'));
    EXPECT_EQ(describe(KeyboardLayout::symbolKeyboardRows()),
              QStringList({kActionRow, "€ ´ ¨ © £ ∞ § ≈ ± ™ – ° [backspace]*2x1",
                           "[tab] ä/Ä ö/Ö å/Å é/É è/È ê/Ê ë/Ë á/Á à/À â/Â í/Í ó/Ó ú/Ú",
                           "[caps] ñ/Ñ ç/Ç ü/Ü ù/Ù û/Û ô/Ô ò/Ò ï/Ï î/Î œ/Œ æ/Æ ¡ [return]*1x2",
                           "[shift]*2x1 ¿ ¶ « » ≤ ≥ × ÷ µ ® [up]", kBottomRow})
                  .join('\n'));
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
    EXPECT_EQ(names.size(), 27);
    labelled.sort();
    EXPECT_EQ(labelled, QStringList({"escape", "holdToggle", "symbols"}));
}

TEST(KeyLabels, KeyCodesOfTheUsLayout)
{
    EXPECT_EQ(KeyLabels::keyCodeForText("a"), 0);
    EXPECT_EQ(KeyLabels::keyCodeForText("A"), 0);
    EXPECT_EQ(KeyLabels::keyCodeForText("c"), 8);
    EXPECT_EQ(KeyLabels::keyCodeForText(" "), 49);
    EXPECT_EQ(KeyLabels::keyCodeForText("`"), 50);
    EXPECT_EQ(KeyLabels::keyCodeForText("\\"), 42);
    EXPECT_EQ(KeyLabels::keyCodeForText("ä"), std::nullopt);
    EXPECT_EQ(KeyLabels::keyCodeForText("ab"), std::nullopt);
    EXPECT_EQ(KeyLabels::keyCodeForText(""), std::nullopt);
}

TEST(KeyboardGeometry, PanelSizesAndKeyFrames)
{
    using namespace KeyboardGeometry;
    EXPECT_EQ(panelSizeForRowCount(6), QSize(780, 286));
    EXPECT_EQ(panelSizeForRowCount(1), QSize(780, 56));
    EXPECT_EQ(panelSizeForRowCount(0), QSize(780, 16));

    const QList<KeyRow> rows = KeyboardLayout::abcKeyboardRows();
    const QList<QRect> frames = keyFrames(rows, QSize(764, 270));
    auto frameOf = [&](int row, int index) {
        int at = 0;
        for (int r = 0; r < row; ++r)
            at += static_cast<int>(rows[r].size());
        return frames.at(at + index);
    };
    EXPECT_EQ(frameOf(0, 0), QRect(0, 0, 49, 40));
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

TEST(KeyboardGeometry, SavedPositions)
{
    using namespace KeyboardGeometry;
    const QRect screen(0, 0, 1440, 875);
    const QSize panel(780, 286);
    EXPECT_EQ(keyboardOrigin("bottomCenter", screen, panel), QPoint(330, 573));
    EXPECT_EQ(keyboardOrigin("topRight", screen, panel), QPoint(644, 16));
    EXPECT_EQ(keyboardOrigin("left", screen, panel), QPoint(16, 573));
    EXPECT_EQ(keyboardOrigin("nonsense", screen, panel), QPoint(330, 573));
    EXPECT_EQ(keyboardOrigin("topLeft", QRect(1920, 100, 1280, 700), panel), QPoint(1936, 116));
    // Too narrow: the right margin wins; too low: the top stays on screen.
    EXPECT_EQ(keyboardOrigin("bottomLeft", QRect(0, 0, 700, 200), panel), QPoint(-96, 16));

    EXPECT_EQ(nextKeyboardPosition("left"), "bottomCenter");
    EXPECT_EQ(nextKeyboardPosition("nonsense"), "bottomRight");
    EXPECT_EQ(nextKeyboardPosition("topRight"), "bottomLeft");
    EXPECT_EQ(normalizedKeyboardPosition("top"), "topCenter");
    EXPECT_EQ(normalizedKeyboardPosition("right"), "bottomRight");
}

} // namespace
