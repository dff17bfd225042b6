// Start-up, configuration, the one-second timer and shutdown.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/ids.h"
#include "core/messages.h"
#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace korvex {

namespace {

struct PanelLoad {
  const char* file;
  int res;
  bool topLevel;
  bool lampAfter;  // the end of one of the six splash groups
};

// Load order of the panels after the splash panel and the main window.
std::vector<PanelLoad> PanelTable() {
  std::vector<PanelLoad> t;
  auto add = [&](const char* f, std::initializer_list<int> rs, bool lamp = false) {
    for (int r : rs) t.push_back({f, r, false, false});
    if (lamp) t.back().lampAfter = true;
  };
  add("korvmain.uir", {2});
  add("cmdbox.uir", {7, 8}, true);
  add("korvmain.uir", {12, 15, 18, 29, 44, 3});
  add("cmdbox.uir", {6});
  add("korvmain.uir", {9, 10});
  add("cmdbox.uir", {9}, true);
  add("korvmain.uir", {13, 14, 58});
  add("cmdbox.uir", {1, 3, 2, 10});
  add("help.uir", {1});
  add("scm.uir", {1}, true);
  add("korvmain.uir", {16, 17});
  add("korvmain.uir", {46, 47, 54, 56, 55, 57, 50, 52, 53, 51, 45, 19, 20, 21, 22, 23, 24, 25, 26,
                       27, 28, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43}, true);
  add("sep.uir", {11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 1, 2, 3, 4, 5, 6});
  add("cmdbox.uir", {5});
  add("korvmain.uir", {4, 5});
  add("sep.uir", {7, 8, 9, 10});
  add("korvmain.uir", {6, 7, 8}, true);
  add("cmdbox.uir", {11});
  add("cmdseq.uir", {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                     17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32});
  add("korvmain.uir", {11});
  add("pdighk.uir", {1, 2, 3, 4, 5});
  add("spc.uir", {1, 2, 3});
  add("cmdbox.uir", {4});
  t.push_back({"sep.uir", 21, true, false});
  add("korvmain.uir", {49}, true);
  return t;
}

void Remember(Panels& u, const std::string& file, int res, int h) {
  u.all.push_back(h);
  if (file == "korvmain.uir") {
    switch (res) {
      case ids::kLink: u.link = h; break;
      case ids::kApidDisp1: u.apidDisp1 = h; break;
      case ids::kApidDisp2: u.apidDisp2 = h; break;
      case ids::kRange200: u.range200 = h; break;
      case ids::kRange300: u.range300 = h; break;
      case ids::kSummary: u.summary = h; break;
      case ids::kCmdFile: u.cmdFile = h; break;
      case ids::kStripPanel: u.strip = h; break;
      case ids::kArrPanel: u.arr = h; break;
      case ids::kSepStrip1: u.sepStrip[0] = h; break;
      case ids::kSepStrip2: u.sepStrip[1] = h; break;
      case ids::kSepStrip3: u.sepStrip[2] = h; break;
      case ids::kSepPanel: u.sep = h; break;
      default:
        if (res >= ids::kGroupFirst && res < ids::kGroupFirst + kGroupPanels)
          u.group[res - ids::kGroupFirst + 1] = h;
    }
  } else if (file == "cmdbox.uir") {
    switch (res) {
      case ids::kCmdList: u.cmdList = h; break;
      case ids::kEventPanel: u.eventLog = h; break;
      case ids::kInstrEvents: u.instrEvents = h; break;
      case ids::kShutdown: u.shutdown = h; break;
      case ids::kVariables: u.variables = h; break;
      case ids::kSchedulePanel: u.schedule = h; break;
      case ids::kCmdBox: u.cmdBox = h; break;
      case ids::kComment: u.comment = h; break;
      case ids::kLogView: u.logView = h; break;
      case ids::kCvView: u.cvView = h; break;
      case ids::kCmdVerify: u.cmdVerify = h; break;
      default: break;
    }
  } else if (file == "scm.uir" && res == ids::kScmPanel) {
    u.scm = h;
  } else if (file == "cmdseq.uir" && res >= 1 && res <= 32) {
    u.cmdSeq[static_cast<std::size_t>(res - 1)] = h;
  } else if (file == "sep.uir") {
    if (res == ids::kLocalServer) u.localServer = h;
    if (res == ids::kLocalClients) u.localClients = h;
    if (res == ids::kClientMessages) u.clientMessages = h;
  }
}

void Lamp(int n) {  // splash lamps 1..7
  Program& p = Ctx();
  if (p.ui.splash > 0) SetCtrlVal(p.ui.splash, ids::kSplashLampFirst + n - 1, 1);
}

// Whoever started the station learns which file it could not read and why, besides the
// operator's pop-up.
void ReportUnreadable(const std::string& path) {
  int e = errno;
  std::fprintf(stderr, "korvex: cannot read %s: %s\n", rte::ResolvePath(path).c_str(),
               e ? std::strerror(e) : "unreadable");
}

// A database file: read it, or let the operator pick another one; false = give up.
bool ReadDatabase(const std::string& path, const char* missing, std::vector<std::string>* lines) {
  errno = 0;
  if (ReadTextLines(path, lines)) return true;
  ReportUnreadable(path);
  std::string chosen;
  if (FileSelectPopup("", "*.*", msg::kFileNameTitle, VAL_LOAD_BUTTON, &chosen) > 0 &&
      ReadTextLines(chosen, lines))
    return true;
  MessagePopup(msg::kErrorTitle, missing);
  return false;
}

void Keep(const LoadNotes& n) {
  auto& all = Ctx().core.loadNotes;
  all.insert(all.end(), n.v.begin(), n.v.end());
}

// Configuration, command-button file and databases. False = the program ends.
bool readFile() {
  Program& p = Ctx();
  std::vector<std::string> lines;
  errno = 0;
  if (!ReadTextLines("cfg/korvex.cfg", &lines)) {
    ReportUnreadable("cfg/korvex.cfg");
    MessagePopup(msg::kErrorTitle, msg::kNoConfig);
    return false;
  }
  Config& c = p.core.cfg;
  LoadNotes cfgNotes{"cfg/korvex.cfg", {}};
  c = ParseConfig(lines, &cfgNotes);
  Keep(cfgNotes);
  p.link.serverName = c.serverName;
  p.link.telemServ = c.telemServ;
  p.link.portTlm = p.link.cfgtport = c.portTlm;
  p.link.portCmd = p.link.cfgcport = c.portCmd;
  p.arc.recon = c.recon;

  Lamp(7);
  std::vector<std::string> cmd;
  std::string cmdPath = "cfg/" + c.cmdFile;
  errno = 0;
  if (!ReadTextLines(cmdPath, &cmd)) {
    ReportUnreadable(cmdPath);
    MessagePopup(msg::kNoCmdFileTitle, msg::kNoCmdFile);
    std::string chosen;
    if (FileSelectPopup("cfg", "*.cfg", msg::kFileNameTitle, VAL_LOAD_BUTTON, &chosen) <= 0 ||
        !ReadTextLines(chosen, &cmd))
      return false;
    cmdPath = chosen;
  }
  SetPanelAttribute(p.ui.cmdFile, ATTR_TITLE, CmdFileTitle(cmdPath).c_str());
  auto fields = CmdFileFields(cmd);
  for (int k = 1; k <= kCmdFileFields; ++k)
    SetCtrlVal(p.ui.cmdFile, CmdFileFieldId(k), fields[k - 1].c_str());

  // Command database list and decode table, then the telemetry database files.
  std::vector<std::string> db;
  if (!ReadDatabase("database/VANTIS_ctm.prn", msg::kNoCmdDb, &db))
    return false;
  LoadNotes cmdNotes{"database/VANTIS_ctm.prn", {}};
  ReadCmdDb(db, p.db.cmd, &cmdNotes);
  Keep(cmdNotes);
  for (const std::string& l : p.db.cmd.list)
    InsertListItem(p.ui.cmdList, ids::kCmdListDb, -1, l.c_str(), 0.0);
  if (p.ui.splash > 0) SetCtrlVal(p.ui.splash, 7, 1);
  return LoadDatabases(p);
}

}  // namespace

