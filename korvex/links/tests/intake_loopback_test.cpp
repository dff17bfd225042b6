// The telemetry intake end to end over a real loopback connection: 10,000 records with faults,
// recorded byte for byte and counted per APID and per class.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <map>

#include "core/tests/station_fixture.h"
#include "links/tests/loopback_server.h"
#include "links/tests/tlm_records.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

constexpr int kRecords = 10000;
constexpr int kSwitchAt = 5000;
constexpr int kIllegalAt = 1234;
constexpr int kBadSumAt = 2345;
constexpr int kSplitAt = 3456;
const int kApids[] = {0x200, 0x201, 0x210, 0x241, 0x313, 0x305, 0x00B, 0x0C0, 0x27F, 0x37F, 0x01E};

struct Stream {
  std::vector<std::vector<std::uint8_t>> records;
  std::map<int, int> perApid;  // as the station counts them (illegal as 0)
  std::vector<Piece> pieces;
};

Stream MakeStream() {
  Stream s;
  for (int i = 0; i < kRecords; ++i) {
    int apid = kApids[i % std::size(kApids)];
    if (i == kIllegalAt) apid = 0x1A3;
    if (i == kBadSumAt) apid = 0x210;
    std::uint8_t sc = i < kSwitchAt ? kSpacecraftA : kSpacecraftB;
    s.records.push_back(TlmRecord(apid, sc, static_cast<unsigned>(i), i == kBadSumAt));
    s.perApid[apid == 0x1A3 ? 0 : apid]++;
  }
  // Cut the stream in writes that ignore record boundaries, but send the split record in three
  // pieces with pauses, so that it arrives over three reads.
  std::vector<std::uint8_t> pending;
  auto flush = [&](int pause) {
    if (!pending.empty()) s.pieces.push_back({pending, pause});
    pending.clear();
  };
  for (int i = 0; i < kRecords; ++i) {
    const auto& r = s.records[i];
    if (i == kSplitAt) {
      flush(30);
      s.pieces.push_back({{r.begin(), r.begin() + 100}, 30});
      s.pieces.push_back({{r.begin() + 100, r.begin() + 250}, 30});
      s.pieces.push_back({{r.begin() + 250, r.end()}, 30});
      continue;
    }
    pending.insert(pending.end(), r.begin(), r.end());
    if (pending.size() >= 7777) {
      std::vector<std::uint8_t> rest(pending.begin() + 7777, pending.end());
      pending.resize(7777);
      flush(0);
      pending = rest;
    }
  }
  flush(0);
  return s;
}

std::string Concat(const Stream& s, int from, int to) {
  std::string out;
  for (int i = from; i < to; ++i) out.append(s.records[i].begin(), s.records[i].end());
  return out;
}

}  // namespace

