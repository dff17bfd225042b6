// A small writer of telemetry records for the tests: packets are built in transmission order
// and written either as they are or with every 16-bit pair exchanged.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tallox::test {

struct Pkt {
  unsigned apid = 0x200;
  unsigned seq = 0;
  std::uint32_t sec = 1500000000;  // mission seconds
  std::uint8_t frac = 0, frac2 = 0;
  bool badChecksum = false;
  std::uint16_t groundDay = 17500;
  std::uint32_t groundMs = 0;
  std::vector<std::pair<int, std::uint8_t>> bytes;  // packet offset, value (transmission order)
  Pkt& be16(int off, unsigned v) {
    bytes.push_back({off, static_cast<std::uint8_t>(v >> 8)});
    bytes.push_back({off + 1, static_cast<std::uint8_t>(v & 0xFF)});
    return *this;
  }
  Pkt& le16(int off, unsigned v) {
    bytes.push_back({off, static_cast<std::uint8_t>(v & 0xFF)});
    bytes.push_back({off + 1, static_cast<std::uint8_t>(v >> 8)});
    return *this;
  }
  Pkt& byte(int off, unsigned v) {
    bytes.push_back({off, static_cast<std::uint8_t>(v)});
    return *this;
  }
};

// One 298-byte record in transmission order.
std::vector<std::uint8_t> MakeRecord(const Pkt& p);
// Writes the records; wordsSwapped stores every packet pair exchanged.
void WriteRecords(const std::string& path, const std::vector<Pkt>& pkts, bool wordsSwapped = false,
                  const std::string& trailer = "");
std::string TempPath(const std::string& name);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

}  // namespace tallox::test
