// State of the command line and the text command language.
#pragma once

#include <string>

#include "commanding/cmdline.h"

namespace korvex {

struct CmdState {
  History history;
  std::string glbcmd;   // the line as typed
  std::string tempbuf;  // its compact form (lower case, no blanks)
  int txflag = 0;       // the line was carried out
  int canceled = 0;
};

}  // namespace korvex
