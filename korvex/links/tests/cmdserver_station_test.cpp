// The local command server in the started station, with SEP clients and a MOC command server
// played on loopback: SCMs in parts, the relay with the station's stamping and the ARR that comes
// back, store files, every refusal with its code, the busy answer to a second client, the
// assembly time-out, and the lines a client may and may not send.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/tests/station_fixture.h"
#include "links/arr.h"
#include "links/tests/cmd_peer.h"
#include "links/tests/sep_client.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

// Lets the loop run for a while (for checks that something does NOT happen).
void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    rte::DrainDeferred();
  }
}

// A telecommand packet without secondary header: 6-byte primary header, checksum, data.
std::string Packet(int apid, unsigned seq, const std::string& data) {
  std::string p(7, '\0');
  p[0] = static_cast<char>(0x10 | ((apid >> 8) & 7));
  p[1] = static_cast<char>(apid & 0xFF);
  p[2] = static_cast<char>(0xC0 | ((seq >> 8) & 0x3F));
  p[3] = static_cast<char>(seq & 0xFF);
  p[4] = static_cast<char>(data.size() >> 8);
  p[5] = static_cast<char>(data.size() & 0xFF);
  p += data;
  unsigned sum = 0;
  for (char c : p) sum += static_cast<unsigned char>(c);
  p[6] = static_cast<char>(-static_cast<int>(sum));
  return p;
}

// A SEP SCM: kind is byte 29 ('0' real time, '2' time-tagged, '-' store file).
std::string Scm(char kind, const std::vector<std::string>& packets, const std::string& store = "",
                const std::string& name = "SEPTEST") {
  std::string body;
  for (const std::string& p : packets) body += p;
  std::size_t total = 133 + body.size();
  char len[8];
  std::snprintf(len, sizeof len, "%06zu", total - 14);
  char count[4];
  std::snprintf(count, sizeof count, "%02zu", packets.size());
  std::string h = std::string("SCM-") + len + "0042" + std::string(13, '0') + count + kind;
  h += std::string(68 - h.size(), '-');
  h += store + std::string(32 - store.size(), ' ');
  h += std::string(32 - name.size(), ' ') + name;
  h += '\x0C';
  return h + body;
}

std::string Code(const std::string& arr) { return arr.size() >= 30 ? arr.substr(27, 3) : "?"; }

// The MOC's ARR answering an SCM.
std::string MocArr(const std::string& scm, const char* code) {
  return "ARR-000055" + scm.substr(10, 4) + "2026069123000" + code + scm.substr(100, 32) +
         scm.substr(133, 6) + std::string(1, '\0');
}

class CmdServerTest : public StationTest {
 protected:
  unsigned port = 0;

  void Configure(unsigned cmdPort, int sepwait = 5) {
    auto lines = CfgLines();
    lines[2] = "CmdPort = " + std::to_string(cmdPort);
    lines[9] = "ScmPort = 0";  // an ephemeral port
    lines[13] = "SepWait = " + std::to_string(sepwait);
    WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  }
  void StartAll() {
    ASSERT_EQ(StartHeld(), kStarted);
    ASSERT_EQ(StartCommandServer(), 0);
    port = static_cast<unsigned>(GetTCPServerPort(0));
    ASSERT_GT(port, 0u);
  }
  // Connects a client and waits until the station has given it a slot.
  std::unique_ptr<SepClient> Client() {
    int before = CountOut(" CONNECTED TO COMMAND SERVER");
    auto c = std::make_unique<SepClient>(port);
    EXPECT_TRUE(c->ok());
    EXPECT_TRUE(Pump([&] { return CountOut(" CONNECTED TO COMMAND SERVER") == before + 1; }));
    return c;
  }
  void TearDown() override {
    StopCommandServer();
    StationTest::TearDown();
  }
};

const std::string kSepPacket = Packet(0x240, 0x1234, std::string("\x01\x07", 2));

}  // namespace

