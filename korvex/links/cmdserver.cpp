// The station's local command server. The SEP's ground equipment sends whole SCMs (in as many
// parts as TCP cuts them into) or "send FILE" lines; one client is served at a time. A SEP SCM is
// checked, stamped with the station's counters and message number and relayed to the MOC, whose
// ARR goes back to the client; every refusal is answered with an ARR of the station's own.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "commanding/commanding.h"
#include "commanding/messages.h"
#include "commanding/reverse.h"
#include "commanding/scm.h"
#include "core/ids.h"
#include "core/station.h"
#include "links/localserver.h"
#include "links/messages.h"
#include "links/tcp_errors.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr unsigned kReadTimeoutMs = 5000;
constexpr unsigned kWriteTimeoutMs = 5000;
constexpr std::size_t kReadMax = 25000;
constexpr std::size_t kSendLineMax = 264;

LocalServerState& Local() { return Ctx().local; }

std::string Now13() { return GetTime(rte::LocalTime(rte::Now())); }

int CmdSlotOf(unsigned handle) { return SlotIndex(Local().rHandle, static_cast<int>(handle)); }

int ServedHandle() {
  const LocalServerState& L = Local();
  return L.rx >= 0 ? L.rHandle[static_cast<std::size_t>(L.rx)] : -1;
}

void ShowCmdServerLamp() {
  Program& p = Ctx();
  bool any = false;
  for (int h : p.local.rHandle) any |= h >= 0;
  SetCtrlVal(p.ui.localServer, ids::kLsScmLamp, any ? 1 : 0);
}

// The served client is done with (answered, timed out, gone): the next client to send is served.
void EndService() {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  L.rbusy = 0;
  L.rx = -1;
  L.sep.reset();
  L.sepSent = false;
  L.sepErrArr.clear();
  p.cmdlink.sepFlg = 0;
}

// After a refusal that does not concern an SCM of the served client already at the MOC: while
// one is, the client stays served so that the MOC's ARR still reaches it.
void Done() {
  if (Local().sepSent)
    Local().sep.reset();
  else
    EndService();
}

void ToServed(const std::uint8_t* arr) {
  int h = ServedHandle();
  if (h >= 0) ServerTCPWrite(static_cast<unsigned>(h), arr, kArrSize, kWriteTimeoutMs);
}

// The station's own ARR answering the bytes of an SCM (or of a line) to the served client.
void Answer(const std::uint8_t* scm, std::size_t n, const char* code) {
  ArrBytes a = BuildStationArr(scm, n, code, Now13());
  ToServed(a.data());
}

// BadARR: answers from the SEP SCM being assembled, or from the bytes just read when nothing is
// held yet.
void BadArr(const char* code, const std::uint8_t* data = nullptr, std::size_t n = 0) {
  const SepAssembly& a = Local().sep;
  if (!a.buf.empty())
    Answer(a.buf.data(), a.buf.size(), code);
  else
    Answer(data, n, code);
}

void FreeCmdSlot(int k) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  auto i = static_cast<std::size_t>(k);
  L.rHandle[i] = -1;
  L.rName[i].clear();
  L.rQueued[i] = false;
  SetCtrlVal(p.ui.localClients, ids::kLcCmdLampFirst + k, 0);
  SetCtrlVal(p.ui.localClients, ids::kLcCmdNameFirst + k, "");
  // A served client that leaves must not hold the server for everyone else.
  if (L.rx == k) EndService();
  ShowCmdServerLamp();
}

void DropCmdClient(int k, bool log) {
  LocalServerState& L = Local();
  auto i = static_cast<std::size_t>(k);
  int h = L.rHandle[i];
  if (h < 0) return;
  std::string name = L.rName[i];
  FreeCmdSlot(k);
  DisconnectTCPClient(static_cast<unsigned>(h));
  if (log) LogMessage(name + msg::kDisconnectedCmd, kGreen);
}

