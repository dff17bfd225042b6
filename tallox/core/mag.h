// Magnetometer (MAG) products: the time series of APIDs 0x208/0x209, the single-packet export
// and the in-flight-calibration step fit.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "browse.h"
#include "hkdb.h"
#include "lsq.h"
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

// ---- MAG step fit ------------------------------------------------------------------------------
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

}  // namespace tallox
