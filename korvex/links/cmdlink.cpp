// The command link: the connection to the MOC command server, the ARRs that come back on it,
// their display and archive, and the one-second wait for the ARR of the last SCM.
#include <cstdio>
#include <cstdlib>

#include "core/ids.h"
#include "core/station.h"
#include "links/messages.h"
#include "links/tcp_errors.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr unsigned kConnectTimeoutMs = 5000;
constexpr unsigned kWriteTimeoutMs = 5000;
constexpr unsigned kReadTimeoutMs = 2000;
constexpr int kArrLinesMax = 1000;
constexpr int kArrLinesDrop = 100;
constexpr int kReadsPerEvent = 64;

std::string HostPort() {
  const LinkState& L = Ctx().link;
  return L.serverName + ":" + std::to_string(L.portCmd);
}

void CmdLamp(int on) {
  Program& p = Ctx();
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, on);
  SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, on);
}

void CloseCmd() {
  Program& p = Ctx();
  if (p.cmdlink.gHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(p.cmdlink.gHandle));
  p.cmdlink.gHandle = -1;
  p.cmdlink.arrIn.Reset();
}

void HandleArr(const ArrBytes& arr) {
  Program& p = Ctx();
  CmdLinkState& c = p.cmdlink;
  int code = ArrCode(arr.data());
  if (code != kArrHeartbeat) SepArrFromMoc(arr.data(), code);  // the SEP client's SCM?
  if (code == kArrSuccess) {
    c.flagArr = 2;
    p.core.savecode = 0;
    ShowArr(arr.data(), true);
  } else if (code == kArrHeartbeat) {
    int lamp = 0;
    GetCtrlVal(p.ui.eventLog, ids::kEvHeartbeat, &lamp);
    SetCtrlVal(p.ui.eventLog, ids::kEvHeartbeat, lamp ? 0 : 1);
  } else {
    c.flagArr = 3;
    p.core.savecode = code;
    ShowArr(arr.data(), false);
  }
}

void ReadArrs(unsigned handle) {
  Program& p = Ctx();
  CmdLinkState& c = p.cmdlink;
  std::uint8_t buf[kArrSize];
  for (int i = 0; i < kReadsPerEvent; ++i) {
    int got = ClientTCPRead(handle, buf, kArrSize, i == 0 ? kReadTimeoutMs : 0);
    if (got <= 0) {
      if (i == 0) MessagePopup(msg::kTcpArrTitle, msg::kTcpArrReadError);
      break;
    }
    c.arrIn.Add(buf, static_cast<std::size_t>(got));
    ArrBytes arr{};
    while (c.arrIn.Next(&arr)) HandleArr(arr);
    if (c.gHandle != static_cast<int>(handle)) return;
  }
  if (std::size_t skipped = c.arrIn.TakeSkipped()) {
    char text[96];
    std::snprintf(text, sizeof text, msg::kArrBytesSkipped, skipped);
    LogMessage(text, kYellow);
  }
}

// The operator's answer to "Attempt to resend?": yes reconnects and sends the saved SCM again
// (nothing is sent when the reconnection fails, and the state stays, so the question returns);
// no gives the SCM up.
void AskResend(const std::string& title) {
  Program& p = Ctx();
  CmdLinkState& c = p.cmdlink;
  if (ConfirmPopup(title.c_str(), msg::kAttemptResend) != 1) {
    CloseCmd();
    c.flagArr = 0;
    RemoveCvCmds();
    return;
  }
  CloseCmd();
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 0);
  if (ConnectCmd() < 0) return;
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 1);
  const ScmState& s = p.cmd.scm;
  int w = WriteScm(s.saveScm.data(), s.sizeScm);
  if (w < 0) {
    LogMessage(std::string(msg::kResendFailed) + HostPort() + ": " + TcpErrorText(w), kRed);
    return;
  }
  LogMessage(s.scmstr, kGreen);
  c.flagArr = 1;
  p.core.tickFlag = 0;
}

}  // namespace

int ConnectCmd() {
  Program& p = Ctx();
  LinkState& L = p.link;
  unsigned h = 0;
  SetWaitCursor(1);
  int r = ConnectToTCPServer(&h, L.portCmd, L.serverName.c_str(), ClientCallback, nullptr,
                             kConnectTimeoutMs);
  SetWaitCursor(0);
  if (r < 0) {
    LinkRetry::Down d = ReconnectDown(ReconnectState::kCmd, TcpErrorText(r));
    if (!d.retrying) SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, 0);
    if (d.log)
      LogMessage(std::string(msg::kCmdConnectFailedLog) + HostPort() + ": " + TcpErrorText(r) +
                     ReconnectNote(ReconnectState::kCmd),
                 kRed);
    if (!d.retrying) MessagePopup(msg::kTcpClientTitle, msg::kCmdConnectFailed);
    return -1;
  }
  p.cmdlink.gHandle = static_cast<int>(h);
  p.cmdlink.arrIn.Reset();
  CmdLamp(1);
  ReconnectUp(ReconnectState::kCmd);
  return 0;
}