TEST_F(CmdServerTest, ScmInThreePartsIsRelayedRestampedAndTheMocArrComesBackUnchanged) {
  CmdPeer moc;
  Configure(moc.port());
  StartAll();
  Program& p = P();
  auto sep = Client();

  const std::string scm = Scm('0', {kSepPacket, Packet(0x240, 7, std::string("\x02\x00\x05", 3))});
  sep->send(scm.substr(0, 50));
  ASSERT_TRUE(Pump([&] { return p.local.sep.buf.size() == 50; }));
  sep->send(scm.substr(50, 100));
  ASSERT_TRUE(Pump([&] { return p.local.sep.buf.size() == 150; }));
  EXPECT_EQ(p.cmdlink.flagArr, 0);  // nothing goes out before the SCM is whole
  sep->send(scm.substr(150));
  ASSERT_TRUE(Pump([&] { return moc.received().size() == scm.size(); })) << moc.received().size();
  EXPECT_EQ(CountOut("SEP SCM PART RECEIVED, TIMER ON"), 1);

  // Stamped: the station's message number, its sequence counts (0 then 1 from the real-time
  // counter), the sequence flags kept and each checksum made again; nothing else changed.
  std::string want = scm;
  want.replace(10, 4, "0001");
  std::string p1 = Packet(0x240, 0, std::string("\x01\x07", 2));
  std::string p2 = Packet(0x240, 1, std::string("\x02\x00\x05", 3));
  want.replace(133, p1.size(), p1);
  want.replace(133 + p1.size(), p2.size(), p2);
  EXPECT_EQ(moc.received(), want);
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 2u);
  EXPECT_EQ(p.cmdlink.flagArr, 1);
  EXPECT_EQ(p.cmdlink.sepFlg, 1);
  EXPECT_EQ(p.cmdlink.lcvCnt, 2);
  int items = 0;
  GetNumListItems(p.ui.cmdVerify, ids::kCvList, &items);
  EXPECT_EQ(items, 2);
  EXPECT_EQ(p.local.sep.septimer, 0u);

  // A heartbeat is not the SEP client's business; the success ARR is, byte for byte.
  moc.send(MocArr(want, "004"));
  const std::string ok = MocArr(want, "000");
  moc.send(ok);
  ASSERT_TRUE(Pump([&] { return sep->received().size() >= ok.size(); }));
  PumpFor(100);
  EXPECT_EQ(sep->received(), ok);
  EXPECT_EQ(p.cmdlink.sepFlg, 0);
  EXPECT_EQ(p.local.rbusy, 0);

  // The server is free again: a second SCM sent at once (before the timer has taken the success
  // in) is served and stamped on from where the first left.
  EXPECT_EQ(p.cmdlink.flagArr, 2);
  moc.clear();
  const std::string second = Scm('2', {kSepPacket});
  sep->send(second);
  ASSERT_TRUE(Pump([&] { return moc.received().size() == second.size(); }));
  EXPECT_EQ(moc.received().substr(10, 4), "0002");
  EXPECT_EQ(p.cmd.scm.ccsdsESC, 1u);  // time-tagged counter this time
  // Only the second SCM's counts wait for its ARR: the first one's were taken in.
  EXPECT_EQ(p.cmd.scm.seqinc, (std::array<int, 4>{0, 1, 0, 0}));
  EXPECT_EQ(p.cmdlink.flagArr, 1);
}

TEST_F(CmdServerTest, OverrunsBusyClientsAndTheAssemblyTimeOut) {
  CmdPeer moc;
  Configure(moc.port(), 3);
  StartAll();
  Program& p = P();
  auto a = Client();
  auto b = Client();

  // One byte more than the length field announces: "006", nothing to the MOC.
  a->send(Scm('0', {kSepPacket}) + "X");
  ASSERT_TRUE(Pump([&] { return a->received().size() >= 69; }));
  EXPECT_EQ(Code(a->received()), "006");
  EXPECT_EQ(a->received().substr(10, 4), "0042");
  EXPECT_EQ(CountOut("SEP SCM TOO MANY BYTES, BAD ARR SENT"), 1);
  EXPECT_EQ(moc.received(), "");
  EXPECT_EQ(p.local.rbusy, 0);

  // A length field that announces more than the assembly holds is refused at once.
  std::string huge = Scm('0', {kSepPacket});
  huge.replace(4, 6, "999999");
  b->send(huge);
  ASSERT_TRUE(Pump([&] { return b->received().size() >= 69; }));
  EXPECT_EQ(Code(b->received()), "006");
  EXPECT_TRUE(p.local.sep.buf.empty());

  // a starts an SCM and is served; b, sending twice meanwhile, is told "107" once.
  const std::string scm = Scm('0', {kSepPacket});
  a->send(scm.substr(0, 60));
  ASSERT_TRUE(Pump([&] { return p.local.sep.buf.size() == 60; }));
  const std::size_t bBefore = b->received().size();
  b->send(Scm('0', {kSepPacket}, "", "OTHER"));
  ASSERT_TRUE(Pump([&] { return b->received().size() >= bBefore + 69; }));
  b->send(Scm('0', {kSepPacket}, "", "OTHER"));
  PumpFor(300);
  ASSERT_EQ(b->received().size(), bBefore + 69);
  const std::string busy = b->received().substr(bBefore);
  EXPECT_EQ(Code(busy), "107");
  EXPECT_EQ(busy.substr(30, 32), std::string(27, ' ') + "OTHER");  // built from b's own SCM
  EXPECT_EQ(p.local.sep.buf.size(), 60u);  // b's bytes never joined a's SCM

  // a never sends the rest: after sepwait + 2 seconds it gets "015" and the server is free.
  const std::size_t aBefore = a->received().size();
  for (int i = 0; i < 3 + 1; ++i) DoTick();
  PumpFor(200);
  EXPECT_EQ(a->received().size(), aBefore);
  EXPECT_EQ(CountOut("TIMEOUT WAITING FOR SEP SCM"), 0);
  DoTick();
  ASSERT_TRUE(Pump([&] { return a->received().size() >= aBefore + 69; }));
  EXPECT_EQ(Code(a->received().substr(aBefore)), "015");
  EXPECT_EQ(CountOut("TIMEOUT WAITING FOR SEP SCM, BAD ARR SENT"), 1);
  EXPECT_EQ(p.local.rbusy, 0);
  EXPECT_TRUE(p.local.sep.buf.empty());
  EXPECT_EQ(moc.received(), "");

  // Now b is served with a fresh start.
  b->send(scm);
  ASSERT_TRUE(Pump([&] { return moc.received().size() == scm.size(); }));
}

