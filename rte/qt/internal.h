// Pieces of the Qt side of the engine that know about each other: loop, TCP, view.
#pragma once

#include <string>

#include "rte/rte.h"

namespace rte::view {
// Creates the widget view of the model (QApplication must exist). Panels already loaded get
// their widgets; later ones as they come.
void Attach();
bool Attached();
// Qt dialog implementation of the pop-ups (for use with the view).
PopupBackend* QtPopups();
// Renders a panel (as it would show) to a PNG file. 0 or a negative code.
int GrabPanel(int panel, const std::string& pngPath);
// Prints a panel through Qt's print support; to a PDF when fileName is given.
int Print(int panel, const char* fileName);
// Repaints everything that changed now (the view otherwise coalesces to ~30 per second).
void FlushNow();
// Ends every open modal dialog as if cancelled (the program is stopping).
void CloseModalDialogs();
}  // namespace rte::view

namespace rte::tcp {
// Drops every connection and server (tests between cases).
void ResetAll();
}  // namespace rte::tcp
