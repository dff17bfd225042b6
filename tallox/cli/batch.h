// The batch command line of tallox: the scans and exports of the panels without a display.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tallox {

// True when args (without the program name) start with a batch verb.
bool IsBatchCommand(const std::vector<std::string>& args);
// Runs one batch command; what the panel would show goes to out, progress and messages to err.
// Returns the exit code: 0 success, 1 unreadable input, 2 wrong usage.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
std::string BatchUsage();
// Splits a command line typed on standard input (headless tallox) into words; double quotes keep
// blanks inside a word ("2006 JAN  4 12:30:00").
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace tallox
