// Command scripts: loading a script into the queue, stepping it one line at a time from the
// timer, the pauses (timed, operator, conditional), "if", and the GO / WAIT / CANCEL / START
// buttons.
#include <cctype>
#include <filesystem>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "commanding/variables.h"
#include "core/ids.h"
#include "core/station.h"
#include "core/text.h"
#include "rte/rte.h"
#include "telemetry/telemetry.h"

namespace korvex {

namespace {

// Seconds a timed wait may ask for; longer ones are refused rather than cut.
constexpr std::uint32_t kWaitMax = 86400;
constexpr std::size_t kSlotNameMax = 32;
constexpr std::size_t kShownOfLongLine = 80;  // characters of an over-long line in its message
constexpr std::size_t kSremCut = 77;          // an SCM remark line is cut here before it is sent

int CmdListPanel() { return Ctx().ui.cmdList; }

std::string WithoutBlanks(const std::string& s) {
  std::string o;
  for (char ch : s)
    if (ch != ' ' && ch != '\t') o += ch;
  return o;
}

void ResetPauses() {
  CoreState& c = Ctx().core;
  c.wait = 0;
  c.until = 0;
  c.delay = 0;
  SetCtrlVal(Ctx().ui.eventLog, ids::kEvCountdown, 0);
  EnableSend(true);
}

void ResetAllSlots() {
  ScriptState& s = Ctx().script;
  ResetSlots(s.levels);
  s.scf = 0;
}

// The variables list's labels and values, for conditions with a variable on the right.
std::optional<double> VariableValue(const std::string& name) {
  Program& p = Ctx();
  int n = 0;
  GetNumListItems(p.ui.variables, ids::kVarList, &n);
  std::vector<std::string> labels;
  for (int i = 0; i < n; ++i) {
    std::string l;
    GetLabelFromIndex(p.ui.variables, ids::kVarList, i, &l);
    labels.push_back(l);
  }
  int i = VarByName(labels, name);
  if (i < 0) return std::nullopt;
  double v = 0;
  GetValueFromIndex(p.ui.variables, ids::kVarList, i, &v);
  return v;
}

// A condition that holds: the wait ends, or the "if" commands go to the front of the queue in
// their written order.
void FixFlag(bool isIf) {
  Program& p = Ctx();
  EnableSend(true);
  if (!isIf) {
    p.core.until = 0;
    return;
  }
  const auto& cmds = p.script.cond.ifCommands;
  for (std::size_t k = cmds.size(); k > 0; --k) QueueInsert(0, cmds[k - 1]);
}

// "if" and "wait until": parse, read the point once and act.
void RunCondition(bool isIf) {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  auto cond = ParseCondition(c.tempbuf, c.glbcmd, isIf ? "if" : "until", VariableValue);
  if (!cond) return;  // no comparison: refused
  p.script.cond = *cond;
  if (!isIf) {
    p.core.until = 1;
    EnableSend(false);
  }
  c.txflag = 1;
  if (ConditionHolds(*cond, GetValue(cond->dbParam))) FixFlag(isIf);
}

// One step of the queue (finishSend): at most as many lines as were queued on entry, stopping
// at whatever has to wait.
void StepQueue() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  ScriptState& s = p.script;
  int n = QueueCount();
  for (int i = 0; i < n; ++i) {
    bool remarkPending = false;
    s.held = 0;
    if (p.cmdlink.flagArr != 0) return;
    if (QueueCount() == 0) return;
    std::string label = QueueItem(0);
    c.glbcmd = StepText(label);
    std::string lower = Lower(c.glbcmd);
    QueueDelete(0);
    std::string clabel = WithoutBlanks(lower);
    const bool spacecraft = !clabel.empty() && (clabel[0] == '/' || clabel.rfind("cmd", 0) == 0 ||
                                                clabel.compare(1, 3, "cmd") == 0);
    if (c.glbcmd.size() >= kGlbcmdMax) {
      // Cut to the command buffer it would be another command than the one written.
      c.glbcmd = c.glbcmd.substr(0, kShownOfLongLine) + "...";
      LogMessage(c.glbcmd + msg::kTooLong, kRed);
      ShowCommandLineMessage(msg::kCommandNotSent);
      HoldScript();
    } else if (spacecraft && ClassifyLine(clabel, c.glbcmd) == LineClass::SpacecraftOddQuote) {
      // An unclosed string would take the rest of the line into the packet.
      CmdNg();
    } else if (spacecraft) {
      // A line that cannot be encoded puts "Wait" in front, which the next pass stops at.
      p.log.scrcol = 1;
      SpacecraftCommand(lower);
    } else if (!clabel.empty() && clabel[0] == ';') {
      // a comment
    } else if (clabel.rfind("rem", 0) == 0) {
      LogMessage(c.glbcmd, kGreen);
    } else if (clabel.rfind("srem", 0) == 0) {
      // The remark goes out as a no-op command typed by the station; the step ends here so that
      // no other command is encoded while the remark is pending.
      LogMessage(c.glbcmd, kGreen);
      p.cmd.scm.sremFlg = 1;
      std::string text = c.glbcmd.substr(0, kSremCut);
      SysRem(text.size() > 5 ? text.substr(5) : std::string());
      remarkPending = true;
    } else {
      c.tempbuf = CompactForm(c.glbcmd);
      c.txflag = 0;
      TextCommand();
      if (!c.txflag) return;  // CmdNg put "Wait" in front: the script holds until GO
      // A stored SCM's line names the file that went out.
      if (MatchKeyword(c.tempbuf) == Keyword::Send) c.glbcmd += " " + s.sepfile;
      LogMessage(c.glbcmd, kBlue);
      if (p.core.delay || p.core.wait || p.core.until) return;
    }
    // Slot bookkeeping: a script whose lines are all stepped gives its level back.
    ScriptSlot& cur = s.levels[static_cast<std::size_t>(s.scf)];
    if (cur.flag == 0) {
      cur = ScriptSlot{};
      cur.name = std::string(kSlotNameMax, ' ');
      if (s.scf > 0) --s.scf;
    }
    ScriptSlot& now = s.levels[static_cast<std::size_t>(s.scf)];
    ++now.line;
    if (now.flag > 0) --now.flag;
    // A held script shows "Wait" at its queue's front until the operator says "go".
    if (remarkPending || s.held) return;
  }
}

}  // namespace

