// State of the command line and the text command language.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "commanding/cmdline.h"
#include "commanding/conditions.h"
#include "commanding/layout.h"
#include "commanding/script_text.h"
#include "commanding/scm.h"
#include "commanding/sequence.h"

namespace korvex {

struct CmdState {
  History history;
  std::string glbcmd;   // the line as typed
  std::string tempbuf;  // its compact form (lower case, no blanks)
  int txflag = 0;       // the line was carried out
  int canceled = 0;
  ScmState scm;          // the SCM being built and the last one sent
  // Command verification list (cmdbox.uir panel 10).
  int cmdcnt = 0;        // entries pending (follows the list, which verification empties)
  int cvBoxi = 0;        // items in the list after the last SCM went out
  int boxindex = 0;      // items added since start
  // Screen layouts: the record last saved or recalled (the start-up arrangement until then).
  Srd srd{};
  int panInit = 0;       // srd holds the start-up arrangement
  std::string dsplFile;  // the layout a "page" line names
};

// Scripts, conditions and the language's switches.
struct ScriptState {
  std::array<ScriptSlot, kScriptLevels> levels;  // one slot a level
  int scf = 0;          // current level: 0 typed commands, 1-10 scripts
  int scrflg = 0;       // a script is running
  int held = 0;         // the line just stepped put "Wait" in front: the step ends
  std::string macfile;  // the script file name last given
  Condition cond;       // the pending "wait until" / the last "if"
  int okscm = 0;        // stored SCMs may be sent while a script runs
  int svcmd = 0;        // sent SCMs are appended to the ".svc" archive
  std::string sepfile;  // the stored SCM being sent
  // Sequence recording.
  int doCmdseq = 0;
  std::FILE* seqfp = nullptr;
  SequenceRecording seq;  // its load lines' bank, the next line and the offset
};

}  // namespace korvex
