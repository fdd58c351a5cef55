#pragma once

#include <QIcon>

// The program's icon in its two sizes, 32 x 32 and 16 x 16 pixels: every window and the
// notification area show it.
QIcon appIcon();
