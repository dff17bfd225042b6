// Telemetry records as the MOC sends them, for the station's tests.
#pragma once

#include <cstdint>
#include <vector>

#include "links/record.h"

namespace korvex::testing {

// Transmission order; header byte 6 the spacecraft; packet sum 0 unless badSum; seq varies the
// data so that records differ.
inline std::vector<std::uint8_t> TlmRecord(int apid, std::uint8_t sc, unsigned seq = 0,
                                           bool badSum = false) {
  std::vector<std::uint8_t> r(kRecordSize, 0);
  for (std::size_t i = 0; i < kHeaderSize; ++i) r[i] = static_cast<std::uint8_t>(0x20 + i + seq);
  r[6] = sc;
  std::uint8_t* p = r.data() + kHeaderSize;
  p[0] = static_cast<std::uint8_t>(0x08 | ((apid >> 8) & 0x07));
  p[1] = static_cast<std::uint8_t>(apid & 0xFF);
  p[2] = static_cast<std::uint8_t>(0xC0 | ((seq >> 8) & 0x3F));
  p[3] = static_cast<std::uint8_t>(seq);
  for (std::size_t i = 4; i < kPacketSize - 1; ++i) p[i] = static_cast<std::uint8_t>(i * 13 + seq);
  p[kPacketSize - 1] = 0;
  p[kPacketSize - 1] = static_cast<std::uint8_t>(-PacketSum(p) + (badSum ? 1 : 0));
  return r;
}

}  // namespace korvex::testing
