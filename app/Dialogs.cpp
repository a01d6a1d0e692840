#include "app/Dialogs.h"

#include <QMessageBox>

namespace {
MessageSink& Sink() {
  static MessageSink sink;
  return sink;
}
QWidget*& Owner() {
  static QWidget* owner = nullptr;
  return owner;
}
}  // namespace

void SetMessageSink(MessageSink sink) { Sink() = std::move(sink); }
void SetMessageOwner(QWidget* window) { Owner() = window; }

void ShowMessage(const QString& text) {
  if (Sink()) {
    Sink()(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Lumeskar"), text, QMessageBox::Ok, Owner());
  box.exec();
}

QString ErrorReportText(const QString& text) {
  if (!text.isEmpty() && text.back() > QChar('.')) return text + QChar('.');
  return text;
}

void ReportError(const QString& text) { ShowMessage(ErrorReportText(text)); }

QString FromLocal(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToLocal(const QString& text) { return text.toLocal8Bit().toStdString(); }
