#include "nfo/ViewText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

#include "nfo/Cp437.h"

namespace {

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Whether every character of `text` takes exactly one cell: then a row's
// columns are its positions, and no row needs to be walked to find one.
bool OneCellEach(std::u16string_view text) {
  // Classic art is all code page 437 (where only TAB takes more than a cell).
  if (AllCp437Characters(text)) return text.find(u'\t') == text.npos;
  for (const char16_t u : text) {
    if (u == u'\t' || (u >= 0xD800 && u <= 0xDFFF)) return false;
    if (!IsCp437Character(u) && CellsOf(u) != 1) return false;
  }
  return true;
}

// Words for the word-wise caret movement and a double-click: runs of
// letters and digits, runs of other signs, runs of blanks; a line break
// stands alone.
int ClassOf(char16_t c) {
  if (c == u'\n') return 3;
  if (c == u' ' || c == u'\t' || c == 0xA0) return 0;
  if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_') return 1;
  if (c < 0x80 || (c >= 0x2000 && c <= 0x2BFF)) return 2;  // punctuation, arrows, lines, blocks, shapes
  return 1;
}

}  // namespace

void ViewText::SetText(std::u16string text) {
  text_ = std::move(text);
  oneCellEach_ = OneCellEach(text_);
  caret_ = anchor_ = 0;
  goalColumn_ = -1;
  undo_.clear();
  redo_.clear();
  Rewrap();
}

void ViewText::SetWrapColumns(int columns) {
  columns = std::max(columns, 0);
  if (columns == wrapColumns_) return;
  wrapColumns_ = columns;
  Rewrap();
}

void ViewText::Rewrap() {
  markedRow_ = npos;
  rows_.clear();
  size_t estimate = static_cast<size_t>(std::count(text_.begin(), text_.end(), u'\n')) + 1;
  if (wrapColumns_ > 0) estimate += text_.size() / static_cast<size_t>(wrapColumns_);
  rows_.reserve(estimate);
  rows_.push_back(0);
  for (size_t start = 0; (start = NextRowStart(start)) != npos;) rows_.push_back(static_cast<std::uint32_t>(start));
}

PlacedChar ViewText::CharAtOffset(size_t i, int column) const {
  PlacedChar p;
  p.offset = i;
  p.column = column;
  const char16_t u = text_[i];
  if (IsHighSurrogate(u) && i + 1 < text_.size() && IsLowSurrogate(text_[i + 1])) {
    p.code = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text_[i + 1] - 0xDC00);
    p.units = 2;
  } else {
    p.code = (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u;
  }
  p.cells = p.code == u'\t' ? kTabColumns - column % kTabColumns : CellsOf(p.code);
  return p;
}

size_t ViewText::NextRowStart(size_t start) const {
  if (wrapColumns_ <= 0) {
    const size_t lineBreak = text_.find(u'\n', start);
    return lineBreak == npos ? npos : lineBreak + 1;
  }
  const int width = wrapColumns_;
  if (oneCellEach_) return NextRowStartOneCellEach(start);
  int column = 0;
  size_t breakAt = npos;  // where the next row may start: after blanks, around wide characters
  for (size_t i = start; i < text_.size();) {
    const char16_t u = text_[i];
    if (u == u'\n') return i + 1;
    if (u == u' ' || u == u'\t') {
      // Blanks never move to the next row; a word after them may.
      column += u == u'\t' ? kTabColumns - column % kTabColumns : 1;
      breakAt = ++i;
      continue;
    }
    const PlacedChar p = CharAtOffset(i, column);
    if (p.cells > 0 && column + p.cells > width && i > start) return (p.cells == 2 || breakAt == npos) ? i : breakAt;
    column += p.cells;
    i += p.units;
    if (p.cells == 2) breakAt = i;
  }
  return npos;
}

