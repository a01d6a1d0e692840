// Placeholder until the folder dialog is wired to the window.
#include "app/Unit1.h"

void TForm1::CreateFolderDialog() {}
void TForm1::DestroyFolderDialog() {}
void TForm1::Button4Click() {}
void TForm1::Button5Click() {}