void CmdConnected(unsigned handle) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (!AdmitPeer(handle)) return;
  int k = SlotIndex(L.rHandle, -1);
  if (k < 0) {
    DisconnectTCPClient(handle);
    MessagePopup(msg::kTcpServerTitle, msg::kClientFailed);
    return;
  }
  auto i = static_cast<std::size_t>(k);
  L.rHandle[i] = static_cast<int>(handle);
  L.rName[i] = ClientName(handle);
  L.rQueued[i] = false;
  SetCtrlVal(p.ui.localClients, ids::kLcCmdLampFirst + k, 1);
  SetCtrlVal(p.ui.localClients, ids::kLcCmdNameFirst + k, L.rName[i].c_str());
  ShowCmdServerLamp();
  LogMessage(L.rName[i] + msg::kConnectedCmd, kGreen);
}

// A success ARR that the timer has not yet taken in (it does so within the second) is taken in
// now, as the timer would, so that a client sending its next SCM at once is not turned away.
void AcceptArrIn() {
  Program& p = Ctx();
  if (p.cmdlink.flagArr != 2) return;
  p.cmdlink.flagArr = 0;
  p.core.tickFlag = 0;
  p.cmd.scm.seqinc = {};
}

// What a refused SEP SCM had moved: the counters, their tallies and the pending entries.
struct CounterMark {
  std::uint32_t sc, esc, rsc, ersc;
  std::array<int, 4> seqinc;
  std::size_t pending;
};

CounterMark Mark(const ScmState& s) {
  return {s.ccsdsSC, s.ccsdsESC, s.ccsdsRSC, s.ccsdsERSC, s.seqinc, s.cv.size()};
}

// ResetCv: the counters back where they were before the SEP SCM was stamped, its pending entries
// dropped, the counters shown. Restoring the mark (rather than stepping back by the tallies)
// leaves alone whatever an SCM the operator is still building had already counted.
void ResetCv(const CounterMark& m) {
  ScmState& s = Ctx().cmd.scm;
  s.ccsdsSC = m.sc;
  s.ccsdsESC = m.esc;
  s.ccsdsRSC = m.rsc;
  s.ccsdsERSC = m.ersc;
  s.seqinc = m.seqinc;
  if (s.cv.size() > m.pending) s.cv.resize(m.pending);
  ShowCounters();
}

// The SEP SCM's pending entries (those after the mark) go to the end of the verification list.
void ListSepEntries(const CounterMark& m) {
  ScmState& s = Ctx().cmd.scm;
  std::vector<PendingEntry> moved;
  if (s.cv.size() > m.pending) {
    moved.assign(s.cv.begin() + static_cast<long>(m.pending), s.cv.end());
    s.cv.resize(m.pending);
  }
  ListVerificationEntries(moved);
}

void SaveStoreFile(const std::vector<std::uint8_t>& scm, const std::string& name,
                   const std::uint8_t* arrFrom, std::size_t arrFromSize) {
  Program& p = Ctx();
  if (!PacketsSumToZero(scm.data(), scm.size(), p.core.cfg.cfgsswp)) {
    LogMessage(name + msg::kSepStoreChecksum, kRed);
    Answer(arrFrom, arrFromSize, "106");
    Done();
    return;
  }
  std::optional<std::string> path = StoreFilePath(scm.data(), scm.size());
  if (!path) {
    LogMessage(name + msg::kSepSyntax, kRed);
    Answer(arrFrom, arrFromSize, "109");
    Done();
    return;
  }
  std::string file = rte::ResolvePath(*path);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  errno = 0;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(scm.data()), static_cast<std::streamsize>(scm.size()));
  if (out) out.close();
  if (!out) {
    // Not kept: the client must not be told it was.
    LogMessage(name + msg::kSepNotSaved + *path + ": " + std::strerror(errno ? errno : EIO), kRed);
    Answer(arrFrom, arrFromSize, "016");
    Done();
    return;
  }
  LogMessage(name + msg::kSepSaved, kGreen);
  Answer(arrFrom, arrFromSize, "000");
  Done();
}

}  // namespace

