#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "links/record.h"

using namespace korvex;

namespace {
// A record in transmission order: header byte 6 = spacecraft, packet APID big-endian in bytes 0-1,
// data pattern, checksum byte making the packet sum 0 (optionally off by one).
std::vector<std::uint8_t> MakeRecord(int apid, std::uint8_t sc, bool badSum = false) {
  std::vector<std::uint8_t> r(kRecordSize, 0);
  for (std::size_t i = 0; i < kHeaderSize; ++i) r[i] = static_cast<std::uint8_t>(0x10 + i);
  r[6] = sc;
  std::uint8_t* p = r.data() + kHeaderSize;
  p[0] = static_cast<std::uint8_t>(0x08 | ((apid >> 8) & 0x07));
  p[1] = static_cast<std::uint8_t>(apid & 0xFF);
  for (std::size_t i = 2; i < kPacketSize - 1; ++i) p[i] = static_cast<std::uint8_t>(i * 7);
  p[kPacketSize - 1] = 0;
  p[kPacketSize - 1] = static_cast<std::uint8_t>(-PacketSum(p) + (badSum ? 1 : 0));
  return r;
}
// The same record with the packet's pairs exchanged, as a server that swaps delivers it.
std::vector<std::uint8_t> Swapped(std::vector<std::uint8_t> r) {
  bytswp(r.data() + kHeaderSize, kPacketSize / 2);
  return r;
}
}  // namespace

TEST(Assembler, RecordSplitOverReadsCompletesOnItsLastByte) {
  Assembler a;
  auto rec = MakeRecord(0x200, kSpacecraftA);
  bool done = false;
  EXPECT_EQ(WantBytes(a), 298u);
  EXPECT_EQ(AppendBytes(a, rec.data(), 100, &done), 100u);
  EXPECT_FALSE(done);
  EXPECT_EQ(WantBytes(a), 198u);
  EXPECT_EQ(AppendBytes(a, rec.data() + 100, 150, &done), 150u);
  EXPECT_FALSE(done);
  EXPECT_EQ(WantBytes(a), 48u);
  EXPECT_EQ(AppendBytes(a, rec.data() + 250, 48, &done), 48u);
  EXPECT_TRUE(done);
  EXPECT_EQ(0, std::memcmp(a.tcpbuf.data(), rec.data(), kRecordSize));
  ResetAssembler(a);
  EXPECT_EQ(a.held, 0u);
  EXPECT_EQ(WantBytes(a), 298u);
}

TEST(Assembler, NeverTakesMoreThanTheRecordWhateverIsOffered) {
  Assembler a;
  std::vector<std::uint8_t> big(5000, 0xAB);
  bool done = false;
  WantBytes(a);
  AppendBytes(a, big.data(), 200, &done);
  EXPECT_EQ(AppendBytes(a, big.data(), big.size(), &done), 98u);
  EXPECT_TRUE(done);
  EXPECT_EQ(a.held, kRecordSize);
  EXPECT_EQ(AppendBytes(a, big.data(), big.size(), &done), 0u);  // full: nothing more goes in
  EXPECT_EQ(a.held, kRecordSize);
}

TEST(GetApid, ByteOrderWithAndWithoutStationSwap) {
  std::uint8_t dec[kRecordSize];
  auto rec = MakeRecord(0x2A5 & 0x27F, kSpacecraftA);  // 0x225
  // Station exchanges the pairs itself.
  ApidResult r = GetApid(rec.data(), 1, dec);
  EXPECT_EQ(r.apid, 0x225);
  EXPECT_FALSE(r.illegal);
  EXPECT_FALSE(r.badChecksum);
  EXPECT_EQ(0, std::memcmp(dec, rec.data(), kHeaderSize));  // header never swapped
  EXPECT_EQ(dec[kHeaderSize], rec[kHeaderSize + 1]);
  // Server already delivers exchanged pairs.
  auto sw = Swapped(rec);
  ApidResult s = GetApid(sw.data(), 0, dec);
  EXPECT_EQ(s.apid, 0x225);
  EXPECT_FALSE(s.badChecksum);
  // Reading a swapped stream without the switch gives a different APID: the switch matters.
  EXPECT_NE(GetApid(sw.data(), 1, dec).rawApid, 0x225);
}

