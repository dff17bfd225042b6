#include "gui.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "cli/batch.h"
#include "rte/app.h"
#include "rte/rte.h"
#include "uir_ids.h"

using tallox::gui::S;

namespace tallox::gui {

namespace {
State* g_state = nullptr;
constexpr const char* kUir = "TALLOX.uir";
constexpr int kGreen = 0x00A000;

int Swap() {
  int v = 1;
  GetCtrlVal(S().panelMain, MAIN_SWAP, &v);
  return v != 0;
}

// The main-panel settings GetData reads, taken just before a scan...
void SyncIn() {
  State& s = S();
  int v = 1;
  GetCtrlVal(s.panelMain, MAIN_SWAP, &v);
  s.in.ctl.swap = v != 0;
  v = 1;
  GetCtrlVal(s.panelMain, MAIN_WHOLE, &v);
  s.in.ctl.wholeFile = v != 0;
  GetCtrlVal(s.panelMain, MAIN_START, &s.in.ctl.startText);
  GetCtrlVal(s.panelMain, MAIN_END, &s.in.ctl.endText);
}

// ...and the start and end fields it writes, shown after it.
void SyncOut() {
  SetCtrlVal(S().panelMain, MAIN_START, S().in.ctl.startText);
  SetCtrlVal(S().panelMain, MAIN_END, S().in.ctl.endText);
}

void Message(const std::string& title, const std::string& text) {
  S().lastMessage = text;
  MessagePopup(title.c_str(), text.c_str());
}

int RingValue(int panel, int control) {
  int index = -1;
  if (GetCtrlIndex(panel, control, &index) < 0 || index < 0) return -1;
  double v = -1;
  GetValueFromIndex(panel, control, index, &v);
  return static_cast<int>(v);
}

// A long scan: the progress panel with a bar and Cancel, events served while it runs.
void BeginLong(const std::string& what) {
  State& s = S();
  s.busy = true;
  s.cancel = false;
  SetWaitCursor(1);
  SetCtrlVal(s.panelProgress, PROGRESS_WHAT, what);
  SetCtrlVal(s.panelProgress, PROGRESS_PERCENT, 0);
  SetCtrlVal(s.panelProgress, PROGRESS_BAR, "");
  DisplayPanel(s.panelProgress);
  auto last = std::make_shared<std::chrono::steady_clock::time_point>();
  s.in.progress = [last](std::uint64_t done, std::uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (done < total && now - *last < std::chrono::milliseconds(100)) return !S().cancel;
    *last = now;
    const int pct = total ? static_cast<int>(done * 100 / total) : 0;
    std::string bar;
    for (int i = 0; i < 40; ++i) bar += i < pct * 40 / 100 ? "\u2588" : "\u2591";
    SetCtrlVal(S().panelProgress, PROGRESS_BAR, bar);
    SetCtrlVal(S().panelProgress, PROGRESS_PERCENT, pct);
    ProcessSystemEvents();
    return !S().cancel;
  };
}

void EndLong() {
  State& s = S();
  s.in.progress = {};
  HidePanel(s.panelProgress);
  SetWaitCursor(0);
  s.busy = false;
}

// Reports why a scan read nothing, or that it was cancelled.
void AfterScan(const std::string& error, bool cancelled) {
  if (!error.empty()) Message("ERROR", error);
  if (cancelled) S().lastMessage = "Cancelled";
}

void SetText(int panel, int control, const std::string& text) {
  ResetTextBox(panel, control, text.c_str());
}

void ClearGraph(int panel, int control) {
  DeleteGraphPlot(panel, control, VAL_DELETE_ALL, VAL_DELAYED_DRAW);
  ClearAxisItems(panel, control, VAL_BOTTOM_XAXIS);
}

void SetRange(int panel, int control, int axis, double lo, double hi) {
  if (!(hi > lo)) hi = lo + 1;
  SetAxisScalingMode(panel, control, axis, VAL_MANUAL, lo, hi);
}

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
  if (v.mag) ShowMag(*v.mag, v.packetNumber);
  if (v.fastHk) ShowFastHk(s.wave);
}

// The chart view takes a pure black series for "no colour given" and paints it in a theme
// colour instead; a black one step above zero looks the same and is kept.
int TraceColour(int rgb) { return rgb == 0x000000 ? 0x010101 : rgb; }

bool Ready() { return !S().busy && S().dump.isOpen(); }

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
  SyncIn();
  BeginLong(sep ? "SEP housekeeping" : "Housekeeping");
  const Extraction x = ExtractHK(s.in, sep ? s.tables.sep : s.tables.suite, sel, sep, s.store);
  EndLong();
  SyncOut();
  AfterScan(x.error, x.cancelled);
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

}  // namespace

