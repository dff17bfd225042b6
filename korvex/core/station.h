// The station's callbacks and the entry points the program and its tests use. Callbacks have the
// engine's shapes; they are thin glue between the panels and the pure functions.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"

namespace korvex {

// Start-up results.
enum StartResult { kStarted = 0, kPanelFailed = -1, kEnded = 1 };

// Registers every callback the resource files name (call before StartStation).
void RegisterCallbacks();
// Loads the panels, reads the configuration and databases, opens the archives and shows the
// main window. kEnded: the operator was told why and the program ends.
int StartStation();
// After the event loop has ended: close the connections that are open.
void StopStation();
// At the very end of the program: every archive closed (each write is flushed already).
void CloseArchives();

// Reads a text file (path relative to the working directory, any letter case) line by line.
bool ReadTextLines(const std::string& path, std::vector<std::string>* lines);

// Event log.
void LogMessage(const std::string& text, const char* colour);
void EventLog();

// Telemetry link.
int RequestConnect(int which);
void HandleRecord();  // one whole record in Ctx().link.rx

// Archives.
void OpenTlmArchive();  // opens a new ".tlm" and shows its name
void RotateArchives();  // day change

// Command line: type a line and press Enter, as the operator does.
int RunCommandLine(const std::string& line);
void ExecuteLine();
void TextCommand();
void CmdNg();
void GiveFocusToCommandLine();

// One timer tick.
int DoTick();

}  // namespace korvex

// Callbacks bound by name from the resource files.
int Quit_a(int panel, int control, int event, void* data, int e1, int e2);
int HidePanelCb(int panel, int control, int event, void* data, int e1, int e2);
int Tick(int panel, int control, int event, void* data, int e1, int e2);
int ResetTime(int panel, int control, int event, void* data, int e1, int e2);
int Print(int panel, int control, int event, void* data, int e1, int e2);
int CmdLine(int panel, int control, int event, void* data, int e1, int e2);
int SendLine(int panel, int control, int event, void* data, int e1, int e2);
int TCP_SWITCH(int panel, int control, int event, void* data, int e1, int e2);
int recordOnOff(int panel, int control, int event, void* data, int e1, int e2);
int ClearReceive(int panel, int control, int event, void* data, int e1, int e2);
int All_Apids(int panel, int control, int event, void* data, int e1, int e2);
int ApidChange(int panel, int control, int event, void* data, int e1, int e2);
int ClearApid(int panel, int control, int event, void* data, int e1, int e2);
int ClearApidCounts(int panel, int control, int event, void* data, int e1, int e2);
int ClearSelectedApidCounts(int panel, int control, int event, void* data, int e1, int e2);
int SwapOnOFF(int panel, int control, int event, void* data, int e1, int e2);
int displayStartStop(int panel, int control, int event, void* data, int e1, int e2);
int ClientCallback(unsigned handle, int xType, int errCode, void* data);
