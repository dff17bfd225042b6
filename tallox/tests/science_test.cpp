// MAG and STE products read from records written by the test writer (both storage orders), their
// exports compared line for line, and the least-squares routine against curves whose answer is
// known independently.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "cli/batch.h"
#include "core/science.h"
#include "test_util.h"

using namespace tallox;
using tallox::test::Pkt;
using tallox::test::ReadText;
using tallox::test::TempPath;
using tallox::test::WriteRecords;

namespace {

constexpr std::uint32_t kT0 = 1515069000u;  // 2006 JAN  4 12:30:00

// Record offsets as the accessors read them after the swap: byte k is packet byte (k-26)^1 and
// the word at an even k is the big-endian word at packet offset k-26.
void RecByte(Pkt& p, int k, unsigned v) { p.byte((k - 26) ^ 1, v); }
void RecWord(Pkt& p, int k, unsigned v) { p.be16(k - 26, v); }

ScanInput Input(const std::string& path, bool swap = true) {
  ScanInput in;
  in.FileName = path;
  in.ctl.swap = swap;
  in.ctl.wholeFile = true;
  return in;
}

Pkt MagPacket(unsigned apid, std::uint32_t sec, unsigned frac16, unsigned rateByte, int base) {
  Pkt p;
  p.apid = apid;
  p.sec = sec;
  p.frac = frac16 >> 8;
  p.frac2 = frac16 & 0xFF;
  RecByte(p, 39, rateByte);
  for (int i = 0; i < 42; ++i) {
    RecWord(p, 44 + 6 * i, 32768 + base + i);
    RecWord(p, 46 + 6 * i, 32768 - base - i);
    RecWord(p, 48 + 6 * i, 32768 + 2 * i);
  }
  return p;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> v;
  std::stringstream ss(text);
  std::string l;
  while (std::getline(ss, l)) v.push_back(l);
  return v;
}

}  // namespace

// ---- MAG ---------------------------------------------------------------------------------------

TEST(TalloxMag, SeriesTimesValuesApidAndBothOrders) {
  Pkt a = MagPacket(0x208, kT0, 0x8000, 16, 100);  // t0 = T + 0.5, dt = 0.5 s
  // Word offsets: 0x8000 reads 0, 0x0000 reads -32768, 0xFFFF reads 32767.
  RecWord(a, 44, 0x8000);
  RecWord(a, 46, 0x0000);
  RecWord(a, 48, 0xFFFF);
  Pkt burst = MagPacket(0x209, kT0 + 5, 0, 32, 7);
  Pkt other;
  other.apid = 0x200;
  for (bool swapped : {false, true}) {
    const std::string path = TempPath(swapped ? "mag_sw.tlm" : "mag.tlm");
    WriteRecords(path, {other, a, burst}, swapped);
    ScanInput in = Input(path, !swapped);
    MagSeries s = ExtractMag(in, false);
    ASSERT_EQ(s.packets, 1u);
    ASSERT_EQ(s.size(), 42u);
    EXPECT_DOUBLE_EQ(s.t[0], kT0 + 0.5);
    EXPECT_DOUBLE_EQ(s.t[41], kT0 + 0.5 + 41 * 0.5);
    EXPECT_EQ(s.x[0], 0.0f);
    EXPECT_EQ(s.y[0], -32768.0f);
    EXPECT_EQ(s.z[0], 32767.0f);
    EXPECT_EQ(s.x[5], 105.0f);
    EXPECT_EQ(s.y[5], -105.0f);
    EXPECT_EQ(s.z[5], 10.0f);
    double lo, hi;
    MagLimits(s, &lo, &hi);
    EXPECT_EQ(lo, -32768);
    EXPECT_EQ(hi, 32767);

    ScanInput in2 = Input(path, !swapped);
    MagSeries b = ExtractMag(in2, true);
    ASSERT_EQ(b.size(), 42u);
    EXPECT_DOUBLE_EQ(b.t[3], kT0 + 5 + 3.0);  // byte 39 = 32: one second a sample
    EXPECT_EQ(b.x[3], 10.0f);
  }
}