State& S() {
  if (!g_state) g_state = new State;
  return *g_state;
}

void Reset() {
  rte::ResetModel();
  delete g_state;
  g_state = new State;
}

void UseFile(const std::string& path) {
  State& s = S();
  s.in.FileName = path;
  s.in.source.close();
  SetCtrlVal(s.panelMain, MAIN_FILE, path);
  for (int c = MAIN_SCAN; c <= MAIN_HKSTATS; ++c) SetCtrlAttribute(s.panelMain, c, ATTR_DIMMED, 0);
  for (int p : {s.panelScan, s.panelPacket, s.panelHkp, s.panelMag, s.panelTiming, s.panelBurst,
                s.panelRates, s.panelHkPlot, s.panelSepPlot, s.panelFhk, s.panelHkStats,
                s.panelProgress})
    HidePanel(p);
  std::string err;
  if (!s.dump.open(path, &err)) Message("ERROR", err);
}

void InitDatabase(const std::string& dbDir) {
  State& s = S();
  s.tables = init_database(dbDir);
  if (!s.tables.error.empty()) Message("ERROR", s.tables.error);
  FillSelectors(s.panelHkPlot, HKPLOT_SEL_0, s.tables.suite);
  FillSelectors(s.panelSepPlot, SEPPLOT_SEL_0, s.tables.sep);
  std::string warn;
  for (const auto* db : {&s.tables.suite, &s.tables.sep})
    for (const auto& w : db->warnings) warn += w + "\n";
  if (!warn.empty()) Message("WARNING", warn);
}

}  // namespace tallox::gui

// ---- callbacks (bound by name from TALLOX.uir) ------------------------------------------------
using namespace tallox::gui;

#define COMMIT_ONLY \
  if (event != EVENT_COMMIT) return 0

int Panel(int panel, int control, int event, void*, int, int) {
  if (event == EVENT_CLOSE) {
    S().cancel = true;  // a scan still running stops first
    QuitUserInterface(0);
  }
  return 0;
}

int GenericPanel(int panel, int control, int event, void*, int, int) {
  if (event == EVENT_CLOSE && panel != S().panelProgress) HidePanel(panel);
  return 0;
}

int QuitTallox(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (S().busy) S().cancel = true;
  QuitUserInterface(0);
  return 0;
}

int CancelScan(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  S().cancel = true;
  return 0;
}

int SelectFile(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  if (S().busy) return 0;
  std::string dir = ".";
  if (!S().in.FileName.empty())
    dir = std::filesystem::path(S().in.FileName).parent_path().string();
  std::string path;
  const int r = FileSelectPopup(dir.empty() ? "." : dir.c_str(), "*.tlm *.log",
                                "Telemetry file to process", VAL_LOAD_BUTTON, &path);
  if (r == VAL_EXISTING_FILE_SELECTED && !path.empty()) UseFile(path);
  return 0;
}

