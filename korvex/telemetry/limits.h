// Limit checks and alarms: the analog zones with their persistence counters, the digital
// (status bit) checks, the spacecraft limits and the command verification. Pure functions: they
// return what to paint and what to log; the callers show it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "telemetry/convert.h"
#include "telemetry/dbslots.h"

namespace korvex {

constexpr int kWhite = 0xFFFFFF, kRedBg = 0xFF0000, kYellowBg = 0xFFFF00;
constexpr int kUnpowered = 0x0080FF;  // a value not checked because its unit is off
constexpr int kNoPaint = -1;

// Alarm settings and the warm-up state.
struct AlarmCfg {
  int alim = 0;       // samples in a row before an alarm is raised
  bool warm = false;  // the warm-up (wlim receptions) has passed
};

// What one check asks for.
struct CheckResult {
  int paint = kNoPaint;        // background colour to paint, or kNoPaint
  bool alarm = false;          // log `text` in `red` or yellow and hand it to the mail
  bool red = false;
  std::string text;
};

// Analog check (ChkLim / fChkLim) of value against fields 8-11 of the item's line. counter: the
// item's alarm counter byte (zone in the top two bits, samples in the low six). label: the
// control's label (the alarm text begins with it). integer: atoi limits and "%d" texts, else atof
// and "%.2f".
CheckResult CheckLimits(unsigned char& counter, double value, const ItemLine& item, bool integer,
                        const AlarmCfg& cfg, std::string_view label);

// Digital check of one status bit or state. ctr: the check's counter.
enum class DigStep { None, Normal, Counting, Raise, Repaint };
DigStep DigCheck(unsigned char& ctr, bool abnormal, const AlarmCfg& cfg);

// Spacecraft limits of a line with eleven tokens; ctr: the control's persistence counter.
// key: the item key; shown: the value text as shown.
CheckResult SpcCheck(unsigned char& ctr, double value, const SpcPar& par, const AlarmCfg& cfg,
                     std::string_view key, std::string_view shown);

// Command verification.
struct CvEntry {
  std::string label;  // begins with the packet's first two bytes in hexadecimal
  int value = 0;      // sequence number
};
// Command ID of a verification entry (-1 when its label holds no two hexadecimal bytes).
int CvCommandId(std::string_view label, bool cmdSwap);
struct CmdVerResult {
  int d = 0;            // new commands counted by the processor
  bool reset = false;   // the processor was reset: sequence-error counters to 0
  int remove = 0;       // entries to remove from the front of the list (the match and before)
  std::string warning;  // red log line, empty when none
};
// cmdcount: the counter of this packet; pcmdcount: the one of the previous check (updated).
CmdVerResult CmdVer(int& pcmdcount, int cmdcount, int cmdlid, int lastSeq,
                    const std::vector<CvEntry>& list, bool cmdSwap, std::string_view tcmdlid);

// Processor error block (code, data, count).
struct ErrState {
  int remembered = 0;      // count at the last change
  unsigned char reports = 0;  // error-report counter (never reset)
};
struct ErrResult {
  bool clear = false;     // count 0: clear the text, paint the error controls white
  bool changed = false;   // show `text`
  std::string text;
  std::vector<std::string> alarms;  // red log lines (also handed to the mail)
};
ErrResult ErrorBlock(ErrState& st, int code, int data, int count, const ErrDb& err,
                     const AlarmCfg& cfg);

}  // namespace korvex
