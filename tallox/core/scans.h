// Whole-file scans over the record source: APID counts, burst continuity, packet spacing
// histogram, packet rates, housekeeping statistics.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "source.h"

namespace tallox {

// Where a scan reads from: the chosen file, the main-panel settings and the record source.
struct ScanInput {
  std::string FileName;
  SourceControls ctl;
  RecordSource source;
  Progress progress;  // optional
};

// ---- APID scan ---------------------------------------------------------------------------------
struct ApidScan {
  std::array<std::uint64_t, 128> slotCount{};   // APID 0x200 + i
  std::array<std::uint64_t, 128> slotErrors{};  // sequence gaps plus checksum errors
  std::array<std::uint32_t, 128> lastSeq{};
  std::array<bool, 128> seen{};
  std::uint64_t count300 = 0, countLow = 0, invalid = 0, total200 = 0;
  std::uint64_t checksumErrors = 0, sequenceGaps = 0, records = 0;
  bool cancelled = false;
  std::string error;  // why nothing could be read, if so

  void add(const std::uint8_t* rec, bool swap);

  struct Row {
    std::string label;  // "200" or "244-24A"
    std::uint64_t count = 0, errors = 0;
  };
  // The single APIDs and the four groups the scan panel lists, in panel order.
  std::vector<Row> listed() const;
  // 0x200-range packets that are in none of the listed rows.
  std::uint64_t other() const;
  std::uint64_t grandTotal() const { return total200 + invalid; }
};

ApidScan ScanApIDs(ScanInput& in);
// The label of the 0x200-range packets plus the invalid ones: not every packet of the file, so
// the label says what it counts.
constexpr const char* kTotalLabel = "Total 200-27F and invalid";
// "label: value" lines, one a line, as the scan panel shows them.
std::string FormatApidScan(const ApidScan& s);

// ---- burst continuity log ----------------------------------------------------------------------
constexpr unsigned kBurstApids[4] = {0x209, 0x211, 0x221, 0x223};

// One line of the continuity log as data.
struct BurstEvent {
  enum Kind { First, Skip, Last };
  std::uint64_t index;  // record index the line names
  Kind kind;
  unsigned apid;
  std::uint32_t from, to;  // the time named (Skip: the last time before the gap and the time after)
  int missing;             // Skip: packets missing
};

struct BurstScan {
  std::string log;                       // the text box
  std::vector<BurstEvent> events;        // the same lines as data
  std::array<std::uint64_t, 5> counts{};  // per burst APID, then all other records
  std::uint64_t records = 0;
  bool cancelled = false;
  std::string error;
};
// selected: one of the burst APIDs, or 0 for all.
BurstScan ScanBurst1(ScanInput& in, unsigned selected);
std::string FormatBurstCounts(const BurstScan& s);

// ---- packet spacing histogram ------------------------------------------------------------------
constexpr int kHistBins = 1000000;

struct TimingResult {
  std::vector<int> dThist;  // kHistBins bins
  std::uint64_t packets = 0;
  int smallest = 999999, largest = 0;
  int rangeStart = 0, rangeEnd = 0;  // plotted bins [rangeStart, rangeEnd]
  bool fine = false;
  bool cancelled = false;
  std::string error;
  double binSeconds() const { return fine ? 1.0 / 65536 : 1.0 / 256; }
  std::string packetsText() const;  // "%d Packets"
};
TimingResult StartTiming(ScanInput& in, unsigned apid, bool fine);
std::string FormatTiming(const TimingResult& t);

// ---- packet-rate plot --------------------------------------------------------------------------
constexpr int kRateRows = 10;
constexpr int kRateBins = 3000;

struct RateRow {
  unsigned first = 0, number = 0;
};
struct RateResult {
  std::vector<std::array<int, kRateBins>> counts = std::vector<std::array<int, kRateBins>>(kRateRows);
  std::uint32_t start = 0, latest = 0;
  int maxBin = 0;
  int yMin = 100000, yMax = 0;  // over the rows in use up to maxBin
  bool any = false;
  bool cancelled = false;
  std::string error;
};
// groundTime: use the record header's ground time stamp instead of the packet time.
RateResult PlotPkt(ScanInput& in, const std::array<RateRow, kRateRows>& rows, bool groundTime);
// The colours of rows (and plot selectors) 0-9.
extern const int kTenColours[10];

// ---- housekeeping statistics -------------------------------------------------------------------
struct HkStats {
  std::uint64_t records = 0, hk = 0;
  std::uint64_t idErrors = 0, seqErrors = 0, lenErrors = 0, chkErrors = 0;
  std::string firstTime, firstClock, lastTime, lastClock;
  unsigned firstByte40 = 0, firstByte41 = 0;
  double spacingMax = 0, spacingMin = 1000000, spacingSum = 0;
  std::uint64_t byte40Changes = 0, byte41Changes = 0;
  double clockMax = 0, clockMin = 100000, clockSum = 0;
  unsigned word42Max = 0;
  double word44Sum = 0;
  unsigned byte46Max = 0;
  std::uint64_t byte46Full = 0;
  std::uint64_t incByte49 = 0, incWord50 = 0, incWord54 = 0;
  bool cancelled = false;
  std::string error;

  double spacingMean() const { return hk > 1 ? spacingSum / double(hk - 1) : 0.0; }
  double clockMean() const { return hk > 1 ? clockSum / double(hk - 1) : 0.0; }
  double word42MaxScaled() const { return 3.2e-05 * word42Max; }
  double word44Mean() const { return hk ? word44Sum / double(hk) : 0.0; }
  double byte46MaxScaled() const { return Uncompress(byte46Max) / 65536.0; }
};
HkStats ScanHKP(ScanInput& in);
std::string FormatHkStats(const HkStats& s);

// "%2d:%02d:%02d" of an instrument clock word (hours in bits 15-12, minutes 11-6, seconds 5-0).
std::string ClockText(unsigned k);

}  // namespace tallox
