// The panels of drev: the link with its hex view, record and replay; the 3-D, pitch and moment
// displays; the analyzer housekeeping. The callbacks are thin glue between the controls and the
// core functions over the one DrevState.
#include "src/gui.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <vector>

#include "rte/rte.h"
#include "src/uir_ids.h"

namespace drev::gui {

namespace {

constexpr const char* kUir = "Drev.uir";
// Every graph and chart panel has the same first controls (ui/gen_uir.py).
constexpr int kPlotCtrl = 2, kMaxUp = 3, kMaxDn = 4, kMinUp = 5, kMinDn = 6, kLogCtrl = 7;
static_assert(DEA_GRAPH == kPlotCtrl && DEA_MAXUP == kMaxUp && DEA_MINDN == kMinDn && DEA_LOG == kLogCtrl);
static_assert(CHRTE_CHART == kPlotCtrl && CHRTE_MAXUP == kMaxUp && CHRTE_LOG == kLogCtrl && CHRTE_LIN == 8);
static_assert(HK_GRAPH == kPlotCtrl && HK_MAXUP == kMaxUp && HK_LOG == kLogCtrl);
static_assert(MOMCHART_CHART == kPlotCtrl && P2DE_ACC == DEA_ACC && P2DA_COUNT == DEA_COUNT);
static_assert(NUM3D_N_5_15 == NUM3D_N_0_0 + 95 && PITCHNUM_N_6_11 == PITCHNUM_N_0_0 + 83);
static_assert(SEL3D_A15 == SEL3D_A0 + 15 && SEL3D_D5 == SEL3D_D0 + 5 && PITCHSEL_C11 == PITCHSEL_C0 + 11);
static_assert(MOM_M13 == MOM_M0 + 13 && MOM_ST5 == MOM_ST0 + 5 && HK_CH15 == HK_CH0 + 15);

// Curve colours by family member; also the housekeeping channel colours.
constexpr int kColours[16] = {0x000000, 0x663300, 0xFF0000, 0xFF5500, 0xFFFF00, 0x00DD00, 0x0000FF, 0x990099,
                              0xC0C0C0, 0xFFFFFF, 0x505050, 0x996633, 0xFF3366, 0xFF9933, 0xFFFF99, 0x66FF66};
// The chart view paints a pure black series in a theme colour; one step above black looks the same.
int Colour(int i) { return kColours[i % 16] == 0 ? 0x010101 : kColours[i % 16]; }

// Limit families: the callback's panel, its graph, and whether it is a strip chart.
struct Family {
  int res;
  bool strip;
};
constexpr Family kFamilies[16] = {
    {RES_CHRTE, true},  {RES_CHRTA, true},  {RES_CHRTD, true},  {RES_HK, false},   // MaxMin, Dta, Dtd, MinMax
    {RES_DEA, false},   {RES_DED, false},   {RES_DAD, false},   {RES_DAE, false},  // 3DEA 3DED 3DAD 3DAE
    {RES_DDA, false},   {RES_DDE, false},   {RES_P2DE, false},  {RES_P2DA, false}, // 3DDA 3DDE 2DE 2DA
    {RES_CHRT2E, true}, {RES_CHRT2A, true}, {RES_MAG, true},    {RES_MOMCHART, true}};

Program* g_prog = nullptr;

int R(int res) { return P().panel[res]; }
DrevState& S() { return *P().s; }

int ResOf(int panel) {
  for (int r = 1; r <= kNumPanels; ++r)
    if (P().panel[r] == panel) return r;
  return 0;
}

int FamilyOf(int res) {
  for (int i = 0; i < 16; ++i)
    if (kFamilies[i].res == res) return i;
  return -1;
}

int Switch(int res, int ctrl) {
  int v = 0;
  GetCtrlVal(R(res), ctrl, &v);
  return v;
}

void Message(const char* title, const std::string& text) {
  P().lastMessage = text;
  MessagePopup(title, text.c_str());
}

// ---- axes -----------------------------------------------------------------------------------------

void ApplyAxis(int res) {
  const int f = FamilyOf(res);
  if (f < 0) return;
  const AxisLimits& l = P().lim[f];
  SetAxisScale(R(res), kPlotCtrl, VAL_LEFT_YAXIS, l.log ? VAL_LOG_SCALE : VAL_LINEAR_SCALE);
  if (l.manual) {
    const double lo = l.log ? l.minl : l.min, hi = l.log ? l.maxl : l.max;
    SetAxisScalingMode(R(res), kPlotCtrl, VAL_LEFT_YAXIS, VAL_MANUAL, lo, hi > lo ? hi : lo + 1);
  } else {
    SetAxisScalingMode(R(res), kPlotCtrl, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
  }
}

// ---- strip charts and their histories -------------------------------------------------------------

int PointsPerScreen(int res) {
  int n = 100;
  GetCtrlAttribute(R(res), kPlotCtrl, ATTR_POINTS_PER_SCREEN, &n);
  return std::max(1, n);
}

History* HistoryOf(int res) {
  DrevState& s = S();
  switch (res) {
    case RES_CHRTE: return &s.redte3;
    case RES_CHRTA: return &s.redta3;
    case RES_CHRTD: return &s.redtd3;
    case RES_CHRT2E: return &s.redte2;
    case RES_CHRT2A: return &s.redta2;
    case RES_MAG: return &s.remag;
    default: return nullptr;
  }
}

// Frames waiting for the next display update, per chart (only the last screenful is kept).
struct Pending {
  std::vector<double> v;
  int width = 0;
  void add(const double* f, int w, int keepFrames) {
    width = w;
    v.insert(v.end(), f, f + w);
    const std::size_t keep = static_cast<std::size_t>(keepFrames) * w;
    if (v.size() > keep + 4096) v.erase(v.begin(), v.end() - static_cast<std::ptrdiff_t>(keep));
  }
};
Pending g_pending[24];

void FlushChart(int res) {
  Pending& p = g_pending[res];
  if (p.v.empty()) return;
  const std::size_t keep = static_cast<std::size_t>(PointsPerScreen(res)) * p.width;
  const std::size_t from = p.v.size() > keep ? p.v.size() - keep : 0;
  PlotStripChart(R(res), kPlotCtrl, p.v.data() + from, static_cast<int>(p.v.size() - from));
  p.v.clear();
}

// The moment chart shows values in linear mode and their absolute values in log mode.
bool MomentLog() { return P().lim[15].log; }

void RePlot(int res) {
  g_pending[res].v.clear();
  ClearStripChart(R(res), kPlotCtrl);
  const int pps = PointsPerScreen(res);
  std::vector<double> buf;
  if (res == RES_MOMCHART) {
    const History& h = MomentLog() ? S().lremomt : S().remomt;
    const int frames = h.count() * kMomentSets;
    for (int i = std::max(0, frames - pps); i < frames; ++i) {
      const double* f = h.frame(i / kMomentSets) + (i % kMomentSets) * kMomentValues;
      buf.insert(buf.end(), f, f + kMomentValues);
    }
  } else if (History* h = HistoryOf(res)) {
    for (int i = std::max(0, h->count() - pps); i < h->count(); ++i)
      buf.insert(buf.end(), h->frame(i), h->frame(i) + h->width());
  }
  if (!buf.empty()) PlotStripChart(R(res), kPlotCtrl, buf.data(), static_cast<int>(buf.size()));
}

void TraceVisibility(int res, int n, const bool* on) {
  for (int i = 0; i < n; ++i) SetTraceAttribute(R(res), kPlotCtrl, i + 1, ATTR_TRACE_VISIBLE, on[i] ? 1 : 0);
}

// ---- drawing ---------------------------------------------------------------------------------------

void DrawAccum(int res, const Accum& a, const bool* curveOn) {
  const int p = R(res);
  DeleteGraphPlot(p, kPlotCtrl, VAL_DELETE_ALL, VAL_DELAYED_DRAW);
  std::vector<double> x(a.cols);
  for (int i = 0; i < a.cols; ++i) x[i] = i;
  for (int r = 0; r < a.rows; ++r)
    if (curveOn[r]) PlotXY(p, kPlotCtrl, x.data(), &a.v[static_cast<std::size_t>(r) * a.cols], a.cols,
                          VAL_CONNECTED_POINTS, Colour(r));
  SetCtrlVal(p, DEA_COUNT, a.counter);
}

const bool* Curves(Plot3D w) {
  const Selection& s = S().sel;
  switch (w) {
    case kDEA: case kDDA: return s.a.data();
    case kDAE: case kDDE: return s.e.data();
    default: return s.d.data();
  }
}

constexpr int kPlotRes[kNumPlot3D] = {RES_DEA, RES_DAE, RES_DED, RES_DDE, RES_DAD, RES_DDA};

void Draw3DPlots() {
  for (int w = 0; w < kNumPlot3D; ++w) DrawAccum(kPlotRes[w], S().acc3[w], Curves(static_cast<Plot3D>(w)));
}

void DrawPitchPlots() {
  DrawAccum(RES_P2DE, S().de2, S().sel.col.data());
  DrawAccum(RES_P2DA, S().da2, S().sel.row.data());
}

void Disp3DN() {
  const int p = R(RES_NUM3D);
  const int e = std::clamp(S().pickE, 0, kNumE - 1);
  for (int d = 0; d < kNumD; ++d)
    for (int a = 0; a < kNumA; ++a) SetCtrlVal(p, NUM3D_N_0_0 + d * kNumA + a, S().distData[e][d][a]);
  SetCtrlVal(p, NUM3D_PICKE, e);
}

void Disp2DN() {
  const int p = R(RES_PITCHNUM);
  for (int r = 0; r < kPitchRows; ++r)
    for (int c = 0; c < kPitchCols; ++c) SetCtrlVal(p, PITCHNUM_N_0_0 + r * kPitchCols + c, S().pitchData[2][r][c]);
  SetCtrlVal(p, PITCHNUM_AZ, S().magAzEl[4]);
  SetCtrlVal(p, PITCHNUM_EL, S().magAzEl[5]);
  SetCtrlVal(p, PITCHNUM_TIME, S().pitchTime);
  SetCtrlVal(p, PITCHNUM_B10, S().pitchByte10);
  SetCtrlVal(p, PITCHNUM_B12, S().pitchByte12);
}

void DispMom() {
  const int p = R(RES_MOM);
  for (int i = 0; i < kMomentValues; ++i) SetCtrlVal(p, MOM_M0 + i, S().moment[8][i]);
  for (int b = 0; b < 6; ++b) {
    const StatusText t = MomStatus(b, S().drevDhkp);
    SetCtrlVal(p, MOM_ST0 + b, t.text);
    SetCtrlAttribute(p, MOM_ST0 + b, ATTR_TEXT_COLOR, t.color < 0 ? 0xE0E0E0 : t.color);
  }
  SetCtrlVal(p, MOM_TIME, S().momTime);
  SetCtrlVal(p, MOM_B12, S().momByte12);
  SetCtrlVal(p, MOM_W13, static_cast<int>(S().momWords[0]));
  SetCtrlVal(p, MOM_W15, static_cast<int>(S().momWords[1]));
  SetCtrlVal(p, MOM_W17, static_cast<int>(S().momWords[2]));
}

void DispHkpg() {
  const int p = R(RES_HK);
  DeleteGraphPlot(p, HK_GRAPH, VAL_DELETE_ALL, VAL_DELAYED_DRAW);
  double x[kHkSamples];
  for (int i = 0; i < kHkSamples; ++i) x[i] = i;
  for (int c = 0; c < kHkChannels; ++c)
    if (Switch(RES_HK, HK_CH0 + c)) PlotXY(p, HK_GRAPH, x, S().hkpg[c].data(), kHkSamples, VAL_THIN_LINE, Colour(c));
  SetCtrlVal(p, HK_TIME, S().hkTime);
}

void DispHex() {
  DrevState& s = S();
  std::uint8_t pkt[kPacketSize];
  std::memcpy(pkt, s.tcpBuff.data() + kHeaderSize, kPacketSize);
  if (s.cfg.cfgswp) bytswp(pkt, kPacketSize / 2);
  int start = 0, count = kPacketSize;
  GetCtrlVal(R(RES_LINK), LINK_HEXSTART, &start);
  GetCtrlVal(R(RES_LINK), LINK_HEXCOUNT, &count);
  ResetTextBox(R(RES_LINK), LINK_HEX, HexText(pkt, start, count).c_str());
}

void ReadSelections() {
  Selection& sel = S().sel;
  for (int e = 0; e < kNumE; ++e) sel.e[e] = Switch(RES_SEL3D, SEL3D_E0 + e);
  for (int a = 0; a < kNumA; ++a) sel.a[a] = Switch(RES_SEL3D, SEL3D_A0 + a);
  for (int d = 0; d < kNumD; ++d) sel.d[d] = Switch(RES_SEL3D, SEL3D_D0 + d);
  for (int r = 0; r < kPitchRows; ++r) sel.row[r] = Switch(RES_PITCHSEL, PITCHSEL_R0 + r);
  for (int c = 0; c < kPitchCols; ++c) sel.col[c] = Switch(RES_PITCHSEL, PITCHSEL_C0 + c);
}

void MomentVisibility() {
  bool on[kMomentValues];
  for (int i = 0; i < kMomentValues; ++i) on[i] = Switch(RES_MOMCHART, MOMCHART_SEL0 + i);
  TraceVisibility(RES_MOMCHART, kMomentValues, on);
}

// ---- the panels' side of the record processing -------------------------------------------------------

class PanelSink : public Sink {
 public:
  bool gotDist = false, gotRefresh = false, gotPitch = false, gotMom = false, gotHk = false, gotSuite = false;

  void spacecraft(DrevState& s) override {
    const int p = R(RES_LINK);
    if (s.aorb == 2) {
      SetPanelAttribute(p, ATTR_TITLE, "Received Data Spacecraft B");
      SetPanelAttribute(p, ATTR_BACKCOLOR, 0x5577FF);
    } else {
      SetPanelAttribute(p, ATTR_TITLE, "Received Data Spacecraft A");
      SetPanelAttribute(p, ATTR_BACKCOLOR, 0x00CC00);
    }
  }
  void suiteHk(DrevState&) override { gotSuite = true; }
  void distribution(DrevState& s, bool refresh) override {
    gotDist = true;
    for (int res : {RES_CHRTE, RES_CHRTA, RES_CHRTD})
      SetCtrlVal(R(res), CHRTE_SPAN, s.lastDist.byte10 * (PointsPerScreen(res) / 60.0));
    if (!refresh) return;
    ++P().refreshes;
    for (int w = 0; w < kNumPlot3D; ++w)
      Accumulate3D(s, static_cast<Plot3D>(w), Switch(kPlotRes[w], DEA_ACC) != 0);
    Totals3D(s);
    g_pending[RES_CHRTE].add(s.dte3.data(), kNumE, PointsPerScreen(RES_CHRTE));
    g_pending[RES_CHRTA].add(s.dta3.data(), kNumA, PointsPerScreen(RES_CHRTA));
    g_pending[RES_CHRTD].add(s.dtd3.data(), kNumD, PointsPerScreen(RES_CHRTD));
    gotRefresh = true;
  }
  void pitch(DrevState& s) override {
    AccumulatePitch(s, false, Switch(RES_P2DE, P2DE_ACC) != 0);
    AccumulatePitch(s, true, Switch(RES_P2DA, P2DA_ACC) != 0);
    TotalsPitch(s);
    const History& e = s.redte2;
    const History& a = s.redta2;
    g_pending[RES_CHRT2E].add(e.frame(e.count() - 1), kPitchRows, PointsPerScreen(RES_CHRT2E));
    g_pending[RES_CHRT2A].add(a.frame(a.count() - 1), kPitchCols, PointsPerScreen(RES_CHRT2A));
    g_pending[RES_MAG].add(s.magAzEl.data(), 6, PointsPerScreen(RES_MAG));
    for (int res : {RES_CHRT2E, RES_CHRT2A, RES_MAG})
      SetCtrlVal(R(res), CHRTE_SPAN, s.pitchByte10 * (PointsPerScreen(res) / 60.0));
    gotPitch = true;
  }
  void moments(DrevState& s) override {
    PushMoments(s);
    const double* f = MomentLog() ? &s.lmoment[0][0] : &s.moment[0][0];
    g_pending[RES_MOMCHART].add(f, kMomentSets * kMomentValues, PointsPerScreen(RES_MOMCHART));
    g_pending[RES_MOMCHART].width = kMomentValues;
    gotMom = true;
  }
  void analyzerHk(DrevState&, int) override { gotHk = true; }
};

void ShowCounters() {
  const int p = R(RES_LINK);
  SetCtrlVal(p, LINK_CHKERR, S().checksumErrors);
  SetCtrlVal(p, LINK_NUMPKTS, S().numberPkts);
  SetCtrlVal(p, LINK_RECORDS, static_cast<double>(S().recordsProcessed));
}

// ---- replay and recording -----------------------------------------------------------------------------

void CloseFile() {
  if (P().pbfp) std::fclose(P().pbfp);
  P().pbfp = nullptr;
}

void StopPlayback() {
  Program& g = P();
  if (g.pbOn) CloseFile();
  g.pbOn = false;
  g.step.reset();
  SetCtrlAttribute(R(RES_LINK), LINK_PLAYTIMER, ATTR_ENABLED, 0);
  SetCtrlVal(R(RES_LINK), LINK_PLAYBACK, 0);
  SetCtrlVal(R(RES_LINK), LINK_PBLED, 0);
}

void StopRecording() {
  Program& g = P();
  if (g.recOK) CloseFile();
  g.recOK = g.recOn = false;
  SetCtrlVal(R(RES_LINK), LINK_RECORD, 0);
}

void DropLink() {
  Program& g = P();
  if (g.gHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(g.gHandle));
  g.gHandle = -1;
  SetCtrlVal(R(RES_LINK), LINK_TCP, 0);
  SetCtrlVal(R(RES_LINK), LINK_CONNECTED, 0);
}

bool GetFile() {
  Program& g = P();
  if (g.pbOn || g.stpOn) {
    DropLink();
    if (g.recOK) StopRecording();
  }
  std::string path;
  const int r = FileSelectPopup("pbf", "*.pbf", "Playback File", VAL_LOAD_BUTTON, &path);
  if (r == VAL_NO_FILE_SELECTED || path.empty()) return false;
  CloseFile();
  g.pbfp = std::fopen(rte::ResolvePath(path).c_str(), "rb");
  if (!g.pbfp) {
    Message("File Not Found!", "Can't find " + path);
    return false;
  }
  g.pbfPath = path;
  SetCtrlVal(R(RES_LINK), LINK_PBFILE, path);
  return true;
}

void Play() {
  Program& g = P();
  g.step.reset();
  SetCtrlVal(R(RES_LINK), LINK_PBLED, 1);
  double delay = 0;
  GetCtrlVal(R(RES_LINK), LINK_DELAY, &delay);
  SetCtrlAttribute(R(RES_LINK), LINK_PLAYTIMER, ATTR_INTERVAL, std::max(0.001, delay));
  SetCtrlAttribute(R(RES_LINK), LINK_PLAYTIMER, ATTR_ENABLED, 1);
}

}  // namespace

Program& P() {
  static Program fallback;
  return g_prog ? *g_prog : fallback;
}

// What the records processed since the last display update changed (records can also be
// processed while bytes arrive, when the receive buffer must make room).
PanelSink g_sink;

void Incoming(const std::uint8_t* data, std::size_t n) {
  Receive(S(), data, n, g_sink);
  if (P().recOK && P().pbfp) std::fwrite(data, 1, n, P().pbfp);
  // Bytes processed to make room are shown at the next tick with the rest.
}

// Only what is on the screen is drawn. Each panel is marked stale by the packets that change
// it and brought up to date when it is visible (graphs at most twice a second: their sums follow
// every packet, but rebuilding sixteen curves on six graphs ten times a second is what makes a
// busy display fall behind). Strip charts take their new frames while visible and are redrawn
// from their histories when they come back. Graphs and charts take turns, a few a tick.
constexpr auto kGraphPeriod = std::chrono::milliseconds(500);

void RefreshPanel(int res) {
  DrevState& s = S();
  switch (res) {
    case RES_NUM3D: {
      // The numbers change with a complete distribution (Disp3DN on the refresh); the packet's
      // own fields with every packet.
      const int p = R(res);
      SetCtrlVal(p, NUM3D_TIME, s.distTime);
      SetCtrlVal(p, NUM3D_B10, s.lastDist.byte10);
      SetCtrlVal(p, NUM3D_B13, s.lastDist.byte13);
      SetCtrlVal(p, NUM3D_B14, s.lastDist.byte14);
      SetCtrlVal(p, NUM3D_PKT, s.lastDist.number);
      break;
    }
    case RES_PITCHNUM: Disp2DN(); break;
    case RES_P2DE: DrawAccum(RES_P2DE, s.de2, s.sel.col.data()); break;
    case RES_P2DA: DrawAccum(RES_P2DA, s.da2, s.sel.row.data()); break;
    case RES_MOM: DispMom(); break;
    case RES_HK: DispHkpg(); break;
    default:
      for (int w = 0; w < kNumPlot3D; ++w)
        if (kPlotRes[w] == res) DrawAccum(res, s.acc3[w], Curves(static_cast<Plot3D>(w)));
  }
}

bool IsGraph(int res) {
  return (res >= RES_DEA && res <= RES_DDA) || res == RES_P2DE || res == RES_P2DA || res == RES_HK;
}
bool IsChart(int res) {
  return res == RES_CHRTE || res == RES_CHRTA || res == RES_CHRTD || res == RES_CHRT2E || res == RES_CHRT2A ||
         res == RES_MAG || res == RES_MOMCHART;
}

bool g_stale[24] = {};
std::chrono::steady_clock::time_point g_lastDraw[24];

bool Visible(int res) {
  int v = 0;
  GetPanelAttribute(R(res), ATTR_VISIBLE, &v);
  return v != 0;
}

// A panel just shown: everything it holds, now.
void PanelShown(int res) {
  if (IsChart(res)) {
    RePlot(res);
    if (res == RES_MOMCHART) MomentVisibility();
  } else {
    RefreshPanel(res);
    if (res == RES_NUM3D) Disp3DN();
    g_lastDraw[res] = std::chrono::steady_clock::now();
  }
  g_stale[res] = false;
}

int ProcessHeld() {
  const int n = Pkt(S(), g_sink);
  const PanelSink sink = g_sink;
  g_sink = PanelSink();
  if (sink.gotRefresh && Visible(RES_NUM3D)) Disp3DN();
  if (sink.gotDist) {
    g_stale[RES_NUM3D] = true;
    for (int res = RES_DEA; res <= RES_DDA; ++res) g_stale[res] = g_stale[res] || sink.gotRefresh;
  }
  if (sink.gotPitch) g_stale[RES_PITCHNUM] = g_stale[RES_P2DE] = g_stale[RES_P2DA] = true;
  if (sink.gotMom) g_stale[RES_MOM] = true;
  if (sink.gotHk) g_stale[RES_HK] = true;
  const auto now = std::chrono::steady_clock::now();
  // One graph a tick, taking turns, so the redraws spread over the ticks instead of piling up.
  static int nextGraph = 2;
  bool graphDrawn = false;
  int chartsLeft = 1;
  for (int k = 0; k < kNumPanels - 1; ++k) {
    const int res = 2 + (nextGraph - 2 + k) % (kNumPanels - 1);
    if (res == RES_LINK || res == RES_SEL3D || res == RES_PITCHSEL) continue;
    const bool visible = Visible(res);
    if (IsChart(res)) {
      if (!visible) {
        g_pending[res].v.clear();
        g_stale[res] = true;  // redrawn from its history when shown again
      } else if (g_stale[res]) {
        PanelShown(res);
      } else if (!g_pending[res].v.empty() && chartsLeft > 0 && now - g_lastDraw[res] >= kGraphPeriod) {
        // New frames go on in batches, one chart a tick.
        FlushChart(res);
        g_lastDraw[res] = now;
        --chartsLeft;
      }
      continue;
    }
    if (!g_stale[res] || !visible) continue;
    if (IsGraph(res)) {
      if (graphDrawn || now - g_lastDraw[res] < kGraphPeriod) continue;
      graphDrawn = true;
      nextGraph = res + 1 > kNumPanels ? 2 : res + 1;
    }
    RefreshPanel(res);
    g_lastDraw[res] = now;
    g_stale[res] = false;
  }
  if (sink.gotSuite) {
    SetCtrlVal(R(RES_LINK), LINK_V12, S().IDREVSTE12V);
    SetCtrlVal(R(RES_LINK), LINK_VDVCC1, S().IDREVSTEDVCC1);
    SetCtrlVal(R(RES_LINK), LINK_VD5VD, S().IDREVSTED5VD);
  }
  ShowCounters();
  return n;
}

bool PlayTick() {
  Program& g = P();
  if (!g.pbOn || !g.pbfp) {
    StopPlayback();
    return false;
  }
  std::uint8_t rec[kRecordSize];
  g.stpOn = Switch(RES_LINK, LINK_STEP) != 0;
  if (g.stpOn) {
    int spacket = 1, filter = 4095;
    GetCtrlVal(R(RES_LINK), LINK_SPACKET, &spacket);
    GetCtrlVal(R(RES_LINK), LINK_STEPAPID, &filter);
    g.step.spacket = std::clamp(spacket, 1, 100);
    g.step.filter = filter;
    std::vector<std::uint8_t> out;
    while (g.step.next > 0) {
      if (!ReadRecord(g.pbfp, rec)) {
        StopPlayback();
        return false;
      }
      if (g.step.feed(rec, &out)) {
        Incoming(out.data(), out.size());
        std::memcpy(S().tcpBuff.data(), out.data(), kRecordSize);
        DispHex();
      }
    }
    return true;
  }
  double delay = 0;
  GetCtrlVal(R(RES_LINK), LINK_DELAY, &delay);
  SetCtrlAttribute(R(RES_LINK), LINK_PLAYTIMER, ATTR_INTERVAL, std::max(0.001, delay));
  // Without a delay a tick takes a batch, so a replay runs at file speed and the panels keep up.
  const int batch = delay > 0 ? 1 : 200;
  for (int i = 0; i < batch; ++i) {
    if (!ReadRecord(g.pbfp, rec)) {
      StopPlayback();
      return false;
    }
    Incoming(rec, kRecordSize);
  }
  DispHex();
  return true;
}

bool ReadCfg() {
  std::string reason, note;
  DrevState& s = S();
  if (ReadCfgFile(rte::ResolvePath(kCfgPath), s.cfg, &reason, &note)) {
    if (!note.empty()) std::fprintf(stderr, "drev: %s\n", note.c_str());
    return true;
  }
  MessagePopup("Can't find drev.cfg", "Click OK to select file.");
  std::string path;
  if (FileSelectPopup("cfg", "*.cfg", "File Name", VAL_LOAD_BUTTON, &path) == VAL_NO_FILE_SELECTED || path.empty())
    return false;
  if (!ReadCfgFile(rte::ResolvePath(path), s.cfg, &reason, &note)) {
    std::fprintf(stderr, "drev: cannot open %s: %s\n", path.c_str(), reason.c_str());
    return false;
  }
  if (!note.empty()) std::fprintf(stderr, "drev: %s\n", note.c_str());
  return true;
}

void Shutdown() {
  Program& g = P();
  if (g.pbfp) std::fclose(g.pbfp);
  g.pbfp = nullptr;
  if (g.gHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(g.gHandle));
  g.gHandle = -1;
}

}  // namespace drev::gui

// ---- callbacks (bound by name from Drev.uir) -------------------------------------------------------------
using namespace drev;
using namespace drev::gui;

#define CB(name) int name(int panel, int control, int event, void*, int, int)

namespace {

CB(Quit) {
  if (event == EVENT_CLOSE) {
    P().quitting = true;
    QuitUserInterface(0);
  }
  return 0;
}

void QuitMenu(int, int, void*, int) {
  P().quitting = true;
  QuitUserInterface(0);
}

CB(PanelCB) {
  if (event == EVENT_CLOSE) HidePanel(panel);
  return 0;
}

CB(ShowPanel) {
  if (event != EVENT_COMMIT) return 0;
  static const int kRes[] = {RES_LINK, RES_NUM3D, RES_SEL3D, RES_DEA, RES_DAE, RES_DED, RES_DDE, RES_DAD,
                             RES_DDA, RES_CHRTE, RES_CHRTA, RES_CHRTD, RES_PITCHNUM, RES_PITCHSEL, RES_P2DE,
                             RES_P2DA, RES_CHRT2E, RES_CHRT2A, RES_MAG, RES_MOM, RES_MOMCHART, RES_HK};
  const int i = control - MAIN_SHOW_LINK;
  if (i >= 0 && i < static_cast<int>(sizeof kRes / sizeof kRes[0])) {
    DisplayPanel(R(kRes[i]));
    if (kRes[i] != RES_LINK) PanelShown(kRes[i]);
  }
  return 0;
}

CB(ShowTime) {
  if (event != EVENT_TIMER_TICK) return 0;
  SetCtrlVal(R(RES_LINK), LINK_CLOCK, DateStr() + "  " + TimeStr());
  ProcessHeld();
  return 0;
}

int ClientCallback(unsigned handle, int xType, int errCode, void*) {
  Program& g = P();
  const int p = R(RES_LINK);
  if (xType == TCP_DISCONNECT) {
    g.gHandle = -1;
    SetCtrlVal(p, LINK_CONNECTED, 0);
    SetCtrlVal(p, LINK_TCP, 0);
    Message("TCP Client", "Server has closed connection!");
    return 0;
  }
  if (xType != TCP_DATAREADY) return 0;
  std::uint8_t buf[kTcpBuffSize];
  const int n = ClientTCPRead(handle, buf, sizeof buf, 1000);
  if (n < 0) {
    SetCtrlVal(p, LINK_CONNECTED, 0);
    Message("TCP Client", "TCP read error!");
    return 0;
  }
  Incoming(buf, static_cast<std::size_t>(n));
  if (n >= kHeaderSize + 2 && HexViewMatch(buf[26], buf[27], S().dispApid)) {
    DispHex();
    ++S().numberPkts;
    SetCtrlVal(p, LINK_NUMPKTS, S().numberPkts);
  }
  return 0;
}

CB(Tcp) {
  if (event != EVENT_COMMIT) return 0;
  Program& g = P();
  const int p = R(RES_LINK);
  // Connecting or disconnecting ends a replay.
  StopPlayback();
  g.stpOn = false;
  SetCtrlVal(p, LINK_STEP, 0);
  SetCtrlVal(p, LINK_STEPLED, 0);
  int on = 0;
  GetCtrlVal(p, LINK_TCP, &on);
  Config& c = S().cfg;
  if (on) {
    SetWaitCursor(1);
    if (!g.firstConnect) {
      std::string reply;
      std::string msg = "Type name of server.\n(OK for " + c.ipStr + ")";
      if (PromptPopup("Server Name?", msg.c_str(), &reply, 59) >= 0 && !reply.empty()) c.ipStr = reply;
      reply.clear();
      msg = "Type server port number.\n(OK for " + c.ipPort + ")";
      if (PromptPopup("Port Number?", msg.c_str(), &reply, 31) >= 0 && !reply.empty()) c.ipPort = reply;
    }
    g.firstConnect = false;
    unsigned h = 0;
    const int rc = ConnectToTCPServer(&h, static_cast<unsigned>(std::atoi(c.ipPort.c_str())), c.ipStr.c_str(),
                                      ClientCallback, nullptr, 5000);
    if (rc < 0) {
      SetCtrlVal(p, LINK_TCP, 0);
      SetWaitCursor(0);
      std::fprintf(stderr, "drev: cannot connect to %s:%s (TCP code %d)\n", c.ipStr.c_str(), c.ipPort.c_str(), rc);
      Message("TCP Client", "Connection to server failed !");
      return 0;
    }
    g.gHandle = static_cast<int>(h);
    SetWaitCursor(0);
    SetCtrlVal(p, LINK_CONNECTED, 1);
  } else {
    if (g.gHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(g.gHandle));
    g.gHandle = -1;
    SetCtrlVal(p, LINK_CONNECTED, 0);
  }
  return 0;
}

CB(Radio) {
  if (event != EVENT_COMMIT) return 0;
  const bool eleven = control == LINK_RADIO11;
  S().whichApid = eleven ? 0x11 : 0x10;
  SetCtrlVal(panel, LINK_RADIO10, eleven ? 0 : 1);
  SetCtrlVal(panel, LINK_RADIO11, eleven ? 1 : 0);
  return 0;
}

CB(ApidChange) {
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, LINK_DISPAPID, &S().dispApid);
  ResetTextBox(panel, LINK_HEX, "");
  S().numberPkts = 0;
  S().checksumErrors = 0;
  ShowCounters();
  return 0;
}

CB(Clear) {
  if (event != EVENT_COMMIT) return 0;
  const int res = ResOf(panel);
  if (res == RES_LINK) {
    ResetTextBox(panel, LINK_HEX, "");
    S().numberPkts = 0;
    S().checksumErrors = 0;
    ShowCounters();
    return 0;
  }
  if (History* h = HistoryOf(res)) h->clear();
  if (res == RES_MOMCHART) {
    S().remomt.clear();
    S().lremomt.clear();
  }
  g_pending[res].v.clear();
  ClearStripChart(panel, kPlotCtrl);
  return 0;
}

CB(ClearNum) {
  if (event != EVENT_COMMIT) return 0;
  const int res = ResOf(panel);
  if (res == RES_NUM3D) {
    for (int i = 0; i < kNumD * kNumA; ++i) SetCtrlVal(panel, NUM3D_N_0_0 + i, 0);
    for (int c : {NUM3D_B10, NUM3D_B13, NUM3D_B14, NUM3D_PKT}) SetCtrlVal(panel, c, 0);
  } else if (res == RES_PITCHNUM) {
    for (int i = 0; i < kPitchRows * kPitchCols; ++i) SetCtrlVal(panel, PITCHNUM_N_0_0 + i, 0);
    for (int c : {PITCHNUM_AZ, PITCHNUM_EL, PITCHNUM_B10, PITCHNUM_B12}) SetCtrlVal(panel, c, 0);
  } else if (res == RES_MOM) {
    for (int i = 0; i < kMomentValues; ++i) SetCtrlVal(panel, MOM_M0 + i, 0);
    for (int c : {MOM_B12, MOM_W13, MOM_W15, MOM_W17}) SetCtrlVal(panel, c, 0);
    SetCtrlVal(panel, MOM_TIME, "");
  }
  return 0;
}

CB(GClear) {
  if (event == EVENT_COMMIT) DeleteGraphPlot(panel, kPlotCtrl, VAL_DELETE_ALL, VAL_IMMEDIATE_DRAW);
  return 0;
}

void Redraw(int res) {
  switch (res) {
    case RES_HK: DispHkpg(); break;
    case RES_P2DE:
    case RES_P2DA: DrawPitchPlots(); break;
    default:
      for (int w = 0; w < kNumPlot3D; ++w)
        if (kPlotRes[w] == res) DrawAccum(res, S().acc3[w], Curves(static_cast<Plot3D>(w)));
  }
}

int LimitPress(int panel, int control, int event) {
  if (event != EVENT_COMMIT) return 0;
  const int res = ResOf(panel);
  const int f = FamilyOf(res);
  if (f < 0) return 0;
  const LimitButton b = control == kMaxUp   ? LimitButton::RaiseMax
                        : control == kMaxDn ? LimitButton::LowerMax
                        : control == kMinUp ? LimitButton::RaiseMin
                                            : LimitButton::LowerMin;
  if (!PressLimit(P().lim[f], b)) return 0;
  ApplyAxis(res);
  if (kFamilies[f].strip) RePlot(res);
  return 0;
}

#define LIMIT_CB(name) \
  CB(name) { return LimitPress(panel, control, event); }
LIMIT_CB(MaxMin)
LIMIT_CB(MaxMinDta)
LIMIT_CB(MaxMinDtd)
LIMIT_CB(MinMax)
LIMIT_CB(MinMax3DEA)
LIMIT_CB(MinMax3DED)
LIMIT_CB(MinMax3DAD)
LIMIT_CB(MinMax3DAE)
LIMIT_CB(MinMax3DDA)
LIMIT_CB(MinMax3DDE)
LIMIT_CB(MinMax2DE)
LIMIT_CB(MinMax2DA)
LIMIT_CB(MnMxDte2)
LIMIT_CB(MnMxDta2)
LIMIT_CB(MnMxMag)
LIMIT_CB(MaxMin2)

// The graph's log switch: that mode's limit pair applies.
int LogSwitch(int panel, int event) {
  if (event != EVENT_COMMIT) return 0;
  const int res = ResOf(panel);
  const int f = FamilyOf(res);
  if (f < 0) return 0;
  int on = 0;
  GetCtrlVal(panel, kLogCtrl, &on);
  P().lim[f].log = on != 0;
  P().lim[f].manual = true;  // the mode's own limit pair applies from now on
  ApplyAxis(res);
  Redraw(res);
  return 0;
}

#define LOG_CB(name) \
  CB(name) { return LogSwitch(panel, event); }
LOG_CB(LOG_LINEAR)
LOG_CB(LOG_LINEAR10)
LOG_CB(LOG_LINEAR12)
LOG_CB(LOG_LINEAR13)
LOG_CB(LOG_LINEAR14)
LOG_CB(LOG_LINEAR15)
LOG_CB(LOG_LINEAR16)
LOG_CB(LOG_LINEAR19)
LOG_CB(LOG_LINEAR20)

// Strip charts: a log and a linear button, the other one switched off.
CB(LogLin) {
  if (event != EVENT_COMMIT) return 0;
  const int res = ResOf(panel);
  const int f = FamilyOf(res);
  if (f < 0) return 0;
  const bool log = control == kLogCtrl;
  SetCtrlVal(panel, kLogCtrl, log ? 1 : 0);
  SetCtrlVal(panel, CHRTE_LIN, log ? 0 : 1);
  P().lim[f].log = log;
  P().lim[f].manual = true;
  ApplyAxis(res);
  RePlot(res);
  return 0;
}

void ChartVisibility() {
  const Selection& s = S().sel;
  TraceVisibility(RES_CHRTE, kNumE, s.e.data());
  TraceVisibility(RES_CHRTA, kNumA, s.a.data());
  TraceVisibility(RES_CHRTD, kNumD, s.d.data());
  TraceVisibility(RES_CHRT2E, kPitchRows, s.row.data());
  TraceVisibility(RES_CHRT2A, kPitchCols, s.col.data());
}

CB(ChooseEnergy) {
  if (event != EVENT_COMMIT) return 0;
  ReadSelections();
  Draw3DPlots();
  ChartVisibility();
  for (int res : {RES_CHRTE, RES_CHRTA, RES_CHRTD}) RePlot(res);
  return 0;
}

CB(Choose) {
  if (event != EVENT_COMMIT) return 0;
  ReadSelections();
  DrawPitchPlots();
  ChartVisibility();
  RePlot(RES_CHRT2E);
  RePlot(RES_CHRT2A);
  return 0;
}

CB(Pick3DEnergy) {
  if (event != EVENT_COMMIT) return 0;
  const int e = control - NUM3D_E0;
  for (int i = 0; i < kNumE; ++i) SetCtrlVal(panel, NUM3D_E0 + i, i == e ? 1 : 0);
  S().pickE = e;
  Disp3DN();
  return 0;
}

CB(Toggle3D) {
  if (event != EVENT_COMMIT) return 0;
  Program& g = P();
  if (control == SEL3D_TOGGLED) {
    g.toggleD = !g.toggleD;  // the first press turns them off (they start on)
    for (int d = 0; d < kNumD; ++d) SetCtrlVal(panel, SEL3D_D0 + d, g.toggleD ? 0 : 1);
  } else {
    g.toggleA = !g.toggleA;
    for (int a = 0; a < kNumA; ++a) SetCtrlVal(panel, SEL3D_A0 + a, g.toggleA ? 0 : 1);
  }
  return ChooseEnergy(panel, control, EVENT_COMMIT, nullptr, 0, 0);
}

CB(MomSelect) {
  if (event == EVENT_COMMIT) MomentVisibility();
  return 0;
}

CB(HkSelect) {
  if (event == EVENT_COMMIT) DispHkpg();
  return 0;
}

CB(PlayRecord) {
  if (event != EVENT_COMMIT) return 0;
  Program& g = P();
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (control == LINK_RECORD) {
    // One file for recording and replay: a recording ends a replay.
    if (g.pbOn) StopPlayback();
    CloseFile();
    g.recOK = false;
    g.recOn = on != 0;
    if (!on) return 0;
    std::string name;
    PromptPopup("Data Recording File Name", "Enter name of file.", &name, 259);
    if (name.empty()) {
      Message("Note!", "No File Name Entered!");
      StopRecording();
      return 0;
    }
    const std::string path = RecordingPath(name);
    g.pbfp = std::fopen(rte::ResolvePath(path).c_str(), "wb");
    if (!g.pbfp) {
      Message("Note!", "Can't create " + path + ": " + std::strerror(errno));
      StopRecording();
      return 0;
    }
    g.recOK = true;
    return 0;
  }
  if (control == LINK_STEP) {
    g.stpOn = on != 0;
    SetCtrlVal(panel, LINK_STEPLED, on);
    return 0;
  }
  // playback
  if (on) {
    g.pbOn = true;
    g.stpOn = Switch(RES_LINK, LINK_STEP) != 0;
    if (!GetFile()) {
      StopPlayback();
      return 0;
    }
    Play();
  } else {
    g.step.next = 0;
    StopPlayback();
  }
  return 0;
}

CB(PlayTimer) {
  if (event == EVENT_TIMER_TICK) PlayTick();
  return 0;
}

CB(NextStep) {
  if (event != EVENT_COMMIT) return 0;
  int spacket = 1;
  GetCtrlVal(panel, LINK_SPACKET, &spacket);
  P().step.spacket = std::clamp(spacket, 1, 100);
  P().step.press();
  return 0;
}

CB(SetPkts) {
  if (event != EVENT_COMMIT) return 0;
  int spacket = 1;
  GetCtrlVal(panel, LINK_SPACKET, &spacket);
  P().step.spacket = std::clamp(spacket, 1, 100);
  return 0;
}

void SaveDisplay(int, int, void*, int) {
  Program& g = P();
  std::vector<int> v;
  int x = 0;
  const int main = R(RES_MAIN);
  for (int attr : {ATTR_TOP, ATTR_LEFT, ATTR_WINDOW_ZOOM}) {
    x = 0;
    GetPanelAttribute(main, attr, &x);
    v.push_back(x);
  }
  for (int i = 1; i < kNumPanels; ++i) {
    const int p = R(kLoadOrder[i]);
    for (int attr : {ATTR_TOP, ATTR_LEFT, ATTR_VISIBLE}) {
      x = 0;
      GetPanelAttribute(p, attr, &x);
      v.push_back(x);
    }
  }
  g.SRD = PackSrd(v);
  if (g.panInit == 0) {
    g.panInit = 1;
    return;
  }
  std::string path;
  if (FileSelectPopup("cfg", "*.srd", "Display Configuration", VAL_SAVE_BUTTON, &path) == VAL_NO_FILE_SELECTED ||
      path.empty())
    return;
  std::FILE* f = std::fopen(rte::ResolvePath(path).c_str(), "wb");
  if (!f || std::fwrite(g.SRD.data(), 1, g.SRD.size(), f) != g.SRD.size()) {
    Message("Display Configuration", "Can't write " + path + ": " + std::strerror(errno));
  }
  if (f) std::fclose(f);
}

void RecallDisplay(int, int, void*, int) {
  std::string path;
  if (FileSelectPopup("cfg", "*.srd", "Display Configuration", VAL_LOAD_BUTTON, &path) == VAL_NO_FILE_SELECTED ||
      path.empty())
    return;
  std::FILE* f = std::fopen(rte::ResolvePath(path).c_str(), "rb");
  if (!f) return;
  std::uint8_t b[kSrdBytes];
  const bool whole = std::fread(b, 1, sizeof b, f) == sizeof b;
  std::fclose(f);
  if (!whole) return;
  const std::vector<int> v = UnpackSrd(b);
  const int main = R(RES_MAIN);
  SetPanelPos(main, v[0], v[1]);
  SetPanelAttribute(main, ATTR_WINDOW_ZOOM, v[2]);
  for (int i = 1; i < kNumPanels; ++i) {
    const int p = R(kLoadOrder[i]);
    const int* q = &v[3 + 3 * (i - 1)];
    SetPanelPos(p, q[0], q[1]);
    if (q[2]) {
      DisplayPanel(p);
      if (kLoadOrder[i] != RES_LINK) PanelShown(kLoadOrder[i]);
    } else {
      HidePanel(p);
    }
  }
}

void RegisterAll() {
  RTE_REGISTER_CALLBACK(Quit);
  RTE_REGISTER_CALLBACK(PanelCB);
  RTE_REGISTER_CALLBACK(ShowPanel);
  RTE_REGISTER_CALLBACK(ShowTime);
  RTE_REGISTER_CALLBACK(Tcp);
  RTE_REGISTER_CALLBACK(Radio);
  RTE_REGISTER_CALLBACK(ApidChange);
  RTE_REGISTER_CALLBACK(Clear);
  RTE_REGISTER_CALLBACK(ClearNum);
  RTE_REGISTER_CALLBACK(GClear);
  RTE_REGISTER_CALLBACK(MaxMin);
  RTE_REGISTER_CALLBACK(MaxMinDta);
  RTE_REGISTER_CALLBACK(MaxMinDtd);
  RTE_REGISTER_CALLBACK(MinMax);
  RTE_REGISTER_CALLBACK(MinMax3DEA);
  RTE_REGISTER_CALLBACK(MinMax3DED);
  RTE_REGISTER_CALLBACK(MinMax3DAD);
  RTE_REGISTER_CALLBACK(MinMax3DAE);
  RTE_REGISTER_CALLBACK(MinMax3DDA);
  RTE_REGISTER_CALLBACK(MinMax3DDE);
  RTE_REGISTER_CALLBACK(MinMax2DE);
  RTE_REGISTER_CALLBACK(MinMax2DA);
  RTE_REGISTER_CALLBACK(MnMxDte2);
  RTE_REGISTER_CALLBACK(MnMxDta2);
  RTE_REGISTER_CALLBACK(MnMxMag);
  RTE_REGISTER_CALLBACK(MaxMin2);
  RTE_REGISTER_CALLBACK(LOG_LINEAR);
  RTE_REGISTER_CALLBACK(LOG_LINEAR10);
  RTE_REGISTER_CALLBACK(LOG_LINEAR12);
  RTE_REGISTER_CALLBACK(LOG_LINEAR13);
  RTE_REGISTER_CALLBACK(LOG_LINEAR14);
  RTE_REGISTER_CALLBACK(LOG_LINEAR15);
  RTE_REGISTER_CALLBACK(LOG_LINEAR16);
  RTE_REGISTER_CALLBACK(LOG_LINEAR19);
  RTE_REGISTER_CALLBACK(LOG_LINEAR20);
  RTE_REGISTER_CALLBACK(LogLin);
  RTE_REGISTER_CALLBACK(ChooseEnergy);
  RTE_REGISTER_CALLBACK(Choose);
  RTE_REGISTER_CALLBACK(Pick3DEnergy);
  RTE_REGISTER_CALLBACK(Toggle3D);
  RTE_REGISTER_CALLBACK(MomSelect);
  RTE_REGISTER_CALLBACK(HkSelect);
  RTE_REGISTER_CALLBACK(PlayRecord);
  RTE_REGISTER_CALLBACK(PlayTimer);
  RTE_REGISTER_CALLBACK(NextStep);
  RTE_REGISTER_CALLBACK(SetPkts);
  RTE_REGISTER_MENU_CALLBACK(SaveDisplay);
  RTE_REGISTER_MENU_CALLBACK(RecallDisplay);
  RTE_REGISTER_MENU_CALLBACK(QuitMenu);
}

}  // namespace

