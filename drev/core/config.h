// cfg/drev.cfg: 41 lines read by position; the value is the text after the first "=".
#pragma once

#include <array>
#include <string>
#include <vector>

namespace drev {

constexpr int kCfgLines = 41;
constexpr const char* kCfgPath = "cfg/drev.cfg";

struct Config {
  std::string ipStr;   // server name (at most 59 characters)
  std::string ipPort;  // port, as text (at most 31)
  int cfgswp = 0;
  std::array<double, 32> idrev{};  // channel n: idrev[2n] scale, idrev[2n+1] offset
  double isurA = 0, isurB = 0, isurC = 0;
  double yA = 0, yB = 0, yC = 0, yD = 0, yE = 0, yF = 0;
  double rA = 0, rB = 0, rC = 0;
};

// The value of one line: after the first "=", leading blanks skipped, at most 99 characters.
std::string CfgValue(const std::string& line);

// Applies the lines in order; lines beyond the 41st are ignored. Returns how many were used.
int ApplyCfgLines(Config& cfg, const std::vector<std::string>& lines);

// Reads the file; false (and a reason from the system) when it cannot be opened. A file shorter
// than 41 lines leaves the remaining settings as they were and says so in *note.
bool ReadCfgFile(const std::string& path, Config& cfg, std::string* reason, std::string* note);

}  // namespace drev
