// Records through the receive buffer and the record processing, as the link, a replay and the
// headless file mode feed them.
#include <gtest/gtest.h>

#include <memory>

#include "core/stream.h"
#include "test_util.h"

using namespace drev;
using test::Rec;

namespace {

struct Counting : Sink {
  int dist = 0, refresh = 0, pitches = 0, mom = 0, hk = 0, suite = 0, checks = 0, sc = 0;
  std::vector<int> scSeen;
  void spacecraft(DrevState& s) override { ++sc; scSeen.push_back(s.aorb); }
  void checksumError(DrevState&) override { ++checks; }
  void suiteHk(DrevState&) override { ++suite; }
  void distribution(DrevState&, bool r) override { ++dist; refresh += r; }
  void pitch(DrevState&) override { ++pitches; }
  void moments(DrevState&) override { ++mom; }
  void analyzerHk(DrevState&, int) override { ++hk; }
};

std::unique_ptr<DrevState> Fresh() {
  auto s = std::make_unique<DrevState>();
  s->cfg.cfgswp = 1;
  return s;
}

void Feed(DrevState& s, Sink& k, const std::vector<Rec>& recs) {
  const auto b = test::Concat(recs);
  Receive(s, b.data(), b.size(), k);
  Pkt(s, k);
}

Rec Dist(int number, std::uint8_t fill, unsigned apid = 0x210) {
  Rec r(apid);
  r.b(12, number).b(10, 4).b(13, 1).b(14, 2);
  for (int j = 0; j < 256; ++j) r.b(15 + j, fill);
  return r;
}

}  // namespace

TEST(DrevStream, ChecksumErrorCountsOnceAndStillDisplays) {
  auto s = Fresh();
  Counting k;
  Rec bad = Dist(0, 40);
  bad.badChecksum = true;
  Feed(*s, k, {bad, Dist(3, 40)});
  EXPECT_EQ(s->checksumErrors, 1);
  EXPECT_EQ(k.checks, 1);
  EXPECT_EQ(k.dist, 2);
  EXPECT_EQ(s->distData[0][1][0], 48);  // the bad packet's bins are there (0x28 -> 48)
  // A skipped record is not checked at all.
  Rec other(0x215);
  other.badChecksum = true;
  Feed(*s, k, {other});
  EXPECT_EQ(s->checksumErrors, 1);
  EXPECT_EQ(s->recordsProcessed, 3);
  EXPECT_EQ(s->recordsUsed, 2);
}

TEST(DrevStream, WhichApidChoosesTheDistribution) {
  auto s = Fresh();
  Counting k;
  Feed(*s, k, {Dist(0, 5, 0x211)});
  EXPECT_EQ(k.dist, 0);
  EXPECT_EQ(s->distData[0][1][0], 0);
  s->whichApid = 0x11;
  Feed(*s, k, {Dist(0, 5, 0x211), Dist(0, 6, 0x210)});
  EXPECT_EQ(k.dist, 1);
  EXPECT_EQ(s->distData[0][1][0], 5);
}