bool ReadTextLines(const std::string& path, std::vector<std::string>* lines) {
  if (path.empty()) return false;
  std::ifstream in(rte::ResolvePath(path), std::ios::binary);
  if (!in) return false;
  lines->clear();
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines->push_back(l);
  }
  return true;
}

void InstallCore(Program&) {
  RTE_REGISTER_CALLBACK(Quit_a);
  RTE_REGISTER_CALLBACK(HidePanelCb);
  RTE_REGISTER_CALLBACK(Tick);
  RTE_REGISTER_CALLBACK(ResetTime);
  RTE_REGISTER_CALLBACK(Print);
  RTE_REGISTER_CALLBACK(recordOnOff);
}

void InstallStation(Program& p) {
  InstallCore(p);
  InstallLinks(p);
  InstallLocalServer(p);
  InstallTelemetry(p);
  InstallCommanding(p);
}

int StartStation() {
  Program& p = Ctx();
  Cls();
  p.ui.splash = LoadPanel(0, "cmdbox.uir", ids::kSplash);
  if (p.ui.splash < 0) return kPanelFailed;
  SetCtrlVal(p.ui.splash, ids::kSplashVersion, kVersion);
  DisplayPanel(p.ui.splash);

  p.ui.main = LoadPanel(0, "korvmain.uir", ids::kMain);
  if (p.ui.main < 0) return kPanelFailed;
  SetPanelAttribute(p.ui.main, ATTR_TITLE, kVersion);

  int lamp = 0;
  for (const PanelLoad& l : PanelTable()) {
    int h = LoadPanel(l.topLevel ? 0 : p.ui.main, l.file, l.res);
    if (h < 0) return kPanelFailed;
    Remember(p.ui, l.file, l.res, h);
    if (l.lampAfter && lamp < 6) Lamp(++lamp);
  }

  p.core.titleBar = msg::kEventLogTitle;
  if (!readFile()) return kEnded;

  // Archives need "log/"; a working directory without it gets one rather than no archives.
  {
    std::error_code ec;
    std::filesystem::path logDir = rte::ResolvePath("log");
    if (!std::filesystem::is_directory(logDir, ec)) std::filesystem::create_directories(logDir, ec);
  }
  std::time_t now = rte::Now();
  std::tm local = rte::LocalTime(now);
  ArchiveContext ac{p.core.aorb, p.core.sCraft, p.core.dayofyear};
  StartArchive(p.arc, ac, ".log", now, local);
  p.log.Echo = 0;
  LogMessage(p.core.titleBar, kBlack);
  p.log.Echo = 1;
  for (const LoadNote& n : p.core.loadNotes) LogMessage(FormatNote(n), kYellow);
  StartArchive(p.arc, ac, ".arr", now, local);

  for (int i = 0; i < 256; ++i)
    p.core.LogCnvt[i] = i < 32 ? static_cast<std::uint32_t>(i)
                               : static_cast<std::uint32_t>((i & 15) | 16) << ((i >> 4) - 1);

  CoreState& c = p.core;
  c.Ymin = c.tMin = c.t1Min = c.t2Min = -256;
  c.Ymax = c.tMax = c.t1Max = c.t2Max = 256;
  for (int h : {p.ui.strip, p.ui.sepStrip[0], p.ui.sepStrip[1], p.ui.sepStrip[2]})
    SetAxisScalingMode(h, ids::kStrip, VAL_LEFT_YAXIS, VAL_MANUAL, -256, 256);

  Scm_Init();

  DiscardPanel(p.ui.splash);
  p.ui.splash = -1;
  DisplayPanel(p.ui.main);
  DisplayPanel(p.ui.link);
  DisplayPanel(p.ui.cmdList);
  DisplayPanel(p.ui.eventLog);
  CaptureStartLayout();
  GiveFocusToCommandLine();
  return kStarted;
}

