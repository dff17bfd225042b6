// Burst housekeeping: the burst bytes of the housekeeping packets and the criteria packets
// (APID 0x203).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "scans.h"

namespace tallox {

// ---- burst housekeeping ------------------------------------------------------------------------
constexpr std::size_t kBurstCapacity = 100000;
struct BurstHk {
  std::vector<std::uint32_t> t;
  std::array<std::vector<double>, 4> series;  // bytes 96, 95, 85, 97
  std::vector<std::size_t> drops;             // samples where series 3 fell from the one before
  bool truncated = false, cancelled = false;
  std::string error;
};
// `PlotBurst`: every housekeeping record (APID 0x200), at most capacity.
BurstHk ExtractBurstHk(ScanInput& in, std::size_t capacity = kBurstCapacity);
struct BurstCriteria {
  std::vector<std::uint32_t> t;  // packet time + q
  std::array<std::vector<double>, 8> series;
  bool truncated = false, cancelled = false;
  std::string error;
};
// `PlotBurstCriteria`: APID 0x203, 32 one-second samples of eight bytes each.
BurstCriteria ExtractBurstCriteria(ScanInput& in, std::size_t capacity = kBurstCapacity);

}  // namespace tallox
