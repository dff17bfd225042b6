#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "telemetry/convert.h"

using namespace korvex;

TEST(Convert, SensorLawsAndCurrents) {
  TlmCoeffs c;
  c.y = {-55.0, 0.045, -4.0e-06, 6.5e-10, 1.0e-14, -5.0e-19};
  c.r = {-245.0, 0.2356, 1.0e-06};
  c.m = {1, 2, 3, 4, 5, 6};
  c.u = {1.0, 0.35, 0.8};
  c.d = {2.0, 0.5, 1.0};
  double x = 2000;
  EXPECT_NEAR(YSI(c, x), -55.0 + 0.045 * x - 4e-6 * x * x + 6.5e-10 * x * x * x +
                             1e-14 * x * x * x * x - 5e-19 * x * x * x * x * x, 1e-9);
  EXPECT_NEAR(RTD(c, 1000), -245.0 + 235.6 + 1.0, 1e-9);
  EXPECT_DOUBLE_EQ(MAG(c, 2), 1 + 4 + 12 + 32 + 80 + 192);
  EXPECT_DOUBLE_EQ(Ucur(c, 40, 12, 1.5, 5), 40 + 0.35 * 12 - 0.8 * (1.5 - 5));
  EXPECT_DOUBLE_EQ(Dcur(c, 40, 12, 1.5, 5), 80 + 6 + 3.5);
  EXPECT_DOUBLE_EQ(Jitter(0x8000), 0.5);
}

TEST(Convert, LinearPicksTheSpacecraftCoefficients) {
  ItemLine it = SplitItemLine("T\t1\t231\tU8\t8\t0.5\t-40\tC\tN\tN\tN\tN\td\tLIN\t0.49\t-39.2");
  EXPECT_DOUBLE_EQ(Linear(100, it), 10);
  EXPECT_DOUBLE_EQ(Linear(100, it, 2, false), 10);  // A/B only for the items that have it
  EXPECT_NEAR(Linear(100, it, 2, true), 9.8, 1e-12);
  EXPECT_DOUBLE_EQ(Linear(100, it, 1, true), 10);
  ItemLine empty = SplitItemLine("T\t1\t231\tU8\t8\t\t3");
  EXPECT_DOUBLE_EQ(Linear(7, empty), 10);
}

TEST(Convert, SampleClockAndFormats) {
  std::uint8_t p[2] = {0x5B, 0xC1};
  EXPECT_EQ(U16(p, 0), 0xC15Bu);
  EXPECT_EQ(SampleTimeText(U16(p, 0)), "12:05:27");
  EXPECT_EQ(FmtHex4(0xAB), "0x00AB");
  EXPECT_EQ(FmtF2(-0.005), "-0.01");
  EXPECT_EQ(FmtF(0.25), "0.250000");
  std::uint8_t w[4] = {0x34, 0x12, 0x78, 0x56};
  EXPECT_EQ(U32(w, 0), 0x56781234u);
  EXPECT_EQ(Bit8(0x80, 0), 1);
  EXPECT_EQ(Bit8(0x80, 7), 0);
  EXPECT_EQ(Bit16(0x0001, 15), 1);
}

TEST(Spacecraft, TokensAndLimits) {
  SpcPar ten = GetSpcPar("K_00B\tdesc\t12\t0\t16\t0.0\t0.001\tV\tVALUE\tnote");
  EXPECT_FALSE(ten.limits);
  EXPECT_EQ(ten.ndx, 12);
  EXPECT_EQ(ten.numb, 16);
  EXPECT_DOUBLE_EQ(ten.vmlt, 0.001);
  SpcPar eleven = GetSpcPar("K_00B\tdesc\t12\t0\t16\t0.0\t0.001\t26.0\t31.0\t24.0\t33.0");
  ASSERT_TRUE(eleven.limits);
  EXPECT_DOUBLE_EQ(eleven.spcyl, 26);
  EXPECT_DOUBLE_EQ(eleven.spcrh, 33);
  EXPECT_EQ(eleven.rl, "24.0");
  SpcPar shortLine = GetSpcPar("K\td\t3");
  EXPECT_EQ(shortLine.ndx, 3);
  EXPECT_DOUBLE_EQ(shortLine.vofs, 0);
}

