// Recording names, the single-step collection of a replay, and the 300-byte display record.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/packet.h"

namespace drev {

// "pbf/" + name, with ".pbf" added when the name holds no ".".
std::string RecordingPath(const std::string& name);

// Reads the next whole record; false at the end (a partial last record is not returned).
bool ReadRecord(std::FILE* f, std::uint8_t* record);

// Single-step replay: every record read uses up one of the `next` allowed ones; the records that
// pass the filter are collected and released together, `spacket` at a time.
struct StepCollector {
  int spacket = 1;   // packets per step, 1..100
  int next = 0;      // records still allowed in this step
  int filter = 4095;
  std::vector<std::uint8_t> collected;
  int count = 0;

  void press() { next = spacket; }
  // Feeds one record read from the file; returns true when `spacket` records are now released
  // into *out (the collection restarts).
  bool feed(const std::uint8_t* record, std::vector<std::uint8_t>* out);
  void reset() { collected.clear(); count = 0; next = 0; }
};

constexpr int kSrdBytes = 300;
constexpr int kSrdInts = 75;
// 75 signed 32-bit integers, little-endian; missing values are 0, extra ones are dropped.
std::array<std::uint8_t, kSrdBytes> PackSrd(const std::vector<int>& values);
std::vector<int> UnpackSrd(const std::uint8_t* bytes);

}  // namespace drev
