#pragma once
// The viewer's text as its text box holds it: the characters, the display
// rows they are shown in, the caret and the selection, and editing with
// undo. With word wrap on, a line wider than the box continues on further
// rows; with it off, every line is one row. Plain C++: the window draws the
// rows and hands keys and clicks to this class.
//
// The cost of an operation follows what it touches (a row, the rows of an
// edited line, the rows after it), not the length of the text; only loading
// the text and switching word wrap go over all of it, once, in linear time.
// Positions count UTF-16 code units from the start of the text; the text
// holds its lines joined by LF.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nfo/CharCells.h"

class ViewText {
 public:
  static constexpr int kTabColumns = 8;
  // Edits that would make the text longer are refused.
  static constexpr size_t kMaxLength = 0x7FFFFFFF;

  ViewText() = default;

  // Replaces the whole text: the caret at its start, nothing selected,
  // nothing to undo.
  void SetText(std::u16string text);
  const std::u16string& Text() const { return text_; }

  // Rows at most `columns` cells wide (word wrap on: a line breaks after the
  // blanks before a word that does not fit, and inside a word wider than a
  // row; blanks at a break stay at the end of their row), or one row for
  // each line (0: word wrap off).
  void SetWrapColumns(int columns);
  int WrapColumns() const { return wrapColumns_; }

  size_t RowCount() const { return rows_.size(); }
  size_t RowStart(size_t row) const { return rows_[row]; }
  // Where the row's characters end: before its line break, if it has one.
  size_t RowEnd(size_t row) const;
  // The row a caret at `position` shows on: the next row's start, at a
  // break inside a line.
  size_t RowOf(size_t position) const;

  // The characters of `row` whose cells meet the columns [first, last), in
  // order, with their positions in the text. A TAB is placed too: it covers
  // the cells up to the next multiple of 8 columns.
  std::vector<PlacedChar> RowCells(size_t row, int first, int last) const;
  // The column of a caret at `position`, on its row.
  int ColumnOf(size_t position) const;
  // The caret position in `row` nearest to `column` (a boundary between
  // cells may fall inside a cell: 2.5 is the middle of the third cell).
  size_t PositionNear(size_t row, double column) const;
  // The position of the character whose cells cover `column` of `row`, or
  // npos when the row ends before it.
  size_t CharAt(size_t row, int column) const;
  static constexpr size_t npos = std::u16string::npos;

  // The caret, and the anchor at the selection's other end (the same place
  // when nothing is selected).
  size_t Caret() const { return caret_; }
  size_t Anchor() const { return anchor_; }
  bool HasSelection() const { return caret_ != anchor_; }
  size_t SelectionStart() const { return caret_ < anchor_ ? caret_ : anchor_; }
  size_t SelectionEnd() const { return caret_ < anchor_ ? anchor_ : caret_; }
  std::u16string SelectedText() const;

  // Moves the caret; `extend` keeps the anchor, so the selection grows or
  // shrinks, otherwise the selection is dropped.
  void SetCaret(size_t position, bool extend);
  enum class Step { Left, Right, WordLeft, WordRight, Up, Down, RowHome, RowEnd, TextHome, TextEnd };
  // Up and Down go `rows` rows, keeping the column the caret had when the
  // vertical movement began.
  void Move(Step step, bool extend, size_t rows = 1);
  void SelectAll();
  // Selects the word (a run of letters and digits, of other signs, or of
  // blanks) at `position`.
  void SelectWordAt(size_t position);

  // Edits, each replacing the selection, each one undo step; typed
  // characters that follow each other make one step. They return false when
  // nothing changed.
  bool Insert(std::u16string_view text);
  bool Type(std::u16string_view text);
  bool DeleteBackward(bool word);
  bool DeleteForward(bool word);
  bool Undo();
  bool Redo();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }

 private:
  struct Edit {
    size_t at = 0;
    std::u16string removed, inserted;
    size_t caretBefore = 0, anchorBefore = 0;
    bool typed = false;
  };

  // The character at `i`: its code point, units and cells at `column`.
  PlacedChar CharAtOffset(size_t i, int column) const;
  // Where the row starting at `start` ends and the next begins; npos when it
  // is the text's last.
  size_t NextRowStart(size_t start) const;
  size_t NextRowStartOneCellEach(size_t start) const;
  // Calls `visit` with each character of `row` until it returns false: from
  // the row's start, or from a character before both `fromColumn` and
  // `fromOffset` (the caller skips what it does not need).
  template <typename Visit>
  void Walk(size_t row, int fromColumn, size_t fromOffset, Visit visit) const;
  // Marks along `row`: a character's place and column every kMarkEvery
  // units, so that walking a long row starts near where it is needed.
  void MarkRow(size_t row) const;
  // The last caret position that shows on `row`.
  size_t RowCaretEnd(size_t row) const;
  void Rewrap();
  // Replaces [from, to) by `with`, and the rows it touches.
  void Splice(size_t from, size_t to, std::u16string_view with);
  bool Apply(size_t from, size_t to, std::u16string_view with, bool typed);
  size_t PreviousChar(size_t position) const;
  size_t NextChar(size_t position) const;
  size_t WordBoundary(size_t position, bool forward) const;

  std::u16string text_;
  std::vector<std::uint32_t> rows_{0};  // the start of every display row
  int wrapColumns_ = 0;
  bool oneCellEach_ = true;  // every character takes exactly one cell (no TAB)
  size_t caret_ = 0, anchor_ = 0;
  int goalColumn_ = -1;  // the column kept by Up and Down; -1: the caret's own
  std::vector<Edit> undo_, redo_;

  // A row with word wrap off may be a whole 60-megabyte line: the last long
  // row walked keeps marks along it (forgotten when the rows change).
  static constexpr size_t kMarkEvery = 4096;
  struct Mark {
    size_t offset;
    int column;
  };
  mutable size_t markedRow_ = npos;
  mutable std::vector<Mark> marks_;
};
