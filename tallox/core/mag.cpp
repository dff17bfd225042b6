#include "mag.h"

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

// ---- MAG ---------------------------------------------------------------------------------------

MagSeries ExtractMag(ScanInput& in, bool burst, std::size_t capacity) {
  MagSeries s;
  const unsigned want = burst ? 0x209 : 0x208;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  s.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != want) return true;
    if (s.t.size() + 42 > capacity) {
      s.truncated = true;
      return false;
    }
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const double t0 = GetLong3412(d, 32) + GetWord(d, 36) / 65536.0;
    const double dt = GetByte(d, 39) / 32.0;
    for (int i = 0; i < 42; ++i) {
      s.t.push_back(t0 + i * dt);
      s.x.push_back(static_cast<float>(static_cast<double>(GetWord(d, 44 + 6 * i)) - 32768.0));
      s.y.push_back(static_cast<float>(static_cast<double>(GetWord(d, 46 + 6 * i)) - 32768.0));
      s.z.push_back(static_cast<float>(static_cast<double>(GetWord(d, 48 + 6 * i)) - 32768.0));
    }
    ++s.packets;
    return true;
  });
  if (records == 0) s.error = in.source.error();
  return s;
}

std::vector<std::pair<std::size_t, std::size_t>> MagSegments(const MagSeries& s) {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  std::size_t begin = 0;
  for (std::size_t i = 1; i <= s.t.size(); ++i)
    if (i == s.t.size() || s.t[i] - s.t[i - 1] > kMagSegmentGap) {
      out.push_back({begin, i});
      begin = i;
    }
  return out;
}

void MagLimits(const MagSeries& s, double* lo, double* hi) {
  double a = 1000000, b = -1000000;
  for (std::size_t i = 0; i < s.size(); ++i)
    for (float v : {s.x[i], s.y[i], s.z[i]}) {
      a = std::min(a, static_cast<double>(v));
      b = std::max(b, static_cast<double>(v));
    }
  *lo = a;
  *hi = b;
}

std::string FormatMagSeries(const MagSeries& s) {
  std::string out = Line("Packets", std::to_string(s.packets)) + Line("Samples", std::to_string(s.size()));
  if (s.size() == 0) return out;
  double lo, hi;
  MagLimits(s, &lo, &hi);
  out += Line("Y min", Num(lo, "%.1f")) + Line("Y max", Num(hi, "%.1f"));
  out += Line("Segments", std::to_string(MagSegments(s).size()));
  out += Line("First sample", GetTime1(static_cast<std::uint32_t>(s.t.front())));
  out += Line("Last sample", GetTime1(static_cast<std::uint32_t>(s.t.back())));
  return out;
}

bool SaveMag(const std::string& fileName, const MagView& m, int packetNumber,
             std::string* outPath, std::string* error, const std::string& target) {
  const std::string path = target.empty() ? OutputPath(fileName) : target;
  if (outPath) *outPath = path;
  std::FILE* f = OpenExport(fileName, path, error);
  if (!f) return false;
  std::fprintf(f, "ZEPHRA VANTIS MAG Data\n");
  std::fprintf(f, " Data extracted from telemetry file %s, Packet %d, %s, %s\n\n", fileName.c_str(),
               packetNumber, m.timeL.c_str(), m.meanRemoved ? "AC" : "DC");
  std::fprintf(f, "Sample\tX\tY\tZ\n");
  for (int i = 0; i < 42; ++i)
    std::fprintf(f, "%2d\t%8.1f\t%8.1f\t%8.1f\n", i, m.x[i], m.y[i], m.z[i]);
  return CloseExport(f, path, error);
}

// ---- MAG step fit ------------------------------------------------------------------------------

double MagIfcModel(double t, const double* p) {
  if (t <= p[2]) return p[0] + p[1] + p[4];
  return p[0] + p[1] * std::exp(-(t - p[2]) / p[3]) + p[4] * std::exp(-(t - p[2]) / p[5]);
}

void MagIfcDerivs(double t, const double* p, double* d) {
  d[0] = 1;
  if (t <= p[2]) {
    // The plateau p0 + p1 + p4 moves one for one with both heights; the time constants and the
    // step position do not reach it.
    d[1] = d[4] = 1;
    d[2] = d[3] = d[5] = 0;
    return;
  }
  const double e1 = std::exp(-(t - p[2]) / p[3]), e2 = std::exp(-(t - p[2]) / p[5]);
  d[1] = e1;
  d[3] = p[1] * (t - p[2]) * e1 / (p[3] * p[3]);
  d[4] = e2;
  d[5] = p[4] * (t - p[2]) * e2 / (p[5] * p[5]);
  d[2] = p[1] * e1 / p[3] + p[4] * e2 / p[5];
}

double MagSampleInterval(const std::uint8_t* d) { return GetByte(d, 39) / 32.0; }

MagIfcFit FitMagComponent(const std::array<double, 42>& y, double dt, const MagIfcDefaults& def) {
  FitProblem f;
  for (int i = 0; i < 42; ++i) {
    f.x.push_back(i);
    f.Y.push_back(y[i]);
    f.Sig.push_back(1.0);
  }
  f.func = MagIfcModel;
  f.dfunc = MagIfcDerivs;
  const double first = y[0], last = y[41], mid = (first + last) / 2;
  int cross = 0;
  for (int i = 1; i < 42; ++i)
    if ((first > last && y[i] <= mid) || (first <= last && y[i] >= mid)) {
      cross = i;
      break;
    }
  const double step = first - last;
  LsqState st;
  st.P = {last, step * (1 - def.ratio), cross - def.midOffset, def.tau1, step * def.ratio, def.tau2};
  lsq(f, st);
  MagIfcFit r;
  std::copy(st.P.begin(), st.P.end(), r.p.begin());
  r.message = st.Result;
  r.chi2 = st.chi2;
  r.iterations = st.iterations;
  r.offset = r.p[0];
  r.step = -(r.p[1] + r.p[4]);
  r.tau1Seconds = r.p[3] * dt;
  r.tau2Seconds = r.p[5] * dt;
  r.ratio = r.p[1] != 0 ? r.p[4] / r.p[1] : 0;
  return r;
}

std::string FormatMagIfcFit(const std::array<MagIfcFit, 3>& f) {
  std::string out;
  const char* names[3] = {"X", "Y", "Z"};
  for (int c = 0; c < 3; ++c) {
    const std::string n = names[c];
    out += n + " offset: " + Num(f[c].offset, "%.3f") + "\n";
    out += n + " step: " + Num(f[c].step, "%.3f") + "\n";
    out += n + " tau1 (s): " + Num(f[c].tau1Seconds, "%.4f") + "\n";
    out += n + " tau2 (s): " + Num(f[c].tau2Seconds, "%.4f") + "\n";
    out += n + " ratio: " + Num(f[c].ratio, "%.4f") + "\n";
    out += n + " fit: " + f[c].message + "\n";
  }
  return out;
}

}  // namespace tallox
