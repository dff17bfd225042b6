#include "ste.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "export_util.h"

namespace tallox {

using detail::CloseExport;
using detail::Line;
using detail::Num;
using detail::OpenExport;

// ---- STE rates ---------------------------------------------------------------------------------

const int kSteChannelControls[24] = {28, 29, 25, 22, 31, 27, 24, 21, 30, 26, 23, 20,
                                     19, 16, 13, 10, 18, 15, 12, 9,  17, 14, 11, 8};

// A packet holds ten frames of a seconds each, the frame k at t + k a. The instrument's packets
// need not follow each other every 10 a seconds (a recording made at another cadence, a mode
// change, a repeated packet): frames that reach the next packet's time would draw the series back
// and forth, and the last packet's frames would run past the end of the recording. So a packet's
// frames are held until the next rate packet (or the end of the data) says how far they may go:
// frames at or after the next packet's time, or after the last suite or companion time read, are
// left out and counted, and the series stays in time order inside the span of the data read.
SteRates ExtractSteRates(ScanInput& in, SampleStore& store, std::size_t capacity) {
  SteRates r;
  store.reset();
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  struct Frame {
    std::uint32_t t;
    std::array<float, 24> v;
  };
  std::vector<Frame> pending;
  bool any = false;                 // a frame has been stored
  std::uint32_t lastStored = 0;     // its time
  std::uint32_t spanEnd = 0;        // latest suite or companion packet time read
  // Stores the pending frames before `limit` (exclusive, or inclusive at the end of the data).
  auto commit = [&](std::uint32_t limit, bool inclusive) {
    for (const Frame& f : pending) {
      const bool inside = (inclusive ? f.t <= limit : f.t < limit) && (!any || f.t > lastStored);
      if (!inside) {
        ++r.framesLeftOut;
        continue;
      }
      if (store.count >= capacity) {
        r.truncated = true;
        break;
      }
      store.UTC.push_back(f.t);
      for (int c = 0; c < 24; ++c) store.Samples[c].push_back(f.v[c]);
      ++store.count;
      any = true;
      lastStored = f.t;
    }
    pending.clear();
  };
  r.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    const unsigned apid = PacketApid(rec, swap);
    if (apid >= 0x200 && apid <= 0x37E) spanEnd = std::max(spanEnd, PacketSeconds(rec, swap));
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x220) return true;
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const std::uint32_t t = GetLong3412(d, 32);
    const unsigned a = GetByte(d, 38);
    // A packet claiming no accumulation time has no rate to give; it is left out rather than
    // filling the plot with infinities.
    if (a == 0) {
      ++r.skippedZeroAcc;
      return true;
    }
    commit(t, false);
    if (r.truncated) return false;
    for (int k = 0; k < 10; ++k) {
      Frame f;
      f.t = t + static_cast<std::uint32_t>(k) * a;
      for (int c = 0; c < 24; ++c)
        f.v[c] = static_cast<float>(Uncompress(GetByte(d, 47 + 25 * k + c)) / static_cast<double>(a));
      pending.push_back(f);
    }
    ++r.packets;
    return true;
  });
  if (!r.truncated) commit(spanEnd, true);
  if (records == 0) r.error = in.source.error();
  return r;
}

void SteRateLimits(const SampleStore& store, const std::array<bool, 24>& selected, double* lo,
                   double* hi) {
  double a = 1000000, b = 1;
  for (int c = 0; c < 24; ++c) {
    if (!selected[c]) continue;
    for (float v : store.Samples[c]) {
      a = std::min(a, static_cast<double>(v));
      b = std::max(b, static_cast<double>(v));
    }
  }
  *lo = std::max(a, 1.0);
  *hi = b;
}

// ---- STE spectra -------------------------------------------------------------------------------

