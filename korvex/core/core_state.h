// State of the station core: start-up, configuration, the one-second timer and its duties,
// and the panel handles.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/loadnote.h"

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
  int tickFlag = 0;  // seconds waited for the ARR (an int: any cfgarrd is reached)
  int savecode = 0;
  int dayofyear = 0;
  std::uint8_t warn = 0;
  std::uint32_t delay = 0;   // seconds of a timed script wait (0 = none)
  std::uint32_t saveTick = 0;
  int wait = 0;
  int until = 0;
  std::uint32_t septimer = 0;
  std::array<std::uint32_t, 256> LogCnvt{};
  std::string titleBar;
  // What the readers of the configuration and databases skipped, logged once the log is open.
  std::vector<LoadNote> loadNotes;
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

// Panel handles.
struct Panels {
  int splash = -1, main = -1, link = -1, cmdList = -1, eventLog = -1, instrEvents = -1;
  int shutdown = -1, apidDisp1 = -1, apidDisp2 = -1, range200 = -1, range300 = -1;
  int summary = -1, cmdFile = -1, strip = -1, localServer = -1, localClients = -1;
  int clientMessages = -1, sep = -1;
  int variables = -1, schedule = -1, cmdBox = -1, comment = -1, logView = -1, cvView = -1;
  int arr = -1, cmdVerify = -1, scm = -1;
  std::array<int, 32> cmdSeq{};  // command-sequence panels 0-31 (cmdseq.uir 1-32)
  std::array<int, 15> group{};  // group panels 1..14
  std::array<int, 3> sepStrip{};
  std::vector<int> all;
};

}  // namespace korvex
