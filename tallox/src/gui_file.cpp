// Panels of file access: the APID scan, the packet panel and its searches, the burst log, the
// packet spacing histogram and the packet rates.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gui_internal.h"

using namespace tallox::gui;

namespace tallox::gui {

void ShowMag(const MagView& m, int packetNumber) {
  const int p = S().panelMag;
  SetCtrlVal(p, MAG_PNUM, packetNumber);
  SetCtrlVal(p, MAG_TIME, m.timeL);
  ClearGraph(p, MAG_GRAPH);
  double x[42];
  for (int i = 0; i < 42; ++i) x[i] = i;
  PlotXY(p, MAG_GRAPH, x, m.x.data(), 42, VAL_CONNECTED_POINTS, VAL_RED);
  PlotXY(p, MAG_GRAPH, x, m.y.data(), 42, VAL_CONNECTED_POINTS, 0x00A000);
  PlotXY(p, MAG_GRAPH, x, m.z.data(), 42, VAL_CONNECTED_POINTS, VAL_BLUE);
}

void ShowFastHk(const FastHkWave& w) {
  const int p = S().panelFhk;
  SetCtrlVal(p, FHK_PNUM, w.packetNumber);
  SetCtrlVal(p, FHK_MODE, w.mode);
  ClearGraph(p, FHK_GRAPH);
  SetRange(p, FHK_GRAPH, VAL_LEFT_YAXIS, w.yMin, w.yMax);
  std::vector<double> y(w.samples.begin(), w.samples.end());
  PlotY(p, FHK_GRAPH, y.data(), static_cast<int>(y.size()), VAL_THIN_LINE, VAL_BLUE);
}

void ShowHk(const HkView& h, int packetNumber, unsigned checksum, const std::string& time) {
  const int p = S().panelHkp;
  SetCtrlVal(p, HKP_PNUM, packetNumber);
  SetCtrlVal(p, HKP_CHECKSUM, checksum);
  SetCtrlAttribute(p, HKP_CHECKSUM, ATTR_TEXT_COLOR, checksum ? VAL_RED : kGreen);
  SetCtrlVal(p, HKP_TIME, time);
  SetCtrlVal(p, HKP_W42, h.word42);
  SetCtrlVal(p, HKP_W44, h.word44);
  SetCtrlVal(p, HKP_B46, h.byte46);
  SetCtrlVal(p, HKP_CLOCK, h.clock);
  SetCtrlVal(p, HKP_B49, h.byte49);
  SetCtrlVal(p, HKP_B47, h.byte47);
  SetCtrlVal(p, HKP_B48, h.byte48);
  SetCtrlVal(p, HKP_W50, h.word50);
  SetCtrlVal(p, HKP_B52, h.byte52);
  SetCtrlVal(p, HKP_B53, h.byte53);
}

// `DisplayPacket`: the record shown by the packet panel, and the APID-specific displays.
void ShowPacket() {
  State& s = S();
  if (!s.dump.shown()) return;
  int ac = 0;
  GetCtrlVal(s.panelMag, MAG_MEANREM, &ac);
  const PacketView v = DisplayPacket(s.dump.Data(), s.dump.PacketNumber(), ac != 0, &s.wave);
  const int p = s.panelPacket;
  SetCtrlVal(p, PACKET_PNUM, v.packetNumber);
  SetText(p, PACKET_HEADER, v.header);
  SetCtrlVal(p, PACKET_PRIMARY, v.primary);
  SetCtrlVal(p, PACKET_APID, v.apid);
  SetCtrlVal(p, PACKET_TIME, v.time);
  SetText(p, PACKET_HEX, v.hexDump);
  SetCtrlVal(p, PACKET_CHECKSUM, v.checksum);
  SetCtrlAttribute(p, PACKET_CHECKSUM, ATTR_TEXT_COLOR, v.checksum ? VAL_RED : kGreen);
  if (v.hk) ShowHk(*v.hk, v.packetNumber, v.checksum, v.time);
  if (v.mag) {
    ShowMag(*v.mag, v.packetNumber);
    s.magShown = *v.mag;
    s.magPacket = v.packetNumber;
    s.magInterval = MagSampleInterval(s.dump.Data());
  }
  if (v.fastHk) ShowFastHk(s.wave);
}

}  // namespace tallox::gui

