// Settings of the text command language: the MOC and telemetry server, the event archive and
// echo, recording, quitting, checksums, stored SCMs during scripts, the saved-command file and
// panel snapshots.
#include <sstream>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr unsigned kMocWriteTimeoutMs = 5000;

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
  if (at == std::string::npos) return;
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

}  // namespace

void KwSet() {
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

// "snapshot FILE": every panel's controls as JSON, for monitoring and for checks from outside.
void KwSnapshot() {
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


void KwLog() {
  Program& p = Ctx();
  if (Off(p.cmd.tempbuf)) {
    p.log.LogEvents = 0;
    WriteArchiveText(p.arc.arcfile, MessagePrefix() + msg::kLogOff + "\n");
  } else {
    p.log.LogEvents = 1;
  }
  p.cmd.txflag = 1;
}

void KwEcho() {
  Program& p = Ctx();
  if (Off(p.cmd.tempbuf)) {
    p.log.Echo = 0;
    ListOnly(MessagePrefix() + msg::kEchoOff);
  } else {
    p.log.Echo = 1;
  }
  p.cmd.txflag = 1;
}

void KwRec() {
  Program& p = Ctx();
  SetCtrlVal(p.ui.link, ids::kLkRecSwitch, Off(p.cmd.tempbuf) ? 0 : 1);
  recordOnOff(p.ui.link, ids::kLkRecSwitch, EVENT_COMMIT, nullptr, 0, 0);
  p.cmd.txflag = 1;
}

void KwQuit() {
  QuitUserInterface(0);
  Ctx().cmd.txflag = 1;
}

// Written to the event list and, with a line end, to the event archive.
void ListAndArchive(const std::string& text, const char* colour) {
  Program& p = Ctx();
  ListOnly(text, colour);
  if (p.log.LogEvents) WriteArchiveText(p.arc.arcfile, text + "\r\n");
}

void KwBadCks() {
  Program& p = Ctx();
  if (Off(p.cmd.tempbuf)) {
    p.cmd.scm.badCks = 0;
    ListAndArchive(MessagePrefix() + msg::kBadCksOff, kBlack);
    SetCtrlAttribute(p.ui.eventLog, ids::kEvBadCks, ATTR_ON_COLOR, 0xC0C0C0);
    SetCtrlAttribute(p.ui.eventLog, ids::kEvBadCks, ATTR_OFF_COLOR, 0xC0C0C0);
  } else {
    p.cmd.scm.badCks = 1;
    ListAndArchive(MessagePrefix() + msg::kBadCksOn, kRed);
    SetCtrlAttribute(p.ui.eventLog, ids::kEvBadCks, ATTR_ON_COLOR, 0xFF0000);
    SetCtrlAttribute(p.ui.eventLog, ids::kEvBadCks, ATTR_OFF_COLOR, 0);
  }
  p.cmd.txflag = 1;
}

void KwSendScm() {
  Program& p = Ctx();
  p.script.okscm = Off(p.cmd.tempbuf) ? 0 : 1;
  p.cmd.txflag = 1;
}

void KwSaveCmd() {
  Program& p = Ctx();
  if (Off(p.cmd.tempbuf)) {
    CloseArchive(p.arc.svcmdfp);
    p.script.svcmd = 0;
  } else {
    if (!p.arc.svcmdfp.open()) {
      std::time_t now = rte::Now();
      ArchiveContext ac{p.core.aorb, p.core.sCraft, p.core.dayofyear};
      StartArchive(p.arc, ac, ".svc", now, rte::LocalTime(now));
    }
    p.script.svcmd = 1;
  }
  p.cmd.txflag = 1;
}

}  // namespace korvex
