// The tallox program run as a user runs it: the built binary as a child process on record files
// written by the test writer or by the simulator, its printed lines and the files it writes
// compared text for text.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <map>
#include <set>
#include <sstream>

#include "cli/batch.h"
#include "cli/report.h"
#include "core/record.h"
#include "test_util.h"

namespace fs = std::filesystem;
using tallox::test::Pkt;
using tallox::test::ReadText;
using tallox::test::TempPath;
using tallox::test::WriteRecords;
using tallox::test::WriteText;

namespace {

struct Result {
  int rc = -1;
  std::string out, err;
  bool has(const std::string& s) const { return out.find(s) != std::string::npos; }
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Result Tallox(const std::vector<std::string>& args, const std::string& cwd = "") {
  static int n = 0;
  const std::string errPath = TempPath("stderr_" + std::to_string(++n) + ".txt");
  std::string cmd = (cwd.empty() ? "" : "cd " + Quote(cwd) + " && ") + Quote(TALLOX_BINARY);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " 2>" + Quote(errPath);
  Result r;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, got);
    const int status = pclose(p);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  r.err = ReadText(errPath);
  return r;
}

// Mission seconds of 2006-01-04 12:30:00 UTC: a one-digit day shows the padding of every text.
constexpr std::uint32_t kT0 = 1515069000u;

Pkt P(unsigned apid, unsigned seq, std::uint32_t sec) {
  Pkt p;
  p.apid = apid;
  p.seq = seq;
  p.sec = sec;
  return p;
}

// The "label: value" labels of a batch report.
std::vector<std::string> Labels(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto c = line.find(": ");
    if (c != std::string::npos && line[0] != ' ') out.push_back(line.substr(0, c));
  }
  return out;
}

// Control labels of the given panels of TALLOX.uir.
std::set<std::string> PanelLabels(std::initializer_list<int> resources) {
  std::ifstream f(std::string(TALLOX_UI_DIR) + "/TALLOX.uir");
  const nlohmann::json j = nlohmann::json::parse(f);
  std::set<std::string> out;
  for (const auto& p : j["panels"])
    for (int r : resources)
      if (p["resource"] == r)
        for (const auto& c : p["controls"]) out.insert(c["label"].get<std::string>());
  return out;
}

}  // namespace

TEST(TalloxCli, ScanCountsLabelsTimesAndBothByteOrders) {
  std::vector<Pkt> v = {P(0x00B, 0, kT0 - 100)};  // first record: its time starts the file
  for (unsigned i = 0; i < 3; ++i) v.push_back(P(0x200, i, kT0 + i));
  v.push_back(P(0x209, 16383, kT0 + 3));
  v.push_back(P(0x209, 0, kT0 + 4));   // wraps: no gap
  v.push_back(P(0x209, 5, kT0 + 5));   // gap
  v.push_back(P(0x201, 1, kT0 + 6));
  v.back().badChecksum = true;
  v.push_back(P(0x245, 0, kT0 + 7));
  v.push_back(P(0x249, 0, kT0 + 8));  // same group, own slot: no gap
  v.push_back(P(0x27F, 0, kT0 + 9));  // in no listed row
  v.push_back(P(0x300, 0, kT0 + 10));
  v.push_back(P(0x1A3, 0, kT0 + 11));   // illegal
  v.push_back(P(0x00C, 0, kT0 + 500));  // not a suite time: the end stays at 0x300's
  const std::string tx = TempPath("cli_scan_tx.tlm"), sw = TempPath("cli_scan_sw.tlm");
  WriteRecords(tx, v, false, std::string(100, '\0'));  // a partial record at the end is ignored
  WriteRecords(sw, v, true);

  const Result a = Tallox({"scan", tx});
  ASSERT_EQ(a.rc, 0) << a.err;
  for (const char* line :
       {"ApID 200: 3\n", "ApID 201: 1\n", "ApID 209: 3\n", "ApID 244-24A: 2\n", "ApID 270: 0\n",
        "ApID 300-37F: 1\n", "ApID 000-0FF: 2\n", "Errors 200: 0\n", "Errors 201: 1\n",
        "Errors 209: 1\n", "Errors 244-24A: 0\n", "Invalid ApIDs: 1\n", "Other 200-27F: 1\n",
        "Total 200-27F and invalid: 11\n", "Checksum errors: 1\n", "Sequence gaps: 1\n",
        "Start time: 2006 JAN  4 12:28:20\n", "End time: 2006 JAN  4 12:30:10\n"})
    EXPECT_TRUE(a.has(line)) << line << " missing from\n" << a.out;
  EXPECT_NE(a.err.find("not a whole number of 298-byte records"), std::string::npos);

  const Result b = Tallox({"scan", sw, "--no-swap"});
  EXPECT_EQ(b.out, a.out);
  // Read in the wrong order most records hold no telemetry header: one line says so.
  const Result wrong = Tallox({"scan", tx, "--no-swap"});
  EXPECT_EQ(wrong.rc, 1);
  EXPECT_TRUE(wrong.out.empty());
  EXPECT_NE(wrong.err.find("does not look like a telemetry file"), std::string::npos) << wrong.err;

  // Every label the scan prints is a label of the scan or main panel.
  const auto panel = PanelLabels({1, 3});
  for (const auto& l : Labels(a.out)) EXPECT_TRUE(panel.count(l)) << l;

  // A window: after the first delivered record only suite and companion records pass, and the
  // first suite record past the end stops the read.
  const Result w = Tallox({"scan", tx, "--start", "2006 JAN  4 12:30:01", "--end", "2006 JAN  4 12:30:05"});
  ASSERT_EQ(w.rc, 0) << w.err;
  EXPECT_TRUE(w.has("ApID 200: 2\n")) << w.out;
  EXPECT_TRUE(w.has("ApID 209: 3\n"));
  EXPECT_TRUE(w.has("ApID 201: 0\n"));
  EXPECT_FALSE(w.has("Start time: "));  // the fields are the user's in a windowed read
  const Result bad = Tallox({"scan", tx, "--start", "noon"});
  EXPECT_EQ(bad.rc, 1);
  EXPECT_NE(bad.err.find("Start time \"noon\" cannot be read"), std::string::npos);
}

