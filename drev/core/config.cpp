#include "core/config.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>

namespace drev {

std::string CfgValue(const std::string& line) {
  const std::size_t eq = line.find('=');
  // The label before the "=" must hold at least one character, as the reading format demands.
  if (eq == std::string::npos || eq == 0) return "";
  std::size_t i = eq + 1;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  std::string v = line.substr(i);
  while (!v.empty() && (v.back() == '\r' || v.back() == '\n')) v.pop_back();
  if (v.size() > 99) v.resize(99);
  return v;
}

int ApplyCfgLines(Config& cfg, const std::vector<std::string>& lines) {
  const int n = static_cast<int>(std::min<std::size_t>(lines.size(), kCfgLines));
  for (int i = 0; i < n; ++i) {
    const std::string v = CfgValue(lines[i]);
    const int line = i + 1;
    const double d = std::atof(v.c_str());
    if (line == 1) cfg.ipStr = v.substr(0, 59);
    else if (line == 2) cfg.ipPort = v.substr(0, 31);
    else if (line == 3) cfg.cfgswp = std::atoi(v.c_str());
    else if (line <= 19) cfg.idrev[line - 4] = d;        // channels 0-7
    else if (line <= 29) cfg.idrev[22 + line - 20] = d;  // channels 11-15
    else if (line == 30) cfg.isurA = d;
    else if (line == 31) cfg.isurB = d;
    else if (line == 32) cfg.isurC = d;
    else if (line == 33) cfg.yA = d;
    else if (line == 34) cfg.yB = d;
    else if (line == 35) cfg.yC = d;
    else if (line == 36) cfg.yD = d;
    else if (line == 37) cfg.yE = d;
    else if (line == 38) cfg.yF = d;
    else if (line == 39) cfg.rA = d;
    else if (line == 40) cfg.rB = d;
    else if (line == 41) cfg.rC = d;
  }
  return n;
}

bool ReadCfgFile(const std::string& path, Config& cfg, std::string* reason, std::string* note) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (reason) *reason = std::strerror(errno);
    return false;
  }
  std::vector<std::string> lines;
  std::string line;
  while (lines.size() < kCfgLines && std::getline(in, line)) lines.push_back(line);
  const int used = ApplyCfgLines(cfg, lines);
  if (note) {
    note->clear();
    if (used < kCfgLines)
      *note = path + ":" + std::to_string(used + 1) + ": file ends after " + std::to_string(used) +
              " of 41 lines; the rest keep their start-up values";
  }
  return true;
}

}  // namespace drev