SteAccumulation AccSTESpec(ScanInput& in) {
  SteAccumulation acc;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  std::uint32_t last = 0;
  auto add = [&](int from, int to, int bin0) {
    for (int k = from; k <= to; ++k) acc.Spectra[bin0 + k - from] += Uncompress(GetByte(d, k));
  };
  acc.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x222) return true;
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const std::uint32_t t = GetLong3412(d, 32);
    const unsigned a = GetByte(d, 36);
    const int n = static_cast<int>(GetByte(d, 38));
    const int mode = static_cast<int>(GetByte(d, 39));
    const unsigned part = GetByte(d, 40);
    // Eight spectra of N energies have to fit the 512 bins (and the export reads 8N of them).
    if (n < 1 || n > 64) {
      ++acc.skippedBadSize;
      return true;
    }
    if (!acc.any) {
      acc.any = true;
      acc.Mode0 = mode;
      acc.NumEnergy0 = n;
      acc.startTime = t;
      acc.startText = GetTime1(t);
    } else if (mode != acc.Mode0 || n != acc.NumEnergy0) {
      acc.endTime = last;
      acc.endText = GetTime1(last);
      acc.endedByChange = true;
      return false;
    }
    if (n == 16) {
      add(41, 168, 0);
      add(169, 296, 0);
      acc.AccTime += 2.0 * a;
    } else if (n == 64) {
      if (part == 0) {
        add(41, 296, 0);
      } else {
        add(41, 296, 256);
        acc.AccTime += a;
      }
    } else {
      add(41, 296, 0);
      acc.AccTime += a;
    }
    ++acc.packets;
    last = t;
    return true;
  });
  if (acc.any && !acc.endedByChange) {
    acc.endTime = last;
    acc.endText = GetTime1(last);
  }
  if (records == 0) acc.error = in.source.error();
  return acc;
}

bool STEAccNext(ScanInput& in, SteAccumulation& acc) {
  if (!acc.endedByChange) return false;
  const std::uint32_t start = acc.endTime + 120;
  in.ctl.startText = GetTime1(start);
  in.ctl.wholeFile = false;
  // An accumulation that stopped early never read the file's last time into the end field; an
  // end field that is empty or lies before the new start would give an empty window, so the
  // window then reaches to the end of the file.
  const auto end = GetUTC32(in.ctl.endText);
  if (!end || *end < start) in.ctl.endText = GetTime1(0xFFFFFFFFu);
  acc = AccSTESpec(in);
  return true;
}

void SteSpecLimits(const SteAccumulation& a, bool rate, double* lo, double* hi) {
  double mn = 1000000, mx = 0;
  for (double v : a.Spectra) {
    if (rate && a.AccTime > 0) v /= a.AccTime;
    if (v != 0) mn = std::min(mn, v);
    mx = std::max(mx, v);
  }
  *lo = mn;
  *hi = mx;
}

std::string FormatSteAccumulation(const SteAccumulation& a) {
  std::string out = Line("Packets", std::to_string(a.packets));
  out += Line("Energies", std::to_string(a.NumEnergy0)) + Line("Mode", std::to_string(a.Mode0));
  out += Line("Accumulation (s)", Num(a.AccTime, "%.0f"));
  if (a.any) out += Line("Start", a.startText) + Line("End", a.endText);
  if (a.endedByChange) out += Line("Ended by mode change", "yes");
  return out;
}

bool SaveSTEAcc(const std::string& fileName, const SteAccumulation& a, bool combine,
                std::string* outPath, std::string* error, const std::string& target) {
  const std::string path = target.empty() ? OutputPath(fileName, "STE.txt") : target;
  if (outPath) *outPath = path;
  std::FILE* f = OpenExport(fileName, path, error);
  if (!f) return false;
  const int n = std::clamp(a.NumEnergy0, 0, 64);
  const double* s = a.Spectra.data();
  std::fprintf(f, "ZEPHRA VANTIS STE Spectra Data\n");
  std::fprintf(f, " Data extracted from telemetry file %s\n", fileName.c_str());
  std::fprintf(f, "  Accumulated over time interval %s", a.startText.c_str());
  std::fprintf(f, " - %s, %d seconds, Mode %d\n\n", a.endText.c_str(), static_cast<int>(a.AccTime),
               a.Mode0);
  if (combine) {
    std::fprintf(f, "Bin\tSTE-U\tSTE-D\n");
    for (int i = 0; i < 4 * n; ++i) std::fprintf(f, "%3d\t%7.0f\t%7.0f\n", i, s[i], s[4 * n + i]);
  } else {
    std::fprintf(f, "Bin\tSTE-U-0\tSTE-U-1\tSTE-U-2\tSTE-U-3\tSTE-D-0\tSTE-D-1\tSTE-D-2\tSTE-D-3\n");
    for (int i = 0; i < n; ++i)
      std::fprintf(f, "%3d\t%7.0f\t%7.0f\t%7.0f\t%7.0f\t%7.0f\t%7.0f\t%7.0f\t%7.0f\n", i, s[i],
                   s[i + n], s[i + 2 * n], s[i + 3 * n], s[i + 4 * n], s[i + 5 * n], s[i + 6 * n],
                   s[i + 7 * n]);
  }
  return CloseExport(f, path, error);
}

// ---- STE line fits -----------------------------------------------------------------------------

