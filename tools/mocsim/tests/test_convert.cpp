#include <gtest/gtest.h>

#include <cmath>

#include "convert.h"

using namespace mocsim;

// Coefficients of the sample database's sensor laws.
static const double kYsi[6] = {-55.0, 0.045, -4.0e-06, 6.5e-10, 1.0e-14, -5.0e-19};
static const double kRtd[3] = {-245.0, 0.2356, 1.0e-06};

TEST(MocsimInverse, LinearRoundTripWithinOneCount) {
  struct Case { double gain, off; int maxRaw; };
  for (Case c : {Case{0.002, 0, 65535}, Case{-0.002, 0, 65535}, Case{0.5, -40, 255}, Case{8, 0, 65535},
                 Case{1.52587890625e-05, 0, 65535}}) {
    for (int raw = 0; raw <= c.maxRaw; raw += 97) {
      double v = linearForward(raw, c.gain, c.off);
      EXPECT_EQ(linearInverse(v, c.gain, c.off, c.maxRaw), raw) << c.gain;
    }
    // A value between counts comes back within half a count.
    double v = linearForward(100.4, c.gain, c.off);
    EXPECT_LE(std::fabs(linearForward(linearInverse(v, c.gain, c.off, c.maxRaw), c.gain, c.off) - v),
              std::fabs(c.gain) / 2 + 1e-12);
  }
  // Out of range values clamp instead of wrapping.
  EXPECT_EQ(linearInverse(-5.0, 0.002, 0, 65535), 0);
  EXPECT_EQ(linearInverse(1e9, 0.002, 0, 65535), 65535);
  EXPECT_EQ(linearInverse(std::nan(""), 1, 0, 255), 0);
}

TEST(MocsimInverse, PolynomialLawsRoundTrip) {
  for (int raw = 0; raw <= 4095; raw += 13) {
    EXPECT_EQ(polyInverse(kYsi, 6, polyEval(kYsi, 6, raw), 4095), raw);
    EXPECT_EQ(polyInverse(kRtd, 3, polyEval(kRtd, 3, raw), 65535), raw);
  }
  // A temperature between counts: the chosen count is one of its two neighbours' nearest.
  for (double t : {-20.0, 0.0, 21.3, 44.9}) {
    int r = polyInverse(kYsi, 6, t, 4095);
    double here = std::fabs(polyEval(kYsi, 6, r) - t);
    EXPECT_LE(here, std::fabs(polyEval(kYsi, 6, r + 1) - t));
    EXPECT_LE(here, std::fabs(polyEval(kYsi, 6, r - 1) - t));
  }
}

TEST(MocsimInverse, NonMonotonicPolynomialPicksNearestCount) {
  // (x - 100)^2: both 90 and 110 give 100; any of them is right, nothing else is.
  const double c[3] = {10000.0, -200.0, 1.0};
  int r = polyInverse(c, 3, 100.0, 255);
  EXPECT_TRUE(r == 90 || r == 110) << r;
  // Below the minimum the vertex is the best that can be done.
  EXPECT_EQ(polyInverse(c, 3, -50.0, 255), 100);
}

TEST(MocsimInverse, CurrentMonitorsAndHetThermistor) {
  const double abc[3] = {1.0, 0.35, 0.8};
  double x = currentInverseX(55.0, abc, 12.0, 1.5, 5.0);
  EXPECT_NEAR(currentForward(x, abc, 12.0, 1.5, 5.0), 55.0, 1e-9);
  for (double t : {-25.0, 10.0, 35.0}) EXPECT_NEAR(hetForward(hetInverse(t)), t, 1e-9);
  EXPECT_DOUBLE_EQ(hetForward(116.0), 10.0);
  EXPECT_DOUBLE_EQ(sitForward(100, 0.03, 0, 6.0, 0.1, 6.0), 3.0);
}
