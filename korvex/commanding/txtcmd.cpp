// The command line and the text command language (the keywords the station understands so far;
// every other line is refused through CmdNg).
#include <cstring>
#include <sstream>

#include "commanding/messages.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr unsigned kMocWriteTimeoutMs = 5000;

bool Off(const std::string& compact) { return compact.find("off") != std::string::npos; }

void SetCommandLine(const char* text) { SetCtrlVal(Ctx().ui.eventLog, ids::kEvCmdLine, text); }

void SetMoc() {
  Program& p = Ctx();
  LinkState& L = p.link;
  CmdState& c = p.cmd;
  if (Off(c.tempbuf)) {
    if (L.tHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(L.tHandle));
    SetCtrlVal(p.ui.link, ids::kLkTlmLamp, 0);
    SetCtrlVal(p.ui.link, ids::kLkTlmSwitch, 0);
    L.tHandle = -1;
    c.txflag = 1;
    return;
  }
  if (L.tHandle < 0) {
    SetCtrlVal(p.ui.link, ids::kLkTlmSwitch, 1);
    L.cfgtlm = 0;
    L.nomocset = 1;
    RequestConnect(0);
    L.nomocset = 0;
  }
  if (L.tHandle >= 0) {
    std::string text = MocText(c.glbcmd) + "\n";
    int r = ClientTCPWrite(static_cast<unsigned>(L.tHandle), text.data(), text.size(),
                           kMocWriteTimeoutMs);
    // Only a line that went out counts as done; a failed write is refused, not logged as sent.
    if (r > 0) c.txflag = 1;
  }
}

// "set SCM key value" and "set CCSDS key value": one field of the SCM panel, committed.
void SetHeaderField(bool scm) {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  const std::string& line = c.glbcmd;
  std::size_t at = line.find(scm ? "SCM" : "CCSDS");
  std::istringstream in(line.substr(at + (scm ? 3 : 5)));
  std::string key, value;
  if (!(in >> key >> value)) return;
  StringLowerCase(key);
  static const std::pair<const char*, int> kScmKeys[] = {
      {"msgt", 38}, {"cmdm", 40}, {"spar", 39}, {"faci", 41}, {"spac", 27},
      {"pack", 25}, {"enab", 24}, {"time", 3},  {"delt", 2}};
  static const std::pair<const char*, int> kCcsdsKeys[] = {
      {"vers", 36}, {"type", 35}, {"seco", 34}, {"flag", 37}, {"ecou", 32}, {"erco", 30},
      {"rcou", 31}, {"coun", 33}, {"secs", 29}, {"subs", 28}, {"spar", 26}};
  int control = 0;
  if (scm) {
    for (auto [k, ctl] : kScmKeys)
      if (key.find(k) != std::string::npos) { control = ctl; break; }
  } else {
    for (auto [k, ctl] : kCcsdsKeys)
      if (key.find(k) != std::string::npos) { control = ctl; break; }
  }
  if (!control) return;
  StringUpperCase(value);
  SetCtrlVal(p.ui.scm, control, value.c_str());
  if (MocHeader(p.ui.scm, control, EVENT_COMMIT, nullptr, 0, 0) == 0) c.txflag = 1;
}

void Set() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  c.txflag = 0;
  switch (MatchSet(c.tempbuf, c.glbcmd)) {
    case SetKind::Moc:
      SetMoc();
      break;
    case SetKind::Tsrv: {
      std::string host;
      unsigned port = 0;
      ParseTsrv(c.glbcmd, &host, &port);
      p.link.telemServ = host;
      p.link.cfgtport = port;
      p.link.cfgtlm = 0;
      c.txflag = 1;
      break;
    }
    case SetKind::Scm:
    case SetKind::Ccsds:
      SetHeaderField(MatchSet(c.tempbuf, c.glbcmd) == SetKind::Scm);
      break;
    default:
      break;
  }
}

// "badcks" and "badcks off": packets leave with a wrong checksum (their bytes add up to 1).
void BadCks(const std::string& prefix) {
  Program& p = Ctx();
  const bool off = Off(p.cmd.tempbuf);
  p.cmd.scm.badCks = off ? 0 : 1;
  std::string text = prefix + (off ? msg::kBadCksOff : msg::kBadCksOn);
  ListOnly(text, off ? kBlack : kRed);
  WriteArchiveText(p.arc.arcfile, text + "\r\n");
  SetCtrlAttribute(p.ui.eventLog, ids::kEvBadCks, ATTR_ON_COLOR, off ? 0xC0C0C0 : 0xFF0000);
  SetCtrlAttribute(p.ui.eventLog, ids::kEvBadCks, ATTR_OFF_COLOR, off ? 0xC0C0C0 : 0);
  p.cmd.txflag = 1;
}

// "snapshot FILE": every panel's controls as JSON, for monitoring and for checks from outside.
void Snapshot() {
  CmdState& c = Ctx().cmd;
  c.txflag = 1;
  std::string file = SnapshotFile(c.glbcmd);
  if (file.empty()) {
    LogMessage(msg::kSnapshotNoFile, kRed);
    return;
  }
  std::string err;
  if (rte::WriteSnapshot(rte::ResolvePath(file), &err) < 0) LogMessage(msg::kSnapshotFailed + err, kRed);
}

