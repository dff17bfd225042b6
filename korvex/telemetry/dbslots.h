// The telemetry database held as line slots: each file's lines exactly as read, searched by
// name, with the item's alarm counter and last value text beside each line. Only the sensor
// coefficients, the sequence-mask bit names, the table index and the companion item index are
// parsed when the files are loaded. No engine calls here.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/loadnote.h"
#include "telemetry/dbfiles.h"

namespace korvex {

// An item line cut at its tabs. Fields beyond the line's own are empty. The gain fields that
// read as zero (an empty field or a keyword such as "YSI" included) read as 1.
constexpr int kItemFields = 18;
struct ItemLine {
  std::array<std::string, kItemFields> db;
  int offset = 0;
  double gainA = 1, offA = 0, gainB = 1, offB = 0;
  // Limits (fields 8 .. 11: RL, YL, YH, RH): on when the field is not empty and does not begin
  // with "N"; read with atoi for the integer check and atof for the floating check.
  std::array<bool, 4> limOn{};
  std::array<int, 4> limInt{};
  std::array<double, 4> limF{};
};
ItemLine SplitItemLine(std::string_view text);

// A table of 300-byte line slots. Name lookups take the first slot (in search order) whose text
// contains the name, compared without regard to case; the database never changes while the
// station runs, so each name's answer is remembered after its first lookup.
class SlotTable {
 public:
  explicit SlotTable(int capacity) : slots_(static_cast<std::size_t>(capacity)) {}
  int capacity() const { return static_cast<int>(slots_.size()); }
  int count() const { return count_; }
  LineSlot& slot(int i) { return slots_[static_cast<std::size_t>(i)]; }
  const LineSlot& slot(int i) const { return slots_[static_cast<std::size_t>(i)]; }
  std::string text(int i) const { return slots_[static_cast<std::size_t>(i)].text; }

  // Stores a line in the next slot (cut at 232 characters). False when the table is full.
  bool Append(std::string_view line, bool* cut = nullptr);
  // Puts a line into slot i (a slot that is then reused keeps nothing of the old line).
  void Put(int i, std::string_view line);
  void SetCount(int n);
  void Clear();
  // Searches only these slots, in this order (default: 0 .. count-1).
  void SetSearchOrder(std::vector<int> order);

  // Slot index of the first line containing name, or -1.
  int Find(std::string_view name) const;
  // The slot's line cut into its fields (cut once, then kept).
  const ItemLine& Item(int i) const;

  // Value text of slot i (at most 12 characters kept) and its number (atof).
  void SetValue(int i, std::string_view text);
  std::string Value(int i) const { return slots_[static_cast<std::size_t>(i)].value; }

 private:
  void Changed();
  std::vector<LineSlot> slots_;
  int count_ = 0;
  bool customOrder_ = false;
  std::vector<int> order_;
  struct NoCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const;
  };
  struct NoCaseEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  mutable std::vector<std::string> lower_;  // lower-case copies, made on the first lookup
  mutable std::unordered_map<std::string, int, NoCaseHash, NoCaseEq> found_;
  mutable std::vector<std::optional<ItemLine>> items_;
};

// Conversion constants of the processor file.
struct TlmCoeffs {
  std::array<double, 6> y{};  // yA .. yF, thermistor
  std::array<double, 3> r{};  // rA .. rC, platinum resistance thermometer
  std::array<double, 6> m{};  // mA .. mF, magnetometer temperature
  std::array<double, 3> u{};  // uA .. uC, STE-U current
  std::array<double, 3> d{};  // dA .. dC, analyzer/STE-D current
};

// Conversion constants of the SEP file.
struct SepCoeffs {
  std::array<double, 6> l{};  // lA .. lF, LET temperatures
  std::array<double, 6> s{};  // sA .. sF, SEP temperatures
  // nshv, nsdt, nsfo, nsss, nsp3, nsp2, nsp5, nsp6: four coefficients each
  std::array<std::array<double, 4>, 8> sit{};
  std::array<double, 4> vrp6{};
};

constexpr int kTlmSlots = 350, kSeqSlots = 32, kTblSlots = 300, kSepSlots = 300, kBrmSlots = 425;
constexpr int kSpcSlots = 150, kSpcLines = 85;
constexpr int kTbldx = 50, kTblCounts = 12;
constexpr int kSeqMaskBits = 32, kSeqMaskNameMax = 74;
constexpr std::array<int, 3> kSpcPanelLabels = {17, 13, 12};
constexpr std::array<int, 3> kSpcPanelFirstCtrl = {18, 14, 13};

