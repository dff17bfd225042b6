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

}  // namespace

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
