// The station started in-process: start-up, failures of its files, the timer's duties, the
// archives' names and rotation, the intake's checks and the event panels.
#include <nlohmann/json.hpp>

#include "core/tests/station_fixture.h"
#include "links/tests/tlm_records.h"

using namespace korvex;
using namespace korvex::testing;

namespace {
void Feed(const std::vector<std::uint8_t>& rec) { HandleRecord(rec.data()); }
std::string CmdLineText() {
  std::string s;
  GetCtrlVal(Ctx().ui.eventLog, ids::kEvCmdLine, &s);
  return s;
}
std::string RecText() {
  std::string s;
  GetCtrlVal(Ctx().ui.link, ids::kLkRecFile, &s);
  return s;
}
int ListCount() {
  int n = 0;
  GetNumListItems(Ctx().ui.eventLog, ids::kEvList, &n);
  return n;
}
}  // namespace

TEST_F(StationTest, StartUpLoadsPanelsFilesAndTables) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  std::string s;
  GetPanelAttribute(p.ui.main, ATTR_TITLE, &s);
  EXPECT_EQ(s, "KORVEX 01-04-2006");
  EXPECT_EQ(p.ui.splash, -1);  // discarded
  EXPECT_EQ(p.ui.all.size(), 130u);  // every panel but the splash and the main window
  GetPanelAttribute(p.ui.cmdFile, ATTR_TITLE, &s);
  EXPECT_EQ(s, "COMMAND FILE: CMD1.cfg");
  GetCtrlVal(p.ui.cmdFile, 17, &s);
  EXPECT_EQ(s, "rem button one");
  GetCtrlVal(p.ui.cmdFile, 2, &s);
  EXPECT_EQ(s, "");
  GetCtrlAttribute(p.ui.summary, 34, ATTR_LABEL_TEXT, &s);
  EXPECT_EQ(s, "200-20F Processor");
  GetCtrlAttribute(p.ui.group[1], 15, ATTR_LABEL_TEXT, &s);
  EXPECT_EQ(s, "202 Events");
  int n = 0;
  GetNumListItems(p.ui.cmdList, ids::kCmdListDb, &n);
  EXPECT_EQ(n, 35);
  EXPECT_EQ(p.db.cmd.DecodeCommand(0x240), "SEPReset");
  EXPECT_EQ(p.db.err.errCount, 3);
  EXPECT_EQ(p.core.LogCnvt[31], 31u);
  EXPECT_EQ(p.core.LogCnvt[32], 32u);
  EXPECT_EQ(p.core.LogCnvt[0x4F], 31u << 3);
  EXPECT_EQ(p.core.LogCnvt[255], 507904u);
  int mode = -1;
  double lo = 0, hi = 0;
  GetAxisScalingMode(p.ui.sepStrip[2], ids::kStrip, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_EQ(mode, VAL_MANUAL);
  EXPECT_EQ(lo, -256);
  EXPECT_EQ(hi, 256);
  EXPECT_EQ(p.core.tMax, 256);
  // The first line reaches only the file.
  EXPECT_EQ(Logs(".log"), std::vector<std::string>{"2603101230.log"});
  EXPECT_EQ(Logs(".arr"), std::vector<std::string>{"2603101230.arr"});
  EXPECT_EQ(Slurp(dir / "log/2603101230.log"), "03-10-2026 12:30:00 EVENT LOG\n");
  EXPECT_EQ(ListCount(), 0);
  EXPECT_TRUE(out.empty());
}

TEST_F(StationTest, MissingConfigurationEndsTheProgram) {
  fs::remove(dir / "cfg/korvex.cfg");
  EXPECT_EQ(Start(), kEnded);
  ASSERT_FALSE(popups.transcript().empty());
  EXPECT_EQ(popups.transcript().back().title, "ERROR!");
  EXPECT_EQ(popups.transcript().back().text, "Can't find korvex.cfg!");
  EXPECT_TRUE(Logs(".log").empty());
}

