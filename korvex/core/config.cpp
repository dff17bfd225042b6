#include "core/config.h"

#include <cctype>
#include <cstdlib>

namespace korvex {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
}  // namespace

std::string CfgValue(const std::string& line) {
  std::size_t eq = line.find('=');
  if (eq == std::string::npos) return {};
  // An empty label (only blanks before "=") gives no value.
  bool label = false;
  for (std::size_t i = 0; i < eq; ++i)
    if (!IsBlank(line[i])) label = true;
  if (!label) return {};
  std::size_t i = eq + 1;
  while (i < line.size() && IsBlank(line[i])) ++i;
  std::string v;
  while (i < line.size() && !IsBlank(line[i]) && line[i] != ';' && line[i] != '\n' &&
         v.size() < kCfgValueMax)
    v += line[i++];
  return v;
}

long CfgNumber(const std::string& value) {
  if (value.empty()) return 0;
  char* end = nullptr;
  long n = std::strtol(value.c_str(), &end, 10);
  return end == value.c_str() ? 0 : n;
}

namespace {
unsigned HexNumber(const std::string& v) {
  std::string s = v;
  if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
  if (s.empty()) return 0;
  char* end = nullptr;
  unsigned long n = std::strtoul(s.c_str(), &end, 16);
  return end == s.c_str() ? 0 : static_cast<unsigned>(n);
}
}  // namespace

Config ParseConfig(const std::vector<std::string>& lines, LoadNotes* notes) {
  std::array<std::string, kCfgLines + 1> v;  // 1-based
  for (int n = 1; n <= kCfgLines; ++n)
    if (static_cast<std::size_t>(n) <= lines.size()) v[n] = CfgValue(lines[n - 1]);
  if (notes) {
    // The last line is a comment; every line before it carries a setting.
    if (lines.size() < static_cast<std::size_t>(kCfgLines - 1))
      notes->add(static_cast<int>(lines.size()) + 1,
                 "the file ends here; settings " + std::to_string(lines.size() + 1) + "-" +
                     std::to_string(kCfgLines - 1) + " are taken as 0 or empty");
    for (int n : {2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 14, 15, 16, 26}) {
      const std::string& s = v[n];
      std::size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
      if (!s.empty() && (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))))
        notes->add(n, "setting \"" + s + "\" is not a number; 0 is used");
    }
    std::string h = v[25];
    if (h.size() > 1 && h[0] == '0' && (h[1] == 'x' || h[1] == 'X')) h = h.substr(2);
    if (!v[25].empty() && (h.empty() || !std::isxdigit(static_cast<unsigned char>(h[0]))))
      notes->add(25, "setting \"" + v[25] + "\" is not a hexadecimal number; 0 is used");
  }
  auto num = [&](int n) { return CfgNumber(v[n]); };
  auto unum = [&](int n) { long x = num(n); return x < 0 ? 0u : static_cast<unsigned>(x); };

  Config c;
  c.serverName = v[1];
  c.portTlm = unum(2);
  c.portCmd = unum(3);
  c.cfgcswap = static_cast<int>(num(4));
  c.cfgtime = num(5);
  c.cfgtswap = static_cast<int>(num(6));
  c.cfgtfwd = unum(7);
  c.cmdFile = v[8];
  c.cfgarrd = static_cast<int>(num(9));
  c.cfgscm = unum(10);
  c.cfgsswp = static_cast<int>(num(11));
  c.vantis = static_cast<int>(num(12));
  c.telemServ = v[13];
  c.sepwait = static_cast<int>(num(14));
  c.wlim = static_cast<unsigned>(num(15)) & 0xFF;  // an 8-bit setting
  c.alim = static_cast<unsigned>(num(16)) & 0xFF;
  if (c.alim > 60) c.alim = 60;
  c.emserver = v[17];
  c.emsender = v[18];
  c.emrecvr = v[19];
  c.csee0 = v[20];
  c.csee1 = v[21];
  c.csee2 = v[22];
  c.csee3 = v[23];
  c.csram = v[24];
  c.csofs = HexNumber(v[25]);
  c.recon = static_cast<int>(num(26));
  return c;
}

std::array<std::string, kCmdFileFields> CmdFileFields(const std::vector<std::string>& lines) {
  std::array<std::string, kCmdFileFields> f;
  for (int k = 1; k <= kCmdFileFields && static_cast<std::size_t>(k) <= lines.size(); ++k)
    f[k - 1] = lines[k - 1];
  return f;
}

std::string CmdFileTitle(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return "COMMAND FILE: " + (slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace korvex