TEST(TalloxMag, SegmentsSplitBeyondTwentySecondsAndCapacity) {
  // Byte 39 = 0: every sample of a packet at its packet time, so the gap is the packet spacing.
  const std::string path = TempPath("mag_gap.tlm");
  WriteRecords(path, {MagPacket(0x208, kT0, 0, 0, 0), MagPacket(0x208, kT0 + 20, 0, 0, 0),
                      MagPacket(0x208, kT0 + 50, 0, 0, 0), MagPacket(0x208, kT0 + 80, 0, 0, 0)});
  ScanInput in = Input(path);
  MagSeries s = ExtractMag(in, false);
  ASSERT_EQ(s.size(), 168u);
  const auto seg = MagSegments(s);
  ASSERT_EQ(seg.size(), 3u);  // 20 s apart joins, 30 s apart splits
  EXPECT_EQ(seg[0], (std::pair<std::size_t, std::size_t>{0, 84}));
  EXPECT_EQ(seg[1], (std::pair<std::size_t, std::size_t>{84, 126}));
  EXPECT_EQ(seg[2], (std::pair<std::size_t, std::size_t>{126, 168}));

  // A packet whose 42 samples no longer fit is not read at all.
  ScanInput small = Input(path);
  MagSeries t = ExtractMag(small, false, 100);
  EXPECT_EQ(t.size(), 84u);
  EXPECT_EQ(t.packets, 2u);
  EXPECT_TRUE(t.truncated);

  MagSeries none;
  double lo, hi;
  MagLimits(none, &lo, &hi);
  EXPECT_EQ(lo, 1000000);
  EXPECT_EQ(hi, -1000000);
  EXPECT_TRUE(MagSegments(none).empty());
}

TEST(TalloxMag, ExportLayoutNameAndRefusals) {
  Pkt p = MagPacket(0x209, kT0, 0x4000, 16, -3);
  RecWord(p, 44, 0x0000);
  const auto rec = tallox::test::MakeRecord(p);
  std::uint8_t d[kDataBufSize] = {};
  std::copy(rec.begin(), rec.end(), d);
  SwapTelemetryBytes(d, true);

  const std::string dir = TempPath("magexp");
  std::filesystem::create_directories(dir);
  const std::string tlm = dir + "/a.b.tlm";
  std::string path, e;
  ASSERT_TRUE(SaveMag(tlm, MakeMagView(d, false), 17, &path, &e)) << e;
  EXPECT_EQ(path, dir + "/a.b.txt");
  const auto l = Lines(ReadText(path));
  ASSERT_EQ(l.size(), 46u);
  EXPECT_EQ(l[0], "ZEPHRA VANTIS MAG Data");
  EXPECT_EQ(l[1], " Data extracted from telemetry file " + tlm + ", Packet 17, " + GetTimeL(d) + ", DC");
  EXPECT_EQ(l[2], "");
  EXPECT_EQ(l[3], "Sample\tX\tY\tZ");
  EXPECT_EQ(l[4], " 0\t-32768.0\t     3.0\t     0.0");
  EXPECT_EQ(l[45], "41\t    38.0\t   -38.0\t    82.0");

  // Mean removal: X sums to -32768 + 738 over 42 samples (mean -762.619), Y to -735 (-17.5).
  ASSERT_TRUE(SaveMag(tlm, MakeMagView(d, true), 17, &path, &e));
  const auto ac = Lines(ReadText(path));
  EXPECT_EQ(ac[1].substr(ac[1].size() - 4), ", AC");
  EXPECT_EQ(ac[4], " 0\t-32005.4\t    20.5\t   -41.0");

  EXPECT_FALSE(SaveMag(dir + "/x.txt", MakeMagView(d, false), 1, &path, &e));
  EXPECT_NE(e.find("overwrite the telemetry file"), std::string::npos);
  EXPECT_FALSE(SaveMag(tlm, MakeMagView(d, false), 1, &path, &e, dir + "/no/such/dir/x.txt"));
}

// ---- STE ---------------------------------------------------------------------------------------

TEST(TalloxSte, RatesFramesUncompressAndZeroAccumulation) {
  Pkt p;
  p.apid = 0x220;
  p.sec = kT0;
  RecByte(p, 38, 4);
  RecByte(p, 47, 31);                // frame 0 channel 0: 31 / 4
  RecByte(p, 47 + 25 * 9 + 23, 0x20);  // frame 9 channel 23: 32 / 4
  RecByte(p, 47 + 25 * 3 + 5, 0xFF);   // 31 << 14 / 4
  Pkt zero = p;
  zero.bytes.clear();
  zero.sec = kT0 + 100;  // a = 0: left out
  for (bool swapped : {false, true}) {
    const std::string path = TempPath(swapped ? "ste_r_sw.tlm" : "ste_r.tlm");
    WriteRecords(path, {p, zero}, swapped);
    ScanInput in = Input(path, !swapped);
    SampleStore store;
    SteRates r = ExtractSteRates(in, store);
    EXPECT_EQ(r.packets, 1u);
    EXPECT_EQ(r.skippedZeroAcc, 1u);
    ASSERT_EQ(store.count, 10u);
    EXPECT_EQ(store.UTC[0], kT0);
    EXPECT_EQ(store.UTC[9], kT0 + 36);
    EXPECT_EQ(store.Samples[0][0], 7.75f);
    EXPECT_EQ(store.Samples[23][9], 8.0f);
    EXPECT_EQ(store.Samples[5][3], 126976.0f);
    EXPECT_EQ(store.Samples[1][0], 0.0f);
    std::array<bool, 24> sel{};
    sel[0] = true;
    double lo, hi;
    SteRateLimits(store, sel, &lo, &hi);
    EXPECT_EQ(lo, 1);  // the zeros are raised to 1 for the log scale
    EXPECT_EQ(hi, 7.75);
    sel[5] = true;
    SteRateLimits(store, sel, &lo, &hi);
    EXPECT_EQ(hi, 126976);
  }
  ScanInput in = Input(TempPath("ste_r.tlm"));
  SampleStore store;
  EXPECT_TRUE(ExtractSteRates(in, store, 5).truncated);
  EXPECT_EQ(store.count, 5u);
}