int QueueCount() {
  int n = 0;
  GetNumListItems(CmdListPanel(), ids::kCmdListScripts, &n);
  return n;
}

std::string QueueItem(int index) {
  std::string l;
  GetLabelFromIndex(CmdListPanel(), ids::kCmdListScripts, index, &l);
  return l;
}

void QueueInsert(int index, const std::string& line) {
  InsertListItem(CmdListPanel(), ids::kCmdListScripts, index, line.c_str(), 0.0);
}

void QueueDelete(int index) { DeleteListItem(CmdListPanel(), ids::kCmdListScripts, index, 1); }

void QueueClear() { ClearListCtrl(CmdListPanel(), ids::kCmdListScripts); }

void LdMac(const std::string& nameIn) {
  Program& p = Ctx();
  ScriptState& s = p.script;
  p.core.wait = 1;
  EnableSend(false);
  std::string name = Lower(nameIn);
  if (!name.empty() && name.find('.') == std::string::npos) name += ".cmd";
  s.macfile = name;
  std::vector<std::string> lines;
  bool read = !name.empty() && ReadTextLines(name, &lines);
  if (!read && !name.empty()) {
    name = "cmd/" + name;
    read = ReadTextLines(name, &lines);
  }
  if (!read) {
    std::string chosen;
    if (FileSelectPopup("cmd", "*.cmd", msg::kFileNameTitle, VAL_LOAD_BUTTON, &chosen) > 0 &&
        ReadTextLines(chosen, &lines)) {
      name = chosen;
      p.cmd.glbcmd = "start " + std::filesystem::path(chosen).filename().string();
    } else {
      p.cmd.txflag = 0;
      p.core.wait = 0;
      EnableSend(true);
      s.levels[static_cast<std::size_t>(s.scf)].name = msg::kNoScript;
      if (s.scf > 0) --s.scf;
      return;
    }
  }
  p.core.wait = 0;
  ScriptSlot& slot = s.levels[static_cast<std::size_t>(s.scf)];
  slot.name = std::filesystem::path(name).filename().string().substr(0, kSlotNameMax);
  EnableSend(true);
  ScriptText t = ReadScriptText(lines);
  slot.vers = t.version;
  for (std::size_t k = 0; k < t.lines.size(); ++k) {
    QueueInsert(static_cast<int>(k), t.lines[k]);
    ++slot.flag;
  }
  SetCtrlIndex(CmdListPanel(), ids::kCmdListScripts, 0);
  p.cmd.txflag = 1;
}

void Finish() {
  Program& p = Ctx();
  p.core.until = 0;
  p.core.wait = 0;
  SetCtrlVal(p.ui.eventLog, ids::kEvWaitLed, 0);
  EnableSend(true);
  if (QueueCount() == 0) {
    p.script.scrflg = 0;
    p.cmd.scm.ident.clear();
    ResetAllSlots();
    return;
  }
  p.script.scrflg = 1;
  StepQueue();
}

