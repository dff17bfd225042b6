// STE panels: the rates, the accumulated spectra, their export and the two line fits.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gui_internal.h"

using namespace tallox::gui;

using tallox::ExtractSteRates;
using tallox::FitStePeaks;
using tallox::FitSteLines;
using tallox::GetTime1;
using tallox::kSteLineEnergy;
using tallox::kSteLineRange;
using tallox::kSteLinesParams;
using tallox::kStePeaksParams;
using tallox::LsqState;
using tallox::kTenColours;
using tallox::SteAccumulation;
using tallox::SteLinesModel;
using tallox::StePeaksModel;
using tallox::SteRateLimits;
using tallox::SteRates;
using tallox::SteSpecLimits;

int DisplaySteRates(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelSteRates);
  return 0;
}

int DisplaySteSpec(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelSteSpec);
  return 0;
}

int PlotSTERates(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!Ready()) return 0;
  const int p = s.panelSteRates;
  std::array<bool, 24> sel{};
  for (int c = 0; c < 24; ++c) {
    int on = 0;
    GetCtrlVal(p, STERATES_CH_0 + c, &on);
    sel[c] = on != 0;
  }
  int logScale = 1, autoscale = 1;
  GetCtrlVal(p, STERATES_LOG, &logScale);
  GetCtrlVal(p, STERATES_AUTO, &autoscale);
  ClearGraph(p, STERATES_GRAPH);
  // The rates go into the housekeeping sample store (rows 0-23), as the housekeeping plot's do.
  const SteRates r = RunScan("STE rates", [&] { return ExtractSteRates(s.in, s.store); });
  SetCtrlVal(p, STERATES_FRAMES, static_cast<double>(s.store.count));
  int used = 0;
  for (int c = 0; c < 24; ++c) {
    const int colour = sel[c] ? (used < 10 ? kTenColours[used] : VAL_BLACK) : VAL_WHITE;
    SetCtrlAttribute(p, STERATES_CH_0 + c, ATTR_ON_COLOR, colour);
    SetCtrlAttribute(p, STERATES_CH_0 + c, ATTR_OFF_COLOR, VAL_WHITE);
    if (sel[c]) ++used;
  }
  if (s.store.count == 0) return 0;
  double lo, hi;
  if (autoscale) {
    SteRateLimits(s.store, sel, &lo, &hi);
    SetCtrlVal(p, STERATES_YMIN, lo);
    SetCtrlVal(p, STERATES_YMAX, hi);
  } else {
    GetCtrlVal(p, STERATES_YMIN, &lo);
    GetCtrlVal(p, STERATES_YMAX, &hi);
  }
  SetAxisScale(p, STERATES_GRAPH, VAL_LEFT_YAXIS, logScale ? VAL_LOG_SCALE : VAL_LINEAR_SCALE);
  SetRange(p, STERATES_GRAPH, VAL_LEFT_YAXIS, lo, hi);
  std::vector<double> t(s.store.UTC.begin(), s.store.UTC.end()), y;
  SetRange(p, STERATES_GRAPH, VAL_BOTTOM_XAXIS, t.front(), t.back());
  used = 0;
  for (int c = 0; c < 24; ++c) {
    if (!sel[c]) continue;
    const int colour = used < 10 ? kTenColours[used] : VAL_BLACK;
    ++used;
    y.assign(s.store.Samples[c].begin(), s.store.Samples[c].end());
    PlotXY(p, STERATES_GRAPH, t.data(), y.data(), static_cast<int>(y.size()), VAL_THIN_LINE,
           TraceColour(colour));
  }
  InsertAxisItem(p, STERATES_GRAPH, VAL_BOTTOM_XAXIS, -1, GetTime1(s.store.UTC.front()).c_str(), t.front());
  InsertAxisItem(p, STERATES_GRAPH, VAL_BOTTOM_XAXIS, -1, GetTime1(s.store.UTC.back()).c_str(), t.back());
  return 0;
}

