// Automatic reconnection in the started station, against MOC servers on loopback that go away
// and come back on the same port: what is logged, what is retried and when, the lamps, no
// pop-up while retrying, and telemetry records flowing again on the new connection.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/tests/station_fixture.h"
#include "links/tests/cmd_peer.h"
#include "links/tests/tlm_records.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

std::string Records(int n, unsigned from) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    auto r = TlmRecord(0x200, kSpacecraftA, from + static_cast<unsigned>(i));
    s.append(r.begin(), r.end());
  }
  return s;
}

int Val(int panel, int ctrl) {
  int v = 0;
  GetCtrlVal(panel, ctrl, &v);
  return v;
}

int Attr(int panel, int ctrl, int attr) {
  int v = 0;
  GetCtrlAttribute(panel, ctrl, attr, &v);
  return v;
}

class ReconnectTest : public StationTest {
 protected:
  void Configure(unsigned tlmPort, unsigned cmdPort, const std::string& reconnect) {
    auto lines = CfgLines(tlmPort);
    lines[2] = "CmdPort = " + std::to_string(cmdPort);
    WriteFile(dir / "cfg/korvex.cfg", Join(lines));
    if (!reconnect.empty()) WriteFile(dir / "cfg/reconnect.cfg", reconnect);
    // The MOC set-up script that a first telemetry connection runs ("START MOCSET").
    fs::create_directories(dir / "cmd");
    fs::copy_file(fs::path(STATION_DIR) / "cmd/mocset.cmd", dir / "cmd/mocset.cmd");
  }
  void Switch(int ctrl, double on) { rte::UserSetValue(P().ui.link, ctrl, on); }
  // Ticks of the one-second timer, stepped here, with the events they leave behind served.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      DoTick();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      rte::DrainDeferred();
    }
  }
  int Popups(const std::string& title) {
    int n = 0;
    for (const auto& e : popups.transcript()) n += e.title == title;
    return n;
  }
  std::string LogArchive() {
    auto logs = Logs(".log");
    return logs.empty() ? std::string() : Slurp(dir / "log" / logs.back());
  }
};

}  // namespace

TEST_F(ReconnectTest, TelemetryLossRetriedUntilTheServerIsBackAndRecordsFlowAgain) {
  CmdPeer moc;
  Configure(moc.port(), 5002, "telemetry = on\ninterval = 2\n");
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  const std::string where = "127.0.0.1:" + std::to_string(moc.port());

  Ticks(1);
  EXPECT_EQ(CountOut("AUTOMATIC RECONNECT: TELEMETRY ON, COMMAND OFF, EVERY 2 S"), 1);
  EXPECT_EQ(Attr(p.ui.link, ids::kLkTlmRetryLamp, ATTR_DIMMED), 0);
  EXPECT_EQ(Attr(p.ui.link, ids::kLkCmdRetryLamp, ATTR_DIMMED), 1);  // command: not retried

  Switch(ids::kLkTlmSwitch, 1);
  ASSERT_GE(p.link.tHandle, 0);
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmRetryLamp), 1);
  EXPECT_EQ(Attr(p.ui.link, ids::kLkTlmRetryLamp, ATTR_ON_COLOR), 0x00C000);
  // The set-up script runs from the timer and writes its line to the MOC.
  Ticks(3);
  ASSERT_TRUE(Pump([&] { return Count(moc.received(), "STREAM REALTIME\n") == 1; }))
      << moc.received();

  // Two records and the start of a third, then the server goes away mid-record.
  moc.send(Records(2, 0) + Records(1, 2).substr(0, 100));
  ASSERT_TRUE(Pump([&] { return p.link.records == 2; }));
  moc.goAway();
  ASSERT_TRUE(Pump([&] { return p.link.tHandle < 0; }));
  EXPECT_EQ(CountOut("TELEMETRY LINK LOST: " + where), 1);
  EXPECT_EQ(CountOut("; RETRYING EVERY 2 S"), 1);
  EXPECT_EQ(Popups("Server has closed TLM Port!"), 0);
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmLamp), 0);
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmSwitch), 1);  // still wanted
  EXPECT_EQ(Attr(p.ui.link, ids::kLkTlmRetryLamp, ATTR_ON_COLOR), 0xFFB000);

  // Nobody listens: an attempt every 2 s, refused; the new cause is logged once.
  Ticks(1);
  EXPECT_EQ(CountOut("TELEMETRY PORT CONNECTION FAILED"), 0);  // not due yet
  Ticks(1);
  EXPECT_EQ(CountOut("TELEMETRY PORT CONNECTION FAILED: " + where +
                     ":  -4  FAILEDTOCONNECT; RETRYING EVERY 2 S"),
            1);
  Ticks(2);
  EXPECT_EQ(CountOut("TELEMETRY PORT CONNECTION FAILED"), 1);
  EXPECT_EQ(moc.connections(), 1);
  EXPECT_TRUE(popups.transcript().empty());

  ASSERT_TRUE(moc.comeBack());
  Ticks(1);
  EXPECT_EQ(p.link.tHandle, -1);  // the next attempt is a second away
  Ticks(1);
  ASSERT_GE(p.link.tHandle, 0);
  ASSERT_TRUE(Pump([&] { return moc.connections() == 2; }));
  EXPECT_EQ(CountOut("TELEMETRY LINK RECOVERED: " + where + " (DOWN 6 S, 2 ATTEMPTS FAILED)"), 1)
      << CountOut("RECOVERED");
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmLamp), 1);
  EXPECT_EQ(Attr(p.ui.link, ids::kLkTlmRetryLamp, ATTR_ON_COLOR), 0x00C000);
  // The new connection got what a first one gets: the MOC set-up again...
  Ticks(3);
  ASSERT_TRUE(Pump([&] { return Count(moc.received(), "STREAM REALTIME\n") == 2; }))
      << moc.received();
  // ...and a fresh record assembly: the 100 bytes held from the old stream do not shift it.
  moc.send(Records(3, 10));
  ASSERT_TRUE(Pump([&] { return p.link.records == 5; }));
  EXPECT_EQ(p.link.counters.range200[0], 5u);
  EXPECT_EQ(p.link.counters.chksum[kChksumTotal], 0u);

  // Both lines reach the archive too.
  std::string log = LogArchive();
  EXPECT_EQ(Count(log, "TELEMETRY LINK LOST: " + where), 1);
  EXPECT_EQ(Count(log, "TELEMETRY LINK RECOVERED: " + where), 1);

  // Switched off by the operator: not retried, whatever the server does.
  Switch(ids::kLkTlmSwitch, 0);
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmRetryLamp), 0);
  moc.goAway();
  ASSERT_TRUE(moc.comeBack());
  Ticks(5);
  EXPECT_EQ(p.link.tHandle, -1);
  EXPECT_EQ(moc.connections(), 2);
}

