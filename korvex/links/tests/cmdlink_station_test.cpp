// The command link in the started station against a MOC command server played on loopback: the
// SCM bytes that arrive, ARRs (split, heartbeats, errors), the archive, the timer's questions,
// the resend and its undoing, and the counters after each step.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/tests/station_fixture.h"
#include "links/arr.h"
#include "links/tests/cmd_peer.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

// An ARR answering the SCM text `scm` with `code`.
std::string ArrFor(const std::string& scm, const char* code) {
  std::string a = "ARR-000055" + scm.substr(10, 4) + "2026069123000" + code + scm.substr(100, 32) +
                  scm.substr(133, 6) + std::string(1, '\0');
  return a;
}

std::string CmdLineText() {
  std::string s;
  GetCtrlVal(Ctx().ui.eventLog, ids::kEvCmdLine, &s);
  return s;
}

int ListItems(int panel, int ctrl) {
  int n = 0;
  GetNumListItems(panel, ctrl, &n);
  return n;
}

int Lamp(int panel, int ctrl) {
  int v = 0;
  GetCtrlVal(panel, ctrl, &v);
  return v;
}

class CmdLinkTest : public StationTest {
 protected:
  void Configure(unsigned cmdPort, int arrWait) {
    auto lines = CfgLines();
    lines[2] = "CmdPort = " + std::to_string(cmdPort);
    lines[8] = "ArrWait = " + std::to_string(arrWait);
    WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  }
  std::string ArrFile() { return Slurp(dir / "log/2603101230.arr"); }
};

const std::string kHeaderTail = "0000" "0000" + std::string(23, ' ') + "NO SCRIPT";

}  // namespace

TEST_F(CmdLinkTest, ScmOutArrBackShownArchivedAndAccepted) {
  CmdPeer moc;
  Configure(moc.port(), 10);
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();

  EXPECT_EQ(RunCommandLine("/IDPUNoop 5"), 0);
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 133u + 9u; })) << moc.received().size();
  const std::string scm = moc.received();
  std::string header = "SCM-000128" "0001" "01" "---" "VANTIS" "EA" "01" "0000000000000"
                       "-------------" "-----" + kHeaderTail + std::string(22, ' ') + "IDPUNoop 5";
  ASSERT_EQ(header.size(), 132u);
  EXPECT_EQ(scm.substr(0, 132), header);
  // 0x200 with type 1, unsegmented, count 0, length 2, template 00, argument 05.
  EXPECT_EQ(scm.substr(132), std::string("\x0C\x12\x00\xC0\x00\x00\x02\x27\x00\x05", 10));
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_EQ(Lamp(p.ui.link, ids::kLkCmdLamp), 1);
  EXPECT_EQ(Lamp(p.ui.link, ids::kLkCmdSwitch), 1);
  EXPECT_EQ(CountOut("IDPUNOOP 5"), 2);  // the line in black, then the SCM text in green
  EXPECT_EQ(CountOut("0C1200C00000022700"), 1);
  EXPECT_EQ(ListItems(p.ui.cmdVerify, ids::kCvList), 1);
  EXPECT_EQ(p.cmd.cmdcnt, 1);
  EXPECT_EQ(p.cmdlink.lcvCnt, 1);
  EXPECT_EQ(p.cmd.cvBoxi, 1);

  // While the ARR is awaited further lines are refused.
  EXPECT_EQ(RunCommandLine("/IDPUNoop"), -1);
  EXPECT_EQ(CmdLineText(), "WAITING FOR ARR; COMMAND NOT SENT!");

  // Heartbeats toggle the lamp and change nothing else.
  moc.send(ArrFor(scm, "004"));
  ASSERT_TRUE(Pump([&] { return Lamp(p.ui.eventLog, ids::kEvHeartbeat) == 1; }));
  moc.send(ArrFor(scm, "004"));
  ASSERT_TRUE(Pump([&] { return Lamp(p.ui.eventLog, ids::kEvHeartbeat) == 0; }));
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_EQ(ArrFile(), "");

  // The success ARR, split over two writes.
  std::string ok = ArrFor(scm, "000");
  moc.send(ok.substr(0, 30));
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  moc.send(ok.substr(30));
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 2; }));
  const std::string line = ok.substr(0, 62) + "1200C000000200\r";
  EXPECT_EQ(ArrFile(), line);
  std::string shown;
  GetTextBoxLine(p.ui.arr, ids::kArrBox, 0, &shown);
  EXPECT_EQ(shown, line.substr(0, line.size() - 1));

  // The next tick accepts the SCM.
  EXPECT_EQ(DoTick(), 0);
  EXPECT_EQ(p.cmdlink.flagArr, 0);
  EXPECT_EQ(p.cmd.scm.seqinc, (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 1u);
  std::string counter;
  GetCtrlVal(p.ui.scm, scmctl::kSc, &counter);
  EXPECT_EQ(counter, "1");
}

