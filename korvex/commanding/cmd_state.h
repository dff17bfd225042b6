// State of the command line and the text command language.
#pragma once

#include <string>

#include "commanding/cmdline.h"
#include "commanding/scm.h"

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
};

}  // namespace korvex
