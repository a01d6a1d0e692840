#pragma once
// The program's two ways of telling the user something that needs
// acknowledging: a message box with an OK button, and the error report for
// errors that no handler catches. Every message box goes through here, so
// tests can capture them instead of blocking on a modal dialog.
#include <QString>

#include <functional>

class QWidget;

// The window every message box belongs to: the main window, set while it
// exists. A box with an owner stays above it, also when the owner is kept on
// top or is not the active window.
void SetMessageOwner(QWidget* window);

// Modal message box titled "Lumeskar" with an OK button, owned by the main window.
void ShowMessage(const QString& text);

// The error report: the error text in a message box, with a full stop
// appended when its last character sorts after ".".
void ReportError(const QString& text);
QString ErrorReportText(const QString& text);

// Tests install a sink that receives every message box text instead of
// showing it; an empty function restores real message boxes.
using MessageSink = std::function<void(const QString&)>;
void SetMessageSink(MessageSink sink);

// Paths and other byte strings of the file system, shown in the window.
QString FromLocal(const std::string& bytes);
std::string ToLocal(const QString& text);