int ScanApIDs(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy) return 0;
  DisplayPanel(s.panelScan);
  const tallox::ApidScan a = RunScan("ApID scan", [&] { return tallox::ScanApIDs(s.in); });
  const int p = s.panelScan;
  const auto rows = a.listed();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SetCtrlVal(p, SCAN_COUNT_0 + 2 * static_cast<int>(i), static_cast<double>(rows[i].count));
    SetCtrlVal(p, SCAN_ERR_0 + 2 * static_cast<int>(i), static_cast<double>(rows[i].errors));
  }
  SetCtrlVal(p, SCAN_P300, static_cast<double>(a.count300));
  SetCtrlVal(p, SCAN_LOW, static_cast<double>(a.countLow));
  SetCtrlVal(p, SCAN_INVALID, static_cast<double>(a.invalid));
  SetCtrlVal(p, SCAN_OTHER, static_cast<double>(a.other()));
  SetCtrlVal(p, SCAN_TOTAL, static_cast<double>(a.grandTotal()));
  SetCtrlVal(p, SCAN_CHKERR, static_cast<double>(a.checksumErrors));
  SetCtrlVal(p, SCAN_GAPS, static_cast<double>(a.sequenceGaps));
  SetCtrlVal(p, SCAN_PROGRESS, static_cast<double>(a.grandTotal()));
  return 0;
}

int DisplayPackets(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelPacket);
  return 0;
}

int NextPacket(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (Ready() && S().dump.NextPacket(Swap())) ShowPacket();
  return 0;
}

int BackPacket(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (Ready() && S().dump.BackPacket(Swap())) ShowPacket();
  return 0;
}

int PacketNum(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  double n = 0;
  GetCtrlVal(S().panelPacket, PACKET_PNUM, &n);
  if (Ready() && S().dump.PacketNum(static_cast<long long>(n), Swap())) ShowPacket();
  return 0;
}

int FindNext(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (!Ready()) return 0;
  const int kind = RingValue(S().panelPacket, PACKET_FINDKIND);
  BeginLong("Find next");
  bool found = false;
  const bool shown = S().dump.FindNext(kind, Swap(), &found, S().in.progress);
  EndLong();
  if (shown) ShowPacket();
  return 0;
}

int DisplayHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelHkp);
  return 0;
}

int NextHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (Ready() && S().dump.NextHKP(Swap())) ShowPacket();
  return 0;
}

int BackHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (Ready() && S().dump.BackHKP(Swap())) ShowPacket();
  return 0;
}

int FindNextHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (!Ready()) return 0;
  const int kind = RingValue(S().panelHkp, HKP_FINDKIND);
  BeginLong("Find next housekeeping change");
  bool found = false;
  const bool shown = S().dump.FindNextHKP(kind, Swap(), &found, S().in.progress);
  EndLong();
  if (shown) ShowPacket();
  return 0;
}

int PlotMagPacket(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelMag);
  return 0;
}

int MagMeanSwitch(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (S().dump.shown() && (tallox::GetApID(S().dump.Data()) & 0xFFE) == 0x208) ShowPacket();
  return 0;
}

int PlotDREVFHKP(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelFhk);
  return 0;
}

int DisplayBurst(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelBurst);
  return 0;
}

// `ScanBurst1`, run by the Scan button and by a change of the APID selector.
static void RunBurst() {
  State& s = S();
  if (s.busy) return;
  const int p = s.panelBurst;
  const int sel = std::max(0, RingValue(p, BURST_APIDSEL));
  ResetTextBox(p, BURST_LOG, "");
  const tallox::BurstScan b = RunScan("Burst scan", [&] {
    return tallox::ScanBurst1(s.in, static_cast<unsigned>(sel));
  });
  SetCtrlVal(p, BURST_LOG, b.log);
  for (int i = 0; i < 5; ++i) SetCtrlVal(p, BURST_COUNT_0 + i, static_cast<double>(b.counts[i]));
  SetCtrlVal(p, BURST_COUNT_5, static_cast<double>(b.records));
}

int ScanBurst(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  RunBurst();
  return 0;
}

int ScanBurstSelect(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  RunBurst();
  return 0;
}

int DisplayTiming(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelTiming);
  return 0;
}