TEST(DrevDistribution, FivePacketsFillTheBinsInStreamOrder) {
  auto s = Fresh();
  Counting k;
  // Packet 1 is not one of the five: nothing changes and it does not count.
  Feed(*s, k, {Dist(1, 200)});
  EXPECT_EQ(k.dist, 0);
  EXPECT_EQ(s->pktflg, 0);
  EXPECT_EQ(s->distData[0][0][0], 0);

  // Each stream byte its own value, so every bin shows where it came from.
  std::vector<Rec> recs;
  for (int p = 0; p < 5; ++p) {
    Rec r = Dist(3 * p, 0);
    for (int j = 0; j < 256; ++j) r.b(15 + j, (p * 256 + j) % 32);  // below 32: the count itself
    recs.push_back(r);
  }
  Feed(*s, k, {recs[0], recs[1], recs[2], recs[3]});
  EXPECT_EQ(k.refresh, 0);
  EXPECT_EQ(s->pktflg, 4);
  Feed(*s, k, {recs[4]});
  EXPECT_EQ(k.refresh, 1);
  EXPECT_EQ(s->pktflg, 0);
  // Stream byte 0 -> E0 D0, half resolution: bins 0 and 1 get 0/2; byte 3 (value 3) -> bins 6, 7 = 1.
  EXPECT_EQ(s->distData[0][0][6], 1);
  EXPECT_EQ(s->distData[0][0][7], 1);
  // Byte 8 starts D1 at full resolution.
  EXPECT_EQ(s->distData[0][1][0], 8);
  EXPECT_EQ(s->distData[0][4][15], 71 % 32);
  // Byte 72 starts D5 (half): bins 0,1 = 72 % 32 / 2 = 4.
  EXPECT_EQ(s->distData[0][5][0], 4);
  EXPECT_EQ(s->distData[0][5][1], 4);
  // Stream byte 256 (first byte of packet 3) is E3, offset 16: D1, A8; the row began in packet 0.
  EXPECT_EQ(s->distData[3][1][7], 255 % 32);
  EXPECT_EQ(s->distData[3][1][8], 256 % 32);
  // The last stream byte 1279: E15 D5, bins 14 and 15.
  EXPECT_EQ(s->distData[15][5][15], (1279 % 32) / 2);
  EXPECT_EQ(s->lastDist.number, 12);
  EXPECT_EQ(s->lastDist.byte10, 4);
  EXPECT_EQ(s->lastDist.byte14, 2);
  EXPECT_EQ(s->distTime, "2006 JAN  4 12:30:00.00");

  // A half-resolution byte of 31 stores 15 in both of its bins; a compressed byte is expanded first.
  Rec half = Dist(0, 31);
  half.b(15 + 8, 0x30);  // E0 D1 A0 at full resolution: 64
  half.b(15 + 72, 0x30); // E0 D5 bins 0, 1: 64 / 2
  Feed(*s, k, {half});
  EXPECT_EQ(s->distData[0][0][0], 15);
  EXPECT_EQ(s->distData[0][0][1], 15);
  EXPECT_EQ(s->distData[0][1][0], 64);
  EXPECT_EQ(s->distData[0][5][0], 32);
  EXPECT_EQ(s->distData[0][5][1], 32);
  EXPECT_EQ(s->distData[0][1][1], 31);
}

TEST(DrevDistribution, AccumulationsTotalsAndSelections) {
  auto s = Fresh();
  Counting k;
  for (int e = 0; e < kNumE; ++e)
    for (int d = 0; d < kNumD; ++d)
      for (int a = 0; a < kNumA; ++a) s->distData[e][d][a] = 1 + e + 100 * d;
  s->sel.a.fill(false);
  s->sel.a[3] = true;
  s->sel.d.fill(false);
  s->sel.d[0] = s->sel.d[2] = true;
  Accumulate3D(*s, kDEA, false);
  EXPECT_EQ(s->acc3[kDEA].counter, 2);
  EXPECT_EQ(s->acc3[kDEA].at(3, 5), (1 + 5) + (1 + 5 + 200));
  EXPECT_EQ(s->acc3[kDEA].at(4, 5), 0);  // A4 not selected
  Accumulate3D(*s, kDEA, true);
  EXPECT_EQ(s->acc3[kDEA].counter, 4);
  EXPECT_EQ(s->acc3[kDEA].at(3, 5), 2 * 212);
  Accumulate3D(*s, kDEA, false);  // switch off: starts again
  EXPECT_EQ(s->acc3[kDEA].at(3, 5), 212);
  Accumulate3D(*s, kDDE, false);
  EXPECT_EQ(s->acc3[kDDE].at(5, 2), 206);
  EXPECT_EQ(s->acc3[kDDE].at(5, 1), 0);

  Totals3D(*s);
  EXPECT_EQ(s->dte3[5], 212);                  // one A, two D
  EXPECT_EQ(s->dta3[3], s->dta3[4]);           // every A, selected D, all E
  EXPECT_EQ(s->dtd3[1], 0 + 16 * 100 + 136);   // selected A only: sum over E of 1+e+100
  EXPECT_EQ(s->redte3.count(), 1);
  EXPECT_EQ(s->redtd3.frame(0)[1], s->dtd3[1]);

  const DistSums all = SumDistribution(*s);
  EXPECT_EQ(all.e[0], 16 * (6 + 100 * 15));
  EXPECT_EQ(all.total, 16 * (6 * 136 + 16 * 100 * 15));
}

