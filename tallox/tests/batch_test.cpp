#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/batch.h"
#include "core/record.h"
#include "test_util.h"

using namespace tallox;
using tallox::test::Pkt;
using tallox::test::TempPath;
using tallox::test::WriteRecords;

namespace {

struct Outcome {
  int rc;
  std::string out, err;
};

Outcome Batch(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int rc = RunBatch(args, out, err);
  return {rc, out.str(), err.str()};
}

std::vector<Pkt> Stream(int n) {
  std::vector<Pkt> v;
  for (int i = 0; i < n; ++i) {
    Pkt p;
    p.apid = i % 2 ? 0x209 : 0x200;
    p.seq = static_cast<unsigned>(i / 2);
    p.sec = 1500000000u + static_cast<unsigned>(i);
    p.be16(20, static_cast<unsigned>(i));
    v.push_back(p);
  }
  v[4].seq = 40;  // one gap in 0x200 (and the packet after it)
  return v;
}

const char* kTable =
    "1\n2\n3\n4\n5\n"
    "IHKWord\t2\t20\tx\t0\t2\t0\tV\n"
    "ISTEUDig\t1\t21\tx\t0\t1\t0\n"
    "Checksum\n";

}  // namespace

TEST(TalloxBatch, ScanPrintsTheCountsAndBothByteOrdersAgree) {
  const std::string a = TempPath("batch_a.tlm"), b = TempPath("batch_b.tlm");
  WriteRecords(a, Stream(20), false);
  WriteRecords(b, Stream(20), true);
  Outcome ra = Batch({"scan", a});
  ASSERT_EQ(ra.rc, 0) << ra.err;
  EXPECT_NE(ra.out.find("ApID 200: 10\n"), std::string::npos) << ra.out;
  EXPECT_NE(ra.out.find("ApID 209: 10\n"), std::string::npos);
  EXPECT_NE(ra.out.find("Sequence gaps: 2\n"), std::string::npos);
  EXPECT_NE(ra.err.find("100%"), std::string::npos);  // progress goes to stderr
  Outcome rb = Batch({"scan", b, "--no-swap"});
  EXPECT_EQ(ra.out, rb.out);
  // A window from the 6th to the 12th second.
  Outcome rw = Batch({"scan", a, "--start", GetTime1(1500000005), "--end", GetTime1(1500000011)});
  ASSERT_EQ(rw.rc, 0);
  EXPECT_NE(rw.out.find("Total packets: 7\n"), std::string::npos) << rw.out;
  Outcome bad = Batch({"scan", a, "--start", "noon"});
  EXPECT_EQ(bad.rc, 1);
  EXPECT_NE(bad.err.find("Start time \"noon\" cannot be read"), std::string::npos);
}

TEST(TalloxBatch, MissingEmptyAndWrongInput) {
  Outcome m = Batch({"scan", TempPath("nope.tlm")});
  EXPECT_EQ(m.rc, 1);
  EXPECT_NE(m.err.find("cannot open"), std::string::npos);
  const std::string empty = TempPath("batch_empty.tlm");
  tallox::test::WriteText(empty, "");
  Outcome e = Batch({"scan", empty});
  EXPECT_EQ(e.rc, 0);
  EXPECT_NE(e.err.find("holds no whole 298-byte record"), std::string::npos);
  EXPECT_NE(e.out.find("Total packets: 0\n"), std::string::npos);
  const std::string text = TempPath("batch_text.tlm");
  tallox::test::WriteText(text, std::string(298 * 3 + 5, '\xFF'));
  Outcome t = Batch({"scan", text});
  EXPECT_EQ(t.rc, 0);
  EXPECT_NE(t.err.find("not a whole number"), std::string::npos);
  EXPECT_NE(t.err.find("is it a telemetry file"), std::string::npos);
  EXPECT_EQ(Batch({"timing", empty}).rc, 2);  // no --apid
  EXPECT_EQ(Batch({"scan"}).rc, 2);
  EXPECT_EQ(Batch({"scan", empty, "--bogus"}).rc, 2);
  EXPECT_EQ(Batch({"burst", empty, "--apid", "200"}).rc, 2);
}

