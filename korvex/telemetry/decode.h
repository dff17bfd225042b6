// Decoding of the processor housekeeping (APID 0x200), the table and memory dumps (0x201) and
// the spacecraft packets (read by the labels of the spacecraft panels). The decoders work on the
// packet as the station holds it and on the database state; what they produce is a list of
// value texts for the controls labelled with each item's name, colours, and alarm lines. The
// station's glue shows them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "telemetry/dbfiles.h"
#include "telemetry/dbslots.h"
#include "telemetry/limits.h"

namespace korvex {

// Power flags and the other state the housekeeping handler keeps between packets.
constexpr int kDigChecks = 112;
struct HkState {
  int uap = 0, dap = 0;   // bit 0 interface active, bit 1 analog front end powered
  int vp = 0, hk = 0;     // companion instrument, magnetometer interface active
  int vsw = 0, vst = 0;   // analyzer/STE-D, STE-U unit active (their status words are decoded)
  int v2 = 0;             // software version above 19
  ErrState err;
  std::array<unsigned char, kDigChecks> digErrCtr{};
  std::array<int, kDigChecks> digColour{};  // colour each digital check last painted (0 = none)
  std::unordered_set<std::string> reportedMissing;
  // Command verification inputs of the last packet.
  int cmdcount = 0, cmdlid = 0, cmdLastSeq = 0;
  std::string tcmdlid;
};

// One value for the controls labelled `name`.
struct Shown {
  const char* name = "";
  std::string text;
  int paint = kNoPaint;
  bool hasText = true;
};

struct AlarmLine {
  std::string text;
  bool red = false;
};

struct HkOut {
  std::vector<Shown> values;
  std::vector<AlarmLine> alarms;       // logged and handed to the mail
  std::vector<std::string> missing;    // items the database lacks (reported once each)
  bool cmdVerDue = false;              // the command counters were decoded
  bool seqMaskValid = false;
  std::uint32_t seqMask = 0;
  void Clear() {
    values.clear();
    alarms.clear();
    missing.clear();
    cmdVerDue = false;
    seqMaskValid = false;
  }
};

struct HkContext {
  TelemetryDb& db;
  HkState& st;
  const ErrDb& err;
  const CmdDb* cmd = nullptr;
  int aorb = 1;
  AlarmCfg cfg;
  long timeOffset = 0;  // added to the packet's seconds to give seconds since 1970
};

// Texts of the housekeeping handler.
inline constexpr const char* kNoSeqRunning = "No Command Sequence Running";
inline constexpr const char* kNotInDatabase = " NOT IN DATABASE";
// Names of the controls that are not items of the database.
inline constexpr const char* kPacketTimeCtrl = "Packet Time";
inline constexpr const char* kErrorTextCtrl = "Error Text";
inline constexpr const char* kLastCmdNameCtrl = "Last Command";
inline constexpr const char* kDrevCoverCtrl = "IDREVSTEDDig Cover";
inline constexpr const char* kDrevSwitchCtrl = "IDREVSTEDDig Cover Switch";
inline constexpr const char* kSteuCoverCtrl = "ISTEUDig Cover";
inline constexpr const char* kSteuSwitchCtrl = "ISTEUDig Cover Switch";

// The processor housekeeping packet (272 bytes, station frame).
void ExtConvDisplay(const std::uint8_t* packet, HkContext& ctx, HkOut& out);

// Every control name the housekeeping handler writes, grouped by the panel that shows them
// (the resource generator and the tests use this list).
struct HkPanelDef {
  const char* title;
  std::vector<const char*> names;
};
const std::vector<HkPanelDef>& HkPanels();

// Table and memory dumps (APID 0x201).
struct DumpState {
  int id16Packets = 0;  // packets of table 16 so far (offsets run on over four packets)
};
struct DumpOut {
  int id = -1;
  std::string time;                  // asctime with the fraction
  std::vector<std::string> lines;    // text box lines (memory pages, tables 16 and 17)
  struct Entry {
    int panel = 0;                   // table panel 0 .. 6
    int control = 0;
    std::uint32_t value = 0;
  };
  std::vector<Entry> entries;        // table contents
  struct Sequence {
    int number = 0;                  // 0 .. 31
    std::vector<std::string> lines;  // hex listing of the 128 bytes
  };
  std::vector<Sequence> sequences;
};
DumpOut TableDump(const std::uint8_t* packet, const TelemetryDb& db, DumpState& st, int cfgtswap,
                  long timeOffset);

// Spacecraft packets: the values of the labelled controls of the three spacecraft panels.
struct SpcAlarm {
  char text[13] = {};
  unsigned char ctr = 0;
};
using SpcAlarms = std::array<std::array<SpcAlarm, 26>, 3>;
struct SpcOut {
  int panel = 0;     // 0 .. 2
  int control = 0;
  std::string text;
  int paint = kNoPaint;
};
// The items one spacecraft APID carries: the labelled controls whose key (label + suffix) is in
// the spacecraft table, with their split lines. The database never changes while the station
// runs, so each APID's plan is made once.
struct SpcItem {
  int panel = 0, index = 0, control = 0;
  std::string key;
  SpcPar par;
};
using SpcPlan = std::vector<SpcItem>;
// suffix: "_00B", "_00C", "_00D", "_01C" or "_01E".
SpcPlan PlanByLabel(const TelemetryDb& db, const char* suffix);
void ReadByLabel(const std::uint8_t* packet, const SpcPlan& plan, SpcAlarms& alarms,
                 const AlarmCfg& cfg, std::vector<SpcOut>& out, std::vector<AlarmLine>& logs);
void ReadByLabel(const std::uint8_t* packet, const char* suffix, const TelemetryDb& db,
                 SpcAlarms& alarms, const AlarmCfg& cfg, std::vector<SpcOut>& out,
                 std::vector<AlarmLine>& logs);
// Spacecraft suffix of an APID, or nullptr when the APID is not read by label.
const char* SpcSuffix(int apid);

}  // namespace korvex
