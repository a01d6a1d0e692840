// The viewer's text: display rows with word wrap on and off, the caret and
// the selection, the position under a point, and edits with undo, on plain
// texts.
#include <gtest/gtest.h>

#include <random>

#include "nfo/ViewText.h"

namespace {

// The rows of `text` at `columns` (0: word wrap off), each as its characters.
std::vector<std::u16string> Rows(const ViewText& text) {
  std::vector<std::u16string> rows;
  for (size_t r = 0; r < text.RowCount(); ++r)
    rows.push_back(text.Text().substr(text.RowStart(r), text.RowEnd(r) - text.RowStart(r)));
  return rows;
}

ViewText Made(std::u16string s, int columns) {
  ViewText text;
  text.SetText(std::move(s));
  text.SetWrapColumns(columns);
  return text;
}

using R = std::vector<std::u16string>;

}  // namespace

TEST(ViewText, RowsFollowTheLinesAndWrapAtTheWidth) {
  struct Case {
    const char* what;
    std::u16string text;
    int columns;
    R rows;
  } cases[] = {
      {"no wrap", u"abc def ghi\nx", 0, {u"abc def ghi", u"x"}},
      {"fits", u"abc def", 7, {u"abc def"}},
      {"a word that does not fit moves down", u"abc def", 5, {u"abc ", u"def"}},
      {"blanks stay at the end of their row", u"ab    cd", 3, {u"ab    ", u"cd"}},
      {"a line of blanks is one row", u"      ", 2, {u"      "}},
      {"a word wider than a row breaks anywhere", u"abcdefgh ij", 3, {u"abc", u"def", u"gh ", u"ij"}},
      {"TAB goes to the next multiple of 8", u"a\tbcd efg", 12, {u"a\tbcd ", u"efg"}},
      {"wide characters take two cells", u"\u4E2D\u6587\u4E2D", 5, {u"\u4E2D\u6587", u"\u4E2D"}},
      {"an emoji is one character", u"ab\U0001F600c", 3, {u"ab", u"\U0001F600c"}},
      {"empty lines and a final break", u"a\n\nb\n", 4, {u"a", u"", u"b", u""}},
      {"empty text", u"", 4, {u""}},
  };
  for (const Case& c : cases) EXPECT_EQ(Rows(Made(c.text, c.columns)), c.rows) << c.what;
}

TEST(ViewText, EditsLeaveTheRowsAFreshWrapWouldMake) {
  // Many edits anywhere in art with long and short lines and blanks, with
  // and without TABs and wide characters: after each, the rows are those of
  // the same text wrapped anew.
  struct Case {
    const char* what;
    std::u16string extra;  // in some lines
    std::vector<std::u16string> pieces;
  } cases[] = {
      {"every character one cell", u"", {u"", u" ", u"\n", u"abc", u"  \n\n", u"\u2588\u2588 ", u"     "}},
      {"TABs and wide characters",
       u"\u4E2D\t",
       {u"", u" ", u"\n", u"abc", u"  \n\n", u"\u2588\u2588 ", u"\u4E2D", u"\t"}},
  };
  for (const Case& c : cases) {
    std::u16string art;
    for (int i = 0; i < 40; ++i)
      art += std::u16string(size_t(i % 7) * 9, u'\u2588') + u"  word " + (i % 5 ? u"" : c.extra) +
             std::u16string(size_t(i % 3) * 30, u'x') + std::u16string(size_t(i % 4) * 11, u' ') + u"\n";
    for (const int columns : {0, 5, 17}) {
      ViewText text = Made(art, columns);
      std::mt19937 random(7);
      for (int step = 0; step < 400; ++step) {
        const size_t size = text.Text().size();
        const size_t from = random() % (size + 1), to = std::min(size, from + random() % 12);
        text.SetCaret(from, false);
        text.SetCaret(to, true);
        text.Insert(c.pieces[random() % c.pieces.size()]);
        ASSERT_EQ(Rows(text), Rows(Made(text.Text(), columns)))
            << c.what << ", columns " << columns << ", step " << step;
        if (c.extra.empty()) {
          // A wide character in a line of its own at the end takes the
          // general way of wrapping; the rows before it are the same.
          R general = Rows(Made(text.Text() + u"\n\u4E2D", columns));
          general.pop_back();
          ASSERT_EQ(Rows(text), general) << "columns " << columns << ", step " << step;
        }
      }
      while (text.Undo()) {
      }
      EXPECT_EQ(text.Text(), art);
      EXPECT_EQ(Rows(text), Rows(Made(art, columns)));
    }
  }
}

