// The pure pieces: identification, the count law, time text, moment words, the configuration
// lines, limit buttons, histories, recording names, single stepping and the display record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "core/config.h"
#include "core/playback.h"
#include "core/science.h"
#include "test_util.h"

using namespace drev;

TEST(DrevIdentify, TableOrderAndWhichApid) {
  EXPECT_EQ(Identify(0x0A, 0x00, 0x10), PacketKind::SuiteHk);
  EXPECT_EQ(Identify(0x0A, 0x10, 0x10), PacketKind::Distribution);
  // 0x0A 0x11 is a distribution only while the second analyzer APID is chosen.
  EXPECT_EQ(Identify(0x0A, 0x11, 0x10), PacketKind::Skipped);
  EXPECT_EQ(Identify(0x0A, 0x11, 0x11), PacketKind::Distribution);
  EXPECT_EQ(Identify(0x0A, 0x10, 0x11), PacketKind::Skipped);
  EXPECT_EQ(Identify(0x0A, 0x12, 0x10), PacketKind::Pitch);
  EXPECT_EQ(Identify(0x0A, 0x13, 0x10), PacketKind::Moments);
  EXPECT_EQ(Identify(0x0A, 0x14, 0x10), PacketKind::AnalyzerHk);
  // Bytes compared as they are: a swapped packet or another type bit is not recognised.
  EXPECT_EQ(Identify(0x10, 0x0A, 0x10), PacketKind::Skipped);
  EXPECT_EQ(Identify(0x1A, 0x10, 0x10), PacketKind::Skipped);
  EXPECT_EQ(Identify(0x0A, 0x15, 0x10), PacketKind::Skipped);
}

TEST(DrevPacket, CountLawAndMomentWords) {
  const LogTable t = MakeLogCnvt();
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[31], 31);
  EXPECT_EQ(t[32], 32);
  EXPECT_EQ(t[0x2F], 62);
  EXPECT_EQ(t[0x30], 64);
  EXPECT_EQ(t[255], 507904);
  EXPECT_DOUBLE_EQ(DcmpMom(0x1400), 512);
  EXPECT_DOUBLE_EQ(DcmpMom(0x9400), -512);
  EXPECT_DOUBLE_EQ(DcmpMom(0x1401), 513);
  EXPECT_DOUBLE_EQ(DcmpMom(0x1600), 1024);
  EXPECT_DOUBLE_EQ(DcmpMom(0x0000), 0.5);
  EXPECT_DOUBLE_EQ(DcmpMom(0x7FFF), std::ldexp(1023.0, 53));
}