TEST_F(CmdServerTest, StoreFilesAreKeptUnderScmAndNeverLeaveIt) {
  CmdPeer moc;
  Configure(moc.port());
  StartAll();
  auto sep = Client();
  fs::create_directories(dir / "scm");

  const std::string store = Scm('-', {kSepPacket, kSepPacket}, "SEQ 01", "STORE1");
  sep->send(store);
  ASSERT_TRUE(Pump([&] { return sep->received().size() >= 69; }));
  EXPECT_EQ(Code(sep->received()), "000");
  EXPECT_EQ(Slurp(dir / "scm/SEQ01.SCM"), store);
  EXPECT_EQ(CountOut("STORE1 SAVED FOR SEP"), 1);
  PumpFor(100);
  EXPECT_EQ(moc.connections(), 0);
  EXPECT_EQ(moc.received(), "");

  // Names that would leave the folder are refused.
  int n = 69;
  for (const char* bad : {"../EVIL", "/tmp/EVIL", "..\\EVIL", "C:EVIL"}) {
    sep->send(Scm('-', {kSepPacket}, bad, "BAD"));
    ASSERT_TRUE(Pump([&] { return static_cast<int>(sep->received().size()) >= n + 69; })) << bad;
    EXPECT_EQ(Code(sep->received().substr(static_cast<std::size_t>(n))), "109") << bad;
    n += 69;
  }
  EXPECT_FALSE(fs::exists(dir / "EVIL.SCM"));
  EXPECT_FALSE(fs::exists("/tmp/EVIL.SCM"));

  // A store file whose packet does not sum to zero is not kept.
  std::string broken = Scm('-', {kSepPacket}, "SEQ02", "STORE2");
  broken[140] ^= 0x01;
  sep->send(broken);
  ASSERT_TRUE(Pump([&] { return static_cast<int>(sep->received().size()) >= n + 69; }));
  EXPECT_EQ(Code(sep->received().substr(static_cast<std::size_t>(n))), "106");
  EXPECT_FALSE(fs::exists(dir / "scm/SEQ02.SCM"));
  EXPECT_EQ(moc.connections(), 0);
}

