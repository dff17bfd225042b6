// The station's state: one object per module, each defined beside its module, gathered in one
// program context. Callbacks reach it through Ctx(); tests make a fresh one.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "commanding/cmd_state.h"
#include "core/archive.h"
#include "core/core_state.h"
#include "links/link_state.h"
#include "links/logfmt.h"
#include "telemetry/db_state.h"

namespace korvex {

struct Program {
  CoreState core;
  Archives arc;
  LinkState link;
  CmdLinkState cmdlink;
  LocalServerState local;
  LogState log;
  CmdState cmd;
  DbState db;
  Panels ui;
  TickDuties duties;
  bool headless = false;
  // Where headless runs send each event-log line (stdout by default).
  std::function<void(const std::string&)> echoOut;
  // Event list size kept: older lines leave the list (the ".log" archive keeps them all).
  std::size_t eventListMax = 5000;
};

Program& Ctx();
// Replaces the program context with a fresh one (tests, and start-up).
Program& NewContext();

}  // namespace korvex