TEST_F(ReconnectTest, RefusedCommandLinkRetriedLostAgainAndBackForTheNextCommand) {
  CmdPeer moc;
  moc.goAway();  // the command server is not up yet
  RefusingPort noTelemetry;
  Configure(noTelemetry.port(), moc.port(), "command = on\ninterval = 1\ntelemetry = off\n");
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  const std::string where = "127.0.0.1:" + std::to_string(moc.port());

  Switch(ids::kLkCmdSwitch, 1);
  EXPECT_EQ(p.cmdlink.gHandle, -1);
  EXPECT_EQ(Popups("TCP Client"), 0);
  EXPECT_EQ(CountOut("COMMAND PORT CONNECTION FAILED: " + where +
                     ":  -4  FAILEDTOCONNECT; RETRYING EVERY 1 S"),
            1);
  EXPECT_EQ(Val(p.ui.link, ids::kLkCmdSwitch), 1);
  EXPECT_EQ(Val(p.ui.link, ids::kLkCmdRetryLamp), 1);

  ASSERT_TRUE(moc.comeBack());
  Ticks(1);
  ASSERT_GE(p.cmdlink.gHandle, 0);
  EXPECT_EQ(CountOut("COMMAND LINK RECOVERED: " + where + " (DOWN 1 S, 0 ATTEMPTS FAILED)"), 1);
  EXPECT_EQ(Val(p.ui.link, ids::kLkCmdLamp), 1);

  // The server drops the connection: logged with the reason, no pop-up, retried at once.
  ASSERT_TRUE(Pump([&] { return moc.connected(); }));
  moc.goAway();
  ASSERT_TRUE(Pump([&] { return p.cmdlink.gHandle < 0; }));
  EXPECT_EQ(CountOut("COMMAND LINK LOST: " + where), 1);
  EXPECT_EQ(Popups("Server has closed CMD Port!"), 0);
  ASSERT_TRUE(moc.comeBack());
  Ticks(1);
  ASSERT_GE(p.cmdlink.gHandle, 0);
  EXPECT_EQ(CountOut("COMMAND LINK RECOVERED: " + where), 2);

  // The next command goes out on the new connection.
  EXPECT_EQ(RunCommandLine("/IDPUNoop 5"), 0);
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 133u + 9u; })) << moc.received().size();
  EXPECT_EQ(moc.received().substr(0, 4), "SCM-");
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_TRUE(popups.transcript().empty());

  // The telemetry link is not retried: its refusal is asked about as before.
  Switch(ids::kLkTlmSwitch, 1);
  EXPECT_EQ(Popups("TCP Client"), 1);
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmSwitch), 0);
}

TEST_F(ReconnectTest, WithoutTheSettingALossIsAskedAboutAndNotRetried) {
  CmdPeer moc;
  // A setting the station does not understand is reported by file and line and stays off.
  Configure(moc.port(), 5002, "telemetry = sometimes\n");
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();

  Switch(ids::kLkTlmSwitch, 1);
  ASSERT_GE(p.link.tHandle, 0);
  EXPECT_EQ(CountOut("CFG/RECONNECT.CFG:1: \"SOMETIMES\" IS NOT ON OR OFF"), 1);
  EXPECT_EQ(CountOut("AUTOMATIC RECONNECT"), 0);
  EXPECT_EQ(Attr(p.ui.link, ids::kLkTlmRetryLamp, ATTR_DIMMED), 1);
  Ticks(3);  // the set-up script ("set moc ..." would connect again if it ran later)
  ASSERT_TRUE(Pump([&] { return moc.received() == "STREAM REALTIME\n"; })) << moc.received();

  moc.goAway();
  ASSERT_TRUE(Pump([&] { return p.link.tHandle < 0; }));
  EXPECT_EQ(Popups("Server has closed TLM Port!"), 1);
  EXPECT_EQ(CountOut("RETRYING"), 0);
  EXPECT_EQ(Val(p.ui.link, ids::kLkTlmSwitch), 0);
  ASSERT_TRUE(moc.comeBack());
  Ticks(15);
  EXPECT_EQ(p.link.tHandle, -1);
  EXPECT_EQ(moc.connections(), 1);
}