namespace drev::gui {

int Start() {
  static std::unique_ptr<Program> prog;
  if (prog && prog->pbfp) std::fclose(prog->pbfp);
  prog = std::make_unique<Program>();
  g_prog = prog.get();
  for (auto& p : g_pending) p.v.clear();
  rte::ResetModel();
  RegisterAll();
  rte::AddResourceDir(DREV_UI_DIR);
  for (int res : kLoadOrder) {
    const int h = LoadPanel(0, kUir, res);
    if (h < 0) {
      std::fprintf(stderr, "drev: %s\n", rte::LastLoadError().c_str());
      return -1;
    }
    P().panel[res] = h;
  }
  // Strip-chart traces in the family colours.
  for (int res : {RES_CHRTE, RES_CHRTA, RES_CHRTD, RES_CHRT2E, RES_CHRT2A, RES_MAG, RES_MOMCHART}) {
    int n = 0;
    GetCtrlAttribute(R(res), kPlotCtrl, ATTR_NUM_TRACES, &n);
    for (int t = 1; t <= n; ++t) SetTraceAttribute(R(res), kPlotCtrl, t, ATTR_TRACE_COLOR, Colour(t - 1));
  }
  // Limit pairs a first press or a log switch starts from: counts and their sums, housekeeping
  // in engineering units, field angles in degrees.
  for (AxisLimits& l : P().lim) {
    l.max = 1048576;
    l.maxl = 1e7;
  }
  P().lim[3].max = 4096;    // housekeeping
  P().lim[3].maxl = 1e4;
  P().lim[14].max = 512;    // field direction
  P().lim[14].maxl = 1000;
  P().lim[15].max = 4096;   // moments
  MomentVisibility();
  DisplayPanel(R(RES_MAIN));
  DisplayPanel(R(RES_LINK));
  SaveDisplay(0, 0, nullptr, 0);  // the start-up snapshot
  return 0;
}

}  // namespace drev::gui

namespace drev {

int RunDrevGui(int argc, char** argv, const rte::AppOptions& opts) {
  rte::StartApp(argc, argv, opts);
  // SIGTERM/SIGINT close any pop-up and leave the loop; the files are closed below.
  rte::WatchStopSignals();
  if (gui::Start() < 0) return 255;
  const bool cfgRead = gui::ReadCfg();
  if (rte::StopRequested()) {
    gui::Shutdown();
    return 0;
  }
  if (!cfgRead) {
    std::fprintf(stderr, "drev: cannot open %s: %s; no configuration read\n", kCfgPath, std::strerror(ENOENT));
    gui::Shutdown();
    return 1;
  }
  Cls();
  RunUserInterface();
  gui::Shutdown();
  return 0;
}

}  // namespace drev
