// Sequence recording, screen layouts, the verification reset and the Commands menu in a started
// station, driven through the command line and the panels as an operator does. A MOC command
// server on loopback watches what leaves the station.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "commanding/commanding.h"
#include "core/tests/station_fixture.h"
#include "links/tests/cmd_peer.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

// Gives the station's socket time to deliver anything it might have written.
void Settle() {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

std::string ArrFor(const std::string& scm, const char* code) {
  return "ARR-000055" + scm.substr(10, 4) + "2026069123000" + code + scm.substr(100, 32) +
         scm.substr(133, 6) + std::string(1, '\0');
}

std::vector<std::string> Lines(const fs::path& f) {
  std::vector<std::string> v;
  std::ifstream in(f);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

class RecordingTest : public StationTest {
 protected:
  CmdPeer moc;
  void SetUp() override {
    StationTest::SetUp();
    auto lines = CfgLines();
    lines[2] = "CmdPort = " + std::to_string(moc.port());
    WriteFile(dir / "cfg/korvex.cfg", Join(lines));
    ASSERT_EQ(StartHeld(), kStarted);
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      DoTick();
      rte::DrainDeferred();
    }
  }
  int Colour(int attr) {
    int v = 0;
    GetCtrlAttribute(P().ui.eventLog, ids::kEvSequence, attr, &v);
    return v;
  }
  // The SCM now out is answered with success and accepted by the next tick.
  void Accept() {
    ASSERT_TRUE(Pump([&] { return moc.received().size() >= 141u; }));
    moc.send(ArrFor(moc.received(), "000"));
    ASSERT_TRUE(Pump([&] { return P().cmdlink.flagArr == 2; }));
    Ticks(1);
    ASSERT_EQ(P().cmdlink.flagArr, 0);
    moc.clear();
    out.clear();
  }
};

}  // namespace

TEST_F(RecordingTest, TypedCommandsBecomeLoadLinesAndNothingIsSent) {
  // EEPROM bank 1 at 0x2000, stored sequences from 0x40 (the test configuration).
  RunCommandLine("startsequence EEPROM1 2 magseq");
  EXPECT_EQ(CountOut("RECORD COMMAND SEQUENCE ON!"), 1);
  EXPECT_EQ(Colour(ATTR_ON_COLOR), 0xFFFF00);
  EXPECT_EQ(Colour(ATTR_OFF_COLOR), 0);
  RunCommandLine("/IDPUNoop 5");
  RunCommandLine("/SEPReset 3");
  EXPECT_EQ(P().cmdlink.flagArr, 0);  // no ARR awaited: nothing went out
  RunCommandLine("endsequence");
  EXPECT_EQ(CountOut("RECORD COMMAND SEQUENCE OFF"), 1);
  EXPECT_EQ(Colour(ATTR_ON_COLOR), 0xC0C0C0);
  EXPECT_EQ(Colour(ATTR_OFF_COLOR), 0xC0C0C0);
  Settle();
  EXPECT_EQ(moc.received(), "");
  EXPECT_EQ(Lines(dir / "cmd/magseq.cmd"),
            (std::vector<std::string>{
                "REM cmd/magseq.cmd generated 03-10-2026 12:30:00",
                "REM Destination is EEPROM1 sequence 2",
                "REM /IDPUNoop 5",
                // identifier 0x00 (APID 0x200), two data bytes: function 0, argument 5
                "/IDPUEEPROMLoad 0x2000 0x140 0x00 0x02 0x00 0x05",
                "REM /SEPReset 3",
                "/IDPUEEPROMLoad 0x2000 0x144 0x40 0x02 0x01 0x03",
                "/IDPUEEPROMLoad 0x2000 0x148 0x00 0x00",
            }));
  // Recording over, a command goes to the MOC again.
  RunCommandLine("/IDPUNoop 5");
  EXPECT_TRUE(Pump([&] { return moc.received().size() == 142u; })) << moc.received().size();
}

TEST_F(RecordingTest, AScriptRecordsWithoutWaitingForArrsAndNamesItselfInTheFile) {
  WriteFile(dir / "cmd/mkseq.cmd",
            "startsequence RAM 0 ramseq.txt\n/BRMReset\n/IDPUNoop 1\nendsequence\nrem done\n");
  RunCommandLine("start mkseq");
  Ticks(1);
  EXPECT_EQ(CountOut("REM DONE"), 1);  // one tick: no command waited for an ARR
  std::vector<std::string> l = Lines(dir / "cmd/ramseq.txt");
  ASSERT_EQ(l.size(), 7u);
  EXPECT_EQ(l[0], "REM cmd/ramseq.txt generated 03-10-2026 12:30:00 from mkseq.cmd");
  EXPECT_EQ(l[1], "REM Destination is RAM sequence 0");
  EXPECT_EQ(l[2], "REM /brmreset");  // script lines run in lower case
  // APID 0x305: identifier 0x85; the odd count (one byte) is padded.
  EXPECT_EQ(l[3], "/IDPUMemoryLoad 0x8000 0x40 0x85 0x00");
  EXPECT_EQ(l[5], "/IDPUMemoryLoad 0x8000 0x042 0x00 0x02 0x00 0x01");
  EXPECT_EQ(l[6], "/IDPUMemoryLoad 0x8000 0x046 0x00 0x00");
  Settle();
  EXPECT_EQ(moc.received(), "");
}

