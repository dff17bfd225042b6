// The drev program run as a user runs it: the built binary as a child process, on streams the
// simulator wrote to a file or serves on a loopback port, its product lines checked against an
// independent decoding of the same bytes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "test_util.h"

namespace fs = std::filesystem;

namespace {

struct Child {
  pid_t pid = -1;
  int in = -1, out = -1, err = -1;
  void say(const std::string& line) {
    const std::string l = line + "\n";
    EXPECT_EQ(write(in, l.data(), l.size()), static_cast<ssize_t>(l.size()));
  }
  // Reads what is there on both pipes.
  void poll() {
    char buf[65536];
    ssize_t n;
    while ((n = read(out, buf, sizeof buf)) > 0) outText.append(buf, static_cast<std::size_t>(n));
    while ((n = read(err, buf, sizeof buf)) > 0) errText.append(buf, static_cast<std::size_t>(n));
  }
  std::string outText, errText;
  // Reads stdout until it holds `what` or the time runs out.
  bool waitFor(const std::string& what, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (outText.find(what) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) return false;
      char buf[4096];
      const ssize_t n = read(out, buf, sizeof buf);
      if (n > 0) outText.append(buf, static_cast<std::size_t>(n));
      else if (n == 0) return outText.find(what) != std::string::npos;
      else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  // Collects the rest of the output and the exit status (killed after `ms`).
  int finish(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    for (;;) {
      char buf[65536];
      ssize_t n;
      while ((n = read(out, buf, sizeof buf)) > 0) outText.append(buf, static_cast<std::size_t>(n));
      while ((n = read(err, buf, sizeof buf)) > 0) errText.append(buf, static_cast<std::size_t>(n));
      const pid_t w = waitpid(pid, &status, WNOHANG);
      if (w == pid) break;
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -9;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    char buf[65536];
    ssize_t n;
    while ((n = read(out, buf, sizeof buf)) > 0) outText.append(buf, static_cast<std::size_t>(n));
    while ((n = read(err, buf, sizeof buf)) > 0) errText.append(buf, static_cast<std::size_t>(n));
    close(out);
    close(err);
    if (in >= 0) close(in);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
};

Child Spawn(const std::vector<std::string>& args, const std::string& cwd) {
  int o[2], e[2], i[2];
  EXPECT_EQ(pipe(o), 0);
  EXPECT_EQ(pipe(e), 0);
  EXPECT_EQ(pipe(i), 0);
  Child c;
  c.pid = fork();
  if (c.pid == 0) {
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    dup2(i[0], 0);
    dup2(o[1], 1);
    dup2(e[1], 2);
    close(i[1]);
    close(o[0]);
    close(e[0]);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(i[0]);
  close(o[1]);
  close(e[1]);
  c.in = i[1];
  c.out = o[0];
  c.err = e[0];
  fcntl(c.out, F_SETFL, O_NONBLOCK);
  fcntl(c.err, F_SETFL, O_NONBLOCK);
  return c;
}

struct Result {
  int rc;
  std::string out, err;
};

Result Drev(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> a{DREV_BINARY};
  a.insert(a.end(), args.begin(), args.end());
  Child c = Spawn(a, cwd);
  Result r;
  r.rc = c.finish(30000);
  r.out = c.outText;
  r.err = c.errText;
  return r;
}

// A working directory like station/ with the port of the server on line 2.
std::string Station(const std::string& name, int port = 52003) {
  const fs::path dir = drev::test::TempPath(name);
  fs::create_directories(dir / "cfg");
  fs::create_directories(dir / "pbf");
  std::ifstream in(std::string(DREV_STATION_DIR) + "/cfg/drev.cfg");
  std::ofstream out(dir / "cfg" / "drev.cfg");
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) out << (n == 2 ? "Port = " + std::to_string(port) : line) << "\n";
  return dir.string();
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> v;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l))
    if (l.rfind(prefix, 0) == 0) v.push_back(l);
  return v;
}

long long Field(const std::string& line, const std::string& key) {
  const auto p = line.find(" " + key + "=");
  return p == std::string::npos ? -1 : std::atoll(line.c_str() + p + key.size() + 2);
}

// Independent reading of the simulator's stream: the distribution totals of APID 0x210 in
// transmission order (the analyzer writes its 16-bit words low byte first, so station byte k is
// transmission byte k ^ 1), one total per five numbered packets.
std::vector<long long> DistTotals(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> rec(298);
  std::vector<long long> totals;
  long long sum = 0;
  int packets = 0;
  auto expand = [](int v) { return v < 32 ? v : ((v & 15) + 16) << ((v >> 4) - 1); };
  while (f.read(rec.data(), 298)) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(rec.data()) + 26;
    if (p[0] != 0x0A || p[1] != 0x10) continue;
    const int number = p[12 ^ 1];
    if (number % 3 || number > 12) continue;
    for (int j = 0; j < 256; ++j) {
      const int idx = (number / 3) * 256 + j, o = idx % 80;
      const int v = expand(p[(15 + j) ^ 1]);
      sum += (o < 8 || o >= 72) ? 2 * (v / 2) : v;
    }
    if (++packets == 5) {
      totals.push_back(sum);
      sum = 0;
      packets = 0;
    }
  }
  return totals;
}

const std::vector<std::string> kPlan = {"--apids", "200,210,211,212,213,214", "--start-time", "1700000000",
                                        "--step", "0.25", "--fault", "badck@7"};

}  // namespace

