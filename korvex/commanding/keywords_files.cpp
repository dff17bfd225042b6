// Files the language loads and the operator's aids around the command line: the command-button
// file ("load") and its panel, timed schedules ("schedule") and their panel, picking a command
// from the database list, and the line viewers.
#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/rte.h"

namespace korvex {

namespace {

// A schedule entry more than this late is not run (and, being first, holds the others back).
constexpr double kScheduleLate = 3600;

std::string AfterKeyword(const std::string& compact, std::size_t n) {
  return compact.size() > n ? compact.substr(n) : std::string();
}

void ShowButtonFile(const std::string& path, const std::vector<std::string>& lines) {
  Program& p = Ctx();
  SetPanelAttribute(p.ui.cmdFile, ATTR_TITLE, CmdFileTitle(path).c_str());
  auto fields = CmdFileFields(lines);
  for (int k = 1; k <= kCmdFileFields; ++k)
    SetCtrlVal(p.ui.cmdFile, CmdFileFieldId(k), fields[static_cast<std::size_t>(k - 1)].c_str());
}

// The local time of a schedule entry in seconds since 1970, or -1 when it is no real date.
double ScheduleTime(const ScheduleEntry& e) {
  std::tm t{};
  t.tm_year = e.year - 1900;
  t.tm_mon = e.month - 1;
  t.tm_mday = e.day;
  t.tm_hour = e.hour;
  t.tm_min = e.minute;
  t.tm_sec = e.second;
  t.tm_isdst = -1;
  std::time_t s = std::mktime(&t);
  if (s == static_cast<std::time_t>(-1)) return -1;
  // A day the month does not have (30 February) would be moved into the next month.
  if (t.tm_mday != e.day || t.tm_mon != e.month - 1) return -1;
  return static_cast<double>(s);
}

}  // namespace

void KwLoad() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  std::string name = AfterKeyword(c.tempbuf, 4);
  if (name.find('.') == std::string::npos) name += ".cfg";
  std::string path = "cfg/" + name;
  std::vector<std::string> lines;
  if (!ReadTextLines(path, &lines)) {
    std::string chosen;
    if (FileSelectPopup("cfg", "*.cfg", msg::kFileNameTitle, VAL_LOAD_BUTTON, &chosen) <= 0 ||
        !ReadTextLines(chosen, &lines))
      return;  // no file: refused
    path = chosen;
  }
  ShowButtonFile(path, lines);
  c.txflag = 1;
}

void KwSchedule() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  std::string name = AfterKeyword(c.tempbuf, 8);
  if (name.find('.') == std::string::npos) name += ".sch";
  std::vector<std::string> lines;
  if (!ReadTextLines("cmd/" + name, &lines)) {
    std::string chosen;
    if (FileSelectPopup("cmd", "*.sch", msg::kFileNameTitle, VAL_LOAD_BUTTON, &chosen) <= 0 ||
        !ReadTextLines(chosen, &lines)) {
      c.txflag = 1;  // cancelled: nothing more is said
      return;
    }
    c.glbcmd = "schedule " + std::filesystem::path(chosen).filename().string();
  }
  int line = 0;
  for (const std::string& l : lines) {
    ++line;
    ScheduleEntry e;
    if (l.empty() || !std::isdigit(static_cast<unsigned char>(l[0]))) continue;
    double due = ParseScheduleLine(l, &e) ? ScheduleTime(e) : -1;
    if (due < 0) {
      // A date that does not read would be due at a time nobody meant: said, not queued.
      LogMessage("cmd/" + name + ":" + std::to_string(line) + ": " + msg::kBadScheduleLine, kYellow);
      continue;
    }
    InsertListItem(p.ui.schedule, ids::kSchedList, -1, l.c_str(), due);
  }
  c.txflag = 1;
}

// The first entry runs when its time has come and it is less than an hour late.
void ScheduleTick() {
  Program& p = Ctx();
  int n = 0;
  GetNumListItems(p.ui.schedule, ids::kSchedList, &n);
  if (n == 0) return;
  double due = 0;
  GetValueFromIndex(p.ui.schedule, ids::kSchedList, 0, &due);
  double now = static_cast<double>(rte::Now());
  if (now < due || now - due >= kScheduleLate) return;
  std::string label;
  GetLabelFromIndex(p.ui.schedule, ids::kSchedList, 0, &label);
  DeleteListItem(p.ui.schedule, ids::kSchedList, 0, 1);
  RunCommandLine(label.size() > 18 ? label.substr(18) : std::string());
}

}  // namespace korvex

using namespace korvex;

// Button c of the command-file panel runs text field c - 16.
int CommandPanel(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  std::string text;
  GetCtrlVal(panel, control - 16, &text);
  SetCommandLine(text.c_str());
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_ENTER_VKEY);
  return 0;
}

