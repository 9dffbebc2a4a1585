#pragma once
// The program's icon (a film frame with an element travelling from its start
// to its end state), rendered from resources/moviloomster.svg at the usual
// sizes. Used by the about box, the main window and the desktop entry.

#include <QIcon>

QIcon ProgramIcon();