size_t ViewText::NextRowStartOneCellEach(size_t start) const {
  // The same rule as above when every character takes one cell (and there
  // is no TAB): the first character past the width is at start + width.
  const size_t size = text_.size();
  const size_t edge = start + static_cast<size_t>(wrapColumns_);
  const char16_t* text = text_.data();
  const char16_t* lineBreak = std::find(text + start, text + std::min(edge, size), u'\n');
  if (lineBreak != text + std::min(edge, size)) return static_cast<size_t>(lineBreak - text) + 1;
  if (edge >= size) return npos;
  if (text[edge] == u' ') {
    // Blanks never move to the next row: the row takes all of them.
    size_t i = edge;
    while (i < size && text[i] == u' ') ++i;
    if (i == size) return npos;
    return text[i] == u'\n' ? i + 1 : i;
  }
  if (text[edge] == u'\n') return edge + 1;
  // The word that does not fit moves down, after the last blank before it;
  // a word as wide as the row breaks where the row ends.
  for (size_t i = edge; i > start; --i)
    if (text[i - 1] == u' ') return i;
  return edge;
}

size_t ViewText::RowEnd(size_t row) const {
  if (row + 1 >= rows_.size()) return text_.size();
  size_t end = rows_[row + 1];
  if (end > rows_[row] && text_[end - 1] == u'\n') --end;
  return end;
}

size_t ViewText::RowOf(size_t position) const {
  const auto after = std::upper_bound(rows_.begin(), rows_.end(), position);
  return static_cast<size_t>(after - rows_.begin()) - 1;
}

template <typename Visit>
void ViewText::Walk(size_t row, int fromColumn, size_t fromOffset, Visit visit) const {
  const size_t start = rows_[row], end = RowEnd(row);
  if (oneCellEach_) {
    const size_t skip =
        std::min(static_cast<size_t>(std::max(fromColumn, 0)), fromOffset - std::min(fromOffset, start));
    for (size_t i = start + std::min(skip, end - start); i < end; ++i)
      if (!visit(PlacedChar{i, 1, text_[i], static_cast<int>(i - start), 1})) return;
    return;
  }
  size_t i = start;
  int column = 0;
  if (end - start > kMarkEvery) {
    // A long row: begin at the last mark before both limits.
    if (markedRow_ != row) MarkRow(row);
    const auto after = std::partition_point(
        marks_.begin(), marks_.end(), [&](const Mark& m) { return m.column <= fromColumn && m.offset <= fromOffset; });
    if (after != marks_.begin()) {
      i = std::prev(after)->offset;
      column = std::prev(after)->column;
    }
  }
  while (i < end) {
    const PlacedChar p = CharAtOffset(i, column);
    if (!visit(p)) return;
    column += p.cells;
    i += p.units;
  }
}

void ViewText::MarkRow(size_t row) const {
  marks_.clear();
  markedRow_ = row;
  const size_t end = RowEnd(row);
  int column = 0;
  size_t marked = rows_[row];
  for (size_t i = rows_[row]; i < end;) {
    if (i - marked >= kMarkEvery) {
      marks_.push_back({i, column});
      marked = i;
    }
    const PlacedChar p = CharAtOffset(i, column);
    column += p.cells;
    i += p.units;
  }
}

std::vector<PlacedChar> ViewText::RowCells(size_t row, int first, int last) const {
  std::vector<PlacedChar> cells;
  Walk(row, first, npos, [&](const PlacedChar& p) {
    if (p.column >= last) return false;
    if (p.column >= first || p.column + p.cells > first) cells.push_back(p);
    return true;
  });
  return cells;
}

int ViewText::ColumnOf(size_t position) const {
  const size_t row = RowOf(position);
  if (oneCellEach_) return static_cast<int>(position - rows_[row]);
  int column = 0;
  Walk(row, INT_MAX, position, [&](const PlacedChar& p) {
    if (p.offset >= position) {
      column = p.column;
      return false;
    }
    column = p.column + p.cells;
    return true;
  });
  return column;
}

size_t ViewText::RowCaretEnd(size_t row) const {
  const size_t end = RowEnd(row);
  // At a break inside a line the end is the next row's start, which shows
  // there: the row's own last caret place is before its last character.
  if (row + 1 < rows_.size() && rows_[row + 1] == end && end > rows_[row]) return PreviousChar(end);
  return end;
}

size_t ViewText::PositionNear(size_t row, double column) const {
  if (oneCellEach_) {
    const double cell = std::floor(std::max(column, 0.0) + 0.5);
    const size_t wanted = rows_[row] + static_cast<size_t>(std::min(cell, double(kMaxLength)));
    return std::min(wanted, RowCaretEnd(row));
  }
  size_t found = npos;
  Walk(row, static_cast<int>(std::clamp(std::floor(column), 0.0, double(INT_MAX))), npos, [&](const PlacedChar& p) {
    if (column < p.column + p.cells / 2.0) found = p.offset;
    return found == npos;
  });
  return found == npos ? RowCaretEnd(row) : std::min(found, RowCaretEnd(row));
}