// Rate packets 20 s apart carry 40 s of frames each: drawn where each frame says, the series
// ran back in time at every packet and past the end of the file.
TEST(TalloxSte, RateSeriesRunsForwardInsideTheRecording) {
  std::vector<Pkt> v;
  for (unsigned i = 0; i < 5; ++i) {
    Pkt p;
    p.apid = 0x220;
    p.sec = kT0 + 20 * i;
    RecByte(p, 38, 4);
    for (int k = 0; k < 10; ++k) RecByte(p, 47 + 25 * k, 4 * (10 * i + k) & 0x1F);
    v.push_back(p);
  }
  Pkt hk;
  hk.sec = kT0 + 90;  // the recording ends at 90 s
  v.push_back(hk);
  const std::string path = TempPath("ste_rates_order.tlm");
  WriteRecords(path, v);
  ScanInput in = Input(path);
  SampleStore store;
  const SteRates r = ExtractSteRates(in, store);
  EXPECT_EQ(r.packets, 5u);
  // Frames 0-4 of the first four packets (0..16 s after each), then the last packet's frames up
  // to 90 s: 4 x 5 + 3.
  ASSERT_EQ(store.count, 23u);
  EXPECT_EQ(r.framesLeftOut, 50u - 23u);
  for (std::size_t i = 1; i < store.count; ++i) EXPECT_GT(store.UTC[i], store.UTC[i - 1]) << i;
  EXPECT_EQ(store.UTC.front(), kT0);
  EXPECT_EQ(store.UTC.back(), kT0 + 88);
  // Each frame keeps its own counts: frame k of packet 1 at 20 + 4k holds 4 (10 + k) / 4.
  EXPECT_EQ(store.UTC[5], kT0 + 20);
  EXPECT_EQ(store.Samples[0][5], static_cast<float>((40 & 0x1F) / 4.0));
}

namespace {
Pkt Spec(std::uint32_t sec, unsigned acc, unsigned n, unsigned mode, unsigned part) {
  Pkt p;
  p.apid = 0x222;
  p.sec = sec;
  p.frac2 = static_cast<std::uint8_t>(acc);  // record byte 36
  RecByte(p, 38, n);
  RecByte(p, 39, mode);
  RecByte(p, 40, part);
  return p;
}
}  // namespace

TEST(TalloxSte, AccumulationSixteenSixtyFourAndBadSize) {
  std::vector<Pkt> v;
  for (int i = 0; i < 10; ++i) {
    Pkt p = Spec(kT0 + 10 * i, 4, 16, 3, 0);
    RecByte(p, 41, 5);
    RecByte(p, 169, 7);     // second spectrum adds into the same bins
    RecByte(p, 167, 0x20);  // bin 126 of the first: 32
    v.push_back(p);
  }
  Pkt big = Spec(kT0 + 500, 4, 200, 3, 0);  // 8 x 200 energies cannot be held
  v.insert(v.begin() + 3, big);
  const std::string path = TempPath("ste16.tlm");
  WriteRecords(path, v);
  ScanInput in = Input(path);
  SteAccumulation a = AccSTESpec(in);
  EXPECT_EQ(a.packets, 10u);
  EXPECT_EQ(a.skippedBadSize, 1u);
  EXPECT_EQ(a.AccTime, 80);
  EXPECT_EQ(a.NumEnergy0, 16);
  EXPECT_EQ(a.Mode0, 3);
  EXPECT_EQ(a.Spectra[0], 120);
  EXPECT_EQ(a.Spectra[126], 320);
  EXPECT_EQ(a.Spectra[128], 0);
  // The last bin of the second spectrum is record byte 296, where the swap puts the checksum.
  double checksums = 0;
  for (const Pkt& p : v)
    if (p.apid == 0x222 && &p != &v[3]) checksums += Uncompress(tallox::test::MakeRecord(p)[297]);
  EXPECT_EQ(a.Spectra[127], checksums);
  EXPECT_EQ(a.startText, GetTime1(kT0));
  EXPECT_EQ(a.endText, GetTime1(kT0 + 90));
  EXPECT_FALSE(a.endedByChange);
  double lo, hi;
  SteSpecLimits(a, false, &lo, &hi);
  EXPECT_EQ(lo, 120);
  EXPECT_EQ(hi, std::max(320.0, a.Spectra[127]));
  SteSpecLimits(a, true, &lo, &hi);
  EXPECT_EQ(lo, 1.5);

  Pkt p0 = Spec(kT0, 8, 64, 1, 0), p1 = Spec(kT0 + 1, 8, 64, 1, 1);
  RecByte(p0, 295, 9);
  RecByte(p1, 41, 11);
  WriteRecords(path, {p0, p1});
  ScanInput in64 = Input(path);
  SteAccumulation b = AccSTESpec(in64);
  EXPECT_EQ(b.AccTime, 8);  // part 0 carries no time
  EXPECT_EQ(b.Spectra[254], 9);
  EXPECT_EQ(b.Spectra[256], 11);
}