// Draws the accumulated spectra as the switches ask.
static void ShowSpectra() {
  State& s = S();
  const SteAccumulation& a = s.acc;
  const int p = s.panelSteSpec;
  SetCtrlVal(p, STESPEC_START, a.startText);
  SetCtrlVal(p, STESPEC_END, a.endText);
  SetCtrlVal(p, STESPEC_ACCTIME, a.AccTime);
  SetCtrlVal(p, STESPEC_MODE, a.Mode0);
  SetCtrlVal(p, STESPEC_NENERGY, a.NumEnergy0);
  int rate = 0, combine = 0, logScale = 1, autoscale = 1;
  GetCtrlVal(p, STESPEC_RATE, &rate);
  GetCtrlVal(p, STESPEC_COMBINE, &combine);
  GetCtrlVal(p, STESPEC_LOG, &logScale);
  GetCtrlVal(p, STESPEC_AUTO, &autoscale);
  ClearGraph(p, STESPEC_GRAPH);
  const bool asRate = rate && a.AccTime > 0;
  SetCtrlAttribute(p, STESPEC_GRAPH, ATTR_YNAME, asRate ? "Counts/Sec" : "Counts");
  const int n = a.NumEnergy0;
  if (n <= 0) return;
  double lo, hi;
  if (autoscale) {
    SteSpecLimits(a, asRate, &lo, &hi);
    SetCtrlVal(p, STESPEC_YMIN, lo);
    SetCtrlVal(p, STESPEC_YMAX, hi);
  } else {
    GetCtrlVal(p, STESPEC_YMIN, &lo);
    GetCtrlVal(p, STESPEC_YMAX, &hi);
  }
  SetAxisScale(p, STESPEC_GRAPH, VAL_LEFT_YAXIS, logScale ? VAL_LOG_SCALE : VAL_LINEAR_SCALE);
  SetRange(p, STESPEC_GRAPH, VAL_LEFT_YAXIS, lo, hi);
  std::vector<double> y(a.Spectra.begin(), a.Spectra.end());
  if (asRate)
    for (double& v : y) v /= a.AccTime;
  if (combine) {
    PlotY(p, STESPEC_GRAPH, y.data(), 4 * n, VAL_CONNECTED_POINTS, TraceColour(VAL_BLACK));
    PlotY(p, STESPEC_GRAPH, y.data() + 4 * n, 4 * n, VAL_CONNECTED_POINTS, VAL_YELLOW);
  } else {
    for (int k = 0; k < 8; ++k)
      PlotY(p, STESPEC_GRAPH, y.data() + k * n, n, VAL_CONNECTED_POINTS, TraceColour(kTenColours[k]));
  }
}

static void Accumulate() {
  State& s = S();
  BeginLong("STE spectra");
  s.acc = tallox::AccSTESpec(s.in);
  EndLong();
  AfterScan(s.acc.error, s.acc.cancelled);
  ShowSpectra();
}

int AccSTESpec(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (!Ready()) return 0;
  SyncIn();
  Accumulate();
  SyncOut();
  return 0;
}

int STEAccNext(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!Ready()) return 0;
  if (!s.acc.endedByChange) {
    Message("STE", "The last accumulation did not end at a mode change");
    return 0;
  }
  SyncIn();
  BeginLong("STE spectra");
  tallox::STEAccNext(s.in, s.acc);
  EndLong();
  AfterScan(s.acc.error, s.acc.cancelled);
  SetCtrlVal(s.panelMain, MAIN_WHOLE, 0);
  SyncOut();
  ShowSpectra();
  return 0;
}

int SaveSTEAcc(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy || s.in.FileName.empty()) return 0;
  int combine = 0;
  GetCtrlVal(s.panelSteSpec, STESPEC_COMBINE, &combine);
  std::string path, err;
  if (!tallox::SaveSTEAcc(s.in.FileName, s.acc, combine != 0, &path, &err))
    Message("ERROR", err);
  else
    s.lastMessage = "Written " + path;
  return 0;
}

// The spectrum the fit panels work on (the spectrum panel's selector, 0-7).
static std::vector<double> FitSpectrum() {
  State& s = S();
  const int n = s.acc.NumEnergy0;
  if (n <= 0) return {};
  double k = 0;
  GetCtrlVal(s.panelSteSpec, STESPEC_SPECTRUM, &k);
  const int i = std::clamp(static_cast<int>(k), 0, 7);
  return std::vector<double>(s.acc.Spectra.begin() + i * n, s.acc.Spectra.begin() + (i + 1) * n);
}

