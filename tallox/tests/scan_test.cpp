#include <gtest/gtest.h>

#include "core/scans.h"
#include "test_util.h"

using namespace tallox;
using tallox::test::Pkt;
using tallox::test::TempPath;
using tallox::test::WriteRecords;

namespace {

ScanInput Input(const std::string& path, bool swap = true) {
  ScanInput in;
  in.FileName = path;
  in.ctl.swap = swap;
  in.ctl.wholeFile = true;
  return in;
}

// A file with known faults: 0x200 with one gap (5 -> 7) and a wrap 16383 -> 0, 0x209 with one
// checksum error and one gap, 0x241 clean, 0x305 with a checksum error, spacecraft 0x00B,
// illegal 0x1A3 and 0x2A0.
std::vector<Pkt> FaultyStream() {
  std::vector<Pkt> v;
  std::uint32_t t = 1500000000;
  auto add = [&](unsigned apid, unsigned seq, bool bad = false) {
    Pkt p;
    p.apid = apid;
    p.seq = seq;
    p.sec = t++;
    p.badChecksum = bad;
    v.push_back(p);
  };
  add(0x200, 16382);
  add(0x200, 16383);
  add(0x200, 0);  // wrap: no gap
  add(0x200, 1);
  add(0x200, 3);  // gap
  add(0x209, 100);  // first of its APID: no gap
  add(0x209, 101, true);  // checksum error
  add(0x209, 105);  // gap
  add(0x241, 7);
  add(0x241, 8);
  add(0x305, 1, true);
  add(0x305, 9);  // no gap test outside 0x200-0x27F
  add(0x00B, 1);
  add(0x00B, 50, true);  // spacecraft: no checks
  add(0x1A3, 0);
  add(0x2A0, 0);
  add(0x245, 1);
  add(0x24F, 1);
  add(0x27E, 1);  // in range, listed nowhere
  return v;
}

}  // namespace

TEST(TalloxScanApIDs, CountsInjectedGapsChecksumErrorsAndIllegalApids) {
  const std::string path = TempPath("faulty.tlm");
  WriteRecords(path, FaultyStream());
  ScanInput in = Input(path);
  ApidScan s = ScanApIDs(in);
  EXPECT_TRUE(s.error.empty());
  EXPECT_EQ(s.records, 19u);
  EXPECT_EQ(s.slotCount[0x00], 5u);
  EXPECT_EQ(s.slotErrors[0x00], 1u);
  EXPECT_EQ(s.slotCount[0x09], 3u);
  EXPECT_EQ(s.slotErrors[0x09], 2u);  // one gap, one checksum
  EXPECT_EQ(s.slotCount[0x41], 2u);
  EXPECT_EQ(s.slotErrors[0x41], 0u);
  EXPECT_EQ(s.count300, 2u);
  EXPECT_EQ(s.countLow, 2u);
  EXPECT_EQ(s.invalid, 2u);
  EXPECT_EQ(s.total200, 13u);
  EXPECT_EQ(s.sequenceGaps, 2u);
  EXPECT_EQ(s.checksumErrors, 2u);  // 0x209 and 0x305; the spacecraft one is not checked
  EXPECT_EQ(s.grandTotal(), 15u);
  EXPECT_EQ(s.other(), 1u);  // 0x27E
  auto rows = s.listed();
  ASSERT_EQ(rows.size(), 23u);
  EXPECT_EQ(rows[0].label, "200");
  EXPECT_EQ(rows[19].label, "244-24A");
  EXPECT_EQ(rows[19].count, 1u);
  EXPECT_EQ(rows[20].count, 1u);
  // The start and end fields show the first and last times of the file.
  EXPECT_EQ(in.ctl.startText, GetTime1(1500000000));
  EXPECT_EQ(in.ctl.endText, GetTime1(1500000000 + 18));  // last suite/companion record
  const std::string text = FormatApidScan(s);
  EXPECT_NE(text.find("Sequence gaps: 2\n"), std::string::npos);
  EXPECT_NE(text.find("Invalid ApIDs: 2\n"), std::string::npos);
  EXPECT_NE(text.find("Errors 209: 2\n"), std::string::npos);
}