TEST_F(StationTest, MissingButtonFileAsksForAnotherOrEnds) {
  fs::rename(dir / "cfg/CMD1.cfg", dir / "cfg/OTHER.cfg");
  popups.queue("cfg/OTHER.cfg");
  ASSERT_EQ(Start(), kStarted);
  auto& t = popups.transcript();
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[0].title, "Can't find CMDx.cfg");
  EXPECT_EQ(t[0].text, "Click OK to select file.");
  EXPECT_EQ(t[1].kind, "file");
  EXPECT_EQ(t[1].title, "File Name");
  std::string s;
  GetPanelAttribute(P().ui.cmdFile, ATTR_TITLE, &s);
  EXPECT_EQ(s, "COMMAND FILE: OTHER.cfg");
}

TEST_F(StationTest, CancelledFileDialogsEndTheProgram) {
  fs::remove(dir / "cfg/CMD1.cfg");
  EXPECT_EQ(Start(), kEnded);
  TearDown();
  SetUp();
  fs::remove(dir / "database/VANTIS_apd.txt");
  EXPECT_EQ(Start(), kEnded);
  EXPECT_EQ(popups.transcript().back().text, "Can't find APID database file!");
}

TEST_F(StationTest, ConfigurationPositionsAndClampedAlarmCount) {
  auto lines = CfgLines();
  std::swap(lines[1], lines[2]);
  lines[15] = "Alim = 200 ; too many";
  lines[12] = "TlmServer = tlm host";
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  EXPECT_EQ(P().link.cfgtport, 5002u);
  EXPECT_EQ(P().link.cfgcport, 5001u);
  EXPECT_EQ(P().core.cfg.alim, 60u);
  EXPECT_EQ(P().link.telemServ, "tlm");
}

// What the readers skipped reaches the operator as yellow event lines naming file and line, in
// the ".log" archive too; a clean set of files gives none.
TEST_F(StationTest, SkippedFileLinesAreLoggedWithFileAndLine) {
  ASSERT_EQ(Start(), kStarted);
  EXPECT_EQ(CountOut("DATABASE/"), 0);
  EXPECT_EQ(CountOut("CFG/KORVEX.CFG:"), 0);
  StopStation();
  NewContext();
  rte::ResetModel();

  auto lines = CfgLines();
  lines[14] = "Wlim = many ; warnings";
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  WriteFile(dir / "database/VANTIS_apd.txt", std::string("APID list\n201\tearly\n") + kApdText);
  Program& p = NewContext();
  p.headless = true;
  p.echoOut = [this](const std::string& l) { out.push_back(l); };
  InstallStation(p);
  ASSERT_EQ(Start(), kStarted);
  EXPECT_EQ(CountOut("CFG/KORVEX.CFG:15: SETTING \"MANY\" IS NOT A NUMBER; 0 IS USED"), 1);
  EXPECT_EQ(CountOut("DATABASE/VANTIS_APD.TXT:2: APID LINE BEFORE THE FIRST GROUP HEADING; SKIPPED"), 1);
  std::string log = Slurp(fs::path("log") / BaseName(P().arc.logfn));
  EXPECT_NE(log.find("DATABASE/VANTIS_APD.TXT:2:"), std::string::npos) << log;
  // The lines after it still load.
  EXPECT_NE(P().link.apdIndex.find(0x200), nullptr);
}

