// Telemetry records: assembly of the 298-byte records from the TCP stream, the packet check
// (byte order, APID, checksum) and the per-APID counters. No platform calls here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvex {

// A telemetry record: the 26-byte ground header and one 272-byte packet.
constexpr std::size_t kRecordSize = 298;
constexpr std::size_t kHeaderSize = 26;
constexpr std::size_t kPacketSize = 272;
constexpr std::size_t kTcpBufSize = 2048;
constexpr std::uint8_t kSpacecraftA = 0xEA;
constexpr std::uint8_t kSpacecraftB = 0xEB;
constexpr int kApidAll = 0xFFF;
constexpr int kChksumTotal = 4094;

// Exchanges bytes 2k and 2k+1 for k = 0 .. pairs-1.
void bytswp(std::uint8_t* buf, int pairs);

// Record assembly across reads. The stream has no markers: a record is complete when 298 bytes
// are held.
struct Assembler {
  std::array<std::uint8_t, kTcpBufSize> tcpbuf{};
  std::size_t held = 0;    // 0-298
  std::size_t wanted = 0;  // bytes still wanted for the current record
};

// How many bytes to ask the socket for (298 when nothing is wanted yet).
std::size_t WantBytes(Assembler& a);
// Appends what was read; never takes more than the record still wants, whatever n is.
// Returns the number of bytes taken. True in *complete when the record is whole.
std::size_t AppendBytes(Assembler& a, const std::uint8_t* data, std::size_t n, bool* complete);
// After a record was handled: both buffers cleared, held and wanted 0.
void ResetAssembler(Assembler& a);

enum class ApidClass { Spacecraft, Suite, Companion, Illegal };
ApidClass ClassOf(int apid);
bool NeedsDataSwap(int apid);  // 0x241 and the spacecraft APIDs read by label

// Result of the packet check.
struct ApidResult {
  int apid = 0;         // 0 for an illegal APID
  int rawApid = 0;      // as read from the packet
  bool illegal = false;
  bool badChecksum = false;
};

// Copies the record into decode (298 bytes), applies the station's byte order and checks APID and
// checksum.
ApidResult GetApid(const std::uint8_t* record, int cfgtswap, std::uint8_t* decode);

// 8-bit sum of the 272 packet bytes.
std::uint8_t PacketSum(const std::uint8_t* packet);

// Spacecraft identification of record byte 6: 1 (A) or 2 (B) when it changes the current aorb,
// else 0.
int SpacecraftChange(std::uint8_t byte6, int aorb);

// APID list index: per APID the summary control counting its group and the group panel/control
// counting the APID itself. groupPanel 0 = not listed.
struct ApdEntry {
  int summaryPanel = 0;
  int summaryCtrl = 0;
  int groupPanel = 0;  // 1-14
  int groupCtrl = 0;
};
constexpr int kApdIndexSize = 1024;
constexpr int kGroupPanels = 14;
constexpr int kGroupCtrlMax = 26;
// Summary panel: group headings count down from control 34; the class counters sit below them.
constexpr int kSummaryFirstHeading = 34;
constexpr int kSummaryHeadings = 20;
constexpr int kSumSpacecraft = 11, kSumInstrument = 12, kSumOther = 13, kSumIllegal = 14;
constexpr int kSummaryCtrlMin = 11, kSummaryCtrlMax = 34;
struct ApdIndex {
  std::array<ApdEntry, kApdIndexSize> e{};
  int apdTotal = 0;
  const ApdEntry* find(int apid) const {
    return apid >= 0 && apid < kApdIndexSize && e[apid].groupPanel > 0 ? &e[apid] : nullptr;
  }
};

// Counters of the intake, kept here and mirrored on the panels.
struct Counters {
  std::array<std::uint32_t, 128> range200{}, range300{};  // counter panels, by APID AND 0x7F
  std::uint32_t illegal = 0;  // APID summary's illegal counter (shown on both range panels too)
  std::array<std::uint32_t, kSummaryCtrlMax + 1> summary{};                     // by control id
  std::array<std::array<std::uint32_t, kGroupCtrlMax + 1>, kGroupPanels + 1> group{};  // [panel][ctrl]
  std::array<std::uint32_t, 4096> chksum{};  // checksum errors by APID; 4094 = total
  std::array<std::uint64_t, 4096> perApid{};  // packets counted per APID (after the check)
};

// What CountPacket touched, for the glue that shows it.
struct CountResult {
  int rangePanel = 0;      // 0x200 or 0x300 when a range counter moved
  int summaryCtrl = 0;     // summary control that moved
  int groupPanel = 0;      // group panel (1-14) / control that moved, 0 none
  int groupCtrl = 0;
  std::uint32_t lastCount = 0;  // the APID's packet count as the display panels show it
};
CountResult CountPacket(Counters& c, const ApdIndex& idx, int apid);

// Counting an illegal APID before it goes on as APID 0.
void CountIllegal(Counters& c);

// Checksum error accounting against the link panel filter. Returns the value to show on the link
// panel's counter (or -1 when nothing is counted).
long CountChecksumError(Counters& c, int apid, int filter);

// The pure part of the record path: what one whole record does to the intake's counters and what
// the glue is to show, log, record and dispatch. No panels, files or clock here.
struct RecordStepIn {
  int aorb = 0;           // spacecraft known before this record (0 none, 1 A, 2 B)
  int cfgtswap = 0;       // the station exchanges the packet's byte pairs itself
  int filter = kApidAll;  // the link panel's APID filter
};
struct RecordStep {
  int spacecraft = 0;        // 1 (A) or 2 (B) when record byte 6 changes the spacecraft, else 0
  ApidResult check;          // APID (0 when illegal), raw APID, illegal, bad checksum
  long checksumShown = -1;   // the link panel's checksum counter after this record, -1 unchanged
  bool suite = false;        // APID 0x200 or above: the telemetry watchdog is fed
  bool passesFilter = false; // shown on the link panel and written to an open recording
  CountResult count;         // the counters that moved
};
// decode receives the record as the station reads it (pairs exchanged as configured).
RecordStep StepRecord(Counters& c, const ApdIndex& idx, const std::uint8_t* record,
                      const RecordStepIn& in, std::uint8_t* decode);

}  // namespace korvex
