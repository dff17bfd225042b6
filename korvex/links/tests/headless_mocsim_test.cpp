// korvex --headless against the operations-centre simulator over loopback: 10,000 records of
// both spacecraft with an illegal APID, a bad checksum and a record split over three writes.
// The recordings must hold exactly the records sent, split by spacecraft letter.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/ids.h"
#include "links/record.h"
#include "links/tests/child_process.h"

namespace fs = std::filesystem;
using korvex::testing::Child;
using korvex::testing::Count;
using korvex::testing::Slurp;

namespace {

constexpr long kRecords = 10000;
constexpr long kSwitchAt = 5000;
using korvex::kRecordSize;

std::vector<std::string> SimOptions(const fs::path& dir) {
  return {MOCSIM_BINARY, "--station", dir.string(), "--cmd-port", "off", "--sc", "A",
          "--switch-at", std::to_string(kSwitchAt), "--rate", "0",
          "--count", std::to_string(kRecords), "--start-time", "1700000000", "--step", "1",
          "--apids", "200,201,202,210,241,313,305,00B,0C0,27F",
          "--fault", "apid@1234=1A3,badck@2343,split@3456=100+150+48"};
}

// A korvmain.uir panel of a snapshot by resource number, and a control of a panel by id.
const nlohmann::json* PanelOf(const nlohmann::json& doc, int resource) {
  for (const auto& p : doc["panels"])
    if (p["resourceFile"] == "korvmain.uir" && p["resource"] == resource) return &p;
  return nullptr;
}
nlohmann::json ControlOf(const nlohmann::json& panel, int id) {
  for (const auto& c : panel["controls"])
    if (c["id"] == id) return c;
  return nlohmann::json::object();
}

fs::path Find(const fs::path& dir, char letter, const std::string& ext) {
  for (auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ext && e.path().filename().string()[0] == letter) return e.path();
  return {};
}

}  // namespace