TEST_F(StationTest, WatchdogsReportOnceAndResume) {
  ASSERT_EQ(Start(), kStarted);
  for (int i = 0; i < 59; ++i) DoTick();
  EXPECT_EQ(CountOut("TELEMETRY FOR 60 SECS!"), 0);
  DoTick();
  EXPECT_EQ(CountOut("NO TELEMETRY FOR 60 SECS!"), 1);
  EXPECT_EQ(CountOut("NO SPACECRAFT TELEMETRY FOR 60 SECS!"), 1);
  for (int i = 0; i < 100; ++i) DoTick();
  EXPECT_EQ(CountOut("NO TELEMETRY FOR 60 SECS!"), 1);
  EXPECT_EQ(CountOut("NO SPACECRAFT TELEMETRY FOR 60 SECS!"), 1);
  EXPECT_EQ(P().core.tick, 160u);
  std::string colour;
  GetLabelFromIndex(P().ui.eventLog, ids::kEvList, 0, &colour);
  EXPECT_EQ(EntryColour(colour, nullptr), 0xFFFF00);

  Feed(TlmRecord(0x00B, kSpacecraftA));  // spacecraft packets do not resume the instrument
  Feed(TlmRecord(0x01E, kSpacecraftA));
  EXPECT_EQ(CountOut(":00 TELEMETRY RESUMED!"), 0);
  EXPECT_EQ(CountOut(":00 SPACECRAFT TELEMETRY RESUMED!"), 1);  // once, for the first of them
  EXPECT_EQ(P().core.spcDog, 0);
  Feed(TlmRecord(0x200, kSpacecraftA));
  Feed(TlmRecord(0x200, kSpacecraftA));
  EXPECT_EQ(CountOut(":00 TELEMETRY RESUMED!"), 1);
  EXPECT_EQ(P().core.watchdog, 0u);
  // A second outage is reported again.
  for (int i = 0; i < 60; ++i) DoTick();
  EXPECT_EQ(CountOut("NO TELEMETRY FOR 60 SECS!"), 2);
  EXPECT_EQ(CountOut("NO SPACECRAFT TELEMETRY FOR 60 SECS!"), 2);
  // Every log line also went to the file.
  EXPECT_EQ(CountIn(dir / "log" / BaseName(P().arc.logfn), "NO TELEMETRY FOR 60 SECS!"), 2);
}

TEST_F(StationTest, RecordingStartsWithTheIdentifyingRecordAndRotatesAtMidnight) {
  rte::SetClock(LocalAt(2026, 3, 10, 23, 59, 30));
  ASSERT_EQ(Start(), kStarted);
  RunCommandLine("REC ON");
  EXPECT_EQ(RecText(), "Wait for telemetry");
  EXPECT_TRUE(Logs(".tlm").empty());

  auto r1 = TlmRecord(0x200, kSpacecraftA, 1);
  Feed(r1);
  EXPECT_EQ(RecText(), "A2603102359.tlm");
  EXPECT_EQ(Logs(".log"), std::vector<std::string>{"A2603102359.log"});
  EXPECT_EQ(Logs(".arr"), std::vector<std::string>{"A2603102359.arr"});
  EXPECT_EQ(P().arc.recon, 2);
  EXPECT_EQ(CountOut("REC ON"), 2);  // the typed line and the station's own

  rte::AdvanceClock(30);
  DoTick();
  auto r2 = TlmRecord(0x201, kSpacecraftA, 2);
  Feed(r2);
  EXPECT_EQ(Logs(".tlm"), (std::vector<std::string>{"A2603102359.tlm", "A2603110000.tlm"}));
  EXPECT_EQ(Logs(".log"), (std::vector<std::string>{"A2603102359.log", "A2603110000.log"}));
  EXPECT_EQ(Logs(".arr"), std::vector<std::string>{"A2603102359.arr"});
  EXPECT_EQ(RecText(), "A2603110000.tlm");
  EXPECT_EQ(Slurp(dir / "log/A2603102359.tlm"), std::string(r1.begin(), r1.end()));
  EXPECT_EQ(Slurp(dir / "log/A2603110000.tlm"), std::string(r2.begin(), r2.end()));
  // Later lines go to the new day's log.
  RunCommandLine("rem after midnight");
  EXPECT_EQ(CountIn(dir / "log/A2603110000.log", "REM AFTER MIDNIGHT"), 1);
  EXPECT_EQ(CountIn(dir / "log/A2603102359.log", "REM AFTER MIDNIGHT"), 0);

  RunCommandLine("rec off");
  EXPECT_EQ(RecText(), "Not Recording");
  Feed(r2);
  EXPECT_EQ(fs::file_size(dir / "log/A2603110000.tlm"), kRecordSize);
}

