// korvex --headless against the simulator: a housekeeping value the simulator drives beyond its
// red high limit raises one alarm line on standard output and in the event-log archive.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "links/tests/child_process.h"

namespace fs = std::filesystem;
using korvex::testing::Child;
using korvex::testing::Count;
using korvex::testing::Slurp;

TEST(HeadlessTelemetry, ValueBeyondItsLimitRaisesOneAlarm) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  fs::path dir = fs::temp_directory_path() / ("korvex_alarm_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "log");
  fs::create_directories(dir / "cfg");
  fs::copy(fs::path(STATION_DIR) / "database", dir / "database", fs::copy_options::recursive);

  Child sim;
  ASSERT_TRUE(sim.start({MOCSIM_BINARY, "--station", dir.string(), "--cmd-port", "off",
                         "--tlm-port", "0", "--rate", "200", "--apids", "200",
                         "--fault", "limit@20=IVANTIS_SSR"},
                        dir));
  int port = 0;
  ASSERT_TRUE(Child::WaitFor([&] {
    std::string t = sim.text();
    auto p = t.find("TLM PORT ");
    if (p == std::string::npos || t.find('\n', p) == std::string::npos) return false;
    port = std::stoi(t.substr(p + 9));
    return true;
  }, 10));

  std::ofstream(dir / "cfg/korvex.cfg")
      << "CmdServer = 127.0.0.1\nTlmPort = " << port
      << "\nCmdPort = 1\nCmdSwap = 0\nTimeOffset = -378691200\nTlmSwap = 1\nFwdPort = 0\n"
         "CmdFile = CMD1.cfg\nArrWait = 10\nScmPort = 0\nSepSwap = 0\nVantis = 1\n"
         "TlmServer = 127.0.0.1\nSepWait = 5\nWlim = 0\nAlim = 2\nEmServer = x\nEmSender = x\n"
         "EmRecvr = x\nEE0 = 0\nEE1 = 0\nEE2 = 0\nEE3 = 0\nRAM = 0\nOfs = 0\nRecon = 0\nSpare = 0\n";
  std::ofstream(dir / "cfg/CMD1.cfg") << "rem one\n";

  Child station;
  ASSERT_TRUE(station.start({KORVEX_BINARY, "--headless"}, dir));
  station.say("set tsrv 127.0.0.1 " + std::to_string(port));
  station.say("set moc");
  ASSERT_TRUE(Child::WaitFor([&] { return Count(station.text(), "IVANTIS_SSR = ") > 0; }, 30))
      << station.text() << station.errors();
  // Let more out-of-limit packets come: the alarm is not repeated.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  station.say("quit");
  int status = -1;
  ASSERT_TRUE(station.wait(20, &status));
  station.drain();
  sim.signal(SIGTERM);
  int st = 0;
  sim.wait(10, &st);

  std::string out = station.text();
  EXPECT_EQ(Count(out, "IVANTIS_SSR = "), 1) << out;
  std::size_t at = out.find("IVANTIS_SSR = ");
  std::string line = out.substr(at, out.find('\n', at) - at);
  EXPECT_NE(line.find(" RH = 95.00"), std::string::npos) << line;
  EXPECT_EQ(Count(out, "NOT IN DATABASE"), 0);
  std::string logs;
  for (auto& e : fs::directory_iterator(dir / "log"))
    if (e.path().extension() == ".log") logs += Slurp(e.path());
  EXPECT_EQ(Count(logs, "IVANTIS_SSR = "), 1);
  fs::remove_all(dir);
}
