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

}  // namespace tallox
