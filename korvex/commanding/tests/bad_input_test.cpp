// Bad input typed or run from scripts: each line is refused or reported, a running script holds
// instead of going on, and the MOC command server on loopback receives nothing.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/tests/station_fixture.h"
#include "links/tests/cmd_peer.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

void Settle() {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class BadInputTest : public StationTest {
 protected:
  CmdPeer moc;
  void SetUp() override {
    StationTest::SetUp();
    auto lines = CfgLines();
    lines[2] = "CmdPort = " + std::to_string(moc.port());
    WriteFile(dir / "cfg/korvex.cfg", Join(lines));
    ASSERT_EQ(StartHeld(), kStarted);
  }
  void TearDown() override {
    Settle();
    EXPECT_EQ(moc.received().size(), 0u) << "bytes reached the MOC";
    StationTest::TearDown();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      DoTick();
      rte::DrainDeferred();
    }
  }
  void Script(const std::string& name, const std::string& text) { WriteFile(dir / "cmd" / name, text); }
  std::string Front() {
    std::string l;
    if (QueueLength() > 0) GetLabelFromIndex(P().ui.cmdList, ids::kCmdListScripts, 0, &l);
    return l;
  }
  int QueueLength() {
    int n = 0;
    GetNumListItems(P().ui.cmdList, ids::kCmdListScripts, &n);
    return n;
  }
  // The script ran up to a bad line: it holds with "Wait" in front and runs no further line.
  void ExpectHeldBefore(const std::string& notRun) {
    EXPECT_EQ(Front(), "Wait");
    Ticks(3);
    EXPECT_EQ(CountOut(notRun), 0) << notRun;
    EXPECT_EQ(P().cmdlink.flagArr, 0);
  }
};

}  // namespace

TEST_F(BadInputTest, OverLongAndUnclosedScriptLinesHoldTheScript) {
  std::string huge = "/IDPUNoop";
  for (int i = 0; i < 60000; ++i) huge += " 1";  // 120009 characters: past the command buffer
  Script("long.cmd", "rem before\n" + huge + "\nrem after long\n");
  RunCommandLine("start long");
  Ticks(1);
  EXPECT_EQ(CountOut("REM BEFORE"), 1);
  std::string shown = huge.substr(0, 80) + "... IS TOO LONG FOR THE COMMAND BUFFERS!";
  for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(CountOut(shown), 1);
  ExpectHeldBefore("REM AFTER LONG");
  RunCommandLine("cancel");

  // Typed (or read from standard input), such a line is refused the same way, not cut.
  out.clear();
  RunCommandLine(huge);
  EXPECT_EQ(CountOut(shown), 1);
  EXPECT_EQ(P().cmdlink.flagArr, 0);

  // An unclosed string, typed or in a script, never reaches the encoder.
  RunCommandLine("/SEPReset \"abc");
  EXPECT_EQ(CountOut("/SEPRESET \"ABC IS NOT RECOGNIZED!"), 1);
  Script("quote.cmd", "/SEPReset \"abc\nrem after quote\n");
  RunCommandLine("start quote");
  Ticks(1);
  EXPECT_EQ(CountOut("/SEPRESET \"ABC IS NOT RECOGNIZED!"), 2);
  ExpectHeldBefore("REM AFTER QUOTE");
  RunCommandLine("cancel");

  // A command the database does not know, and a line naming the header words.
  Script("unknown.cmd", "/NoSuchCommand 1\nrem after unknown\n");
  RunCommandLine("start unknown");
  Ticks(1);
  ExpectHeldBefore("REM AFTER UNKNOWN");
  RunCommandLine("cancel");
  Script("header.cmd", "/vantis 1\nrem after header\n");
  RunCommandLine("start header");
  Ticks(1);
  EXPECT_EQ(CountOut("/VANTIS 1 IS NOT A VALID COMMAND!"), 1);
  ExpectHeldBefore("REM AFTER HEADER");
}

