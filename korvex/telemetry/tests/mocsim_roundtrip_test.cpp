// Processor housekeeping values sent by the simulator in engineering units come back from the
// station's decoding (read by name, as scripts read them) within one count: both spacecraft and
// both byte orders, over a real loopback connection.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <sstream>

#include "core/tests/station_fixture.h"
#include "links/tests/child_process.h"
#include "telemetry/telemetry.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

struct Want {
  std::string name;
  double value = 0;
  double tolerance = 0;  // one count, plus the two decimals the station keeps
};

// Every processor item with a linear conversion or a sensor law, at a value inside its range.
std::vector<Want> Wanted(const TelemetryDb& db) {
  std::vector<Want> w;
  for (int i = 0; i < db.tlmdb.count(); ++i) {
    const ItemLine& it = db.tlmdb.Item(i);
    const std::string& conv = it.db[13];
    int bits = std::atoi(it.db[4].c_str());
    // The packet time, and the detector bias set point that the station looks up but does not
    // decode.
    if (it.db[0] == "UTCf" || it.db[0] == "PSSD_HV_BIAS") continue;
    if (conv == "LIN") {
      double raw = bits == 8 ? 100 : 1000;
      double gain = std::max(std::fabs(it.gainA), std::fabs(it.gainB));
      w.push_back({it.db[0], raw * it.gainA + it.offA, gain + 0.006});
    } else if (conv == "YSI" || conv == "RTD" || conv == "MAG") {
      w.push_back({it.db[0], 21.5, 0.3});
    } else if (conv == "UCUR" || conv == "DCUR") {
      w.push_back({it.db[0], conv == "UCUR" ? 55.0 : 65.0, 0.1});
    }
  }
  // The sample time word (hours 4 bits, minutes 6, seconds 6): 12:05:27 in the packet's order.
  w.push_back({"ISampleTime", 0xC15B, 0.5});
  return w;
}

std::string Fmt(double v) {
  std::ostringstream s;
  s.precision(10);
  s << v;
  return s.str();
}

}  // namespace

TEST_F(StationTest, SimulatorValuesComeBackThroughTheDecoding) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  for (const char* sc : {"A", "B"}) {
    for (const char* order : {"tx", "swapped"}) {
      SCOPED_TRACE(std::string(sc) + " " + order);
      bool swapped = std::string(order) == "swapped";
      TelemetryDb probe;
      ASSERT_TRUE(LoadTlm("t", Slurp(dir / "database/VANTIS_tlm.txt"), probe).ok);
      std::vector<Want> want = Wanted(probe);
      ASSERT_GT(want.size(), 90u);

      std::vector<std::string> argv = {MOCSIM_BINARY, "--station", dir.string(), "--cmd-port",
                                       "off", "--tlm-port", "0", "--sc", sc, "--order", order,
                                       "--rate", "0", "--count", "400", "--apids", "200,00B"};
      for (const Want& x : want) {
        argv.push_back("--value");
        argv.push_back(x.name + "=" + Fmt(x.value));
      }
      Child sim;
      ASSERT_TRUE(sim.start(argv, dir));
      int port = 0;
      ASSERT_TRUE(Child::WaitFor([&] {
        std::string t = sim.text();
        auto p = t.find("TLM PORT ");
        if (p == std::string::npos || t.find('\n', p) == std::string::npos) return false;
        port = std::stoi(t.substr(p + 9));
        return true;
      }, 10)) << sim.errors();

      WriteFile(dir / "cfg/korvex.cfg", Join(CfgLines(static_cast<unsigned>(port), 0, swapped ? 0 : 1)));
      ASSERT_EQ(Start(), kStarted);
      Program& p = P();
      RunCommandLine("set tsrv 127.0.0.1 " + std::to_string(port));
      RunCommandLine("set moc");
      ASSERT_GE(p.link.tHandle, 0);
      QElapsedTimer t;
      t.start();
      while (p.link.counters.perApid[0x200] < 50 && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      ASSERT_GE(p.link.counters.perApid[0x200], 50u);
      EXPECT_EQ(p.core.aorb, std::string(sc) == "A" ? 1 : 2);
      int checked = 0;
      for (const Want& x : want) {
        double got = GetValue(x.name);
        EXPECT_NEAR(got, x.value, x.tolerance) << x.name;
        ++checked;
      }
      EXPECT_EQ(checked, static_cast<int>(want.size()));
      RunCommandLine("set moc off");
      sim.signal(SIGTERM);
      int st = 0;
      sim.wait(10, &st);
      TearDown();
      SetUp();
    }
  }
}