int ScanApIDs(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  State& s = S();
  if (s.busy) return 0;
  DisplayPanel(s.panelScan);
  SyncIn();
  BeginLong("ApID scan");
  const tallox::ApidScan a = tallox::ScanApIDs(s.in);
  EndLong();
  SyncOut();
  AfterScan(a.error, a.cancelled);
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
  if (a.records > 0 && a.invalid == a.records)
    Message("WARNING",
            "No record of this file holds a known ApID: is it a telemetry file, and is the byte "
            "order switch right?");
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
  SyncIn();
  BeginLong("Burst scan");
  const tallox::BurstScan b = tallox::ScanBurst1(s.in, static_cast<unsigned>(sel));
  EndLong();
  SyncOut();
  AfterScan(b.error, b.cancelled);
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
  SyncIn();
  BeginLong("Packet timing");
  const tallox::TimingResult t = tallox::StartTiming(s.in, static_cast<unsigned>(apid), fine != 0);
  EndLong();
  SyncOut();
  AfterScan(t.error, t.cancelled);
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
  SyncIn();
  BeginLong("Packet rates");
  const tallox::RateResult r = tallox::PlotPkt(s.in, rows, ground != 0);
  EndLong();
  SyncOut();
  AfterScan(r.error, r.cancelled);
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
  SyncIn();
  BeginLong("Housekeeping statistics");
  const tallox::HkStats h = tallox::ScanHKP(s.in);
  EndLong();
  SyncOut();
  AfterScan(h.error, h.cancelled);
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

static void RegisterCallbacks() {
  RTE_REGISTER_CALLBACK(Panel);
  RTE_REGISTER_CALLBACK(GenericPanel);
  RTE_REGISTER_CALLBACK(QuitTallox);
  RTE_REGISTER_CALLBACK(CancelScan);
  RTE_REGISTER_CALLBACK(SelectFile);
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
  RTE_REGISTER_CALLBACK(DisplayHKPlot);
  RTE_REGISTER_CALLBACK(DisplaySEPPlot);
  RTE_REGISTER_CALLBACK(PlotHKP);
  RTE_REGISTER_CALLBACK(PlotSEPHKP);
  RTE_REGISTER_CALLBACK(SaveHKP);
  RTE_REGISTER_CALLBACK(ScanHKP);
}

namespace tallox::gui {

bool LoadPanels(const std::string& uiDir, std::string* error) {
  RegisterCallbacks();
  if (!uiDir.empty()) rte::AddResourceDir(uiDir);
  State& s = S();
  struct {
    int* handle;
    int resource;
  } panels[] = {{&s.panelMain, RES_MAIN},     {&s.panelScan, RES_SCAN},
                {&s.panelPacket, RES_PACKET}, {&s.panelHkp, RES_HKP},
                {&s.panelTiming, RES_TIMING}, {&s.panelMag, RES_MAG},
                {&s.panelBurst, RES_BURST},   {&s.panelRates, RES_RATES},
                {&s.panelHkPlot, RES_HKPLOT}, {&s.panelSepPlot, RES_SEPPLOT},
                {&s.panelFhk, RES_FHK},       {&s.panelHkStats, RES_HKSTATS},
                {&s.panelProgress, RES_PROGRESS}};
  for (auto& p : panels) {
    *p.handle = LoadPanel(0, kUir, p.resource);
    if (*p.handle < 0) {
      if (error) *error = rte::LastLoadError();
      return false;
    }
  }
  DisplayPanel(s.panelMain);
  return true;
}

}  // namespace tallox::gui

int RunTalloxGui(int argc, char** argv) {
  rte::AppOptions opts = rte::ParseAppOptions(argc, argv);
  rte::StartApp(argc, argv, opts);
  // The resource file sits beside the program; the source folder serves a build tree.
  std::error_code ec;
  const auto exe = std::filesystem::absolute(argv[0], ec);
  if (!ec) rte::AddResourceDir(exe.parent_path().string());
  std::string error;
  if (!LoadPanels(TALLOX_UI_DIR, &error)) {
    std::fprintf(stderr, "tallox: cannot load the panels: %s\n", error.c_str());
    return 1;
  }
  InitDatabase(".");
  // A file named on the command line is opened as if chosen in the dialog.
  for (const auto& a : opts.rest)
    if (!a.empty() && a[0] != '-') {
      UseFile(a);
      break;
    }
  if (rte::IsHeadless()) {
    // Without a display the panels cannot be used; each line on standard input runs as a batch
    // command instead (the same verbs as on the command line), and end of input ends tallox.
    std::fprintf(stderr, "tallox: headless; type batch commands (scan FILE, hk FILE --points ...), "
                         "one a line\n");
    rte::WatchStdinLines(
        [](const std::string& line) {
          const auto args = tallox::SplitCommandLine(line);
          if (args.empty()) return;
          if (!tallox::IsBatchCommand(args)) {
            std::cerr << "tallox: unknown command " << args[0] << "\n" << tallox::BatchUsage();
            return;
          }
          tallox::RunBatch(args, std::cout, std::cerr);
          std::cout.flush();
        },
        [] { QuitUserInterface(0); });
  }
  return RunUserInterface();
}