TEST_F(BadInputTest, MissingFilesAreRefusedAndHoldAScript) {
  RunCommandLine("load nosuchbuttons");
  EXPECT_EQ(CountOut("LOAD NOSUCHBUTTONS IS NOT RECOGNIZED!"), 1);
  RunCommandLine("send nosuch");
  EXPECT_EQ(CountOut("SEND NOSUCH IS NOT RECOGNIZED!"), 1);
  RunCommandLine("schedule nosuch");  // the dialog is cancelled: nothing more is said
  EXPECT_EQ(CountOut("SCHEDULE NOSUCH IS NOT RECOGNIZED!"), 0);
  int n = -1;
  GetNumListItems(P().ui.schedule, ids::kSchedList, &n);
  EXPECT_EQ(n, 0);
  Script("missing.cmd", "start nosuchscript\nrem after missing\n");
  RunCommandLine("start missing");
  Ticks(1);
  EXPECT_EQ(CountOut("START NOSUCHSCRIPT IS NOT RECOGNIZED!"), 1);
  ExpectHeldBefore("REM AFTER MISSING");
  EXPECT_EQ(P().script.scf, 1);  // the level the failed start took is given back
}

TEST_F(BadInputTest, AScriptThatStartsItselfIsStopped) {
  Script("self.cmd", "rem self\nstart self\nrem after self\n");
  RunCommandLine("start self");
  Ticks(1);
  EXPECT_EQ(CountOut("SCRIPT STARTS ITSELF; NOT STARTED AGAIN: SELF.CMD"), 1);
  EXPECT_EQ(CountOut("REM SELF"), 1);
  EXPECT_EQ(QueueLength(), 2);  // "Wait" and the rest of the script: nothing was loaded again
  ExpectHeldBefore("REM AFTER SELF");
  RunCommandLine("cancel");

  // Through another script, and with the name typed differently.
  Script("ping.cmd", "start pong\nrem after ping\n");
  Script("pong.cmd", "start PING.CMD\nrem after pong\n");
  RunCommandLine("start ping");
  Ticks(1);
  EXPECT_EQ(CountOut("SCRIPT STARTS ITSELF; NOT STARTED AGAIN: PING.CMD"), 1);
  ExpectHeldBefore("REM AFTER PONG");
  // The operator lets it go on: the rest runs once, and the script ends.
  RunCommandLine("go");
  Ticks(3);
  EXPECT_EQ(CountOut("REM AFTER PONG"), 1);
  EXPECT_EQ(CountOut("REM AFTER PING"), 1);
  Ticks(1);
  EXPECT_EQ(QueueLength(), 0);
  EXPECT_EQ(P().script.scf, 0);
}

TEST_F(BadInputTest, ScheduleLinesWithDatesThatDoNotExistAreSkippedAndSaid) {
  WriteFile(dir / "cmd/bad.sch",
            "26 02 30 12:00:00 rem thirtieth of february\n"
            "26 03 10 12:x0:00 rem letters in the time\n"
            "26 13 01 00:00:00 rem month 13\n"
            "26 03 10 24:00:00 rem hour 24\n"
            "2603101230 rem no separators\n"
            "26 03 10 12:30:01 rem good\n");
  RunCommandLine("schedule bad");
  for (int line = 1; line <= 5; ++line)
    EXPECT_EQ(CountOut("CMD/BAD.SCH:" + std::to_string(line) + ": DATE OR TIME NOT READABLE"), 1) << line;
  int n = 0;
  GetNumListItems(P().ui.schedule, ids::kSchedList, &n);
  EXPECT_EQ(n, 1);
  rte::SetClock(LocalAt(2026, 3, 10, 12, 30, 1));
  Ticks(1);
  EXPECT_EQ(CountOut("REM GOOD"), 1);
}

TEST_F(BadInputTest, VariableNamesConditionsCannotReadAreRefused) {
  for (const char* line : {"let = 5", "let 5x = 1", "let a&b = 2", "let a>b = 3", "let x|y = 4",
                           "let ;x = 1", "let x =", "let x = #5", "free", "free nosuch"}) {
    RunCommandLine(line);
    std::string upper = line;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(CountOut(upper + " IS NOT RECOGNIZED!"), 1) << line;
  }
  EXPECT_EQ(CountOut("VARIABLE NAME MUST START WITH A LETTER AND HOLD NO OPERATOR: X|Y"), 1);
  int n = -1;
  GetNumListItems(P().ui.variables, ids::kVarList, &n);
  EXPECT_EQ(n, 0);
  // Blanks inside a name vanish with the compact form; the name is still usable.
  RunCommandLine("let lim it = 3");
  RunCommandLine("if (NOSUCHPOINT > limit) rem over the limit");
  EXPECT_EQ(Front(), "rem over the limit");
  RunCommandLine("cancel");
}