TEST(DrevPitch, BlocksAnglesAndColumnOrder) {
  auto s = Fresh();
  Counting k;
  Rec r(0x212);
  r.b(10, 4).b(12, 1);
  for (int b = 0; b < 3; ++b) {
    r.b(13 + 86 * b, 64 * b).b(14 + 86 * b, 128);
    for (int i = 0; i < 84; ++i) r.b(15 + 86 * b + i, (b * 84 + i) % 32);
  }
  r.b(15 + 86 * 2 + 12 * 6 + 1, 0x30);  // block 2, row 6, byte 1 -> column 11, value 64
  Feed(*s, k, {r});
  EXPECT_EQ(k.pitches, 1);
  EXPECT_DOUBLE_EQ(s->magAzEl[0], 0);
  EXPECT_DOUBLE_EQ(s->magAzEl[2], 90);
  EXPECT_DOUBLE_EQ(s->magAzEl[4], 180);
  EXPECT_DOUBLE_EQ(s->magAzEl[5], 180);
  // Byte k of a row goes to column 0, 11, 1, 10, 2, 9, 3, 8, 4, 7, 5, 6.
  EXPECT_EQ(s->pitchData[0][0][0], 0);
  EXPECT_EQ(s->pitchData[0][0][11], 1);
  EXPECT_EQ(s->pitchData[0][0][1], 2);
  EXPECT_EQ(s->pitchData[0][0][6], 11);
  EXPECT_EQ(s->pitchData[1][1][0], (84 + 12) % 32);
  EXPECT_EQ(s->pitchData[2][6][11], 64);
  EXPECT_EQ(s->pitchByte12, 1);

  AccumulatePitch(*s, true, false);
  EXPECT_EQ(s->da2.at(6, 11), 64);
  AccumulatePitch(*s, true, true);
  EXPECT_EQ(s->da2.at(6, 11), 128);
  AccumulatePitch(*s, false, false);
  EXPECT_EQ(s->de2.at(11, 6), 64);
  TotalsPitch(*s);
  EXPECT_EQ(s->redte2.count(), 1);
  EXPECT_EQ(s->remag.frame(0)[2], 90);
  double row6 = 0;
  for (int c = 0; c < 12; ++c) row6 += s->pitchData[2][6][c];
  EXPECT_EQ(s->redte2.frame(0)[6], row6);
}

TEST(DrevMoments, NineSetsAndAbsoluteValues) {
  auto s = Fresh();
  Counting k;
  Rec r(0x213);
  r.b(12, 2).w(13, 0x1234).w(15, 100).w(17, 200);
  for (int set = 0; set < 9; ++set) {
    for (int m = 0; m < 13; ++m) r.w(19 + 28 * set + 2 * m, 0x1400);
    r.b(19 + 28 * set + 26, set);
    r.b(19 + 28 * set + 27, set == 8 ? 0x0A : 0x15);
  }
  r.w(19 + 28 * 8 + 2 * 3, 0x9400);
  Feed(*s, k, {r});
  EXPECT_EQ(k.mom, 1);
  EXPECT_DOUBLE_EQ(s->moment[0][0], 512);
  EXPECT_DOUBLE_EQ(s->moment[8][3], -512);
  EXPECT_DOUBLE_EQ(s->lmoment[8][3], 512);
  EXPECT_DOUBLE_EQ(s->moment[8][13], 8);
  EXPECT_EQ(s->drevDhkp, 0x0A);  // the last set's status byte stays
  EXPECT_EQ(s->momWords[0], 0x1234u);
  EXPECT_EQ(s->momWords[2], 200u);
  EXPECT_EQ(s->momByte12, 2);
  PushMoments(*s);
  EXPECT_EQ(s->remomt.frame(0)[8 * 14 + 3], -512);
  EXPECT_EQ(s->lremomt.frame(0)[8 * 14 + 3], 512);
}