TEST(TalloxCli, TimesOfTheWholeMissionRange) {
  // Past the 32-bit range of a 1900-based clock (2036) the texts still tell the true date.
  const std::string f = TempPath("cli_late.tlm");
  WriteRecords(f, {P(0x200, 0, 0), P(0x200, 1, 0xFFFFFFFFu)});
  const Result r = Tallox({"scan", f});
  EXPECT_TRUE(r.has("Start time: 1958 JAN  1 00:00:00\n")) << r.out;
  EXPECT_TRUE(r.has("End time: 2094 FEB  6 06:28:15\n"));
  // Those texts read back as the same seconds: a window on them keeps both records.
  const Result w = Tallox({"scan", f, "--start", "1958 JAN  1 00:00:00", "--end", "2094 FEB  6 06:28:15"});
  EXPECT_TRUE(w.has("ApID 200: 2\n")) << w.out;
  // Month words in any case; a word that is no month is refused.
  EXPECT_TRUE(Tallox({"scan", f, "--start", "1958 Jan  1 00:00:00"}).has("ApID 200: 2\n"));
  const Result bad = Tallox({"scan", f, "--start", "1958 Jam  1 00:00:00"});
  EXPECT_EQ(bad.rc, 1);
  EXPECT_NE(bad.err.find("\"Jam\" is no month"), std::string::npos) << bad.err;
  EXPECT_TRUE(bad.out.empty());
}

TEST(TalloxCli, PacketDisplayAndSearches) {
  Pkt hk = P(0x200, 5, 1500000000u);
  hk.frac = 0x80;
  hk.frac2 = 0x40;
  hk.groundDay = 0x445C;
  hk.groundMs = 0x01020304;
  hk.be16(12, (3u << 12) | (7u << 6) | 9u).be16(16, 31250).be16(18, 15625);
  hk.byte(21, 0x2F).byte(20, 47).byte(23, 48).byte(22, 49).be16(24, 5000).byte(27, 52).byte(26, 53);
  Pkt mag = P(0x208, 6, 1500000001u);
  mag.frac = 0x12;
  mag.frac2 = 0x34;
  for (int i = 0; i < 42; ++i)
    mag.be16(18 + 6 * i, 32768 + i).be16(20 + 6 * i, 32768 - i).be16(22 + 6 * i, 40000);
  Pkt moded = P(0x208, 7, 1500000002u);
  moded.byte(17, 0x40);
  Pkt bad = P(0x201, 0, 1500000003u);
  bad.badChecksum = true;
  const std::vector<Pkt> v = {hk,        mag, P(0x200, 6, 1500000002u), bad, P(0x1A3, 0, 0),
                              P(0x200, 8, 1500000004u), moded, P(0x241, 0, 1500000005u)};
  const std::string f = TempPath("cli_packet.tlm");
  WriteRecords(f, v);

  const Result r = Tallox({"packet", f, "0"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("Packet bytes:")),
            "Packet number: 0\n"
            "Record header: 0000 00 00 00 00EA 445C 01020304 0000 00\n"
            "00 00 00 00 00 00 00 00 00 00\n"
            "Packet header: 0A00 C005 0109 59682F00.80\n"
            "ApID: 200\n"
            "Time: 2005 JUL 14 02:40:00.50\n"
            "Checksum: 0 (green)\n");
  EXPECT_TRUE(r.has("Packet bytes:\n00 0A 05 C0  09 01 68 59  00 2F 40 80  C9 31 00 00\n"));
  const std::string dump = r.out.substr(r.out.find("Packet bytes:\n") + 14);
  EXPECT_EQ(std::count(dump.begin(), dump.begin() + dump.find("Word 42"), '\n'), 17);
  EXPECT_TRUE(r.has("Word 42 x 32e-6: 1.000000\nWord 44 x 32e-6: 0.500000\n"
                    "Byte 46 expanded / 65536: 0.000946\nClock:  3:07:09\nByte 49: 49\n"
                    "Byte 47: 47\nByte 48: 48\nWord 50: 5000\nByte 52: 52\nByte 53: 53\n"))
      << r.out;
  const auto panel = PanelLabels({7, 4});
  for (const auto& l : Labels(r.out)) EXPECT_TRUE(panel.count(l)) << l;

  // The MAG vectors, offset by 32768, with the four-decimal time; mean removal takes the
  // mean of each component off.
  const Result m = Tallox({"packet", f, "1"});
  EXPECT_TRUE(m.has("MAG time: 2005 JUL 14 02:40:01.0711\nSample\tX\tY\tZ\n"
                    " 0\t     0.0\t     0.0\t  7232.0\n 1\t     1.0\t    -1.0\t  7232.0\n"))
      << m.out;
  EXPECT_TRUE(m.has("41\t    41.0\t   -41.0\t  7232.0\n"));
  EXPECT_TRUE(Tallox({"packet", f, "1", "--ac"}).has("41\t    20.5\t   -20.5\t     0.0\n"));

  // The searches, each reading forward from the shown record.
  auto found = [&](std::vector<std::string> args) {
    args.insert(args.begin(), f);
    args.insert(args.begin(), "packet");
    const Result s = Tallox(args);
    const auto at = s.out.find("Packet number: ");
    return at == std::string::npos ? -1 : std::stoi(s.out.substr(at + 15));
  };
  EXPECT_EQ(found({"--find", "0"}), 3);   // checksum error
  EXPECT_EQ(found({"--find", "1"}), 4);   // invalid APID
  EXPECT_EQ(found({"--find", "2"}), 5);   // 0x200: 5, 6, then 8
  EXPECT_EQ(found({"--find", "3"}), 6);   // mode flag of 0x208 changes
  EXPECT_EQ(found({"--find-apid", "241"}), 7);
  EXPECT_EQ(found({"4", "--find-apid", "200"}), 5);
  EXPECT_EQ(Tallox({"packet", f, "--find-apid", "3"}).rc, 2);
  const Result none = Tallox({"packet", f, "5", "--find", "0"});
  EXPECT_TRUE(none.has("Packet number: 7\n"));  // the last whole record
  EXPECT_NE(none.err.find("not found"), std::string::npos);
  const Result badck = Tallox({"packet", f, "3"});
  EXPECT_TRUE(badck.has("Checksum: 4 (red)\n"));
  // Past the end the last whole record is shown, whatever partial record follows it.
  const std::string tail = TempPath("cli_tail.tlm");
  WriteRecords(tail, v, false, std::string(297, '\x01'));
  EXPECT_TRUE(Tallox({"packet", tail, "99"}).has("Packet number: 7\n"));
}