TEST(TalloxScanApIDs, SwappedStorageWithToggleOffGivesTheSameScan) {
  const std::string a = TempPath("trans.tlm"), b = TempPath("swapped.tlm");
  WriteRecords(a, FaultyStream(), false);
  WriteRecords(b, FaultyStream(), true);
  ScanInput ia = Input(a, true), ib = Input(b, false);
  const std::string ta = FormatApidScan(ScanApIDs(ia)), tb = FormatApidScan(ScanApIDs(ib));
  EXPECT_EQ(ta, tb);
  EXPECT_EQ(ia.ctl.startText, ib.ctl.startText);
  EXPECT_EQ(ia.ctl.endText, ib.ctl.endText);
  // With the wrong toggle the same file scans differently: the toggle matters.
  ScanInput wrong = Input(b, true);
  EXPECT_NE(FormatApidScan(ScanApIDs(wrong)), ta);
}

TEST(TalloxScanApIDs, BadFilesGiveZerosAndAReason) {
  const std::string shortFile = TempPath("short.tlm");
  tallox::test::WriteText(shortFile, std::string(297, '\x01'));
  ScanInput in = Input(shortFile);
  ApidScan s = ScanApIDs(in);
  EXPECT_EQ(s.records, 0u);
  EXPECT_EQ(s.grandTotal(), 0u);

  const std::string empty = TempPath("empty.tlm");
  tallox::test::WriteText(empty, "");
  ScanInput ie = Input(empty);
  EXPECT_EQ(ScanApIDs(ie).records, 0u);

  ScanInput missing = Input(TempPath("does-not-exist.tlm"));
  ApidScan m = ScanApIDs(missing);
  EXPECT_EQ(m.records, 0u);
  EXPECT_NE(m.error.find("Cannot open file"), std::string::npos);

  // Text is no telemetry: every record is counted, as invalid or whatever its bytes say.
  const std::string text = TempPath("text.tlm");
  std::string junk;
  for (int i = 0; i < 40; ++i) junk += "this is a line of text, not a telemetry record\n";
  tallox::test::WriteText(text, junk);
  ScanInput it = Input(text);
  ApidScan t = ScanApIDs(it);
  EXPECT_EQ(t.records, junk.size() / 298);

  // A trailing partial record is ignored.
  const std::string tail = TempPath("tail.tlm");
  WriteRecords(tail, FaultyStream(), false, "partial");
  ScanInput itail = Input(tail);
  EXPECT_EQ(ScanApIDs(itail).records, 19u);
}

TEST(TalloxRecordSource, TimeWindowAndUnreadableFields) {
  const std::string path = TempPath("window.tlm");
  std::vector<Pkt> v;
  for (int i = 0; i < 20; ++i) {
    Pkt p;
    p.apid = (i % 5 == 4) ? 0x00B : 0x200;
    p.seq = static_cast<unsigned>(i);
    p.sec = 1500000000u + 60u * static_cast<unsigned>(i);
    v.push_back(p);
  }
  WriteRecords(path, v);
  ScanInput in = Input(path);
  in.ctl.wholeFile = false;
  in.ctl.startText = GetTime1(1500000000u + 60 * 5);
  in.ctl.endText = GetTime1(1500000000u + 60 * 12);
  std::vector<std::uint32_t> seen;
  while (const std::uint8_t* r = in.source.GetData(in.FileName, in.ctl))
    seen.push_back(PacketSeconds(r, true));
  // Windowed reads deliver only suite/companion records from the start through the end.
  std::vector<std::uint32_t> want;
  for (int i = 5; i <= 12; ++i)
    if (i % 5 != 4) want.push_back(1500000000u + 60u * static_cast<unsigned>(i));
  EXPECT_EQ(seen, want);

  in.ctl.startText = "sometime soon";
  ApidScan s = ScanApIDs(in);
  EXPECT_EQ(s.records, 0u);
  EXPECT_NE(s.error.find("Start time"), std::string::npos);
  in.ctl.startText = GetTime1(1500000000u);
  in.ctl.endText = "";
  s = ScanApIDs(in);
  EXPECT_NE(s.error.find("End time"), std::string::npos);
}

TEST(TalloxRecordSource, SmallBuffersDeliverEveryRecordAndRestartAfterTheEnd) {
  const std::string path = TempPath("chunks.tlm");
  std::vector<Pkt> v(25);
  for (int i = 0; i < 25; ++i) v[i].seq = static_cast<unsigned>(i);
  WriteRecords(path, v, false, "xyz");
  RecordSource src(4);  // four records a read: many refills, one with the partial tail
  SourceControls ctl;
  for (int pass = 0; pass < 2; ++pass) {
    unsigned n = 0;
    while (const std::uint8_t* r = src.GetData(path, ctl)) EXPECT_EQ(PacketSeqCount(r, true), n++);
    EXPECT_EQ(n, 25u);
    EXPECT_FALSE(src.isOpen());
  }
}

