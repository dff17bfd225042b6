#include "test_util.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "core/record.h"

namespace tallox::test {

std::vector<std::uint8_t> MakeRecord(const Pkt& p) {
  std::vector<std::uint8_t> r(kRecordSize, 0);
  r[6] = 0xEA;
  r[7] = p.groundDay >> 8;
  r[8] = p.groundDay & 0xFF;
  for (int i = 0; i < 4; ++i) r[9 + i] = (p.groundMs >> (24 - 8 * i)) & 0xFF;
  std::uint8_t* k = r.data() + kHeaderSize;
  const unsigned id = 0x0800 | (p.apid & 0x7FF);
  k[0] = id >> 8;
  k[1] = id & 0xFF;
  const unsigned sc = 0xC000 | (p.seq & 0x3FFF);
  k[2] = sc >> 8;
  k[3] = sc & 0xFF;
  k[4] = 0x01;
  k[5] = 0x09;  // 265
  for (int i = 0; i < 4; ++i) k[6 + i] = (p.sec >> (24 - 8 * i)) & 0xFF;
  k[10] = p.frac;
  k[11] = p.frac2;
  for (auto [off, v] : p.bytes) k[off] = v;
  unsigned sum = 0;
  for (int i = 0; i < kPacketSize - 1; ++i) sum += k[i];
  k[kPacketSize - 1] = static_cast<std::uint8_t>(-sum);
  if (p.badChecksum) k[100] ^= 0x04;
  return r;
}

void WriteRecords(const std::string& path, const std::vector<Pkt>& pkts, bool wordsSwapped,
                  const std::string& trailer) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  for (const Pkt& p : pkts) {
    auto r = MakeRecord(p);
    if (wordsSwapped) SwapPairs(r.data());
    f.write(reinterpret_cast<const char*>(r.data()), r.size());
  }
  f << trailer;
}

std::string TempPath(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("tallox_tests_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

}  // namespace tallox::test
