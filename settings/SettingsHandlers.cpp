// Placeholder until the settings file is wired to the window.
#include "app/Unit1.h"

bool TForm1::LoadSettings() { return true; }
bool TForm1::ProbeAssociation() { return true; }