TEST(ViewText, TheCaretMovesByCharacterWordRowAndPage) {
  using S = ViewText::Step;
  // Rows at 8 columns: "one two " | "three" | "x\U0001F600y" | "" | "last".
  const std::u16string text = u"one two three\nx\U0001F600y\n\nlast";
  struct Case {
    const char* what;
    size_t from;
    S step;
    size_t rows;
    size_t to;
  } cases[] = {
      {"right", 0, S::Right, 1, 1},
      {"right over a surrogate pair", 15, S::Right, 1, 17},
      {"left over a surrogate pair", 17, S::Left, 1, 15},
      {"left at the start", 0, S::Left, 1, 0},
      {"next word", 0, S::WordRight, 1, 4},
      {"next word stops at the line break", 8, S::WordRight, 1, 13},
      {"next word from a line break", 13, S::WordRight, 1, 14},
      {"previous word", 8, S::WordLeft, 1, 4},
      {"down keeps the column", 1, S::Down, 1, 9},
      {"down onto a shorter row ends it", 12, S::Down, 1, 18},
      {"up", 9, S::Up, 1, 1},
      {"up at the top stays", 2, S::Up, 1, 2},
      {"a page down stops at the last row", 0, S::Down, 10, 20},
      {"home of a wrapped row", 11, S::RowHome, 1, 8},
      {"end of a wrapped row is before its last blank", 1, S::RowEnd, 1, 7},
      {"end of a line", 8, S::RowEnd, 1, 13},
      {"end of the text", 3, S::TextEnd, 1, 24},
      {"start of the text", 20, S::TextHome, 1, 0},
  };
  for (const Case& c : cases) {
    ViewText t = Made(text, 8);
    t.SetCaret(c.from, false);
    t.Move(c.step, false, c.rows);
    EXPECT_EQ(t.Caret(), c.to) << c.what;
    EXPECT_FALSE(t.HasSelection()) << c.what;
  }
}

TEST(ViewText, SelectingCopyingAndTypingWithUndo) {
  ViewText t = Made(u"\u2554\u2550\u2557 box\n\u255A\u2550\u255D end", 0);
  t.SetCaret(1, false);
  t.Move(ViewText::Step::Down, true);
  t.Move(ViewText::Step::Right, true);
  EXPECT_EQ(t.SelectedText(), u"\u2550\u2557 box\n\u255A\u2550");
  t.Move(ViewText::Step::Left, false);  // a selection collapses to its start
  EXPECT_EQ(t.Caret(), 1u);
  EXPECT_FALSE(t.HasSelection());

  t.SelectWordAt(5);
  EXPECT_EQ(t.SelectedText(), u"box");
  for (const char16_t* typed : {u"c", u"a", u"t"}) t.Type(typed);
  EXPECT_EQ(t.Text(), u"\u2554\u2550\u2557 cat\n\u255A\u2550\u255D end");
  t.SetCaret(0, false);
  t.Insert(u"\n");
  EXPECT_EQ(t.RowCount(), 3u);
  EXPECT_TRUE(t.Undo());  // the line break
  EXPECT_TRUE(t.Undo());  // "cat" typed over "box" is one step
  EXPECT_EQ(t.Text(), u"\u2554\u2550\u2557 box\n\u255A\u2550\u255D end");
  EXPECT_EQ(t.SelectedText(), u"box");
  EXPECT_TRUE(t.Redo());
  EXPECT_EQ(t.Text(), u"\u2554\u2550\u2557 cat\n\u255A\u2550\u255D end");

  t.SetCaret(8, false);
  EXPECT_TRUE(t.DeleteBackward(false));  // the line break
  EXPECT_EQ(t.RowCount(), 1u);
  EXPECT_TRUE(t.DeleteBackward(true));  // the word before
  EXPECT_EQ(t.Text(), u"\u2554\u2550\u2557 \u255A\u2550\u255D end");
  t.SelectAll();
  EXPECT_EQ(t.SelectedText(), t.Text());
}

TEST(ViewText, PointsMapToCharactersOnTheGrid) {
  // "a" at column 0, a wide character at 1-2, TAB to 8, "b" at 8.
  const ViewText t = Made(u"a\u4E2D\tb\nxy", 0);
  struct Case {
    int column;
    size_t under;      // the character whose cells cover the column
    double near;       // a point between boundaries
    size_t caretNear;  // the nearest caret position
  } cases[] = {
      {0, 0, 0.4, 0},
      {1, 1, 0.6, 1},
      {2, 1, 2.2, 2},
      {3, 2, 2.9, 2},
      {7, 2, 7.6, 3},
      {8, 3, 8.4, 3},
      {9, ViewText::npos, 8.6, 4},
      {-1, ViewText::npos, -3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t.CharAt(0, c.column), c.under) << c.column;
    EXPECT_EQ(t.PositionNear(0, c.near), c.caretNear) << c.near;
  }
  EXPECT_EQ(t.ColumnOf(3), 8);
  EXPECT_EQ(t.ColumnOf(4), 9);
  EXPECT_EQ(t.CharAt(1, 1), 6u);
  EXPECT_EQ(t.PositionNear(1, 40), 7u);
}

TEST(ViewText, LongRowsGiveTheSameColumnsAnywhereAlongThem) {
  // One line of 300,000 characters with TABs, wide and combining characters,
  // word wrap off: asked in any order, every character is where the grid
  // puts it, as a walk from the line's start finds it.
  std::u16string line;
  for (int i = 0; i < 20000; ++i) line += i % 3 ? u"ab\t\u4E2D " : u"x\u0301\U0001F600\u2588yz";
  const ViewText t = Made(line, 0);
  int width = 0;
  const std::vector<PlacedChar> placed = PlaceLine(line, width);
  std::mt19937 random(3);
  int wrong = 0;
  for (int k = 0; k < 2000; ++k) {
    const PlacedChar& p = placed[random() % placed.size()];
    wrong += t.ColumnOf(p.offset) != p.column;
    if (p.cells == 0) continue;  // a combining mark shares its cell with the character before
    wrong += t.CharAt(0, p.column + p.cells - 1) != p.offset;
    wrong += t.PositionNear(0, p.column + 0.1) != p.offset;
    const std::vector<PlacedChar> cells = t.RowCells(0, p.column, p.column + 1);
    wrong += cells.empty() || cells.back().offset != p.offset;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(t.ColumnOf(line.size()), width);
}
