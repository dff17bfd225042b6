// Science products read from a recording: magnetometer time series and single-packet export,
// electron-telescope (STE) count rates and accumulated spectra with their export, and the
// least-squares fits (one Levenberg-Marquardt routine under the MAG step fit and the two STE
// line fits).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "browse.h"
#include "hkdb.h"
#include "scans.h"

namespace tallox {

// ---- MAG time series ---------------------------------------------------------------------------
constexpr std::size_t kMagCapacity = 1000000;
constexpr double kMagSegmentGap = 20.0;  // seconds between samples that still join one line

struct MagSeries {
  std::vector<double> t;        // mission seconds with fraction
  std::vector<float> x, y, z;   // word - 32768
  std::uint64_t packets = 0;    // packets read into the store
  bool truncated = false;       // a later packet no longer fitted
  bool cancelled = false;
  std::string error;
  std::size_t size() const { return t.size(); }
};

// `PlotMAG`'s extraction: APID 0x209 (burst) or 0x208.
MagSeries ExtractMag(ScanInput& in, bool burst, std::size_t capacity = kMagCapacity);
// [begin, end) index ranges drawn as one line each: a new one starts wherever consecutive sample
// times are more than kMagSegmentGap apart.
std::vector<std::pair<std::size_t, std::size_t>> MagSegments(const MagSeries& s);
// Smallest and largest of the three components (from +1e6 / -1e6 when nothing is held).
void MagLimits(const MagSeries& s, double* lo, double* hi);
// "label: value" lines for the batch command line (counts, limits, segments, first/last time).
std::string FormatMagSeries(const MagSeries& s);

// `SaveMag`: the export of one displayed MAG packet, "FileName" with ".txt" for its extension
// unless target names another path. Never writes over the telemetry file.
bool SaveMag(const std::string& fileName, const MagView& m, int packetNumber,
             std::string* outPath, std::string* error, const std::string& target = "");

// ---- STE rates (APID 0x220) --------------------------------------------------------------------
struct SteRates {
  std::uint64_t packets = 0;
  std::uint64_t skippedZeroAcc = 0;  // packets with no accumulation time, not divisible
  // Frames reaching the next rate packet's time or past the last packet time read.
  std::uint64_t framesLeftOut = 0;
  bool truncated = false, cancelled = false;
  std::string error;
};
// Ten frames a packet into store.UTC and store.Samples rows 0..23 (counts per second).
SteRates ExtractSteRates(ScanInput& in, SampleStore& store, std::size_t capacity = kMaxSamples);
// Autoscale over the selected channels: minimum from 1e6, kept at least 1; maximum from 1.
void SteRateLimits(const SampleStore& store, const std::array<bool, 24>& selected, double* lo,
                   double* hi);
// Control numbers of the channel selectors for channels 0..23, in the order they sit on the panel.
extern const int kSteChannelControls[24];

// ---- STE spectrum accumulation (APID 0x222) ----------------------------------------------------
struct SteAccumulation {
  std::array<double, 512> Spectra{};
  int NumEnergy0 = 0, Mode0 = 0;
  double AccTime = 0;
  std::uint64_t packets = 0;         // packets accumulated
  std::uint64_t skippedBadSize = 0;  // energy counts that do not fit the 512 bins
  bool any = false;
  std::uint32_t startTime = 0, endTime = 0;
  std::string startText, endText;  // the panel's start- and end-time fields
  bool endedByChange = false;      // a mode or size change ended it: STEAccNext can go on
  bool cancelled = false;
  std::string error;
};
SteAccumulation AccSTESpec(ScanInput& in);
// `STEAccNext`: moves the window start to the remembered end + 120 s, turns the whole-file
// switch off and accumulates again (up to the end field, or to the end of the file when that is
// unreadable or earlier). False (nothing run) when the last one did not end at a change.
bool STEAccNext(ScanInput& in, SteAccumulation& acc);
// Autoscale over all 512 bins (as rates when rate is set): minimum over non-zero values from
// 1e6, maximum from 0.
void SteSpecLimits(const SteAccumulation& a, bool rate, double* lo, double* hi);
std::string FormatSteAccumulation(const SteAccumulation& a);
// `SaveSTEAcc`: "FileName" with "STE.txt" for its extension (x.tlm gives xSTE.txt).
bool SaveSTEAcc(const std::string& fileName, const SteAccumulation& a, bool combine,
                std::string* outPath, std::string* error, const std::string& target = "");

// ---- least squares -----------------------------------------------------------------------------
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

// MAG in-flight-calibration step: p0 + p1 + p4 up to p2, two exponential decays after it.
double MagIfcModel(double t, const double* p);
void MagIfcDerivs(double t, const double* p, double* d);
struct MagIfcDefaults {
  double midOffset = 1.0;  // samples before the midpoint crossing where the step is assumed
  double tau1 = 2.0, tau2 = 10.0;  // samples
  double ratio = 0.1;      // p4 as a share of the step
};
struct MagIfcFit {
  std::array<double, 6> p{};
  std::string message;
  double chi2 = 0;
  double offset = 0, step = 0, tau1Seconds = 0, tau2Seconds = 0, ratio = 0;
  int iterations = 0;
};
// Fits one component's 42 values; dt = sample interval in seconds.
MagIfcFit FitMagComponent(const std::array<double, 42>& y, double dt,
                          const MagIfcDefaults& d = {});
// The MAG packet's sample interval: byte 39 / 32 seconds.
double MagSampleInterval(const std::uint8_t* swapped);
std::string FormatMagIfcFit(const std::array<MagIfcFit, 3>& f);

// STE line shape: h exp(-u^2/2), u = (x - m)/w, 0 beyond |u| = 5.
double Gauss(double x, double m, double h, double w);
// `STEFitP`: seven lines at k*s (k = 1..7), common width. p = {s, w, h1..h7}.
constexpr int kStePeaksParams = 9;
double StePeaksModel(double x, const double* p);
void StePeaksDerivs(double x, const double* p, double* d);
// `STEFit`: lines at 5.895, 22.08, 25.0, 88.04 (ranges 0, 1, 1, 2); line l sits at channel
// o_r + g_r E + q E^2 of its range r. p = {g0, o0, g1, o1, g2, o2, q, w, h0..h3}.
constexpr int kSteLinesParams = 12;
extern const double kSteLineEnergy[4];
extern const int kSteLineRange[4];
double SteLinesModel(double x, const double* p);
void SteLinesDerivs(double x, const double* p, double* d);
// Fits channels 0..n-1 of a spectrum (errors sqrt(max(count,1))). The heights of lines that start
// outside the spectrum are held.
LsqState FitStePeaks(const std::vector<double>& spectrum, std::vector<double> start);
LsqState FitSteLines(const std::vector<double>& spectrum, std::vector<double> start,
                     std::vector<bool> freeP);

// ---- analyzer rates (APID 0x210) ---------------------------------------------------------------
struct DrevRates {
  std::vector<std::uint32_t> t;                 // one sample a distribution (its packet 0's time)
  std::array<std::vector<double>, 16> perA;     // per-A sums of the selected counts / 0.0087
  bool truncated = false, cancelled = false;
  std::string error;
};
// energies: 16 selectors, d: 6 selectors. Packets 0, 3, 6, 9, 12 carry stream bytes 256 (n/3) on.
DrevRates ExtractDrevRates(ScanInput& in, const std::array<bool, 16>& energies,
                           const std::array<bool, 6>& d, std::size_t capacity = kMagCapacity);

// ---- burst housekeeping ------------------------------------------------------------------------
constexpr std::size_t kBurstCapacity = 100000;
struct BurstHk {
  std::vector<std::uint32_t> t;
  std::array<std::vector<double>, 4> series;  // bytes 96, 95, 85, 97
  std::vector<std::size_t> drops;             // samples where series 3 fell from the one before
  bool truncated = false, cancelled = false;
  std::string error;
};
// `PlotBurst`: every housekeeping record (APID 0x200), at most capacity.
BurstHk ExtractBurstHk(ScanInput& in, std::size_t capacity = kBurstCapacity);
struct BurstCriteria {
  std::vector<std::uint32_t> t;  // packet time + q
  std::array<std::vector<double>, 8> series;
  bool truncated = false, cancelled = false;
  std::string error;
};
// `PlotBurstCriteria`: APID 0x203, 32 one-second samples of eight bytes each.
BurstCriteria ExtractBurstCriteria(ScanInput& in, std::size_t capacity = kBurstCapacity);

}  // namespace tallox
