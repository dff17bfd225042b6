// Raw counts <-> engineering units, forward as the station converts and inverse as the simulator
// needs to choose counts for a wanted value.
#pragma once

#include <cstdint>
#include <vector>

namespace mocsim {

double polyEval(const double* c, int n, double x);
double linearForward(double raw, double gain, double offset);

// Closest count in [0, maxRaw] for `value` = raw * gain + offset.
int linearInverse(double value, double gain, double offset, int maxRaw);
// Closest count in [0, maxRaw] for a polynomial c[0] + c[1] x + ... (n coefficients). The
// polynomial need not be monotonic over the whole range: the count whose image is nearest wins,
// found per monotonic stretch by bisection.
int polyInverse(const double* c, int n, double value, int maxRaw);
// Generic: nearest count of any function, under the same assumptions.
template <class F>
int functionInverse(F f, double value, int maxRaw);

// STE current monitors: I = a x + b V12 - c (VCC1 - V5D), with x the linear value of the count.
double currentForward(double x, const double* abc, double v12, double vcc1, double v5d);
double currentInverseX(double current, const double* abc, double v12, double vcc1, double v5d);

// SEP HET thermistors: T = 39.4 tan(0.0085 (x - 116)) + 10, x the linear value of the count.
double hetForward(double x);
double hetInverse(double t);

// SIT monitors: v = raw * gain + offset - (ref - p6) * slope.
double sitForward(double raw, double gain, double offset, double ref, double slope, double p6);

}  // namespace mocsim

#include "convert_impl.h"
