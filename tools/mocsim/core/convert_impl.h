#pragma once
#include <cmath>

namespace mocsim {

template <class F>
int functionInverse(F f, double value, int maxRaw) {
  if (maxRaw <= 0) return 0;
  // Sample coarsely, then refine every stretch whose ends bracket the value; the nearest sampled
  // count covers values outside the function's range.
  const int steps = maxRaw < 128 ? maxRaw : 128;
  int best = 0;
  double bestErr = std::fabs(f(0.0) - value);
  auto consider = [&](int r) {
    double e = std::fabs(f(double(r)) - value);
    if (e < bestErr || (e == bestErr && r < best)) {
      best = r;
      bestErr = e;
    }
  };
  int prev = 0;
  double fprev = f(0.0) - value;
  for (int s = 1; s <= steps; ++s) {
    int r = int((long long)maxRaw * s / steps);
    double fr = f(double(r)) - value;
    consider(r);
    if ((fprev <= 0 && fr >= 0) || (fprev >= 0 && fr <= 0)) {
      int lo = prev, hi = r;
      bool rising = fr >= fprev;
      while (hi - lo > 1) {
        int mid = lo + (hi - lo) / 2;
        double fm = f(double(mid)) - value;
        if ((fm < 0) == rising) lo = mid;
        else hi = mid;
      }
      consider(lo);
      consider(hi);
    }
    prev = r;
    fprev = fr;
  }
  // Values beyond the function's range (an extremum between two samples): walk downhill from the
  // best sample to the nearest count.
  for (int dir : {-1, 1}) {
    for (int r = best + dir; r >= 0 && r <= maxRaw; r += dir) {
      double e = std::fabs(f(double(r)) - value);
      if (!(e < bestErr)) break;
      best = r;
      bestErr = e;
    }
  }
  return best;
}

}  // namespace mocsim