TEST(DrevCli, ContractAndStartUpFailures) {
  const std::string dir = Station("contract");
  Result r = Drev({"--help"}, dir);
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("usage: drev"), std::string::npos);
  r = Drev({"--version"}, dir);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, std::string("drev ") + VANTIS_VERSION + "\n");
  r = Drev({"--headless", "--frobnicate"}, dir);
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.err, "drev: unknown option '--frobnicate'; try --help\n");
  EXPECT_EQ(r.out, "");
  r = Drev({"--headless", "a.pbf", "b.pbf"}, dir);
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.err, "drev: unknown verb 'b.pbf'; try --help\n");
  r = Drev({"--headless", "pbf/absent.pbf"}, dir);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "drev: cannot open pbf/absent.pbf: No such file or directory\n");
  // No configuration: a start-up failure naming the file, in both headless modes.
  const std::string empty = drev::test::TempPath("nocfg");
  fs::create_directories(empty);
  r = Drev({"--headless", "x.pbf"}, empty);
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find("cfg/drev.cfg: No such file or directory"), std::string::npos) << r.err;
  r = Drev({"--headless"}, empty);
  EXPECT_NE(r.rc, 0);
  EXPECT_NE(r.err.find("cfg/drev.cfg"), std::string::npos) << r.err;
  // Nothing listening on the configured port.
  r = Drev({"--headless"}, Station("refused", 1));
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find("127.0.0.1:1"), std::string::npos) << r.err;
}

TEST(DrevCli, HeadlessFileMatchesWhatTheSimulatorEncoded) {
  const std::string dir = Station("file");
  const std::string tlm = dir + "/sim.tlm";
  std::vector<std::string> sim{DREV_MOCSIM, "--station", DREV_STATION_DIR, "--tlm-port", "off", "--cmd-port", "off",
                               "--count", "600", "--write", tlm, "--exit-when-done"};
  sim.insert(sim.end(), kPlan.begin(), kPlan.end());
  Child m = Spawn(sim, dir);
  ASSERT_EQ(m.finish(60000), 0) << m.errText;
  // A partial record at the end is left out, and said so.
  {
    std::ofstream a(tlm, std::ios::binary | std::ios::app);
    a << std::string(100, '\0');
  }
  const std::vector<long long> expected = DistTotals(tlm);
  ASSERT_GE(expected.size(), 3u);

  const Result r = Drev({"--headless", "sim.tlm"}, dir);
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("100 bytes at the end"), std::string::npos) << r.err;
  const auto dist = Lines(r.out, "DIST ");
  ASSERT_EQ(dist.size(), expected.size());
  for (std::size_t i = 0; i < dist.size(); ++i) EXPECT_EQ(Field(dist[i], "total"), expected[i]) << dist[i];
  EXPECT_NE(dist[0].find("DIST 2023 NOV 14 22:13:20.25 apid=0x210"), std::string::npos) << dist[0];
  // 600 records over six APIDs: 100 of each; 0x211 is not shown while 0x210 is chosen.
  EXPECT_EQ(Lines(r.out, "MOM ").size(), 100u);
  EXPECT_EQ(Lines(r.out, "PITCH ").size(), 100u);
  EXPECT_EQ(Lines(r.out, "HKPG ").size(), 100u);
  EXPECT_EQ(Lines(r.out, "SUITE ").size(), 100u);
  EXPECT_EQ(Lines(r.out, "SC A").size(), 1u);
  // Record 7 (an analyzer packet) carries the bad checksum: counted once, still decoded.
  EXPECT_EQ(Lines(r.out, "CHECKSUM ").size(), 1u);
  const auto mom = Lines(r.out, "MOM ");
  EXPECT_NE(mom[0].find("status=0x0A"), std::string::npos) << mom[0];
  // The 12 V supply goes through idrev[30] (0.005 V a count in the sample configuration).
  const auto suite = Lines(r.out, "SUITE ");
  EXPECT_NE(suite[0].find("12V=11.8"), std::string::npos) << suite[0];
}

