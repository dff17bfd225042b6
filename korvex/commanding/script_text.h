// Script files and script lines as text: what the loader and the stepper need, without panels.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// A script file's lines to queue (tabs turned into blanks, blank lines left out) and its
// version: from the first line holding a digit, up to 4 characters that are digits or ".",
// right-aligned with leading "0" ("0000" when no line holds a digit).
struct ScriptText {
  std::vector<std::string> lines;
  std::string version = "0000";
};
ScriptText ReadScriptText(const std::vector<std::string>& fileLines);

// A queued line as the stepper runs it: cut before its first ";" (a line that starts with ";" is a
// comment and stays whole).
std::string StepText(const std::string& label);

// One schedule line: "YY MM DD hh:mm:ss command"; the command starts at the 19th character.
// False for a line that does not start with a digit or whose date does not read.
struct ScheduleEntry {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::string command;
};
bool ParseScheduleLine(const std::string& line, ScheduleEntry* e);

// Script slots: level 0 holds typed commands, scripts run at levels 1-10.
constexpr int kScriptLevels = 11;
struct ScriptSlot {
  std::string name = "No Script";
  std::string vers = "0000";
  std::uint32_t line = 0;
  std::uint32_t flag = 0;  // lines of the script not yet stepped
};
void ResetSlots(std::array<ScriptSlot, kScriptLevels>& slots);

}  // namespace korvex