TEST_F(StationTest, OtherSpacecraftOpensNewArchivesUnderItsLetter) {
  ASSERT_EQ(Start(), kStarted);
  RunCommandLine("rec on");
  Feed(TlmRecord(0x210, 0x00));  // no spacecraft named: nothing changes
  EXPECT_EQ(P().core.aorb, 0);
  EXPECT_EQ(Logs(".log"), std::vector<std::string>{"2603101230.log"});
  Feed(TlmRecord(0x210, kSpacecraftA));
  EXPECT_EQ(Logs(".log"), std::vector<std::string>{"A2603101230.log"});
  rte::AdvanceClock(60);
  Feed(TlmRecord(0x210, kSpacecraftB));
  std::string title;
  GetPanelAttribute(P().ui.eventLog, ATTR_TITLE, &title);
  EXPECT_EQ(title, "Event Log VANTIS_B");
  EXPECT_EQ(P().core.sCraft, "B");
  EXPECT_EQ(Logs(".log"), (std::vector<std::string>{"A2603101230.log", "B2603101231.log"}));
  EXPECT_EQ(Logs(".arr"), (std::vector<std::string>{"A2603101230.arr", "B2603101231.arr"}));
  EXPECT_EQ(Logs(".tlm"), (std::vector<std::string>{"A2603101230.tlm", "B2603101231.tlm"}));
  EXPECT_EQ(fs::file_size(dir / "log/A2603101230.tlm"), kRecordSize);
  EXPECT_EQ(fs::file_size(dir / "log/B2603101231.tlm"), kRecordSize);
  EXPECT_EQ(RecText(), "B2603101231.tlm");
}

TEST_F(StationTest, IllegalApidsAndChecksumsAreLoggedCountedAndKept) {
  ASSERT_EQ(Start(), kStarted);
  Feed(TlmRecord(0x1A3, kSpacecraftA));
  Feed(TlmRecord(0x210, kSpacecraftA, 0, true));
  Feed(TlmRecord(0x07F, kSpacecraftA, 0, true));  // below 0x080: no checksum
  EXPECT_EQ(CountOut("ERROR! APID 1A3 IS ILLEGAL!"), 1);
  EXPECT_EQ(CountOut("BAD CHECKSUM APID 210"), 1);
  EXPECT_EQ(CountOut("BAD CHECKSUM"), 1);
  Program& p = P();
  EXPECT_EQ(p.link.counters.illegal, 1u);
  EXPECT_EQ(p.link.counters.summary[kSumSpacecraft], 2u);  // 0x1A3 went on as APID 0, and 0x07F
  EXPECT_EQ(p.link.counters.chksum[0x210], 1u);
  int v = 0;
  GetCtrlVal(p.ui.range300, ids::kRgIllegal, &v);
  EXPECT_EQ(v, 1);
  GetCtrlAttribute(p.ui.range200, ids::kRgIllegal, ATTR_TEXT_BGCOLOR, &v);
  EXPECT_EQ(v, 0xFF0000);
  GetCtrlVal(p.ui.link, ids::kLkChksum, &v);
  EXPECT_EQ(v, 1);
  GetCtrlVal(p.ui.range200, ids::kRgFirst + 0x10, &v);
  EXPECT_EQ(v, 1);

  rte::SendEvent(p.ui.range200, ids::kRgClear, EVENT_COMMIT);
  GetCtrlAttribute(p.ui.range200, ids::kRgIllegal, ATTR_TEXT_BGCOLOR, &v);
  EXPECT_EQ(v, 0xD8D0C8);
  GetCtrlVal(p.ui.range200, ids::kRgFirst + 0x10, &v);
  EXPECT_EQ(v, 0);
}

TEST_F(StationTest, WarningLimit255NeverLogsPacketWarnings) {
  WriteFile(dir / "cfg/korvex.cfg", Join(CfgLines(5001, 255)));
  ASSERT_EQ(Start(), kStarted);
  Feed(TlmRecord(0x1A3, kSpacecraftA));
  Feed(TlmRecord(0x210, kSpacecraftA, 0, true));
  EXPECT_EQ(CountOut("ILLEGAL"), 0);
  EXPECT_EQ(CountOut("CHECKSUM"), 0);
  EXPECT_EQ(P().link.counters.illegal, 1u);
  EXPECT_EQ(P().link.counters.chksum[kChksumTotal], 1u);
}