size_t ViewText::CharAt(size_t row, int column) const {
  if (column < 0) return npos;
  size_t found = npos;
  Walk(row, column, npos, [&](const PlacedChar& p) {
    if (p.column > column) return false;
    if (p.cells > 0 && column < p.column + p.cells) found = p.offset;
    return found == npos;
  });
  return found;
}

std::u16string ViewText::SelectedText() const {
  return text_.substr(SelectionStart(), SelectionEnd() - SelectionStart());
}

void ViewText::SetCaret(size_t position, bool extend) {
  caret_ = std::min(position, text_.size());
  if (!extend) anchor_ = caret_;
  goalColumn_ = -1;
  if (!undo_.empty()) undo_.back().typed = false;  // typing after a move is a new step
}

size_t ViewText::PreviousChar(size_t position) const {
  if (position == 0) return 0;
  --position;
  if (position > 0 && IsLowSurrogate(text_[position]) && IsHighSurrogate(text_[position - 1])) --position;
  return position;
}

size_t ViewText::NextChar(size_t position) const {
  if (position >= text_.size()) return text_.size();
  ++position;
  if (position < text_.size() && IsLowSurrogate(text_[position]) && IsHighSurrogate(text_[position - 1])) ++position;
  return position;
}

size_t ViewText::WordBoundary(size_t position, bool forward) const {
  size_t i = position;
  if (forward) {
    if (i < text_.size() && ClassOf(text_[i]) != 0) {
      const int run = ClassOf(text_[i]);
      while (i < text_.size() && ClassOf(text_[i]) == run && run != 3) ++i;
      if (run == 3) ++i;
    }
    while (i < text_.size() && ClassOf(text_[i]) == 0) ++i;
    return i;
  }
  while (i > 0 && ClassOf(text_[i - 1]) == 0) --i;
  if (i > 0) {
    const int run = ClassOf(text_[i - 1]);
    if (run == 3) return i - 1;
    while (i > 0 && ClassOf(text_[i - 1]) == run) --i;
  }
  return i;
}

void ViewText::Move(Step step, bool extend, size_t rows) {
  size_t to = caret_;
  switch (step) {
    case Step::Left: to = HasSelection() && !extend ? SelectionStart() : PreviousChar(caret_); break;
    case Step::Right: to = HasSelection() && !extend ? SelectionEnd() : NextChar(caret_); break;
    case Step::WordLeft: to = WordBoundary(caret_, false); break;
    case Step::WordRight: to = WordBoundary(caret_, true); break;
    case Step::Up:
    case Step::Down: {
      const int goal = goalColumn_ >= 0 ? goalColumn_ : ColumnOf(caret_);
      const size_t row = RowOf(caret_);
      const size_t target = step == Step::Up ? (row > rows ? row - rows : 0) : std::min(row + rows, rows_.size() - 1);
      SetCaret(PositionNear(target, goal), extend);
      goalColumn_ = goal;
      return;
    }
    case Step::RowHome: to = rows_[RowOf(caret_)]; break;
    case Step::RowEnd: to = RowCaretEnd(RowOf(caret_)); break;
    case Step::TextHome: to = 0; break;
    case Step::TextEnd: to = text_.size(); break;
  }
  SetCaret(to, extend);
}

void ViewText::SelectAll() {
  SetCaret(0, false);
  SetCaret(text_.size(), true);
}

void ViewText::SelectWordAt(size_t position) {
  if (position >= text_.size()) return SetCaret(text_.size(), false);
  const int run = ClassOf(text_[position]);
  size_t a = position, b = position + 1;
  if (run != 3) {
    while (a > 0 && ClassOf(text_[a - 1]) == run) --a;
    while (b < text_.size() && ClassOf(text_[b]) == run) ++b;
  }
  SetCaret(a, false);
  SetCaret(b, true);
}

bool ViewText::Insert(std::u16string_view text) { return Apply(SelectionStart(), SelectionEnd(), text, false); }
bool ViewText::Type(std::u16string_view text) { return Apply(SelectionStart(), SelectionEnd(), text, true); }