TEST(TalloxSte, ModeChangeEndsAndNextStartsAfterIt) {
  const std::string path = TempPath("ste_modes.tlm");
  std::vector<Pkt> v = {Spec(kT0, 2, 32, 1, 0), Spec(kT0 + 10, 2, 32, 2, 0),
                        Spec(kT0 + 200, 2, 32, 2, 0), Spec(kT0 + 210, 2, 32, 2, 0),
                        Spec(kT0 + 400, 2, 16, 2, 0)};
  RecByte(v[2], 100, 3);
  RecByte(v[3], 100, 4);
  WriteRecords(path, v);
  ScanInput in = Input(path);
  in.ctl.endText = GetTime1(kT0 + 10000);
  SteAccumulation a = AccSTESpec(in);
  EXPECT_EQ(a.packets, 1u);  // the second packet's mode ends it
  EXPECT_TRUE(a.endedByChange);
  EXPECT_EQ(a.endText, GetTime1(kT0));
  EXPECT_EQ(a.AccTime, 2);

  ASSERT_TRUE(STEAccNext(in, a));
  EXPECT_FALSE(in.ctl.wholeFile);
  EXPECT_EQ(in.ctl.startText, GetTime1(kT0 + 120));
  EXPECT_EQ(a.packets, 2u);  // from kT0+200 until the size change at kT0+400
  EXPECT_EQ(a.Mode0, 2);
  EXPECT_EQ(a.startText, GetTime1(kT0 + 200));
  EXPECT_EQ(a.endText, GetTime1(kT0 + 210));
  EXPECT_EQ(a.Spectra[59], 7);  // record byte 100 is bin 59
  EXPECT_TRUE(a.endedByChange);
  ASSERT_TRUE(STEAccNext(in, a));
  EXPECT_EQ(a.packets, 1u);
  EXPECT_EQ(a.NumEnergy0, 16);
  EXPECT_FALSE(a.endedByChange);
  EXPECT_FALSE(STEAccNext(in, a));

  // Stopped at the change, the whole-file read never wrote the end field: the next interval then
  // reaches to the end of the file instead of being empty.
  ScanInput fresh = Input(path);
  SteAccumulation b = AccSTESpec(fresh);
  EXPECT_TRUE(fresh.ctl.endText.empty());
  ASSERT_TRUE(STEAccNext(fresh, b));
  EXPECT_EQ(b.packets, 2u);
  EXPECT_TRUE(b.error.empty()) << b.error;
}

TEST(TalloxSte, ExportBothLayoutsAndEmpty) {
  const std::string dir = TempPath("steexp");
  std::filesystem::create_directories(dir);
  const std::string tlm = dir + "/a.b.tlm";
  SteAccumulation a;
  a.NumEnergy0 = 16;
  a.Mode0 = 5;
  a.AccTime = 80.9;
  a.startText = "2006 JAN  4 12:30:00";
  a.endText = "2006 JAN  4 12:31:30";
  for (int i = 0; i < 128; ++i) a.Spectra[i] = 1000 + i;
  a.Spectra[127] = 1234567;
  std::string path, e;
  ASSERT_TRUE(SaveSTEAcc(tlm, a, false, &path, &e)) << e;
  EXPECT_EQ(path, dir + "/a.bSTE.txt");
  auto l = Lines(ReadText(path));
  ASSERT_EQ(l.size(), 5u + 16u);
  EXPECT_EQ(l[0], "ZEPHRA VANTIS STE Spectra Data");
  EXPECT_EQ(l[1], " Data extracted from telemetry file " + tlm);
  EXPECT_EQ(l[2], "  Accumulated over time interval 2006 JAN  4 12:30:00 - 2006 JAN  4 12:31:30, "
                  "80 seconds, Mode 5");
  EXPECT_EQ(l[3], "");
  EXPECT_EQ(l[4], "Bin\tSTE-U-0\tSTE-U-1\tSTE-U-2\tSTE-U-3\tSTE-D-0\tSTE-D-1\tSTE-D-2\tSTE-D-3");
  EXPECT_EQ(l[5], "  0\t   1000\t   1016\t   1032\t   1048\t   1064\t   1080\t   1096\t   1112");
  EXPECT_EQ(l[20], " 15\t   1015\t   1031\t   1047\t   1063\t   1079\t   1095\t   1111\t1234567");

  ASSERT_TRUE(SaveSTEAcc(tlm, a, true, &path, &e));
  l = Lines(ReadText(path));
  ASSERT_EQ(l.size(), 5u + 64u);
  EXPECT_EQ(l[4], "Bin\tSTE-U\tSTE-D");
  EXPECT_EQ(l[5], "  0\t   1000\t   1064");
  EXPECT_EQ(l[68], " 63\t   1063\t1234567");

  SteAccumulation none;
  ASSERT_TRUE(SaveSTEAcc(tlm, none, false, &path, &e));
  EXPECT_EQ(Lines(ReadText(path)).size(), 5u);
}