TEST_F(StationTest, ApidFilterLimitsDisplayRecordingAndChecksumCounts) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  RunCommandLine("rec on");
  Feed(TlmRecord(0x200, kSpacecraftA));
  rte::UserSetValue(p.ui.link, ids::kLkFilter, 0x202);
  rte::SendEvent(p.ui.link, ids::kLkDisplay, EVENT_COMMIT);
  Feed(TlmRecord(0x210, kSpacecraftA, 1, true));
  auto ev = TlmRecord(0x202, kSpacecraftA, 2);
  Feed(ev);
  EXPECT_EQ(p.link.counters.chksum[0x210], 0u);
  EXPECT_EQ(fs::file_size(dir / "log" / BaseName(p.arc.datafile.name)), 2 * kRecordSize);
  std::string hex;
  GetCtrlVal(p.ui.link, ids::kLkHex, &hex);
  EXPECT_EQ(hex.substr(0, 3), "22 ");  // header as received
  // Packet in station order: APID low byte first.
  EXPECT_EQ(hex.substr(26 * 3, 6), "02 0A ");
  EXPECT_EQ(hex.size(), 298u * 3);
}

TEST_F(StationTest, EventPacketsFillTheInstrumentEventPanel) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  // Station order with the station swapping (cfgtswap 1): build in transmission order.
  auto rec = TlmRecord(0x202, kSpacecraftA);
  std::uint8_t* pkt = rec.data() + kHeaderSize;
  std::memset(pkt + kEventFirst, 0, 8 * kEventEntries);
  // The instrument lays its packet out in 16-bit words read low byte first (the station's
  // order): its overrun byte 270 travels as byte 271 and its last byte, the checksum, as 270.
  pkt[271] = 0;
  auto entry = [&](int k, std::uint8_t type, std::uint8_t b2) {
    // Swapped pairs in the station: write bytes so that after exchange type sits at offset 0.
    std::uint8_t* e = pkt + kEventFirst + 8 * k;
    std::uint8_t st[8] = {type, 0x01, b2, 0x03, 0x00, 0x00, 0x00, 0x10};
    for (int i = 0; i < 8; i += 2) {
      e[i] = st[i + 1];
      e[i + 1] = st[i];
    }
  };
  auto fix = [&] {
    pkt[270] = 0;
    pkt[270] = static_cast<std::uint8_t>(-PacketSum(pkt));
  };
  for (int k = 0; k < kEventEntries; ++k) entry(k, 1, 17);
  fix();
  Feed(rec);
  int n = 0;
  GetNumTextBoxLines(p.ui.instrEvents, ids::kIeBox, &n);
  EXPECT_EQ(n, 26);
  std::string line;
  GetTextBoxLine(p.ui.instrEvents, ids::kIeBox, 0, &line);
  EXPECT_NE(line.find("ERR 01 11 03 0x11 17 HEATER Heater stuck"), std::string::npos) << line;

  entry(0, 0, 0);
  fix();
  Feed(rec);
  GetNumTextBoxLines(p.ui.instrEvents, ids::kIeBox, &n);
  EXPECT_EQ(n, 26);

  pkt[271] = 1;  // overrun
  fix();
  Feed(rec);
  GetNumTextBoxLines(p.ui.instrEvents, ids::kIeBox, &n);
  ASSERT_EQ(n, 27);
  GetTextBoxLine(p.ui.instrEvents, ids::kIeBox, 26, &line);
  EXPECT_EQ(line, "Event Packet Overrun");

  // The box keeps at most 306 lines and drops 50 at a time.
  pkt[271] = 0;
  entry(0, 3, 1);
  fix();
  for (int i = 0; i < 12; ++i) Feed(rec);
  GetNumTextBoxLines(p.ui.instrEvents, ids::kIeBox, &n);
  EXPECT_LE(n, 306 + 27);
  EXPECT_GT(n, 200);
}

