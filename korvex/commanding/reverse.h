// Naming commands from their bytes with the command database: the hazard check of a ready-made
// SCM and the command lines of a dumped stored sequence. Pure: the database list in, counts and
// text lines out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "telemetry/dbfiles.h"

namespace korvex {

// The database lines are searched from this item on (before it: the file's report header).
constexpr std::size_t kReverseFirstLine = 16;

// What the hazard check found over the packets of an SCM.
struct HazardCount {
  int hazardous = 0;
  bool databaseError = false;  // a matched line without ";": the check ended there
};
// Both searches are case-blind. lowered, when given, is db in lower case line for line with the
// searches already made (the command database keeps one): it spares lowering and scanning every
// line on every call.

// packets: the SCM's packets back to back (SCM byte 133 on), size bytes of them.
HazardCount CountHazards(const std::vector<std::string>& db, const std::uint8_t* packets,
                         std::size_t size, const LoweredLines* lowered = nullptr);

// The command lines of one dumped sequence half: "/" + mnemonic, then " %.2X" for each data byte
// the names did not use. Stops at an identifier of 0 or at the end of the bytes. offset is the
// argument offset that carries on from one call to the next of the same dump.
std::vector<std::string> SequenceLines(const std::vector<std::string>& db, const std::uint8_t* records,
                                       std::size_t size, int* offset,
                                       const LoweredLines* lowered = nullptr);

}  // namespace korvex
