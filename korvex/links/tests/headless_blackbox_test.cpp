// korvex --headless as a black box: typed lines on standard input, a MOC telemetry server played
// by the test on loopback, and then the archives in log/, standard output and standard error.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "links/tests/child_process.h"
#include "links/tests/tlm_records.h"

namespace fs = std::filesystem;
using namespace korvex;
using namespace korvex::testing;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

std::string Str(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

// The MOC telemetry server: one connection at a time, bytes sent when the test says, bytes the
// station writes collected.
class MocPeer {
 public:
  MocPeer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 2);
    socklen_t n = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
  }
  ~MocPeer() {
    drop();
    ::close(fd_);
  }
  unsigned port() const { return port_; }
  // Waits (bounded) for the station to connect.
  bool accept(int seconds) {
    drop();
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, seconds * 1000) != 1) return false;
    client_ = ::accept(fd_, nullptr, nullptr);
    if (client_ < 0) return false;
    stop_ = false;
    reader_ = std::thread([this] {
      char buf[512];
      while (!stop_) {
        pollfd q{client_, POLLIN, 0};
        if (::poll(&q, 1, 100) != 1) continue;
        ssize_t r = ::recv(client_, buf, sizeof buf, 0);
        if (r <= 0) return;
        std::lock_guard<std::mutex> l(mu_);
        got_.append(buf, static_cast<std::size_t>(r));
      }
    });
    return true;
  }
  void send(const std::string& bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
      ssize_t w = ::send(client_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
      if (w <= 0) return;
      off += static_cast<std::size_t>(w);
    }
  }
  std::string received() {
    std::lock_guard<std::mutex> l(mu_);
    return got_;
  }
  // The server closes the connection.
  void drop() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (client_ >= 0) {
      ::shutdown(client_, SHUT_RDWR);
      ::close(client_);
    }
    client_ = -1;
  }

 private:
  int fd_ = -1, client_ = -1;
  unsigned port_ = 0;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::string got_;
};

// A copy of the sample station whose configuration names our port and warning limit.
struct StationDir {
  fs::path dir;
  StationDir(const std::string& name, unsigned port, unsigned wlim) {
    dir = fs::temp_directory_path() / ("korvex_bb_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(STATION_DIR, dir, fs::copy_options::recursive);
    fs::remove_all(dir / "log");  // the station makes it when it is missing
    std::vector<std::string> cfg = Lines(Slurp(dir / "cfg/korvex.cfg"));
    cfg.at(1) = "MOC telemetry port = " + std::to_string(port);
    cfg.at(14) = "Warm-up = " + std::to_string(wlim) + " ; reads before packet warnings";
    std::ofstream out(dir / "cfg/korvex.cfg", std::ios::binary);
    for (auto& l : cfg) out << l << "\n";
  }
  ~StationDir() { fs::remove_all(dir); }
  std::vector<std::string> logs(const std::string& ext) const {
    std::vector<std::string> v;
    if (!fs::exists(dir / "log")) return v;
    for (auto& e : fs::directory_iterator(dir / "log"))
      if (e.path().extension() == ext) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }
  std::uintmax_t size(const std::string& ext) const {
    std::uintmax_t n = 0;
    for (auto& f : logs(ext)) n += fs::file_size(dir / "log" / f);
    return n;
  }
};

std::string Records(const std::vector<std::vector<std::uint8_t>>& rs) {
  std::string s;
  for (auto& r : rs) s += Str(r);
  return s;
}

}  // namespace

