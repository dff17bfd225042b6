// One command all the way round against the simulator over loopback: the SCM goes out on the
// command link, its ARR is accepted at the next tick, the simulated instrument counts the command
// in the housekeeping it sends on the telemetry link, and command verification empties the list.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/tests/station_fixture.h"
#include "links/tests/child_process.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

int PortFrom(Child& sim, const std::string& tag) {
  int port = 0;
  Child::WaitFor([&] {
    std::string t = sim.text();
    auto p = t.find(tag);
    if (p == std::string::npos || t.find('\n', p) == std::string::npos) return false;
    port = std::stoi(t.substr(p + tag.size()));
    return true;
  }, 10);
  return port;
}

int Items(int panel, int ctrl) {
  int n = 0;
  GetNumListItems(panel, ctrl, &n);
  return n;
}

int Val(int panel, int ctrl) {
  int v = 0;
  GetCtrlVal(panel, ctrl, &v);
  return v;
}

}  // namespace

TEST_F(StationTest, CommandRoundTripThroughTheSimulator) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  // The sample command database, which the simulator reads too.
  fs::copy_file(fs::path(STATION_DIR) / "database/VANTIS_ctm.prn", dir / "database/VANTIS_ctm.prn",
                fs::copy_options::overwrite_existing);
  Child sim;
  ASSERT_TRUE(sim.start({MOCSIM_BINARY, "--station", dir.string(), "--tlm-port", "0",
                         "--cmd-port", "0", "--rate", "20", "--apids", "200", "--arr", "auto"},
                        dir));
  int tlmPort = PortFrom(sim, "TLM PORT ");
  int cmdPort = PortFrom(sim, "CMD PORT ");
  ASSERT_GT(tlmPort, 0) << sim.text() << sim.errors();
  ASSERT_GT(cmdPort, 0) << sim.text();
  auto lines = CfgLines(static_cast<unsigned>(tlmPort));
  lines[2] = "CmdPort = " + std::to_string(cmdPort);
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  const int cv = p.ui.cmdVerify;

  RunCommandLine("set moc");
  ASSERT_GE(p.link.tHandle, 0);
  // The first housekeeping packet gives the counter the next ones are compared with.
  ASSERT_TRUE(Pump([&] { return p.db.cmdCountSeen; })) << sim.text();
  const int before = p.db.hk.cmdcount;

  RunCommandLine("/systemnop");
  ASSERT_GE(p.cmdlink.gHandle, 0);
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_EQ(Items(cv, ids::kCvList), 1);
  EXPECT_EQ(p.cmd.cmdcnt, 1);
  EXPECT_EQ(Val(cv, ids::kCvSent), 1);

  // The ARR comes back with code 0 and is taken at the next tick.
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 2; })) << sim.text();
  EXPECT_EQ(DoTick(), 0);
  EXPECT_EQ(p.cmdlink.flagArr, 0);
  EXPECT_EQ(p.cmd.scm.seqinc, (decltype(p.cmd.scm.seqinc){}));

  // The simulated instrument counts it; verification finds it and empties the list.
  ASSERT_TRUE(Pump([&] { return p.db.hk.cmdcount == before + 1; })) << sim.text();
  ASSERT_TRUE(Pump([&] { return Items(cv, ids::kCvList) == 0; })) << [&] {
    std::string label;
    double v = 0;
    GetLabelFromIndex(cv, ids::kCvList, 0, &label);
    GetValueFromIndex(cv, ids::kCvList, 0, &v);
    std::string o;
    for (auto& l : out) o += l + "\n";
    return "entry " + label + " = " + std::to_string(v) + "; lastId " + std::to_string(p.db.hk.cmdlid) +
           " lastSeq " + std::to_string(p.db.hk.cmdLastSeq) + "\n" + o + sim.text();
  }();
  EXPECT_EQ(p.cmd.cmdcnt, 0);
  EXPECT_EQ(Val(cv, ids::kCvSent), 0);
  EXPECT_EQ(Val(cv, ids::kCvVerified), 1);
  EXPECT_EQ(Val(cv, ids::kCvLast), 1);
  EXPECT_EQ(CountOut("WARNING:"), 0);  // neither dropped nor unexpected
  EXPECT_EQ(sim.text().find("REJECTED"), std::string::npos) << sim.text();

  // A second one goes round the same way; the counts follow.
  RunCommandLine("/systemnop");
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 2; }));
  DoTick();
  ASSERT_TRUE(Pump([&] { return Items(cv, ids::kCvList) == 0 && p.db.hk.cmdcount == before + 2; }));
  EXPECT_EQ(Val(cv, ids::kCvVerified), 2);
  EXPECT_EQ(p.cmd.cmdcnt, 0);
  EXPECT_EQ(CountOut("WARNING:"), 0);

  RunCommandLine("set moc off");
  sim.signal(SIGTERM);
  int st = 0;
  sim.wait(10, &st);
}
