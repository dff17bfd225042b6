// The command line and the interpreter of the text command language: classification of a line,
// the keyword table, and the refusal of what is not understood.
#include <cstring>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace korvex {

namespace {
constexpr std::size_t kShownOfLongLine = 80;  // characters of an over-long line in its message

// Cut to the command buffer, a line would be another command than the one given: it is refused
// whole, with its beginning in the message.
void RefuseLongLine(const std::string& line) {
  CmdState& c = Ctx().cmd;
  c.glbcmd = line.substr(0, kShownOfLongLine) + "...";
  HistoryStore(c.history, c.glbcmd);
  LogMessage(c.glbcmd + msg::kTooLong, kRed);
  ShowCommandLineMessage(msg::kCommandNotSent);
}
}  // namespace

bool Off(const std::string& compact) { return compact.find("off") != std::string::npos; }

void SetCommandLine(const char* text) { SetCtrlVal(Ctx().ui.eventLog, ids::kEvCmdLine, text); }

void ShowCommandLineMessage(const char* text) {
  SetCommandLine(text);
  SetCtrlAttribute(Ctx().ui.eventLog, ids::kEvCmdLine, ATTR_TEXT_SELECTED, 1);
}

void EnableSend(bool on) { SetCtrlAttribute(Ctx().ui.eventLog, ids::kEvSend, ATTR_DIMMED, on ? 0 : 1); }

std::string MessagePrefix() { return DateStr() + " " + TimeStr() + " "; }

// The command table: each keyword in the order it is tried, with its handler. A line that
// matches none, or whose handler does not understand it, is refused.
struct KeywordHandler {
  Keyword keyword;
  void (*run)();
};
constexpr KeywordHandler kKeywordHandlers[] = {
    {Keyword::WaitUntil, KwWaitUntil}, {Keyword::If, KwIf},           {Keyword::Free, KwFree},
    {Keyword::Let, KwLet},             {Keyword::Wait, KwWait},       {Keyword::Log, KwLog},
    {Keyword::BadCks, KwBadCks},       {Keyword::StartSequence, KwStartSequence},
    {Keyword::EndSequence, KwEndSequence},                            {Keyword::Start, KwStart},
    {Keyword::SaveCmd, KwSaveCmd},
    {Keyword::SendScm, KwSendScm},     {Keyword::Echo, KwEcho},       {Keyword::Rec, KwRec},
    {Keyword::Quit, KwQuit},           {Keyword::EndProc, KwEndProc}, {Keyword::Go, KwGo},
    {Keyword::Cancel, KwCancel},       {Keyword::Set, KwSet},         {Keyword::Page, KwPage},
    {Keyword::Load, KwLoad},
    {Keyword::Schedule, KwSchedule},   {Keyword::Send, KwSend},
};

void SpacecraftCommand(const std::string& line) {
  Ctx().cmd.glbcmd = line;
  Commands();
}

// An SCM remark: the text (at most 72 characters) goes out as the string of a "systemnop"
// command, which carries it in the SCM header instead of the packet.
void SysRem(const std::string& text) {
  std::string line = "/systemnop \"" + text.substr(0, 72) + "\"";
  SetCommandLine(line.c_str());
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_ENTER_VKEY);
}

void TextCommand() {
  CmdState& c = Ctx().cmd;
  if (c.tempbuf.rfind("snapshot", 0) == 0) {
    KwSnapshot();
  } else {
    Keyword k = MatchKeyword(c.tempbuf);
    for (const KeywordHandler& h : kKeywordHandlers)
      if (h.keyword == k) {
        h.run();
        break;
      }
  }
  if (!c.txflag) CmdNg();
}

void CmdNg() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  if (c.canceled) {
    LogMessage(c.glbcmd + msg::kCanceledByUser, kRed);
    c.canceled = 0;
    p.script.scrflg = 0;
    p.cmd.scm.ident.clear();
  } else {
    LogMessage(c.glbcmd + msg::kNotRecognized, kRed);
  }
  ShowCommandLineMessage(msg::kCommandNotSent);
  // A running script halts here until the operator says "go".
  HoldScript();
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
      SpacecraftCommand(c.glbcmd);
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
  RTE_REGISTER_CALLBACK(CVClear);
  RTE_REGISTER_MENU_CALLBACK(menuCmd);
  RTE_REGISTER_MENU_CALLBACK(SaveDisplay);
  RTE_REGISTER_MENU_CALLBACK(RecallDisplay);
  InstallScripts(p);
  InstallVariables(p);
  InstallFiles(p);
}

int RunCommandLine(const std::string& line) {
  Program& p = Ctx();
  // The command line holds less than this; set into it, the line would be cut silently.
  if (line.size() >= kGlbcmdMax) {
    RefuseLongLine(line);
    return 0;
  }
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
      if (line.size() >= kGlbcmdMax) {
        RefuseLongLine(line);
        return 0;
      }
      c.glbcmd = line;
      HistoryStore(c.history, line);
      if (p.cmdlink.flagArr != 0) {
        ShowCommandLineMessage(msg::kWaitingForArr);
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
