// The small handlers that only show and hide the overlay panels. The about
// panel and the options panel exclude each other; neither is modal.
#include "app/Unit1.h"

void TForm1::helplabClick() {
  if (optionspanel->isHidden()) aboutbox->show();
}

void TForm1::transparentlabClick() {
  if (aboutbox->isHidden()) optionspanel->show();
}

void TForm1::Button1Click() { aboutbox->hide(); }

// Closes the options panel. Nothing is undone and nothing is written: the
// controls are the settings, so changes stay in effect until the program ends.
void TForm1::Button3Click() { optionspanel->hide(); }
