#include "gui.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/batch.h"
#include "gui_internal.h"
#include "rte/app.h"

namespace tallox::gui {

namespace {
State* g_state = nullptr;
constexpr const char* kUir = "TALLOX.uir";
}  // namespace

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

// The chart view takes a pure black series for "no colour given" and paints it in a theme
// colour instead; a black one step above zero looks the same and is kept.
int TraceColour(int rgb) { return rgb == 0x000000 ? 0x010101 : rgb; }

bool Ready() { return !S().busy && S().dump.isOpen(); }

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

// ---- callbacks of the main panel and the axis helpers (bound by name from TALLOX.uir) ---------
using namespace tallox::gui;

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

void RegisterGeneralCallbacks() {
  RTE_REGISTER_CALLBACK(Panel);
  RTE_REGISTER_CALLBACK(GenericPanel);
  RTE_REGISTER_CALLBACK(QuitTallox);
  RTE_REGISTER_CALLBACK(CancelScan);
  RTE_REGISTER_CALLBACK(SelectFile);
  RTE_REGISTER_CALLBACK(ZoomIn);
  RTE_REGISTER_CALLBACK(ZoomOut);
  RTE_REGISTER_CALLBACK(MoveUp);
  RTE_REGISTER_CALLBACK(MoveDown);
  RTE_REGISTER_CALLBACK(Auto);
  RTE_REGISTER_CALLBACK(Print);
}

static void RegisterCallbacks() {
  RegisterGeneralCallbacks();
  RegisterFileCallbacks();
  RegisterHousekeepingCallbacks();
  RegisterMagCallbacks();
  RegisterSteCallbacks();
  RegisterBurstCallbacks();
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