// A whole SEP SCM: kept as a store file, or stamped and relayed to the MOC, or refused.
void DoSep(std::vector<std::uint8_t> scm) {
  Program& p = Ctx();
  ScmState& s = p.cmd.scm;
  const int sswap = p.core.cfg.cfgsswp;
  const std::string name = ScmName(scm.data(), scm.size());
  // Replies are built from the SCM as it came, before it is stamped.
  const std::vector<std::uint8_t> asCame(scm.begin(), scm.begin() + static_cast<long>(std::min<std::size_t>(scm.size(), 139)));
  auto refuse = [&](const char* text, const char* code) {
    LogMessage(name + text, kRed);
    Answer(asCame.data(), asCame.size(), code);
    Done();
  };

  if (p.script.scf > 0 && !p.script.okscm) return refuse(msg::kSepScriptRunning, "105");
  if (scm.size() < kScmHeader || std::memcmp(scm.data(), "SCM-", 4) != 0)
    return refuse(msg::kSepSyntax, "109");
  std::optional<std::vector<std::size_t>> lengths = PacketLengths(scm.data(), scm.size(), sswap);
  if (!lengths) return refuse(msg::kSepSyntax, "109");
  if (scm[29] == '-') return SaveStoreFile(scm, name, asCame.data(), asCame.size());

  // One SCM at the MOC at a time: its ARR must reach the one who sent it.
  AcceptArrIn();
  if (p.cmdlink.flagArr != 0) return refuse(msg::kSepArrAwaited, "105");
  if (!PacketsSumToZero(scm.data(), scm.size(), sswap)) return refuse(msg::kSepChecksum, "106");

  const CounterMark mark = Mark(s);
  if (!StampScm(s, scm.data(), scm.size(), sswap)) return refuse(msg::kSepSyntax, "109");

  HazardCount hz = CountHazards(p.db.cmd.list, scm.data() + kScmHeader, scm.size() - kScmHeader,
                                &p.db.cmd.lower);
  bool cancel = hz.databaseError;
  if (hz.databaseError) LogMessage(msg::kDatabaseError, kRed);
  if (!cancel && hz.hazardous > 0)
    cancel = ConfirmPopup(msg::kHazardousScmTitle, (msg::kHazardousScm + std::to_string(hz.hazardous) +
                                                    msg::kHazardousScmCancel).c_str()) == 1;
  if (cancel) {
    ResetCv(mark);
    return refuse(msg::kSepHazardCancelled, "108");
  }

  if (p.cmdlink.gHandle < 0) ConnectCmd();
  if (p.cmdlink.gHandle < 0) {
    ResetCv(mark);
    return refuse(msg::kSepNoMoc, "104");
  }

  IncrementMessageNumber(s.scmStr.data());
  std::memcpy(scm.data() + 10, s.scmStr.data() + 10, 4);
  ShowCounters();
  SetCtrlVal(p.ui.link, ids::kLkCmdLamp, 1);
  SetCtrlVal(p.ui.link, ids::kLkCmdSwitch, 1);
  int w = WriteScm(scm.data(), scm.size());
  if (w < 0) {
    ResetCv(mark);
    LogMessage(name + msg::kSepWriteFailed + p.link.serverName + ":" + std::to_string(p.link.portCmd) +
                   ": " + TcpErrorText(w),
               kRed);
    Answer(asCame.data(), asCame.size(), "104");
    Done();
    return;
  }
  s.saveScm = scm;
  s.sizeScm = scm.size();
  p.cmdlink.sepFlg = 1;
  p.local.sepSent = true;
  p.local.sepErrArr.clear();
  p.cmdlink.flagArr = 1;
  p.core.tickFlag = 0;
  if (p.arc.svcmdfp.open()) WriteArchiveText(p.arc.svcmdfp, std::string(scm.begin(), scm.end()));
  // The header as text and the bytes from the header's end through the last packet in hex.
  std::size_t shown = lengths->empty() ? scm.size() : std::min(scm.size(), kScmHeader + lengths->back());
  s.scmstr = ScmText(scm.data(), shown);
  LogMessage(s.scmstr, kGreen);
  ListSepEntries(mark);
}

