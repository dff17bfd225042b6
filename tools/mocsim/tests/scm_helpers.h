// Builds SCMs the way the station's encoder lays them out, for the command-side tests.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "packet.h"

namespace mocsimtest {

inline std::vector<uint8_t> telecommand(int apid, int seq, std::vector<uint8_t> data, bool badCks = false) {
  std::vector<uint8_t> p(7 + data.size(), 0);
  p[0] = uint8_t((apid >> 8) & 7);
  p[1] = uint8_t(apid & 0xFF);
  p[2] = uint8_t(0xC0 | ((seq >> 8) & 0x3F));
  p[3] = uint8_t(seq & 0xFF);
  for (size_t i = 0; i < data.size(); ++i) p[7 + i] = data[i];
  int len = int(p.size()) - 7;
  p[4] = uint8_t(len >> 8);
  p[5] = uint8_t(len);
  p[6] = uint8_t(0 - mocsim::sum8(p.data(), p.size()) + (badCks ? 1 : 0));
  return p;
}

inline std::vector<uint8_t> scm(const std::vector<std::vector<uint8_t>>& packets, const char* msgNo = "0042",
                                const char* sc = "EA", const char* facility = "VANTIS", int countField = -1) {
  std::vector<uint8_t> s(133, ' ');
  std::memcpy(s.data(), "SCM-", 4);
  std::memcpy(s.data() + 10, msgNo, 4);
  std::memcpy(s.data() + 19, facility, 6);
  std::memcpy(s.data() + 25, sc, 2);
  char b[16];
  std::snprintf(b, sizeof b, "%02d", countField < 0 ? int(packets.size()) : countField);
  std::memcpy(s.data() + 27, b, 2);
  std::memcpy(s.data() + 29, "0000000000000", 13);
  std::string desc = "IDPUTlmNominal";
  std::memcpy(s.data() + 132 - desc.size(), desc.data(), desc.size());
  s[132] = 0x0C;
  for (auto& p : packets) s.insert(s.end(), p.begin(), p.end());
  std::snprintf(b, sizeof b, "%06d", int(s.size()) - 14);
  std::memcpy(s.data() + 4, b, 6);
  return s;
}

}  // namespace mocsimtest
