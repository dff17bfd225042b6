#include <gtest/gtest.h>

#include <cmath>

#include "generator.h"
#include "packet.h"

using namespace mocsim;

namespace {
int sumOf(const uint8_t* p, int n) {
  int s = 0;
  for (int i = 0; i < n; ++i) s += p[i];
  return s & 0xFF;
}
}  // namespace

TEST(MocsimRecord, HeaderPacketIdentificationAndGroundTime) {
  PacketWriter w;
  w.setHeader(0x213, 0x1ABC, 0x01020304, 0x8040);
  w.seal(checksumOffset(0x213));
  // 2026-12-08T05:00:00.250Z: days since 1958 and ms of day.
  int64_t unixMs = 1796706000250LL;
  GroundTime gt = groundTimeFromUnixMs(unixMs);
  EXPECT_EQ(gt.day, (unixMs / 1000 + kEpoch1958To1970) / 86400);
  EXPECT_EQ(gt.msOfDay, uint32_t(5 * 3600 * 1000 + 250));
  Record r;
  buildRecord(r, w, kSpacecraftB, gt, false);
  EXPECT_EQ(r[6], 0xEB);
  EXPECT_EQ((r[7] << 8) | r[8], gt.day);
  EXPECT_EQ(uint32_t(r[9] << 24 | r[10] << 16 | r[11] << 8 | r[12]), gt.msOfDay);
  const uint8_t* p = r.data() + kHeaderSize;
  EXPECT_EQ(p[0], 0x0A);  // secondary-header flag and the APID's top bits
  EXPECT_EQ(p[1], 0x13);
  EXPECT_EQ(p[2], 0xC0 | 0x1A);  // stand-alone packet, sequence count
  EXPECT_EQ(p[3], 0xBC);
  EXPECT_EQ((p[4] << 8) | p[5], 265);
  EXPECT_EQ(uint32_t(p[6] << 24 | p[7] << 16 | p[8] << 8 | p[9]), 0x01020304u);
  EXPECT_EQ(p[10], 0x80);
  EXPECT_EQ(sumOf(p, kPacketSize), 0);
}

TEST(MocsimRecord, SwappedOrderExchangesPacketPairsOnly) {
  PacketWriter w;
  for (int i = 0; i < kPacketSize; ++i) w.tx[i] = uint8_t(i * 7);
  GroundTime gt{100, 200};
  Record tx, sw;
  buildRecord(tx, w, kSpacecraftA, gt, false);
  buildRecord(sw, w, kSpacecraftA, gt, true);
  for (int i = 0; i < kHeaderSize; ++i) EXPECT_EQ(tx[i], sw[i]) << i;
  for (int i = 0; i < kPacketSize; ++i) EXPECT_EQ(sw[kHeaderSize + i], tx[kHeaderSize + (i ^ 1)]) << i;
}

TEST(MocsimRecord, ChecksumRulesByApid) {
  Databases db;
  Generator g(db);
  for (int apid : {0x200, 0x202, 0x210, 0x213, 0x240, 0x241, 0x313, 0x080}) {
    PacketWriter w;
    g.build(apid, 1.7e9, w);
    EXPECT_EQ(sumOf(w.tx.data(), kPacketSize), 0) << std::hex << apid;
    g.build(apid, 1.7e9, w, true);
    EXPECT_EQ(sumOf(w.tx.data(), kPacketSize), 1) << std::hex << apid;
    EXPECT_EQ(w.apid(), apid);
  }
  EXPECT_FALSE(apidHasChecksum(0x07F));
  EXPECT_TRUE(apidHasChecksum(0x080));
  // Spacecraft packets carry no checksum; a corrupted one still differs from the clean one.
  PacketWriter a, b;
  g.setSeq(0x00B, 5);
  g.build(0x00B, 1.7e9, a);
  g.setSeq(0x00B, 5);
  g.build(0x00B, 1.7e9, b, true);
  EXPECT_NE(a.tx, b.tx);
}

TEST(MocsimRecord, SequenceCountPerApidWrapsAt16383) {
  Databases db;
  Generator g(db);
  g.setSeq(0x210, 16382);
  PacketWriter w;
  g.build(0x210, 0, w);
  EXPECT_EQ(w.seq(), 16382);
  g.build(0x210, 0, w);
  EXPECT_EQ(w.seq(), 16383);
  g.build(0x210, 0, w);
  EXPECT_EQ(w.seq(), 0);
  g.build(0x200, 0, w);  // other APIDs count on their own
  EXPECT_EQ(w.seq(), 0);
  g.skipSeq(0x200, 3);
  g.build(0x200, 0, w);
  EXPECT_EQ(w.seq(), 4);
}

TEST(MocsimRecord, StationViewWritesLandOnExchangedBytes) {
  PacketWriter w;
  w.put16le(View::Station, 12, 0x1234);  // the station reads it low byte first at 12
  EXPECT_EQ(w.tx[12], 0x12);
  EXPECT_EQ(w.tx[13], 0x34);
  w.put8(View::Station, 21, 0xAB);
  EXPECT_EQ(w.tx[20], 0xAB);
  w.put16le(View::Transmission, 30, 0xBEEF);
  EXPECT_EQ(w.tx[30], 0xEF);
  EXPECT_EQ(w.get16le(View::Station, 12), 0x1234);
}

TEST(MocsimCompression, LawAndInverse) {
  EXPECT_EQ(uncompress8(31), 31u);
  EXPECT_EQ(uncompress8(32), 32u);
  EXPECT_EQ(uncompress8(0x2F), 62u);
  EXPECT_EQ(uncompress8(255), 507904u);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(compress8(uncompress8(uint8_t(v))), v);
  // In-between counts round down to the code below.
  EXPECT_EQ(uncompress8(compress8(63)), 62u);
  EXPECT_EQ(compress8(10000000), 255);
}

TEST(MocsimCompression, MomentWords) {
  EXPECT_DOUBLE_EQ(decodeMoment(0x1400), 512.0);
  EXPECT_DOUBLE_EQ(decodeMoment(0x9400), -512.0);
  EXPECT_EQ(encodeMoment(512.0), 0x1400);
  EXPECT_EQ(encodeMoment(-512.0), 0x9400);
  for (double v : {0.75, 5.0, 123.4, -999.0, 65536.5, 1e9}) {
    double back = decodeMoment(encodeMoment(v));
    EXPECT_NEAR(back, v, std::fabs(v) / 512.0) << v;
  }
}