namespace {

// One part of a SEP SCM from the served client.
void SepPart(const std::uint8_t* data, std::size_t n) {
  LocalServerState& L = Local();
  SepAssembly& a = L.sep;
  const bool first = a.buf.empty();
  switch (AppendSepPart(a, data, n)) {
    case SepStep::NeedMore:
      if (first) a.septimer = 1;
      if (!a.partSaid) {
        LogMessage(msg::kSepPart, kGreen);
        a.partSaid = true;
      }
      break;
    case SepStep::Complete: {
      std::vector<std::uint8_t> scm = std::move(a.buf);
      a.reset();
      DoSep(std::move(scm));
      break;
    }
    case SepStep::TooMany:
      BadArr("006", data, n);
      LogMessage(msg::kSepTooMany, kRed);
      Done();
      break;
  }
}

// A "send" line from the served client: only a stored-SCM send runs, through the command line.
void SepSendLine(int k, std::string line) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  std::size_t eol = line.find_first_of("\r\n");
  if (eol != std::string::npos) line.resize(eol);
  if (line.size() > kSendLineMax) line.resize(kSendLineMax);
  StringUpperCase(line);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
  const std::string peer = L.rName[static_cast<std::size_t>(k)];
  auto refuse = [&](const std::string& text, const char* code) {
    LogMessage(text, kRed);
    Answer(bytes, line.size(), code);
    Done();
  };
  if (CheckSepLine(line) != SepLine::Send)
    return refuse(msg::kSepLineRefused + peer + ": " + line, "109");
  // A missing file would open a file dialog on the operator's screen: the client is told instead.
  const std::string path = SendLinePath(line);
  const std::string file = rte::ResolvePath(path);
  if (!std::filesystem::is_regular_file(file))
    return refuse(msg::kSepNoFile + path + " FROM " + peer, "109");
  AcceptArrIn();
  if (p.cmdlink.flagArr != 0) {
    // Answered from the stored SCM's header: its message number and name.
    char head[139] = {};
    std::ifstream in(file, std::ios::binary);
    in.read(head, sizeof head);
    LogMessage(line + msg::kSepArrAwaited, kRed);
    Answer(reinterpret_cast<const std::uint8_t*>(head), static_cast<std::size_t>(in.gcount()), "105");
    Done();
    return;
  }

  L.sepLine = true;
  L.sepAnswered = false;
  RunCommandLine(line);
  L.sepLine = false;
  if (L.sepAnswered) return;
  if (p.cmdlink.flagArr == 1 && p.cmdlink.sepFlg) {
    L.sepSent = true;  // at the MOC: its ARR answers the client
    L.sepErrArr.clear();
    return;
  }
  Answer(bytes, line.size(), "109");
  Done();
}

void CmdData(unsigned handle) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  int k = CmdSlotOf(handle);
  if (k < 0) return;
  auto i = static_cast<std::size_t>(k);
  std::vector<std::uint8_t> buf(kReadMax);
  if (!L.rbusy) {
    L.rx = k;
    L.rQueued[i] = false;
    L.rbusy = 1;
  }
  if (L.rx != k) {
    // Another client is served. What this one sent is not taken; it is read and dropped so that
    // its next message starts clean, and it is told once.
    int n = ServerTCPRead(handle, buf.data(), buf.size(), 0);
    if (!L.rQueued[i]) {
      ArrBytes a = BuildStationArr(buf.data(), n > 0 ? static_cast<std::size_t>(n) : 0, "107", Now13());
      ServerTCPWrite(handle, a.data(), kArrSize, kWriteTimeoutMs);
      L.rQueued[i] = true;
    }
    return;
  }
  int n = ServerTCPRead(handle, buf.data(), buf.size(), kReadTimeoutMs);
  if (n == 0) {
    MessagePopup(msg::kTcpServerTitle, msg::kTcpReadErrorShort);
    return;
  }
  if (n < 0) return;
  const auto got = static_cast<std::size_t>(n);
  auto lower = [](std::uint8_t c) { return static_cast<char>(std::tolower(c)); };
  if (L.sep.buf.empty() && got >= 4 && lower(buf[0]) == 's' && lower(buf[1]) == 'e' &&
      lower(buf[2]) == 'n' && lower(buf[3]) == 'd') {
    SepSendLine(k, std::string(buf.begin(), buf.begin() + static_cast<long>(got)));
    return;
  }
  SepPart(buf.data(), got);
}

// The timer's SEP duty: an SCM that does not arrive whole within sepwait + 2 seconds is refused.
void SepTimeout() {
  Program& p = Ctx();
  SepAssembly& a = p.local.sep;
  if (a.septimer == 0) return;
  if (a.septimer < static_cast<std::uint32_t>(std::max(0, p.core.cfg.sepwait + 2))) {
    ++a.septimer;
    return;
  }
  BadArr("015");
  LogMessage(msg::kSepTimeout, kRed);
  Done();
}

}  // namespace

