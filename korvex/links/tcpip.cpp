// The telemetry link: connection, record intake, checks, counters, hex displays and the link
// panel's buttons.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ids.h"
#include "core/station.h"
#include "links/messages.h"
#include "links/tcp_errors.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr unsigned kConnectTimeoutMs = 5000;
constexpr unsigned kReadTimeoutMs = 2000;
constexpr int kIllegalColour = 0xFF0000;
constexpr int kNormalColour = 0xD8D0C8;
// Records handled in one data-ready event before the loop gets a turn again.
constexpr int kRecordsPerEvent = 256;

int GetInt(int panel, int ctrl) {
  int v = 0;
  GetCtrlVal(panel, ctrl, &v);
  return v;
}

bool ContainsNoCase(std::string hay, std::string needle) {
  StringLowerCase(hay);
  StringLowerCase(needle);
  return hay.find(needle) != std::string::npos;
}

// Hex dump of the decoded record on one display: optional pair exchange for the eye, start and
// length from the panel (length at most 298, start back to 0 when the dump would run past).
void ShowHex(const std::uint8_t* record, int panel, int hexCtrl, int startCtrl, int lenCtrl,
             int swapCtrl) {
  std::uint8_t copy[kRecordSize];
  std::memcpy(copy, record, kRecordSize);
  if (GetInt(panel, swapCtrl)) bytswp(copy + kHeaderSize, kPacketSize / 2);
  int len = GetInt(panel, lenCtrl);
  int start = GetInt(panel, startCtrl);
  if (len < 0) len = 0;
  if (len > static_cast<int>(kRecordSize)) len = kRecordSize;
  if (start < 0 || start + len > static_cast<int>(kRecordSize)) {
    start = 0;
    SetCtrlVal(panel, startCtrl, 0);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text(static_cast<std::size_t>(len) * 3, ' ');
  for (int i = 0; i < len; ++i) {
    text[3 * i] = kHex[copy[start + i] >> 4];
    text[3 * i + 1] = kHex[copy[start + i] & 15];
  }
  ResetTextBox(panel, hexCtrl, text.c_str());
}

// redraw: the operator changed the dump settings; otherwise a new record came.
void DisplayTo(bool redraw) {
  Program& p = Ctx();
  if (!redraw && p.link.displayOnOff) p.link.linkShown = p.link.decode;
  if (p.link.displayOnOff || redraw)
    ShowHex(p.link.linkShown.data(), p.ui.link, ids::kLkHex, ids::kLkStart, ids::kLkLength,
            ids::kLkSwap);
}

void DisplayApid(int panel, bool redraw) {
  Program& p = Ctx();
  auto& shown = p.link.apidShown[panel == p.ui.apidDisp1 ? 0 : 1];
  if (!redraw) shown = p.link.decode;
  ShowHex(shown.data(), panel, ids::kAdHex, ids::kAdStart, ids::kAdLength, ids::kAdSwap);
}

void ShowIllegalCounters(bool red) {
  Program& p = Ctx();
  std::uint32_t n = p.link.counters.illegal;
  SetCtrlVal(p.ui.summary, kSumIllegal, n);
  SetCtrlVal(p.ui.range200, ids::kRgIllegal, n);
  SetCtrlVal(p.ui.range300, ids::kRgIllegal, n);
  if (red)
    for (auto [panel, ctrl] : {std::pair{p.ui.summary, kSumIllegal},
                               std::pair{p.ui.range200, ids::kRgIllegal},
                               std::pair{p.ui.range300, ids::kRgIllegal}})
      SetCtrlAttribute(panel, ctrl, ATTR_TEXT_BGCOLOR, kIllegalColour);
}

// The first record that names a spacecraft, or one from the other spacecraft.
void SpacecraftChanged(int now) {
  Program& p = Ctx();
  const char* letter = now == 1 ? "A" : "B";
  SetPanelAttribute(p.ui.eventLog, ATTR_TITLE, now == 1 ? msg::kEventLogA : msg::kEventLogB);
  SetPanelAttribute(p.ui.eventLog, ATTR_BACKCOLOR, now == 1 ? 0x00CC00 : 0x5577FF);
  int was = p.core.aorb;
  // The letter the open archives already carry: after the telemetry switch was turned off the
  // spacecraft is unknown again, but the archives keep the letter they were named under.
  std::string carried = p.core.sCraft;
  p.core.aorb = now;
  p.core.sCraft = letter;
  if (was != 0) {
    ReopenArchivesForSpacecraft();
  } else if (carried.empty()) {
    PrefixOpenArchives(p.arc, letter);
  } else if (carried != letter) {
    // Not a second letter in front of the name, and no records of one spacecraft in a file
    // named after the other: new archives under the new letter.
    ReopenArchivesForSpacecraft();
  }
}

// Recording asked for before the spacecraft was known. The line runs through the interpreter
// at once rather than after this callback, so that the record that named the spacecraft is the
// first one in the recording.
void AutoRecordOn() {
  Program& p = Ctx();
  p.arc.recon = 2;
  SetCtrlVal(p.ui.eventLog, ids::kEvCmdLine, msg::kRecOn);
  p.cmd.glbcmd = msg::kRecOn;
  p.cmd.tempbuf = CompactForm(p.cmd.glbcmd);
  ExecuteLine();
  p.cmd.txflag = 0;
}

void ConnectionUp(unsigned handle, bool mocset) {
  Program& p = Ctx();
  p.link.tHandle = static_cast<int>(handle);
  ResetAssembler(p.link.rx);
  SetCtrlVal(p.ui.link, ids::kLkTlmLamp, 1);
  SetCtrlVal(p.ui.link, ids::kLkTlmSwitch, 1);
  ReconnectUp(ReconnectState::kTlm);
  GiveFocusToCommandLine();
  if (mocset) {
    SetCtrlVal(p.ui.eventLog, ids::kEvCmdLine, msg::kStartMocset);
    Delay(1.0);
    // The engine serves events while it waits: a record that ran "REC ON" meanwhile has used
    // the command line, so the line is put back before Enter.
    SetCtrlVal(p.ui.eventLog, ids::kEvCmdLine, msg::kStartMocset);
    GiveFocusToCommandLine();
    FakeKeystroke(VAL_ENTER_VKEY);
  }
}

int ConnectTlm(bool mocset) {
  Program& p = Ctx();
  unsigned h = 0;
  p.link.reconnect.tlmMocset = mocset;
  SetWaitCursor(1);
  int r = ConnectToTCPServer(&h, p.link.portTlm, p.link.telemServ.c_str(), ClientCallback, nullptr,
                             kConnectTimeoutMs);
  SetWaitCursor(0);
  if (r < 0) {
    LinkRetry::Down d = ReconnectDown(ReconnectState::kTlm, TcpErrorText(r));
    if (!d.retrying) SetCtrlVal(p.ui.link, ids::kLkTlmSwitch, 0);
    if (d.log) {
      std::fprintf(stderr, "korvex: cannot connect to %s:%d: %s\n", p.link.telemServ.c_str(),
                   p.link.portTlm, TcpErrorText(r).c_str());
      LogMessage(std::string(msg::kTlmConnectFailedLog) + p.link.telemServ + ":" +
                     std::to_string(p.link.portTlm) + ": " + TcpErrorText(r) +
                     ReconnectNote(ReconnectState::kTlm),
                 kRed);
    }
    if (!d.retrying) MessagePopup(msg::kTcpClientTitle, msg::kTlmConnectFailed);
    return -1;
  }
  ConnectionUp(h, mocset);
  return 0;
}

void ReadTelemetry(unsigned handle) {
  Program& p = Ctx();
  LinkState& L = p.link;
  const Config& c = p.core.cfg;
  // warn counts reads, not events: packet warnings start after wlim reads whatever number of
  // records one event brings.
  auto countRead = [&] {
    if (p.core.warn < c.wlim && c.wlim != 255) ++p.core.warn;
  };
  // One read takes what the socket holds (up to a bound), so that records do not wait for the
  // next data-ready event. The bytes are then cut as record-by-record reads would have taken
  // them (each up to the end of the record being assembled), and each piece counts as one read.
  static std::uint8_t chunk[kRecordsPerEvent * kRecordSize];
  int got = ClientTCPRead(handle, chunk, sizeof chunk, kReadTimeoutMs);
  if (got <= 0 || got > static_cast<int>(sizeof chunk)) {
    countRead();
    char text[64];
    std::snprintf(text, sizeof text, msg::kTcpReadError, got);
    MessagePopup(msg::kTcpReadTitle, text);
    return;  // a partial record stays held for the next event
  }
  std::size_t at = 0;
  const std::size_t n = static_cast<std::size_t>(got);
  L.batching = true;
  while (at < n) {
    countRead();
    bool complete = false;
    at += AppendBytes(L.rx, chunk + at, std::min(WantBytes(L.rx), n - at), &complete);
    if (!complete) continue;
    HandleRecord(L.rx.tcpbuf.data());
    ResetAssembler(L.rx);
    if (L.tHandle != static_cast<int>(handle)) break;  // closed while handling the record
  }
  // Everything received is with the system before the station goes back to its loop.
  L.batching = false;
  FlushTlmRecords(p.arc.datafile);
}

}  // namespace

