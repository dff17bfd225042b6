// korvex --headless commanding the simulator's command server: "/systemnop" out as an SCM, the
// ARR shown and archived, then an error ARR, the resend question answered from --answers and the
// bad command undone.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "links/tests/child_process.h"

namespace fs = std::filesystem;
using korvex::testing::Child;
using korvex::testing::Count;
using korvex::testing::Slurp;

namespace {

int PortFrom(Child& sim, const std::string& tag) {
  for (int i = 0; i < 400; ++i) {
    std::string t = sim.text();
    auto p = t.find(tag);
    if (p != std::string::npos && t.find('\n', p) != std::string::npos) return std::stoi(t.substr(p + tag.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

std::string ArrArchive(const fs::path& dir) {
  for (auto& e : fs::directory_iterator(dir / "log"))
    if (e.path().extension() == ".arr") return Slurp(e.path());
  return {};
}

}  // namespace

TEST(HeadlessCommanding, ScmToSimulatorArrArchivedErrorAskedAndUndone) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  fs::path dir = fs::temp_directory_path() / ("korvex_cmd_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(STATION_DIR, dir, fs::copy_options::recursive);

  Child sim;
  ASSERT_TRUE(sim.start({MOCSIM_BINARY, "--station", dir.string(), "--tlm-port", "off", "--cmd-port",
                         "0", "--arr-plan", "ok,13"},
                        dir));
  int port = PortFrom(sim, "CMD PORT ");
  ASSERT_GT(port, 0) << sim.text();

  std::vector<std::string> cfg;
  {
    std::ifstream in(dir / "cfg/korvex.cfg");
    for (std::string l; std::getline(in, l);) cfg.push_back(l);
  }
  cfg.at(2) = "MOC command port = " + std::to_string(port);
  cfg.at(8) = "ARR wait = 5";
  {
    std::ofstream out(dir / "cfg/korvex.cfg");
    for (auto& l : cfg) out << l << "\n";
  }
  std::ofstream(dir / "answers.txt") << "no\n";

  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless", "--answers", "answers.txt"}, dir));
  kx.say("/systemnop");
  ASSERT_TRUE(Child::WaitFor([&] { return Count(ArrArchive(dir), "\r") == 1; }, 20))
      << kx.text() << kx.errors() << sim.text();
  std::string arr = ArrArchive(dir);
  // Bytes 0-61 as the MOC sent them (its own time at 14-26), then 14 hex digits and a return.
  ASSERT_EQ(arr.size(), 62u + 14u + 1u) << arr;
  EXPECT_EQ(arr.substr(0, 14), "ARR-0000550001");
  EXPECT_EQ(arr.substr(27, 3), "000");
  EXPECT_EQ(arr.substr(30, 32), std::string(23, ' ') + "systemnop");
  EXPECT_EQ(arr.substr(62), "1200C000000100\r");
  EXPECT_EQ(Count(sim.text(), "SCM HEX "), 1) << sim.text();
  EXPECT_EQ(Count(sim.text(), "accepted"), 1) << sim.text();
  EXPECT_EQ(Count(kx.text(), "0C1200C00000012D00\n"), 1) << kx.text();

  // The success is taken at the next tick; the second SCM gets code 13.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kx.say("/systemnop");
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), "BAD ARR FOR LAST COMMAND!") == 1; }, 20))
      << kx.text() << kx.errors();
  EXPECT_EQ(Count(kx.text(), "ARR VERIFY ERROR =  13  END OF MOC CONTROL HEADER MISSING\n"), 1);
  EXPECT_EQ(Count(kx.errors(),
                  "question \"ARR Verify Error =  13  End of MOC control header missing\" / "
                  "\"Attempt to resend?\""),
            1)
      << kx.errors();
  arr = ArrArchive(dir);
  EXPECT_EQ(Count(arr, "\r"), 2);
  EXPECT_EQ(Count(arr, "^00C001000100\r"), 1) << arr;

  // After the undo the next command reuses the sequence count 1.
  kx.say("/systemnop");
  ASSERT_TRUE(Child::WaitFor([&] { return Count(sim.text(), "SCM HEX ") == 3; }, 20)) << sim.text();
  EXPECT_TRUE(Child::WaitFor([&] { return Count(kx.text(), "0C1200C00100012C00\n") == 2; }, 10))
      << kx.text();
  EXPECT_EQ(Count(kx.text(), "SCM-000127000301---VANTISEA"), 1) << kx.text();

  // (a "quit" typed now would be refused while the last ARR is awaited)
  kx.signal(SIGTERM);
  int status = -1;
  EXPECT_TRUE(kx.wait(20, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  sim.signal(SIGTERM);
  sim.wait(20, &status);
  fs::remove_all(dir);
}
