// Electron-telescope (STE) products: count rates (APID 0x220), accumulated spectra (APID 0x222)
// with their export, and the two line fits.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "hkdb.h"
#include "lsq.h"
#include "scans.h"

namespace tallox {

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

// ---- STE line fits -----------------------------------------------------------------------------
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

}  // namespace tallox