TEST(TalloxCli, BurstLogAndSpacingHistogram) {
  const std::vector<Pkt> v = {P(0x209, 10, kT0),     P(0x211, 0, kT0 + 1), P(0x209, 11, kT0 + 2),
                              P(0x200, 0, kT0 + 3),  P(0x209, 14, kT0 + 4), P(0x223, 16383, kT0 + 5),
                              P(0x223, 0, kT0 + 6)};
  const std::string f = TempPath("cli_burst.tlm");
  WriteRecords(f, v);
  const Result all = Tallox({"burst", f});
  ASSERT_EQ(all.rc, 0) << all.err;
  EXPECT_EQ(all.out.substr(0, all.out.find("ApID 209: ")),
            "     0 First ApID 209h 2006 JAN  4 12:30:00\n"
            "     1 First ApID 211h 2006 JAN  4 12:30:01\n"
            "     2 Skip ApID 209h 2006 JAN  4 12:30:02 - 2006 JAN  4 12:30:04 #2\n"
            "     5 First ApID 223h 2006 JAN  4 12:30:05\n"
            "     4                              Last ApID 209h 2006 JAN  4 12:30:04\n"
            "     1                              Last ApID 211h 2006 JAN  4 12:30:01\n"
            "     0                              Last ApID 221h 1958 JAN  1 00:00:00\n"
            "     6                              Last ApID 223h 2006 JAN  4 12:30:06\n");
  EXPECT_TRUE(all.has("ApID 209: 3\nApID 211: 1\nApID 221: 0\nApID 223: 2\nOthers: 1\nRecords: 7\n"));
  const auto panel = PanelLabels({8, 3});
  for (const auto& l : Labels(all.out)) EXPECT_TRUE(panel.count(l)) << l;
  const Result one = Tallox({"burst", f, "--apid", "223"});
  EXPECT_EQ(one.out.substr(0, one.out.find("ApID 209: ")),
            "     5 First ApID 223h 2006 JAN  4 12:30:05\n"
            "     6                              Last ApID 223h 2006 JAN  4 12:30:06\n");
  EXPECT_EQ(Tallox({"burst", f, "--apid", "200"}).rc, 2);

  std::vector<Pkt> t = {P(0x214, 0, 100), P(0x214, 1, 100), P(0x200, 0, 100), P(0x214, 2, 101),
                        P(0x214, 3, 101)};
  t[1].frac = 128;
  t[4].frac = 64;
  t[4].frac2 = 16;
  const std::string g = TempPath("cli_timing.tlm");
  WriteRecords(g, t);
  const Result coarse = Tallox({"timing", g, "--apid", "214"});
  EXPECT_EQ(coarse.out.substr(0, coarse.out.find("Start time")),
            "4 Packets\nSmallest spacing (s): 0.25000000\nLargest spacing (s): 0.50000000\n"
            "Spacing 0.25000000 s: 1\nSpacing 0.50000000 s: 2\n");
  const Result fine = Tallox({"timing", g, "--apid", "0x214", "--fine"});
  EXPECT_TRUE(fine.has("Spacing 0.2502441406250000 s: 1\nSpacing 0.5000000000000000 s: 2\n"))
      << fine.out;
  EXPECT_TRUE(Tallox({"timing", g, "--apid", "215"}).has("0 Packets\n"));
  EXPECT_EQ(Tallox({"timing", g}).rc, 2);
}

namespace {

const char* kSuiteTable =
    "h1\nh2\nh3\nh4\nMnemonic\tSize\tOffset\n"
    "ILin\t2\t40\tU16\t16\t0.5\t-3\tV\n"
    "IZero\t1\t43\tU8\t8\t0\t2\n"
    "ILog\t1\t45\tU8\t8\tLOGT\t0\n"
    "#Skipped\t2\t0\n"
    "ITemp\t2\t46\tU16\t16\tRTD\t0\n"
    "IMag\t2\t48\tU16\t16\tMAG\t0\n"
    "IYsi\t2\t50\tU16\t16\tYSI\t0\n"
    "ISTEUDig\t2\t52\tU16\t16\t1\t0\n"
    "ISTEU12V\t2\t54\tU16\t16\t0.01\t0\n"
    "ISTEUVCC1\t2\t56\tU16\t16\t0.001\t0\n"
    "ISTEU5VD\t2\t58\tU16\t16\t0.002\t0\n"
    "ISTEUCur\t2\t60\tU16\t16\t0.05\t0\n"
    "IDREVSTEDDig\t2\t62\tU16\t16\t1\t0\n"
    "IDREVSTE12V\t2\t64\tU16\t16\t0.01\t0\n"
    "IDREVSTEDVCC1\t2\t66\tU16\t16\t0.001\t0\n"
    "IDREVSTED5VD\t2\t68\tU16\t16\t0.0025\t0\n"
    "IDREVSTEDCur\t2\t70\tU16\t16\t0.05\t0\n"
    "Checksum\t1\t270\n"
    "YSI law\nA 1.5\nB 0\nC 0\nD 0\nE 0\nF 0\n"
    "RTD law\nA 1\nB 0.5\nC 0.25\n"
    "MAG law\nA 0\nB 1\nC 0\nD 0\nE 0\nF 1\n"
    "IDREVSTEDCur and ISTEUCur conversions\nx\ny\nz\nUa 1.0\nUb 0.5\nUc 2\nDa 2\nDb 1\nDc 0.5\n";

Pkt HkRecord(unsigned i) {
  Pkt p = P(0x200, i, kT0 + 10 * i);
  p.be16(40, 100 + i).byte(42, 7).byte(44, 0xFF).be16(46, 2).be16(48, 2).be16(50, 9);
  p.be16(52, 0x0030).be16(54, 1200).be16(56, 1500).be16(58, 2500).be16(60, 1000);
  p.be16(62, 0x0020).be16(64, 1100).be16(66, 1000).be16(68, 2000).be16(70, 400);
  return p;
}

}  // namespace

