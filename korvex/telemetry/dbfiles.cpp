#include "telemetry/dbfiles.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace korvex {

namespace {
bool ContainsNoCase(const std::string& hay, const char* needle) {
  std::string h = hay, n = needle;
  for (char& c : h) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return h.find(n) != std::string::npos;
}
std::string TabsToBlanks(std::string s) {
  for (char& c : s)
    if (c == '\t') c = ' ';
  return s;
}
}  // namespace

void SetSlot(LineSlot& s, const std::string& line) {
  std::size_t n = std::min(line.size(), kSlotTextMax);
  std::memset(s.text, 0, sizeof s.text);
  std::memcpy(s.text, line.data(), n);
}

std::vector<std::string> ErrDb::lines() const {
  std::vector<std::string> v;
  for (int i = 0; i < errCount; ++i) v.emplace_back(errdb[i].text);
  return v;
}

void ReadErrDb(const std::vector<std::string>& lines, ErrDb& db, LoadNotes* notes) {
  db.errCount = 0;
  db.surplus = 0;
  int at = 0;
  for (const std::string& l : lines) {
    ++at;
    if (ContainsNoCase(l, "Total Bytes")) break;
    if (db.errCount >= kErrSlots) {
      ++db.surplus;
      if (notes) notes->add(at, "no room for more than 300 error texts; line skipped");
      continue;
    }
    SetSlot(db.errdb[db.errCount++], l);
  }
}

ApdResult ReadApd(const std::vector<std::string>& lines, LoadNotes* notes) {
  ApdResult r;
  int heading = 0;
  int row = 0;
  int at = 0;
  auto skip = [&](const char* why) {
    ++r.ignored;
    if (notes) notes->add(at, why);
  };
  for (const std::string& l : lines) {
    ++at;
    if (l.empty() || (l[0] != '2' && l[0] != '3')) continue;
    bool isHeading = l.find('-') != std::string::npos && l.size() >= 5 &&
                     (l[4] == '2' || l[4] == '3');
    if (isHeading) {
      std::string range = l.substr(0, 7);
      for (char& c : range) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (range == "240-26F") continue;
      ++heading;
      row = 0;
      int ctrl = kSummaryFirstHeading + 1 - heading;
      if (heading <= kSummaryHeadings) r.labels.push_back({0, ctrl, TabsToBlanks(l)});
      continue;
    }
    unsigned apid = 0;
    if (std::sscanf(l.substr(0, 3).c_str(), "%3x", &apid) != 1) {
      skip("no hexadecimal APID at the start of the line; skipped");
      continue;
    }
    if (apid >= kApdIndexSize) {
      skip("APID beyond 3FF; skipped");
      continue;
    }
    if (heading < 1) {
      skip("APID line before the first group heading; skipped");
      continue;
    }
    if (heading > kGroupPanels) {
      skip("APID line under a group beyond the 14 group panels; skipped");
      continue;
    }
    int first = heading == 13 ? 26 : 16;
    int ctrl = first - row;
    if (ctrl < 2) {
      skip("no room left on the group panel; skipped");
      continue;
    }
    ++row;
    r.labels.push_back({heading, ctrl, TabsToBlanks(l)});
    r.index.apdTotal++;
    int summaryCtrl = heading <= kSummaryHeadings ? kSummaryFirstHeading + 1 - heading : 0;
    r.index.e[apid] = ApdEntry{1, summaryCtrl, heading, ctrl};
  }
  return r;
}

void ReadCmdDb(const std::vector<std::string>& lines, CmdDb& db, LoadNotes* notes) {
  db.list.clear();
  for (const std::string& l : lines) {
    if (l.size() > 1023 && notes)
      notes->add(static_cast<int>(db.list.size()) + 1, "line cut at 1023 characters");
    db.list.push_back(l.size() > 1023 ? l.substr(0, 1023) : l);
  }
  db.cmdDbLns = static_cast<int>(db.list.size());
  db.lower.found.clear();
  db.lower.hazard.clear();
  db.lower.dumps.clear();
  db.lower.lines = db.list;
  for (std::string& l : db.lower.lines)
    for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  db.decodeName.fill({});
  db.decodeApid.fill(0);
  int n = 0;
  for (int i = 16; i <= db.cmdDbLns - 17 && n < kDecodeEntries - 1; ++i) {
    char name[1024];
    int value = 0;
    if (std::sscanf(db.list[i].c_str(), "%1023s %i", name, &value) == 2 && value != 0) {
      db.decodeName[n] = std::string(name).substr(0, 29);
      db.decodeApid[n] = value;
      ++n;
    }
  }
  db.decodeName[kDecodeEntries - 1] = kCantFindApid;
}

std::string CmdDb::DecodeCommand(int key) const {
  for (int i = 0; i < kDecodeEntries - 1 && decodeApid[i] != 0; ++i)
    if (decodeApid[i] == key) return decodeName[i];
  return decodeName[kDecodeEntries - 1];
}

}  // namespace korvex