static void ShowSteFit(int p, int graph, int msg, int result, const std::vector<double>& spec,
                       const LsqState& st, double (*model)(double, const double*),
                       const std::vector<std::string>& names) {
  SetCtrlVal(p, msg, st.Result);
  std::string text;
  char b[96];
  for (std::size_t j = 0; j < st.P.size() && j < names.size(); ++j) {
    std::snprintf(b, sizeof b, "%s = %.4f\n", names[j].c_str(), st.P[j]);
    text += b;
  }
  std::snprintf(b, sizeof b, "X^2 = %.2f, %d iterations\n", st.chi2, st.iterations);
  text += b;
  ResetTextBox(p, result, text.c_str());
  ClearGraph(p, graph);
  std::vector<double> x(spec.size());
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i);
  PlotXY(p, graph, x.data(), spec.data(), static_cast<int>(spec.size()), VAL_CONNECTED_POINTS,
         TraceColour(VAL_BLACK));
  const int m = static_cast<int>(spec.size()) * 10;
  std::vector<double> fx(m), fy(m);
  for (int i = 0; i < m; ++i) {
    fx[i] = i / 10.0;
    fy[i] = model(fx[i], st.P.data());
  }
  PlotXY(p, graph, fx.data(), fy.data(), m, VAL_THIN_LINE, VAL_RED);
}

int STEFit(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  const std::vector<double> spec = FitSpectrum();
  const int p = s.panelSteFit;
  DisplayPanel(p);
  if (spec.empty()) {
    SetCtrlVal(p, STEFIT_MSG, "No spectrum accumulated");
    return 0;
  }
  std::vector<double> start(kSteLinesParams);
  for (int j = 0; j < 8; ++j) GetCtrlVal(p, STEFIT_G0 + j, &start[j]);
  // Heights start from the counts where the starting relation puts each line.
  for (int l = 0; l < 4; ++l) {
    const int r = kSteLineRange[l];
    const double e = kSteLineEnergy[l];
    const int c = static_cast<int>(std::lround(start[2 * r + 1] + start[2 * r] * e + start[6] * e * e));
    start[8 + l] = c >= 0 && c < static_cast<int>(spec.size()) ? std::max(spec[c], 1.0) : 1.0;
  }
  // Ranges 0 and 2 hold one line each: their offsets are held, as is the quadratic term.
  const std::vector<bool> freeP = {true, false, true, true, true, false, false, true,
                                   true, true, true, true};
  const LsqState st = FitSteLines(spec, start, freeP);
  ShowSteFit(p, STEFIT_GRAPH, STEFIT_MSG, STEFIT_RESULT, spec, st, SteLinesModel,
             {"g0", "o0", "g1", "o1", "g2", "o2", "q", "w", "h 5.895", "h 22.08", "h 25.0", "h 88.04"});
  return 0;
}

int STEFitP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  const std::vector<double> spec = FitSpectrum();
  const int p = s.panelSteFitP;
  DisplayPanel(p);
  if (spec.empty()) {
    SetCtrlVal(p, STEFITP_MSG, "No spectrum accumulated");
    return 0;
  }
  std::vector<double> start(kStePeaksParams);
  GetCtrlVal(p, STEFITP_S, &start[0]);
  GetCtrlVal(p, STEFITP_W, &start[1]);
  for (int k = 1; k <= 7; ++k) {
    const int c = static_cast<int>(std::lround(k * start[0]));
    start[1 + k] = c >= 0 && c < static_cast<int>(spec.size()) ? std::max(spec[c], 1.0) : 1.0;
  }
  const LsqState st = FitStePeaks(spec, start);
  ShowSteFit(p, STEFITP_GRAPH, STEFITP_MSG, STEFITP_RESULT, spec, st, StePeaksModel,
             {"s", "w", "h1", "h2", "h3", "h4", "h5", "h6", "h7"});
  return 0;
}

int HideSTEFit(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  HidePanel(panel);
  return 0;
}

void RegisterSteCallbacks() {
  RTE_REGISTER_CALLBACK(DisplaySteRates);
  RTE_REGISTER_CALLBACK(DisplaySteSpec);
  RTE_REGISTER_CALLBACK(PlotSTERates);
  RTE_REGISTER_CALLBACK(AccSTESpec);
  RTE_REGISTER_CALLBACK(STEAccNext);
  RTE_REGISTER_CALLBACK(SaveSTEAcc);
  RTE_REGISTER_CALLBACK(STEFit);
  RTE_REGISTER_CALLBACK(STEFitP);
  RTE_REGISTER_CALLBACK(HideSTEFit);
}
