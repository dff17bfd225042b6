// Analyzer rates (APID 0x210): per-A sums of the selected energies and D rows of each distribution.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mag.h"
#include "scans.h"

namespace tallox {

// ---- analyzer rates (APID 0x210) ---------------------------------------------------------------
struct DrevRates {
  std::vector<std::uint32_t> t;                 // one sample a distribution (its packet 0's time)
  std::array<std::vector<double>, 16> perA;     // per-A sums of the selected counts / 0.0087
  bool truncated = false, cancelled = false;
  std::string error;
};
// energies: 16 selectors, d: 6 selectors. Packets 0, 3, 6, 9, 12 carry stream bytes 256 (n/3) on.
DrevRates ExtractDrevRates(ScanInput& in, const std::array<bool, 16>& energies,
                           const std::array<bool, 6>& d, std::size_t capacity = kMagCapacity);

}  // namespace tallox
