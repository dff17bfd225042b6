#include "links/sepscm.h"

#include <cctype>

#include "commanding/cmdline.h"

namespace korvex {

SepStep AppendSepPart(SepAssembly& a, const std::uint8_t* data, std::size_t n) {
  if (a.buf.empty()) {
    unsigned long len = 0;
    for (int i = 4; i < 10; ++i) {
      if (static_cast<std::size_t>(i) >= n || !std::isdigit(data[i])) return SepStep::TooMany;
      len = len * 10 + (data[i] - '0');
    }
    a.sepfull = len + 14;
    if (a.sepfull > kSepBufMax) return SepStep::TooMany;
  }
  if (a.buf.size() + n > a.sepfull) return SepStep::TooMany;
  a.buf.insert(a.buf.end(), data, data + n);
  return a.buf.size() == a.sepfull ? SepStep::Complete : SepStep::NeedMore;
}

std::optional<std::string> StoreFilePath(const std::uint8_t* scm, std::size_t size) {
  if (size < 100) return std::nullopt;
  std::string name;
  for (int i = 68; i < 100; ++i)
    if (scm[i] != ' ' && scm[i] != 0) name += static_cast<char>(scm[i]);
  if (name.empty() || name.find_first_of("/\\:") != std::string::npos ||
      name.find("..") != std::string::npos)
    return std::nullopt;
  for (char c : name)
    if (!std::isprint(static_cast<unsigned char>(c))) return std::nullopt;
  return "scm/" + name + ".SCM";
}

std::string ScmName(const std::uint8_t* scm, std::size_t size) {
  std::string s;
  std::size_t i = 100;
  while (i < 132 && i < size && scm[i] == ' ') ++i;  // the field is right-aligned
  for (; i < 132 && i < size && scm[i] != ' ' && scm[i] != 0; ++i)
    s += std::isprint(scm[i]) ? static_cast<char>(scm[i]) : '?';
  return s;
}

bool PacketsSumToZero(const std::uint8_t* scm, std::size_t size, int sswap) {
  if (size < kScmHeader) return false;
  int count = 0;
  if (std::isdigit(scm[27]) && std::isdigit(scm[28])) count = (scm[27] - '0') * 10 + (scm[28] - '0');
  std::size_t pos = kScmHeader;
  for (int k = 0; k < count; ++k) {
    if (pos + 6 > size) return false;
    const std::uint8_t* p = scm + pos;
    std::size_t len = sswap ? (static_cast<std::size_t>(p[5]) << 8 | p[4])
                            : (static_cast<std::size_t>(p[4]) << 8 | p[5]);
    len += 7;
    if (pos + len > size) return false;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    if (sum != 0) return false;
    pos += len;
  }
  return true;
}

std::optional<std::vector<std::size_t>> PacketLengths(const std::uint8_t* scm, std::size_t size,
                                                      int sswap) {
  if (size < kScmHeader || !std::isdigit(scm[27]) || !std::isdigit(scm[28])) return std::nullopt;
  const int count = (scm[27] - '0') * 10 + (scm[28] - '0');
  std::vector<std::size_t> lengths;
  std::size_t pos = kScmHeader;
  for (int k = 0; k < count; ++k) {
    if (pos + 6 > size) return std::nullopt;
    const std::uint8_t* p = scm + pos;
    std::size_t len = (sswap ? (static_cast<std::size_t>(p[5]) << 8 | p[4])
                             : (static_cast<std::size_t>(p[4]) << 8 | p[5])) + 7;
    if (pos + len > size) return std::nullopt;
    lengths.push_back(len);
    pos += len;
  }
  return lengths;
}

namespace {

std::string SendLineName(const std::string& line) {
  std::string name = line.size() > 5 ? line.substr(5) : std::string();
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  return name;
}

}  // namespace

std::string SendLinePath(const std::string& line) {
  std::string name = SendLineName(line);
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find(".scm") == std::string::npos) name += ".SCM";
  return "scm/" + name;
}

SepLine CheckSepLine(const std::string& line) {
  const std::string compact = CompactForm(line);
  if (ClassifyLine(compact, line) != LineClass::Text || compact.rfind("snapshot", 0) == 0 ||
      MatchKeyword(compact) != Keyword::Send)
    return SepLine::NotSend;
  std::string name = SendLineName(line);
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.erase(0, 1);
  if (name.empty() || name.find_first_of("/\\:") != std::string::npos ||
      name.find("..") != std::string::npos)
    return SepLine::BadName;
  for (char c : name)
    if (!std::isprint(static_cast<unsigned char>(c))) return SepLine::BadName;
  return SepLine::Send;
}

}  // namespace korvex