// An SCM remark: the text (at most 72 characters) goes out as the string of a "systemnop"
// command, which carries it in the SCM header instead of the packet.
void SysRem(const std::string& text) {
  std::string line = "/systemnop \"" + text.substr(0, 72) + "\"";
  SetCommandLine(line.c_str());
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_ENTER_VKEY);
}

}  // namespace

void TextCommand() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  const std::string prefix = DateStr() + " " + TimeStr() + " ";
  if (c.tempbuf.rfind("snapshot", 0) == 0) {
    Snapshot();
    if (!c.txflag) CmdNg();
    return;
  }
  switch (MatchKeyword(c.tempbuf)) {
    case Keyword::Log:
      if (Off(c.tempbuf)) {
        p.log.LogEvents = 0;
        WriteArchiveText(p.arc.arcfile, prefix + msg::kLogOff + "\n");
      } else {
        p.log.LogEvents = 1;
      }
      c.txflag = 1;
      break;
    case Keyword::Echo:
      if (Off(c.tempbuf)) {
        p.log.Echo = 0;
        ListOnly(prefix + msg::kEchoOff);
      } else {
        p.log.Echo = 1;
      }
      c.txflag = 1;
      break;
    case Keyword::Rec:
      SetCtrlVal(p.ui.link, ids::kLkRecSwitch, Off(c.tempbuf) ? 0 : 1);
      recordOnOff(p.ui.link, ids::kLkRecSwitch, EVENT_COMMIT, nullptr, 0, 0);
      c.txflag = 1;
      break;
    case Keyword::BadCks:
      BadCks(prefix);
      break;
    case Keyword::Quit:
      QuitUserInterface(0);
      c.txflag = 1;
      break;
    case Keyword::Set:
      Set();
      break;
    default:
      // Scripts, variables, conditions, sequences, stored SCMs, displays, button files and
      // schedules come with the commanding modules.
      break;
  }
  if (!c.txflag) CmdNg();
}

void CmdNg() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  if (c.canceled) {
    LogMessage(c.glbcmd + msg::kCanceledByUser, kRed);
    c.canceled = 0;
  } else {
    LogMessage(c.glbcmd + msg::kNotRecognized, kRed);
  }
  SetCommandLine(msg::kCommandNotSent);
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_TAB_VKEY);
  c.txflag = 0;
}

void ExecuteLine() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  switch (ClassifyLine(c.tempbuf, c.glbcmd)) {
    case LineClass::Empty:
      break;
    case LineClass::SpacecraftOddQuote:
      CmdNg();
      break;
    case LineClass::Spacecraft:
      Commands();
      break;
    case LineClass::Remark:
      LogMessage(c.glbcmd, "\033fg007A00");
      SetCommandLine("");
      break;
    case LineClass::ScmRemark:
      LogMessage(c.glbcmd, kGreen);
      p.cmd.scm.sremFlg = 1;
      SysRem(c.glbcmd.size() > 5 ? c.glbcmd.substr(5) : std::string());
      break;
    case LineClass::Text:
      TextCommand();
      if (c.txflag) {
        LogMessage(c.glbcmd, kBlack);
        SetCommandLine("");
      }
      break;
  }
}

void InstallCommanding(Program& p) {
  RTE_REGISTER_CALLBACK(CmdLine);
  RTE_REGISTER_CALLBACK(SendLine);
  RTE_REGISTER_CALLBACK(MocHeader);
  // The script step of the timer. Until scripts can be started the script list is always
  // empty, and the step only leaves the script slots as an empty list does.
  p.duties.scriptPause = [] {
    const CoreState& c = Ctx().core;
    if (!c.delay && !c.wait && !c.until) ResetScriptSlots();
  };
}

int RunCommandLine(const std::string& line) {
  Program& p = Ctx();
  SetCommandLine(line.c_str());
  return rte::SendEvent(p.ui.eventLog, ids::kEvCmdLine, EVENT_KEYPRESS, VAL_ENTER_VKEY);
}

}  // namespace korvex

using namespace korvex;

int CmdLine(int panel, int control, int event, void*, int key, int) {
  if (event != EVENT_KEYPRESS) return 0;
  Program& p = Ctx();
  CmdState& c = p.cmd;
  switch (key) {
    case VAL_ENTER_VKEY: {
      c.txflag = 0;
      std::string line;
      GetCtrlVal(panel, control, &line);
      if (line.size() >= kGlbcmdMax) line.resize(kGlbcmdMax - 1);
      c.glbcmd = line;
      HistoryStore(c.history, line);
      if (p.cmdlink.flagArr != 0) {
        SetCtrlVal(panel, control, msg::kWaitingForArr);
        FakeKeystroke(VAL_HOME_VKEY);
        return -1;
      }
      c.tempbuf = CompactForm(line);
      ExecuteLine();
      c.txflag = 0;
      break;
    }
    case VAL_UP_ARROW_VKEY:
      SetCtrlVal(panel, control, HistoryRecall(c.history).c_str());
      FakeKeystroke(VAL_END_VKEY);
      break;
    case VAL_ESC_VKEY:
      SetCtrlVal(panel, control, "");
      FakeKeystroke(VAL_END_VKEY);
      break;
    case VAL_F12_VKEY:
      HistoryClear(c.history);
      break;
    default:
      break;
  }
  return 0;
}

int SendLine(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_ENTER_VKEY);
  return 0;
}
