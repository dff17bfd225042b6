// The SCM panel, the encoding of spacecraft command lines into SCMs and their sending, and the
// command verification list they feed.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <cstdio>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "commanding/reverse.h"
#include "links/sepscm.h"
#include "core/ids.h"
#include "core/station.h"
#include "links/tcp_errors.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr std::size_t kNotSentChars = 145;
constexpr int kCvFirstVisibleBack = 8;
constexpr unsigned kStoredWriteMs = 3000;  // write time-out of a stored SCM


std::array<std::string, scmctl::kLast + 1> ReadFields() {
  std::array<std::string, scmctl::kLast + 1> f;
  const int panel = Ctx().ui.scm;
  for (int c : {2, 3, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41})
    GetCtrlVal(panel, c, &f[c]);
  return f;
}

void ShowCmdCount() {
  Program& p = Ctx();
  SetCtrlVal(p.ui.cmdVerify, ids::kCvSent, p.cmd.cmdcnt);
}

// The packets of an SCM that did not go out are dropped with their pending entries, so that
// they never ride along with the next SCM.
void DiscardFailedScm() {
  AbandonScm(Ctx().cmd.scm);
  LogMessage(msg::kScmDiscarded, kYellow);
}

void NotSent() {
  Program& p = Ctx();
  LogMessage(msg::kNotSent + p.cmd.scm.scmstr.substr(0, kNotSentChars), kRed);
  SetCommandLine("");
  DiscardFailedScm();
  // The script's next commands must not go out without this one.
  HoldScript();
}

// The finished SCM leaves on the command connection (connecting first when it is closed).
void MovePendingToList();

void SendScm() {
  Program& p = Ctx();
  ScmState& s = p.cmd.scm;
  if (p.cmdlink.gHandle < 0) ConnectCmd();
  if (p.cmdlink.gHandle < 0) {
    NotSent();
    return;
  }
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 1);
  SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, 1);
  int w = WriteScm(s.saveScm.data(), s.sizeScm);
  if (w <= -1 && w >= -18) {
    std::string text = TcpErrorText(w);
    MessagePopup(msg::kSocketWriteError, text.c_str());
    LogMessage(std::string(msg::kSocketWriteError) + " " + text, kRed);
    NotSent();
    return;
  }
  if (p.arc.svcmdfp.open())
    WriteArchiveText(p.arc.svcmdfp, std::string(s.saveScm.begin(), s.saveScm.end()));
  p.cmdlink.flagArr = 1;
  p.core.tickFlag = 0;
  LogMessage(s.scmstr, kGreen);

  MovePendingToList();
}

// The pending entries of the SCM just sent go to the end of the verification list.
void MovePendingToList() { ListVerificationEntries(TakePending(Ctx().cmd.scm)); }

}  // namespace

void ListVerificationEntries(const std::vector<PendingEntry>& moved) {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  const int panel = p.ui.cmdVerify;
  // Command verification removes verified entries from the list: the count follows the list.
  GetNumListItems(panel, ids::kCvList, &c.cmdcnt);
  for (const PendingEntry& e : moved) {
    InsertListItem(panel, ids::kCvList, -1, e.hex.c_str(), static_cast<double>(e.seq));
    ++c.cmdcnt;
    ++c.boxindex;
    ShowCmdCount();
  }
  int n = 0;
  GetNumListItems(panel, ids::kCvList, &n);
  int firstVisible = std::max(0, std::min(c.boxindex - kCvFirstVisibleBack, n - 1));
  SetCtrlAttribute(panel, ids::kCvList, ATTR_FIRST_VISIBLE_LINE, firstVisible);
  p.cmdlink.lcvCnt = static_cast<int>(moved.size());
  c.cvBoxi = n;
}

void ShowCounters() {
  Program& p = Ctx();
  const ScmState& s = p.cmd.scm;
  char b[16];
  const std::pair<int, std::uint32_t> cs[] = {{scmctl::kSc, s.ccsdsSC},
                                              {scmctl::kEsc, s.ccsdsESC},
                                              {scmctl::kRsc, s.ccsdsRSC},
                                              {scmctl::kErsc, s.ccsdsERSC}};
  for (auto [ctrl, v] : cs) {
    std::snprintf(b, sizeof b, "%u", v);
    SetCtrlVal(p.ui.scm, ctrl, b);
  }
}

