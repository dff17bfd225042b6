// Analyzer records for the benchmarks, in the order the processor sends them: five distribution
// packets, a pitch packet, a moment packet and a housekeeping part, with realistic counts and
// good checksums, transmission byte order (the sample configuration exchanges the pairs).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/packet.h"

namespace drev::bench {

inline void MakeRecord(std::uint8_t* r, unsigned n) {
  static const unsigned kApids[8] = {0x210, 0x210, 0x210, 0x210, 0x210, 0x212, 0x213, 0x214};
  const unsigned slot = n % 8, apid = kApids[slot];
  std::uint8_t sv[kPacketSize] = {};
  sv[0] = apid & 0xFF;
  sv[1] = static_cast<std::uint8_t>(0x08 | (apid >> 8));
  const std::uint32_t t = 1500000000u + n / 8;
  sv[6] = (t >> 16) & 0xFF;
  sv[7] = (t >> 24) & 0xFF;
  sv[8] = t & 0xFF;
  sv[9] = (t >> 8) & 0xFF;
  for (int i = 12; i < 271; ++i) sv[i] = static_cast<std::uint8_t>(32 + (n * 7 + i * 13) % 180);
  if (apid == 0x210) sv[12] = static_cast<std::uint8_t>(3 * slot);
  if (apid == 0x214) {
    const unsigned part = (n / 8) % 3 == 0 ? 336 : (n / 8) % 3 == 1 ? 208 : 80;
    sv[12] = part & 0xFF;
    sv[13] = static_cast<std::uint8_t>(part >> 8);
  }
  unsigned sum = 0;
  for (int i = 0; i < kPacketSize - 1; ++i) sum += sv[i];
  sv[271] = static_cast<std::uint8_t>(0u - sum);
  for (int i = 0; i < kHeaderSize; ++i) r[i] = 0;
  r[6] = kSpacecraftA;
  for (int i = 0; i < kPacketSize; i += 2) {
    r[kHeaderSize + i] = sv[i + 1];
    r[kHeaderSize + i + 1] = sv[i];
  }
}

inline std::vector<std::uint8_t> MakeRecords(unsigned count) {
  std::vector<std::uint8_t> v(static_cast<std::size_t>(count) * kRecordSize);
  for (unsigned n = 0; n < count; ++n) MakeRecord(v.data() + static_cast<std::size_t>(n) * kRecordSize, n);
  return v;
}

inline bool WriteRecords(const std::string& path, unsigned count) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const unsigned batch = 4096;
  for (unsigned n = 0; n < count; n += batch) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(std::min(batch, count - n)) * kRecordSize);
    for (unsigned i = 0; i < v.size() / kRecordSize; ++i) MakeRecord(v.data() + i * kRecordSize, n + i);
    std::fwrite(v.data(), 1, v.size(), f);
  }
  return std::fclose(f) == 0;
}

}  // namespace drev::bench
