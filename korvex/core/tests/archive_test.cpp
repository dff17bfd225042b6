#include <gtest/gtest.h>

#include <filesystem>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/archive.h"

using namespace korvex;
namespace fs = std::filesystem;

namespace {
std::tm At(int y, int mon, int d, int h, int mi) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mon - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  std::time_t x = std::mktime(&t);
  return *std::localtime(&x);
}

struct TempRoot {
  fs::path dir;
  TempRoot() {
    dir = fs::temp_directory_path() / ("korvex_arc_" + std::to_string(::getpid()) + "_" +
                                       std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(dir / "log");
  }
  ~TempRoot() { fs::remove_all(dir); }
  std::string root() const { return dir.string() + "/"; }
};

struct Station {
  int aorb = 0;
  std::string sCraft;
  int dayofyear = 0;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

TEST(ArchiveName, LetterAndLocalTime) {
  EXPECT_EQ(ArchiveName("A", At(2006, 1, 4, 12, 30), ".tlm"), "log/A0601041230.tlm");
  EXPECT_EQ(ArchiveName("", At(2026, 12, 31, 23, 59), ".log"), "log/2612312359.log");
}

TEST(Archives, TlmNeedsTheSpacecraftAndSameMinuteAppends) {
  TempRoot t;
  Archives a;
  a.root = t.root();
  Station st;
  ArchiveContext c{st.aorb, st.sCraft, st.dayofyear};
  std::tm now = At(2006, 1, 4, 12, 30);
  EXPECT_EQ(StartArchive(a, c, ".tlm", 0, now), nullptr);
  EXPECT_EQ(a.recon, 1);
  EXPECT_FALSE(a.datafile.open());

  c.aorb = 2;
  ASSERT_NE(StartArchive(a, c, ".tlm", 0, now), nullptr);
  EXPECT_EQ(c.sCraft, "B");
  EXPECT_EQ(c.dayofyear, now.tm_yday);
  EXPECT_EQ(a.datafile.name, "log/B0601041230.tlm");
  std::uint8_t rec[kRecordSize];
  for (std::size_t i = 0; i < kRecordSize; ++i) rec[i] = static_cast<std::uint8_t>(i);
  EXPECT_TRUE(WriteTlmRecord(a.datafile, a.root, rec));
  CloseArchive(a.datafile);
  ASSERT_NE(StartArchive(a, c, ".tlm", 0, now), nullptr);  // off and on within the minute
  EXPECT_TRUE(WriteTlmRecord(a.datafile, a.root, rec));
  CloseArchive(a.datafile);
  EXPECT_EQ(fs::file_size(t.dir / "log/B0601041230.tlm"), 2 * kRecordSize);
}

TEST(Archives, UnopenableFileLeavesHandleEmpty) {
  Archives a;
  a.root = "/nonexistent_korvex_dir/";
  Station st;
  ArchiveContext c{st.aorb, st.sCraft, st.dayofyear};
  EXPECT_EQ(StartArchive(a, c, ".log", 0, At(2006, 1, 4, 12, 30)), nullptr);
  EXPECT_FALSE(a.arcfile.open());
  EXPECT_EQ(a.logfn, "log/0601041230.log");
  WriteArchiveText(a.arcfile, "ignored\n");  // writes to a closed archive are skipped
}

TEST(Archives, LetterPrefixRenamesAndKeepsContent) {
  TempRoot t;
  Archives a;
  a.root = t.root();
  Station st;
  ArchiveContext c{st.aorb, st.sCraft, st.dayofyear};
  std::tm now = At(2006, 1, 4, 12, 30);
  StartArchive(a, c, ".log", 0, now);
  StartArchive(a, c, ".arr", 0, now);
  WriteArchiveText(a.arcfile, "FIRST\n");
  PrefixOpenArchives(a, "A");
  EXPECT_EQ(a.logfn, "log/A0601041230.log");
  EXPECT_EQ(a.arrfn, "log/A0601041230.arr");
  EXPECT_FALSE(fs::exists(t.dir / "log/0601041230.log"));
  WriteArchiveText(a.arcfile, "SECOND\n");
  CloseArchive(a.arcfile);
  CloseArchive(a.arrFile);
  EXPECT_EQ(Slurp(t.dir / "log/A0601041230.log"), "FIRST\nSECOND\n");
  EXPECT_TRUE(fs::exists(t.dir / "log/A0601041230.arr"));

  // A run in the same minute finds the lettered names taken: its lines go after the older ones.
  Archives b;
  b.root = t.root();
  Station st2;
  ArchiveContext c2{st2.aorb, st2.sCraft, st2.dayofyear};
  StartArchive(b, c2, ".log", 0, now);
  WriteArchiveText(b.arcfile, "THIRD\n");
  PrefixOpenArchives(b, "A");
  EXPECT_EQ(b.logfn, "log/A0601041230.log");
  EXPECT_FALSE(fs::exists(t.dir / "log/0601041230.log"));
  WriteArchiveText(b.arcfile, "FOURTH\n");
  CloseArchive(b.arcfile);
  EXPECT_EQ(Slurp(t.dir / "log/A0601041230.log"), "FIRST\nSECOND\nTHIRD\nFOURTH\n");
}

// A station killed in the middle of recording leaves only whole records, every one it wrote.
TEST(Archives, KilledRecorderLeavesWholeRecords) {
  TempRoot t;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Archives a;
    a.root = t.root();
    Station st;
  ArchiveContext c{st.aorb, st.sCraft, st.dayofyear};
    c.aorb = 1;
    StartArchive(a, c, ".tlm", 0, At(2006, 1, 4, 12, 30));
    std::uint8_t rec[kRecordSize];
    for (unsigned n = 0;; ++n) {
      std::memset(rec, static_cast<int>(n & 0xFF), sizeof rec);
      std::memcpy(rec, &n, sizeof n);
      WriteTlmRecord(a.datafile, a.root, rec);
      if (n == 1000) (void)!::write(ready[1], "x", 1);
    }
  }
  char x;
  ASSERT_EQ(::read(ready[0], &x, 1), 1);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::string data = Slurp(t.dir / "log/A0601041230.tlm");
  ASSERT_GT(data.size(), 1000 * kRecordSize);
  EXPECT_EQ(data.size() % kRecordSize, 0u);
  for (std::size_t r = 0; r < data.size() / kRecordSize; ++r) {
    unsigned n;
    std::memcpy(&n, data.data() + r * kRecordSize, sizeof n);
    ASSERT_EQ(n, r);
  }
  ::close(ready[0]);
  ::close(ready[1]);
}

// Records queued during one socket event reach the file only with the flush, all of them and in
// order; a full queue goes out by itself; a file left with a torn record is cut back when the
// same name is opened again, so later records stay aligned.
TEST(Archives, QueuedRecordsFlushWholeAndATornTailIsCutOnReopen) {
  TempRoot t;
  Archives a;
  a.root = t.root();
  Station st;
  ArchiveContext c{st.aorb, st.sCraft, st.dayofyear};
  c.aorb = 1;
  std::tm now = At(2006, 1, 4, 12, 30);
  ASSERT_NE(StartArchive(a, c, ".tlm", 0, now), nullptr);
  const fs::path file = t.dir / "log/A0601041230.tlm";
  std::uint8_t rec[kRecordSize];
  for (int k = 0; k < 3; ++k) {
    std::memset(rec, k + 1, sizeof rec);
    EXPECT_TRUE(QueueTlmRecord(a.datafile, rec));
  }
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_TRUE(FlushTlmRecords(a.datafile));
  std::string data = Slurp(file);
  ASSERT_EQ(data.size(), 3 * kRecordSize);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(data[k * kRecordSize + 100], k + 1);

  const std::size_t full = kTlmQueueBytes / kRecordSize;
  for (std::size_t k = 0; k < full; ++k) QueueTlmRecord(a.datafile, rec);
  EXPECT_TRUE(a.datafile.pending.empty());
  EXPECT_EQ(fs::file_size(file), (3 + full) * kRecordSize);
  QueueTlmRecord(a.datafile, rec);
  CloseArchive(a.datafile);  // closing hands the queue over too
  EXPECT_EQ(fs::file_size(file), (4 + full) * kRecordSize);

  { std::ofstream(file, std::ios::binary | std::ios::app) << std::string(100, 'x'); }
  ASSERT_NE(StartArchive(a, c, ".tlm", 0, now), nullptr);
  EXPECT_EQ(fs::file_size(file), (4 + full) * kRecordSize);
  std::memset(rec, 9, sizeof rec);
  EXPECT_TRUE(WriteTlmRecord(a.datafile, a.root, rec));
  EXPECT_EQ(Slurp(file).substr((4 + full) * kRecordSize), std::string(kRecordSize, '\x09'));
  CloseArchive(a.datafile);
}

// A disk that fills in the middle of a flush keeps the records that got out whole and none of
// the torn one (a file size limit plays the full disk).
TEST(Archives, FlushThatRunsOutOfRoomKeepsOnlyWholeRecords) {
  TempRoot t;
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    Archives a;
    a.root = t.root();
    Station st;
    ArchiveContext c{st.aorb, st.sCraft, st.dayofyear};
    c.aorb = 2;
    if (!StartArchive(a, c, ".tlm", 0, At(2006, 1, 4, 12, 30))) ::_exit(3);
    rlimit lim{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    std::uint8_t rec[kRecordSize];
    std::memset(rec, 7, sizeof rec);
    for (int k = 0; k < 5; ++k) QueueTlmRecord(a.datafile, rec);
    bool ok = FlushTlmRecords(a.datafile);
    CloseArchive(a.datafile);
    ::_exit(ok ? 1 : 0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the short flush must be reported";
  EXPECT_EQ(fs::file_size(t.dir / "log/B0601041230.tlm"), 3 * kRecordSize);
}