TEST_F(CmdServerTest, RefusedScmsAreAnsweredWithTheirCodeAndMoveNoCounter) {
  RefusingPort closed;
  Configure(closed.port());
  // The SEP's 0x240 commands are hazardous in this database.
  std::string ctm = CtmText();
  ctm.replace(ctm.find("SEPReset 0x240 1 ; 1"), 20, "SEPReset 0x240 1 ; 1 H fires");
  WriteFile(dir / "database/VANTIS_ctm.prn", ctm);
  StartAll();
  Program& p = P();
  auto sep = Client();
  std::size_t seen = 0;
  auto next = [&](const std::string& bytes) {
    sep->send(bytes);
    EXPECT_TRUE(Pump([&] { return sep->received().size() >= seen + 69; }));
    std::string arr = sep->received().substr(seen, 69);
    seen += 69;
    return Code(arr);
  };

  // Not an SCM header.
  std::string notScm = Scm('0', {kSepPacket});
  notScm.replace(0, 4, "XYZ-");
  EXPECT_EQ(next(notScm), "109");
  // A packet count that runs past the message.
  std::string shortScm = Scm('0', {kSepPacket});
  shortScm.replace(27, 2, "03");
  EXPECT_EQ(next(shortScm), "109");
  // A bad checksum.
  std::string bad = Scm('0', {kSepPacket});
  bad[140] ^= 0x40;  // a data byte
  EXPECT_EQ(next(bad), "106");
  EXPECT_EQ(CountOut("SEPTEST SEP FILE HAS BAD CHECKSUM"), 1);
  // The operator cancels the hazardous SCM.
  popups.clearTranscript();
  popups.queue("yes");
  EXPECT_EQ(next(Scm('0', {kSepPacket, kSepPacket})), "108");
  ASSERT_EQ(popups.transcript().size(), 1u);
  EXPECT_EQ(popups.transcript()[0].title, "Warning, Hazardous SCM");
  EXPECT_EQ(popups.transcript()[0].text, "SCM Contains 2 hazardous command(s)!\nDo you want to cancel?");
  EXPECT_EQ(CountOut("SEPTEST USER CANCELLED HAZARDOUS SCM!"), 1);
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 0u);
  // Kept by the operator, but no MOC to take it: stamped, then undone.
  popups.queue("no");
  EXPECT_EQ(next(Scm('0', {kSepPacket})), "104");
  EXPECT_EQ(CountOut("SEPTEST NO MOC CONNECTION!"), 1);
  EXPECT_EQ(p.cmd.scm.ccsdsSC, 0u);
  EXPECT_TRUE(p.cmd.scm.cv.empty());
  // A script running and stored SCMs not allowed during scripts.
  p.script.scf = 1;
  p.script.okscm = 0;
  EXPECT_EQ(next(Scm('0', {kSepPacket})), "105");
  EXPECT_EQ(CountOut("SEPTEST SEP SCM REFUSED; SCRIPT RUNNING"), 1);
  p.script.scf = 0;
  // The station's own SCM awaiting its ARR: the SEP SCM must not take its place.
  p.cmdlink.flagArr = 1;
  EXPECT_EQ(next(Scm('0', {kSepPacket})), "105");
  p.cmdlink.flagArr = 0;

  EXPECT_EQ(p.cmd.scm.ccsdsSC, 0u);
  EXPECT_EQ(p.cmd.scm.seqinc, (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(p.cmdlink.sepFlg, 0);
  EXPECT_EQ(p.local.rbusy, 0);
}

TEST_F(CmdServerTest, OnlyStoredScmSendLinesAreTakenFromTheNetwork) {
  CmdPeer moc;
  Configure(moc.port());
  StartAll();
  Program& p = P();
  auto sep = Client();
  const std::string stored = Scm('0', {kSepPacket}, "", "STORED");
  WriteFile(dir / "scm/TEST1.SCM", stored);
  WriteFile(dir / "cmd/X.cmd", "rec on\n");
  std::size_t seen = 0;
  auto next = [&](const std::string& line) {
    sep->send(line);
    EXPECT_TRUE(Pump([&] { return sep->received().size() >= seen + 69; })) << line;
    std::string arr = sep->received().substr(seen, 69);
    seen += 69;
    return Code(arr);
  };

  for (const char* line : {"send start x\r\n", "SEND SET MOC OFF", "send savecmd", "sendscm off",
                           "send schedule x", "Send ../cfg/korvex.cfg", "send /etc/passwd"})
    EXPECT_EQ(next(line), "109") << line;
  EXPECT_EQ(CountOut("SEP LINE REFUSED FROM LOCALHOST: SEND START X"), 1);
  EXPECT_EQ(CountOut("SEP LINE REFUSED FROM LOCALHOST: SENDSCM OFF"), 1);
  EXPECT_EQ(p.script.scf, 0);           // no script started
  EXPECT_FALSE(p.arc.svcmdfp.open());   // no saved-command file opened
  EXPECT_EQ(p.script.okscm, 0);
  // A file that is not there: no file dialog on the operator's screen, the client is told.
  popups.clearTranscript();
  EXPECT_EQ(next("send nothere"), "109");
  EXPECT_TRUE(popups.transcript().empty());
  EXPECT_EQ(moc.received(), "");

  // The stored SCM itself goes out stamped, and the MOC's ARR comes back.
  sep->send("send test1\r\n");
  ASSERT_TRUE(Pump([&] { return moc.received().size() == stored.size(); }));
  EXPECT_EQ(moc.received().substr(10, 4), "0001");
  EXPECT_EQ(p.cmdlink.sepFlg, 1);
  const std::string ok = MocArr(moc.received(), "000");
  moc.send(ok);
  ASSERT_TRUE(Pump([&] { return sep->received().size() >= seen + 69; }));
  EXPECT_EQ(sep->received().substr(seen), ok);
  EXPECT_EQ(p.local.rbusy, 0);
}

TEST_F(CmdServerTest, AnErrorArrReachesTheClientOnlyWhenTheOperatorGivesTheScmUp) {
  CmdPeer moc;
  Configure(moc.port());
  StartAll();
  Program& p = P();
  auto sep = Client();
  auto other = Client();
  const std::string scm = Scm('0', {kSepPacket});
  sep->send(scm);
  ASSERT_TRUE(Pump([&] { return moc.received().size() == scm.size(); }));
  const std::string err = MocArr(moc.received(), "013");
  moc.send(err);
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 3; }));
  PumpFor(100);
  EXPECT_EQ(sep->received(), "");  // the operator may still resend it
  EXPECT_EQ(p.local.rbusy, 1);
  popups.queue("no");  // no resend
  DoTick();
  ASSERT_TRUE(Pump([&] { return sep->received().size() >= 69; }));
  EXPECT_EQ(sep->received(), err);
  EXPECT_EQ(p.local.rbusy, 0);
  EXPECT_EQ(p.cmdlink.sepFlg, 0);

  // The next success ARR (of the operator's own command) is nobody's business on the server.
  EXPECT_EQ(RunCommandLine("/IDPUNoop 5"), 0);
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 1 && moc.connections() == 2; }));
  moc.send(MocArr(std::string(139, '0'), "000"));
  ASSERT_TRUE(Pump([&] { return p.cmdlink.flagArr == 2; }));
  PumpFor(100);
  EXPECT_EQ(sep->received(), err);
  EXPECT_EQ(other->received(), "");
}