// An edited command field: offer to save the sixteen fields as a new button file.
int CommandStr(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  if (ConfirmPopup(msg::kButtonFileTitle, msg::kSaveNewButtonFile) != 1) {
    SetPanelAttribute(panel, ATTR_TITLE, msg::kCommandFileChanged);
    GiveFocusToCommandLine();
    return 0;
  }
  std::string name;
  if (PromptPopup(msg::kButtonFileTitle, msg::kNameOfButtonFile, &name, 260) < 0 || name.empty() ||
      name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
      name.find("..") != std::string::npos) {
    GiveFocusToCommandLine();
    return 0;
  }
  std::string path = rte::ResolvePath("cfg/" + name);
  if (std::filesystem::exists(path) && ConfirmPopup(msg::kButtonFileTitle, msg::kButtonFileExists) != 1) {
    GiveFocusToCommandLine();
    return 0;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int id = 17; id >= 2; --id) {
    std::string field;
    GetCtrlVal(panel, id, &field);
    out << field << "\n";
  }
  out.flush();
  if (out) SetPanelAttribute(panel, ATTR_TITLE, CmdFileTitle(path).c_str());
  GiveFocusToCommandLine();
  return 0;
}

// The command database list: a double-click (or Enter) types "/MNEMONIC " for the operator to
// complete; a right-click shows the whole line.
int selectCmd(int panel, int control, int event, void*, int, int) {
  Program& p = Ctx();
  int index = -1;
  GetCtrlIndex(panel, control, &index);
  if (index < 0) return 0;
  std::string line;
  GetLabelFromIndex(panel, control, index, &line);
  if (event == EVENT_RIGHT_CLICK) {
    SetCtrlVal(p.ui.comment, ids::kViewText, line.c_str());
    DisplayPanel(p.ui.comment);
    GiveFocusToCommandLine();
    FakeKeystroke(VAL_TAB_VKEY);
    return 0;
  }
  if (event != EVENT_COMMIT) return 0;
  std::size_t a = line.find_first_not_of(" \t");
  std::size_t b = a == std::string::npos ? a : line.find_first_of(" \t", a);
  std::string mnemonic = a == std::string::npos ? "" : line.substr(a, b == std::string::npos ? b : b - a);
  SetCommandLine(("/" + mnemonic + " ").c_str());
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_END_VKEY);
  return 0;
}

// Clear all (control 3) or delete the checked entries (the other button).
int ClearSchedule(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  if (control == ids::kSchedClearAll) {
    ClearListCtrl(panel, ids::kSchedList);
  } else {
    int n = 0;
    GetNumListItems(panel, ids::kSchedList, &n);
    for (int i = n - 1; i >= 0; --i) {
      int checked = 0;
      IsListItemChecked(panel, ids::kSchedList, i, &checked);
      if (checked) DeleteListItem(panel, ids::kSchedList, i, 1);
    }
  }
  GiveFocusToCommandLine();
  return 0;
}

namespace {
// A list line in its viewer, without the colour prefix of an event line.
void ViewLine(int panel, int control, int viewer) {
  int index = -1;
  GetCtrlIndex(panel, control, &index);
  if (index < 0) return;
  std::string line;
  GetLabelFromIndex(panel, control, index, &line);
  if (!line.empty() && line[0] == '\033' && line.size() >= 9) line = line.substr(9);
  SetCtrlVal(viewer, ids::kViewText, line.c_str());
  DisplayPanel(viewer);
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_TAB_VKEY);
}
}  // namespace

// The command-file panel from the main window's menu: shown when hidden, hidden when shown.
void menuCmd(int, int, void*, int) {
  Program& p = Ctx();
  int visible = 0;
  GetPanelAttribute(p.ui.cmdFile, ATTR_VISIBLE, &visible);
  if (visible) HidePanel(p.ui.cmdFile);
  else DisplayPanel(p.ui.cmdFile);
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_END_VKEY);
}

// Reset of command verification: the list, its counts and the four sequence counters start
// again from 0 (an SCM being built is abandoned with the panel's commit).
int CVClear(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  p.db.totcnt = 0;
  p.db.pcmdcount = p.db.hk.cmdcount;
  ScmState& s = p.cmd.scm;
  s.cmdlsh.fill(0);
  s.seqinc.fill(0);
  p.cmd.cmdcnt = 0;
  p.cmd.cvBoxi = 0;
  p.cmd.boxindex = 0;
  p.cmdlink.lcvCnt = 0;
  for (int id : {ids::kCvSent, ids::kCvVerified, ids::kCvLast}) SetCtrlVal(p.ui.cmdVerify, id, 0);
  ClearListCtrl(p.ui.cmdVerify, ids::kCvList);
  for (int id : {scmctl::kSc, scmctl::kEsc, scmctl::kRsc, scmctl::kErsc}) SetCtrlVal(p.ui.scm, id, "0");
  s.ccsdsSC = s.ccsdsESC = s.ccsdsRSC = s.ccsdsERSC = 0;
  MocHeader(p.ui.scm, 0, EVENT_COMMIT, nullptr, 0, 0);
  return 0;
}

int logView(int panel, int control, int event, void*, int, int) {
  if (event == EVENT_RIGHT_CLICK) ViewLine(panel, control, Ctx().ui.logView);
  return 0;
}

int cvView(int panel, int control, int event, void*, int, int) {
  if (event == EVENT_RIGHT_CLICK) ViewLine(panel, control, Ctx().ui.cvView);
  return 0;
}

namespace korvex {

void InstallFiles(Program& p) {
  RTE_REGISTER_CALLBACK(CommandPanel);
  RTE_REGISTER_CALLBACK(CommandStr);
  RTE_REGISTER_CALLBACK(selectCmd);
  RTE_REGISTER_CALLBACK(ClearSchedule);
  RTE_REGISTER_CALLBACK(logView);
  RTE_REGISTER_CALLBACK(cvView);
  p.duties.schedule = ScheduleTick;
}

}  // namespace korvex