struct TelemetryDb {
  SlotTable tlmdb{kTlmSlots};
  TlmCoeffs coeff;
  std::array<std::string, kSeqMaskBits> cdsqmk{};
  SlotTable seqdb{kSeqSlots};
  SlotTable tbldb{kTblSlots};
  std::array<int, kTbldx> tbldx{};
  std::array<int, kTblCounts> count{};
  SlotTable sepdb{kSepSlots};
  SepCoeffs sepCoeff;
  SlotTable brmdb{kBrmSlots};
  std::vector<int> brmItemLines;
  int brmCount = 0;
  SlotTable spcdb{kSpcSlots};
  std::array<std::vector<std::string>, 3> spcLabels;  // labels of the three spacecraft panels
};

// What loading a file gave: ok, or the pop-up (title, text) after which the station ends.
struct LoadResult {
  bool ok = true;
  std::string title, message;
  std::vector<LoadNote> notes;
};

// Texts of the loaders.
inline constexpr const char* kVantisDbTitle = "VANTIS Database";
inline constexpr const char* kSepDbTitle = "SEP Database";
inline constexpr const char* kYsiFailed = "There was a problem reading YSI parameters!";
inline constexpr const char* kRtdFailed = "There was a problem reading RTD parameters!";
inline constexpr const char* kMagFailed = "There was a problem reading MAG parameters!";
inline constexpr const char* kCurFailed = "There was a problem reading ISTEUCur conversions!";
inline constexpr const char* kMaskFailed =
    "There was a problem reading ICmdSeqMask Bit defintions!";
inline constexpr const char* kLetFailed = "There was a problem reading LET temperature parameters!";
inline constexpr const char* kSepTempFailed =
    "There was a problem reading SEP temperature parameters!";
inline constexpr const char* kSitFailed = "There was a problem reading SIT temperature parameters!";
inline constexpr const char* kMissingTitle = "ERROR!";
inline constexpr const char* kNoTlmFile = "Can't find telemetry database file!";
inline constexpr const char* kNoErrFile = "Can't find error database file!";
inline constexpr const char* kNoApdFile = "Can't find APID database file!";
inline constexpr const char* kNoSeqFile = "Can't find command sequence database file!";
inline constexpr const char* kNoTblFile = "Can't find table definitions database file!";
inline constexpr const char* kNoSepFile = "Can't find sep housekeeping database file!";
inline constexpr const char* kNoBrmFile = "Can't find brimlet housekeeping database file!";
inline constexpr const char* kNoSpcFile = "Can't find spacecraft database file!";
inline constexpr const char* kNoBasinFile = "Can't find BASIN.TXT!";
// Byte of the processor file from which the sequence-mask bit names are searched.
constexpr std::size_t kMaskSearchFrom = 22000;

// Loaders. `file` names the file in the notes; `content` is the whole file as read.
LoadResult LoadTlm(const std::string& file, const std::string& content, TelemetryDb& db);
LoadResult LoadSeq(const std::string& file, const std::string& content, TelemetryDb& db);
LoadResult LoadTbl(const std::string& file, const std::string& content, TelemetryDb& db);
LoadResult LoadSep(const std::string& file, const std::string& content, TelemetryDb& db);
LoadResult LoadBrm(const std::string& file, const std::string& content, TelemetryDb& db);
LoadResult LoadSpc(const std::string& file, const std::string& content, TelemetryDb& db);
LoadResult LoadBasin(const std::string& file, const std::string& content, TelemetryDb& db);

// Line k of table id, formatted for display: six fields, field 5 without further tabs, a
// hexadecimal default written "12h" shown as "0x12". Nothing when the table or line is unknown.
std::optional<std::array<std::string, 6>> TableLine(const TelemetryDb& db, int id, int k);

// The labels of the seven table panels: tables 1, 2, 3, 4, 5, 8 (all their lines) and the first
// 14 lines of table 10, counting down from the first control of each panel.
struct TableLabel {
  int panel = 0;  // 0 .. 6
  int control = 0;
  std::string text;
};
constexpr std::array<int, 7> kTableIds = {1, 2, 3, 4, 5, 8, 10};
constexpr std::array<int, 7> kTableFirstCtrl = {11, 9, 21, 31, 38, 60, 270};
constexpr int kTable10Shown = 14;
std::vector<TableLabel> TableLabels(const TelemetryDb& db);

// Name lookups across the tables, as the scripts and the limit checks use them.
constexpr double kNotFound = 999999.999999;
// Last value of the first line containing name in tlmdb, then sepdb, then brmdb.
double GetValue(const TelemetryDb& db, std::string_view name);
// Alarm counter of the first line containing name in the same order; nullptr when none.
unsigned char* GetAlarmCtr(TelemetryDb& db, std::string_view name);

}  // namespace korvex