TEST_F(CmdServerTest, SlotsLampsAndDisconnects) {
  Configure(RefusingPort().port());
  StartAll();
  Program& p = P();
  std::vector<std::unique_ptr<SepClient>> cs;
  for (int i = 0; i < 10; ++i) cs.push_back(Client());
  int lamp = 0;
  GetCtrlVal(p.ui.localServer, ids::kLsScmLamp, &lamp);
  EXPECT_EQ(lamp, 1);
  std::string name;
  GetCtrlVal(p.ui.localClients, ids::kLcCmdNameFirst + 9, &name);
  EXPECT_EQ(name, "LOCALHOST");
  popups.clearTranscript();
  SepClient eleventh(port);
  ASSERT_TRUE(Pump([&] { return !popups.transcript().empty(); }));
  EXPECT_EQ(popups.transcript()[0].text, "Client failed to connect!");

  // The served client leaving frees the server for the others.
  cs[0]->send(Scm('0', {kSepPacket}).substr(0, 40));
  ASSERT_TRUE(Pump([&] { return p.local.rbusy == 1; }));
  cs[0]->close();
  ASSERT_TRUE(Pump([&] { return CountOut(" DISCONNECTED FROM COMMAND SERVER") == 1; }));
  EXPECT_EQ(p.local.rbusy, 0);
  EXPECT_TRUE(p.local.sep.buf.empty());

  // One by the operator's button (logged), then all (not logged).
  SetCtrlVal(p.ui.localClients, ids::kLcCmdSlot, 2);
  rte::SendEvent(p.ui.localClients, ids::kLcCmdDrop, EVENT_COMMIT, 0);
  EXPECT_EQ(CountOut(" DISCONNECTED FROM COMMAND SERVER"), 2);
  rte::SendEvent(p.ui.localClients, ids::kLcCmdDropAll, EVENT_COMMIT, 0);
  EXPECT_EQ(CountOut(" DISCONNECTED FROM COMMAND SERVER"), 2);
  GetCtrlVal(p.ui.localServer, ids::kLsScmLamp, &lamp);
  EXPECT_EQ(lamp, 0);
  for (int h : p.local.rHandle) EXPECT_EQ(h, -1);
}