TEST(DrevHousekeeping, ThreePartsAndConversions) {
  auto s = Fresh();
  Counting k;
  for (int c = 0; c < 16; ++c) {
    s->cfg.idrev[2 * c] = 0.5;
    s->cfg.idrev[2 * c + 1] = c;
  }
  s->cfg.yA = 1;
  s->cfg.yB = 2;
  s->cfg.rA = 3;
  s->cfg.rC = 1;
  s->cfg.isurA = 1;
  s->cfg.isurB = 10;
  s->cfg.isurC = 1;
  // Suite housekeeping first: the voltages the current conversion uses (idrev[30], [31]).
  Rec suite(0x200);
  suite.w(136, 100).w(132, 40).w(130, 20);
  Feed(*s, k, {suite});
  EXPECT_DOUBLE_EQ(s->IDREVSTE12V, 100 * 0.5 + 15);
  EXPECT_DOUBLE_EQ(s->IDREVSTEDVCC1, 35);
  EXPECT_DOUBLE_EQ(s->IDREVSTED5VD, 25);

  Rec part(0x214);
  part.w(12, 208);
  for (int i = 0; i < 128; ++i) part.w(14 + 2 * i, (unsigned(i % 16) << 12) | unsigned(i));
  Feed(*s, k, {part});
  EXPECT_EQ(k.hk, 1);
  // Word 0 (channel 0, n 0) lands at 255, word 127 (channel 15, n 127) at 128.
  EXPECT_DOUBLE_EQ(s->hkpg[0][255], 0);
  EXPECT_DOUBLE_EQ(s->hkpg[15][128], 127 * 0.5 + 15);
  EXPECT_DOUBLE_EQ(s->hkpg[1][254], 1 * 0.5 + 1);
  EXPECT_DOUBLE_EQ(s->hkpg[8][247], 1 + 2 * 8);                  // YSI
  EXPECT_DOUBLE_EQ(s->hkpg[9][246], 3 + 9 * 9);                  // RTD
  EXPECT_DOUBLE_EQ(s->hkpg[10][245], 1 + 2 * 10);                // YSI
  EXPECT_DOUBLE_EQ(s->hkpg[7][248], (7 * 0.5 + 7) + 10 * 65 - (35 - 25));  // Dcur
  EXPECT_DOUBLE_EQ(s->hkpg[0][127], 0);  // other parts untouched
  EXPECT_EQ(s->hkLastIndex[0], 255);
  EXPECT_EQ(s->hkLastIndex[15], 240);
  EXPECT_EQ(s->hkTime, "");  // only part 336 shows the time

  Rec first(0x214);
  first.w(12, 336).w(14, 0x0005);
  Rec last(0x214);
  last.w(12, 80).w(14 + 2 * 79, 0x3009);
  Rec other(0x214);
  other.w(12, 81).w(14, 0x0777);
  Feed(*s, k, {first, last, other});
  EXPECT_DOUBLE_EQ(s->hkpg[0][127], 2.5);
  EXPECT_DOUBLE_EQ(s->hkpg[3][256], 9 * 0.5 + 3);
  EXPECT_EQ(k.hk, 3);  // part 81 ignored
  EXPECT_EQ(s->hkTime, "2006 JAN  4 12:30:00.00");
}

TEST(DrevStream, BufferNeverOverflowsAndSpacecraftIsPerRecord) {
  auto s = Fresh();
  Counting k;
  // 5000 records (1.49 MB) arrive without a timer tick in between: nothing is lost or overrun.
  std::vector<Rec> recs;
  for (int i = 0; i < 5000; ++i) {
    Rec r = Dist(3 * (i % 5), 1);
    r.spacecraft = i < 2500 ? 0xEA : 0xEB;
    recs.push_back(r);
  }
  const auto bytes = test::Concat(recs);
  for (std::size_t off = 0; off < bytes.size(); off += 2048)
    Receive(*s, bytes.data() + off, std::min<std::size_t>(2048, bytes.size() - off), k);
  EXPECT_LE(s->addFlag, static_cast<long>(kCirBufSize));
  Pkt(*s, k);
  EXPECT_EQ(s->recordsProcessed, 5000);
  EXPECT_EQ(k.dist, 5000);
  EXPECT_EQ(k.refresh, 1000);
  EXPECT_EQ(k.scSeen, (std::vector<int>{1, 2}));
  EXPECT_EQ(s->addFlag, s->readFlag);

  // Reads that do not start on a record: the spacecraft still follows the records only.
  auto t = Fresh();
  Counting k2;
  Rec a(0x215);
  a.spacecraft = 0xEA;
  auto ab = test::Concat({a, a});
  // A read starting 292 bytes in puts record 1's byte 0 at read byte 6; record bytes are 0 there.
  std::vector<std::uint8_t> first(ab.begin(), ab.begin() + 292), rest(ab.begin() + 292, ab.end());
  rest[6] = 0xEB;  // byte 6 of this read is byte 0 of record 1's header
  Receive(*t, first.data(), first.size(), k2);
  Receive(*t, rest.data(), rest.size(), k2);
  Pkt(*t, k2);
  EXPECT_EQ(k2.scSeen, (std::vector<int>{1}));
  EXPECT_EQ(t->aorb, 1);
}

TEST(DrevStream, CompactionKeepsUnprocessedBytes) {
  auto s = Fresh();
  Counting k;
  std::vector<Rec> recs(1800, Dist(0, 2));
  recs[1799] = Dist(0, 9);
  const auto bytes = test::Concat(recs);
  // Everything but the last record's tail, processed; then the rest in a second read.
  const std::size_t cut = bytes.size() - 100;
  Receive(*s, bytes.data(), cut, k);
  Pkt(*s, k);
  EXPECT_GT(s->readFlag, 0);
  Receive(*s, bytes.data() + cut, 100, k);
  // The first receive moved past 524288 bytes and was compacted on the second one.
  EXPECT_LT(s->readFlag, 298);
  Pkt(*s, k);
  EXPECT_EQ(s->recordsProcessed, 1800);
  EXPECT_EQ(s->distData[0][1][0], 9);
}