TEST(DrevCli, HeadlessLiveStreamFromTheSimulatorPort) {
  const std::string dir = drev::test::TempPath("live");
  fs::create_directories(dir);
  std::vector<std::string> sim{DREV_MOCSIM, "--station", DREV_STATION_DIR, "--tlm-port", "0", "--cmd-port", "off",
                               "--rate", "0", "--count", "600", "--exit-when-done"};
  sim.insert(sim.end(), kPlan.begin(), kPlan.end());
  Child m = Spawn(sim, dir);
  ASSERT_TRUE(m.waitFor("READY", 20000)) << m.outText;
  const auto p = m.outText.find("TLM PORT ");
  ASSERT_NE(p, std::string::npos);
  const int port = std::atoi(m.outText.c_str() + p + 9);
  const std::string station = Station("live_station", port);

  const Result r = Drev({"--headless"}, station);
  const int simRc = m.finish(20000);
  EXPECT_EQ(simRc, 0) << m.errText;
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("Server has closed connection!"), std::string::npos) << r.err;

  // The same plan written to a file is the same bytes: its totals are what the stream carried.
  const std::string tlm = dir + "/same.tlm";
  std::vector<std::string> file{DREV_MOCSIM, "--station", DREV_STATION_DIR, "--tlm-port", "off", "--cmd-port", "off",
                                "--count", "600", "--write", tlm, "--exit-when-done"};
  file.insert(file.end(), kPlan.begin(), kPlan.end());
  Child w = Spawn(file, dir);
  ASSERT_EQ(w.finish(60000), 0);
  const auto expected = DistTotals(tlm);
  const auto dist = Lines(r.out, "DIST ");
  ASSERT_EQ(dist.size(), expected.size());
  for (std::size_t i = 0; i < dist.size(); ++i) EXPECT_EQ(Field(dist[i], "total"), expected[i]);
  EXPECT_EQ(Lines(r.out, "MOM ").size(), 100u);
}

TEST(DrevCli, SigtermEndsTheLiveModeCleanly) {
  const std::string dir = drev::test::TempPath("sig");
  fs::create_directories(dir);
  Child m = Spawn({DREV_MOCSIM, "--station", DREV_STATION_DIR, "--tlm-port", "0", "--cmd-port", "off", "--rate",
                   "200", "--apids", "213", "--duration", "20"},
                  dir);
  ASSERT_TRUE(m.waitFor("READY", 20000));
  const int port = std::atoi(m.outText.c_str() + m.outText.find("TLM PORT ") + 9);
  Child d = Spawn({DREV_BINARY, "--headless"}, Station("sig_station", port));
  EXPECT_TRUE(d.waitFor("MOM ", 10000)) << d.outText;
  kill(d.pid, SIGTERM);
  EXPECT_EQ(d.finish(5000), 0) << d.errText;
  kill(m.pid, SIGTERM);
  m.finish(5000);
}

#ifdef DREV_KORVEX
namespace {
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  close(fd);
  return ntohs(a.sin_port);
}

}  // namespace

