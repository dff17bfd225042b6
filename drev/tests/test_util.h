// Records for the tests, built in the working-copy byte view (16-bit words low byte first) and
// sent in transmission order, as the analyzer's processor packets travel.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace drev::test {

struct Rec {
  std::array<std::uint8_t, 272> sv{};  // the packet as the decoders see it after the exchange
  std::uint8_t spacecraft = 0xEA;
  bool badChecksum = false;
  explicit Rec(unsigned apid, std::uint32_t sec = 1515069000u, std::uint8_t frac = 0);
  Rec& b(int off, unsigned v) { sv[off] = static_cast<std::uint8_t>(v); return *this; }
  Rec& w(int off, unsigned v) {
    sv[off] = static_cast<std::uint8_t>(v & 0xFF);
    sv[off + 1] = static_cast<std::uint8_t>(v >> 8);
    return *this;
  }
  // 298 bytes: header, then the packet with its pairs exchanged and a checksum in the last
  // byte of the working copy (byte 270 in transmission order), which the analyzer's layouts leave free.
  std::vector<std::uint8_t> bytes() const;
};

std::vector<std::uint8_t> Concat(const std::vector<Rec>& recs);
std::string TempPath(const std::string& name);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::string ReadText(const std::string& path);

}  // namespace drev::test