TEST_F(StationTest, CommandLineKeysHistoryAndRefusals) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  int ev = p.ui.eventLog;
  RunCommandLine("hello there");
  EXPECT_EQ(CountOut("HELLO THERE IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(CmdLineText(), "COMMAND NOT SENT!");
  RunCommandLine("/IDPUNoop \"odd");
  EXPECT_EQ(CountOut("IS NOT RECOGNIZED!"), 2);

  p.cmdlink.flagArr = 1;
  EXPECT_EQ(RunCommandLine("echo off"), -1);
  EXPECT_EQ(CmdLineText(), "WAITING FOR ARR; COMMAND NOT SENT!");
  EXPECT_EQ(p.log.Echo, 1);
  p.cmdlink.flagArr = 0;

  rte::SendEvent(ev, ids::kEvCmdLine, EVENT_KEYPRESS, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(CmdLineText(), "echo off");  // kept in the history though refused
  rte::SendEvent(ev, ids::kEvCmdLine, EVENT_KEYPRESS, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(CmdLineText(), "/IDPUNoop \"odd");
  rte::SendEvent(ev, ids::kEvCmdLine, EVENT_KEYPRESS, VAL_ESC_VKEY);
  EXPECT_EQ(CmdLineText(), "");
  rte::SendEvent(ev, ids::kEvCmdLine, EVENT_KEYPRESS, VAL_F12_VKEY);
  rte::SendEvent(ev, ids::kEvCmdLine, EVENT_KEYPRESS, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(CmdLineText(), "");

  RunCommandLine("REM a remark");
  std::string entry;
  GetLabelFromIndex(ev, ids::kEvList, ListCount() - 1, &entry);
  EXPECT_EQ(EntryColour(entry, nullptr), 0x007A00);

  int before = ListCount();
  RunCommandLine("echo off");
  EXPECT_EQ(p.log.Echo, 0);
  EXPECT_EQ(ListCount(), before + 1);  // only the "ECHO OFF" line
  GetLabelFromIndex(ev, ids::kEvList, ListCount() - 1, &entry);
  EXPECT_EQ(entry, "03-10-2026 12:30:00 ECHO OFF");
  RunCommandLine("rem quiet");
  EXPECT_EQ(ListCount(), before + 1);
  std::string logFile = "log/" + BaseName(p.arc.logfn);
  EXPECT_EQ(CountIn(logFile, "REM QUIET"), 1);
  RunCommandLine("echo on");
  RunCommandLine("log off");
  EXPECT_EQ(CountIn(logFile, "03-10-2026 12:30:00 log off\n"), 1);
  RunCommandLine("rem unlogged");
  EXPECT_EQ(CountIn(logFile, "REM UNLOGGED"), 0);
  EXPECT_EQ(CountOut("REM UNLOGGED"), 1);
  RunCommandLine("log on");
  RunCommandLine("rem logged");
  EXPECT_EQ(CountIn(logFile, "REM LOGGED"), 1);
}

TEST_F(StationTest, SetTsrvAndFailedMocConnection) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  RunCommandLine("set tsrv 127.0.0.1 1");
  EXPECT_EQ(p.link.telemServ, "127.0.0.1");
  EXPECT_EQ(p.link.cfgtport, 1u);
  EXPECT_EQ(CountOut("SET TSRV 127.0.0.1 1"), 1);
  RunCommandLine("set moc");  // nothing listens on port 1
  EXPECT_EQ(popups.transcript().back().title, "TCP Client");
  EXPECT_EQ(popups.transcript().back().text, "Telemetry port connection failed !");
  EXPECT_EQ(CountOut("TELEMETRY PORT CONNECTION FAILED: 127.0.0.1:1: "), 1);
  EXPECT_EQ(CountOut("SET MOC IS NOT RECOGNIZED!"), 1);
  int sw = 1;
  GetCtrlVal(p.ui.link, ids::kLkTlmSwitch, &sw);
  EXPECT_EQ(sw, 0);
  RunCommandLine("set foo");
  EXPECT_EQ(CountOut("SET FOO IS NOT RECOGNIZED!"), 1);
}

// Every resource file loads whole: every panel, every callback name bound.
TEST_F(StationTest, EveryResourceFileLoads) {
  int panels = 0;
  for (const char* f : {"korvmain.uir", "cmdbox.uir", "help.uir", "scm.uir", "sep.uir",
                        "cmdseq.uir", "pdighk.uir", "spc.uir"}) {
    std::ifstream in(fs::path(KORVEX_UI_DIR) / f);
    ASSERT_TRUE(in) << f;
    nlohmann::json doc = nlohmann::json::parse(in);
    for (auto& pj : doc["panels"]) {
      int res = pj["resource"].get<int>();
      int h = LoadPanel(0, f, res);
      EXPECT_GT(h, 0) << f << " " << res << ": " << rte::LastLoadError();
      ++panels;
      for (auto& cj : pj["controls"]) {
        if (cj.contains("callback")) {
          EXPECT_NE(rte::FindCallback(cj["callback"].get<std::string>()), nullptr);
        }
      }
    }
  }
  EXPECT_EQ(panels, 132);
}

TEST_F(StationTest, ApidDisplayPanelsAndClearButtons) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  int d1 = p.ui.apidDisp1;
  rte::UserSetValue(d1, ids::kAdSelect, 0x210);
  rte::UserSetValue(d1, ids::kAdLength, 4.0);
  rte::UserSetValue(d1, ids::kAdStart, 26.0);
  Feed(TlmRecord(0x210, kSpacecraftA, 0, true));
  Feed(TlmRecord(0x210, kSpacecraftA, 1));
  Feed(TlmRecord(0x200, kSpacecraftA, 2));
  int v = 0;
  GetCtrlVal(d1, ids::kAdCount, &v);
  EXPECT_EQ(v, 2);
  GetCtrlVal(d1, ids::kAdChksum, &v);
  EXPECT_EQ(v, 1);
  std::string hex;
  GetCtrlVal(d1, ids::kAdHex, &hex);
  EXPECT_EQ(hex, "10 0A 01 C0 ");  // station order of the last 0x210 packet
  rte::UserSetValue(d1, ids::kAdSwap, 1.0);
  GetCtrlVal(d1, ids::kAdHex, &hex);
  EXPECT_EQ(hex, "0A 10 C0 01 ");  // the same packet back in transmission order for the eye
  rte::UserSetValue(d1, ids::kAdStart, 296.0);  // past the end: the dump starts over at 0
  GetCtrlVal(d1, ids::kAdStart, &v);
  EXPECT_EQ(v, 0);

  rte::SendEvent(d1, ids::kAdClear, EVENT_COMMIT);
  GetCtrlVal(d1, ids::kAdCount, &v);
  EXPECT_EQ(v, 0);
  GetCtrlVal(d1, ids::kAdHex, &hex);
  EXPECT_EQ(hex, "");
  EXPECT_EQ(p.link.counters.chksum[0x210], 0u);
  EXPECT_EQ(p.link.counters.chksum[kChksumTotal], 1u);

  EXPECT_EQ(p.link.counters.summary[34], 1u);  // 0x200 is listed under heading 1
  rte::SendEvent(p.ui.summary, ids::kSumClear, EVENT_COMMIT);
  EXPECT_EQ(p.link.counters.summary[34], 0u);
  EXPECT_EQ(p.link.counters.group[1][16], 0u);
  GetCtrlVal(p.ui.group[1], 16, &v);
  EXPECT_EQ(v, 0);

  rte::SendEvent(p.ui.link, ids::kLkClear, EVENT_COMMIT);
  EXPECT_EQ(p.link.counters.chksum[kChksumTotal], 0u);
  rte::SendEvent(p.ui.link, ids::kLkAllApids, EVENT_COMMIT);
  GetCtrlVal(p.ui.link, ids::kLkFilter, &v);
  EXPECT_EQ(v, 0xFFF);
}

TEST_F(StationTest, RecordingOnIdentificationFromTheConfiguration) {
  auto lines = CfgLines();
  lines[25] = "Recon = 1";
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  EXPECT_TRUE(Logs(".tlm").empty());
  auto rec = TlmRecord(0x200, kSpacecraftB);
  Feed(rec);
  EXPECT_EQ(Logs(".tlm"), std::vector<std::string>{"B2603101230.tlm"});
  EXPECT_EQ(Slurp(dir / "log/B2603101230.tlm"), std::string(rec.begin(), rec.end()));
  EXPECT_EQ(P().arc.recon, 2);
  EXPECT_EQ(P().arc.saveToDisk, 1);
}

TEST_F(StationTest, EventListStaysBoundedAndScrolledToTheEnd) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  p.eventListMax = 20;
  for (int i = 0; i < 45; ++i) LogMessage("line " + std::to_string(i), kBlack);
  int n = ListCount();
  EXPECT_LE(n, 20);
  EXPECT_GT(n, 10);
  std::string last;
  GetLabelFromIndex(p.ui.eventLog, ids::kEvList, n - 1, &last);
  EXPECT_EQ(last, std::string(kBlack) + "03-10-2026 12:30:00 LINE 44");
  int first = -1;
  GetCtrlAttribute(p.ui.eventLog, ids::kEvList, ATTR_FIRST_VISIBLE_LINE, &first);
  EXPECT_EQ(first, n - 1);
  // The archive keeps every line.
  EXPECT_EQ(CountIn("log/" + BaseName(p.arc.logfn), " LINE "), 45);
}

// Switching the telemetry off forgets the spacecraft, not the letter the archives carry: the same
// spacecraft again keeps its files, the other one gets new ones, and no record of one spacecraft
// lands in a file named after the other.
TEST_F(StationTest, SpacecraftNamedAgainAfterTheSwitchWasTurnedOff) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  RunCommandLine("rec on");
  auto switchOff = [&] {
    p.link.tHandle = 4242;  // an open link as far as the switch knows (the engine has no such one)
    rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 0.0);
    EXPECT_EQ(p.link.tHandle, -1);
    EXPECT_EQ(p.core.aorb, 0);
  };
  Feed(TlmRecord(0x200, kSpacecraftA, 1));
  switchOff();
  Feed(TlmRecord(0x200, kSpacecraftA, 2));
  EXPECT_EQ(Logs(".log"), std::vector<std::string>{"A2603101230.log"});
  EXPECT_EQ(Logs(".arr"), std::vector<std::string>{"A2603101230.arr"});
  EXPECT_EQ(Logs(".tlm"), std::vector<std::string>{"A2603101230.tlm"});
  EXPECT_EQ(P().core.aorb, 1);

  switchOff();
  rte::AdvanceClock(60);
  auto b = TlmRecord(0x200, kSpacecraftB, 3);
  Feed(b);
  EXPECT_EQ(Logs(".log"), (std::vector<std::string>{"A2603101230.log", "B2603101231.log"}));
  EXPECT_EQ(Logs(".tlm"), (std::vector<std::string>{"A2603101230.tlm", "B2603101231.tlm"}));
  EXPECT_EQ(fs::file_size(dir / "log/A2603101230.tlm"), 2 * kRecordSize);
  EXPECT_EQ(Slurp(dir / "log/B2603101231.tlm"), std::string(b.begin(), b.end()));
  EXPECT_EQ(RecText(), "B2603101231.tlm");
}

// "rec off" withdraws a request that waits for the spacecraft; a bare "set tsrv" is taken as
// typed (no server, port 0) and the next "set moc" fails visibly.
TEST_F(StationTest, RecordingRequestWithdrawnAndBareTsrv) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  RunCommandLine("REC ON");
  EXPECT_EQ(p.arc.recon, 1);
  RunCommandLine("rec off");
  EXPECT_EQ(p.arc.recon, 0);
  EXPECT_EQ(RecText(), "Not Recording");
  Feed(TlmRecord(0x200, kSpacecraftA));
  EXPECT_TRUE(Logs(".tlm").empty());
  EXPECT_EQ(CountOut("REC ON"), 1);  // nobody typed it again

  RunCommandLine("set tsrv");
  EXPECT_EQ(CountOut("12:30:00 SET TSRV"), 1);
  EXPECT_EQ(p.link.telemServ, "");
  EXPECT_EQ(p.link.cfgtport, 0u);
  RunCommandLine("set moc hello");
  EXPECT_EQ(popups.transcript().back().text, "Telemetry port connection failed !");
  EXPECT_EQ(CountOut("SET MOC HELLO IS NOT RECOGNIZED!"), 1);
}
