// The station's local telemetry server: every record, exactly as it came from the MOC, to each
// connected client (the analyzer display among them), before the station decodes it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/ids.h"
#include "core/station.h"
#include "links/localserver.h"
#include "links/messages.h"
#include "links/tcp_errors.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr unsigned kReadTimeoutMs = 2000;
constexpr int kClientTextMax = 500;

std::string Upper(std::string s) {
  StringUpperCase(s);
  return s;
}

int SlotOf(const LocalServerState& L, unsigned handle) {
  return SlotIndex(L.fHandle, static_cast<int>(handle));
}

void ShowServerLamp() {
  Program& p = Ctx();
  bool any = false;
  for (int h : p.local.fHandle) any |= h >= 0;
  SetCtrlVal(p.ui.localServer, ids::kLsTlmLamp, any ? 1 : 0);
}

// Frees a slot, clears its lamp and name; the caller logs what happened.
void FreeSlot(int k) {
  Program& p = Ctx();
  auto i = static_cast<std::size_t>(k);
  p.local.fHandle[i] = -1;
  p.local.fName[i].clear();
  SetCtrlVal(p.ui.localClients, ids::kLcTlmLampFirst + k, 0);
  SetCtrlVal(p.ui.localClients, ids::kLcTlmNameFirst + k, "");
  ShowServerLamp();
}

void DropClient(int k, bool log) {
  Program& p = Ctx();
  auto i = static_cast<std::size_t>(k);
  int h = p.local.fHandle[i];
  if (h < 0) return;
  std::string name = p.local.fName[i];
  FreeSlot(k);
  DisconnectTCPClient(static_cast<unsigned>(h));
  if (log) LogMessage(name + msg::kDisconnectedTlm, kGreen);
}

void Connected(unsigned handle) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (!AdmitPeer(handle)) return;
  int k = SlotIndex(L.fHandle, -1);
  if (k < 0) {
    // Twenty are served; the next one would get nothing, so it is not kept waiting either.
    DisconnectTCPClient(handle);
    MessagePopup(msg::kTcpServerTitle, msg::kClientFailed);
    return;
  }
  auto i = static_cast<std::size_t>(k);
  L.fHandle[i] = static_cast<int>(handle);
  L.fName[i] = ClientName(handle);
  SetCtrlVal(p.ui.localClients, ids::kLcTlmLampFirst + k, 1);
  SetCtrlVal(p.ui.localClients, ids::kLcTlmNameFirst + k, L.fName[i].c_str());
  ShowServerLamp();
  LogMessage(L.fName[i] + msg::kConnectedTlm, kGreen);
}

// A telemetry client may send short texts; the station shows them and never answers.
void ClientText(unsigned handle) {
  Program& p = Ctx();
  char buf[kClientTextMax];
  int n = ServerTCPRead(handle, buf, sizeof buf, kReadTimeoutMs);
  if (n == 0) {
    MessagePopup(msg::kTcpServerTitle, msg::kTcpReadErrorShort);
    return;
  }
  if (n < 0) return;
  int k = SlotOf(p.local, handle);
  std::string name = k >= 0 ? p.local.fName[static_cast<std::size_t>(k)] : ClientName(handle);
  SetCtrlVal(p.ui.clientMessages, ids::kCmText, (std::string(buf, static_cast<std::size_t>(n)) + "\n").c_str());
  SetPanelAttribute(p.ui.clientMessages, ATTR_TITLE, name.c_str());
  DisplayPanel(p.ui.clientMessages);
}

// Each complete record, unchanged, to every client. One that cannot take it (gone, or so far
// behind that its queue is full) is dropped with a log line; the others are not held up.
void ServeRecord(const std::uint8_t* record) {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  for (int k = 0; k < LocalServerState::kTlmSlots; ++k) {
    int h = L.fHandle[static_cast<std::size_t>(k)];
    if (h < 0) continue;
    int r = ServerTCPWriteQueued(static_cast<unsigned>(h), record, kRecordSize, L.maxQueued);
    if (r < 0 && r >= -18) {
      std::string name = L.fName[static_cast<std::size_t>(k)];
      FreeSlot(k);
      DisconnectTCPClient(static_cast<unsigned>(h));
      LogMessage(msg::kTcpWriteError + TcpErrorText(r) + " " + name, kRed);
    }
  }
}

}  // namespace

std::string ClientName(unsigned handle) {
  std::string name;
  if (GetTCPPeerName(handle, &name) < 0 || name.empty()) GetTCPPeerAddr(handle, &name);
  return Upper(name);
}

bool AdmitPeer(unsigned handle) {
  std::string addr;
  GetTCPPeerAddr(handle, &addr);
  if (Ctx().local.cfg.allows(addr)) return true;
  DisconnectTCPClient(handle);
  LogMessage(msg::kPeerRefused + addr + msg::kPeerRefusedWhy, kRed);
  return false;
}

