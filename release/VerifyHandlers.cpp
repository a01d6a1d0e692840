// Placeholder until the verification run is wired to the window.
#include "app/Unit1.h"

void TForm1::sfvfilelabClick() {}
void TForm1::cancelabClick() {}