int StartCommandServer() {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (L.sRunning) return 0;
  unsigned port = ServerPort(L.sStartedOnce, p.core.cfg.cfgscm, L.lastSport);
  ReadLocalServerConfig();
  int r = RegisterTCPServer(port, ServerCallback2, nullptr, L.cfg.listen.c_str());
  if (r < 0) {
    std::fprintf(stderr, "korvex: cannot listen on %s:%u: %s\n",
                 L.cfg.listen.empty() ? "*" : L.cfg.listen.c_str(), port, TcpErrorText(r).c_str());
    SetCtrlVal(p.ui.localServer, ids::kLsScmSwitch, 0);
    MessagePopup(msg::kTcpServerTitle, msg::kRegisterFailed);
    return r;
  }
  L.sRunning = true;
  L.sport = port;
  L.lastSport = port;
  L.sStartedOnce = true;
  SetCtrlVal(p.ui.localServer, ids::kLsScmSwitch, 1);
  MessagePopup(msg::kServerUpTitle, (msg::kScmServerPort + std::to_string(ListeningPort(port))).c_str());
  return 0;
}

void StopCommandServer() {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (!L.sRunning) return;
  // The clients go with the server; their slots are freed rather than left showing.
  for (int k = 0; k < LocalServerState::kCmdSlots; ++k)
    if (L.rHandle[static_cast<std::size_t>(k)] >= 0) FreeCmdSlot(k);
  UnregisterTCPServer(L.sport);
  L.sRunning = false;
  L.sport = 0;
  SetCtrlVal(p.ui.localServer, ids::kLsScmSwitch, 0);
  SetCtrlVal(p.ui.localServer, ids::kLsScmLamp, 0);
}

void SepArrFromMoc(const std::uint8_t* arr, int code) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (!p.cmdlink.sepFlg || !L.sepSent) {
    if (code == kArrSuccess) p.cmdlink.sepFlg = 0;
    return;
  }
  if (code != kArrSuccess) {
    // The operator decides on a resend; the client hears of the error if the SCM is given up.
    L.sepErrArr.assign(arr, arr + kArrSize);
    return;
  }
  ToServed(arr);
  EndService();
}

void SepScmGivenUp() {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (!L.sepSent) return;
  if (!L.sepErrArr.empty()) {
    ToServed(L.sepErrArr.data());
  } else {
    const ScmState& s = p.cmd.scm;
    Answer(s.saveScm.data(), std::min(s.sizeScm, s.saveScm.size()), "104");
  }
  EndService();
}

void SepSendAnswer(const std::uint8_t* scm, std::size_t n, const char* code) {
  LocalServerState& L = Local();
  if (!L.sepLine) return;
  Answer(scm, n, code);
  L.sepAnswered = true;
  Done();
}

void InstallCmdServer(Program& p) {
  RTE_REGISTER_CALLBACK(SCM_SERV);
  RTE_REGISTER_CALLBACK(DisconnectSServer);
  RTE_REGISTER_CALLBACK(DisconnectS);
  p.duties.sepTimeout = [] { SepTimeout(); };
}

}  // namespace korvex

using namespace korvex;

int ServerCallback2(unsigned handle, int xType, int, void*) {
  switch (xType) {
    case TCP_CONNECT:
      CmdConnected(handle);
      break;
    case TCP_DISCONNECT: {
      int k = CmdSlotOf(handle);
      if (k >= 0) {
        std::string name = Local().rName[static_cast<std::size_t>(k)];
        FreeCmdSlot(k);
        LogMessage(name + msg::kDisconnectedCmd, kGreen);
      }
      break;
    }
    case TCP_DATAREADY:
      CmdData(handle);
      break;
    default:
      break;
  }
  return 0;
}

int SCM_SERV(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (on)
    StartCommandServer();
  else
    StopCommandServer();
  GiveFocusToCommandLine();
  return 0;
}

int DisconnectSServer(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  int slot = 0;
  GetCtrlVal(p.ui.localClients, ids::kLcCmdSlot, &slot);
  if (slot >= 1 && slot <= LocalServerState::kCmdSlots) DropCmdClient(slot - 1, true);
  GiveFocusToCommandLine();
  return 0;
}

int DisconnectS(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  for (int k = 0; k < LocalServerState::kCmdSlots; ++k) DropCmdClient(k, false);
  GiveFocusToCommandLine();
  return 0;
}
