// The telemetry module in a station started in-process: database loading with its failures and
// notes, and records through the real record path to the labelled controls and the event log.
#include <array>

#include "core/tests/station_fixture.h"
#include "links/tests/tlm_records.h"
#include "telemetry/telemetry.h"
#include "telemetry/tests/hk_records.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

std::string ShownText(const std::string& name) {
  auto& by = Ctx().db.byName;
  auto it = by.find(name);
  if (it == by.end() || it->second.empty()) return "<no control>";
  std::string s;
  GetCtrlVal(it->second[0].panel, it->second[0].ctrl, &s);
  return s;
}

int Colour(const std::string& name) {
  auto& c = Ctx().db.byName.at(name)[0];
  int v = -1;
  GetCtrlAttribute(c.panel, c.ctrl, ATTR_TEXT_BGCOLOR, &v);
  return v;
}

}  // namespace

TEST_F(StationTest, TelemetryPanelsAreLabelledAtStartUp) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  for (const HkPanelDef& def : HkPanels())
    for (const char* n : def.names) EXPECT_TRUE(p.db.byName.count(n)) << def.title << ": " << n;
  std::string s;
  GetCtrlAttribute(p.db.spcPanels[0], 18, ATTR_LABEL_TEXT, &s);
  EXPECT_EQ(s, "SC_PDU_MAIN");
  GetCtrlAttribute(p.db.spcPanels[2], 2, ATTR_LABEL_TEXT, &s);
  EXPECT_EQ(s, p.db.tdb.spcLabels[2].back());
  GetCtrlAttribute(p.db.tablePanels[0], 11, ATTR_LABEL_TEXT, &s);
  EXPECT_EQ(s, "SysTlmMode");
  GetCtrlAttribute(p.db.maskPanel, 2, ATTR_LABEL_TEXT, &s);  // bit 31 first
  EXPECT_EQ(s, "SeqSpare31");
  EXPECT_EQ(p.db.tdb.tlmdb.count(), 146);
  EXPECT_TRUE(out.empty());  // the sample files load without a note
}

TEST_F(StationTest, HousekeepingRecordsShowTheirValues) {
  ASSERT_EQ(Start(), kStarted);
  Frame f = Nominal();
  Put16(f, 104, 3000);  // ISTEU12V 12 V
  f[12] = 0x5B;
  f[13] = 0xC1;
  f[231] = 100;         // PTAC0_TSP
  HandleRecord(Record(0x200, f).data());
  EXPECT_EQ(ShownText("ISTEU12V"), "12.00 V");
  EXPECT_EQ(ShownText("ISampleTime"), "12:05:27");
  EXPECT_EQ(ShownText("ICmdSeqRunning"), "No Command Sequence Running");
  EXPECT_EQ(ShownText("PTAC0_TSP"), "10.00 C");
  EXPECT_DOUBLE_EQ(GetValue("ISTEU12V"), 12);
  EXPECT_DOUBLE_EQ(GetValue("NoSuchItem"), 999999.999999);
  EXPECT_EQ(Colour("ISTEU12V"), 0xFFFFFF);
  EXPECT_TRUE(out.empty()) << out.front();
  // Spacecraft B takes the second coefficient pair of the companion temperatures.
  std::vector<std::uint8_t> rb = Record(0x200, f);
  rb[6] = kSpacecraftB;
  HandleRecord(rb.data());
  EXPECT_EQ(ShownText("PTAC0_TSP"), "9.80 C");
}

TEST_F(StationTest, OutOfLimitValuesAlarmOnceAfterTheirPersistence) {
  auto lines = CfgLines();
  lines[15] = "Alim = 2";
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  Frame f = Nominal();
  Put16(f, 104, 2000);  // 8 V, below the red low limit 11
  for (int i = 0; i < 2; ++i) HandleRecord(Record(0x200, f).data());
  EXPECT_EQ(CountOut("ISTEU12V = 8.00 RL = 11.00"), 0);
  EXPECT_NE(Colour("ISTEU12V"), 0xFF0000);
  for (int i = 0; i < 3; ++i) HandleRecord(Record(0x200, f).data());
  EXPECT_EQ(CountOut("ISTEU12V = 8.00 RL = 11.00"), 1);
  EXPECT_EQ(Colour("ISTEU12V"), 0xFF0000);
  Put16(f, 104, 3000);
  HandleRecord(Record(0x200, f).data());
  EXPECT_EQ(Colour("ISTEU12V"), 0xFFFFFF);
}

TEST_F(StationTest, NothingIsJudgedDuringTheWarmUp) {
  WriteFile(dir / "cfg/korvex.cfg", Join(CfgLines(5001, 3)));
  ASSERT_EQ(Start(), kStarted);
  Frame f = Nominal();
  Put16(f, 104, 2000);
  f[33] = 0x00;  // every interface inactive
  for (int i = 0; i < 20; ++i) HandleRecord(Record(0x200, f).data());
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(ShownText("ISTEU12V"), "8.00 V");
  P().core.warn = 3;  // the warm-up is over
  for (int i = 0; i < 12; ++i) HandleRecord(Record(0x200, f).data());
  EXPECT_EQ(CountOut("MAG INSTRUMENT INTERFACE  0"), 1);
  EXPECT_EQ(CountOut("ISTEU12V"), 0);  // the STE-U interface is off: not checked
  EXPECT_EQ(Colour("ISTEU12V"), 0x0080FF);
}

