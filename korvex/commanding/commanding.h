// The commanding module: the operator's command line and the text command language.
#pragma once

#include <string>
#include <vector>

namespace korvex {

struct Program;
struct PendingEntry;

// Registers the command line's callbacks.
void InstallCommanding(Program& p);

// Types a line into the command line and presses Enter, as the operator does.
int RunCommandLine(const std::string& line);
// Runs the line held in the command state (glbcmd / tempbuf).
void ExecuteLine();
void TextCommand();
// The line was refused: said in red, "COMMAND NOT SENT!" on the command line.
void CmdNg();

// SCMs: the spacecraft command line in glbcmd encoded and, once the SCM is complete, sent.
void Commands();
// Start-up: empty SCM buffers and the header from the SCM panel.
void Scm_Init();
// Start-up's last step: the screen layout record takes the arrangement the station started with.
void CaptureStartLayout();
// Verification entries of an SCM that went out, to the end of the command verification list
// (the count, the first visible line, lcvCnt and cvBoxi follow).
void ListVerificationEntries(const std::vector<PendingEntry>& moved);
// Shows the four sequence counters on the SCM panel.
void ShowCounters();
// A bad ARR declined: the last SCM's verification entries and sequence counts are undone.
void RemoveCvCmds();
// The script slots as an empty script list leaves them (no script running).

}  // namespace korvex

int CmdLine(int panel, int control, int event, void* data, int e1, int e2);
int SendLine(int panel, int control, int event, void* data, int e1, int e2);
int MocHeader(int panel, int control, int event, void* data, int e1, int e2);
int CVClear(int panel, int control, int event, void* data, int e1, int e2);
// Menu entries of the main window.
void menuCmd(int menuBar, int menuItem, void* data, int panel);
void SaveDisplay(int menuBar, int menuItem, void* data, int panel);
void RecallDisplay(int menuBar, int menuItem, void* data, int panel);