TEST(TalloxScanCancel, ProgressCanStopALongScan) {
  const std::string path = TempPath("long.tlm");
  std::vector<Pkt> v(20000);
  for (std::size_t i = 0; i < v.size(); ++i) v[i].seq = static_cast<unsigned>(i);
  WriteRecords(path, v);
  ScanInput in = Input(path);
  int calls = 0;
  in.progress = [&](std::uint64_t done, std::uint64_t total) {
    ++calls;
    EXPECT_LE(done, total);
    return false;
  };
  ApidScan s = ScanApIDs(in);
  EXPECT_TRUE(s.cancelled);
  EXPECT_LT(s.records, 20000u);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(in.source.isOpen());
  in.progress = {};
  EXPECT_EQ(ScanApIDs(in).records, 20000u);  // the next scan starts afresh
}

TEST(TalloxScanBurst1, LogsFirstSkipAndLastLines) {
  const std::string path = TempPath("burst.tlm");
  std::vector<Pkt> v;
  auto add = [&](unsigned apid, unsigned seq, std::uint32_t sec) {
    Pkt p;
    p.apid = apid;
    p.seq = seq;
    p.sec = sec;
    v.push_back(p);
  };
  add(0x200, 1, 1500000000);
  add(0x209, 10, 1500000001);
  add(0x211, 16383, 1500000002);
  add(0x209, 11, 1500000003);
  add(0x211, 0, 1500000004);   // wrap, no skip
  add(0x209, 15, 1500000005);  // 3 missing
  WriteRecords(path, v);
  ScanInput in = Input(path);
  BurstScan b = ScanBurst1(in, 0);
  const std::string want =
      "     1 First ApID 209h " + GetTime1(1500000001) + "\n" +
      "     2 First ApID 211h " + GetTime1(1500000002) + "\n" +
      "     3 Skip ApID 209h " + GetTime1(1500000003) + " - " + GetTime1(1500000005) + " #3\n" +
      "     5                              Last ApID 209h " + GetTime1(1500000005) + "\n" +
      "     4                              Last ApID 211h " + GetTime1(1500000004) + "\n" +
      "     0                              Last ApID 221h " + GetTime1(0) + "\n" +
      "     0                              Last ApID 223h " + GetTime1(0) + "\n";
  EXPECT_EQ(b.log, want);
  EXPECT_EQ(b.counts[0], 3u);
  EXPECT_EQ(b.counts[1], 2u);
  EXPECT_EQ(b.counts[4], 1u);
  EXPECT_EQ(b.records, 6u);

  BurstScan only = ScanBurst1(in, 0x211);
  EXPECT_EQ(only.log.find("209h"), std::string::npos);
  EXPECT_NE(only.log.find("First ApID 211h"), std::string::npos);
  EXPECT_EQ(only.counts[0], 3u);  // still counted
}

TEST(TalloxStartTiming, HistogramOfSpacingInCoarseAndFineUnits) {
  const std::string path = TempPath("timing.tlm");
  std::vector<Pkt> v;
  // Spacings 1.5 s, except one of 2 s; byte 11 steps by one each packet.
  const std::pair<std::uint32_t, int> times[7] = {{0, 0}, {1, 128}, {3, 0}, {4, 128},
                                                  {6, 128}, {8, 0}, {9, 128}};
  for (int i = 0; i < 7; ++i) {
    Pkt p;
    p.apid = 0x214;
    p.sec = 1500000000u + times[i].first;
    p.frac = static_cast<std::uint8_t>(times[i].second);
    p.frac2 = static_cast<std::uint8_t>(i);
    v.push_back(p);
    Pkt other;
    other.apid = 0x200;
    v.push_back(other);
  }
  WriteRecords(path, v);
  ScanInput in = Input(path);
  TimingResult t = StartTiming(in, 0x214, false);
  EXPECT_EQ(t.packets, 7u);
  EXPECT_EQ(t.packetsText(), "7 Packets");
  int total = 0;
  for (int b = t.rangeStart; b <= t.rangeEnd; ++b) total += t.dThist[b];
  EXPECT_EQ(total, 6);
  EXPECT_EQ(t.rangeStart, t.smallest - 10);
  EXPECT_EQ(t.rangeEnd, t.largest + 10);
  EXPECT_EQ(t.dThist[384], 5);  // 1.5 s
  EXPECT_EQ(t.dThist[512], 1);  // 2 s
  TimingResult f = StartTiming(in, 0x214, true);
  EXPECT_EQ(f.dThist[384 * 256 + 1], 5);  // byte 11 steps by one each packet
  EXPECT_EQ(f.dThist[512 * 256 + 1], 1);
}