TEST(GetApid, DataOfSelectedApidsSwappedOnceMoreFromByte10) {
  std::uint8_t dec[kRecordSize];
  for (int apid : {0x241, 0x00B, 0x01E}) {
    auto rec = MakeRecord(apid, kSpacecraftA);
    GetApid(rec.data(), 1, dec);
    const std::uint8_t* p = dec + kHeaderSize;
    // Bytes 0-9 in station order, 10.. back in transmission order.
    EXPECT_EQ(p[0], rec[kHeaderSize + 1]) << apid;
    EXPECT_EQ(p[10], rec[kHeaderSize + 10]) << apid;
    EXPECT_EQ(p[271], rec[kHeaderSize + 271]) << apid;
  }
  auto rec = MakeRecord(0x242, kSpacecraftA);
  GetApid(rec.data(), 1, dec);
  EXPECT_EQ(dec[kHeaderSize + 10], rec[kHeaderSize + 11]);
}

TEST(GetApid, IllegalApidsAndChecksums) {
  std::uint8_t dec[kRecordSize];
  for (int apid : {0x1A3, 0x100, 0x280, 0x2FF, 0x380, 0x7FF}) {
    auto rec = MakeRecord(apid, kSpacecraftA);
    ApidResult r = GetApid(rec.data(), 1, dec);
    EXPECT_TRUE(r.illegal) << apid;
    EXPECT_EQ(r.apid, 0);
    EXPECT_EQ(r.rawApid, apid);
  }
  for (int apid : {0x000, 0x0FF, 0x200, 0x27F, 0x300, 0x37F})
    EXPECT_FALSE(GetApid(MakeRecord(apid, kSpacecraftA).data(), 1, dec).illegal) << apid;

  EXPECT_TRUE(GetApid(MakeRecord(0x080, kSpacecraftA, true).data(), 1, dec).badChecksum);
  EXPECT_TRUE(GetApid(MakeRecord(0x210, kSpacecraftA, true).data(), 1, dec).badChecksum);
  EXPECT_FALSE(GetApid(MakeRecord(0x07F, kSpacecraftA, true).data(), 1, dec).badChecksum);
  EXPECT_FALSE(GetApid(MakeRecord(0x210, kSpacecraftA).data(), 1, dec).badChecksum);
}

TEST(Spacecraft, ChangesOnlyOnANewLetter) {
  EXPECT_EQ(SpacecraftChange(0xEA, 0), 1);
  EXPECT_EQ(SpacecraftChange(0xEA, 1), 0);
  EXPECT_EQ(SpacecraftChange(0xEB, 1), 2);
  EXPECT_EQ(SpacecraftChange(0xEB, 2), 0);
  EXPECT_EQ(SpacecraftChange(0xEA, 2), 1);
  EXPECT_EQ(SpacecraftChange(0x00, 1), 0);
}

TEST(Counters, ListedUnlistedAndRanges) {
  ApdIndex idx;
  idx.e[0x210] = ApdEntry{1, 34, 1, 16};
  Counters c;
  CountResult r = CountPacket(c, idx, 0x210);
  EXPECT_EQ(r.rangePanel, 0x200);
  EXPECT_EQ(c.range200[0x10], 1u);
  EXPECT_EQ(c.summary[34], 1u);
  EXPECT_EQ(c.group[1][16], 1u);
  EXPECT_EQ(CountPacket(c, idx, 0x210).lastCount, 2u);

  CountPacket(c, idx, 0x211);  // unlisted instrument
  CountPacket(c, idx, 0x305);  // unlisted companion
  EXPECT_EQ(c.summary[kSumInstrument], 2u);
  EXPECT_EQ(c.range300[0x05], 1u);
  CountPacket(c, idx, 0x00B);
  CountPacket(c, idx, 0);  // an illegal APID goes on as 0
  EXPECT_EQ(c.summary[kSumSpacecraft], 2u);
  EXPECT_EQ(c.perApid[0x210], 2u);
  CountIllegal(c);
  EXPECT_EQ(c.summary[kSumIllegal], 1u);
  // APIDs beyond the index never index outside it.
  CountPacket(c, idx, 0x7FF);
  EXPECT_EQ(c.summary[kSumOther], 1u);
}

