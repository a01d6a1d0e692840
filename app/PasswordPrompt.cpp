#include "app/PasswordPrompt.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

bool AskPasswordDialog(QWidget* owner, const QString& prompt, QString& password) {
  QDialog dialog(owner);
  dialog.setObjectName(QStringLiteral("passwordPrompt"));
  dialog.setWindowTitle(QStringLiteral("Password"));
  dialog.setModal(true);
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(prompt, &dialog);
  label->setWordWrap(true);
  auto* box = new QLineEdit(&dialog);
  box->setObjectName(QStringLiteral("passwordBox"));
  box->setEchoMode(QLineEdit::Password);
  box->setMinimumWidth(260);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(box);
  layout->addWidget(buttons);
  box->setFocus();
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (ok) password = box->text();
  box->clear();
  return ok;
}
