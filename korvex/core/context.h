// The station's state: one object per module, named as the station's documents name them,
// gathered in one program context. Callbacks reach it through Ctx(); tests make a fresh one.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commanding/cmdline.h"
#include "core/archive.h"
#include "core/config.h"
#include "links/logfmt.h"
#include "links/record.h"
#include "telemetry/dbfiles.h"

namespace korvex {

inline constexpr const char* kVersion = "KORVEX 01-04-2006";

// Station core: start-up, configuration, timer.
struct CoreState {
  Config cfg;
  int aorb = 0;              // 0 unknown, 1 A, 2 B
  std::string sCraft;        // "A", "B" or ""
  std::uint32_t tick = 0;
  std::uint32_t watchdog = 0;
  std::int32_t spcDog = 0;
  int flagArr = 0;           // ARR wait state, served by the command link
  std::int8_t tickFlag = 0;
  int savecode = 0;
  int dayofyear = 0;
  std::uint8_t warn = 0;
  std::uint8_t delay = 0;
  std::uint32_t saveTick = 0;
  int wait = 0;
  int until = 0;
  std::uint32_t septimer = 0;
  std::array<std::uint32_t, 256> LogCnvt{};
  std::string titleBar;
  // strip-chart Y ranges
  double Ymin = 0, Ymax = 0, tMin = 0, tMax = 0, t1Min = 0, t1Max = 0, t2Min = 0, t2Max = 0;
};

// Duties of the one-second timer that other modules bring. Each is empty until its module is
// built; Tick calls them in this order between the day rotation and the tick count.
struct TickDuties {
  // Returns true when Tick must return at once (an ARR is awaited).
  std::function<bool()> arrWait;
  std::function<void()> scriptPause;
  std::function<void()> alertMail;
  std::function<void()> sepTimeout;
  std::function<void()> schedule;
  std::function<void()> plots;  // called on odd ticks
};

// Telemetry link and intake.
struct LinkState {
  int tHandle = -1;
  int gHandle = -1;          // command connection (command link)
  std::string telemServ;
  std::string serverName;
  unsigned portTlm = 0, portCmd = 0;
  unsigned cfgtport = 0, cfgcport = 0;
  int cfgtlm = 0;
  int cfgcmd = 0;
  int nomocset = 0;
  int displayOnOff = 0;
  Assembler rx;
  std::array<std::uint8_t, kRecordSize> decode{};
  // What each hex display last showed, so that a redraw (swap, start, length) shows the same
  // packet and not whatever came in last: the link panel and the two APID display panels.
  std::array<std::uint8_t, kRecordSize> linkShown{};
  std::array<std::array<std::uint8_t, kRecordSize>, 2> apidShown{};
  Counters counters;
  ApdIndex apdIndex;
  // Each complete record goes out to the local telemetry clients through this hook.
  std::function<void(const std::uint8_t* record)> forward;
  std::uint64_t records = 0;  // complete records handled
};

// Text command language.
struct CmdState {
  History history;
  std::string glbcmd;
  std::string tempbuf;
  int txflag = 0;
  int canceled = 0;
};

// Database files loaded at start-up.
struct DbState {
  ErrDb err;
  CmdDb cmd;
};

// Panel handles.
struct Panels {
  int splash = -1, main = -1, link = -1, cmdList = -1, eventLog = -1, instrEvents = -1;
  int shutdown = -1, apidDisp1 = -1, apidDisp2 = -1, range200 = -1, range300 = -1;
  int summary = -1, cmdFile = -1, strip = -1, localServer = -1;
  std::array<int, 15> group{};  // group panels 1..14
  std::array<int, 3> sepStrip{};
  std::vector<int> all;
};

struct Program {
  CoreState core;
  Archives arc;
  LinkState link;
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
