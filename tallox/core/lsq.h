// Least squares: one Levenberg-Marquardt routine (`lsq`) over a model and its parameter
// derivatives, with the symmetric matrix inverse and matrix-vector product under it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tallox {

// Inverts the symmetric n x n matrix m (row-major) in place; 0 when it is singular.
int smatinv(double* m, int n);
// result = m * v for an n x n matrix.
void mvmult(const double* m, const double* v, double* result, int n);

struct FitProblem {
  std::vector<double> x, Y, Sig;                                   // nY points
  std::function<double(double x, const double* p)> func;           // model
  std::function<void(double x, const double* p, double* d)> dfunc;  // d[j] = df/dp_j
};
struct LsqState {
  std::vector<double> P;     // current parameters (P1); the caller fills the starting values
  std::vector<bool> freeP;   // empty: all free
  double chi2 = 0, lambda = 1, r = 1;
  int iterations = 0;
  std::string Result;        // the current message
};
double Chi2(const FitProblem& f, const std::vector<double>& p);
// Levenberg-Marquardt over the free parameters of st.P; returns chi^2.
double lsq(const FitProblem& f, LsqState& st);

}  // namespace tallox
