#include "commanding/script_text.h"

#include <cctype>
#include <cstdio>

namespace korvex {

ScriptText ReadScriptText(const std::vector<std::string>& fileLines) {
  ScriptText t;
  bool versionSeen = false;
  for (std::string l : fileLines) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (!versionSeen) {
      std::size_t d = 0;
      while (d < l.size() && !std::isdigit(static_cast<unsigned char>(l[d]))) ++d;
      if (d < l.size()) {
        versionSeen = true;
        std::string v;
        while (d < l.size() && v.size() < 4 &&
               (std::isdigit(static_cast<unsigned char>(l[d])) || l[d] == '.'))
          v += l[d++];
        t.version = std::string(4 - v.size(), '0') + v;
      }
    }
    for (char& c : l)
      if (c == '\t') c = ' ';
    // A line of blanks would run as an empty command and halt the script: it is left out like
    // an empty one.
    if (l.find_first_not_of(' ') == std::string::npos) continue;
    t.lines.push_back(l);
  }
  return t;
}

std::string StepText(const std::string& label) {
  if (!label.empty() && label[0] == ';') return label;
  return label.substr(0, label.find(';'));
}

bool ParseScheduleLine(const std::string& line, ScheduleEntry* e) {
  if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) return false;
  ScheduleEntry s;
  if (std::sscanf(line.c_str(), "%2d %2d %2d %d%*c%d%*c%d", &s.year, &s.month, &s.day, &s.hour,
                  &s.minute, &s.second) != 6)
    return false;
  if (s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31 || s.hour < 0 || s.hour > 23 ||
      s.minute < 0 || s.minute > 59 || s.second < 0 || s.second > 60)
    return false;
  s.year += 2000;
  s.command = line.size() > 18 ? line.substr(18) : std::string();
  *e = s;
  return true;
}

void ResetSlots(std::array<ScriptSlot, kScriptLevels>& slots) {
  for (auto& s : slots) s = ScriptSlot{};
}

}  // namespace korvex