// Every second, after the ARR wait: a timed wait counts down, a condition is read again, and
// with nothing pending the script takes its next step.
void ScriptTick() {
  Program& p = Ctx();
  CoreState& c = p.core;
  CaptureStartLayout();  // the first tick finds the arrangement the station started with
  if (c.delay != 0) {
    std::uint32_t gone = c.tick - c.saveTick;
    if (gone >= c.delay) {
      c.delay = 0;
      SetCtrlVal(p.ui.eventLog, ids::kEvWaitLed, 0);
      SetCtrlVal(p.ui.eventLog, ids::kEvCountdown, 0);
      if (!c.wait && !c.until) Finish();
    } else {
      SetCtrlVal(p.ui.eventLog, ids::kEvCountdown, static_cast<int>(c.delay - 1 - gone));
    }
    return;
  }
  if (!c.wait && !c.until) {
    Finish();
  } else if (c.until) {
    if (ConditionHolds(p.script.cond, GetValue(p.script.cond.dbParam))) Finish();
  }
}

void KwWaitUntil() { RunCondition(false); }

void KwIf() { RunCondition(true); }

void KwWait() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  if (c.tempbuf == "wait") {
    p.core.wait = 1;
    EnableSend(false);
    SetCtrlVal(p.ui.eventLog, ids::kEvWaitLed, 1);
    c.txflag = 1;
    return;
  }
  long n = std::strtol(c.tempbuf.c_str() + 4, nullptr, 10);
  if (n <= 0) {
    p.core.wait = 0;
    return;  // refused
  }
  if (static_cast<unsigned long>(n) > kWaitMax) {
    LogMessage(msg::kWaitTooLong, kRed);
    return;  // refused: a wait is kept whole or not at all
  }
  p.core.delay = static_cast<std::uint32_t>(n);
  EnableSend(false);
  SetCtrlVal(p.ui.eventLog, ids::kEvWaitLed, 1);
  p.core.saveTick = p.core.tick;
  SetCtrlVal(p.ui.eventLog, ids::kEvCountdown, static_cast<int>(n));
  c.txflag = 1;
}

// The script file a name stands for, as LdMac would look for it first, for comparing names.
std::string ScriptFileName(const std::string& name) {
  std::string n = Lower(name);
  if (!n.empty() && n.find('.') == std::string::npos) n += ".cmd";
  return std::filesystem::path(n).filename().string().substr(0, kSlotNameMax);
}

void KwStart() {
  Program& p = Ctx();
  ScriptState& s = p.script;
  // A script that starts itself, directly or through another, would load itself for ever.
  const std::string file = ScriptFileName(p.cmd.tempbuf.substr(5));
  if (!file.empty() && s.scrflg)
    for (int k = 1; k <= s.scf; ++k)
      if (Lower(s.levels[static_cast<std::size_t>(k)].name) == file) {
        LogMessage(msg::kScriptRecursion + file, kRed);
        return;  // refused: the running script holds
      }
  s.macfile = p.cmd.tempbuf.substr(5);
  if (s.scf < kScriptLevels - 1) ++s.scf;
  LdMac(s.macfile);
}

void KwEndProc() {
  Program& p = Ctx();
  ResetPauses();
  QueueClear();
  ResetAllSlots();
  p.cmd.txflag = 1;
}

void KwGo() {
  ResetPauses();
  Ctx().cmd.txflag = 1;
}

void KwCancel() {
  ResetPauses();
  QueueClear();
  Ctx().cmd.txflag = 1;
}

}  // namespace korvex

using namespace korvex;

int button_go(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  GiveFocusToCommandLine();
  SetCommandLine("");
  FakeKeystroke(VAL_TAB_VKEY);
  ResetPauses();
  LogMessage(msg::kGo, kGreen);
  return 0;
}

int button_wait(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  GiveFocusToCommandLine();
  EnableSend(false);
  Ctx().core.wait = 1;
  LogMessage(msg::kWait, kGreen);
  return 0;
}

int button_cancel(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  EnableSend(true);
  GiveFocusToCommandLine();
  ResetPauses();
  QueueClear();
  ResetAllSlots();
  return 0;
}

int button_start(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  SetCommandLine(msg::kStartLine);
  GiveFocusToCommandLine();
  FakeKeystroke(VAL_TAB_VKEY);
  FakeKeystroke(VAL_ENTER_VKEY);
  return 0;
}

int ClearArr(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  ResetTextBox(panel, 2, "");
  return 0;
}

namespace korvex {

void InstallScripts(Program& p) {
  RTE_REGISTER_CALLBACK(button_go);
  RTE_REGISTER_CALLBACK(button_wait);
  RTE_REGISTER_CALLBACK(button_cancel);
  RTE_REGISTER_CALLBACK(button_start);
  RTE_REGISTER_CALLBACK(ClearArr);
  p.duties.scriptPause = ScriptTick;
}

}  // namespace korvex