TEST(HeadlessStation, RecordsAndLogsTheSimulatorStream) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  fs::path dir = fs::temp_directory_path() / ("korvex_headless_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "log");
  fs::create_directories(dir / "cfg");
  fs::copy(fs::path(STATION_DIR) / "database", dir / "database", fs::copy_options::recursive);

  // The exact stream, written to a file by the same simulator options.
  std::vector<std::string> write = SimOptions(dir);
  write.push_back("--write");
  write.push_back((dir / "sent.bin").string());
  {
    Child w;
    ASSERT_TRUE(w.start(write, dir));
    int st = 0;
    ASSERT_TRUE(w.wait(60, &st));
  }
  std::string sent = Slurp(dir / "sent.bin");
  ASSERT_EQ(sent.size(), kRecords * kRecordSize);

  Child sim;
  std::vector<std::string> serve = SimOptions(dir);
  serve.insert(serve.end(), {"--tlm-port", "0"});
  ASSERT_TRUE(sim.start(serve, dir));
  int port = 0;
  for (int i = 0; i < 200 && !port; ++i) {
    std::string t = sim.text();
    auto p = t.find("TLM PORT ");
    if (p != std::string::npos && t.find('\n', p) != std::string::npos)
      port = std::stoi(t.substr(p + 9));
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GT(port, 0) << sim.text();

  std::ofstream(dir / "cfg/korvex.cfg")
      << "CmdServer = 127.0.0.1\nTlmPort = " << port
      << "\nCmdPort = 1\nCmdSwap = 0\nTimeOffset = -378691200\nTlmSwap = 1\nFwdPort = 0\n"
         "CmdFile = CMD1.cfg\nArrWait = 10\nScmPort = 0\nSepSwap = 0\nVantis = 1\n"
         "TlmServer = 127.0.0.1\nSepWait = 5\nWlim = 0\nAlim = 10\nEmServer = x\nEmSender = x\n"
         "EmRecvr = x\nEE0 = 0\nEE1 = 0\nEE2 = 0\nEE3 = 0\nRAM = 0\nOfs = 0\nRecon = 0\nSpare = 0\n";
  std::ofstream(dir / "cfg/CMD1.cfg") << "rem one\n";

  Child station;
  ASSERT_TRUE(station.start({KORVEX_BINARY, "--headless", "--snapshot", (dir / "exit.json").string()}, dir));
  station.say("REC ON");
  station.say("set tsrv 127.0.0.1 " + std::to_string(port));
  station.say("set moc");

  auto recorded = [&] {
    std::uintmax_t n = 0;
    for (auto& e : fs::directory_iterator(dir / "log"))
      if (e.path().extension() == ".tlm") n += fs::file_size(e.path());
    return n;
  };
  for (int i = 0; i < 1800 && recorded() < sent.size(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(recorded(), sent.size()) << station.text();

  // The panels from outside while the link is up: a typed snapshot, and one at exit.
  station.say("snapshot live.json");
  ASSERT_TRUE(Child::WaitFor([&] { return fs::exists(dir / "live.json"); }, 20)) << station.text();
  for (const char* f : {"live.json"}) {
    auto doc = nlohmann::json::parse(Slurp(dir / f));
    const nlohmann::json* link = PanelOf(doc, korvex::ids::kLink);
    const nlohmann::json* summary = PanelOf(doc, korvex::ids::kSummary);
    ASSERT_TRUE(link && summary);
    EXPECT_EQ(ControlOf(*link, korvex::ids::kLkBytes)["value"], 298);
    EXPECT_EQ(ControlOf(*link, korvex::ids::kLkTlmLamp)["value"], 1);
    // Every record counted once on the summary panel (the illegal one as illegal and as APID 0).
    double total = 0;
    for (int id = korvex::kSummaryCtrlMin; id <= korvex::kSummaryCtrlMax; ++id)
      if (id != korvex::kSumIllegal && ControlOf(*summary, id).contains("value"))
        total += ControlOf(*summary, id)["value"].get<double>();
    EXPECT_EQ(total, kRecords);
    EXPECT_EQ(ControlOf(*summary, korvex::kSumIllegal)["value"], 1);
  }
  station.say("quit");
  int status = -1;
  ASSERT_TRUE(station.wait(20, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  {
    auto doc = nlohmann::json::parse(Slurp(dir / "exit.json"));
    const nlohmann::json* summary = PanelOf(doc, korvex::ids::kSummary);
    ASSERT_TRUE(summary);
    EXPECT_EQ(ControlOf(*summary, korvex::kSumIllegal)["value"], 1);
  }

  fs::path log = dir / "log";
  fs::path tlmA = Find(log, 'A', ".tlm"), tlmB = Find(log, 'B', ".tlm");
  ASSERT_FALSE(tlmA.empty());
  ASSERT_FALSE(tlmB.empty());
  EXPECT_TRUE(Slurp(tlmA) == sent.substr(0, kSwitchAt * kRecordSize));
  EXPECT_TRUE(Slurp(tlmB) == sent.substr(kSwitchAt * kRecordSize));

  // The event log was opened before any telemetry and renamed by the first record.
  fs::path logA = Find(log, 'A', ".log"), logB = Find(log, 'B', ".log");
  ASSERT_FALSE(logA.empty());
  ASSERT_FALSE(logB.empty());
  ASSERT_FALSE(Find(log, 'A', ".arr").empty());
  ASSERT_FALSE(Find(log, 'B', ".arr").empty());
  for (auto& e : fs::directory_iterator(log)) {
    char c = e.path().filename().string()[0];
    EXPECT_TRUE(c == 'A' || c == 'B') << e.path();
  }
  std::string a = Slurp(logA);
  EXPECT_EQ(Count(a, "EVENT LOG\n"), 1);
  EXPECT_EQ(Count(a, "REC ON\n"), 2);  // typed, then run by the station at the first record
  EXPECT_EQ(Count(a, "ERROR! APID 1A3 IS ILLEGAL!"), 1);
  EXPECT_EQ(Count(a, "BAD CHECKSUM APID 210"), 1);
  std::string b = Slurp(logB);
  EXPECT_EQ(Count(b, "ILLEGAL"), 0);
  EXPECT_EQ(Count(b, "QUIT\n"), 1);

  std::string out = station.text();
  EXPECT_EQ(Count(out, "ERROR! APID 1A3 IS ILLEGAL!"), 1);
  EXPECT_EQ(Count(out, "BAD CHECKSUM APID 210"), 1);
  EXPECT_EQ(Count(out, "EVENT LOG"), 0);  // written with the echo off

  fs::remove_all(dir);
}