TEST(TalloxPlotPkt, CountsPerMinuteForTheRowsInUse) {
  const std::string path = TempPath("rate.tlm");
  std::vector<Pkt> v;
  for (int i = 0; i < 180; ++i) {
    Pkt p;
    p.apid = i % 3 == 0 ? 0x209 : 0x200;
    p.sec = 1500000000u + static_cast<unsigned>(i);
    p.groundMs = static_cast<std::uint32_t>(i) * 1000u;
    v.push_back(p);
  }
  WriteRecords(path, v);
  std::array<RateRow, kRateRows> rows{};
  rows[0] = {0x200, 1};
  rows[1] = {0x208, 2};
  ScanInput in = Input(path);
  RateResult r = PlotPkt(in, rows, false);
  ASSERT_TRUE(r.any);
  EXPECT_EQ(r.start, 1500000000u);
  EXPECT_EQ(r.maxBin, 2);
  EXPECT_EQ(r.counts[0][0], 40);
  EXPECT_EQ(r.counts[1][0], 20);
  EXPECT_EQ(r.counts[1][2], 20);
  EXPECT_EQ(r.yMin, 20);
  EXPECT_EQ(r.yMax, 40);
  RateResult g = PlotPkt(in, rows, true);
  EXPECT_EQ(g.start, 17500u * 86400u);
  EXPECT_EQ(g.counts[0][1], 40);
}

TEST(TalloxScanHKP, StatisticsOfTheHousekeepingStream) {
  const std::string path = TempPath("hkstats.tlm");
  std::vector<Pkt> v;
  for (int i = 0; i < 6; ++i) {
    Pkt p;
    p.apid = 0x200;
    p.seq = static_cast<unsigned>(i == 4 ? 9 : i);  // one sequence error (and the one after)
    p.sec = 1500000000u + 16u * static_cast<unsigned>(i);
    const unsigned clock = (0u << 12) | (static_cast<unsigned>(i) << 6) | 0u;
    p.be16(12, clock);                 // record offset 38 after swapping
    p.be16(16, 1000u * (i + 1));       // word 42
    p.be16(18, 100);                   // word 44
    p.byte(21, i == 2 ? 255 : 0x20 + i);  // byte 46 is packet byte 21 (46-26 = 20, xor 1)
    p.byte(15, i >= 3 ? 7 : 5);        // byte 40
    p.be16(24, 65530u + static_cast<unsigned>(i) * 3u);  // word 50, wraps
    v.push_back(p);
    Pkt other;
    other.apid = 0x209;
    v.push_back(other);
  }
  v[1].badChecksum = true;  // not housekeeping: not counted here
  v[2].badChecksum = true;
  WriteRecords(path, v);
  ScanInput in = Input(path);
  HkStats s = ScanHKP(in);
  EXPECT_EQ(s.records, 12u);
  EXPECT_EQ(s.hk, 6u);
  EXPECT_EQ(s.idErrors, 0u);
  EXPECT_EQ(s.seqErrors, 2u);
  EXPECT_EQ(s.lenErrors, 0u);
  EXPECT_EQ(s.chkErrors, 1u);
  EXPECT_DOUBLE_EQ(s.spacingMax, 16);
  EXPECT_DOUBLE_EQ(s.spacingMean(), 16);
  EXPECT_DOUBLE_EQ(s.clockMean(), 60);
  EXPECT_EQ(s.byte40Changes, 3u);
  EXPECT_EQ(s.byte46Full, 1u);
  EXPECT_DOUBLE_EQ(s.byte46MaxScaled(), Uncompress(0x25) / 65536.0);
  EXPECT_DOUBLE_EQ(s.word42MaxScaled(), 3.2e-05 * 6000);
  EXPECT_NEAR(s.word44Mean(), 100 * 3.2e-05, 1e-12);
  EXPECT_EQ(s.incWord50, 15u);  // five steps of three across the wrap
  EXPECT_EQ(s.firstClock, " 0:00:00");
  EXPECT_EQ(s.lastClock, " 0:05:00");
}