void HandleRecord(const std::uint8_t* rec) {
  Program& p = Ctx();
  LinkState& L = p.link;
  ++L.records;
  if (L.forward) L.forward(rec);
  SetCtrlVal(p.ui.link, ids::kLkBytes, static_cast<int>(kRecordSize));

  RecordStepIn in;
  in.aorb = p.core.aorb;
  in.cfgtswap = p.core.cfg.cfgtswap;
  in.filter = GetInt(p.ui.link, ids::kLkFilter);
  RecordStep st = StepRecord(L.counters, L.apdIndex, rec, in, L.decode.data());
  const int apid = st.check.apid;

  if (st.spacecraft) SpacecraftChanged(st.spacecraft);
  if (p.arc.recon == 1 && p.core.aorb != 0) AutoRecordOn();

  bool warnings = p.core.warn >= p.core.cfg.wlim && p.core.cfg.wlim != 255;
  char text[64];
  if (st.check.illegal) {
    if (warnings) {
      std::snprintf(text, sizeof text, msg::kIllegalApid, st.check.rawApid);
      LogMessage(text, kRed);
    }
    ShowIllegalCounters(warnings);
  }
  if (st.check.badChecksum) {
    if (st.checksumShown >= 0) SetCtrlVal(p.ui.link, ids::kLkChksum, st.checksumShown);
    for (int panel : {p.ui.apidDisp1, p.ui.apidDisp2})
      if (GetInt(panel, ids::kAdSelect) == apid)
        SetCtrlVal(panel, ids::kAdChksum, L.counters.chksum[apid]);
    if (warnings) {
      std::snprintf(text, sizeof text, msg::kBadChecksum, apid);
      LogMessage(text, kRed);
    }
  }

  if (st.suite) {
    if (p.core.watchdog == 61) LogMessage(msg::kTelemetryResumed, kGreen);
    p.core.watchdog = 0;
  }

  if (st.passesFilter) {
    DisplayTo(false);
    if (p.arc.saveToDisk) {
      QueueTlmRecord(p.arc.datafile, rec);
      if (!L.batching) FlushTlmRecords(p.arc.datafile);
    }
  }

  const CountResult& cr = st.count;
  if (cr.rangePanel == 0x200)
    SetCtrlVal(p.ui.range200, ids::kRgFirst + (apid & 0x7F), L.counters.range200[apid & 0x7F]);
  else if (cr.rangePanel == 0x300)
    SetCtrlVal(p.ui.range300, ids::kRgFirst + (apid & 0x7F), L.counters.range300[apid & 0x7F]);
  if (cr.summaryCtrl) SetCtrlVal(p.ui.summary, cr.summaryCtrl, L.counters.summary[cr.summaryCtrl]);
  if (cr.groupPanel) SetCtrlVal(p.ui.group[cr.groupPanel], cr.groupCtrl, cr.lastCount);

  for (int panel : {p.ui.apidDisp1, p.ui.apidDisp2})
    if (GetInt(panel, ids::kAdSelect) == apid) {
      DisplayApid(panel, false);
      SetCtrlVal(panel, ids::kAdCount, cr.lastCount);
    }

  L.handlers.dispatch(p, apid, L.decode.data());
}