TEST_F(CmdLinkTest, ErrorArrAskedDeclinedAndUndone) {
  CmdPeer moc;
  Configure(moc.port(), 10);
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  RunCommandLine("/IDPUNoop");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 141u; }));
  moc.send(ArrFor(moc.received(), "000"));
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 2; }));
  DoTick();
  moc.clear();

  RunCommandLine("/IDPUNoop");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 141u; }));
  const std::string scm = moc.received();
  EXPECT_EQ(scm.substr(10, 4), "0002");
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 2u);
  EXPECT_EQ(p.cmd.cmdcnt, 2);
  std::string bad = ArrFor(scm, "013");
  moc.send(bad);
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 3; }));
  EXPECT_EQ(p.core.savecode, 13);
  EXPECT_EQ(Count(ArrFile(), bad.substr(0, 62) + "^00C001000100\r"), 1);

  popups.clearTranscript();
  popups.queue("no");
  EXPECT_EQ(DoTick(), 0);
  EXPECT_EQ(CountOut("ARR VERIFY ERROR =  13  END OF MOC CONTROL HEADER MISSING"), 1);
  ASSERT_FALSE(popups.transcript().empty());
  EXPECT_EQ(popups.transcript()[0].title, "ARR Verify Error =  13  End of MOC control header missing");
  EXPECT_EQ(popups.transcript()[0].text, "Attempt to resend?");
  // Declined: the second command's bookkeeping is gone, the first one's stays.
  EXPECT_EQ(CountOut("BAD ARR FOR LAST COMMAND!"), 1);
  EXPECT_EQ(p.cmdlink.flagArr, 0);
  EXPECT_EQ(p.cmdlink.gHandle, -1);
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 1u);
  EXPECT_EQ(p.cmd.cmdcnt, 1);
  EXPECT_EQ(ListItems(p.ui.cmdVerify, ids::kCvList), 1);
  EXPECT_EQ(Lamp(p.ui.link, ids::kLkCmdLamp), 0);
  EXPECT_EQ(Lamp(p.ui.link, ids::kLkCmdSwitch), 0);
  std::string counter;
  GetCtrlVal(p.ui.scm, scmctl::kSc, &counter);
  EXPECT_EQ(counter, "1");
}

TEST_F(CmdLinkTest, MissingArrWaitAgainResendAndFailedReconnect) {
  CmdPeer moc;
  Configure(moc.port(), 2);
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  RunCommandLine("/SEPReset 7");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 142u; }));
  const std::string scm = moc.received();
  const std::uint32_t tick = p.core.tick;

  EXPECT_EQ(DoTick(), -1);  // first second of the wait: the other duties stand still
  popups.queue("yes");      // wait again
  EXPECT_EQ(DoTick(), -1);
  EXPECT_EQ(p.core.tick, tick);
  EXPECT_EQ(popups.transcript().back().title, "No ARR Received!");
  EXPECT_EQ(popups.transcript().back().text, "Wait for ARR again?");

  // No to waiting, yes to resending: a new connection carries the same SCM again.
  moc.clear();
  EXPECT_EQ(DoTick(), -1);
  popups.queue("no");
  popups.queue("yes");
  EXPECT_EQ(DoTick(), 0);
  ASSERT_TRUE(Pump([&] { return moc.received().size() == scm.size(); }));
  EXPECT_EQ(moc.received(), scm);
  EXPECT_EQ(moc.connections(), 2);
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_EQ(p.cmd.cmdcnt, 1);

  // The MOC gone: the resend reconnects, fails, sends nothing, and the state stays.
  moc.drop();
  moc.clear();
  ASSERT_TRUE(Pump([&] { return p.cmdlink.gHandle == -1; }));
  EXPECT_EQ(CountOut("SERVER HAS CLOSED CMD PORT! -14  CONNECTIONCLOSED"), 1);
  EXPECT_EQ(CountOut("COMMAND LINK LOST: 127.0.0.1:" + std::to_string(moc.port()) +
                     ": -14  CONNECTIONCLOSED"),
            1);
  RefusingPort refusing;
  p.link.portCmd = refusing.port();
  DoTick();
  popups.queue("no");
  popups.queue("yes");
  DoTick();
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_EQ(p.cmdlink.gHandle, -1);
  EXPECT_EQ(moc.received(), "");
  EXPECT_GE(CountOut("COMMAND PORT CONNECTION FAILED: 127.0.0.1:" + std::to_string(refusing.port())), 1);
  EXPECT_EQ(popups.transcript().back().text, "Command port connection failed !");
  EXPECT_EQ(p.cmd.cmdcnt, 1);
  EXPECT_EQ(p.cmd.scm.seqinc[0], 1);
}