// ---- least squares -----------------------------------------------------------------------------

TEST(TalloxLsq, MatrixInverseAndSingular) {
  double m[9] = {4, 1, 2, 1, 3, 0, 2, 0, 5};
  const double orig[9] = {4, 1, 2, 1, 3, 0, 2, 0, 5};
  ASSERT_NE(smatinv(m, 3), 0);
  for (int i = 0; i < 3; ++i) {
    double col[3] = {0, 0, 0}, e[3] = {0, 0, 0}, r[3];
    e[i] = 1;
    mvmult(orig, e, col, 3);  // column i of the original
    mvmult(m, col, r, 3);     // inverse times it: unit vector i
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], k == i ? 1.0 : 0.0, 1e-12);
  }
  double s[4] = {1, 2, 2, 4};
  EXPECT_EQ(smatinv(s, 2), 0);
  double z[1] = {0};
  EXPECT_EQ(smatinv(z, 1), 0);
}

namespace {
FitProblem Line(const std::vector<double>& x, const std::vector<double>& y) {
  FitProblem f;
  f.x = x;
  f.Y = y;
  f.Sig.assign(x.size(), 1.0);
  f.func = [](double t, const double* p) { return p[0] + p[1] * t; };
  f.dfunc = [](double t, const double*, double* d) {
    d[0] = 1;
    d[1] = t;
  };
  return f;
}
}  // namespace

TEST(TalloxLsq, StraightLineMatchesNormalEquations) {
  std::vector<double> x, y;
  for (int i = 0; i < 20; ++i) {
    x.push_back(i);
    y.push_back(2.0 + 3.0 * i + ((i * 7) % 5 - 2) * 0.3);  // deterministic scatter
  }
  // The closed-form regression line.
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  const double n = static_cast<double>(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += y[i];
    sxx += x[i] * x[i];
    sxy += x[i] * y[i];
  }
  const double b = (n * sxy - sx * sy) / (n * sxx - sx * sx), a = (sy - b * sx) / n;
  double chi = 0;
  for (std::size_t i = 0; i < x.size(); ++i) chi += std::pow(y[i] - a - b * x[i], 2);

  FitProblem f = Line(x, y);
  LsqState st;
  st.P = {0, 0};
  const double c = lsq(f, st);
  // It stops once chi^2 changes by under 1 % with lambda small: close, not to the last digit.
  EXPECT_NEAR(st.P[0], a, 1e-4);
  EXPECT_NEAR(st.P[1], b, 1e-5);
  EXPECT_NEAR(c, chi, 1e-6 * chi);
  EXPECT_LE(st.lambda, 0.001);
  EXPECT_EQ(st.Result.rfind("Itt ", 0), 0u);

  // A fixed parameter stays where it was put; the other fits alone.
  LsqState fixed;
  fixed.P = {2.0, 0};
  fixed.freeP = {false, true};
  lsq(f, fixed);
  EXPECT_EQ(fixed.P[0], 2.0);
  EXPECT_NEAR(fixed.P[1], (sxy - 2.0 * sx) / sxx, 1e-5);
}

