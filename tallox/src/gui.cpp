#include "gui.h"

#include <algorithm>
#include <chrono>
#include <cmath>
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

// Reports why a scan read nothing, that it was cancelled, that there was no record to read, or
// that the file does not look like a recording.
void AfterScan(const std::string& error, bool cancelled) {
  const RecordSource& src = S().in.source;
  if (!error.empty())
    Message("ERROR", error);
  else if (cancelled)
    S().lastMessage = "Cancelled";
  else if (src.mostlyNotTelemetry())
    Message("WARNING", std::to_string(src.notTelemetry()) + " of " + std::to_string(src.recordsRead()) +
                           " records hold no telemetry packet header: is this a telemetry file, and "
                           "is the byte order switch right?");
  else if (src.delivered() == 0)
    Message("tallox", S().in.ctl.wholeFile ? "No record in the file" : "No record in the window");
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
  if (v.mag) {
    ShowMag(*v.mag, v.packetNumber);
    s.magShown = *v.mag;
    s.magPacket = v.packetNumber;
    s.magInterval = MagSampleInterval(s.dump.Data());
  }
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
  for (int c = MAIN_SCAN; c <= MAIN_BURSTHK; ++c) SetCtrlAttribute(s.panelMain, c, ATTR_DIMMED, 0);
  for (int p : {s.panelScan, s.panelPacket, s.panelHkp, s.panelMag, s.panelTiming, s.panelBurst,
                s.panelRates, s.panelHkPlot, s.panelSepPlot, s.panelFhk, s.panelHkStats,
                s.panelProgress, s.panelMagFit, s.panelMagPlot, s.panelSteRates, s.panelSteSpec,
                s.panelSteFit, s.panelSteFitP, s.panelDrevRates, s.panelBurstHk})
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

// ---- MAG and STE products ----------------------------------------------------------------------
using tallox::ExtractMag;
using tallox::ExtractSteRates;
using tallox::FitMagComponent;
using tallox::FitStePeaks;
using tallox::FitSteLines;
using tallox::GetTime1;
using tallox::kSteLineEnergy;
using tallox::kSteLineRange;
using tallox::kSteLinesParams;
using tallox::kStePeaksParams;
using tallox::LsqState;
using tallox::MagIfcFit;
using tallox::MagIfcModel;
using tallox::MagLimits;
using tallox::MagSampleInterval;
using tallox::MagSegments;
using tallox::MagSeries;
using tallox::MagView;
using tallox::MakeMagView;
using tallox::kTenColours;
using tallox::SteAccumulation;
using tallox::SteLinesModel;
using tallox::StePeaksModel;
using tallox::SteRateLimits;
using tallox::SteRates;
using tallox::SteSpecLimits;

int DisplayMagPlot(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  DisplayPanel(S().panelMagPlot);
  return 0;
}

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
  SyncIn();
  BeginLong("MAG time series");
  const MagSeries m = ExtractMag(s.in, burst != 0);
  EndLong();
  SyncOut();
  AfterScan(m.error, m.cancelled);
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
  SyncIn();
  BeginLong("STE rates");
  // The rates go into the housekeeping sample store (rows 0-23), as the housekeeping plot's do.
  const SteRates r = ExtractSteRates(s.in, s.store);
  EndLong();
  SyncOut();
  AfterScan(r.error, r.cancelled);
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

// ---- axis helpers: the graph of the panel that called them -------------------------------------
static int GraphOf(int panel) {
  State& s = S();
  if (panel == s.panelMagPlot) return MAGPLOT_GRAPH;
  if (panel == s.panelSteRates) return STERATES_GRAPH;
  if (panel == s.panelSteSpec) return STESPEC_GRAPH;
  if (panel == s.panelDrevRates) return DREVRATES_GRAPH;
  if (panel == s.panelBurstHk) return BURSTHK_GRAPH;
  return -1;
}

// Zoom by a factor of two about the middle; move by a quarter of the range.
static void ChangeRange(int panel, double zoom, double move) {
  const int g = GraphOf(panel);
  if (g < 0) return;
  int mode = 0;
  double lo = 0, hi = 0;
  GetAxisScalingMode(panel, g, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  const double mid = (lo + hi) / 2 + move * (hi - lo), half = (hi - lo) / 2 * zoom;
  SetRange(panel, g, VAL_LEFT_YAXIS, mid - half, mid + half);
}

int ZoomIn(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  ChangeRange(panel, 0.5, 0);
  return 0;
}
int ZoomOut(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  ChangeRange(panel, 2, 0);
  return 0;
}
int MoveUp(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  ChangeRange(panel, 1, 0.25);
  return 0;
}
int MoveDown(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  ChangeRange(panel, 1, -0.25);
  return 0;
}
int Auto(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  const int g = GraphOf(panel);
  if (g >= 0) SetAxisScalingMode(panel, g, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
  return 0;
}
int Print(int panel, int control, int event, void*, int, int) {
  COMMIT_ONLY;
  PrintPanel(panel);
  return 0;
}

// ---- analyzer rates and burst housekeeping -----------------------------------------------------

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
  SyncIn();
  BeginLong("Analyzer rates");
  const tallox::DrevRates r = tallox::ExtractDrevRates(s.in, e, d);
  EndLong();
  SyncOut();
  AfterScan(r.error, r.cancelled);
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
  SyncIn();
  BeginLong("Burst housekeeping");
  const tallox::BurstHk b = tallox::ExtractBurstHk(s.in);
  EndLong();
  SyncOut();
  AfterScan(b.error, b.cancelled);
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
  SyncIn();
  BeginLong("Burst criteria");
  const tallox::BurstCriteria c = tallox::ExtractBurstCriteria(s.in);
  EndLong();
  SyncOut();
  AfterScan(c.error, c.cancelled);
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
  RTE_REGISTER_CALLBACK(DisplayMagPlot);
  RTE_REGISTER_CALLBACK(DisplaySteRates);
  RTE_REGISTER_CALLBACK(DisplaySteSpec);
  RTE_REGISTER_CALLBACK(SaveMag);
  RTE_REGISTER_CALLBACK(MAGIFCFit);
  RTE_REGISTER_CALLBACK(PlotMAG);
  RTE_REGISTER_CALLBACK(PlotSTERates);
  RTE_REGISTER_CALLBACK(AccSTESpec);
  RTE_REGISTER_CALLBACK(STEAccNext);
  RTE_REGISTER_CALLBACK(SaveSTEAcc);
  RTE_REGISTER_CALLBACK(STEFit);
  RTE_REGISTER_CALLBACK(STEFitP);
  RTE_REGISTER_CALLBACK(HideSTEFit);
  RTE_REGISTER_CALLBACK(ZoomIn);
  RTE_REGISTER_CALLBACK(ZoomOut);
  RTE_REGISTER_CALLBACK(MoveUp);
  RTE_REGISTER_CALLBACK(MoveDown);
  RTE_REGISTER_CALLBACK(Auto);
  RTE_REGISTER_CALLBACK(Print);
  RTE_REGISTER_CALLBACK(DisplayDrevRates);
  RTE_REGISTER_CALLBACK(DisplayBurstHk);
  RTE_REGISTER_CALLBACK(PlotDREVRates);
  RTE_REGISTER_CALLBACK(PlotBurst);
  RTE_REGISTER_CALLBACK(PlotBurstActive);
  RTE_REGISTER_CALLBACK(PlotBurstCriteria);
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
                {&s.panelProgress, RES_PROGRESS}, {&s.panelMagFit, RES_MAGFIT},
                {&s.panelMagPlot, RES_MAGPLOT}, {&s.panelSteRates, RES_STERATES},
                {&s.panelSteSpec, RES_STESPEC}, {&s.panelDrevRates, RES_DREVRATES},
                {&s.panelBurstHk, RES_BURSTHK}};
  for (auto& p : panels) {
    *p.handle = LoadPanel(0, kUir, p.resource);
    if (*p.handle < 0) {
      if (error) *error = rte::LastLoadError();
      return false;
    }
  }
  // The two STE fit panels belong to the spectrum panel they fit.
  for (auto [handle, resource] : {std::pair{&s.panelSteFit, RES_STEFIT}, std::pair{&s.panelSteFitP, RES_STEFITP}}) {
    *handle = LoadPanel(s.panelSteSpec, kUir, resource);
    if (*handle < 0) {
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
  // SIGTERM and SIGINT: a running scan stops at its next progress report, any pop-up closes, and
  // the loop ends as the Quit button ends it (files closed, exit 0).
  rte::WatchStopSignals([] {
    S().cancel = true;
    QuitUserInterface(0);
  });
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
  if (rte::StopRequested()) return 0;
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
          tallox::RunBatch(args, std::cout, std::cerr);
          std::cout.flush();
        },
        [] { QuitUserInterface(0); });
  }
  return RunUserInterface();
}
