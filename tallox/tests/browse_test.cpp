#include <gtest/gtest.h>

#include <algorithm>

#include "core/browse.h"
#include "test_util.h"

using namespace tallox;
using tallox::test::Pkt;
using tallox::test::TempPath;
using tallox::test::WriteRecords;

namespace {
std::vector<Pkt> Stream() {
  std::vector<Pkt> v;
  auto add = [&](unsigned apid, unsigned seq, bool bad = false) {
    Pkt p;
    p.apid = apid;
    p.seq = seq;
    p.badChecksum = bad;
    v.push_back(p);
  };
  add(0x200, 1);        // 0
  add(0x208, 1);        // 1
  add(0x200, 2);        // 2
  add(0x209, 1, true);  // 3 checksum error
  add(0x1A3, 0);        // 4 invalid
  add(0x200, 4);        // 5 sequence break
  add(0x241, 9);        // 6
  return v;
}
}  // namespace

TEST(TalloxDumpFile, NavigationAndTheEnds) {
  const std::string path = TempPath("browse.tlm");
  WriteRecords(path, Stream(), false, "trailing");
  DumpFile d;
  ASSERT_TRUE(d.open(path, nullptr));
  ASSERT_TRUE(d.BackPacket(true));  // nothing shown yet: shows record 0
  EXPECT_EQ(d.PacketNumber(), 0);
  EXPECT_TRUE(d.BackPacket(true));  // at record 0, record 0 again
  EXPECT_EQ(d.PacketNumber(), 0);
  ASSERT_TRUE(d.NextPacket(true));
  EXPECT_EQ(d.PacketNumber(), 1);
  EXPECT_EQ(GetApID(d.Data()), 0x208u);
  ASSERT_TRUE(d.PacketNum(6, true));
  EXPECT_EQ(GetApID(d.Data()), 0x241u);
  ASSERT_TRUE(d.NextPacket(true));  // past the end: the last whole record again
  EXPECT_EQ(d.PacketNumber(), 6);
  ASSERT_TRUE(d.BackPacket(true));
  EXPECT_EQ(d.PacketNumber(), 5);
  ASSERT_TRUE(d.PacketNum(99, true));
  EXPECT_EQ(d.PacketNumber(), 6);
}

TEST(TalloxDumpFile, ModeFlagChangeOf208AndHousekeepingSearches) {
  const std::string path = TempPath("mode.tlm");
  std::vector<Pkt> v;
  for (int i = 0; i < 6; ++i) {
    Pkt p;
    p.apid = i % 2 ? 0x200 : 0x208;
    // record byte 42 of the swapped view is packet byte 17
    p.byte(17, (p.apid == 0x208 && i >= 4) ? 0x40 : 0x00);
    // housekeeping byte 46 (packet byte 21): changes at record 5
    p.byte(21, i >= 5 ? 9 : 3);
    v.push_back(p);
  }
  for (bool swapped : {false, true}) {
    WriteRecords(path, v, swapped);
    DumpFile d;
    ASSERT_TRUE(d.open(path, nullptr));
    bool found = false;
    ASSERT_TRUE(d.FindNext(3, !swapped, &found));
    EXPECT_TRUE(found);
    EXPECT_EQ(d.PacketNumber(), 4);
    ASSERT_TRUE(d.PacketNum(0, !swapped));
    ASSERT_TRUE(d.NextHKP(!swapped, &found));
    EXPECT_EQ(d.PacketNumber(), 1);
    EXPECT_EQ(GetByte(d.Data(), 46), 3u);
    ASSERT_TRUE(d.FindNextHKP(0, !swapped, &found));
    EXPECT_TRUE(found);
    EXPECT_EQ(d.PacketNumber(), 5);
    ASSERT_TRUE(d.BackHKP(!swapped));
    EXPECT_EQ(d.PacketNumber(), 3);
  }
}

TEST(TalloxDumpFile, FileWithoutAWholeRecordShowsNothing) {
  const std::string path = TempPath("tiny.tlm");
  tallox::test::WriteText(path, std::string(297, 'x'));
  DumpFile d;
  ASSERT_TRUE(d.open(path, nullptr));
  EXPECT_FALSE(d.NextPacket(true));
  EXPECT_FALSE(d.shown());
  std::string err;
  DumpFile m;
  EXPECT_FALSE(m.open(TempPath("missing.tlm"), &err));
  EXPECT_NE(err.find("Cannot open"), std::string::npos);
  EXPECT_FALSE(m.NextPacket(true));
}

TEST(TalloxFastHkWave, StartOffsetsFillTheirPartOfTheBuffer) {
  auto make = [](unsigned start, unsigned mode, unsigned base) {
    Pkt p;
    p.apid = 0x214;
    p.be16(12, start);  // word 38
    for (int i = 0; i < 128; ++i) p.be16(14 + 2 * i, (i == 0 ? mode << 12 : 0) | ((base + i) & 0xFFF));
    auto r = tallox::test::MakeRecord(p);
    SwapTelemetryBytes(r.data(), true);
    return r;
  };
  FastHkWave w;
  auto a = make(336, 8, 100);
  ASSERT_TRUE(DisplayPacket(a.data(), 1, false, &w).fastHk);
  EXPECT_EQ(w.mode, 8);
  EXPECT_EQ(w.samples[0], 100);
  EXPECT_EQ(w.samples[127], 227);
  EXPECT_EQ(w.samples[128], 0);
  auto b = make(128, 3, 1000);  // mode below 8: 2048 minus the sample
  ASSERT_TRUE(w.update(b.data(), 2));
  EXPECT_EQ(w.samples[208], 2048 - 1000);
  EXPECT_EQ(w.samples[335], 2048 - 1127);
  EXPECT_EQ(w.samples[0], 100);  // kept from the earlier packet
  EXPECT_EQ(w.yMin, 0);
  EXPECT_EQ(w.yMax, 1048);
  auto c = make(400, 8, 0);
  EXPECT_FALSE(w.update(c.data(), 3));
}
