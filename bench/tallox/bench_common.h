// Writes a synthetic telemetry file for the benchmarks: a realistic mix of suite APIDs, every
// tenth record housekeeping, good checksums.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/record.h"

namespace tallox::bench {

inline void WriteSynthetic(const std::string& path, std::uint64_t records) {
  static const unsigned kApids[] = {0x200, 0x208, 0x209, 0x211, 0x214, 0x220, 0x221, 0x241, 0x245, 0x00B};
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  const std::size_t batch = 4096;
  std::vector<std::uint8_t> buf(batch * kRecordSize);
  unsigned seq[16] = {};
  for (std::uint64_t n = 0; n < records;) {
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(batch, records - n));
    for (std::size_t i = 0; i < k; ++i, ++n) {
      std::uint8_t* r = buf.data() + i * kRecordSize;
      const unsigned slot = static_cast<unsigned>(n % 10);
      const unsigned apid = kApids[slot];
      for (int j = 0; j < kRecordSize; ++j) r[j] = static_cast<std::uint8_t>(n * 7 + j * 13);
      r[6] = 0xEA;
      std::uint8_t* p = r + kHeaderSize;
      p[0] = static_cast<std::uint8_t>(0x08 | (apid >> 8));
      p[1] = apid & 0xFF;
      const unsigned s = 0xC000 | (seq[slot]++ & 0x3FFF);
      p[2] = static_cast<std::uint8_t>(s >> 8);
      p[3] = s & 0xFF;
      const std::uint32_t t = 1500000000u + static_cast<std::uint32_t>(n / 10);
      for (int j = 0; j < 4; ++j) p[6 + j] = (t >> (24 - 8 * j)) & 0xFF;
      unsigned sum = 0;
      for (int j = 0; j < kPacketSize - 1; ++j) sum += p[j];
      p[kPacketSize - 1] = static_cast<std::uint8_t>(-sum);
    }
    std::fwrite(buf.data(), kRecordSize, k, f);
  }
  std::fclose(f);
}

}  // namespace tallox::bench