TEST(TalloxLsq, OptimumStartSingularAndDivergence) {
  std::vector<double> x = {0, 1, 2, 3}, y = {1, 3, 5, 7};
  FitProblem f = Line(x, y);
  LsqState st;
  st.P = {1, 2};
  EXPECT_EQ(lsq(f, st), 0);
  EXPECT_EQ(st.iterations, 1);
  EXPECT_EQ(st.r, 0);
  EXPECT_EQ(st.P[0], 1);
  EXPECT_EQ(st.P[1], 2);
  EXPECT_EQ(st.Result, "Itt 0, X^2=     0.0");

  // A parameter the model does not depend on: the matrix is singular whatever lambda.
  FitProblem g = f;
  g.dfunc = [](double t, const double*, double* d) {
    d[0] = 0;
    d[1] = t;
  };
  LsqState s2;
  s2.P = {0.5, 1};
  lsq(g, s2);
  EXPECT_EQ(s2.Result, "LSQ error");
  EXPECT_EQ(s2.P[0], 0.5);
  EXPECT_EQ(s2.P[1], 1);

  // Derivatives of the wrong sign step uphill every time.
  FitProblem h = f;
  h.dfunc = [](double t, const double*, double* d) {
    d[0] = -1;
    d[1] = -t;
  };
  LsqState s3;
  s3.P = {0, 0};
  const double c0 = Chi2(h, s3.P);
  EXPECT_EQ(lsq(h, s3), c0);
  EXPECT_EQ(s3.Result, "Not converging");
  EXPECT_EQ(s3.P[0], 0);
  EXPECT_EQ(s3.iterations, 0);
}

namespace {
// Analytic derivatives against central differences of the model.
void CheckDerivs(double (*fn)(double, const double*), void (*dfn)(double, const double*, double*),
                 std::vector<double> p, const std::vector<double>& xs) {
  const int n = static_cast<int>(p.size());
  std::vector<double> d(n);
  for (double x : xs) {
    dfn(x, p.data(), d.data());
    for (int j = 0; j < n; ++j) {
      const double h = 1e-6 * std::max(1.0, std::fabs(p[j]));
      auto q = p;
      q[j] += h;
      const double up = fn(x, q.data());
      q[j] -= 2 * h;
      const double dn = fn(x, q.data());
      EXPECT_NEAR(d[j], (up - dn) / (2 * h), 1e-4 * std::max(1.0, std::fabs(d[j])))
          << "x=" << x << " parameter " << j;
    }
  }
}
}  // namespace

TEST(TalloxFits, DerivativesMatchTheModels) {
  CheckDerivs(MagIfcModel, MagIfcDerivs, {100, 400, 10.3, 3, 50, 12}, {0, 5, 10, 11.5, 20, 41});
  CheckDerivs(StePeaksModel, StePeaksDerivs, {8, 1.5, 100, 90, 80, 70, 60, 50, 40},
              {7.2, 8.7, 16, 23.1, 40, 55.7});  // clear of the |u| = 5 cut, where it jumps
  CheckDerivs(SteLinesModel, SteLinesDerivs, {2, 1, 1.5, 4, 0.5, 30, 0.001, 1.2, 50, 60, 70, 80},
              {13, 37.4, 42, 43.5, 74.1});
  EXPECT_EQ(Gauss(10 + 5.01 * 2, 10, 7, 2), 0);
  EXPECT_NEAR(Gauss(10 + 4.99 * 2, 10, 7, 2), 7 * std::exp(-4.99 * 4.99 / 2), 1e-15);
}

TEST(TalloxFits, MagStepRecoversKnownCurve) {
  const double truth[6] = {100, 400, 10.3, 3, 50, 12};
  std::array<double, 42> y;
  for (int i = 0; i < 42; ++i) y[i] = MagIfcModel(i, truth);
  const MagIfcFit f = FitMagComponent(y, 0.25);
  EXPECT_NEAR(f.p[0], 100, 1e-3);
  EXPECT_NEAR(f.p[1], 400, 1e-2);
  EXPECT_NEAR(f.p[3], 3, 1e-4);
  EXPECT_NEAR(f.p[4], 50, 1e-2);
  EXPECT_NEAR(f.p[5], 12, 1e-3);
  EXPECT_NEAR(f.step, -450, 1e-2);
  EXPECT_NEAR(f.tau1Seconds, 0.75, 1e-4);
  EXPECT_NEAR(f.tau2Seconds, 3.0, 1e-3);
  EXPECT_NEAR(f.ratio, 0.125, 1e-4);
  EXPECT_LT(f.chi2, 1e-6);
  // The step lies between samples 10 and 11; any position there fits the samples equally.
  EXPECT_GE(f.p[2], 10);
  EXPECT_LT(f.p[2], 11);
}

