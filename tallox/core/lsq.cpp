#include "lsq.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tallox {

// ---- least squares -----------------------------------------------------------------------------

int smatinv(double* m, int n) {
  // Gauss-Jordan with partial pivoting on [m | I].
  std::vector<double> a(static_cast<std::size_t>(n) * 2 * n, 0.0);
  const int w = 2 * n;
  double scale = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      a[i * w + j] = m[i * n + j];
      scale = std::max(scale, std::fabs(m[i * n + j]));
    }
  for (int i = 0; i < n; ++i) a[i * w + n + i] = 1.0;
  if (scale == 0 || !std::isfinite(scale)) return 0;
  const double tiny = scale * 1e-13;
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r * w + c]) > std::fabs(a[piv * w + c])) piv = r;
    if (!(std::fabs(a[piv * w + c]) > tiny)) return 0;
    if (piv != c)
      for (int j = 0; j < w; ++j) std::swap(a[c * w + j], a[piv * w + j]);
    const double p = a[c * w + c];
    for (int j = 0; j < w; ++j) a[c * w + j] /= p;
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[r * w + c];
      if (f == 0) continue;
      for (int j = 0; j < w; ++j) a[r * w + j] -= f * a[c * w + j];
    }
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) m[i * n + j] = a[i * w + n + j];
  return 1;
}

void mvmult(const double* m, const double* v, double* result, int n) {
  for (int i = 0; i < n; ++i) {
    double s = 0;
    for (int j = 0; j < n; ++j) s += m[i * n + j] * v[j];
    result[i] = s;
  }
}

double Chi2(const FitProblem& f, const std::vector<double>& p) {
  double c = 0;
  for (std::size_t i = 0; i < f.Y.size(); ++i) {
    const double e = (f.Y[i] - f.func(f.x[i], p.data())) / f.Sig[i];
    c += e * e;
  }
  return c;
}

double lsq(const FitProblem& f, LsqState& st) {
  const int nP = static_cast<int>(st.P.size());
  std::vector<int> idx;  // the free parameters
  for (int j = 0; j < nP; ++j)
    if (st.freeP.empty() || (j < static_cast<int>(st.freeP.size()) && st.freeP[j])) idx.push_back(j);
  const int n = static_cast<int>(idx.size());
  st.chi2 = Chi2(f, st.P);
  st.lambda = 1;
  st.r = 1;
  st.iterations = 0;
  std::vector<double> alpha(n * n), a2(n * n), beta(n), delta(n), dyda(nP), trial;
  char msg[64];
  while (!(st.r <= 0.01 && st.lambda <= 0.001) && st.iterations < 300) {
    std::fill(alpha.begin(), alpha.end(), 0.0);
    std::fill(beta.begin(), beta.end(), 0.0);
    for (std::size_t i = 0; i < f.Y.size(); ++i) {
      std::fill(dyda.begin(), dyda.end(), 0.0);
      f.dfunc(f.x[i], st.P.data(), dyda.data());
      const double w = 1.0 / (f.Sig[i] * f.Sig[i]);
      const double dy = f.Y[i] - f.func(f.x[i], st.P.data());
      for (int j = 0; j < n; ++j) {
        beta[j] += dy * dyda[idx[j]] * w;
        for (int k = 0; k < n; ++k) alpha[j * n + k] += dyda[idx[j]] * dyda[idx[k]] * w;
      }
    }
    double chiNew = st.chi2;
    bool zeroStep = false;
    for (;;) {
      for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k) a2[j * n + k] = alpha[j * n + k] * (j == k ? 1 + st.lambda : 1);
      std::snprintf(msg, sizeof msg, "Itt %d, X^2=%8.1f", st.iterations, st.chi2);
      st.Result = msg;
      bool singular = false;
      if (n == 0 || !smatinv(a2.data(), n)) {
        st.Result = "LSQ error";
        singular = true;
        st.r = -1;
      } else {
        mvmult(a2.data(), beta.data(), delta.data(), n);
        trial = st.P;
        zeroStep = true;
        for (int j = 0; j < n; ++j) {
          trial[idx[j]] += delta[j];
          if (delta[j] != 0) zeroStep = false;
        }
        chiNew = Chi2(f, trial);
        // A perfect start (chi^2 0) is not divided by; it can only stay or grow.
        if (st.chi2 > 0)
          st.r = (st.chi2 - chiNew) / st.chi2;
        else
          st.r = chiNew > 0 ? -1 : 0;
        if (!std::isfinite(chiNew)) st.r = -1;
      }
      if (!(st.r < -0.05)) break;
      st.lambda *= 3;
      if (st.lambda > 50) {
        // A matrix that stayed singular is reported as such; the parameters stay as accepted.
        if (!singular) st.Result = "Not converging";
        return st.chi2;
      }
    }
    st.lambda /= 3;
    st.P = trial;
    st.chi2 = chiNew;
    st.r = std::fabs(st.r);
    ++st.iterations;
    // No step at all (the gradient is zero: the parameters are already at the optimum): further
    // rounds would repeat it.
    if (zeroStep) break;
  }
  return st.chi2;
}

}  // namespace tallox
