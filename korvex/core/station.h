// The station core: start-up, the one-second timer, archives and shutdown; and the one place
// where the modules are installed, in the order start-up needs them.
#pragma once

#include <string>
#include <vector>

#include "commanding/commanding.h"
#include "core/context.h"
#include "links/links.h"
#include "telemetry/telemetry.h"

namespace korvex {

// Start-up results.
enum StartResult { kStarted = 0, kPanelFailed = -1, kEnded = 1 };

// Registers the core's callbacks (timer, quit, print, recording switch).
void InstallCore(Program& p);
// Every module, in order: core, links, telemetry, commanding. Call on a fresh context, before
// StartStation (the resource files bind callbacks by name when they load).
void InstallStation(Program& p);

// Loads the panels, reads the configuration and databases, opens the archives and shows the
// main window. kEnded: the operator was told why and the program ends.
int StartStation();
// After the event loop has ended: close the connections that are open.
void StopStation();
// At the very end of the program: every archive closed (each write is flushed already).
void CloseArchives();

// Reads a text file (path relative to the working directory, any letter case) line by line.
bool ReadTextLines(const std::string& path, std::vector<std::string>* lines);

// Archives.
void OpenTlmArchive();               // opens a new ".tlm" and shows its name
void RotateArchives();               // day change
void ReopenArchivesForSpacecraft();  // the telemetry now comes from the other spacecraft

// One timer tick.
int DoTick();
// Keyboard focus back to the command line, as every button does when it is done.
void GiveFocusToCommandLine();

}  // namespace korvex

// Callbacks bound by name from the resource files.
int Quit_a(int panel, int control, int event, void* data, int e1, int e2);
int HidePanelCb(int panel, int control, int event, void* data, int e1, int e2);
int Tick(int panel, int control, int event, void* data, int e1, int e2);
int ResetTime(int panel, int control, int event, void* data, int e1, int e2);
int Print(int panel, int control, int event, void* data, int e1, int e2);
int recordOnOff(int panel, int control, int event, void* data, int e1, int e2);
