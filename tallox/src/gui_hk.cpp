// Housekeeping panels: the suite and SEP plots, the export, the statistics.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gui_internal.h"

using namespace tallox::gui;

namespace tallox::gui {

void FillSelectors(int panel, int first, const Database& db) {
  for (int k = 0; k < kSelectors; ++k) {
    ClearListCtrl(panel, first + k);
    InsertListItem(panel, first + k, -1, "-NULL-", -1.0);
    for (std::size_t i = 0; i < db.entries.size(); ++i)
      InsertListItem(panel, first + k, -1, db.entries[i].name.c_str(), static_cast<double>(i));
  }
}

// The housekeeping plots: extraction, limits, one curve a selector, two time labels.
void PlotHousekeeping(bool sep) {
  State& s = S();
  const int p = sep ? s.panelSepPlot : s.panelHkPlot;
  const int sel0 = sep ? SEPPLOT_SEL_0 : HKPLOT_SEL_0;
  const int graph = sep ? SEPPLOT_GRAPH : HKPLOT_GRAPH;
  DisplayPanel(p);
  ClearGraph(p, graph);
  std::array<int, kSelectors> sel;
  int used = 0;
  for (int k = 0; k < kSelectors; ++k) {
    sel[k] = RingValue(p, sel0 + k);
    if (sel[k] >= 0) ++used;
  }
  if (used == 0) return;
  const Extraction x = RunScan(sep ? "SEP housekeeping" : "Housekeeping", [&] {
    return ExtractHK(s.in, sep ? s.tables.sep : s.tables.suite, sel, sep, s.store);
  });
  SetCtrlVal(p, sep ? SEPPLOT_SAMPLES : HKPLOT_SAMPLES, static_cast<double>(x.samples));
  if (x.truncated) Message("WARNING", "More than 1000000 housekeeping packets: the plot stops there");
  if (x.samples == 0) return;

  int autoscale = 1, logScale = 0;
  GetCtrlVal(p, sep ? SEPPLOT_AUTO : HKPLOT_AUTO, &autoscale);
  if (!sep) GetCtrlVal(p, HKPLOT_LOG, &logScale);
  double lo, hi;
  const int ymin = sep ? SEPPLOT_YMIN : HKPLOT_YMIN, ymax = sep ? SEPPLOT_YMAX : HKPLOT_YMAX;
  if (autoscale) {
    HkLimits(s.store, logScale != 0, &lo, &hi);
    SetCtrlVal(p, ymin, lo);
    SetCtrlVal(p, ymax, hi);
  } else {
    GetCtrlVal(p, ymin, &lo);
    GetCtrlVal(p, ymax, &hi);
    if (logScale && lo < 1e-10) lo = 1e-10;
  }
  SetAxisScale(p, graph, VAL_LEFT_YAXIS, logScale ? VAL_LOG_SCALE : VAL_LINEAR_SCALE);
  SetRange(p, graph, VAL_LEFT_YAXIS, lo, hi);
  std::vector<double> t(s.store.UTC.begin(), s.store.UTC.end()), y;
  for (int k = 0; k < kSelectors; ++k) {
    if (s.store.sel[k] < 0) continue;
    y.assign(s.store.Samples[k].begin(), s.store.Samples[k].end());
    PlotXY(p, graph, t.data(), y.data(), static_cast<int>(y.size()), VAL_CONNECTED_POINTS,
           TraceColour(kTenColours[k]));
  }
  SetRange(p, graph, VAL_XAXIS, t.front(), t.back());
  InsertAxisItem(p, graph, VAL_BOTTOM_XAXIS, -1, GetTime1(s.store.UTC.front()).c_str(), t.front());
  InsertAxisItem(p, graph, VAL_BOTTOM_XAXIS, -1, GetTime1(s.store.UTC.back()).c_str(), t.back());
}

}  // namespace tallox::gui

int DisplayHKPlot(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelHkPlot);
  return 0;
}

int DisplaySEPPlot(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelSepPlot);
  return 0;
}

int PlotHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (!S().busy) PlotHousekeeping(false);
  return 0;
}

int PlotSEPHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (!S().busy) PlotHousekeeping(true);
  return 0;
}

int SaveHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy || s.store.count == 0) return 0;
  const bool sep = panel == s.panelSepPlot;
  double rows = 0, spacing = 0;
  GetCtrlVal(panel, sep ? SEPPLOT_ROWS : HKPLOT_ROWS, &rows);
  GetCtrlVal(panel, sep ? SEPPLOT_SPACING : HKPLOT_SPACING, &spacing);
  std::string path, err;
  if (!tallox::SaveHKP(s.in.FileName, s.store, static_cast<int>(rows), spacing, &path, &err))
    Message("ERROR", err);
  else
    s.lastMessage = "Written " + path;
  return 0;
}

int ScanHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy) return 0;
  const int p = s.panelHkStats;
  DisplayPanel(p);
  const tallox::HkStats h = RunScan("Housekeeping statistics", [&] {
    return tallox::ScanHKP(s.in);
  });
  SetCtrlVal(p, HKSTATS_FIRSTTIME, h.firstTime);
  SetCtrlVal(p, HKSTATS_FIRSTCLOCK, h.firstClock);
  SetCtrlVal(p, HKSTATS_FIRSTB40, h.firstByte40);
  SetCtrlVal(p, HKSTATS_FIRSTB41, h.firstByte41);
  SetCtrlVal(p, HKSTATS_LASTTIME, h.lastTime);
  SetCtrlVal(p, HKSTATS_LASTCLOCK, h.lastClock);
  SetCtrlVal(p, HKSTATS_RECORDS, static_cast<double>(h.records));
  SetCtrlVal(p, HKSTATS_HK, static_cast<double>(h.hk));
  SetCtrlVal(p, HKSTATS_IDERR, static_cast<double>(h.idErrors));
  SetCtrlVal(p, HKSTATS_SEQERR, static_cast<double>(h.seqErrors));
  SetCtrlVal(p, HKSTATS_LENERR, static_cast<double>(h.lenErrors));
  SetCtrlVal(p, HKSTATS_CHKERR, static_cast<double>(h.chkErrors));
  const bool two = h.hk > 1;
  SetCtrlVal(p, HKSTATS_SPMAX, two ? h.spacingMax : 0.0);
  SetCtrlVal(p, HKSTATS_SPMIN, two ? h.spacingMin : 0.0);
  SetCtrlVal(p, HKSTATS_SPMEAN, h.spacingMean());
  SetCtrlVal(p, HKSTATS_B40CH, static_cast<double>(h.byte40Changes));
  SetCtrlVal(p, HKSTATS_B41CH, static_cast<double>(h.byte41Changes));
  SetCtrlVal(p, HKSTATS_CKMAX, two ? h.clockMax : 0.0);
  SetCtrlVal(p, HKSTATS_CKMIN, two ? h.clockMin : 0.0);
  SetCtrlVal(p, HKSTATS_CKMEAN, h.clockMean());
  SetCtrlVal(p, HKSTATS_W42MAX, h.word42MaxScaled());
  SetCtrlVal(p, HKSTATS_W44MEAN, h.word44Mean());
  SetCtrlVal(p, HKSTATS_B46MAX, h.byte46MaxScaled());
  SetCtrlVal(p, HKSTATS_B46FULL, static_cast<double>(h.byte46Full));
  SetCtrlVal(p, HKSTATS_INC50, static_cast<double>(h.incWord50));
  SetCtrlVal(p, HKSTATS_INC54, static_cast<double>(h.incWord54));
  SetCtrlVal(p, HKSTATS_INC49, static_cast<double>(h.incByte49));
  return 0;
}

void RegisterHousekeepingCallbacks() {
  RTE_REGISTER_CALLBACK(DisplayHKPlot);
  RTE_REGISTER_CALLBACK(DisplaySEPPlot);
  RTE_REGISTER_CALLBACK(PlotHKP);
  RTE_REGISTER_CALLBACK(PlotSEPHKP);
  RTE_REGISTER_CALLBACK(SaveHKP);
  RTE_REGISTER_CALLBACK(ScanHKP);
}