TEST(TalloxFits, SteLineFitsRecoverKnownSpectra) {
  const std::vector<double> truth = {8, 1.5, 400, 350, 300, 250, 200, 150, 100};
  std::vector<double> spec(64);
  for (int i = 0; i < 64; ++i) spec[i] = StePeaksModel(i, truth.data());
  LsqState st = FitStePeaks(spec, {7.8, 1.3, 300, 300, 300, 300, 300, 300, 300});
  for (int j = 0; j < kStePeaksParams; ++j) EXPECT_NEAR(st.P[j], truth[j], 1e-4 * truth[j]) << j;
  EXPECT_LT(st.chi2, 1e-8);

  // 28 channels: line 4 (at 32) still shows its tail and is fitted; lines 5-7 keep their start.
  std::vector<double> half(spec.begin(), spec.begin() + 28);
  LsqState s3 = FitStePeaks(half, {7.9, 1.4, 300, 300, 300, 300, 300, 300, 300});
  EXPECT_NEAR(s3.P[0], 8, 1e-4);
  EXPECT_NEAR(s3.P[5], 250, 1e-2);
  EXPECT_EQ(s3.P[6], 300);
  EXPECT_EQ(s3.P[8], 300);

  // Offsets of ranges 0 and 2 and the quadratic term held: one line each cannot fix both.
  const std::vector<double> lines = {2, 1, 1.5, 4, 0.5, 10, 0.0, 1.2, 50, 60, 70, 80};
  std::vector<double> spec2(64);
  for (int i = 0; i < 64; ++i) spec2[i] = SteLinesModel(i, lines.data());
  std::vector<double> start = lines;
  start[0] = 1.95;
  start[2] = 1.45;
  start[3] = 4.5;
  start[4] = 0.49;
  start[7] = 1.0;
  for (int l = 0; l < 4; ++l) start[8 + l] = 60;
  std::vector<bool> fr = {true, false, true, true, true, false, false, true, true, true, true, true};
  LsqState s2 = FitSteLines(spec2, start, fr);
  for (int j = 0; j < kSteLinesParams; ++j) EXPECT_NEAR(s2.P[j], lines[j], 1e-4 * std::max(1.0, lines[j])) << j;

  // In 24 channels only the 5.895 line (channel 12.8) is present: ranges 1 and 2 and the other
  // heights are held, and that line still fits.
  std::vector<double> short24(spec2.begin(), spec2.begin() + 24);
  LsqState s4 = FitSteLines(short24, start, fr);
  EXPECT_NE(s4.Result, "LSQ error");
  for (int j : {2, 3, 4, 9, 10, 11}) EXPECT_EQ(s4.P[j], start[j]) << j;
  EXPECT_NEAR(s4.P[0], lines[0], 1e-4);
  EXPECT_NEAR(s4.P[8], lines[8], 1e-3);
}

// ---- batch verbs -------------------------------------------------------------------------------

TEST(TalloxScienceBatch, VerbsWriteTheExportsBesideTheFile) {
  const std::string dir = TempPath("scibatch");
  std::filesystem::create_directories(dir);
  const std::string tlm = dir + "/run.tlm";
  Pkt spec = Spec(kT0, 4, 16, 2, 0);
  RecByte(spec, 41, 9);
  WriteRecords(tlm, {MagPacket(0x208, kT0, 0, 32, 1), spec});
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({"ste", tlm, "--combine"}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("Accumulation (s): 8\n"), std::string::npos);
  EXPECT_NE(out.str().find("Written: " + dir + "/runSTE.txt\n"), std::string::npos);
  EXPECT_EQ(Lines(ReadText(dir + "/runSTE.txt"))[5], "  0\t      9\t      0");

  // A spectrum of 32 energies with lines 8 channels apart, fitted from the command line.
  Pkt peaks = Spec(kT0, 4, 32, 1, 0);
  for (int b = 0; b < 32; ++b)
    RecByte(peaks, 41 + b, static_cast<unsigned>(std::lround(2 + 29 * std::exp(-std::pow(b - 8, 2) / 4.5) +
                                                             20 * std::exp(-std::pow(b - 16, 2) / 4.5))));
  WriteRecords(dir + "/peaks.tlm", {peaks});
  std::ostringstream of, ef;
  ASSERT_EQ(RunBatch({"ste", dir + "/peaks.tlm", "--fit", "peaks", "--fit-spacing", "7.7"}, of, ef), 0);
  EXPECT_NE(of.str().find("\nFit: Itt "), std::string::npos) << of.str();
  const auto sPos = of.str().find("\ns: ");
  ASSERT_NE(sPos, std::string::npos);
  EXPECT_NEAR(std::stod(of.str().substr(sPos + 4)), 8.0, 0.05);
  std::ostringstream ob, eb;
  EXPECT_EQ(RunBatch({"ste", tlm, "--fit", "gauss"}, ob, eb), 2);

  std::ostringstream o2, e2;
  ASSERT_EQ(RunBatch({"mag", tlm, "0", "--out", dir + "/m.txt"}, o2, e2), 0) << e2.str();
  EXPECT_EQ(Lines(ReadText(dir + "/m.txt"))[5], " 1\t     2.0\t    -2.0\t     2.0");
  std::ostringstream o3, e3;
  EXPECT_EQ(RunBatch({"mag", tlm, "1"}, o3, e3), 1);  // record 1 is the spectrum
  EXPECT_NE(e3.str().find("not a MAG packet"), std::string::npos);
  std::ostringstream o4, e4;
  EXPECT_EQ(RunBatch({"mag", tlm}, o4, e4), 2);
  std::ostringstream o5, e5;
  ASSERT_EQ(RunBatch({"magseries", tlm}, o5, e5), 0);
  EXPECT_NE(o5.str().find("Samples: 42\nY min: -42.0\nY max: 82.0\nSegments: 1\n"), std::string::npos)
      << o5.str();
}

