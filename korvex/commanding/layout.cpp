#include "commanding/layout.h"

#include <algorithm>

namespace korvex {

Srd PackLayout(const ScreenLayout& l) {
  Srd s{};
  s[0] = l.width;
  s[1] = l.height;
  s[2] = l.zoom;
  std::size_t n = std::min(l.panels.size(), kSrdPanels);
  for (std::size_t i = 0; i < n; ++i) {
    s[kSrdMainWords + 3 * i] = l.panels[i].top;
    s[kSrdMainWords + 3 * i + 1] = l.panels[i].left;
    s[kSrdMainWords + 3 * i + 2] = l.panels[i].visible ? 1 : 0;
  }
  return s;
}

ScreenLayout UnpackLayout(const Srd& s, std::size_t n) {
  ScreenLayout l;
  l.width = s[0];
  l.height = s[1];
  l.zoom = s[2];
  n = std::min(n, kSrdPanels);
  for (std::size_t i = 0; i < n; ++i)
    l.panels.push_back({s[kSrdMainWords + 3 * i], s[kSrdMainWords + 3 * i + 1],
                        s[kSrdMainWords + 3 * i + 2] != 0 ? 1 : 0});
  return l;
}

void ReadSrd(const std::vector<std::uint8_t>& bytes, Srd* srd) {
  std::size_t words = std::min(bytes.size() / 4, kSrdWords);
  for (std::size_t w = 0; w < words; ++w) {
    const std::uint8_t* b = bytes.data() + 4 * w;
    (*srd)[w] = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) |
                                          static_cast<std::uint32_t>(b[1]) << 8 |
                                          static_cast<std::uint32_t>(b[2]) << 16 |
                                          static_cast<std::uint32_t>(b[3]) << 24);
  }
  // A word cut by the end of the file takes the bytes that are there over its old ones.
  std::size_t rest = bytes.size() % 4;
  if (words < kSrdWords && rest) {
    auto u = static_cast<std::uint32_t>((*srd)[words]);
    for (std::size_t k = 0; k < rest; ++k) {
      u &= ~(0xFFu << (8 * k));
      u |= static_cast<std::uint32_t>(bytes[4 * words + k]) << (8 * k);
    }
    (*srd)[words] = static_cast<std::int32_t>(u);
  }
}

std::vector<std::uint8_t> SrdBytes(const Srd& srd) {
  std::vector<std::uint8_t> b(kSrdBytes);
  for (std::size_t w = 0; w < kSrdWords; ++w) {
    auto u = static_cast<std::uint32_t>(srd[w]);
    for (std::size_t k = 0; k < 4; ++k) b[4 * w + k] = static_cast<std::uint8_t>(u >> (8 * k));
  }
  return b;
}

std::string PageFile(const std::string& compact) {
  std::string name = compact.size() > 4 ? compact.substr(4) : std::string();
  if (!name.empty() && name[0] == '=') name.erase(0, 1);
  if (name.find_first_of("/\\:") != std::string::npos || name.find("..") != std::string::npos)
    return {};
  if (compact.find(".srd") == std::string::npos) name += ".srd";
  return "cfg/" + name;
}

}  // namespace korvex