TEST_F(BadInputTest, StoredScmsThatAreNotWholeAreRefused) {
  auto header = [](const char* count) {
    std::string h = "SCM-000000" "0000" "01" "---" "VANTIS" "EA";
    h += count;
    h += std::string(132 - h.size(), '-');
    return h + '\x0C';
  };
  WriteFile(dir / "scm/short.scm", header("01").substr(0, 60));
  WriteFile(dir / "scm/huge.scm", header("01") + std::string(110000, '\0'));
  // One packet of 8 bytes where the header promises two.
  WriteFile(dir / "scm/count.scm", header("02") + std::string("\x12\x00\xC0\x00\x00\x01\x00\x05", 8));
  // A packet whose length field runs past the end of the file.
  WriteFile(dir / "scm/cut.scm", header("01") + std::string("\x12\x00\xC0\x00\x00\x40\x00\x05", 8));
  for (const char* name : {"short", "huge", "count", "cut"}) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    RunCommandLine(std::string("send ") + name);
    EXPECT_EQ(CountOut("SCM/" + upper + ".SCM IS NOT A WHOLE SCM; NOT SENT"), 1) << name;
    EXPECT_EQ(CountOut("SEND " + upper + " IS NOT RECOGNIZED!"), 1) << name;
  }
  EXPECT_EQ(P().cmd.scm.ccsdsSC, 0u);  // no counter moved
  Script("sendbad.cmd", "sendscm on\nsend cut\nrem after send\n");
  RunCommandLine("start sendbad");
  Ticks(1);
  ExpectHeldBefore("REM AFTER SEND");
}

// Without the MOC a script's command is not sent, and the script holds instead of trying (and,
// once the link is back, sending) the commands after it.
TEST_F(StationTest, AScriptHoldsWhenItsCommandCannotBeSent) {
  RefusingPort closed;
  auto lines = CfgLines();
  lines[2] = "CmdPort = " + std::to_string(closed.port());
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(StartHeld(), kStarted);
  WriteFile(dir / "cmd/two.cmd", "/IDPUNoop 1\n/IDPUNoop 2\n");
  RunCommandLine("start two");
  DoTick();
  rte::DrainDeferred();
  EXPECT_EQ(CountOut("NOT SENT! "), 1);
  std::string front;
  GetLabelFromIndex(P().ui.cmdList, ids::kCmdListScripts, 0, &front);
  EXPECT_EQ(front, "Wait");
  for (int i = 0; i < 3; ++i) {
    DoTick();
    rte::DrainDeferred();
  }
  EXPECT_EQ(CountOut("NOT SENT! "), 1);
  EXPECT_EQ(CountOut("/IDPUNOOP 2"), 0);
}

// An SCM remark in a script goes out alone, as a no-op command carrying the text in the header;
// the script's next command waits for its ARR.
TEST_F(StationTest, AScriptRemarkGoesOutAloneWithItsTextInTheHeader) {
  CmdPeer moc;
  auto lines = CfgLines();
  lines[2] = "CmdPort = " + std::to_string(moc.port());
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  WriteFile(dir / "database/VANTIS_ctm.prn", CtmText() + "systemnop 0x200 0 ; 0\n");
  ASSERT_EQ(StartHeld(), kStarted);
  WriteFile(dir / "cmd/remark.cmd", "srem Pass 12 starts\n/IDPUNoop 1\n");
  RunCommandLine("start remark");
  DoTick();
  rte::DrainDeferred();
  QElapsedTimer t;
  t.start();
  while (moc.received().size() < 141u && t.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  const std::string scm = moc.received();
  ASSERT_EQ(scm.size(), 141u);  // header and one packet with the function code only
  EXPECT_EQ(scm.substr(60, 72), std::string(58, ' ') + "Pass 12 starts");
  EXPECT_EQ(P().cmdlink.flagArr, 1);
  Settle();
  EXPECT_EQ(moc.received().size(), 141u);
  EXPECT_EQ(CountOut("/IDPUNOOP 1"), 0);
  EXPECT_EQ(P().cmd.scm.sremFlg, 0);
}