// The whole road: the simulator feeds the station, the station's local telemetry server feeds
// drev, and drev shows the distributions the simulator encoded.
TEST(DrevCli, ThroughTheStationsLocalServer) {
  const fs::path dir = drev::test::TempPath("korvex_station");
  fs::remove_all(dir);
  fs::create_directories(dir / "log");
  fs::create_directories(dir / "cfg");
  fs::create_directories(dir / "pbf");
  fs::copy(fs::path(DREV_STATION_DIR) / "database", dir / "database", fs::copy_options::recursive);
  const std::string station = Station("korvex_station_cfg");  // drev.cfg, port set below
  std::vector<std::string> sim{DREV_MOCSIM, "--station", DREV_STATION_DIR, "--tlm-port", "0", "--cmd-port", "off",
                               "--rate", "0", "--count", "600", "--exit-when-done"};
  sim.insert(sim.end(), kPlan.begin(), kPlan.end());
  Child m = Spawn(sim, dir.string());
  ASSERT_TRUE(m.waitFor("READY", 20000)) << m.outText;
  const int simPort = std::atoi(m.outText.c_str() + m.outText.find("TLM PORT ") + 9);

  // The station: its local server on a free port of its own, the simulator on the link.
  const int fwdPort = FreePort();
  std::ofstream(dir / "cfg" / "CMD1.cfg") << "rem one\n";
  std::ofstream(dir / "cfg" / "korvex.cfg")
      << "CmdServer = 127.0.0.1\nTlmPort = " << simPort
      << "\nCmdPort = 1\nCmdSwap = 0\nTimeOffset = -378691200\nTlmSwap = 1\nFwdPort = " << fwdPort
      << "\nCmdFile = CMD1.cfg\nArrWait = 10\nScmPort = 0\nSepSwap = 0\nVantis = 1\n"
         "TlmServer = 127.0.0.1\nSepWait = 5\nWlim = 0\nAlim = 10\nEmServer = x\nEmSender = x\n"
         "EmRecvr = x\nEE0 = 0\nEE1 = 0\nEE2 = 0\nEE3 = 0\nRAM = 0\nOfs = 0\nRecon = 0\nSpare = 0\n";
  {
    std::ifstream in(fs::path(station) / "cfg" / "drev.cfg");
    std::ofstream out(dir / "cfg" / "drev.cfg");
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) out << (n == 2 ? "Port = " + std::to_string(fwdPort) : line) << "\n";
  }
  Child kx = Spawn({DREV_KORVEX, "--headless", "--serve"}, dir.string());
  const auto until = [](Child& c, const std::string& what, bool err, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      c.poll();
      if ((err ? c.errText : c.outText).find(what) != std::string::npos) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  ASSERT_TRUE(until(kx, "Telemetry Port: ", true, 20000)) << kx.errText;
  Child d = Spawn({DREV_BINARY, "--headless"}, dir.string());
  ASSERT_TRUE(until(kx, " CONNECTED TO TELEMETRY SERVER", false, 20000)) << kx.outText << d.errText;
  kx.say("set tsrv 127.0.0.1 " + std::to_string(simPort));
  kx.say("set moc");
  // All 100 moment packets of the plan arrive (drev keeps listening after the stream ends).
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Lines(d.outText, "MOM ").size() < 100 && std::chrono::steady_clock::now() < end) {
    d.poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(d.pid, SIGTERM);
  EXPECT_EQ(d.finish(5000), 0) << d.errText;
  kx.say("quit");
  kx.finish(20000);
  m.finish(20000);

  const std::string tlm = (dir / "same.tlm").string();
  std::vector<std::string> file{DREV_MOCSIM, "--station", DREV_STATION_DIR, "--tlm-port", "off", "--cmd-port", "off",
                                "--count", "600", "--write", tlm, "--exit-when-done"};
  file.insert(file.end(), kPlan.begin(), kPlan.end());
  Child w = Spawn(file, dir.string());
  ASSERT_EQ(w.finish(60000), 0);
  const auto expected = DistTotals(tlm);
  const auto dist = Lines(d.outText, "DIST ");
  ASSERT_EQ(dist.size(), expected.size());
  for (std::size_t i = 0; i < dist.size(); ++i) EXPECT_EQ(Field(dist[i], "total"), expected[i]);
  EXPECT_EQ(Lines(d.outText, "MOM ").size(), 100u);
  EXPECT_EQ(Lines(d.outText, "CHECKSUM ").size(), 1u);
}
#endif