int ConnectTelemetry(bool mocset) { return ConnectTlm(mocset); }

int RequestConnect(int which) {
  Program& p = Ctx();
  LinkState& L = p.link;
  if (which != 0) return RequestCmdConnect();
  unsigned prev = L.portTlm ? L.portTlm : L.cfgtport;
  L.portTlm = L.cfgtport;
  L.portCmd = L.cfgcport;
  if (L.cfgtlm == 0) {
    L.cfgtlm = 1;
    return ConnectTlm(!L.nomocset);
  }
  std::string reply;
  std::string text = "Type the name or IP adress of the server.\n(Click OK for " + L.telemServ + ")";
  PromptPopup(msg::kServerNameTitle, text.c_str(), &reply, 255);
  if (ContainsNoCase(reply, "exit")) {
    SetCtrlVal(p.ui.link, ids::kLkTlmLamp, 0);
    SetCtrlVal(p.ui.link, ids::kLkTlmSwitch, 0);
    return -1;
  }
  if (!reply.empty()) L.telemServ = reply;
  reply.clear();
  text = "Type the port number for telemetry.\n(Click OK for " + std::to_string(prev) + ")";
  PromptPopup(msg::kTlmPortTitle, text.c_str(), &reply, 31);
  L.portTlm = reply.empty() ? prev : static_cast<unsigned>(std::strtoul(reply.c_str(), nullptr, 10));
  return ConnectTlm(true);
}

}  // namespace korvex

