// Placeholder until the extraction flows are wired to the window.
#include "app/Unit1.h"

void TForm1::CreateExtractor() {}
void TForm1::DestroyExtractor() {}
void TForm1::Label5Click() {}
void TForm1::popupdirboxKeyUp(QKeyEvent*) {}
void TForm1::sfvpopupboxKeyUp(QKeyEvent*) {}
void TForm1::winrarError(TRAR*, int) {}
void TForm1::winrarExtracting(TRAR*, const RARHeaderData&) {}
void TForm1::winrarExtract(TRAR*, const RARHeaderData&, bool) {}
