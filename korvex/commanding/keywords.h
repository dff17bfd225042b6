// Inside the commanding module: the handlers of the text command language, by family, and the
// helpers they share. Each handler reads the line from the command state (glbcmd as typed,
// tempbuf compact) and sets txflag when it understood the line.
#pragma once

#include <string>

namespace korvex {

struct Program;

// Shared.
bool Off(const std::string& compact);  // the compact form holds "off"
void SetCommandLine(const char* text);
// A station message in the command line ("COMMAND NOT SENT!"): shown selected, so that the
// operator's next line replaces it instead of being glued to it.
void ShowCommandLineMessage(const char* text);
void EnableSend(bool on);              // the command line's send control (dimmed while waiting)
std::string MessagePrefix();           // "MM-DD-YYYY HH:MM:SS "

// A spacecraft command line from the command line or a script.
void SpacecraftCommand(const std::string& line);
// An SCM remark sent as the string of a no-op command.
void SysRem(const std::string& text);

// Script queue: the script list of the command list panel; item 0 runs next.
int QueueCount();
std::string QueueItem(int index);
void QueueInsert(int index, const std::string& line);
void QueueDelete(int index);
void QueueClear();

// Settings: keywords_settings.cpp.
void KwLog();
void KwEcho();
void KwRec();
void KwQuit();
void KwSet();
void KwBadCks();
void KwSendScm();
void KwSaveCmd();
void KwSnapshot();

// Scripts and conditions: script.cpp.
void KwWaitUntil();
void KwIf();
void KwWait();
void KwStart();
void KwEndProc();
void KwGo();
void KwCancel();
// Runs a script file: its lines go to the front of the queue (LdMac).
void LdMac(const std::string& name);
// The timer's script duties: pause, conditions and the next step.
void ScriptTick();
void Finish();
void InstallScripts(Program& p);

// Variables: variables_glue.cpp.
void KwLet();
void KwFree();
void InstallVariables(Program& p);

// Files and schedules: keywords_files.cpp.
void KwLoad();
void KwSend();  // a stored SCM (scmglue.cpp)
void KwSchedule();
void ScheduleTick();
void InstallFiles(Program& p);

}  // namespace korvex