using namespace korvex;

int ClientCallback(unsigned handle, int xType, int errCode, void*) {
  Program& p = Ctx();
  if (p.cmdlink.gHandle >= 0 && static_cast<int>(handle) == p.cmdlink.gHandle) {
    CmdClientEvent(handle, xType, errCode);
    return 0;
  }
  if (p.link.tHandle < 0 || static_cast<int>(handle) != p.link.tHandle) return 0;
  switch (xType) {
    case TCP_DATAREADY:
      ReadTelemetry(handle);
      break;
    case TCP_DISCONNECT: {
      // With automatic reconnection on, the loss is logged and retried instead of asked about.
      p.link.tHandle = -1;
      bool retrying = ReconnectDown(ReconnectState::kTlm, LinkLossReason(errCode)).retrying;
      if (errCode <= -1 && errCode >= -18 && !retrying)
        MessagePopup(msg::kServerClosedTlm, TcpErrorText(errCode).c_str());
      LogMessage(std::string(msg::kTlmLinkLost) + p.link.telemServ + ":" +
                     std::to_string(p.link.portTlm) + ": " + LinkLossReason(errCode) +
                     ReconnectNote(ReconnectState::kTlm),
                 kRed);
      SetCtrlVal(p.ui.link, ids::kLkTlmLamp, 0);
      if (!retrying) SetCtrlVal(p.ui.link, ids::kLkTlmSwitch, 0);
      // A new connection starts a new stream: a record cut short here must not shift it.
      ResetAssembler(p.link.rx);
      break;
    }
    default:
      break;
  }
  return 0;
}

int TCP_SWITCH(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  int on = GetInt(panel, control);
  if (control == ids::kLkTlmSwitch) {
    if (!on) {
      if (p.link.tHandle >= 0) {
        DisconnectFromTCPServer(static_cast<unsigned>(p.link.tHandle));
        p.link.tHandle = -1;
        p.core.aorb = 0;
      }
      SetCtrlVal(p.ui.link, ids::kLkTlmLamp, 0);
      ReconnectOff(ReconnectState::kTlm);
    } else {
      RequestConnect(0);
    }
  } else if (control == ids::kLkCmdSwitch) {
    CommandSwitch(on);
  }
  GiveFocusToCommandLine();
  return 0;
}

int displayStartStop(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  p.link.displayOnOff = !p.link.displayOnOff;
  GiveFocusToCommandLine();
  return 0;
}

int All_Apids(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  SetCtrlVal(Ctx().ui.link, ids::kLkFilter, kApidAll);
  GiveFocusToCommandLine();
  return 0;
}

int ApidChange(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  int filter = GetInt(p.ui.link, ids::kLkFilter);
  if (filter == kApidAll)
    SetCtrlVal(p.ui.link, ids::kLkChksum, p.link.counters.chksum[kChksumTotal]);
  else if (filter >= 0 && filter < 0x1000)
    SetCtrlVal(p.ui.link, ids::kLkChksum, p.link.counters.chksum[filter]);
  GiveFocusToCommandLine();
  return 0;
}

