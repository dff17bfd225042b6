// Database files loaded at start-up, and the state of the telemetry decoders.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "telemetry/dbfiles.h"
#include "telemetry/dbslots.h"
#include "telemetry/decode.h"

namespace korvex {

// A control that shows a named value, with what it shows now (so that an unchanged value is
// not written again).
struct CtrlRef {
  int panel = -1;
  int ctrl = 0;
  std::string last;
  int lastPaint = -2;
};

struct DbState {
  ErrDb err;
  CmdDb cmd;
  TelemetryDb tdb;

  // Decoder state.
  HkState hk;
  HkOut hkOut;
  DumpState dump;
  SpcAlarms spcalrm{};
  std::array<SpcPlan, 5> spcPlans;  // by spacecraft APID, made on the first packet
  std::array<bool, 5> spcPlanned{};
  // What each spacecraft control shows now (text and colour), so that unchanged values are not
  // written again.
  std::array<std::array<std::string, 26>, 3> spcShown{};
  std::array<std::array<int, 26>, 3> spcPaint{};
  std::vector<SpcOut> spcOut;
  std::vector<AlarmLine> spcLogs;
  // Command verification.
  int pcmdcount = 0;
  bool cmdCountSeen = false;
  int totcnt = 0;

  // Panels of the telemetry module, found by their titles at start-up.
  std::deque<std::string> labels;  // storage of the names below
  std::unordered_map<std::string_view, std::vector<CtrlRef>> byName;
  std::array<int, 7> tablePanels{-1, -1, -1, -1, -1, -1, -1};
  std::array<int, 3> spcPanels{-1, -1, -1};
  int memoryPanel = -1, maskPanel = -1, seqDumpPanel = -1, cvPanel = -1;

  // Alarm texts go on to the e-mail alerts through this hand-off (empty until that module
  // fills it).
  std::function<void(const std::string&)> toEmail;
};

}  // namespace korvex