int WriteScm(const std::uint8_t* scm, std::size_t n) {
  Program& p = Ctx();
  if (p.cmdlink.gHandle < 0) return kTCP_NoConnectionEstablished;
  return ClientTCPWrite(static_cast<unsigned>(p.cmdlink.gHandle), scm, n, kWriteTimeoutMs);
}

int RequestCmdConnect() {
  Program& p = Ctx();
  LinkState& L = p.link;
  if (L.cfgcmd == 0) {
    L.cfgcmd = 1;
    return ConnectCmd();
  }
  std::string reply;
  std::string text = "Type the name or IP adress of the server.\n(Click OK for " + L.serverName + ")";
  PromptPopup(msg::kServerNameTitle, text.c_str(), &reply, 255);
  std::string lower = reply;
  StringLowerCase(lower);
  if (lower.find("exit") != std::string::npos) {
    CmdLamp(0);
    return -1;
  }
  if (!reply.empty()) L.serverName = reply;
  reply.clear();
  text = "Type the port number for commands.\n(Click OK for " + std::to_string(L.portCmd) + ")";
  PromptPopup(msg::kCmdPortTitle, text.c_str(), &reply, 31);
  if (!reply.empty()) L.portCmd = static_cast<unsigned>(std::strtoul(reply.c_str(), nullptr, 10));
  if (ConnectCmd() < 0) return -1;
  GiveFocusToCommandLine();
  return 0;
}

void ShowArr(const std::uint8_t* arr, bool success) {
  Program& p = Ctx();
  std::string line = ArrLine(arr, success);
  std::string shown = line.substr(0, line.size() - 1);
  InsertTextBoxLine(p.ui.arr, ids::kArrBox, -1, shown.c_str());
  int n = 0;
  GetNumTextBoxLines(p.ui.arr, ids::kArrBox, &n);
  if (n > kArrLinesMax)
    for (int i = 0; i < kArrLinesDrop; ++i) DeleteTextBoxLine(p.ui.arr, ids::kArrBox, 0);
  WriteArchiveText(p.arc.arrFile, line);
}

bool ArrWait() {
  Program& p = Ctx();
  CmdLinkState& c = p.cmdlink;
  int& waited = p.core.tickFlag;
  const int limit = static_cast<int>(p.core.cfg.cfgarrd);
  switch (c.flagArr) {
    case 1:
      if (waited >= limit) return false;
      if (++waited < limit) return true;
      if (ConfirmPopup(msg::kNoArrTitle, msg::kWaitAgain) == 1) {
        waited = 0;
        return true;
      }
      waited = 0;
      AskResend(msg::kNoArrTitle);
      return false;
    case 2:
      c.flagArr = 0;
      waited = 0;
      p.cmd.scm.seqinc = {};
      return false;
    case 3: {
      waited = 0;
      std::string text = std::string(msg::kArrVerifyError) + ArrRowText(ArrRow(p.core.savecode));
      LogMessage(text, kRed);
      AskResend(text);
      return false;
    }
    default:
      return false;
  }
}

void CmdClientEvent(unsigned handle, int xType, int errCode) {
  Program& p = Ctx();
  switch (xType) {
    case TCP_DATAREADY:
      ReadArrs(handle);
      break;
    case TCP_DISCONNECT: {
      // With automatic reconnection on, the loss is logged and retried instead of asked about.
      p.cmdlink.gHandle = -1;
      p.cmdlink.arrIn.Reset();
      bool retrying = ReconnectDown(ReconnectState::kCmd, LinkLossReason(errCode)).retrying;
      if (errCode <= -1 && errCode >= -18) {
        std::string text = TcpErrorText(errCode);
        if (!retrying) MessagePopup(msg::kServerClosedCmd, text.c_str());
        LogMessage(std::string(msg::kServerClosedCmd) + " " + text, "\033fgFF0000");
      }
      LogMessage(std::string(msg::kCmdLinkLost) + HostPort() + ": " + LinkLossReason(errCode) +
                     ReconnectNote(ReconnectState::kCmd),
                 kRed);
      SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 0);
      if (!retrying) SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, 0);
      break;
    }
    default:
      break;
  }
}

void CommandSwitch(int on) {
  Program& p = Ctx();
  if (!on) {
    CloseCmd();
    SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 0);
    ReconnectOff(ReconnectState::kCmd);
    return;
  }
  RequestCmdConnect();
}

}  // namespace korvex