TEST(Spacecraft, EvalDispBitFields) {
  std::uint8_t p[8] = {0xB6, 0x5A, 0x12, 0x34, 0, 0, 0, 0};
  auto eval = [&](int ndx, int bofs, int numb, double vofs = 0, double vmlt = 0) {
    SpcPar s;
    s.ndx = ndx, s.bofs = bofs, s.numb = numb, s.vofs = vofs, s.vmlt = vmlt;
    return EvalDisp(p, 8, s);
  };
  EXPECT_EQ(eval(0, 3, 5), 22);        // 0xB6, bits 3..7
  EXPECT_EQ(eval(0, 0, 8), 0xB6);
  EXPECT_EQ(eval(0, 0, 16), 0xB65A);
  EXPECT_EQ(eval(0, 0, 3), 5);         // top three bits of 0xB6
  EXPECT_EQ(eval(0, 0, 12), 0xB65);
  EXPECT_EQ(eval(0, 1, 2), 1);         // 0xB6 = 1011 0110: bits 1-2 = 01
  EXPECT_EQ(eval(0, 4, 12), 0x65A);    // word, 12 bits from bit 4
  EXPECT_EQ(eval(0, 8, 4), 5);         // top four bits of 0x5A
  EXPECT_EQ(eval(0, 12, 4), 0xA);
  EXPECT_EQ(eval(0, 16, 16), 0x1234);
  EXPECT_EQ(eval(0, 9, 9), 0);         // not a combination the decoder reads
  EXPECT_DOUBLE_EQ(eval(2, 0, 8, 1.5, 0.5), 0x12 * 0.5 + 1.5);
  EXPECT_EQ(eval(7, 0, 16), 0);        // the second byte would lie past the packet
}

TEST(Spacecraft, ShownTexts) {
  EXPECT_EQ(SpcText("SC_IDPU_STAT_00B", 0), "OK");
  EXPECT_EQ(SpcText("SC_IDPU_STAT_00B", 4), "NO_RESPONSE");
  EXPECT_EQ(SpcText("SC_IDPU_STAT_00B", 12), "A_D_ERROR");
  EXPECT_EQ(SpcText("SC_IDPU_STAT_00B", 7), "INVALID");
  EXPECT_EQ(SpcText("SC_HTR_TT_1_00C", 1), "ON");
  EXPECT_EQ(SpcText("SC_ST_IDPU_PWR_00D", 0), "NO REQUEST");
  EXPECT_EQ(SpcText("SC_ST_SEP_X_00D", 1), "REQUEST PWR ON");
  EXPECT_EQ(SpcText("SC_CUR_IDPU_00B", 1.25), "1.250 A");
  EXPECT_EQ(SpcText("SC_TMP_DECK_00B", 21), "21 C");
  EXPECT_EQ(SpcText("SC_PDU_MAIN_00B", 28.5), "28.500 V");
}

// The value texts must be printf's digits exactly: halves that sit just above or below in binary,
// negative zero, large and tiny values, NaN and infinities, and a spread of ordinary values.
TEST(Formats, ValueTextsArePrintfDigits) {
  auto printf2 = [](double v) {
    char b[512];
    std::snprintf(b, sizeof b, "%.2f", v);
    return std::string(b);
  };
  auto printf6 = [](double v) {
    char b[512];
    std::snprintf(b, sizeof b, "%f", v);
    return std::string(b);
  };
  std::vector<double> vs = {0.125, 0.375, 2.675, 1.005, -0.005, -0.0, 0.0, 1e-7, 5e-7, 999999.995,
                            1e20, -3.25e15, 1.7976931348623157e308, std::nan(""),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity()};
  std::uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    vs.push_back(static_cast<double>(static_cast<std::int64_t>(x % 2000001) - 1000000) / 800.0);
  }
  for (double v : vs) {
    ASSERT_EQ(FmtF2(v), printf2(v)) << v;
    ASSERT_EQ(FmtF(v), printf6(v)) << v;
    char b[512];
    std::snprintf(b, sizeof b, v == std::floor(v) && std::fabs(v) < 1e15 ? "%.0f" : "%.3f", v);
    ASSERT_EQ(SpcText("SC_PDU_MAIN_BUS", v), std::string(b) + " V") << v;
  }
  EXPECT_EQ(FmtInt(-9223372036854775807LL - 1), "-9223372036854775808");
}
