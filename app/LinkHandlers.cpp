// Placeholder until the clickable links are wired to the window.
#include "app/Unit1.h"

void TForm1::editKeyUp(QKeyEvent*) {}
void TForm1::editMouseMove(QMouseEvent*) {}
void TForm1::editMouseUp(QMouseEvent*) {}
void TForm1::Memo1MouseDown(QMouseEvent*) {}
void TForm1::Memo1MouseMove(QMouseEvent*) {}
void TForm1::Memo1MouseUp(QMouseEvent*) {}
void TForm1::aboutboxMouseMove(QMouseEvent*) {}