int StartTiming(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy) return 0;
  const int p = s.panelTiming;
  double apid = 0;
  int fine = 0;
  GetCtrlVal(p, TIMING_APID, &apid);
  GetCtrlVal(p, TIMING_FINE, &fine);
  ClearGraph(p, TIMING_GRAPH);
  const tallox::TimingResult t = RunScan("Packet timing", [&] {
    return tallox::StartTiming(s.in, static_cast<unsigned>(apid), fine != 0);
  });
  SetCtrlVal(p, TIMING_PACKETS, t.packetsText());
  if (t.packets < 2) return 0;
  std::vector<double> x, y;
  for (int d = t.rangeStart; d <= t.rangeEnd; ++d) {
    x.push_back((d + 0.5) * t.binSeconds());
    y.push_back(t.dThist[d]);
  }
  SetRange(p, TIMING_GRAPH, VAL_XAXIS, t.rangeStart * t.binSeconds(), (t.rangeEnd + 1) * t.binSeconds());
  PlotXY(p, TIMING_GRAPH, x.data(), y.data(), static_cast<int>(x.size()), VAL_VERTICAL_BAR, VAL_BLUE);
  return 0;
}

int DisplayRates(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelRates);
  return 0;
}

int PlotPkt(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy) return 0;
  const int p = s.panelRates;
  std::array<tallox::RateRow, tallox::kRateRows> rows{};
  for (int k = 0; k < tallox::kRateRows; ++k) {
    double first = 0, number = 0;
    GetCtrlVal(p, RATES_FIRST_0 + 2 * k, &first);
    GetCtrlVal(p, RATES_NUM_0 + 2 * k, &number);
    rows[k] = {static_cast<unsigned>(std::max(0.0, first)), static_cast<unsigned>(std::max(0.0, number))};
  }
  int ground = 0, autoscale = 1;
  GetCtrlVal(p, RATES_GROUND, &ground);
  GetCtrlVal(p, RATES_AUTO, &autoscale);
  ClearGraph(p, RATES_GRAPH);
  const tallox::RateResult r = RunScan("Packet rates", [&] {
    return tallox::PlotPkt(s.in, rows, ground != 0);
  });
  if (!r.any) return 0;
  double lo = r.yMin, hi = r.yMax;
  if (autoscale) {
    SetCtrlVal(p, RATES_YMIN, lo);
    SetCtrlVal(p, RATES_YMAX, hi);
  } else {
    GetCtrlVal(p, RATES_YMIN, &lo);
    GetCtrlVal(p, RATES_YMAX, &hi);
  }
  SetRange(p, RATES_GRAPH, VAL_LEFT_YAXIS, lo, hi);
  SetRange(p, RATES_GRAPH, VAL_XAXIS, r.start, r.latest);
  std::vector<double> x, y;
  for (int k = 0; k < tallox::kRateRows; ++k) {
    if (rows[k].first == 0) continue;
    x.clear();
    y.clear();
    for (int b = 0; b <= r.maxBin; ++b) {
      x.push_back(r.start + 60.0 * b);
      y.push_back(r.counts[k][b]);
    }
    PlotXY(p, RATES_GRAPH, x.data(), y.data(), static_cast<int>(x.size()), VAL_CONNECTED_POINTS,
           tallox::gui::TraceColour(tallox::kTenColours[k]));
  }
  InsertAxisItem(p, RATES_GRAPH, VAL_BOTTOM_XAXIS, -1, tallox::GetTime1(r.start).c_str(), r.start);
  InsertAxisItem(p, RATES_GRAPH, VAL_BOTTOM_XAXIS, -1, tallox::GetTime1(r.latest).c_str(), r.latest);
  return 0;
}

void RegisterFileCallbacks() {
  RTE_REGISTER_CALLBACK(ScanApIDs);
  RTE_REGISTER_CALLBACK(DisplayPackets);
  RTE_REGISTER_CALLBACK(NextPacket);
  RTE_REGISTER_CALLBACK(BackPacket);
  RTE_REGISTER_CALLBACK(PacketNum);
  RTE_REGISTER_CALLBACK(FindNext);
  RTE_REGISTER_CALLBACK(DisplayHKP);
  RTE_REGISTER_CALLBACK(NextHKP);
  RTE_REGISTER_CALLBACK(BackHKP);
  RTE_REGISTER_CALLBACK(FindNextHKP);
  RTE_REGISTER_CALLBACK(PlotMagPacket);
  RTE_REGISTER_CALLBACK(MagMeanSwitch);
  RTE_REGISTER_CALLBACK(PlotDREVFHKP);
  RTE_REGISTER_CALLBACK(DisplayBurst);
  RTE_REGISTER_CALLBACK(ScanBurst);
  RTE_REGISTER_CALLBACK(ScanBurstSelect);
  RTE_REGISTER_CALLBACK(DisplayTiming);
  RTE_REGISTER_CALLBACK(StartTiming);
  RTE_REGISTER_CALLBACK(DisplayRates);
  RTE_REGISTER_CALLBACK(PlotPkt);
}