TEST(DrevPacket, TimeTextHexAndFilters) {
  // Mission seconds of 2006-01-04 12:30:00 UTC; fraction byte 128 -> 0.50 s.
  test::Rec r(0x213, 1515069000u, 128);
  EXPECT_EQ(GetEpoc(r.sv.data()), "2006 JAN  4 12:30:00.50");
  test::Rec r2(0x213, 1515069000u + 86400u * 20 + 59, 255);
  // 255 * 256 * 1.53e-5 = 0.9988 prints as 1.00: the leading digit goes, ".00" stays.
  EXPECT_EQ(GetEpoc(r2.sv.data()), "2006 JAN 24 12:30:59.00");

  EXPECT_TRUE(HexViewMatch(0x0A, 0x10, 4095));
  EXPECT_TRUE(HexViewMatch(0x0A, 0x10, 0x210));
  EXPECT_TRUE(HexViewMatch(0x0A, 0x90, 0x210));  // bit 7 of the APID is masked off
  EXPECT_TRUE(HexViewMatch(0x1A, 0x10, 0x210));  // so are the type and header-flag bits
  EXPECT_FALSE(HexViewMatch(0x0A, 0x11, 0x210));

  EXPECT_TRUE(StepFilterPass(0x0A, 0x13, 0x213));
  EXPECT_TRUE(StepFilterPass(0x1A, 0x13, 0x213));
  EXPECT_FALSE(StepFilterPass(0x0A, 0x93, 0x213));  // the low byte is compared whole
  EXPECT_TRUE(StepFilterPass(0x03, 0x00, 4095));

  std::uint8_t p[272];
  for (int i = 0; i < 272; ++i) p[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(HexText(p, 10, 3), "0A 0B 0C ");
  EXPECT_EQ(HexText(p, 270, 10), "0E 0F ");  // clipped to the packet
}

TEST(DrevConfig, LinesByPosition) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 41; ++i) lines.push_back("key " + std::to_string(i) + " = " + std::to_string(i) + ".5");
  lines[0] = "Server =   host.example = with equals\r";
  lines[1] = "Port=52003";
  lines[2] = "Swap = 1";
  lines[5] = "no equals sign here";
  Config c;
  EXPECT_EQ(ApplyCfgLines(c, lines), 41);
  EXPECT_EQ(c.ipStr, "host.example = with equals");
  EXPECT_EQ(c.ipPort, "52003");
  EXPECT_EQ(c.cfgswp, 1);
  EXPECT_DOUBLE_EQ(c.idrev[0], 4.5);
  EXPECT_DOUBLE_EQ(c.idrev[2], 0);   // line 6 has no value
  EXPECT_DOUBLE_EQ(c.idrev[15], 19.5);
  // Channels 8-10 have no lines: line 20 is channel 11's scale.
  EXPECT_DOUBLE_EQ(c.idrev[16], 0);
  EXPECT_DOUBLE_EQ(c.idrev[21], 0);
  EXPECT_DOUBLE_EQ(c.idrev[22], 20.5);
  EXPECT_DOUBLE_EQ(c.idrev[31], 29.5);
  EXPECT_DOUBLE_EQ(c.isurA, 30.5);
  EXPECT_DOUBLE_EQ(c.isurC, 32.5);
  EXPECT_DOUBLE_EQ(c.yA, 33.5);
  EXPECT_DOUBLE_EQ(c.yF, 38.5);
  EXPECT_DOUBLE_EQ(c.rA, 39.5);
  EXPECT_DOUBLE_EQ(c.rC, 41.5);
  EXPECT_EQ(CfgValue(std::string("x = ") + std::string(150, 'a')).size(), 99u);

  // A short file keeps the rest and says where it ended.
  const std::string path = test::TempPath("short.cfg");
  test::WriteBytes(path, {'a', '=', '1', '\n', 'b', '=', '7', '\n'});
  Config d;
  d.rC = 3;
  std::string reason, note;
  ASSERT_TRUE(ReadCfgFile(path, d, &reason, &note));
  EXPECT_EQ(d.ipStr, "1");
  EXPECT_EQ(d.ipPort, "7");
  EXPECT_DOUBLE_EQ(d.rC, 3);
  EXPECT_NE(note.find(":3:"), std::string::npos) << note;
  EXPECT_FALSE(ReadCfgFile(test::TempPath("absent.cfg"), d, &reason, &note));
  EXPECT_EQ(reason, "No such file or directory");
}

TEST(DrevLimits, LinearAndLogButtons) {
  AxisLimits l;
  l.min = 0;
  l.max = 10;
  EXPECT_TRUE(PressLimit(l, LimitButton::RaiseMin));
  EXPECT_EQ(l.min, 2);
  EXPECT_TRUE(l.manual);
  PressLimit(l, LimitButton::RaiseMin);
  EXPECT_EQ(l.min, 4);
  PressLimit(l, LimitButton::RaiseMin);
  EXPECT_EQ(l.min, 8);
  EXPECT_FALSE(PressLimit(l, LimitButton::RaiseMin));  // 16 is not below 10
  EXPECT_EQ(l.min, 8);
  // Lowering the maximum needs min + 1 below half of it.
  EXPECT_FALSE(PressLimit(l, LimitButton::LowerMax));
  l.min = 2;
  PressLimit(l, LimitButton::LowerMin);
  EXPECT_EQ(l.min, 0);  // 1 becomes 0
  l.min = -1;
  l.max = 2;
  PressLimit(l, LimitButton::LowerMax);
  EXPECT_EQ(l.max, 0);  // 1 becomes 0
  PressLimit(l, LimitButton::RaiseMax);
  EXPECT_EQ(l.max, 2);  // 0 becomes 2
  l.max = 1073741824.0;
  EXPECT_FALSE(PressLimit(l, LimitButton::RaiseMax));

  // Log mode works on its own pair with a factor of ten and leaves the linear pair alone.
  AxisLimits g;
  g.log = true;
  g.minl = 0;
  g.maxl = 1000;
  PressLimit(g, LimitButton::RaiseMin);
  EXPECT_DOUBLE_EQ(g.minl, 0.01);
  PressLimit(g, LimitButton::RaiseMax);
  EXPECT_DOUBLE_EQ(g.maxl, 10000);
  PressLimit(g, LimitButton::LowerMax);
  EXPECT_DOUBLE_EQ(g.maxl, 1000);
  g.minl = 10;
  PressLimit(g, LimitButton::LowerMin);
  EXPECT_DOUBLE_EQ(g.minl, 0.01);  // 1 becomes 0.01
  g.maxl = 1e9;
  EXPECT_FALSE(PressLimit(g, LimitButton::RaiseMax));
  EXPECT_EQ(g.min, 0);
  EXPECT_EQ(g.max, 1024);
}