// Packet warnings begin once `wlim` reads have been made, however the records are bunched; the
// text after "set moc" reaches the MOC upper-cased; the station runs on after its input ends and
// a SIGTERM ends it with every archive whole.
TEST(HeadlessBlackBox, WarningsAfterWlimReadsAndRunningOnAfterInputEnds) {
  MocPeer moc;
  StationDir st("wlim", moc.port(), 3);
  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless"}, st.dir));
  kx.say("REC ON");
  kx.say("set tsrv 127.0.0.1 " + std::to_string(moc.port()));
  kx.say("set moc Stream realtime");
  ASSERT_TRUE(moc.accept(20)) << kx.text() << kx.errors();
  ASSERT_TRUE(Child::WaitFor([&] { return moc.received() == "STREAM REALTIME\n"; }, 10))
      << moc.received();

  std::vector<std::vector<std::uint8_t>> sent;
  for (unsigned i = 0; i < 5; ++i) sent.push_back(TlmRecord(0x1A3, kSpacecraftA, i));
  moc.send(Records(sent));  // one write: at least five reads on the station's side
  ASSERT_TRUE(Child::WaitFor([&] { return st.size(".tlm") == 5 * kRecordSize; }, 20));
  // Standard output is read by another thread: wait for the lines rather than race them.
  Child::WaitFor([&] { return Count(kx.text(), "ERROR! APID 1A3 IS ILLEGAL!\n") >= 3; }, 10);
  EXPECT_EQ(Count(kx.text(), "ERROR! APID 1A3 IS ILLEGAL!\n"), 3) << kx.text();

  kx.closeInput();
  sent.push_back(TlmRecord(0x210, kSpacecraftA, 7, true));
  moc.send(Str(sent.back()));
  EXPECT_TRUE(Child::WaitFor([&] { return Count(kx.text(), "BAD CHECKSUM APID 210\n") == 1; }, 20))
      << kx.text();

  kx.signal(SIGTERM);
  int status = -1;
  ASSERT_TRUE(kx.wait(20, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  kx.drain();

  ASSERT_EQ(st.logs(".tlm").size(), 1u);
  EXPECT_EQ(st.logs(".tlm")[0][0], 'A');
  EXPECT_TRUE(Slurp(st.dir / "log" / st.logs(".tlm")[0]) == Records(sent));
  // Standard output is the event list: every archived line but the first, in order.
  ASSERT_EQ(st.logs(".log").size(), 1u);
  std::string log = Slurp(st.dir / "log" / st.logs(".log")[0]);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n');
  std::vector<std::string> logLines = Lines(log);
  ASSERT_FALSE(logLines.empty());
  EXPECT_EQ(logLines[0].substr(19), " EVENT LOG");
  EXPECT_EQ(std::vector<std::string>(logLines.begin() + 1, logLines.end()), Lines(kx.text()));
  EXPECT_EQ(Count(log, " REC ON\n"), 2);
  EXPECT_EQ(Count(log, " SET MOC STREAM REALTIME\n"), 1);
}

// The server closing mid-record: reported, and the half record does not shift the stream of the
// next connection. An earlier run's lettered archive of the same minute is kept. A long line is
// cut in the event list only. SIGINT ends the station like "quit".
TEST(HeadlessBlackBox, ServerCloseEarlierArchivesAndLongLines) {
  MocPeer moc;
  StationDir st("close", moc.port(), 0);
  Child kx;
  ASSERT_TRUE(kx.start({KORVEX_BINARY, "--headless"}, st.dir));
  ASSERT_TRUE(Child::WaitFor([&] { return st.logs(".log").size() == 1; }, 20));
  std::string first = st.logs(".log")[0];  // no letter yet
  ASSERT_EQ(first.size(), 14u) << first;
  {
    std::ofstream older(st.dir / "log" / ("A" + first), std::ios::binary);
    older << "OLDER RUN\n";
  }
  kx.say("REC ON");
  kx.say("set tsrv 127.0.0.1 " + std::to_string(moc.port()));
  kx.say("set moc");
  ASSERT_TRUE(moc.accept(20)) << kx.errors();

  auto a1 = TlmRecord(0x200, kSpacecraftA, 1);
  auto b = TlmRecord(0x200, kSpacecraftB, 2);
  moc.send(Str(a1).substr(0, 100));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  moc.send(Str(a1).substr(100, 150));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  moc.send(Str(a1).substr(250) + Str(b).substr(0, 50));
  ASSERT_TRUE(Child::WaitFor([&] { return st.size(".tlm") == kRecordSize; }, 20));
  moc.drop();
  EXPECT_TRUE(Child::WaitFor(
      [&] {
        return Count(kx.errors(), "\"Server has closed TLM Port!\" / \"-14  ConnectionClosed\"") ==
               1;
      },
      20))
      << kx.errors();

  kx.say("set moc");
  ASSERT_TRUE(moc.accept(20)) << kx.errors();
  auto a2 = TlmRecord(0x201, kSpacecraftA, 3);
  moc.send(Str(a2));
  ASSERT_TRUE(Child::WaitFor([&] { return st.size(".tlm") >= 2 * kRecordSize; }, 20));

  std::string longText = "rem " + std::string(1500, 'x');
  kx.say(longText);
  ASSERT_TRUE(Child::WaitFor([&] { return Count(kx.text(), " REM XXXX") == 1; }, 20));

  kx.signal(SIGINT);
  int status = -1;
  ASSERT_TRUE(kx.wait(20, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  kx.drain();

  ASSERT_EQ(st.logs(".tlm").size(), 1u);
  EXPECT_EQ(st.logs(".tlm")[0][0], 'A');
  EXPECT_TRUE(Slurp(st.dir / "log" / st.logs(".tlm")[0]) == Str(a1) + Str(a2));
  EXPECT_EQ(st.logs(".log"), std::vector<std::string>{"A" + first});
  std::string log = Slurp(st.dir / "log" / ("A" + first));
  EXPECT_EQ(log.rfind("OLDER RUN\n", 0), 0u);
  std::string upper = longText;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Count(log, " " + upper + "\n"), 1);  // whole in the archive
  for (const std::string& l : Lines(kx.text()))
    if (l.find(" REM XXXX") != std::string::npos) {
      EXPECT_EQ(l.size(), 1024u - 9u);  // the list entry, colour prefix and all, is 1024
      EXPECT_EQ(l.substr(19, 6), " REM X");
    }
}
