// korvex --headless with cfg/reconnect.cfg against the simulator, which is stopped and started
// again on the same ports: the station's own one-second timer brings both links back, logs the
// loss and the recovery, asks nothing, and the telemetry is recorded again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "links/tests/child_process.h"

namespace fs = std::filesystem;
using korvex::testing::Child;
using korvex::testing::Count;
using korvex::testing::FreeLoopbackPort;
using korvex::testing::Slurp;

namespace {

bool StartSim(Child& sim, const fs::path& dir, int tlm, int cmd) {
  if (!sim.start({MOCSIM_BINARY, "--station", dir.string(), "--tlm-port", std::to_string(tlm),
                  "--cmd-port", std::to_string(cmd), "--rate", "50", "--apids", "200"},
                 dir))
    return false;
  return Child::WaitFor([&] { return Count(sim.text(), "READY") == 1; }, 20);
}

std::uintmax_t TlmBytes(const fs::path& dir) {
  std::uintmax_t n = 0;
  for (auto& e : fs::directory_iterator(dir / "log"))
    if (e.path().extension() == ".tlm") n += fs::file_size(e.path());
  return n;
}

}  // namespace

TEST(HeadlessReconnect, BothLinksComeBackAfterTheSimulatorRestarts) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  fs::path dir = fs::temp_directory_path() / ("korvex_reconnect_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(STATION_DIR, dir, fs::copy_options::recursive);
  for (auto& e : fs::directory_iterator(dir / "log")) fs::remove_all(e.path());
  const int tlm = FreeLoopbackPort(), cmd = FreeLoopbackPort();

  std::vector<std::string> cfg;
  {
    std::ifstream in(dir / "cfg/korvex.cfg");
    for (std::string l; std::getline(in, l);) cfg.push_back(l);
  }
  cfg.at(1) = "MOC telemetry port = " + std::to_string(tlm);
  cfg.at(2) = "MOC command port = " + std::to_string(cmd);
  {
    std::ofstream out(dir / "cfg/korvex.cfg");
    for (auto& l : cfg) out << l << "\n";
  }
  std::ofstream(dir / "cfg/reconnect.cfg") << "telemetry = on\ncommand = on\ninterval = 1\n";

  auto sim = std::make_unique<Child>();
  ASSERT_TRUE(StartSim(*sim, dir, tlm, cmd)) << sim->text() << sim->errors();
  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless"}, dir));
  kx.say("set moc");
  kx.say("REC ON");
  ASSERT_TRUE(Child::WaitFor([&] { return Count(sim->text(), "TLM CONNECT") == 1; }, 20))
      << kx.text() << kx.errors();
  kx.say("/systemnop");
  ASSERT_TRUE(Child::WaitFor([&] { return Count(sim->text(), "accepted") == 1; }, 20))
      << kx.text() << sim->text();
  ASSERT_TRUE(Child::WaitFor([&] { return TlmBytes(dir) > 0; }, 20)) << kx.text();

  // The operations centre goes down and comes back on the same ports two seconds later.
  sim->signal(SIGTERM);
  int status = 0;
  ASSERT_TRUE(sim->wait(20, &status));
  ASSERT_TRUE(Child::WaitFor([&] {
    return Count(kx.text(), "TELEMETRY LINK LOST: 127.0.0.1:" + std::to_string(tlm)) == 1 &&
           Count(kx.text(), "COMMAND LINK LOST: 127.0.0.1:" + std::to_string(cmd)) == 1;
  }, 20)) << kx.text();
  EXPECT_EQ(Count(kx.text(), "; RETRYING EVERY 1 S"), 2) << kx.text();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  sim = std::make_unique<Child>();
  ASSERT_TRUE(StartSim(*sim, dir, tlm, cmd)) << sim->text() << sim->errors();
  ASSERT_TRUE(Child::WaitFor([&] {
    return Count(kx.text(), "TELEMETRY LINK RECOVERED: 127.0.0.1:" + std::to_string(tlm)) == 1 &&
           Count(kx.text(), "COMMAND LINK RECOVERED: 127.0.0.1:" + std::to_string(cmd)) == 1;
  }, 20)) << kx.text();

  // Records are recorded again, and commands go out again.
  const std::uintmax_t before = TlmBytes(dir);
  EXPECT_TRUE(Child::WaitFor([&] { return TlmBytes(dir) >= before + 10 * 298; }, 20));
  kx.say("/systemnop");
  EXPECT_TRUE(Child::WaitFor([&] { return Count(sim->text(), "accepted") == 1; }, 20))
      << kx.text() << sim->text();
  // Nothing was asked: no pop-up at all.
  EXPECT_EQ(Count(kx.errors(), "korvex: message"), 0) << kx.errors();
  EXPECT_EQ(Count(kx.errors(), "korvex: question"), 0) << kx.errors();
  // Loss and recovery are in the event-log archive too.
  std::string log;
  for (auto& e : fs::directory_iterator(dir / "log"))
    if (e.path().extension() == ".log") log += Slurp(e.path());
  EXPECT_EQ(Count(log, "TELEMETRY LINK RECOVERED"), 1);
  EXPECT_EQ(Count(log, "COMMAND LINK LOST"), 1);

  kx.signal(SIGTERM);
  EXPECT_TRUE(kx.wait(20, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  sim->signal(SIGTERM);
  sim->wait(20, &status);
  fs::remove_all(dir);
}