int ClearReceive(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  auto& ck = p.link.counters.chksum;
  int filter = GetInt(p.ui.link, ids::kLkFilter);
  if (filter == kApidAll) {
    for (int i = 0; i <= kChksumTotal; ++i) ck[i] = 0;
  } else if (filter >= 0 && filter < 0x1000) {
    ck[filter] = 0;
  }
  SetCtrlVal(p.ui.link, ids::kLkChksum, 0);
  SetCtrlVal(p.ui.link, ids::kLkBytes, 0);
  ResetTextBox(p.ui.link, ids::kLkHex, "");
  GiveFocusToCommandLine();
  return 0;
}

int ClearApid(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  if (panel == p.ui.apidDisp1 || panel == p.ui.apidDisp2) {
    ResetTextBox(panel, ids::kAdHex, "");
    int apid = GetInt(panel, ids::kAdSelect);
    SetCtrlVal(panel, ids::kAdCount, 0);
    SetCtrlVal(panel, ids::kAdChksum, 0);
    if (apid >= 0 && apid < 4096) p.link.counters.chksum[apid] = 0;
  } else if (panel == p.ui.instrEvents) {
    ResetTextBox(panel, ids::kIeBox, "");
  }
  GiveFocusToCommandLine();
  return 0;
}

int ClearApidCounts(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  Counters& c = p.link.counters;
  int base = panel == p.ui.range200 ? 0x200 : panel == p.ui.range300 ? 0x300 : 0;
  if (!base) return 0;
  auto& range = base == 0x200 ? c.range200 : c.range300;
  range.fill(0);
  for (int k = 0; k < 128; ++k) SetCtrlVal(panel, ids::kRgFirst + k, 0);
  SetCtrlVal(panel, ids::kRgIllegal, 0);
  if (base == 0x200) SetCtrlAttribute(panel, ids::kRgIllegal, ATTR_TEXT_BGCOLOR, kNormalColour);
  for (int d : {p.ui.apidDisp1, p.ui.apidDisp2}) {
    int apid = GetInt(d, ids::kAdSelect);
    if (apid >= base && apid < base + 0x80) SetCtrlVal(d, ids::kAdCount, 0);
  }
  GiveFocusToCommandLine();
  return 0;
}

int ClearSelectedApidCounts(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  Counters& c = p.link.counters;
  c.summary.fill(0);
  for (int ctrl = kSummaryCtrlMin; ctrl <= kSummaryCtrlMax; ++ctrl) SetCtrlVal(p.ui.summary, ctrl, 0);
  for (int g = 1; g <= kGroupPanels; ++g) {
    c.group[g].fill(0);
    for (int ctrl = 2; ctrl <= kGroupCtrlMax; ++ctrl) SetCtrlVal(p.ui.group[g], ctrl, 0);
  }
  GiveFocusToCommandLine();
  return 0;
}

int SwapOnOFF(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  if (panel == p.ui.link) DisplayTo(true);
  else if (panel == p.ui.apidDisp1 || panel == p.ui.apidDisp2) DisplayApid(panel, true);
  GiveFocusToCommandLine();
  return 0;
}

namespace korvex {

void InstallLinks(Program& p) {
  RTE_REGISTER_CALLBACK(TCP_SWITCH);
  RTE_REGISTER_CALLBACK(ClearReceive);
  RTE_REGISTER_CALLBACK(All_Apids);
  RTE_REGISTER_CALLBACK(ApidChange);
  RTE_REGISTER_CALLBACK(ClearApid);
  RTE_REGISTER_CALLBACK(ClearApidCounts);
  RTE_REGISTER_CALLBACK(ClearSelectedApidCounts);
  RTE_REGISTER_CALLBACK(SwapOnOFF);
  RTE_REGISTER_CALLBACK(displayStartStop);
  p.link.handlers.add(0x202, [](Program&, const std::uint8_t* decoded) { EventLog(decoded); });
  p.link.handlers.add(0x240, [](Program&, const std::uint8_t* decoded) { AsciiResp(decoded); });
  // Reconnection first: a link comes back while an ARR is awaited too.
  p.duties.arrWait = [] {
    ReconnectTick();
    return ArrWait();
  };
}

}  // namespace korvex
