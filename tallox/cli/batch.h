// The batch command line of tallox: the scans and exports of the panels without a display.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tallox {

// True when args (without the program name) start with a batch verb.
bool IsBatchCommand(const std::vector<std::string>& args);
bool IsVerb(const std::string& word);
// Runs one batch command (a verb and its files and options); what the panel would show goes to
// out, progress and messages to err. Several files run in parallel; their reports come in the
// order given, then the total. Returns the exit code: 0 success, 1 unreadable input, 2 wrong
// usage.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The whole command line before any panel is loaded: --help, --version, a batch verb, or a
// refusal of an unknown option or verb. Returns the exit code, or -1 when the panels are to
// start (no verb; the panel options and at most the file to open).
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
std::string BatchUsage();
// Splits a command line typed on standard input (headless tallox) into words; double quotes keep
// blanks inside a word ("2006 JAN  4 12:30:00").
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace tallox
