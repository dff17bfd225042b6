// The commanding module: the operator's command line and the text command language.
#pragma once

#include <string>

namespace korvex {

struct Program;

// Registers the command line's callbacks.
void InstallCommanding(Program& p);

// Types a line into the command line and presses Enter, as the operator does.
int RunCommandLine(const std::string& line);
// Runs the line held in the command state (glbcmd / tempbuf).
void ExecuteLine();
void TextCommand();
// The line was refused: said in red, "COMMAND NOT SENT!" on the command line.
void CmdNg();

}  // namespace korvex

int CmdLine(int panel, int control, int event, void* data, int e1, int e2);
int SendLine(int panel, int control, int event, void* data, int e1, int e2);