TEST(TalloxBatch, BurstTimingAndPacket) {
  const std::string a = TempPath("batch_c.tlm");
  WriteRecords(a, Stream(20), false);
  Outcome b = Batch({"burst", a, "--apid", "209"});
  ASSERT_EQ(b.rc, 0) << b.err;
  EXPECT_NE(b.out.find("First ApID 209h"), std::string::npos);
  EXPECT_NE(b.out.find("ApID 209: 10\n"), std::string::npos);
  Outcome t = Batch({"timing", a, "--apid", "0x209"});
  ASSERT_EQ(t.rc, 0);
  EXPECT_NE(t.out.find("10 Packets\n"), std::string::npos);
  EXPECT_NE(t.out.find("Spacing 2.00000000 s: 9\n"), std::string::npos) << t.out;
  Outcome p = Batch({"packet", a, "3"});
  ASSERT_EQ(p.rc, 0);
  EXPECT_NE(p.out.find("Packet number: 3\nRecord header: "), std::string::npos);
  EXPECT_NE(p.out.find("ApID: 209\n"), std::string::npos);
  EXPECT_NE(p.out.find("\n41\t"), std::string::npos);
  Outcome far = Batch({"packet", a, "500"});
  EXPECT_EQ(far.rc, 0);
  EXPECT_NE(far.out.find("Packet number: 19\n"), std::string::npos);
  EXPECT_NE(far.err.find("beyond the end"), std::string::npos);
}

TEST(TalloxBatch, HousekeepingExportMatchesThePanelSave) {
  namespace fs = std::filesystem;
  const fs::path dir = TempPath("batch_db");
  fs::create_directories(dir / "database");
  tallox::test::WriteText((dir / "database" / "VANTIS_TLM.txt").string(), kTable);
  tallox::test::WriteText((dir / "database" / "sep_hkg.txt").string(), "1\n2\n3\n4\n5\nChecksum\n");
  const std::string a = TempPath("batch_hk.tlm");
  WriteRecords(a, Stream(20), false);
  const std::string out = TempPath("batch_hk_out.txt");
  Outcome r = Batch({"hk", a, "--points", "IHKWord,STEUDoor", "--db", dir.string(), "--rows", "5",
                 "--out", out});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.out.find("Samples: 10\n"), std::string::npos);
  const std::string text = tallox::test::ReadText(out);
  EXPECT_EQ(text.rfind("ZEPHRA VANTIS Housekeeping Data\n Data extracted from telemetry file " + a +
                           "\n\nTime,UTC \tIHKWord \tSTEUDoor \n",
                       0),
            0u);
  // 10 samples, 5 rows: step 2; samples 0, 2, ... hold words 0, 4, 8 ... (even records).
  EXPECT_NE(text.find(" \t0.000000 "), std::string::npos);
  EXPECT_NE(text.find(" \t8.000000 "), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + 5);
  Outcome unknown = Batch({"hk", a, "--points", "NoSuchPoint", "--db", dir.string()});
  EXPECT_EQ(unknown.rc, 2);
  EXPECT_NE(unknown.err.find("no point named NoSuchPoint"), std::string::npos);
  Outcome nodb = Batch({"hk", a, "--points", "IHKWord", "--db", TempPath("no_db_here")});
  EXPECT_EQ(nodb.rc, 1);
  EXPECT_NE(nodb.err.find("Cannot open telemetry database file VANTIS_TLM.txt"), std::string::npos);
}

TEST(TalloxBatch, TheProgramItselfExitsWithItsCodes) {
  const std::string a = TempPath("batch_exe.tlm");
  WriteRecords(a, Stream(6), false);
  const std::string exe = TALLOX_BINARY;
  auto status = [&](const std::string& args) {
    const std::string cmd = exe + " " + args + " >/dev/null 2>&1";
    const int s = std::system(cmd.c_str());
    return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  };
  EXPECT_EQ(status("scan " + a), 0);
  EXPECT_EQ(status("scan " + TempPath("missing.tlm")), 1);
  EXPECT_EQ(status("timing " + a), 2);
}

TEST(TalloxBatch, CommandLinesTypedHeadless) {
  EXPECT_EQ(SplitCommandLine("scan a.tlm --start \"2006 JAN  4 12:30:00\" --no-swap\r"),
            (std::vector<std::string>{"scan", "a.tlm", "--start", "2006 JAN  4 12:30:00", "--no-swap"}));
  EXPECT_EQ(SplitCommandLine("  hk \"\" x  "), (std::vector<std::string>{"hk", "", "x"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}