TEST(TalloxCli, HousekeepingExportIsByteExact) {
  const fs::path dir = TempPath("cli_station");
  fs::create_directories(dir / "database");
  WriteText((dir / "database" / "VANTIS_TLM.txt").string(), kSuiteTable);
  WriteText((dir / "database" / "sep_hkg.txt").string(),
            "1\n2\n3\n4\n5\nSTemp\t2\t40\tU16\t16\t0.1\t-10\tC\nChecksum\n");
  std::vector<Pkt> v;
  for (unsigned i = 0; i < 4; ++i) {
    v.push_back(HkRecord(i));
    Pkt s = P(0x241, i, kT0 + 10 * i + 5);
    s.le16(40, 300 + 10 * i);  // SEP words travel low byte first
    v.push_back(s);
  }
  const std::string f = TempPath("cli_hk.tlm");
  WriteRecords(f, v);
  const std::string points = "ILin,IZero,ILog,ITemp,IMag,IYsi,STEUDoor,ISTEUCur,ISTEUDig";
  const std::string head = "ZEPHRA VANTIS Housekeeping Data\n Data extracted from telemetry file " +
                           f + "\n\nTime,UTC \tILin \tIZero \tILog \tITemp \tIMag \tIYsi \tSTEUDoor "
                           "\tISTEUCur \tISTEUDig \n";
  auto row = [](const char* time, const char* lin) {
    return std::string(time) + " \t" + lin +
           " \t9.000000 \t7.750000 \t3.000000 \t34.000000 \t1.500000 \t3.000000 \t63.000000 "
           "\t48.000000 \n";
  };
  const Result r = Tallox({"hk", f, "--db", dir.string(), "--points", points});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_TRUE(r.has("Samples: 4\nWritten: " + TempPath("cli_hk.txt") + "\n")) << r.out;
  EXPECT_EQ(ReadText(TempPath("cli_hk.txt")),
            head + row("JAN/ 4/2006 12:30:00", "47.000000") + row("JAN/ 4/2006 12:30:10", "47.500000") +
                row("JAN/ 4/2006 12:30:20", "48.000000") + row("JAN/ 4/2006 12:30:30", "48.500000"));

  // The analyzer-side door and current: 2 x 20 mA + 1 x 11 V - 0.5 x (1 V - 5 V).
  const std::string dOut = TempPath("cli_d.txt");
  Tallox({"hk", f, "--db", dir.string(), "--points", "STEDDoor,IDREVSTEDCur", "--out", dOut});
  EXPECT_NE(ReadText(dOut).find("\nJAN/ 4/2006 12:30:00 \t2.000000 \t53.000000 \n"), std::string::npos)
      << ReadText(dOut);

  // Four samples in at most two rows: every second one. A minimum spacing of 25 s: the first
  // and the fourth.
  Tallox({"hk", f, "--db", dir.string(), "--points", points, "--rows", "2"});
  EXPECT_EQ(ReadText(TempPath("cli_hk.txt")),
            head + row("JAN/ 4/2006 12:30:00", "47.000000") + row("JAN/ 4/2006 12:30:20", "48.000000"));
  Tallox({"hk", f, "--db", dir.string(), "--points", points, "--spacing", "25"});
  EXPECT_EQ(ReadText(TempPath("cli_hk.txt")),
            head + row("JAN/ 4/2006 12:30:00", "47.000000") + row("JAN/ 4/2006 12:30:30", "48.500000"));

  // The SEP table reads its words low byte first, in either storage order of the file.
  const std::string sw = TempPath("cli_hk_sw.tlm");
  WriteRecords(sw, v, true);
  const std::string sepOut = TempPath("cli_sep.txt");
  ASSERT_EQ(Tallox({"hk", sw, "--no-swap", "--sep", "--db", dir.string(), "--points", "STemp", "--out", sepOut}).rc, 0);
  const std::string sep = ReadText(sepOut);
  EXPECT_EQ(sep.substr(sep.find("Time,UTC")),
            "Time,UTC \tSTemp \n"
            "JAN/ 4/2006 12:30:05 \t20.000000 \nJAN/ 4/2006 12:30:15 \t21.000000 \n"
            "JAN/ 4/2006 12:30:25 \t22.000000 \nJAN/ 4/2006 12:30:35 \t23.000000 \n");

  // Names: the extension is replaced; a dot in a folder name is no extension; an export never
  // replaces the telemetry file itself.
  const fs::path dotted = TempPath("run.2006");
  fs::create_directories(dotted);
  WriteRecords((dotted / "A0601041230").string(), v);
  EXPECT_EQ(Tallox({"hk", (dotted / "A0601041230").string(), "--db", dir.string(), "--points", "ILin"}).rc, 0);
  EXPECT_TRUE(fs::exists(dotted / "A0601041230.txt"));
  const std::string asText = TempPath("cli_rec.txt");
  WriteRecords(asText, v);
  const Result self = Tallox({"hk", asText, "--db", dir.string(), "--points", "ILin"});
  EXPECT_EQ(self.rc, 1);
  EXPECT_EQ(fs::file_size(asText), v.size() * 298u);

  // Without --db and without tables in the working directory: those of the station whose log/
  // holds the recording.
  fs::create_directories(dir / "log");
  WriteRecords((dir / "log" / "A0601041230.tlm").string(), v);
  const Result found = Tallox({"hk", "log/A0601041230.tlm", "--points", "ILin"}, dir.string());
  EXPECT_EQ(found.rc, 0) << found.err;
  EXPECT_TRUE(fs::exists(dir / "log" / "A0601041230.txt"));
  EXPECT_EQ(Tallox({"hk", (dir / "log" / "A0601041230.tlm").string(), "--points", "ILin"},
                   TempPath("")).rc, 0);
  // Tables: an unknown point, a missing suite table; a missing SEP table stops only SEP work.
  EXPECT_EQ(Tallox({"hk", f, "--db", dir.string(), "--points", "Nothing"}).rc, 2);
  const Result nodb = Tallox({"hk", f, "--db", TempPath("nowhere"), "--points", "ILin"});
  EXPECT_EQ(nodb.rc, 1);
  EXPECT_NE(nodb.err.find("Cannot open telemetry database file VANTIS_TLM.txt"), std::string::npos);
  fs::remove(dir / "database" / "sep_hkg.txt");
  EXPECT_EQ(Tallox({"hk", f, "--db", dir.string(), "--points", "ILin"}).rc, 0);
  const Result nosep = Tallox({"hk", f, "--db", dir.string(), "--sep", "--points", "STemp"});
  EXPECT_EQ(nosep.rc, 1);
  EXPECT_NE(nosep.err.find("Cannot open telemetry database file SEP_HKG.txt"), std::string::npos);
}

TEST(TalloxCli, HousekeepingStatistics) {
  std::vector<Pkt> v = {HkRecord(0), P(0x209, 0, kT0 + 1), HkRecord(1), HkRecord(3)};
  v[3].seq = 3;
  v[3].badChecksum = true;
  v[0].be16(12, (15u << 12) | (59u << 6) | 59u).byte(22, 240);  // 15:59:59, then 0:00:00
  v[2].be16(12, 0).byte(22, 250);
  v[3].be16(12, 5).byte(22, 4).byte(21, 0xFF);
  const std::string f = TempPath("cli_stats.tlm");
  WriteRecords(f, v);
  const Result r = Tallox({"hkstats", f});
  ASSERT_EQ(r.rc, 0) << r.err;
  for (const char* line :
       {"First time: 2006 JAN  4 12:30:00.00\n", "First clock: 15:59:59\n", "Last clock:  0:00:05\n",
        "Records: 4\n", "HK packets: 3\n", "Identification errors: 0\n", "Sequence errors: 1\n",
        "Length errors: 0\n", "Checksum errors: 1\n", "Spacing max (s): 20.000000\n",
        "Spacing min (s): 10.000000\n", "Spacing mean (s): 15.000000\n", "Clock step max: 5.000000\n",
        "Clock step min: 1.000000\n", "Byte 46 = 255: 1\n", "Byte 49 increments: 20\n"})
    EXPECT_TRUE(r.has(line)) << line << " missing from\n" << r.out;
  const auto panel = PanelLabels({13, 3});
  for (const auto& l : Labels(r.out)) EXPECT_TRUE(panel.count(l)) << l;
}