double Gauss(double x, double m, double h, double w) {
  const double u = (x - m) / w;
  if (std::fabs(u) > 5) return 0;
  return h * std::exp(-u * u / 2);
}

double StePeaksModel(double x, const double* p) {
  double s = 0;
  for (int k = 1; k <= 7; ++k) s += Gauss(x, k * p[0], p[1 + k], p[1]);
  return s;
}

void StePeaksDerivs(double x, const double* p, double* d) {
  std::fill(d, d + kStePeaksParams, 0.0);
  for (int k = 1; k <= 7; ++k) {
    const double m = k * p[0], w = p[1], u = (x - m) / w;
    const double g = Gauss(x, m, 1.0, w);  // unit height; 0 beyond the cut
    const double hg = p[1 + k] * g;
    d[0] += hg * u / w * k;  // dm/ds = k
    d[1] += hg * u * u / w;
    d[1 + k] = g;
  }
}

const double kSteLineEnergy[4] = {5.895, 22.08, 25.0, 88.04};
const int kSteLineRange[4] = {0, 1, 1, 2};

double SteLinesModel(double x, const double* p) {
  double s = 0;
  for (int l = 0; l < 4; ++l) {
    const int r = kSteLineRange[l];
    const double e = kSteLineEnergy[l];
    s += Gauss(x, p[2 * r + 1] + p[2 * r] * e + p[6] * e * e, p[8 + l], p[7]);
  }
  return s;
}

void SteLinesDerivs(double x, const double* p, double* d) {
  std::fill(d, d + kSteLinesParams, 0.0);
  for (int l = 0; l < 4; ++l) {
    const int r = kSteLineRange[l];
    const double e = kSteLineEnergy[l];
    const double m = p[2 * r + 1] + p[2 * r] * e + p[6] * e * e, w = p[7], u = (x - m) / w;
    const double g = Gauss(x, m, 1.0, w);
    const double dm = p[8 + l] * g * u / w;  // df/dm
    d[2 * r] += dm * e;
    d[2 * r + 1] += dm;
    d[6] += dm * e * e;
    d[7] += p[8 + l] * g * u * u / w;
    d[8 + l] = g;
  }
}

namespace {
LsqState FitSpectrum(const std::vector<double>& spectrum, std::vector<double> start,
                     std::vector<bool> freeP,
                     std::function<double(double, const double*)> func,
                     std::function<void(double, const double*, double*)> dfunc) {
  FitProblem f;
  for (std::size_t i = 0; i < spectrum.size(); ++i) {
    f.x.push_back(static_cast<double>(i));
    f.Y.push_back(spectrum[i]);
    f.Sig.push_back(std::sqrt(std::max(spectrum[i], 1.0)));
  }
  f.func = std::move(func);
  f.dfunc = std::move(dfunc);
  LsqState st;
  st.P = std::move(start);
  st.freeP = std::move(freeP);
  lsq(f, st);
  return st;
}
}  // namespace

// A line whose starting centre lies beyond the spectrum has no counts to fit: its height stays
// where it started (free, it would make the curvature matrix singular).
static bool Inside(double centre, double width, std::size_t n) {
  return centre + 5 * std::fabs(width) > 0 && centre - 5 * std::fabs(width) < static_cast<double>(n) - 1;
}

LsqState FitStePeaks(const std::vector<double>& spectrum, std::vector<double> start) {
  std::vector<bool> freeP(kStePeaksParams, true);
  for (int k = 1; k <= 7; ++k) freeP[1 + k] = Inside(k * start[0], start[1], spectrum.size());
  return FitSpectrum(spectrum, std::move(start), std::move(freeP), StePeaksModel, StePeaksDerivs);
}

LsqState FitSteLines(const std::vector<double>& spectrum, std::vector<double> start,
                     std::vector<bool> freeP) {
  freeP.resize(kSteLinesParams, true);
  for (int l = 0; l < 4; ++l) {
    const int r = kSteLineRange[l];
    const double e = kSteLineEnergy[l];
    if (!Inside(start[2 * r + 1] + start[2 * r] * e + start[6] * e * e, start[7], spectrum.size()))
      freeP[8 + l] = false;
  }
  // A range none of whose lines is fitted has nothing to set its gain and offset.
  for (int r = 0; r < 3; ++r) {
    bool any = false;
    for (int l = 0; l < 4; ++l) any = any || (kSteLineRange[l] == r && freeP[8 + l]);
    if (!any) freeP[2 * r] = freeP[2 * r + 1] = false;
  }
  return FitSpectrum(spectrum, std::move(start), std::move(freeP), SteLinesModel, SteLinesDerivs);
}

}  // namespace tallox
