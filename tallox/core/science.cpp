#include "science.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace tallox {

namespace {

// Opens an export for writing, refusing the telemetry file itself.
std::FILE* OpenExport(const std::string& fileName, const std::string& path, std::string* error) {
  std::error_code ec;
  if (path == fileName || std::filesystem::equivalent(path, fileName, ec)) {
    if (error) *error = "The export " + path + " would overwrite the telemetry file itself";
    return nullptr;
  }
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f && error) *error = "Cannot create " + path + ": " + std::strerror(errno);
  return f;
}

bool CloseExport(std::FILE* f, const std::string& path, std::string* error) {
  const bool ok = !std::ferror(f);
  if (std::fclose(f) != 0 || !ok) {
    if (error) *error = "Cannot write " + path;
    return false;
  }
  return true;
}

std::string Line(const char* label, const std::string& v) { return std::string(label) + ": " + v + "\n"; }
std::string Num(double v, const char* fmt = "%.6f") {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

}  // namespace

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

// ---- analyzer rates ----------------------------------------------------------------------------

DrevRates ExtractDrevRates(ScanInput& in, const std::array<bool, 16>& energies,
                           const std::array<bool, 6>& dSel, std::size_t capacity) {
  DrevRates r;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  bool open = false;  // a packet 0 has started the current sample
  r.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x210) return true;
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const unsigned n = GetByte(d, 38);
    if (n > 12 || n % 3) return true;
    if (n == 0) {
      if (r.t.size() >= capacity) {
        r.truncated = true;
        return false;
      }
      r.t.push_back(GetLong3412(d, 32));
      for (auto& a : r.perA) a.push_back(0.0);
      open = true;
    }
    if (!open) return true;  // the rest of a distribution whose start was not read
    // Stream byte s: energy s / 80; within it D0 (8 half-resolution bytes), D1-D4 (16 each), D5 (8).
    for (int k = 0; k < 256; ++k) {
      const int sIdx = 256 * static_cast<int>(n / 3) + k;
      const int e = sIdx / 80, w = sIdx % 80;
      int row, a0;
      bool half;
      if (w < 8) {
        row = 0, a0 = 2 * w, half = true;
      } else if (w < 72) {
        row = 1 + (w - 8) / 16, a0 = (w - 8) % 16, half = false;
      } else {
        row = 5, a0 = 2 * (w - 72), half = true;
      }
      if (!energies[e] || !dSel[row]) continue;
      const double v = Uncompress(GetByte(d, 41 + k)) / 0.0087;
      if (half) {
        r.perA[a0].back() += v / 2;
        r.perA[a0 + 1].back() += v / 2;
      } else {
        r.perA[a0].back() += v;
      }
    }
    return true;
  });
  if (records == 0) r.error = in.source.error();
  return r;
}

// ---- burst housekeeping ------------------------------------------------------------------------

BurstHk ExtractBurstHk(ScanInput& in, std::size_t capacity) {
  BurstHk b;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  b.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x200) return true;
    if (b.t.size() >= capacity) {
      b.truncated = true;
      return false;
    }
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    b.t.push_back(GetLong3412(d, 32));
    const int bytes[4] = {96, 95, 85, 97};
    for (int k = 0; k < 4; ++k) b.series[k].push_back(GetByte(d, bytes[k]));
    const std::size_t i = b.t.size() - 1;
    if (i > 0 && b.series[3][i] < b.series[3][i - 1]) b.drops.push_back(i);
    return true;
  });
  if (records == 0) b.error = in.source.error();
  return b;
}

BurstCriteria ExtractBurstCriteria(ScanInput& in, std::size_t capacity) {
  BurstCriteria c;
  const bool swap = in.ctl.swap;
  std::uint8_t d[kDataBufSize];
  std::uint64_t records = 0;
  c.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x203) return true;
    std::memcpy(d, rec, kRecordSize);
    SwapTelemetryBytes(d, swap);
    const std::uint32_t t = GetLong3412(d, 32);
    for (int q = 0; q < 32; ++q) {
      if (c.t.size() >= capacity) {
        c.truncated = true;
        return false;
      }
      c.t.push_back(t + static_cast<std::uint32_t>(q));
      for (int i = 0; i < 8; ++i) c.series[i].push_back(GetByte(d, 41 + 8 * q + i));
    }
    return true;
  });
  if (records == 0) c.error = in.source.error();
  return c;
}

}  // namespace tallox