TEST(DrevHistory, KeepsTheNewestFrames) {
  History h(2, 3000);
  for (int i = 0; i < 3000; ++i) {
    const double f[2] = {double(i), -double(i)};
    h.push(f);
  }
  EXPECT_EQ(h.count(), 3000);
  EXPECT_EQ(h.frame(0)[0], 0);
  const double f[2] = {3000, -3000};
  h.push(f);  // the 3001st frame drops the first
  EXPECT_EQ(h.count(), 3000);
  EXPECT_EQ(h.frame(0)[0], 1);
  EXPECT_EQ(h.frame(2999)[0], 3000);
  EXPECT_EQ(h.frame(2999)[1], -3000);
  h.clear();
  EXPECT_EQ(h.count(), 0);
}

TEST(DrevPlayback, RecordingNamesStepsAndDisplayRecord) {
  EXPECT_EQ(RecordingPath("test"), "pbf/test.pbf");
  EXPECT_EQ(RecordingPath("test.dat"), "pbf/test.dat");

  // Packets per step 3, every APID: one press lets three records through together.
  StepCollector st;
  st.spacket = 3;
  st.press();
  std::vector<std::uint8_t> out;
  int released = 0;
  for (int i = 0; i < 3; ++i) {
    auto rec = test::Rec(0x210 + i).bytes();
    if (st.feed(rec.data(), &out)) ++released;
  }
  EXPECT_EQ(released, 1);
  EXPECT_EQ(out.size(), 3u * 298u);
  EXPECT_EQ(out[26 + 298 * 2 + 1], 0x12);
  EXPECT_EQ(st.next, 0);

  // With a filter only matching records are collected; every record read uses up the step.
  StepCollector f;
  f.spacket = 2;
  f.filter = 0x213;
  f.press();
  out.clear();
  EXPECT_FALSE(f.feed(test::Rec(0x213).bytes().data(), &out));
  EXPECT_FALSE(f.feed(test::Rec(0x212).bytes().data(), &out));
  EXPECT_EQ(f.next, 0);
  EXPECT_TRUE(f.feed(test::Rec(0x213).bytes().data(), &out));
  EXPECT_EQ(out.size(), 2u * 298u);

  std::vector<int> v(80, 0);
  v[0] = 0x01020304;
  v[1] = -1;
  v[74] = 7;
  v[75] = 9;  // beyond the record
  auto b = PackSrd(v);
  EXPECT_EQ(b[0], 0x04);
  EXPECT_EQ(b[3], 0x01);
  EXPECT_EQ(b[4], 0xFF);
  EXPECT_EQ(b[296], 7);
  auto back = UnpackSrd(b.data());
  ASSERT_EQ(back.size(), 75u);
  EXPECT_EQ(back[0], 0x01020304);
  EXPECT_EQ(back[1], -1);
  EXPECT_EQ(back[74], 7);
}

TEST(DrevMoments, StatusTexts) {
  EXPECT_STREQ(MomStatus(0, 0x01).text, "SWEEP");
  EXPECT_EQ(MomStatus(0, 0x01).color, 0xFFFF00);
  EXPECT_STREQ(MomStatus(0, 0x00).text, "NORM");
  EXPECT_STREQ(MomStatus(1, 0x02).text, "ENABLED");
  EXPECT_STREQ(MomStatus(2, 0x02).text, "DISABLED");
  EXPECT_STREQ(MomStatus(3, 0x00).text, "OFF");
  EXPECT_EQ(MomStatus(3, 0x00).color, 0xFFFF00);
  EXPECT_STREQ(MomStatus(4, 0x10).text, "CLOSED");
  EXPECT_STREQ(MomStatus(4, 0x00).text, "OPEN");
  EXPECT_STREQ(MomStatus(5, 0x20).text, "ENABLED");
  EXPECT_EQ(MomStatus(5, 0x20).color, 0xFFFF00);
  EXPECT_EQ(MomStatus(5, 0x00).color, 0xFFFFFF);
}