TEST(TalloxCli, SimulatorFilesInEitherOrderAndExitCodes) {
  if (!fs::exists(TALLOX_MOCSIM) || !fs::exists(fs::path(TALLOX_STATION_DIR) / "database" / "sep_hkg.txt"))
    GTEST_SKIP() << "the simulator or the sample database is not built here";
  auto write = [](const std::string& order, const std::string& out) {
    const std::string cmd = Quote(TALLOX_MOCSIM) + " --station " + Quote(TALLOX_STATION_DIR) +
                            " --count 300 --apids 200,209,241 --start-time 1800000000 --step 1"
                            " --fault badck@40,apid@50=1A3,gap@100=2"
                            " --value IPollTimeMax=0.5 --value ICommandCount=17"
                            " --value SEPTNS_Temp=21.5 --order " + order + " --write " + Quote(out) +
                            " >/dev/null 2>&1";
    (void)std::system(cmd.c_str());
    std::error_code ec;
    return fs::file_size(out, ec) == 300u * 298u;
  };
  const std::string tx = TempPath("sim_tx.tlm"), sw = TempPath("sim_sw.tlm");
  ASSERT_TRUE(write("tx", tx));
  ASSERT_TRUE(write("swapped", sw));
  const Result a = Tallox({"scan", tx}), b = Tallox({"scan", sw, "--no-swap"});
  EXPECT_EQ(a.out, b.out);
  for (const char* line : {"Checksum errors: 1\n", "Invalid ApIDs: 1\n", "Sequence gaps: 1\n",
                           "Errors 209: 2\n", "Total 200-27F and invalid: 300\n",
                           "Start time: 2027 JAN 15 08:00:00\n"})
    EXPECT_TRUE(a.has(line)) << line << " missing from\n" << a.out;

  const std::string station = TALLOX_STATION_DIR;
  ASSERT_EQ(Tallox({"hk", tx, "--db", station, "--points", "IPollTimeMax,ICommandCount"}).rc, 0);
  ASSERT_EQ(Tallox({"hk", sw, "--no-swap", "--db", station, "--points", "IPollTimeMax,ICommandCount",
                    "--out", TempPath("sim_sw_out.txt")}).rc, 0);
  const std::string t1 = ReadText(TempPath("sim_tx.txt")), t2 = ReadText(TempPath("sim_sw_out.txt"));
  EXPECT_EQ(t1.substr(t1.find("Time,UTC")), t2.substr(t2.find("Time,UTC")));
  EXPECT_NE(t1.find("JAN/15/2027 08:00:00 \t0.500000 \t17.000000 \n"), std::string::npos) << t1;
  const std::string o3 = TempPath("sim_sep.txt");
  Tallox({"hk", sw, "--no-swap", "--sep", "--db", station, "--points", "SEPTNS_Temp", "--out", o3});
  EXPECT_NE(ReadText(o3).find("\t21.500000 \n"), std::string::npos);

  // Exit codes: 0 done, 1 unreadable input, 2 wrong usage.
  EXPECT_EQ(Tallox({"scan", TempPath("missing.tlm")}).rc, 1);
  EXPECT_EQ(Tallox({"scan"}).rc, 2);
  EXPECT_EQ(Tallox({"scan", tx, "--bogus"}).rc, 2);
  const std::string tiny = TempPath("tiny.tlm");
  WriteText(tiny, std::string(297, '\x02'));
  const Result t = Tallox({"scan", tiny});
  EXPECT_EQ(t.rc, 0);
  EXPECT_TRUE(t.has("Total 200-27F and invalid: 0\nChecksum errors: 0\nSequence gaps: 0\nNo record in the file\n"))
      << t.out;
  EXPECT_NE(t.err.find("holds no whole 298-byte record"), std::string::npos);
}

TEST(TalloxCli, CommandLinesTypedHeadless) {
  EXPECT_EQ(tallox::SplitCommandLine("scan a.tlm --start \"2006 JAN  4 12:30:00\" --no-swap\r"),
            (std::vector<std::string>{"scan", "a.tlm", "--start", "2006 JAN  4 12:30:00", "--no-swap"}));
  EXPECT_EQ(tallox::SplitCommandLine("  hk \"\" x  "), (std::vector<std::string>{"hk", "", "x"}));
  EXPECT_TRUE(tallox::SplitCommandLine("   ").empty());
}

// The science verbs on simulator recordings: both storage orders give the same products, and
// the counts agree with the APID scan's.
TEST(TalloxCli, ScienceVerbsOnSimulatorFilesInEitherOrder) {
  if (!fs::exists(TALLOX_MOCSIM)) GTEST_SKIP() << "the simulator is not built here";
  auto write = [](const std::string& order, const std::string& out) {
    const std::string cmd = Quote(TALLOX_MOCSIM) + " --station " + Quote(TALLOX_STATION_DIR) +
                            " --count 200 --apids 208,209,220,222 --start-time 1800000000 --step 1"
                            " --order " + order + " --write " + Quote(out) + " >/dev/null 2>&1";
    (void)std::system(cmd.c_str());
    std::error_code ec;
    return fs::file_size(out, ec) == 200u * 298u;
  };
  const std::string tx = TempPath("sci_tx.tlm"), sw = TempPath("sci_sw.tlm");
  ASSERT_TRUE(write("tx", tx));
  ASSERT_TRUE(write("swapped", sw));
  const Result scan = Tallox({"scan", tx});
  ASSERT_TRUE(scan.has("ApID 208: 50\n")) << scan.out;
  for (const char* verb : {"magseries", "sterates"}) {
    const Result a = Tallox({verb, tx}), b = Tallox({verb, sw, "--no-swap"});
    EXPECT_EQ(a.rc, 0) << a.err;
    EXPECT_EQ(a.out, b.out) << verb;
  }
  EXPECT_TRUE(Tallox({"magseries", tx}).has("Packets: 50\nSamples: 2100\n"));
  // Rate frames stay inside the recording: ten frames of 4 s a packet do not fit the simulator's
  // packet spacing, so frames that reach the next packet (or the end) are left out.
  const Result rates = Tallox({"sterates", tx});
  EXPECT_TRUE(rates.has("Packets: 50\nFrames: ")) << rates.out;
  const auto values = [](const std::string& text) {
    std::map<std::string, std::string> m;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      if (auto c = line.find(": "); c != std::string::npos) m[line.substr(0, c)] = line.substr(c + 2);
    return m;
  };
  auto v = values(rates.out);
  EXPECT_LE(tallox::GetUTC(v["Last time"]), tallox::GetUTC(v["End time"])) << rates.out;
  EXPECT_GE(tallox::GetUTC(v["First time"]), tallox::GetUTC(v["Start time"])) << rates.out;
  EXPECT_NE(rates.err.find("rate frames reaching the next rate packet"), std::string::npos);
  const Result s1 = Tallox({"ste", tx}), s2 = Tallox({"ste", sw, "--no-swap", "--out", TempPath("sci_sw_ste.txt")});
  ASSERT_EQ(s1.rc, 0) << s1.err;
  const std::string f1 = ReadText(TempPath("sci_txSTE.txt")), f2 = ReadText(TempPath("sci_sw_ste.txt"));
  EXPECT_EQ(f1.substr(f1.find("  Accumulated")), f2.substr(f2.find("  Accumulated")));
  EXPECT_EQ(Tallox({"mag", tx, "0"}).rc, 0);
  EXPECT_EQ(ReadText(TempPath("sci_tx.txt")).rfind("ZEPHRA VANTIS MAG Data\n", 0), 0u);
  const Result fit = Tallox({"fit", tx, "1"});  // record 1: APID 209, a MAG packet too
  EXPECT_EQ(fit.rc, 0);
  EXPECT_TRUE(fit.has("\nZ fit: ")) << fit.out;
  const Result notMag = Tallox({"fit", tx, "2"});  // record 2: STE rates
  EXPECT_EQ(notMag.rc, 1);
  EXPECT_NE(notMag.err.find("not a MAG packet"), std::string::npos);
}

