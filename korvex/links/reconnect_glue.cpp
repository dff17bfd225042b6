// Automatic reconnection of the MOC links: the settings file, the lamps on the link panel and the
// timer step that retries a lost link. The telemetry and command link code call the hooks below
// when a connection comes up, is refused or is lost.
#include <cstdio>

#include "core/ids.h"
#include "core/station.h"
#include "links/messages.h"
#include "links/reconnect.h"
#include "links/tcp_errors.h"
#include "rte/rte.h"

namespace korvex {

namespace {

constexpr const char* kFile = "cfg/reconnect.cfg";
constexpr int kConnectedColour = 0x00C000;
constexpr int kRetryingColour = 0xFFB000;

ReconnectState& R() { return Ctx().link.reconnect; }

int SwitchCtrl(int which) {
  return which == ReconnectState::kTlm ? ids::kLkTlmSwitch : ids::kLkCmdSwitch;
}

int Handle(int which) {
  const Program& p = Ctx();
  return which == ReconnectState::kTlm ? p.link.tHandle : p.cmdlink.gHandle;
}

std::string HostPort(int which) {
  const LinkState& L = Ctx().link;
  return which == ReconnectState::kTlm ? L.telemServ + ":" + std::to_string(L.portTlm)
                                       : L.serverName + ":" + std::to_string(L.portCmd);
}

void ShowLamp(int which) {
  Program& p = Ctx();
  if (p.ui.link < 0) return;
  const LinkRetry& l = R().link[which];
  int ctrl = which == ReconnectState::kTlm ? ids::kLkTlmRetryLamp : ids::kLkCmdRetryLamp;
  SetCtrlAttribute(p.ui.link, ctrl, ATTR_DIMMED, l.enabled() ? 0 : 1);
  if (l.lamp() != LinkLamp::Off)
    SetCtrlAttribute(p.ui.link, ctrl, ATTR_ON_COLOR,
                     l.lamp() == LinkLamp::Connected ? kConnectedColour : kRetryingColour);
  SetCtrlVal(p.ui.link, ctrl, l.lamp() == LinkLamp::Off ? 0 : 1);
}

void EnsureLoaded() {
  ReconnectState& r = R();
  if (r.loaded) return;
  r.loaded = true;
  std::vector<std::string> lines;
  LoadNotes notes{kFile, {}};
  bool present = ReadTextLines(kFile, &lines);
  r.cfg = present ? ParseReconnectConfig(lines, &notes) : ReconnectConfig{};
  for (const LoadNote& n : notes.v) LogMessage(FormatNote(n), kYellow);
  r.link[ReconnectState::kTlm].enable(r.cfg.telemetry, r.cfg.interval);
  r.link[ReconnectState::kCmd].enable(r.cfg.command, r.cfg.interval);
  if (r.cfg.telemetry || r.cfg.command) {
    char text[128];
    std::snprintf(text, sizeof text, msg::kReconnectSettings, r.cfg.telemetry ? "ON" : "OFF",
                  r.cfg.command ? "ON" : "OFF", r.cfg.interval);
    LogMessage(text, kBlack);
  }
  ShowLamp(ReconnectState::kTlm);
  ShowLamp(ReconnectState::kCmd);
}

// The operator's switch says whether the link is wanted. A link switched off (the switch, "set
// moc off", a declined resend) is not retried; one closed by the station itself without a word
// is left alone too: only a loss or refusal that the hooks saw is retried.
void Reconcile(int which) {
  Program& p = Ctx();
  LinkRetry& l = R().link[which];
  if (l.lamp() == LinkLamp::Off) return;
  int wanted = 0;
  GetCtrlVal(p.ui.link, SwitchCtrl(which), &wanted);
  bool stale = l.lamp() == LinkLamp::Connected && Handle(which) < 0;
  if (!wanted || stale) {
    l.off();
    ShowLamp(which);
  }
}

}  // namespace

LinkRetry::Down ReconnectDown(int which, const std::string& reason) {
  EnsureLoaded();
  ReconnectState& r = R();
  LinkRetry::Down d = r.link[which].down(r.seconds, reason);
  if (d.retrying) SetCtrlVal(Ctx().ui.link, SwitchCtrl(which), 1);
  ShowLamp(which);
  return d;
}

std::string ReconnectNote(int which) {
  const LinkRetry& l = R().link[which];
  if (l.lamp() != LinkLamp::Retrying) return {};
  char text[64];
  std::snprintf(text, sizeof text, msg::kRetrying, l.interval());
  return text;
}

void ReconnectUp(int which) {
  EnsureLoaded();
  ReconnectState& r = R();
  LinkRetry& l = r.link[which];
  int failed = l.failedAttempts();
  unsigned long long down = l.downFor(r.seconds);
  if (l.up()) {
    char tail[96];
    std::snprintf(tail, sizeof tail, msg::kRecoveredTail, down, failed);
    const char* head = which == ReconnectState::kTlm ? msg::kTlmRecovered : msg::kCmdRecovered;
    LogMessage(head + HostPort(which) + tail, kGreen);
  }
  ShowLamp(which);
}

void ReconnectOff(int which) {
  R().link[which].off();
  ShowLamp(which);
}

void ReconnectTick() {
  EnsureLoaded();
  ReconnectState& r = R();
  ++r.seconds;
  Reconcile(ReconnectState::kTlm);
  Reconcile(ReconnectState::kCmd);
  // An attempt may serve events (the "START MOCSET" pause): a tick inside it must not start
  // another one.
  if (r.busy) return;
  r.busy = true;
  if (r.link[ReconnectState::kTlm].due(r.seconds) && Handle(ReconnectState::kTlm) < 0)
    ConnectTelemetry(r.tlmMocset);
  if (r.link[ReconnectState::kCmd].due(r.seconds) && Handle(ReconnectState::kCmd) < 0)
    ConnectCmd();
  r.busy = false;
}

}  // namespace korvex
