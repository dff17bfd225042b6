#include "bursthk.h"

#include <cstring>

namespace tallox {

// ---- burst housekeeping ------------------------------------------------------------------------

BurstHk ExtractBurstHk(ScanInput& in, std::size_t capacity) {
  BurstHk b;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  b.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x200) return true;
    if (b.t.size() >= capacity) {
      b.truncated = true;
      return false;
    }
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    b.t.push_back(GetLong3412(d, 32));
    const int bytes[4] = {96, 95, 85, 97};
    for (int k = 0; k < 4; ++k) b.series[k].push_back(GetByte(d, bytes[k]));
    const std::size_t i = b.t.size() - 1;
    if (i > 0 && b.series[3][i] < b.series[3][i - 1]) b.drops.push_back(i);
    return true;
  });
  if (records == 0) b.error = in.source.error();
  return b;
}

BurstCriteria ExtractBurstCriteria(ScanInput& in, std::size_t capacity) {
  BurstCriteria c;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  c.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x203) return true;
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const std::uint32_t t = GetLong3412(d, 32);
    for (int q = 0; q < 32; ++q) {
      if (c.t.size() >= capacity) {
        c.truncated = true;
        return false;
      }
      c.t.push_back(t + static_cast<std::uint32_t>(q));
      for (int i = 0; i < 8; ++i) c.series[i].push_back(GetByte(d, 41 + 8 * q + i));
    }
    return true;
  });
  if (records == 0) c.error = in.source.error();
  return c;
}

}  // namespace tallox