bool ViewText::DeleteBackward(bool word) {
  if (HasSelection()) return Apply(SelectionStart(), SelectionEnd(), {}, false);
  return Apply(word ? WordBoundary(caret_, false) : PreviousChar(caret_), caret_, {}, false);
}

bool ViewText::DeleteForward(bool word) {
  if (HasSelection()) return Apply(SelectionStart(), SelectionEnd(), {}, false);
  return Apply(caret_, word ? WordBoundary(caret_, true) : NextChar(caret_), {}, false);
}

bool ViewText::Apply(size_t from, size_t to, std::u16string_view with, bool typed) {
  if (from == to && with.empty()) return false;
  if (text_.size() - (to - from) + with.size() > kMaxLength) return false;
  const bool merge = typed && from == to && !undo_.empty() && undo_.back().typed &&
                     undo_.back().at + undo_.back().inserted.size() == from;
  if (merge) {
    undo_.back().inserted += with;
  } else {
    undo_.push_back(Edit{from, text_.substr(from, to - from), std::u16string(with), caret_, anchor_, typed});
  }
  redo_.clear();
  Splice(from, to, with);
  caret_ = anchor_ = from + with.size();
  goalColumn_ = -1;
  return true;
}

bool ViewText::Undo() {
  if (undo_.empty()) return false;
  Edit edit = std::move(undo_.back());
  undo_.pop_back();
  Splice(edit.at, edit.at + edit.inserted.size(), edit.removed);
  caret_ = edit.caretBefore;
  anchor_ = edit.anchorBefore;
  goalColumn_ = -1;
  edit.typed = false;
  redo_.push_back(std::move(edit));
  return true;
}

bool ViewText::Redo() {
  if (redo_.empty()) return false;
  Edit edit = std::move(redo_.back());
  redo_.pop_back();
  Splice(edit.at, edit.at + edit.removed.size(), edit.inserted);
  caret_ = anchor_ = edit.at + edit.inserted.size();
  goalColumn_ = -1;
  undo_.push_back(std::move(edit));
  return true;
}

void ViewText::Splice(size_t from, size_t to, std::u16string_view with) {
  // The rows before the one holding `from` keep their starts; the row
  // before it may take up a word from it, so the rows are made again from
  // there, until a new row starts where an old one did, past the edit: from
  // there on the rows are the old ones, moved by the change in length.
  const size_t rowOfEdit = RowOf(from);
  const size_t first = rowOfEdit > 0 ? rowOfEdit - 1 : 0;
  const std::uint32_t shift = static_cast<std::uint32_t>(with.size() - (to - from));  // modulo 2^32
  text_.replace(from, to - from, with);
  markedRow_ = npos;
  if (oneCellEach_ && !OneCellEach(with)) oneCellEach_ = false;

  const size_t editEnd = from + with.size();
  std::vector<std::uint32_t> fresh;
  size_t resume = rows_.size();  // the first old row kept
  for (size_t start = rows_[first];;) {
    const size_t next = NextRowStart(start);
    if (next == npos) break;
    if (next >= editEnd) {
      const std::uint32_t old = static_cast<std::uint32_t>(next) - shift;
      const auto it = std::lower_bound(rows_.begin() + static_cast<std::ptrdiff_t>(first) + 1, rows_.end(), old);
      if (it != rows_.end() && *it == old) {
        resume = static_cast<size_t>(it - rows_.begin());
        break;
      }
    }
    fresh.push_back(static_cast<std::uint32_t>(next));
    start = next;
  }
  for (size_t i = resume; i < rows_.size(); ++i) rows_[i] += shift;
  const auto from_row = rows_.begin() + static_cast<std::ptrdiff_t>(first) + 1;
  const auto kept = rows_.begin() + static_cast<std::ptrdiff_t>(resume);
  const size_t replaced = static_cast<size_t>(kept - from_row);
  if (replaced >= fresh.size()) {
    std::copy(fresh.begin(), fresh.end(), from_row);
    rows_.erase(from_row + static_cast<std::ptrdiff_t>(fresh.size()), kept);
  } else {
    std::copy(fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(replaced), from_row);
    rows_.insert(kept, fresh.begin() + static_cast<std::ptrdiff_t>(replaced), fresh.end());
  }
}
