#pragma once
#include <QIcon>

// The program's icon, in 16 and 32 pixel images.
QIcon LumeskarIcon();