void ReadLocalServerConfig() {
  Program& p = Ctx();
  std::vector<std::string> lines;
  LoadNotes notes{"cfg/localserver.cfg", {}};
  p.local.cfg = ReadTextLines("cfg/localserver.cfg", &lines) ? ParseLocalServerConfig(lines, &notes)
                                                             : LocalServerConfig{};
  for (const LoadNote& n : notes.v) LogMessage(FormatNote(n), kYellow);
}

unsigned ServerPort(bool startedOnce, unsigned configured, unsigned last) {
  if (!startedOnce) return configured;
  std::string reply;
  if (PromptPopup(msg::kTlmPortTitle, msg::kTlmServerPortQuestion, &reply, 31) >= 0 && !reply.empty())
    return static_cast<unsigned>(std::strtoul(reply.c_str(), nullptr, 10));
  return last;
}

unsigned ListeningPort(unsigned requested) {
  int real = GetTCPServerPort(requested);
  return real > 0 ? static_cast<unsigned>(real) : requested;
}

int StartTelemetryServer() {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (L.tRunning) return 0;
  unsigned port = ServerPort(L.tStartedOnce, p.core.cfg.cfgtfwd, L.lastTport);
  ReadLocalServerConfig();
  int r = RegisterTCPServer(port, ServerCallback, nullptr, L.cfg.listen.c_str());
  if (r < 0) {
    std::fprintf(stderr, "korvex: cannot listen on %s:%u: %s\n",
                 L.cfg.listen.empty() ? "*" : L.cfg.listen.c_str(), port, TcpErrorText(r).c_str());
    SetCtrlVal(p.ui.localServer, ids::kLsTlmSwitch, 0);
    MessagePopup(msg::kTcpServerTitle, msg::kRegisterFailed);
    return r;
  }
  L.tRunning = true;
  L.tport = port;
  L.lastTport = port;
  L.tStartedOnce = true;
  SetCtrlVal(p.ui.localServer, ids::kLsTlmSwitch, 1);
  MessagePopup(msg::kServerUpTitle,
               (msg::kTlmServerPort + std::to_string(ListeningPort(port))).c_str());
  return 0;
}

void StopTelemetryServer() {
  Program& p = Ctx();
  LocalServerState& L = p.local;
  if (!L.tRunning) return;
  for (int k = 0; k < LocalServerState::kTlmSlots; ++k)
    if (L.fHandle[static_cast<std::size_t>(k)] >= 0) FreeSlot(k);
  UnregisterTCPServer(L.tport);  // its clients go with it
  L.tRunning = false;
  L.tport = 0;
  SetCtrlVal(p.ui.localServer, ids::kLsTlmSwitch, 0);
  SetCtrlVal(p.ui.localServer, ids::kLsTlmLamp, 0);
}

void InstallLocalServer(Program& p) {
  RTE_REGISTER_CALLBACK(TCP_SERV);
  RTE_REGISTER_CALLBACK(Display_TServers);
  RTE_REGISTER_CALLBACK(DisconnectTServer);
  RTE_REGISTER_CALLBACK(DisconnectAll);
  p.link.forward = ServeRecord;
  InstallCmdServer(p);
}

}  // namespace korvex

using namespace korvex;

int ServerCallback(unsigned handle, int xType, int, void*) {
  switch (xType) {
    case TCP_CONNECT:
      Connected(handle);
      break;
    case TCP_DISCONNECT: {
      Program& p = Ctx();
      int k = SlotOf(p.local, handle);
      if (k >= 0) {
        std::string name = p.local.fName[static_cast<std::size_t>(k)];
        FreeSlot(k);
        LogMessage(name + msg::kDisconnectedTlm, kGreen);
      }
      break;
    }
    case TCP_DATAREADY:
      ClientText(handle);
      break;
    default:
      break;
  }
  return 0;
}

int TCP_SERV(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (on)
    StartTelemetryServer();
  else
    StopTelemetryServer();
  GiveFocusToCommandLine();
  return 0;
}

int Display_TServers(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  int visible = 0;
  GetPanelAttribute(p.ui.localClients, ATTR_VISIBLE, &visible);
  if (visible)
    HidePanel(p.ui.localClients);
  else
    DisplayPanel(p.ui.localClients);
  return 0;
}

int DisconnectTServer(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  int slot = 0;
  GetCtrlVal(p.ui.localClients, ids::kLcTlmSlot, &slot);
  if (slot >= 1 && slot <= LocalServerState::kTlmSlots) DropClient(slot - 1, true);
  GiveFocusToCommandLine();
  return 0;
}

int DisconnectAll(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  for (int k = 0; k < LocalServerState::kTlmSlots; ++k) DropClient(k, false);
  GiveFocusToCommandLine();
  return 0;
}
