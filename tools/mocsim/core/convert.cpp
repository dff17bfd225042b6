#include "convert.h"

#include <cmath>

namespace mocsim {

double polyEval(const double* c, int n, double x) {
  double v = 0;
  for (int i = n - 1; i >= 0; --i) v = v * x + c[i];
  return v;
}

double linearForward(double raw, double gain, double offset) { return raw * gain + offset; }

int linearInverse(double value, double gain, double offset, int maxRaw) {
  if (gain == 0.0) gain = 1.0;
  double r = std::round((value - offset) / gain);
  if (!(r >= 0)) return 0;  // also catches NaN
  if (r > maxRaw) return maxRaw;
  return int(r);
}

int polyInverse(const double* c, int n, double value, int maxRaw) {
  return functionInverse([&](double x) { return polyEval(c, n, x); }, value, maxRaw);
}

double currentForward(double x, const double* abc, double v12, double vcc1, double v5d) {
  return abc[0] * x + abc[1] * v12 - abc[2] * (vcc1 - v5d);
}

double currentInverseX(double current, const double* abc, double v12, double vcc1, double v5d) {
  if (abc[0] == 0.0) return 0.0;
  return (current - abc[1] * v12 + abc[2] * (vcc1 - v5d)) / abc[0];
}

double hetForward(double x) { return 39.4 * std::tan(0.0085 * (x - 116.0)) + 10.0; }

double hetInverse(double t) { return std::atan((t - 10.0) / 39.4) / 0.0085 + 116.0; }

double sitForward(double raw, double gain, double offset, double ref, double slope, double p6) {
  return raw * gain + offset - (ref - p6) * slope;
}

}  // namespace mocsim