void Commands() {
  Program& p = Ctx();
  ScmState& s = p.cmd.scm;
  const std::string line = p.cmd.glbcmd;
  if (HeaderWordsInLine(line)) {
    LogMessage(line + msg::kNotValidCommand, kRed);
    HoldScript();
    return;
  }
  SetCommandLine("");
  LogMessage(line, kBlack);
  // The header names the script level the line comes from.
  for (int i = 0; i < kScriptSlots && i < kScriptLevels; ++i) {
    const ScriptSlot& from = p.script.levels[static_cast<std::size_t>(i)];
    s.scripts[static_cast<std::size_t>(i)] =
        ScmScriptFields{static_cast<int>(from.line), from.vers, from.name};
  }
  s.scf = p.script.scf;
  CommandEnv env;
  env.db = &p.db.cmd.list;
  env.scrflg = p.script.scrflg != 0;
  env.cfgcswap = p.core.cfg.cfgcswap;
  env.record = p.script.doCmdseq != 0;
  env.askCancel = [](const std::string& token) {
    return ConfirmPopup(msg::kWarningTitle, (token + msg::kHazardous).c_str()) == 1;
  };
  EncodeResult r = EncodeCommand(s, line, env);
  switch (r.what) {
    case Encoded::NotValid:
      LogMessage(line + msg::kNotValidCommand, kRed);
      HoldScript();
      break;
    case Encoded::Refused:
      if (s.canceled) {
        p.cmd.canceled = 1;
        s.canceled = 0;
        p.log.scrcol = 0;
      }
      CmdNg();
      break;
    case Encoded::TooDeep:
      LogMessage(line + msg::kTooDeep + r.name, kRed);
      ShowCommandLineMessage(msg::kCommandNotSent);
      HoldScript();
      break;
    case Encoded::TooLong:
      LogMessage(line + msg::kTooLong, kRed);
      ShowCommandLineMessage(msg::kCommandNotSent);
      HoldScript();
      break;
    case Encoded::Collected:
      ShowCounters();
      break;
    case Encoded::Complete:
      ShowCounters();
      SendScm();
      break;
    case Encoded::Recorded:
      ShowCounters();
      RecordPacket(line, r.packet);
      break;
  }
}

void Scm_Init() {
  ScmInit(Ctx().cmd.scm);
  // Free script levels read "NO SCRIPT" until the timer's first step resets them.
  auto& levels = Ctx().script.levels;
  for (int i = 0; i < 10; ++i) levels[static_cast<std::size_t>(i)].name = "NO SCRIPT";
  levels[0].vers = "0000";
  MocHeader(Ctx().ui.scm, 0, EVENT_COMMIT, nullptr, 0, 0);
}

void RemoveCvCmds() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  const int panel = p.ui.cmdVerify;
  int n = 0;
  GetNumListItems(panel, ids::kCvList, &n);
  int drop = std::min(p.cmdlink.lcvCnt, n);
  if (drop > 0) DeleteListItem(panel, ids::kCvList, n - drop, drop);
  c.cmdcnt = n - drop;
  c.cvBoxi = std::max(0, c.cvBoxi - drop);
  p.cmdlink.lcvCnt = 0;
  ShowCmdCount();
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 0);
  SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, 0);
  LogMessage("BAD ARR FOR LAST COMMAND!", kRed);
  StepCountersBack(c.scm);
  ShowCounters();
  SepScmGivenUp();
}


}  // namespace korvex

using namespace korvex;

int MocHeader(int, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  auto refused = MocHeaderCommit(p.cmd.scm, control, ReadFields(), p.core.cfg.cfgtime);
  for (const FieldError& e : refused) MessagePopup(msg::kFieldErrorTitle, e.message);
  return refused.empty() ? 0 : 1;
}

