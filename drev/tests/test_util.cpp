#include "test_util.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace drev::test {

Rec::Rec(unsigned apid, std::uint32_t sec, std::uint8_t frac) {
  sv[1] = static_cast<std::uint8_t>(0x08 | (apid >> 8));
  sv[0] = static_cast<std::uint8_t>(apid & 0xFF);
  w(6, sec >> 16);
  w(8, sec & 0xFFFF);
  sv[11] = frac;
}

std::vector<std::uint8_t> Rec::bytes() const {
  std::vector<std::uint8_t> r(298, 0);
  r[6] = spacecraft;
  auto p = sv;
  p[271] = 0;
  unsigned sum = 0;
  for (auto v : p) sum += v;
  p[271] = static_cast<std::uint8_t>(0u - sum + (badChecksum ? 1u : 0u));
  for (int i = 0; i < 272; i += 2) {
    r[26 + i] = p[i + 1];
    r[26 + i + 1] = p[i];
  }
  return r;
}

std::vector<std::uint8_t> Concat(const std::vector<Rec>& recs) {
  std::vector<std::uint8_t> out;
  for (const auto& r : recs) {
    auto b = r.bytes();
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

std::string TempPath(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("drev_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace drev::test