TEST(Counters, ChecksumErrorsFollowTheFilter) {
  Counters c;
  EXPECT_EQ(CountChecksumError(c, 0x210, kApidAll), 1);
  EXPECT_EQ(CountChecksumError(c, 0x211, kApidAll), 2);  // shows the total
  EXPECT_EQ(CountChecksumError(c, 0x210, 0x210), 2);    // shows the APID's own
  EXPECT_EQ(CountChecksumError(c, 0x211, 0x210), -1);   // other filter: not counted
  EXPECT_EQ(c.chksum[0x211], 1u);
  EXPECT_EQ(c.chksum[kChksumTotal], 3u);
}

// The record path's pure step over a short stream, the way the live link, a replay and the
// local server all feed it.
TEST(StepRecord, AStreamMovesTheCountersAndReportsWhatTheGlueMustDo) {
  ApdIndex idx;
  idx.e[0x210] = ApdEntry{1, 34, 1, 16};
  Counters c;
  std::uint8_t dec[kRecordSize];
  RecordStepIn in;
  in.cfgtswap = 1;

  auto first = MakeRecord(0x210, kSpacecraftA);
  RecordStep st = StepRecord(c, idx, first.data(), in, dec);
  EXPECT_EQ(st.spacecraft, 1);
  EXPECT_EQ(st.check.apid, 0x210);
  EXPECT_FALSE(st.check.illegal);
  EXPECT_FALSE(st.check.badChecksum);
  EXPECT_EQ(st.checksumShown, -1);
  EXPECT_TRUE(st.suite);
  EXPECT_TRUE(st.passesFilter);
  EXPECT_EQ(st.count.rangePanel, 0x200);
  EXPECT_EQ(st.count.groupPanel, 1);
  EXPECT_EQ(st.count.lastCount, 1u);
  EXPECT_EQ(dec[kHeaderSize], first[kHeaderSize + 1]);  // the decoders get station order

  in.aorb = 1;
  st = StepRecord(c, idx, first.data(), in, dec);
  EXPECT_EQ(st.spacecraft, 0);  // same spacecraft again
  EXPECT_EQ(st.count.lastCount, 2u);

  // The other spacecraft, an illegal APID: counted as illegal and then as APID 0, no watchdog.
  auto illegal = MakeRecord(0x1A3, kSpacecraftB);
  st = StepRecord(c, idx, illegal.data(), in, dec);
  EXPECT_EQ(st.spacecraft, 2);
  EXPECT_TRUE(st.check.illegal);
  EXPECT_EQ(st.check.apid, 0);
  EXPECT_EQ(st.check.rawApid, 0x1A3);
  EXPECT_FALSE(st.suite);
  EXPECT_EQ(c.illegal, 1u);
  EXPECT_EQ(c.summary[kSumIllegal], 1u);
  EXPECT_EQ(c.perApid[0], 1u);

  // A bad checksum outside the link filter: counted for its APID, not shown, not recorded.
  in.aorb = 2;
  in.filter = 0x210;
  auto bad = MakeRecord(0x211, kSpacecraftB, true);
  st = StepRecord(c, idx, bad.data(), in, dec);
  EXPECT_TRUE(st.check.badChecksum);
  EXPECT_EQ(st.checksumShown, -1);
  EXPECT_FALSE(st.passesFilter);
  EXPECT_EQ(c.perApid[0x211], 1u);
  // The same under "all APIDs": shown, with the total.
  in.filter = kApidAll;
  st = StepRecord(c, idx, bad.data(), in, dec);
  EXPECT_EQ(st.checksumShown, static_cast<long>(c.chksum[kChksumTotal]));
  EXPECT_TRUE(st.passesFilter);

  // A spacecraft packet does not feed the instrument's telemetry watchdog.
  st = StepRecord(c, idx, MakeRecord(0x00B, kSpacecraftB).data(), in, dec);
  EXPECT_FALSE(st.suite);
  EXPECT_EQ(c.summary[kSumSpacecraft], 2u);  // APID 0 of the illegal record and this one
}
