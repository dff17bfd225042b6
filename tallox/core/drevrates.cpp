#include "drevrates.h"

#include <cstring>

namespace tallox {

// ---- analyzer rates ----------------------------------------------------------------------------

DrevRates ExtractDrevRates(ScanInput& in, const std::array<bool, 16>& energies,
                           const std::array<bool, 6>& dSel, std::size_t capacity) {
  DrevRates r;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  bool open = false;  // a packet 0 has started the current sample
  r.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x210) return true;
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const unsigned n = GetByte(d, 38);
    if (n > 12 || n % 3) return true;
    if (n == 0) {
      if (r.t.size() >= capacity) {
        r.truncated = true;
        return false;
      }
      r.t.push_back(GetLong3412(d, 32));
      for (auto& a : r.perA) a.push_back(0.0);
      open = true;
    }
    if (!open) return true;  // the rest of a distribution whose start was not read
    // Stream byte s: energy s / 80; within it D0 (8 half-resolution bytes), D1-D4 (16 each), D5 (8).
    for (int k = 0; k < 256; ++k) {
      const int sIdx = 256 * static_cast<int>(n / 3) + k;
      const int e = sIdx / 80, w = sIdx % 80;
      int row, a0;
      bool half;
      if (w < 8) {
        row = 0, a0 = 2 * w, half = true;
      } else if (w < 72) {
        row = 1 + (w - 8) / 16, a0 = (w - 8) % 16, half = false;
      } else {
        row = 5, a0 = 2 * (w - 72), half = true;
      }
      if (!energies[e] || !dSel[row]) continue;
      const double v = Uncompress(GetByte(d, 41 + k)) / 0.0087;
      if (half) {
        r.perA[a0].back() += v / 2;
        r.perA[a0 + 1].back() += v / 2;
      } else {
        r.perA[a0].back() += v;
      }
    }
    return true;
  });
  if (records == 0) r.error = in.source.error();
  return r;
}

}  // namespace tallox
