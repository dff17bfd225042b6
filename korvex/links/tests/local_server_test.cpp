// korvex --headless --serve between the simulator and local telemetry clients, all on loopback:
// a reading client gets every record unchanged and in order, a client that stops reading is
// dropped with a log line without holding the others up, the 21st client is turned away, and a
// peer the local server configuration does not allow is refused.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
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

constexpr std::size_t kRec = 298;

int Connect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads until `want` bytes, the peer closes, or `seconds` pass.
std::string ReadUpTo(int fd, std::size_t want, int seconds) {
  std::string got;
  char buf[65536];
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (got.size() < want && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// True when the peer closed the connection (a read gives end of file) within `seconds`.
bool Closed(int fd, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buf[65536];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0) return true;
    if (n < 0) return true;
  }
  return false;
}

struct Station {
  fs::path dir;
  int fwdPort = korvex::testing::FreeLoopbackPort();
  int scmPort = 0;
  void Make(const std::string& name) {
    dir = fs::temp_directory_path() / ("korvex_local_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "log");
    fs::create_directories(dir / "cfg");
    fs::copy(fs::path(STATION_DIR) / "database", dir / "database", fs::copy_options::recursive);
    std::ofstream(dir / "cfg/CMD1.cfg") << "rem one\n";
  }
  void Config(int tlmPort) {
    std::ofstream(dir / "cfg/korvex.cfg")
        << "CmdServer = 127.0.0.1\nTlmPort = " << tlmPort
        << "\nCmdPort = 1\nCmdSwap = 0\nTimeOffset = -378691200\nTlmSwap = 1\nFwdPort = " << fwdPort
        << "\nCmdFile = CMD1.cfg\nArrWait = 10\nScmPort = " << scmPort << "\nSepSwap = 0\nVantis = 1\n"
           "TlmServer = 127.0.0.1\nSepWait = 5\nWlim = 0\nAlim = 10\nEmServer = x\nEmSender = x\n"
           "EmRecvr = x\nEE0 = 0\nEE1 = 0\nEE2 = 0\nEE3 = 0\nRAM = 0\nOfs = 0\nRecon = 0\nSpare = 0\n";
  }
};

std::vector<std::string> Sim(const fs::path& dir, long count) {
  return {MOCSIM_BINARY, "--station", dir.string(), "--cmd-port", "off", "--sc", "A", "--rate", "0",
          "--count", std::to_string(count), "--start-time", "1700000000", "--step", "1"};
}

int SimPort(Child& sim) {
  for (int i = 0; i < 200; ++i) {
    std::string t = sim.text();
    auto p = t.find("TLM PORT ");
    if (p != std::string::npos && t.find('\n', p) != std::string::npos) return std::stoi(t.substr(p + 9));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

}  // namespace

TEST(LocalServer, ReadersGetEveryRecordAndAStalledClientIsDropped) {
  if (!fs::exists(MOCSIM_BINARY)) GTEST_SKIP() << "simulator not built";
  constexpr long kRecords = 40000;  // far more than a stalled client's queue and socket hold
  Station st;
  st.Make("serve");
  std::vector<std::string> write = Sim(st.dir, kRecords);
  write.insert(write.end(), {"--write", (st.dir / "sent.bin").string()});
  {
    Child w;
    ASSERT_TRUE(w.start(write, st.dir));
    int s = 0;
    ASSERT_TRUE(w.wait(60, &s));
  }
  std::string sent = Slurp(st.dir / "sent.bin");
  ASSERT_EQ(sent.size(), kRecords * kRec);

  Child sim;
  std::vector<std::string> serve = Sim(st.dir, kRecords);
  serve.insert(serve.end(), {"--tlm-port", "0"});
  ASSERT_TRUE(sim.start(serve, st.dir));
  int simPort = SimPort(sim);
  ASSERT_GT(simPort, 0) << sim.text();
  st.Config(simPort);

  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless", "--serve"}, st.dir));
  ASSERT_TRUE(Child::WaitFor([&] { return kx.errors().find("Telemetry Port: ") != std::string::npos; }, 20))
      << kx.errors();
  int reader = Connect(st.fwdPort);
  int stalled = Connect(st.fwdPort);
  ASSERT_GE(reader, 0);
  ASSERT_GE(stalled, 0);
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), " CONNECTED TO TELEMETRY SERVER") == 2; }, 20))
      << kx.text();

  kx.say("set tsrv 127.0.0.1 " + std::to_string(simPort));
  kx.say("set moc");
  std::string got = ReadUpTo(reader, sent.size(), 120);
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent) << "the served stream differs from the simulator's";
  ASSERT_TRUE(Child::WaitFor([&] { return kx.text().find("TCP WRITE ERROR! ") != std::string::npos; }, 30))
      << kx.text();
  EXPECT_EQ(Count(kx.text(), "TCP WRITE ERROR! "), 1);
  EXPECT_TRUE(Closed(stalled, 20));

  kx.say("quit");
  int status = -1;
  EXPECT_TRUE(kx.wait(20, &status));
  ::close(reader);
  ::close(stalled);
}