TEST_F(RecordingTest, BadSequenceLinesAreRefusedAndNothingIsRecordedOrSent) {
  RunCommandLine("startsequence EEPROM9 1 x");
  EXPECT_EQ(CountOut("STARTSEQUENCE EEPROM9 1 X NAMES NO MEMORY BANK (EEPROM0-3 OR RAM)"), 1);
  EXPECT_EQ(CountOut("STARTSEQUENCE EEPROM9 1 X IS NOT RECOGNIZED!"), 1);
  RunCommandLine("startsequence ram 1 ../cfg/korvex.cfg");
  EXPECT_EQ(CountOut("THE SEQUENCE FILE MUST BE A NAME UNDER CMD"), 1);
  RunCommandLine("startsequence eeprom0 one x");
  EXPECT_EQ(CountOut("HAS NO VALID SEQUENCE NUMBER"), 1);
  RunCommandLine("startsequence ram 1");
  EXPECT_EQ(CountOut("NEEDS A DESTINATION, A SEQUENCE NUMBER AND A FILE"), 1);
  EXPECT_EQ(P().script.doCmdseq, 0);
  EXPECT_FALSE(fs::exists(dir / "cmd/x.cmd"));

  RunCommandLine("startsequence ram 1 first");
  RunCommandLine("startsequence ram 2 second");  // the first recording stays
  EXPECT_EQ(CountOut("SEQUENCE RECORDING ALREADY ON: CMD/FIRST.CMD"), 1);
  EXPECT_FALSE(fs::exists(dir / "cmd/second.cmd"));
  // A command the record cannot hold (more than 127 data bytes) is refused, not cut.
  std::string longCmd = "/IDPUNoop";
  for (int i = 0; i < 130; ++i) longCmd += " 1";
  RunCommandLine(longCmd);
  EXPECT_EQ(CountOut("HAS MORE THAN 127 DATA BYTES; NOT RECORDED"), 1);
  RunCommandLine("endsequence");
  EXPECT_EQ(Lines(dir / "cmd/first.cmd").size(), 3u);  // two remarks and the end record
  Settle();
  EXPECT_EQ(moc.received(), "");
}

TEST_F(RecordingTest, VerificationResetStartsTheCountersAgain) {
  Program& p = P();
  RunCommandLine("/IDPUNoop 5");
  Accept();
  RunCommandLine("/IDPUNoop 6");
  ASSERT_TRUE(Pump([&] { return moc.received().size() >= 141u; }));
  EXPECT_EQ(static_cast<std::uint8_t>(moc.received()[133 + 3]), 1);  // second command, count 1
  int n = 0;
  GetNumListItems(p.ui.cmdVerify, ids::kCvList, &n);
  EXPECT_EQ(n, 2);
  Accept();

  rte::SendEvent(p.ui.cmdVerify, ids::kCvReset, EVENT_COMMIT);
  GetNumListItems(p.ui.cmdVerify, ids::kCvList, &n);
  EXPECT_EQ(n, 0);
  int sent = -1;
  GetCtrlVal(p.ui.cmdVerify, ids::kCvSent, &sent);
  EXPECT_EQ(sent, 0);
  std::string sc;
  GetCtrlVal(p.ui.scm, scmctl::kSc, &sc);
  EXPECT_EQ(sc, "0");
  RunCommandLine("/IDPUNoop 7");
  ASSERT_TRUE(Pump([&] { return moc.received().size() >= 141u; }));
  EXPECT_EQ(static_cast<std::uint8_t>(moc.received()[133 + 2]) & 0x3F, 0);
  EXPECT_EQ(static_cast<std::uint8_t>(moc.received()[133 + 3]), 0);
}

