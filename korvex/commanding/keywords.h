// Inside the commanding module: the handlers of the text command language, by family, and the
// helpers they share. Each handler reads the line from the command state (glbcmd as typed,
// tempbuf compact) and sets txflag when it understood the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
// Written to the event list and, with a line end, to the event archive.
void ListAndArchive(const std::string& text, const char* colour);

// Screen layouts: layout_glue.cpp.
void KwPage();
void SaveDisplayNow(bool ask);  // ask = offer the file dialog (every call after the first)
void RecallDisplayNow();        // the file dsplFile names, else the file dialog
void CaptureStartLayout();      // the record takes the start-up arrangement (once)

// Sequence recording: keywords_sequence.cpp.
void KwStartSequence();
void KwEndSequence();
// A spacecraft command encoded while recording: its load line goes into the sequence file.
void RecordPacket(const std::string& line, const std::vector<std::uint8_t>& packet);
// A running script holds here until "go": "Wait" in front of its queue.
void HoldScript();

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