TEST_F(StationTest, TenThousandRecordsOverLoopbackAreRecordedAndCounted) {
  Stream s = MakeStream();
  LoopbackServer server(s.pieces);
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();

  RunCommandLine("REC ON");
  RunCommandLine("set tsrv 127.0.0.1 " + std::to_string(server.port()));
  RunCommandLine("set moc");
  ASSERT_GE(p.link.tHandle, 0) << "station did not connect";

  QElapsedTimer t;
  t.start();
  while (p.link.records < static_cast<std::uint64_t>(kRecords) && t.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(p.link.records, static_cast<std::uint64_t>(kRecords));
  EXPECT_EQ(server.received(), 1u);  // "set moc" with no text writes one line feed

  // Recordings: exactly what was sent, split by spacecraft.
  EXPECT_EQ(Logs(".tlm"), (std::vector<std::string>{"A2603101230.tlm", "B2603101230.tlm"}));
  EXPECT_TRUE(Slurp(dir / "log/A2603101230.tlm") == Concat(s, 0, kSwitchAt));
  EXPECT_TRUE(Slurp(dir / "log/B2603101230.tlm") == Concat(s, kSwitchAt, kRecords));
  EXPECT_EQ(Logs(".log"), (std::vector<std::string>{"A2603101230.log", "B2603101230.log"}));
  EXPECT_EQ(Logs(".arr"), (std::vector<std::string>{"A2603101230.arr", "B2603101230.arr"}));
  EXPECT_EQ(CountIn(dir / "log/A2603101230.log", "ERROR! APID 1A3 IS ILLEGAL!"), 1);
  EXPECT_EQ(CountIn(dir / "log/A2603101230.log", "BAD CHECKSUM APID 210"), 1);
  EXPECT_EQ(CountIn(dir / "log/A2603101230.log", "EVENT LOG"), 1);  // renamed, not restarted
  EXPECT_EQ(CountIn(dir / "log/B2603101230.log", "ILLEGAL"), 0);

  // Counts per APID and per class.
  const Counters& c = p.link.counters;
  for (auto [apid, n] : s.perApid) EXPECT_EQ(c.perApid[apid], static_cast<std::uint64_t>(n)) << apid;
  auto n = [&](int apid) { return static_cast<std::uint32_t>(s.perApid[apid]); };
  EXPECT_EQ(c.illegal, 1u);
  EXPECT_EQ(c.chksum[kChksumTotal], 1u);
  EXPECT_EQ(c.chksum[0x210], 1u);
  EXPECT_EQ(c.summary[kSumSpacecraft], n(0x00B) + n(0x0C0) + n(0x01E) + n(0));
  EXPECT_EQ(c.summary[kSumInstrument], n(0x201) + n(0x210) + n(0x27F) + n(0x305) + n(0x37F));
  EXPECT_EQ(c.summary[34], n(0x200) + n(0x241));  // heading 1 holds 200 and (after 240-26F) 241
  EXPECT_EQ(c.summary[33], n(0x313));
  EXPECT_EQ(c.group[1][16], n(0x200));
  EXPECT_EQ(c.group[1][14], n(0x241));
  EXPECT_EQ(c.group[2][16], n(0x313));
  EXPECT_EQ(c.range200[0x10], n(0x210));
  EXPECT_EQ(c.range200[0x7F], n(0x27F));
  EXPECT_EQ(c.range300[0x05], n(0x305));
  int shown = 0;
  GetCtrlVal(p.ui.range300, ids::kRgFirst + 0x13, &shown);
  EXPECT_EQ(static_cast<std::uint32_t>(shown), n(0x313));
  GetCtrlVal(p.ui.summary, kSumSpacecraft, &shown);
  EXPECT_EQ(static_cast<std::uint32_t>(shown), c.summary[kSumSpacecraft]);

  // The server going away is reported and the link marked closed.
  RunCommandLine("set moc off");
  EXPECT_EQ(p.link.tHandle, -1);
}

// The operator's switch: the first connection uses the configuration and types "START MOCSET";
// later ones ask for server and port; the server closing the port is reported.
TEST_F(StationTest, TelemetrySwitchPromptsAndServerClose) {
  auto rec = TlmRecord(0x200, kSpacecraftA, 1);
  auto server = std::make_unique<LoopbackServer>(std::vector<Piece>{{rec, 0}});
  WriteFile(dir / "cfg/korvex.cfg", Join(CfgLines(server->port())));
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();

  rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 1.0);
  ASSERT_GE(p.link.tHandle, 0);
  int lamp = 0;
  GetCtrlVal(p.ui.link, ids::kLkTlmLamp, &lamp);
  EXPECT_EQ(lamp, 1);
  QElapsedTimer t;
  t.start();
  while ((p.link.records < 1 || CountOut("START MOCSET") == 0) && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(p.link.records, 1u);
  EXPECT_EQ(p.core.aorb, 1);
  // The automatic line runs through the interpreter, where scripts are not known yet.
  EXPECT_EQ(CountOut("START MOCSET IS NOT RECOGNIZED!"), 1);

  server.reset();  // the MOC goes away
  t.restart();
  while (p.link.tHandle >= 0 && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(p.link.tHandle, -1);
  ASSERT_FALSE(popups.transcript().empty());
  EXPECT_EQ(popups.transcript().back().title, "Server has closed TLM Port!");
  EXPECT_EQ(popups.transcript().back().text, "-14  ConnectionClosed");
  // Also in the event log, with the server and port.
  EXPECT_EQ(CountOut("TELEMETRY LINK LOST: 127.0.0.1:" + std::to_string(p.link.portTlm) +
                     ": -14  CONNECTIONCLOSED"),
            1);
  GetCtrlVal(p.ui.link, ids::kLkTlmLamp, &lamp);
  EXPECT_EQ(lamp, 0);
  EXPECT_EQ(p.core.aorb, 1);  // the spacecraft stays known

  // Second connection: the operator is asked, and "exit" stops it.
  popups.clearTranscript();
  popups.queue("EXIT");
  rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 1.0);
  ASSERT_EQ(popups.transcript().size(), 1u);
  EXPECT_EQ(popups.transcript()[0].title, "Server Name?");
  EXPECT_EQ(popups.transcript()[0].text,
            "Type the name or IP adress of the server.\n(Click OK for 127.0.0.1)");
  EXPECT_EQ(p.link.tHandle, -1);

  // Asked again: a new server name and port.
  LoopbackServer second({{rec, 0}});
  popups.clearTranscript();
  popups.queue("localhost");
  popups.queue(std::to_string(second.port()));
  rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 1.0);
  ASSERT_EQ(popups.transcript().size(), 2u);
  EXPECT_EQ(popups.transcript()[1].title, "Telemetry Port Number?");
  EXPECT_NE(popups.transcript()[1].text.find("Type the port number for telemetry.\n(Click OK for "),
            std::string::npos);
  EXPECT_EQ(p.link.telemServ, "localhost");
  EXPECT_GE(p.link.tHandle, 0);

  // Switching off forgets the spacecraft.
  rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 0.0);
  EXPECT_EQ(p.link.tHandle, -1);
  EXPECT_EQ(p.core.aorb, 0);
}

