#pragma once
// The password prompt of an extraction: a small modal dialog over the main
// window with the prompt's text, a masked edit box, OK and Cancel.
#include <QString>

class QWidget;

// False for Cancel (or the dialog closed). The caller owns the answer; the
// dialog keeps no copy.
bool AskPasswordDialog(QWidget* owner, const QString& prompt, QString& password);
