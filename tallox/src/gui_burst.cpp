// Panels of the analyzer rates and the burst housekeeping (bytes and criteria, cursor read-out).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gui_internal.h"

using namespace tallox::gui;

using tallox::GetTime1;
using tallox::kTenColours;

int DisplayDrevRates(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelDrevRates);
  return 0;
}

int DisplayBurstHk(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelBurstHk);
  return 0;
}

int PlotDREVRates(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!Ready()) return 0;
  const int p = s.panelDrevRates;
  std::array<bool, 16> e{};
  std::array<bool, 6> d{};
  for (int i = 0; i < 16; ++i) {
    int on = 0;
    GetCtrlVal(p, DREVRATES_E_0 + i, &on);
    e[i] = on != 0;
  }
  for (int i = 0; i < 6; ++i) {
    int on = 0;
    GetCtrlVal(p, DREVRATES_D_0 + i, &on);
    d[i] = on != 0;
  }
  ClearGraph(p, DREVRATES_GRAPH);
  const tallox::DrevRates r = RunScan("Analyzer rates", [&] {
    return tallox::ExtractDrevRates(s.in, e, d);
  });
  SetCtrlVal(p, DREVRATES_SAMPLES, static_cast<double>(r.t.size()));
  if (r.t.empty()) return 0;
  std::vector<double> t(r.t.begin(), r.t.end());
  SetAxisScalingMode(p, DREVRATES_GRAPH, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
  for (int a = 0; a < 16; ++a)
    PlotXY(p, DREVRATES_GRAPH, t.data(), r.perA[a].data(), static_cast<int>(t.size()), VAL_THIN_LINE,
           TraceColour(a < 10 ? kTenColours[a] : VAL_BLACK));
  InsertAxisItem(p, DREVRATES_GRAPH, VAL_BOTTOM_XAXIS, -1, GetTime1(r.t.front()).c_str(), t.front());
  InsertAxisItem(p, DREVRATES_GRAPH, VAL_BOTTOM_XAXIS, -1, GetTime1(r.t.back()).c_str(), t.back());
  return 0;
}

int PlotBurst(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!Ready()) return 0;
  const int p = s.panelBurstHk;
  ClearGraph(p, BURSTHK_GRAPH);
  const tallox::BurstHk b = RunScan("Burst housekeeping", [&] {
    return tallox::ExtractBurstHk(s.in);
  });
  SetCtrlVal(p, BURSTHK_SAMPLES, static_cast<double>(b.t.size()));
  s.burstTimes = b.t;
  if (b.t.empty()) return 0;
  std::vector<double> t(b.t.begin(), b.t.end());
  const int colours[4] = {VAL_RED, VAL_BLUE, 0x008000, TraceColour(VAL_BLACK)};
  SetAxisScalingMode(p, BURSTHK_GRAPH, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
  for (int k = 0; k < 4; ++k)
    PlotXY(p, BURSTHK_GRAPH, t.data(), b.series[k].data(), static_cast<int>(t.size()), VAL_THIN_LINE,
           colours[k]);
  for (std::size_t i : b.drops)
    InsertAxisItem(p, BURSTHK_GRAPH, VAL_BOTTOM_XAXIS, -1, tallox::GetTime2(b.t[i]).c_str(), t[i]);
  return 0;
}

int PlotBurstActive(int panel, int control, int event, void*, int, int) {
  double x = 0, y = 0;
  if (GetGraphCursor(panel, control, 1, &x, &y) < 0) return 0;
  const std::string text = "Cursor at: " + GetTime1(static_cast<std::uint32_t>(x)) + ", " +
                           std::to_string(static_cast<int>(y));
  SetCtrlVal(panel, BURSTHK_CURSOR, text);
  return 0;
}

int PlotBurstCriteria(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (!Ready()) return 0;
  const int p = s.panelBurstHk;
  ClearGraph(p, BURSTHK_GRAPH);
  const tallox::BurstCriteria c = RunScan("Burst criteria", [&] {
    return tallox::ExtractBurstCriteria(s.in);
  });
  SetCtrlVal(p, BURSTHK_SAMPLES, static_cast<double>(c.t.size()));
  s.burstTimes = c.t;
  if (c.t.empty()) return 0;
  std::vector<double> t(c.t.begin(), c.t.end());
  SetAxisScalingMode(p, BURSTHK_GRAPH, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
  for (int i = 0; i < 8; ++i) {
    int on = 0;
    GetCtrlVal(p, BURSTHK_C_0 + i, &on);
    if (on)
      PlotXY(p, BURSTHK_GRAPH, t.data(), c.series[i].data(), static_cast<int>(t.size()), VAL_SCATTER,
             TraceColour(kTenColours[i]));
  }
  InsertAxisItem(p, BURSTHK_GRAPH, VAL_BOTTOM_XAXIS, -1, GetTime1(c.t.front()).c_str(), t.front());
  InsertAxisItem(p, BURSTHK_GRAPH, VAL_BOTTOM_XAXIS, -1, GetTime1(c.t.back()).c_str(), t.back());
  return 0;
}

void RegisterBurstCallbacks() {
  RTE_REGISTER_CALLBACK(DisplayDrevRates);
  RTE_REGISTER_CALLBACK(DisplayBurstHk);
  RTE_REGISTER_CALLBACK(PlotDREVRates);
  RTE_REGISTER_CALLBACK(PlotBurst);
  RTE_REGISTER_CALLBACK(PlotBurstActive);
  RTE_REGISTER_CALLBACK(PlotBurstCriteria);
}
