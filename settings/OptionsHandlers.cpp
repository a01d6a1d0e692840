// Placeholder until the options panel's reactions are wired to the window.
#include "app/Unit1.h"

void TForm1::assocfilesClick() {}
void TForm1::Button2Click() {}
void TForm1::extracttodircbClick() {}
void TForm1::choosecbClick() {}
void TForm1::afterextboxClick() {}
void TForm1::SpeedButton3Click() {}
void TForm1::binbuttonClick() {}
void TForm1::cuebuttonClick() {}
void TForm1::wwrapcbClick() {}
void TForm1::aotcbClick() {}
void TForm1::pluginbuttonClick() {}
