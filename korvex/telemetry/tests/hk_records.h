// Records of the station's telemetry packets built from the packet as the station holds it, for
// the telemetry tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "links/record.h"
#include "links/tests/tlm_records.h"

namespace korvex::testing {

using Frame = std::array<std::uint8_t, kPacketSize>;

// A record whose packet, after the station's pair exchange, is `frame` (APID 0x200 and 0x201) or,
// for the spacecraft APIDs, whose bytes from 10 on are `frame`'s as transmitted.
inline std::vector<std::uint8_t> Record(int apid, Frame frame) {
  std::vector<std::uint8_t> r = TlmRecord(apid, kSpacecraftA);
  std::uint8_t* p = r.data() + kHeaderSize;
  frame[0] = static_cast<std::uint8_t>(0x08 | ((apid >> 8) & 7));
  frame[1] = static_cast<std::uint8_t>(apid);
  std::swap(frame[0], frame[1]);  // station frame of the two header bytes
  for (std::size_t i = 0; i < kPacketSize; i += 2) {
    bool twice = NeedsDataSwap(apid) && i >= 10;
    p[i] = twice ? frame[i] : frame[i + 1];
    p[i + 1] = twice ? frame[i + 1] : frame[i];
  }
  p[kPacketSize - 1] = 0;
  p[kPacketSize - 1] = static_cast<std::uint8_t>(-PacketSum(p));
  return r;
}

inline void Put16(Frame& f, int off, unsigned v) {
  f[static_cast<std::size_t>(off)] = static_cast<std::uint8_t>(v);
  f[static_cast<std::size_t>(off) + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A processor housekeeping frame with every unit powered and in its normal state.
inline Frame Nominal() {
  Frame f{};
  f[32] = 0x1F;  // interfaces enabled
  f[33] = 0x3F;  // interfaces active
  Put16(f, 34, 0x4402);
  Put16(f, 36, 0x4400);
  f[14] = 20;
  f[54] = 32;
  Put16(f, 60, 0xFFFF);
  return f;
}

}  // namespace korvex::testing
