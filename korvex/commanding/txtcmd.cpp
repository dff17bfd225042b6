// The command line and the text command language (the keywords the station understands so far;
// every other line is refused through CmdNg).
#include <cstring>

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
    default:
      // SCM and CCSDS header settings belong to the SCM module.
      break;
  }
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
      // Encoding into SCMs comes with the command database module.
      CmdNg();
      break;
    case LineClass::Remark:
      LogMessage(c.glbcmd, "\033fg007A00");
      SetCommandLine("");
      break;
    case LineClass::ScmRemark:
      CmdNg();
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

void InstallCommanding(Program&) {
  RTE_REGISTER_CALLBACK(CmdLine);
  RTE_REGISTER_CALLBACK(SendLine);
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
