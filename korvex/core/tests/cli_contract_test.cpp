// The command line every program keeps: --help and --version answer and leave, a word the
// program does not know is a usage error (2) that starts nothing, a start-up that fails says so
// and ends non-zero, and SIGTERM ends the program cleanly even while a pop-up waits for an answer.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>

#include "links/tests/child_process.h"

namespace fs = std::filesystem;
using korvex::testing::Child;
using korvex::testing::Slurp;

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

fs::path Scratch(const std::string& name) {
  fs::path d = fs::temp_directory_path() / ("korvex_cli_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

// Runs a program to its end (bounded); status is the exit code, or -1 when it did not end.
Outcome RunToEnd(const std::vector<std::string>& argv, const fs::path& cwd, int seconds = 20) {
  Outcome r;
  Child c;
  if (!c.start(argv, cwd)) return r;
  c.closeInput();
  int st = 0;
  if (c.wait(seconds, &st) && WIFEXITED(st)) {
    r.status = WEXITSTATUS(st);
    c.drain();
  }
  r.out = c.text();
  r.err = c.errors();
  return r;
}

std::string FirstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

int Lines(const std::string& s) {
  int n = 0;
  for (char ch : s) n += ch == '\n';
  return n;
}

// A copy of the sample station in a scratch folder.
fs::path StationCopy(const std::string& name) {
  fs::path d = Scratch(name);
  fs::copy(STATION_DIR, d, fs::copy_options::recursive);
  return d;
}

TEST(CommandLine, HelpVersionAndUnknownWordsStartNothing) {
  fs::path d = Scratch("words");
  Outcome help = RunToEnd({KORVEX_BINARY, "--help"}, d);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(FirstLine(help.out).rfind("usage: korvex", 0), 0u) << help.out;
  EXPECT_EQ(RunToEnd({KORVEX_BINARY, "-h"}, d).status, 0);

  Outcome ver = RunToEnd({KORVEX_BINARY, "--version"}, d);
  EXPECT_EQ(ver.status, 0);
  EXPECT_EQ(ver.out, std::string("korvex ") + VANTIS_VERSION + "\n");

  for (const char* bad : {"--bogus", "-x", "extra-word"}) {
    Outcome r = RunToEnd({KORVEX_BINARY, "--headless", bad}, d);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_EQ(r.err, std::string("korvex: unknown option '") + bad + "'; try --help\n");
    EXPECT_EQ(r.out, "");
  }
  // An option that needs a value and has none is not taken as given.
  EXPECT_EQ(RunToEnd({KORVEX_BINARY, "--answers"}, d).status, 2);
  // None of these started a station: nothing was written where they ran.
  EXPECT_FALSE(fs::exists(d / "log"));
}

TEST(CommandLine, StartUpFailuresEndNonZeroNamingTheFile) {
  fs::path empty = Scratch("nocfg");
  Outcome r = RunToEnd({KORVEX_BINARY, "--headless"}, empty);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\"ERROR!\" / \"Can't find korvex.cfg!\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("cfg/korvex.cfg: No such file or directory"), std::string::npos) << r.err;

  // A database missing and the file dialog cancelled (no answer queued).
  fs::path st = StationCopy("nodb");
  fs::remove(st / "database" / "VANTIS_apd.txt");
  r = RunToEnd({KORVEX_BINARY, "--headless"}, st);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("VANTIS_apd.txt: No such file or directory"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Can't find APID database file!"), std::string::npos) << r.err;
}

// With the window (offscreen), the start-up message about the missing configuration is a real
// modal dialog that nobody answers; SIGTERM must still end the program, as an ordinary end.
TEST(CommandLine, SigtermEndsTheStationWhileAStartUpPopupWaits) {
  fs::path empty = Scratch("popup");
  Child c;
  ASSERT_TRUE(c.start({KORVEX_BINARY}, empty));
  // Usually the dialog is up by now; a slower start-up gets the signal earlier, which must end it
  // just as cleanly.
  ::usleep(1500 * 1000);
  int st = 0;
  ASSERT_FALSE(c.wait(0, &st)) << "ended on its own: " << c.errors();
  c.signal(SIGTERM);
  ASSERT_TRUE(c.wait(60, &st)) << "still running 60 s after SIGTERM";
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
}

// A running station with the window, a pop-up open after a failed telemetry connection: SIGTERM
// ends it with exit 0 and the event log archive closed behind its last whole line.
TEST(CommandLine, SigtermEndsARunningStationWhileAPopupWaits) {
  fs::path st = StationCopy("running");
  Child c;
  ASSERT_TRUE(c.start({KORVEX_BINARY}, st));
  c.say("set tsrv 127.0.0.1 " + std::to_string(korvex::testing::FreeLoopbackPort()));
  c.say("set moc");
  ASSERT_TRUE(Child::WaitFor([&] { return c.errors().find("cannot connect to 127.0.0.1:") !=
                                          std::string::npos; }, 90))
      << c.errors();
  ::usleep(500 * 1000);
  c.signal(SIGTERM);
  int status = 0;
  ASSERT_TRUE(c.wait(60, &status)) << "still running 60 s after SIGTERM";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  bool sawLog = false;
  for (auto& e : fs::directory_iterator(st / "log"))
    if (e.path().extension() == ".log") {
      sawLog = true;
      std::string text = Slurp(e.path());
      ASSERT_FALSE(text.empty());
      EXPECT_EQ(text.back(), '\n');
      EXPECT_NE(text.find("EVENT LOG"), std::string::npos);
    }
  EXPECT_TRUE(sawLog);
}

TEST(CommandLine, SimulatorKeepsTheSameContract) {
  fs::path d = Scratch("mocsim");
  Outcome help = RunToEnd({MOCSIM_BINARY, "--help"}, d);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--station"), std::string::npos);
  Outcome ver = RunToEnd({MOCSIM_BINARY, "--version"}, d);
  EXPECT_EQ(ver.status, 0);
  EXPECT_EQ(ver.out, std::string("mocsim ") + VANTIS_VERSION + "\n");
  Outcome bad = RunToEnd({MOCSIM_BINARY, "--bogus"}, d);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "mocsim: unknown option '--bogus'; try --help\n");
  EXPECT_EQ(Lines(bad.err), 1);

  // A port that is taken: exit 1, naming host:port and the reason.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  std::string port = std::to_string(ntohs(a.sin_port));
  Outcome busy = RunToEnd({MOCSIM_BINARY, "--station", STATION_DIR, "--tlm-port", port, "--cmd-port", "0"}, d);
  ::close(fd);
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE((busy.out + busy.err).find("127.0.0.1:" + port + ": "), std::string::npos)
      << busy.out << busy.err;
}

}  // namespace