namespace korvex {

// "send FILE": a stored SCM under scm/, stamped with the station's counters and message number
// and sent as it is.
void KwSend() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  ScmState& s = c.scm;
  std::string name = c.glbcmd.size() > 5 ? c.glbcmd.substr(5) : std::string();
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  std::string lower = name;
  StringLowerCase(lower);
  if (lower.find(".scm") == std::string::npos) name += ".SCM";
  // A stored SCM is taken from scm/ and from nowhere else.
  if (name.empty() || name.find_first_of("/\\:") != std::string::npos ||
      name.find("..") != std::string::npos)
    return;
  std::string path = "scm/" + name;
  std::vector<std::uint8_t> scm;
  {
    std::ifstream in(rte::ResolvePath(path), std::ios::binary);
    if (!in) {
      std::string chosen;
      if (FileSelectPopup("scm", "*.scm", msg::kFileNameTitle, VAL_LOAD_BUTTON, &chosen) <= 0) return;
      path = chosen;
      in.open(chosen, std::ios::binary);
      if (!in) return;
    }
    // One byte past the buffer is enough to know the file is too long for it.
    scm.resize(kScmBufferSize + 1);
    in.read(reinterpret_cast<char*>(scm.data()), static_cast<std::streamsize>(scm.size()));
    scm.resize(static_cast<std::size_t>(in.gcount()));
  }
  std::string shown = path;
  StringUpperCase(shown);
  p.script.sepfile = shown;
  c.txflag = 1;
  if (scm.size() < kScmHeaderSize || scm.size() > kScmBufferSize) {
    LogMessage(shown + msg::kStoredUnreadable, kRed);
    c.txflag = 0;
    return;
  }
  std::string scmName;
  scmName = ScmName(scm.data(), scm.size());
  if (p.script.scf > 0 && !p.script.okscm) {
    LogMessage(shown + msg::kStoredRefusedScript + scmName, kRed);
    p.cmdlink.sepFlg = 0;
    SepSendAnswer(scm.data(), scm.size(), "105");
    return;
  }
  p.cmdlink.sepFlg = 1;
  if (!StampScm(s, scm.data(), scm.size(), p.core.cfg.cfgsswp)) {
    LogMessage(shown + msg::kStoredUnreadable, kRed);
    p.cmdlink.sepFlg = 0;
    c.txflag = 0;
    return;
  }
  // The operator decides on hazardous commands before anything leaves.
  HazardCount hz = CountHazards(p.db.cmd.list, scm.data() + kScmHeaderSize,
                                scm.size() - kScmHeaderSize, &p.db.cmd.lower);
  bool cancel = hz.databaseError;
  if (hz.databaseError) LogMessage(msg::kDatabaseError, kRed);
  if (!cancel && hz.hazardous > 0)
    cancel = ConfirmPopup(msg::kHazardousScmTitle, (msg::kHazardousScm + std::to_string(hz.hazardous) +
                                                    msg::kHazardousScmCancel).c_str()) == 1;
  if (cancel) {
    LogMessage(shown + msg::kStoredHazardCancelled + scmName, kRed);
    p.cmdlink.sepFlg = 0;
    StepCountersBack(s);
    s.cv.clear();
    ShowCounters();
    SepSendAnswer(scm.data(), scm.size(), "108");
    return;
  }
  if (p.cmdlink.gHandle < 0) ConnectCmd();
  if (p.cmdlink.gHandle < 0) {
    StepCountersBack(s);
    s.cv.clear();
    SepSendAnswer(scm.data(), scm.size(), "104");
    return;
  }
  std::uint8_t* h = s.scmStr.data();
  IncrementMessageNumber(h);
  std::memcpy(scm.data() + 10, h + 10, 4);
  ShowCounters();
  s.saveScm = scm;
  s.sizeScm = scm.size();
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 1);
  SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, 1);
  // The result is not looked at: the ARR (or its absence) tells how the SCM fared.
  ClientTCPWrite(static_cast<unsigned>(p.cmdlink.gHandle), scm.data(), scm.size(), kStoredWriteMs);
  p.cmdlink.flagArr = 1;
  p.core.tickFlag = 0;
  if (p.arc.svcmdfp.open()) WriteArchiveText(p.arc.svcmdfp, std::string(scm.begin(), scm.end()));
  s.scmstr = ScmText(scm.data(), scm.size());
  LogMessage(s.scmstr, kGreen);
  MovePendingToList();
}

}  // namespace korvex