TEST_F(RecordingTest, CommandsMenuTogglesTheCommandFilePanel) {
  Program& p = P();
  int visible = -1;
  GetPanelAttribute(p.ui.cmdFile, ATTR_VISIBLE, &visible);
  ASSERT_EQ(visible, 0);
  rte::UserMenu(p.ui.main, ids::kMenuCmdFile);
  GetPanelAttribute(p.ui.cmdFile, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);
  rte::UserMenu(p.ui.main, ids::kMenuCmdFile);
  GetPanelAttribute(p.ui.cmdFile, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
}

TEST_F(RecordingTest, PageRecallsASavedLayout) {
  Program& p = P();
  Ticks(1);  // the start-up arrangement is taken
  SetPanelPos(p.ui.cmdFile, 100, 200);
  DisplayPanel(p.ui.cmdFile);
  HidePanel(p.ui.cmdList);
  SetPanelPos(p.ui.cmdSeq[0], 300, 400);  // the sequence panels come last in the record
  popups.queue("cfg/night.srd");
  rte::UserMenu(p.ui.main, ids::kMenuSaveDisplay);
  ASSERT_EQ(fs::file_size(dir / "cfg/night.srd"), 1488u);

  SetPanelPos(p.ui.cmdFile, 5, 6);
  SetPanelPos(p.ui.cmdSeq[0], 5, 6);
  HidePanel(p.ui.cmdFile);
  DisplayPanel(p.ui.cmdList);
  RunCommandLine("page night");
  int top = 0, left = 0, visible = 0, listVisible = 1;
  GetPanelAttribute(p.ui.cmdFile, ATTR_TOP, &top);
  GetPanelAttribute(p.ui.cmdFile, ATTR_LEFT, &left);
  GetPanelAttribute(p.ui.cmdFile, ATTR_VISIBLE, &visible);
  GetPanelAttribute(p.ui.cmdList, ATTR_VISIBLE, &listVisible);
  EXPECT_EQ(top, 100);
  EXPECT_EQ(left, 200);
  EXPECT_EQ(visible, 1);
  EXPECT_EQ(listVisible, 0);
  GetPanelAttribute(p.ui.cmdSeq[0], ATTR_LEFT, &left);
  EXPECT_EQ(left, 400);
  GetPanelAttribute(p.ui.shutdown, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
  EXPECT_EQ(CountOut("PAGE NIGHT"), 1);
  EXPECT_EQ(P().cmd.dsplFile, "");

  // A file that covers only the main window leaves the panels as the record held them; a
  // name that is not there asks (and a cancelled dialog changes nothing).
  std::vector<std::uint8_t> head = SrdBytes(P().cmd.srd);
  head.resize(12);
  WriteFile(dir / "cfg/short.srd", std::string(head.begin(), head.end()));
  SetPanelPos(p.ui.cmdFile, 7, 8);
  RunCommandLine("page=short");
  GetPanelAttribute(p.ui.cmdFile, ATTR_TOP, &top);
  EXPECT_EQ(top, 100);
  SetPanelPos(p.ui.cmdFile, 7, 8);
  RunCommandLine("page nosuch");
  GetPanelAttribute(p.ui.cmdFile, ATTR_TOP, &top);
  EXPECT_EQ(top, 7);
  RunCommandLine("page ../cfg/night");
  EXPECT_EQ(CountOut("PAGE ../CFG/NIGHT IS NOT RECOGNIZED!"), 1);
}

// A stored SCM goes out whole with the station's counters in it; a script may send one only
// after "sendscm".
TEST_F(RecordingTest, StoredScmsGoOutStampedAndScriptsNeedSendscm) {
  fs::create_directories(dir / "scm");
  fs::copy_file(fs::path(STATION_DIR) / "scm/nop_test.scm", dir / "scm/nop_test.scm");
  const std::string file = Slurp(dir / "scm/nop_test.scm");
  ASSERT_EQ(file.size(), 152u);
  RunCommandLine("/IDPUNoop 5");  // the SC counter moves to 1 first
  Accept();

  RunCommandLine("send nop_test");
  ASSERT_TRUE(Pump([&] { return moc.received().size() >= 152u; }));
  const std::string got = moc.received();
  ASSERT_EQ(got.size(), 152u);
  EXPECT_EQ(got.substr(0, 10), file.substr(0, 10));
  EXPECT_EQ(got.substr(10, 4), "0002");  // the station's next message number
  EXPECT_EQ(got.substr(14, 119), file.substr(14, 119));
  EXPECT_EQ(static_cast<std::uint8_t>(got[133 + 2]), 0xC0);
  EXPECT_EQ(static_cast<std::uint8_t>(got[133 + 3]), 1);  // sequence count from the station
  unsigned sum = 0;
  for (std::size_t i = 133; i < got.size(); ++i) sum += static_cast<std::uint8_t>(got[i]);
  EXPECT_EQ(sum & 0xFF, 0u);  // checksum made again
  EXPECT_EQ(got.substr(140), file.substr(140));
  EXPECT_EQ(P().cmdlink.flagArr, 1);
  Accept();

  WriteFile(dir / "cmd/stored.cmd", "send nop_test\nrem after refusal\n");
  RunCommandLine("start stored");
  Ticks(1);
  EXPECT_EQ(CountOut("SCM/NOP_TEST.SCM SEP SCM REFUSED; SCRIPT RUNNING"), 1);
  EXPECT_EQ(CountOut("REM AFTER REFUSAL"), 1);
  Settle();
  EXPECT_EQ(moc.received(), "");

  WriteFile(dir / "cmd/stored2.cmd", "sendscm on\nsend nop_test ; the stored no-op\nrem after send\n");
  RunCommandLine("start stored2");
  Ticks(1);
  ASSERT_TRUE(Pump([&] { return moc.received().size() >= 152u; }));
  EXPECT_EQ(CountOut("SEND NOP_TEST SCM/NOP_TEST.SCM"), 1);
  EXPECT_EQ(CountOut("REM AFTER SEND"), 0);  // the script waits for the ARR
}