// Any byte stream: random records cut into random pieces. Nothing overruns, every whole record is
// handled once, and each spacecraft's recording holds exactly its records.
TEST_F(StationTest, RandomStreamInRandomPiecesIsHandledWhole) {
  constexpr int kCount = 2000;
  std::uint32_t seed = 12345;
  auto rnd = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  std::vector<std::uint8_t> stream;
  std::string expectA, expectB;
  int aorb = 0;
  for (int i = 0; i < kCount; ++i) {
    std::vector<std::uint8_t> r(kRecordSize);
    for (auto& b : r) b = static_cast<std::uint8_t>(rnd());
    int pick = static_cast<int>(rnd() % 10);
    r[6] = pick < 4 ? kSpacecraftA : pick < 8 ? kSpacecraftB : r[6];
    if (int now = SpacecraftChange(r[6], aorb)) aorb = now;
    if (aorb == 1) expectA.append(r.begin(), r.end());
    if (aorb == 2) expectB.append(r.begin(), r.end());
    stream.insert(stream.end(), r.begin(), r.end());
  }
  std::vector<Piece> pieces;
  for (std::size_t off = 0; off < stream.size();) {
    std::size_t n = std::min<std::size_t>(1 + rnd() % 5000, stream.size() - off);
    pieces.push_back({{stream.begin() + off, stream.begin() + off + n}, static_cast<int>(rnd() % 3)});
    off += n;
  }
  LoopbackServer server(pieces);
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  RunCommandLine("REC ON");
  RunCommandLine("set tsrv 127.0.0.1 " + std::to_string(server.port()));
  RunCommandLine("set moc");
  QElapsedTimer t;
  t.start();
  while (p.link.records < static_cast<std::uint64_t>(kCount) && t.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(p.link.records, static_cast<std::uint64_t>(kCount));
  EXPECT_EQ(p.link.rx.held, 0u);
  EXPECT_TRUE(Slurp(dir / "log/A2603101230.tlm") == expectA);
  EXPECT_TRUE(Slurp(dir / "log/B2603101230.tlm") == expectB);
}

// Recording on identification and the automatic "START MOCSET" share the command line: a record
// that arrives during the second before Enter records itself, and "START MOCSET" still runs.
TEST_F(StationTest, StartMocsetSurvivesARecordDuringItsSecond) {
  auto rec = TlmRecord(0x200, kSpacecraftA, 1);
  LoopbackServer server({{rec, 0}});
  auto lines = CfgLines(server.port());
  lines[25] = "Recon = 1";
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 1.0);
  ASSERT_GE(p.link.tHandle, 0);
  EXPECT_EQ(p.link.records, 1u);  // handled while the station waited to press Enter
  QElapsedTimer t;
  t.start();
  while (CountOut("START MOCSET") == 0 && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(CountOut("START MOCSET IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(CountOut("REC ON"), 1);
  EXPECT_EQ(Logs(".tlm"), std::vector<std::string>{"A2603101230.tlm"});
  EXPECT_EQ(Slurp(dir / "log/A2603101230.tlm"), std::string(rec.begin(), rec.end()));
}