void StopStation() {
  Program& p = Ctx();
  if (p.cmdlink.gHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(p.cmdlink.gHandle));
  if (p.link.tHandle >= 0) DisconnectFromTCPServer(static_cast<unsigned>(p.link.tHandle));
  p.cmdlink.gHandle = p.link.tHandle = -1;
}

void CloseArchives() {
  Program& p = Ctx();
  CloseArchive(p.arc.datafile);
  CloseArchive(p.arc.arcfile);
  CloseArchive(p.arc.arrFile);
  CloseArchive(p.arc.svcmdfp);
  p.arc.saveToDisk = 0;
}

namespace {
// One telemetry watchdog second: true when the loss is to be reported (once per outage).
template <typename T>
bool WatchdogSecond(T& dog) {
  if (dog < 60) {
    if (++dog == 60) {
      dog = 61;
      return true;
    }
  }
  return false;
}
}  // namespace

int DoTick() {
  Program& p = Ctx();
  CoreState& c = p.core;
  SetCtrlVal(p.ui.eventLog, ids::kEvDateTime, (DateStr() + "  " + TimeStr()).c_str());

  if (WatchdogSecond(c.watchdog)) LogMessage(msg::kNoTelemetry, kYellow);
  if (WatchdogSecond(c.spcDog)) LogMessage(msg::kNoSpacecraftTelemetry, kYellow);

  if (rte::LocalTime(rte::Now()).tm_yday != c.dayofyear) RotateArchives();

  TickDuties& d = p.duties;
  if (d.arrWait && d.arrWait()) return -1;  // an ARR is awaited: the rest stands still
  if (d.scriptPause) d.scriptPause();
  if (d.alertMail) d.alertMail();
  if (d.sepTimeout) d.sepTimeout();
  if (d.schedule) d.schedule();
  if ((c.tick & 1) && d.plots) d.plots();
  ++c.tick;
  return 0;
}

void GiveFocusToCommandLine() {
  Program& p = Ctx();
  if (p.ui.eventLog < 0) return;
  SetActivePanel(p.ui.eventLog);
  SetActiveCtrl(p.ui.eventLog, ids::kEvCmdLine);
}

}  // namespace korvex

using namespace korvex;

int Tick(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK) return 0;
  return DoTick();
}

int Quit_a(int, int, int event, void*, int, int) {
  if (event != EVENT_CLOSE) return 0;
  Program& p = Ctx();
  if (p.ui.shutdown > 0) DisplayPanel(p.ui.shutdown);
  SetWaitCursor(1);
  StopStation();
  QuitUserInterface(0);
  return 0;
}

int HidePanelCb(int panel, int, int event, void*, int, int) {
  if (event == EVENT_CLOSE) HidePanel(panel);
  return 0;
}

int ResetTime(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Ctx().core.tick = 0;
  GiveFocusToCommandLine();
  return 0;
}

int Print(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  PrintPanel(Ctx().ui.main);
  GiveFocusToCommandLine();
  return 0;
}
