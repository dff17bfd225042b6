// Database files loaded at start-up.
#pragma once

#include "telemetry/dbfiles.h"

namespace korvex {

struct DbState {
  ErrDb err;
  CmdDb cmd;
};

}  // namespace korvex
