// The main window's folder dialog vn1 and the "..." buttons of the two
// extraction-folder prompts, which fill the prompt's edit box from it.
#include <QLineEdit>

#include "app/Unit1.h"
#include "folderdialog/VnFolderDialog.h"

namespace {

// Lets the user pick a folder; on a confirmed choice it replaces the box's
// text and the box gets the keyboard focus. A cancelled choice changes nothing.
void PickFolderInto(TVnFolderDialog* dialog, QLineEdit* box) {
  if (!dialog || !dialog->Execute()) return;
  box->setText(dialog->Folder());
  box->setFocus();
}

}  // namespace

void TForm1::CreateFolderDialog() {
  vn1 = new TVnFolderDialog(this);
  vn1->SetFlags({TBrowseInfoFlags::ShowPath, TBrowseInfoFlags::NewDialogStyle, TBrowseInfoFlags::ShowShared});
}

void TForm1::DestroyFolderDialog() {
  delete vn1;
  vn1 = nullptr;
}

void TForm1::Button4Click() { PickFolderInto(vn1, sfvpopupbox); }

void TForm1::Button5Click() { PickFolderInto(vn1, popupdirbox); }
