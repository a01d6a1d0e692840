#include "app/TextBox.h"

#include <QMimeData>

namespace {
bool HasData(const QMimeData* source) { return source && !source->formats().isEmpty(); }
}  // namespace

bool TextBox::canInsertFromMimeData(const QMimeData* source) const {
  return HasData(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
  if (HasData(source)) QPlainTextEdit::insertFromMimeData(source);
}
