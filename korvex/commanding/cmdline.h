// The operator's command line: its history, the compact form of a line and the classification
// of lines and text-command keywords.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvex {

// The file of a "snapshot FILE" line: the first word after "snapshot", as typed.
std::string SnapshotFile(const std::string& line);

constexpr int kHistory = 10;
constexpr std::size_t kHistoryEntry = 1024;
constexpr std::size_t kGlbcmdMax = 110000;

struct History {
  std::array<std::string, kHistory> repcmd{};
  int write = 0;    // next entry to write
  int recall = 0;   // entry the up arrow shows next
  int wrapped = 0;
};
void HistoryStore(History& h, const std::string& line);
// The entry to show for one press of the up arrow; steps back through the history.
std::string HistoryRecall(History& h);
void HistoryClear(History& h);

// Characters before the first ";" without blanks, tabs and "(", in lower case.
std::string CompactForm(const std::string& line);

enum class LineClass {
  Empty,
  Spacecraft,         // "/" or "cmd" at the first or second character
  SpacecraftOddQuote, // a spacecraft command with an odd number of double quotes: refused
  Remark,             // "rem"
  ScmRemark,          // "srem"
  Text,               // everything else: the text command language
};
LineClass ClassifyLine(const std::string& compact, const std::string& line);

// Keywords of the text command language, in the order they are tried.
enum class Keyword {
  None,
  WaitUntil, If, Free, Let, Wait, Log, BadCks, StartSequence, EndSequence, Start, SaveCmd,
  SendScm, Echo, Rec, Quit, EndProc, Go, Cancel, Set, Page, Load, Schedule, Send,
};
Keyword MatchKeyword(const std::string& compact);
const char* KeywordName(Keyword k);

// Sub-commands of "set".
enum class SetKind { None, Moc, Tsrv, Scm, Ccsds };
SetKind MatchSet(const std::string& compact, const std::string& line);

// "set tsrv HOST PORT": the two words after "set" and "tsrv" (a missing port reads 0). False,
// with host and port left alone, when the host is missing.
bool ParseTsrv(const std::string& line, std::string* host, unsigned* port);
// "set moc TEXT": the text after the words set and moc and one blank, upper-cased, or "" when the
// line has nothing after them.
std::string MocText(const std::string& line);

}  // namespace korvex