// Faults a new user met: each case failed before its mend.
TEST(TalloxCli, TimeWindowsDeliverExactlyTheRecordsInside) {
  // Suite records every 10 s from 05:00:00, a companion record after each, and a spacecraft one.
  constexpr std::uint32_t t5 = 1515042000u;  // 2006 JAN  4 05:00:00
  std::vector<Pkt> v;
  for (unsigned i = 0; i < 6; ++i) {
    v.push_back(P(0x200, i, t5 + 10 * i));
    v.push_back(P(0x313, i, t5 + 10 * i + 8));
    v.push_back(P(0x00B, i, t5 + 10 * i + 9));
  }
  const std::string f = TempPath("cli_window_exact.tlm");
  WriteRecords(f, v);
  auto window = [&](const char* verb, const char* from, const char* to) {
    return Tallox({verb, f, "--start", from, "--end", to});
  };
  // Nothing lies between 05:00:03 and 05:00:07: no record, and it is said.
  Result r = window("scan", "2006 JAN 4 05:00:03", "2006 JAN 4 05:00:07");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_TRUE(r.has("ApID 200: 0\n")) << r.out;
  EXPECT_TRUE(r.has("ApID 300-37F: 0\n"));
  EXPECT_TRUE(r.has("No record in the window\n"));
  EXPECT_FALSE(r.has("Start time"));
  // 05:00:10 - 05:00:20: the suite records at 10 and 20 and the companion record at 18; the
  // companion record at 28 lies after the end.
  r = window("scan", "2006 JAN 4 05:00:10", "2006 JAN 4 05:00:20");
  EXPECT_TRUE(r.has("ApID 200: 2\n")) << r.out;
  EXPECT_TRUE(r.has("ApID 300-37F: 1\n"));
  EXPECT_TRUE(r.has("ApID 000-0FF: 0\n"));
  r = window("burst", "2006 JAN 4 05:00:10", "2006 JAN 4 05:00:20");
  EXPECT_TRUE(r.has("Others: 3\nRecords: 3\n")) << r.out;
  // A start after the end is refused, whatever the verb.
  for (const char* verb : {"scan", "burst", "hkstats", "magseries"}) {
    r = window(verb, "2006 JAN 4 05:00:20", "2006 JAN 4 05:00:10");
    EXPECT_EQ(r.rc, 1) << verb;
    EXPECT_NE(r.err.find("is after the end time"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  // The whole file: its times; an empty file says it holds no record instead of showing times.
  r = Tallox({"scan", f});
  EXPECT_TRUE(r.has("Start time: 2006 JAN  4 05:00:00\nEnd time: 2006 JAN  4 05:00:58\n")) << r.out;
  const std::string empty = TempPath("cli_empty.tlm");
  WriteText(empty, "");
  for (const char* verb : {"scan", "burst", "hkstats", "sterates"}) {
    r = Tallox({verb, empty});
    EXPECT_EQ(r.rc, 0) << verb;
    EXPECT_TRUE(r.has("No record in the file\n")) << verb << "\n" << r.out;
    EXPECT_FALSE(r.has("Start time")) << verb;
  }
}

TEST(TalloxCli, NothingToShowOrReadIsAFailure) {
  // No whole record to show.
  const std::string empty = TempPath("cli_pk_empty.tlm"), tiny = TempPath("cli_pk_tiny.tlm");
  WriteText(empty, "");
  WriteText(tiny, std::string(297, '\x01'));
  for (const auto& f : {empty, tiny}) {
    const Result r = Tallox({"packet", f, "0"});
    EXPECT_EQ(r.rc, 1) << f;
    EXPECT_NE(r.err.find("holds no whole record"), std::string::npos);
    EXPECT_EQ(Tallox({"packet", f, "--find", "0"}).rc, 1);
  }
  // A directory where the suite table belongs cannot be read as one.
  const fs::path dir = TempPath("cli_dir_table");
  fs::create_directories(dir / "database" / "VANTIS_tlm.txt");
  const std::string f = TempPath("cli_dir_table.tlm");
  WriteRecords(f, {P(0x200, 0, kT0)});
  const Result t = Tallox({"hk", f, "--db", dir.string(), "--points", "ILin"});
  EXPECT_EQ(t.rc, 1);
  EXPECT_NE(t.err.find("Cannot open telemetry database file VANTIS_TLM.txt"), std::string::npos) << t.err;
  EXPECT_NE(t.err.find("VANTIS_tlm.txt: Is a directory"), std::string::npos) << t.err;
  // Text is no telemetry: said in one line, no report.
  const std::string text = TempPath("cli_notes.md");
  std::string notes;
  for (int i = 0; i < 40; ++i) notes += "# A line of notes that is not telemetry at all, number " + std::to_string(i) + "\n";
  WriteText(text, notes);
  for (const char* verb : {"scan", "hkstats", "burst"}) {
    const Result n = Tallox({verb, text});
    EXPECT_EQ(n.rc, 1) << verb;
    EXPECT_TRUE(n.out.empty()) << n.out;
    EXPECT_NE(n.err.find("does not look like a telemetry file"), std::string::npos) << n.err;
    const std::string last = n.err.substr(n.err.rfind('\n', n.err.size() - 2) + 1);
    EXPECT_EQ(last.rfind("tallox: " + text + " does not look like a telemetry file: 7 of 7 records", 0), 0u) << n.err;
  }
  // A recording with a few bad records is still a recording.
  std::vector<Pkt> mostly = {P(0x200, 0, kT0), P(0x200, 1, kT0 + 1), P(0x1A3, 0, kT0 + 2)};
  const std::string m = TempPath("cli_mostly.tlm");
  WriteRecords(m, mostly);
  EXPECT_EQ(Tallox({"scan", m}).rc, 0);
  // A housekeeping run on a file without housekeeping says so with one blank between words.
  const fs::path db = TempPath("cli_tables");
  fs::create_directories(db / "database");
  WriteText((db / "database" / "VANTIS_TLM.txt").string(), "1\n2\n3\n4\n5\nILin\t2\t40\tU16\t16\t1\t0\tV\nChecksum\n");
  WriteText((db / "database" / "sep_hkg.txt").string(), "1\n2\n3\n4\n5\nSTemp\t2\t40\tU16\t16\t1\t0\tC\nChecksum\n");
  const std::string nohk = TempPath("cli_nohk.tlm");
  WriteRecords(nohk, {P(0x209, 0, kT0)});
  const Result h = Tallox({"hk", nohk, "--db", db.string(), "--points", "ILin"});
  EXPECT_NE(h.err.find("tallox: no housekeeping packets; nothing written"), std::string::npos) << h.err;
  const Result hs = Tallox({"hk", nohk, "--db", db.string(), "--sep", "--points", "STemp"});
  EXPECT_NE(hs.err.find("tallox: no SEP housekeeping packets; nothing written"), std::string::npos) << hs.err;
}

namespace {

// Runs a shell command line; its stdout, stderr and exit code.
Result Shell(const std::string& cmd) {
  static int n = 0;
  const std::string errPath = TempPath("shell_err_" + std::to_string(++n) + ".txt");
  Result r;
  if (FILE* p = popen((cmd + " 2>" + Quote(errPath)).c_str(), "r")) {
    char buf[4096];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, got);
    const int status = pclose(p);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  r.err = ReadText(errPath);
  return r;
}

// The rows of a CSV text as read by Python's csv module (an independent reader).
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  const std::string path = TempPath("read_back.csv");
  WriteText(path, text);
  const Result r = Shell("python3 -c 'import csv, json, sys; json.dump(list(csv.reader(open(sys.argv[1], newline=\"\"))), sys.stdout)' " +
                         Quote(path));
  if (r.rc != 0) return {};
  return nlohmann::json::parse(r.out).get<std::vector<std::vector<std::string>>>();
}

std::vector<std::pair<std::string, std::string>> ValuesOf(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> v;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (auto c = line.find(": "); c != std::string::npos && line[0] != ' ') v.push_back({line.substr(0, c), line.substr(c + 2)});
  return v;
}

}  // namespace

TEST(TalloxCli, CommandLineContract) {
  const Result help = Tallox({"--help"});
  EXPECT_EQ(help.rc, 0);
  EXPECT_EQ(help.out.rfind("usage:\n", 0), 0u);
  EXPECT_TRUE(help.err.empty());
  const Result version = Tallox({"--version"});
  EXPECT_EQ(version.rc, 0);
  EXPECT_EQ(version.out, std::string("tallox ") + VANTIS_VERSION + "\n");
  const std::string f = TempPath("cli_contract.tlm");
  WriteRecords(f, {P(0x200, 0, kT0)});
  // A mistyped verb or option: one line, exit 2, and standard input is never read as commands.
  const Result verb = Shell("echo 'scan " + f + "' | " + Quote(TALLOX_BINARY) + " scna " + Quote(f));
  EXPECT_EQ(verb.rc, 2);
  EXPECT_EQ(verb.err, "tallox: unknown verb 'scna'; try --help\n");
  EXPECT_TRUE(verb.out.empty()) << verb.out;
  for (const auto& args : std::vector<std::vector<std::string>>{{"--x"}, {"scan", f, "--x"}, {"--headless", "--x"}}) {
    const Result r = Tallox(args);
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.err, "tallox: unknown option '--x'; try --help\n");
    EXPECT_TRUE(r.out.empty());
  }
  // Other wrong usage is one line too; a recording that is not there fails before any panel.
  const Result usage = Tallox({"timing", f});
  EXPECT_EQ(usage.rc, 2);
  EXPECT_EQ(usage.err, "tallox: timing needs --apid A; try --help\n");
  const Result missing = Tallox({TempPath("nowhere.tlm")});
  EXPECT_EQ(missing.rc, 1);
  EXPECT_NE(missing.err.find("nowhere.tlm: No such file or directory"), std::string::npos) << missing.err;

  // The batch program loads none of the GUI libraries...
  const Result libs = Shell("ldd " + Quote(TALLOX_BINARY));
  if (libs.rc == 0) {
    EXPECT_EQ(libs.out.find("libQt"), std::string::npos) << libs.out;
  }
  // ...and hands over to the panel program without a verb: headless, it reads verbs from
  // standard input, a mistyped one refused in the same words.
  const Result headless = Shell("printf 'scan " + f + "\\nscna x\\n' | " + Quote(TALLOX_BINARY) + " --headless");
  EXPECT_EQ(headless.rc, 0) << headless.err;
  EXPECT_NE(headless.out.find("ApID 200: 1\n"), std::string::npos) << headless.out;
  EXPECT_NE(headless.err.find("tallox: unknown verb 'scna'; try --help\n"), std::string::npos) << headless.err;
}

TEST(TalloxCli, SeveralFilesGiveEachReportInOrderAndTheTotal) {
  // The first file is the largest so that it finishes last when the files run side by side.
  std::vector<Pkt> big;
  for (unsigned i = 0; i < 30000; ++i) big.push_back(P(i % 3 ? 0x209 : 0x200, i % 3 ? i - i / 3 - 1 : i / 3, kT0 + i));
  big.push_back(P(0x1A3, 0, kT0 + 40000));
  std::vector<Pkt> gap = {P(0x200, 5, kT0 - 500), P(0x200, 9, kT0 - 400), P(0x313, 0, kT0 - 300)};
  gap[1].badChecksum = true;
  std::vector<Pkt> late = {P(0x00B, 0, kT0 + 90000), P(0x241, 0, kT0 + 90001)};
  const std::string a = TempPath("multi_a.tlm"), b = TempPath("multi, b.tlm"), c = TempPath("multi_c.tlm");
  WriteRecords(a, big);
  WriteRecords(b, gap);
  WriteRecords(c, late);

  const Result all = Tallox({"scan", a, b, c});
  ASSERT_EQ(all.rc, 0) << all.err;
  std::string expected;
  std::map<std::string, long long> sums;
  std::vector<std::string> order;
  for (const auto& f : {a, b, c}) {
    const Result one = Tallox({"scan", f});
    ASSERT_EQ(one.rc, 0);
    expected += "== " + f + "\n" + one.out;
    for (const auto& [label, value] : ValuesOf(one.out)) {
      if (label == "Start time" || label == "End time") continue;
      if (!sums.count(label)) order.push_back(label);
      sums[label] += std::stoll(value);
    }
  }
  expected += "== Total of 3 files\n";
  for (const auto& l : order) expected += l + ": " + std::to_string(sums[l]) + "\n";
  expected += "Start time: " + tallox::GetTime1(kT0 - 500) + "\nEnd time: " + tallox::GetTime1(kT0 + 90001) + "\n";
  EXPECT_EQ(all.out, expected);
  EXPECT_EQ(sums["Sequence gaps"], 1);
  EXPECT_EQ(sums["Checksum errors"], 1);

  // One file that cannot be read fails the run, the others still report.
  const Result partly = Tallox({"scan", b, TempPath("multi_missing.tlm"), c});
  EXPECT_EQ(partly.rc, 1);
  EXPECT_NE(partly.out.find("== " + c + "\n"), std::string::npos);
  EXPECT_NE(partly.err.find("multi_missing.tlm: No such file"), std::string::npos);
  // Histograms add up bin by bin.
  const Result t = Tallox({"timing", a, a, "--apid", "200"});
  EXPECT_NE(t.out.find("== Total of 2 files\n20000 Packets\n"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("Spacing 3.00000000 s: 19998\n"), std::string::npos);

  // The same as CSV (one header row, a row a file and the total) and as JSON.
  const auto rows = ReadCsv(Tallox({"scan", a, b, c, "--format", "csv"}).out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0][0], "File");
  EXPECT_EQ(rows[2][0], b);  // the comma inside the name survives
  EXPECT_EQ(rows[4][0], "Total");
  for (std::size_t col = 1; col < rows[0].size(); ++col) {
    if (rows[0][col].find("time") != std::string::npos) continue;
    EXPECT_EQ(std::stoll(rows[4][col]), sums[rows[0][col]]) << rows[0][col];
    EXPECT_EQ(std::stoll(rows[1][col]) + std::stoll(rows[2][col]) + std::stoll(rows[3][col]), sums[rows[0][col]]);
  }
  EXPECT_EQ(rows[4].back(), "2006-01-05T13:30:01Z");  // the latest end, ISO 8601 UTC
  const auto j = nlohmann::json::parse(Tallox({"scan", a, b, c, "--format", "json"}).out);
  ASSERT_EQ(j["files"].size(), 3u);
  EXPECT_EQ(j["files"][1]["File"], b);
  EXPECT_EQ(j["files"][1]["Sequence gaps"], 1);
  EXPECT_EQ(j["total"]["ApID 209"], 20000);
  EXPECT_EQ(j["total"]["Start time (UTC)"], "2006-01-04T12:21:40Z");
}

TEST(TalloxCli, CsvReadBackHoldsTheTextExportsNumbers) {
  const fs::path dir = TempPath("csv_station");
  fs::create_directories(dir / "database");
  WriteText((dir / "database" / "VANTIS_TLM.txt").string(), kSuiteTable);
  WriteText((dir / "database" / "sep_hkg.txt").string(), "1\n2\n3\n4\n5\nChecksum\n");
  std::vector<Pkt> v;
  for (unsigned i = 0; i < 12; ++i) v.push_back(HkRecord(i));
  const std::string f = TempPath("csv_hk.tlm");
  WriteRecords(f, v);
  const std::vector<std::string> common = {f, "--db", dir.string(), "--points", "ILin,ILog,ITemp,STEUDoor", "--rows", "5"};
  std::vector<std::string> text = {"hk"}, csv = {"hk"};
  text.insert(text.end(), common.begin(), common.end());
  csv.insert(csv.end(), common.begin(), common.end());
  csv.insert(csv.end(), {"--format", "csv"});
  ASSERT_EQ(Tallox(text).rc, 0);
  const std::string exported = ReadText(TempPath("csv_hk.txt"));
  const Result c = Tallox(csv);
  ASSERT_EQ(c.rc, 0) << c.err;
  const auto rows = ReadCsv(c.out);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"File", "Time (UTC)", "ILin (V)", "ILog", "ITemp", "STEUDoor"}));
  // The text export's data lines, value for value, the time as ISO 8601.
  std::istringstream in(exported.substr(exported.find("\n", exported.find("Time,UTC")) + 1));
  std::size_t row = 1;
  for (std::string line; std::getline(in, line); ++row) {
    ASSERT_LT(row, rows.size());
    std::istringstream cols(line);
    std::string time, value;
    std::getline(cols, time, '\t');
    const auto t = tallox::GetUTC32(time.substr(7, 4) + " " + time.substr(0, 3) + " " + time.substr(4, 2) + " " + time.substr(12, 8));
    ASSERT_TRUE(t) << time;
    EXPECT_EQ(rows[row][1], tallox::IsoFromText(tallox::GetTime1(*t)));
    EXPECT_EQ(rows[row][0], f);
    for (std::size_t k = 2; std::getline(cols, value, '\t'); ++k) EXPECT_EQ(std::stod(rows[row][k]), std::stod(value)) << line;
  }
  EXPECT_EQ(row, rows.size());
  EXPECT_EQ(row - 1, 4u);  // twelve samples in at most five rows: every third

  // A summary verb: the scan's row holds the text report's numbers under its labels.
  const Result scanText = Tallox({"scan", f});
  const auto scanRows = ReadCsv(Tallox({"scan", f, "--format", "csv"}).out);
  ASSERT_EQ(scanRows.size(), 2u);
  std::map<std::string, std::string> csvValues;
  for (std::size_t k = 0; k < scanRows[0].size(); ++k) csvValues[scanRows[0][k]] = scanRows[1][k];
  for (const auto& [label, value] : ValuesOf(scanText.out)) {
    if (label == "Start time" || label == "End time")
      EXPECT_EQ(csvValues[label + " (UTC)"], tallox::IsoFromText(value));
    else
      EXPECT_EQ(csvValues[label], value) << label;
  }
  EXPECT_EQ(csvValues["Start time (UTC)"], "2006-01-04T12:30:00Z");
  // json is for the summary verbs only.
  EXPECT_EQ(Tallox({"timing", f, "--apid", "200", "--format", "json"}).rc, 2);
}

namespace {

// Starts tallox with its panels (offscreen) in dir, sends sig after a while and returns how it
// ended: the exit code, or -1 when it did not end by itself within ten seconds.
int StopWithSignal(const std::vector<std::string>& args, const std::string& dir, int sig) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<char*> argv = {const_cast<char*>(TALLOX_BINARY)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(TALLOX_BINARY, argv.data());
    _exit(127);
  }
  usleep(2500 * 1000);  // the panels are up (and the start-up pop-up open)
  kill(pid, sig);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(100 * 1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

}  // namespace

TEST(TalloxCli, StopSignalsEndThePanelsCleanly) {
  const std::string f = TempPath("cli_signal.tlm");
  WriteRecords(f, {P(0x200, 0, kT0)});
  // Without tables the start-up shows the "ERROR" pop-up; the signal closes it and ends tallox.
  const fs::path bare = TempPath("cli_signal_bare");
  fs::create_directories(bare);
  EXPECT_EQ(StopWithSignal({f}, bare.string(), SIGTERM), 0);
  // With tables no pop-up: the main panel waits for the user.
  EXPECT_EQ(StopWithSignal({f}, TALLOX_STATION_DIR, SIGINT), 0);
}
