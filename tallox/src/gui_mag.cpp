// MAG panels: the packet panel's export and step fit, the time series.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gui_internal.h"

using namespace tallox::gui;

using tallox::ExtractMag;
using tallox::FitMagComponent;
using tallox::GetTime1;
using tallox::MagIfcFit;
using tallox::MagIfcModel;
using tallox::MagLimits;
using tallox::MagSampleInterval;
using tallox::MagSegments;
using tallox::MagSeries;
using tallox::MagView;
using tallox::MakeMagView;

int DisplayMagPlot(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelMagPlot);
  return 0;
}

int SaveMag(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!s.magShown) {
    Message("MAG", "No MAG packet shown yet: show one on the packet panel first");
    return 0;
  }
  std::string path, err;
  if (!tallox::SaveMag(s.in.FileName, *s.magShown, s.magPacket, &path, &err))
    Message("ERROR", err);
  else
    s.lastMessage = "Written " + path;
  return 0;
}

int MAGIFCFit(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!s.dump.shown() || (tallox::GetApID(s.dump.Data()) & 0xFFE) != 0x208) {
    Message("MAG", "The packet shown is not a MAG packet (ApID 208/209)");
    return 0;
  }
  const MagView m = MakeMagView(s.dump.Data(), false);
  const double dt = MagSampleInterval(s.dump.Data());
  const int p = s.panelMagFit;
  DisplayPanel(p);
  ClearGraph(p, MAGFIT_GRAPH);
  const std::array<double, 42>* comp[3] = {&m.x, &m.y, &m.z};
  const int colour[3] = {VAL_RED, kGreen, VAL_BLUE};
  const int base[3] = {MAGFIT_OFFSET_X, MAGFIT_OFFSET_Y, MAGFIT_OFFSET_Z};
  double lo = 1e30, hi = -1e30;
  for (int c = 0; c < 3; ++c) {
    const MagIfcFit f = FitMagComponent(*comp[c], dt);
    // OFFSET, STEP, TAU1, TAU2, RATIO, MSG follow each other in the panel table.
    SetCtrlVal(p, base[c], f.offset);
    SetCtrlVal(p, base[c] + 1, f.step);
    SetCtrlVal(p, base[c] + 2, f.tau1Seconds);
    SetCtrlVal(p, base[c] + 3, f.tau2Seconds);
    SetCtrlVal(p, base[c] + 4, f.ratio);
    SetCtrlVal(p, base[c] + 5, f.message);
    const double norm = f.p[1] + f.p[4];
    if (norm == 0) continue;
    double x[42], y[42];
    for (int i = 0; i < 42; ++i) {
      x[i] = i;
      y[i] = ((*comp[c])[i] - f.p[0]) / norm;
      lo = std::min(lo, y[i]);
      hi = std::max(hi, y[i]);
    }
    PlotXY(p, MAGFIT_GRAPH, x, y, 42, VAL_SCATTER, colour[c]);
    std::vector<double> fx(411), fy(411);
    for (int i = 0; i < 411; ++i) {
      fx[i] = i / 10.0;
      fy[i] = (MagIfcModel(fx[i], f.p.data()) - f.p[0]) / norm;
    }
    PlotXY(p, MAGFIT_GRAPH, fx.data(), fy.data(), 411, VAL_THIN_LINE, TraceColour(VAL_BLACK));
  }
  if (hi > lo) SetRange(p, MAGFIT_GRAPH, VAL_LEFT_YAXIS, lo - 0.05 * (hi - lo), hi + 0.05 * (hi - lo));
  return 0;
}

int PlotMAG(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!Ready()) return 0;
  const int p = s.panelMagPlot;
  int burst = 0, autoscale = 1;
  GetCtrlVal(p, MAGPLOT_BURST, &burst);
  GetCtrlVal(p, MAGPLOT_AUTO, &autoscale);
  ClearGraph(p, MAGPLOT_GRAPH);
  const MagSeries m = RunScan("MAG time series", [&] { return ExtractMag(s.in, burst != 0); });
  SetCtrlVal(p, MAGPLOT_SAMPLES, static_cast<double>(m.size()));
  if (m.size() == 0) return 0;
  double lo, hi;
  if (autoscale) {
    MagLimits(m, &lo, &hi);
    SetCtrlVal(p, MAGPLOT_YMIN, lo);
    SetCtrlVal(p, MAGPLOT_YMAX, hi);
  } else {
    GetCtrlVal(p, MAGPLOT_YMIN, &lo);
    GetCtrlVal(p, MAGPLOT_YMAX, &hi);
  }
  SetRange(p, MAGPLOT_GRAPH, VAL_LEFT_YAXIS, lo, hi);
  SetRange(p, MAGPLOT_GRAPH, VAL_BOTTOM_XAXIS, m.t.front(), m.t.back());
  std::vector<double> y;
  for (const auto& [b, e] : MagSegments(m)) {
    const int n = static_cast<int>(e - b);
    for (const auto* comp : {&m.x, &m.y, &m.z}) {
      y.assign(comp->begin() + static_cast<long>(b), comp->begin() + static_cast<long>(e));
      const int colour = comp == &m.x ? VAL_RED : comp == &m.y ? kGreen : VAL_BLUE;
      PlotXY(p, MAGPLOT_GRAPH, m.t.data() + b, y.data(), n, VAL_CONNECTED_POINTS, colour);
    }
  }
  InsertAxisItem(p, MAGPLOT_GRAPH, VAL_BOTTOM_XAXIS, -1,
                 GetTime1(static_cast<std::uint32_t>(m.t.front())).c_str(), m.t.front());
  InsertAxisItem(p, MAGPLOT_GRAPH, VAL_BOTTOM_XAXIS, -1,
                 GetTime1(static_cast<std::uint32_t>(m.t.back())).c_str(), m.t.back());
  return 0;
}

void RegisterMagCallbacks() {
  RTE_REGISTER_CALLBACK(DisplayMagPlot);
  RTE_REGISTER_CALLBACK(SaveMag);
  RTE_REGISTER_CALLBACK(MAGIFCFit);
  RTE_REGISTER_CALLBACK(PlotMAG);
}