TEST_F(StationTest, TableDumpsAndSpacecraftPanels) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  Frame t{};
  t[10] = 1;  // table id (byte 11 as transmitted)
  for (int i = 0; i < 16; ++i) t[static_cast<std::size_t>(15 + i)] = static_cast<std::uint8_t>(i + 1);
  HandleRecord(Record(0x201, t).data());
  int v = -1;
  GetCtrlVal(p.db.tablePanels[0], 11, &v);
  EXPECT_EQ(v, 1);
  GetCtrlVal(p.db.tablePanels[0], 9, &v);
  EXPECT_EQ(v, 0x0403);

  Frame s{};
  s[12] = 0x6D;
  s[13] = 0x60;  // 28 V
  HandleRecord(Record(0x00B, s).data());
  std::string text;
  GetCtrlVal(p.db.spcPanels[0], 18, &text);
  EXPECT_EQ(text, "28 V");
  s[12] = 0x5D;
  s[13] = 0xC0;  // 24 V: red low, alarmed after alim (10) more packets
  for (int i = 0; i < 12; ++i) HandleRecord(Record(0x00B, s).data());
  EXPECT_EQ(CountOut("SC_PDU_MAIN_00B = 24 V; RL =24.0"), 1);
  int bg = 0;
  GetCtrlAttribute(p.db.spcPanels[0], 18, ATTR_TEXT_BGCOLOR, &bg);
  EXPECT_EQ(bg, 0xFF0000);
}

TEST_F(StationTest, CommandVerificationEmptiesTheListAndWarns) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  int cv = p.db.cvPanel;
  ASSERT_GT(cv, 0);
  Frame f = Nominal();
  Put16(f, 24, 100);
  HandleRecord(Record(0x200, f).data());  // the first count is the reference
  // Command ID 5: the packets of APID 0x205 (the entry's label is the packet as sent).
  InsertListItem(cv, 2, -1, "12 05 C0 07", 7.0);
  InsertListItem(cv, 2, -1, "12 05 C0 08", 8.0);
  Put16(f, 24, 102);
  f[26] = 0x05;
  f[27] = 8;
  HandleRecord(Record(0x200, f).data());
  int n = -1;
  GetNumListItems(cv, 2, &n);
  EXPECT_EQ(n, 0);
  GetCtrlVal(cv, 7, &n);
  EXPECT_EQ(n, 2);
  EXPECT_TRUE(out.empty());
  Put16(f, 24, 105);  // three more with nothing sent
  HandleRecord(Record(0x200, f).data());
  EXPECT_EQ(CountOut("WARNING:  3 UNEXPECTED COMMANDS:"), 1);
}

TEST_F(StationTest, TelemetryDatabaseFailuresEndTheStation) {
  struct Case {
    const char* file;
    const char* text;
  } cases[] = {{"VANTIS_tlm.txt", "Can't find telemetry database file!"},
               {"VANTIS_err.txt", "Can't find error database file!"},
               {"VANTIS_seq.txt", "Can't find command sequence database file!"},
               {"VANTIS_tbl.txt", "Can't find table definitions database file!"},
               {"sep_hkg.txt", "Can't find sep housekeeping database file!"},
               {"BRIMLET_dhk.txt", "Can't find brimlet housekeeping database file!"},
               {"basis.txt", "Can't find spacecraft database file!"}};
  bool first = true;
  for (const Case& c : cases) {
    if (!first) {
      TearDown();
      SetUp();
    }
    first = false;
    fs::remove(dir / "database" / c.file);
    EXPECT_EQ(Start(), kEnded) << c.file;
    auto& t = popups.transcript();
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[t.size() - 2].kind, "file");
    EXPECT_EQ(t.back().title, "ERROR!");
    EXPECT_EQ(t.back().text, c.text);
  }
  // No dialog for the spacecraft labels.
  TearDown();
  SetUp();
  fs::remove(dir / "database/basin.txt");
  std::size_t before = popups.transcript().size();
  EXPECT_EQ(Start(), kEnded);
  ASSERT_EQ(popups.transcript().size(), before + 1);
  EXPECT_EQ(popups.transcript().back().text, "Can't find BASIN.TXT!");
  // A processor file without its sensor blocks.
  TearDown();
  SetUp();
  std::string tlm = Slurp(dir / "database/VANTIS_tlm.txt");
  WriteFile(dir / "database/VANTIS_tlm.txt", tlm.substr(0, tlm.find("Total Bytes")));
  EXPECT_EQ(Start(), kEnded);
  EXPECT_EQ(popups.transcript().back().title, "VANTIS Database");
  EXPECT_EQ(popups.transcript().back().text, "There was a problem reading YSI parameters!");
  // A file picked in the dialog is read in place of the missing one.
  TearDown();
  SetUp();
  fs::rename(dir / "database/VANTIS_seq.txt", dir / "seq_copy.txt");
  popups.queue("seq_copy.txt");
  EXPECT_EQ(Start(), kStarted);
  EXPECT_EQ(P().db.tdb.seqdb.text(7).substr(0, 2), "7\t");
}

TEST_F(StationTest, SkippedDatabaseLinesAreLoggedWithFileAndLine) {
  std::string tbl = Slurp(dir / "database/VANTIS_tbl.txt");
  std::size_t at = tbl.find("END OF TABLES");
  tbl.insert(at, "HUGE TABLE (ID=77)\nt\n");
  WriteFile(dir / "database/VANTIS_tbl.txt", tbl);
  ASSERT_EQ(Start(), kStarted);
  int line = 1 + static_cast<int>(std::count(tbl.begin(), tbl.begin() + static_cast<long>(at), '\n'));
  std::string where = "DATABASE/VANTIS_TBL.TXT:" + std::to_string(line) + ": TABLE ID 77";
  EXPECT_EQ(CountOut(where), 2) << (out.empty() ? "" : out.front());
}