// ---- analyzer rates and burst housekeeping -----------------------------------------------------

TEST(TalloxDrevRates, StreamBytesGoToTheirABinsForSelectedRowsOnly) {
  Pkt p0, p1, p3;
  p0.apid = p1.apid = p3.apid = 0x210;
  p0.sec = kT0;
  p1.sec = kT0 + 1;
  p3.sec = kT0 + 2;
  RecByte(p0, 38, 0);
  RecByte(p0, 41, 10);      // stream 0: energy 0, D0 (half resolution), A 0 and 1
  RecByte(p0, 41 + 8, 20);  // stream 8: energy 0, D1, A 0
  RecByte(p0, 41 + 72, 6);  // stream 72: energy 0, D5 (half), A 0 and 1
  RecByte(p1, 38, 1);       // not a distribution packet number: ignored
  RecByte(p1, 41, 31);
  RecByte(p3, 38, 3);
  RecByte(p3, 41, 5);       // stream 256: energy 3, byte 16 of it: D1, A 8
  const std::string path = TempPath("drev.tlm");
  WriteRecords(path, {p3, p0, p1, p3});  // the first packet 3 has no packet 0 before it
  std::array<bool, 16> e;
  e.fill(true);
  std::array<bool, 6> d;
  d.fill(true);
  ScanInput in = Input(path);
  DrevRates r = ExtractDrevRates(in, e, d);
  ASSERT_EQ(r.t.size(), 1u);
  EXPECT_EQ(r.t[0], kT0);
  EXPECT_DOUBLE_EQ(r.perA[0][0], 5 / 0.0087 + 20 / 0.0087 + 3 / 0.0087);
  EXPECT_DOUBLE_EQ(r.perA[1][0], 5 / 0.0087 + 3 / 0.0087);
  EXPECT_DOUBLE_EQ(r.perA[8][0], 5 / 0.0087);
  EXPECT_EQ(r.perA[2][0], 0);

  e[3] = false;  // energy 3 off, D5 off
  d[5] = false;
  ScanInput in2 = Input(path);
  DrevRates s = ExtractDrevRates(in2, e, d);
  EXPECT_EQ(s.perA[8][0], 0);
  EXPECT_DOUBLE_EQ(s.perA[1][0], 5 / 0.0087);
}

TEST(TalloxBurstHk, SeriesDropsCapacityAndCriteria) {
  std::vector<Pkt> v;
  const unsigned b97[4] = {5, 7, 3, 3};
  for (int i = 0; i < 4; ++i) {
    Pkt p;
    p.sec = kT0 + 10 * i;
    RecByte(p, 96, 1 + i);
    RecByte(p, 95, 2);
    RecByte(p, 85, 3);
    RecByte(p, 97, b97[i]);
    v.push_back(p);
  }
  Pkt c;
  c.apid = 0x203;
  c.sec = kT0 + 100;
  RecByte(c, 41, 4);
  RecByte(c, 41 + 8 * 31 + 6, 9);  // (byte 296, criterion 7 of the last sample, is the checksum)
  v.push_back(c);
  const std::string path = TempPath("bursthk.tlm");
  WriteRecords(path, v);
  ScanInput in = Input(path);
  BurstHk b = ExtractBurstHk(in);
  ASSERT_EQ(b.t.size(), 4u);
  EXPECT_EQ(b.t[3], kT0 + 30);
  EXPECT_EQ(b.series[0][3], 4);
  EXPECT_EQ(b.series[3][1], 7);
  EXPECT_EQ(b.drops, std::vector<std::size_t>{2});
  ScanInput in2 = Input(path);
  BurstHk small = ExtractBurstHk(in2, 2);
  EXPECT_EQ(small.t.size(), 2u);
  EXPECT_TRUE(small.truncated);

  ScanInput in3 = Input(path);
  BurstCriteria k = ExtractBurstCriteria(in3);
  ASSERT_EQ(k.t.size(), 32u);
  EXPECT_EQ(k.t[31], kT0 + 131);
  EXPECT_EQ(k.series[0][0], 4);
  EXPECT_EQ(k.series[6][31], 9);
  ScanInput in4 = Input(path);
  EXPECT_EQ(ExtractBurstCriteria(in4, 20).t.size(), 20u);
}