TEST(LocalServer, TheTwentyFirstClientAndADisallowedPeerAreTurnedAway) {
  Station st;
  st.Make("slots");
  // Telemetry flows meanwhile, so that "nothing" for the 21st client means something.
  Child sim;
  bool live = fs::exists(MOCSIM_BINARY);
  if (live) {
    std::vector<std::string> args = Sim(st.dir, 100000);
    *(std::find(args.begin(), args.end(), "--rate") + 1) = "50";
    args.insert(args.end(), {"--tlm-port", "0"});
    ASSERT_TRUE(sim.start(args, st.dir));
  }
  int simPort = live ? SimPort(sim) : 0;
  st.Config(simPort > 0 ? simPort : korvex::testing::FreeLoopbackPort());
  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless", "--serve"}, st.dir));
  ASSERT_TRUE(Child::WaitFor([&] { return kx.errors().find("Telemetry Port: ") != std::string::npos; }, 20))
      << kx.errors();
  std::vector<int> fds;
  for (int i = 0; i < 20; ++i) fds.push_back(Connect(st.fwdPort));
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), " CONNECTED TO TELEMETRY SERVER") == 20; }, 20))
      << kx.text();
  if (simPort > 0) {
    kx.say("set tsrv 127.0.0.1 " + std::to_string(simPort));
    kx.say("set moc");
    EXPECT_EQ(ReadUpTo(fds[19], kRec, 20).size(), kRec);  // the twentieth is served
  }
  int extra = Connect(st.fwdPort);
  ASSERT_TRUE(Child::WaitFor([&] { return kx.errors().find("Client failed to connect!") != std::string::npos; }, 20))
      << kx.errors();
  EXPECT_EQ(ReadUpTo(extra, 1, 3), "");  // not a byte of telemetry
  EXPECT_TRUE(Closed(extra, 10));
  ::close(extra);
  // One leaves: its slot is free again and the departure is logged.
  ::close(fds.back());
  fds.pop_back();
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), " DISCONNECTED FROM TELEMETRY SERVER") == 1; }, 20));
  int again = Connect(st.fwdPort);
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), " CONNECTED TO TELEMETRY SERVER") == 21; }, 20));
  fds.push_back(again);
  kx.say("quit");
  int status = -1;
  EXPECT_TRUE(kx.wait(20, &status));
  for (int fd : fds) ::close(fd);

  // Only another host may connect: the loopback peer is refused and logged.
  Station other;
  other.Make("allow");
  other.Config(korvex::testing::FreeLoopbackPort());
  std::ofstream(other.dir / "cfg/localserver.cfg") << "# local servers\nlisten = 127.0.0.1\nallow = 10.9.8.7\n";
  Child k2;
  ASSERT_TRUE(k2.start({KORVEX_BINARY, "--headless", "--serve"}, other.dir));
  ASSERT_TRUE(Child::WaitFor([&] { return k2.errors().find("Telemetry Port: ") != std::string::npos; }, 20));
  int refused = Connect(other.fwdPort);
  ASSERT_TRUE(Child::WaitFor([&] { return k2.text().find("LOCAL SERVER REFUSED 127.0.0.1") != std::string::npos; }, 20))
      << k2.text();
  EXPECT_TRUE(Closed(refused, 10));
  EXPECT_EQ(Count(k2.text(), " CONNECTED TO TELEMETRY SERVER"), 0);
  ::close(refused);
  k2.say("quit");
  EXPECT_TRUE(k2.wait(20, &status));
}

// Both servers come up with --serve; the command server takes a store file from a SEP client and
// refuses a line that would run anything but a stored-SCM send.
TEST(LocalServer, ServeStartsTheCommandServerToo) {
  Station st;
  st.Make("scm");
  st.scmPort = korvex::testing::FreeLoopbackPort();
  st.Config(korvex::testing::FreeLoopbackPort());
  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless", "--serve"}, st.dir));
  ASSERT_TRUE(Child::WaitFor([&] {
    return kx.errors().find("SCM Port: " + std::to_string(st.scmPort)) != std::string::npos;
  }, 20)) << kx.errors();
  int sep = Connect(st.scmPort);
  ASSERT_GE(sep, 0);
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), " CONNECTED TO COMMAND SERVER") == 1; }, 20))
      << kx.text();

  // A store file: 133-byte header, one packet that sums to zero.
  std::string packet("\x1A\x40\xC0\x00\x00\x01\x00\x05", 8);
  unsigned sum = 0;
  for (char c : packet) sum += static_cast<unsigned char>(c);
  packet[6] = static_cast<char>(-static_cast<int>(sum));
  std::string h = "SCM-000" + std::to_string(133 + packet.size() - 14) + "0007" + std::string(13, '0') + "01-";
  h += std::string(68 - h.size(), '-') + "LOADME" + std::string(26, ' ') + std::string(28, ' ') + "NAME";
  h += '\x0C';
  ASSERT_EQ(h.size(), 133u);
  std::string scm = h + packet;
  ASSERT_EQ(::send(sep, scm.data(), scm.size(), 0), static_cast<ssize_t>(scm.size()));
  std::string arr = ReadUpTo(sep, 69, 20);
  ASSERT_EQ(arr.size(), 69u);
  EXPECT_EQ(arr.substr(0, 14), "ARR-0000550007");
  EXPECT_EQ(arr.substr(27, 3), "000");
  EXPECT_EQ(Slurp(st.dir / "scm/LOADME.SCM"), scm);

  const std::string line = "send start evil\r\n";
  ASSERT_EQ(::send(sep, line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
  arr = ReadUpTo(sep, 69, 20);
  ASSERT_EQ(arr.size(), 69u);
  EXPECT_EQ(arr.substr(27, 3), "109");
  ASSERT_TRUE(Child::WaitFor([&] { return kx.text().find("SEP LINE REFUSED FROM") != std::string::npos; }, 20))
      << kx.text();
  ::close(sep);
  kx.say("quit");
  int status = -1;
  EXPECT_TRUE(kx.wait(20, &status));
  EXPECT_EQ(status, 0);
}
