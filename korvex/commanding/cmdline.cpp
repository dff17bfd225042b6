#include "commanding/cmdline.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "core/text.h"

namespace korvex {

namespace {
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
bool Has(const std::string& s, const char* k) { return s.find(k) != std::string::npos; }
}  // namespace

void HistoryStore(History& h, const std::string& line) {
  h.recall = h.write;
  h.repcmd[h.write] = line.size() >= kHistoryEntry ? line.substr(0, kHistoryEntry - 1) : line;
  if (++h.write >= kHistory) {
    h.write = 0;
    h.wrapped = 1;
  }
}

std::string HistoryRecall(History& h) {
  std::string shown = h.repcmd[h.recall];
  if (--h.recall < 0) {
    // With nothing typed yet the walk stays on entry 0 instead of leaving the table.
    h.recall = h.wrapped ? kHistory - 1 : (h.write > 0 ? h.write - 1 : 0);
  }
  return shown;
}

void HistoryClear(History& h) {
  h.repcmd.fill({});
  h.write = 0;
  h.recall = 0;
  h.wrapped = 0;
}

std::string CompactForm(const std::string& line) {
  std::string c;
  for (char ch : line) {
    if (ch == ';') break;
    if (ch == ' ' || ch == '\t' || ch == '(') continue;
    c += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return c;
}

LineClass ClassifyLine(const std::string& c, const std::string& line) {
  if (c.empty()) return LineClass::Empty;
  if (c[0] == '/' || c.compare(0, 3, "cmd") == 0 || (c.size() > 1 && c.compare(1, 3, "cmd") == 0)) {
    int quotes = 0;
    for (char ch : line) quotes += ch == '"';
    return quotes % 2 ? LineClass::SpacecraftOddQuote : LineClass::Spacecraft;
  }
  if (c.compare(0, 3, "rem") == 0) return LineClass::Remark;
  if (c.compare(0, 4, "srem") == 0) return LineClass::ScmRemark;
  return LineClass::Text;
}

Keyword MatchKeyword(const std::string& c) {
  if (c.empty()) return Keyword::None;
  auto starts = [&](const char* k) { return Has(c, k) && c[0] == k[0]; };
  auto sixth = [&](char ch) { return c.size() > 5 && c[5] == ch; };
  if (Has(c, "wait") && Has(c, "until") && c[0] == 'w') return Keyword::WaitUntil;
  if (starts("if")) return Keyword::If;
  if (starts("free")) return Keyword::Free;
  if (starts("let")) return Keyword::Let;
  if (starts("wait")) return Keyword::Wait;
  if (starts("log")) return Keyword::Log;
  if (starts("badcks")) return Keyword::BadCks;
  // A line that begins with "set" is a setting, whatever its arguments say: read in table order,
  // "set moc start x" would run a script and "set moc sendscm" switch stored SCMs instead of
  // going to the MOC.
  if (c.rfind("set", 0) == 0) return Keyword::Set;
  if (Has(c, "startsequence") && (Has(c, "ram") || Has(c, "eeprom"))) return Keyword::StartSequence;
  if (Has(c, "endsequence") && sixth('q')) return Keyword::EndSequence;
  if (starts("start") && !Has(c, "sequence")) return Keyword::Start;
  if (starts("savecmd")) return Keyword::SaveCmd;
  if (Has(c, "sendscm") && sixth('c')) return Keyword::SendScm;
  if (starts("echo")) return Keyword::Echo;
  if (starts("rec")) return Keyword::Rec;
  if (starts("quit")) return Keyword::Quit;
  if (starts("endproc")) return Keyword::EndProc;
  if (starts("go")) return Keyword::Go;
  if (starts("cancel")) return Keyword::Cancel;
  if (starts("set")) return Keyword::Set;
  if (starts("page")) return Keyword::Page;
  if (starts("load")) return Keyword::Load;
  if (starts("schedule")) return Keyword::Schedule;
  if (starts("send")) return Keyword::Send;
  return Keyword::None;
}

const char* KeywordName(Keyword k) {
  static const char* const kNames[] = {
      "",      "wait until", "if",   "free", "let",   "wait",    "log",     "badcks",
      "startsequence", "endsequence", "start", "savecmd", "sendscm", "echo", "rec",  "quit",
      "endproc", "go",  "cancel", "set",  "page",  "load",    "schedule", "send"};
  return kNames[static_cast<int>(k)];
}

SetKind MatchSet(const std::string& c, const std::string& line) {
  if (Has(c, "moc")) return SetKind::Moc;
  if (Has(c, "tsrv")) return SetKind::Tsrv;
  if (Has(line, "SCM")) return SetKind::Scm;
  if (Has(line, "CCSDS")) return SetKind::Ccsds;
  return SetKind::None;
}

namespace {
// Position in line just after the word w found (any case) after position from, or npos.
std::size_t After(const std::string& line, const char* w, std::size_t from) {
  std::size_t p = Lower(line).find(w, from);
  return p == std::string::npos ? p : p + std::string(w).size();
}
}  // namespace

bool ParseTsrv(const std::string& line, std::string* host, unsigned* port) {
  std::size_t p = After(line, "set", 0);
  if (p != std::string::npos) p = After(line, "tsrv", p);
  if (p == std::string::npos) return false;
  std::istringstream in(line.substr(p));
  std::string h, num;
  in >> h >> num;
  if (h.empty()) return false;
  *host = h;
  *port = static_cast<unsigned>(std::strtoul(num.c_str(), nullptr, 10));
  return true;
}

std::string MocText(const std::string& line) {
  std::size_t p = After(line, "set", 0);
  if (p != std::string::npos) p = After(line, "moc", p);
  if (p == std::string::npos || p >= line.size()) return {};
  if (line[p] == ' ') ++p;
  return Upper(line.substr(p));
}

std::string SnapshotFile(const std::string& line) {
  std::size_t i = 0;
  auto blank = [&](std::size_t k) { return line[k] == ' ' || line[k] == '\t'; };
  while (i < line.size() && blank(i)) ++i;
  i += 8;  // "snapshot"
  while (i < line.size() && blank(i)) ++i;
  std::size_t j = i;
  while (j < line.size() && !blank(j)) ++j;
  return i < line.size() ? line.substr(i, j - i) : std::string();
}

}  // namespace korvex