TEST_F(CmdLinkTest, NoWaitWhenArrWaitIsZero) {
  CmdPeer moc;
  Configure(moc.port(), 0);
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  RunCommandLine("/IDPUNoop");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 141u; }));
  const std::uint32_t tick = p.core.tick;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(DoTick(), 0);
  EXPECT_EQ(p.core.tick, tick + 5);
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_TRUE(popups.transcript().empty());
}

TEST_F(CmdLinkTest, UnsentScmsAndRefusedLinesLeaveTheCountersConsistent) {
  RefusingPort refusing;
  Configure(refusing.port(), 10);
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();

  RunCommandLine("set SCM pack 3");
  EXPECT_EQ(popups.transcript().back().title, "Error!");
  EXPECT_EQ(popups.transcript().back().text, "Should be 2 characters (01 to 99)");
  EXPECT_EQ(CountOut("SET SCM PACK 3 IS NOT RECOGNIZED!"), 1);
  RunCommandLine("set SCM pack 03");
  EXPECT_EQ(CountOut("SET SCM PACK 03 IS NOT RECOGNIZED!"), 0);

  RunCommandLine("/IDPUNoop 1");
  RunCommandLine("/IDPUNoop 2");
  EXPECT_EQ(p.cmd.scm.ccsdsCtr, 2);
  RunCommandLine("/IDPUNoop 3");
  EXPECT_EQ(CountOut("NOT SENT! SCM-000146"), 1);
  EXPECT_EQ(CountOut("SCM NOT SENT: ITS PACKETS AND PENDING ENTRIES ARE DISCARDED"), 1);
  EXPECT_EQ(p.cmd.scm.scmPtr, 0u);
  EXPECT_EQ(p.cmd.scm.ccsdsCtr, 0);
  EXPECT_TRUE(p.cmd.scm.cv.empty());
  EXPECT_EQ(ListItems(p.ui.cmdVerify, ids::kCvList), 0);
  EXPECT_EQ(p.cmd.cmdcnt, 0);
  EXPECT_EQ(p.cmdlink.flagArr, 0);
  EXPECT_EQ(CmdLineText(), "");

  // Refusals: unknown mnemonic, odd quotes, header words.
  RunCommandLine("/nosuch 1");
  EXPECT_EQ(CountOut("/NOSUCH 1 IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(CmdLineText(), "COMMAND NOT SENT!");
  RunCommandLine("/IDPUNoop \"half");
  EXPECT_EQ(CountOut("/IDPUNOOP \"HALF IS NOT RECOGNIZED!"), 1);
  RunCommandLine("/VANTIS_CTM x");
  EXPECT_EQ(CountOut("/VANTIS_CTM X IS NOT A VALID COMMAND!"), 1);
  EXPECT_EQ(p.cmd.scm.ccsdsCtr, 0);
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 3u);  // the three packets of the unsent SCM were counted
}

TEST_F(CmdLinkTest, ArrPanelKeepsNineHundredOneOfThousandOneLines) {
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  std::string arr = ArrFor(std::string(139, '0'), "000");
  for (int i = 0; i < 1001; ++i) ShowArr(reinterpret_cast<const std::uint8_t*>(arr.data()), true);
  int n = 0;
  GetNumTextBoxLines(p.ui.arr, ids::kArrBox, &n);
  EXPECT_EQ(n, 901);
  EXPECT_EQ(Count(ArrFile(), "\r"), 1001);
}

TEST_F(CmdLinkTest, GarbageCodeCountsAsSuccessAndScmPanelCommits) {
  CmdPeer moc;
  Configure(moc.port(), 10);
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  RunCommandLine("/IDPUNoop");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 141u; }));
  moc.send(ArrFor(moc.received(), "x9z"));
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 2; }));
  DoTick();

  // A refused field on the panel keeps the header; a good one goes into the next SCM.
  EXPECT_EQ(rte::UserSetValue(p.ui.scm, scmctl::kSpacecraft, "EC2"), 1);
  EXPECT_EQ(popups.transcript().back().text, "Should be 2 characters (EA or EB)");
  EXPECT_EQ(rte::UserSetValue(p.ui.scm, scmctl::kSpacecraft, "EB"), 0);
  moc.clear();
  RunCommandLine("/IDPUNoop");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == 141u; }));
  EXPECT_EQ(moc.received().substr(25, 2), "EB");
}
