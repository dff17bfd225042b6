// Readers of the database files this station needs at start-up: the error texts, the APID list
// and the command database list with its decode table. Each works on the lines of its file.
#pragma once

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/loadnote.h"
#include "links/record.h"

namespace korvex {

// One 300-byte line slot: the text (shorter than 233 characters), the alarm counter and the
// last value text.
constexpr std::size_t kSlotTextMax = 232;
struct LineSlot {
  char text[233] = {};
  unsigned char alarm = 0;
  char pad = 0;
  char value[13] = {};
  char spare[52] = {};
};
static_assert(sizeof(LineSlot) == 300);

// Stores a line in a slot; a longer line is cut so it never reaches the alarm and value bytes.
void SetSlot(LineSlot& s, const std::string& line);

// Error table: lines until the end or a "Total Bytes" line (not stored); at most 300 slots.
constexpr int kErrSlots = 300;
struct ErrDb {
  std::array<LineSlot, kErrSlots> errdb{};
  int errCount = 0;
  int surplus = 0;  // lines that did not fit
  std::vector<std::string> lines() const;
};
void ReadErrDb(const std::vector<std::string>& lines, ErrDb& db, LoadNotes* notes = nullptr);

// APID list: group headings label the summary panel, APID lines label the group panels and fill
// apdIndex.
struct ApdLabel {
  int panel = 0;  // 0 = summary panel, 1-14 = group panel
  int control = 0;
  std::string text;
};
struct ApdResult {
  ApdIndex index;
  std::vector<ApdLabel> labels;
  int ignored = 0;  // APID lines beyond the panels' room or with an APID of 1024 or more
};
ApdResult ReadApd(const std::vector<std::string>& lines, LoadNotes* notes = nullptr);

// Command database list and decode table.
constexpr int kDecodeEntries = 325;
inline constexpr const char* kCantFindApid = "Can't Find APID!";
// The command database in lower case for the case-blind searches that name commands from their
// bytes, with the answers of searches already made (the database does not change while the
// station runs; a new reading of the file starts both afresh).
struct LoweredLines {
  std::vector<std::string> lines;
  mutable std::unordered_map<std::string, int> found;
  mutable std::vector<signed char> hazard;  // per line: -1 not looked at yet, 0 or 1
  struct Dump {
    std::vector<std::string> lines;
    int offset = 0;  // the argument offset after the half
  };
  mutable std::unordered_map<std::string, Dump> dumps;  // dumped halves (bytes, offset) read
};

struct CmdDb {
  std::vector<std::string> list;  // every line of the file, in order (each cut at 1023 characters)
  LoweredLines lower;             // list in lower case
  int cmdDbLns = 0;
  std::array<std::string, kDecodeEntries> decodeName{};
  std::array<int, kDecodeEntries> decodeApid{};
  // Name of the command with packet ID key, or kCantFindApid.
  std::string DecodeCommand(int key) const;
};
void ReadCmdDb(const std::vector<std::string>& lines, CmdDb& db, LoadNotes* notes = nullptr);

}  // namespace korvex
