// The simulator binary on loopback: ephemeral ports, a split record, the record count, SCMs in and
// ARRs out, and executed commands seen again in the housekeeping.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "arr.h"
#include "packet.h"
#include "scm_helpers.h"

using namespace mocsim;

namespace {

QCoreApplication* app() {
  static int argc = 1;
  static char name[] = "mocsim_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* a = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
  return a;
}

// Reads the first lines the simulator prints until the port line for `what` shows up.
int readPort(QProcess& p, const char* what, int timeoutMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < timeoutMs) {
    while (p.canReadLine()) {
      QByteArray l = p.readLine().trimmed();
      if (l.startsWith(QByteArray(what) + " PORT ")) return l.mid(int(std::strlen(what)) + 6).toInt();
    }
    p.waitForReadyRead(200);
  }
  return -1;
}

QByteArray readExactly(QTcpSocket& s, qint64 n, int timeoutMs, std::vector<qint64>* chunks = nullptr) {
  QByteArray out;
  QElapsedTimer t;
  t.start();
  while (out.size() < n && t.elapsed() < timeoutMs) {
    if (s.bytesAvailable() == 0 && !s.waitForReadyRead(200)) continue;
    QByteArray b = s.read(n - out.size());
    if (chunks && !b.isEmpty()) chunks->push_back(b.size());
    out += b;
  }
  return out;
}

struct Sim {
  QProcess p;
  ~Sim() {
    if (p.state() != QProcess::NotRunning) {
      p.terminate();
      if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
      }
    }
  }
};

const char* kSmallTlm =
    "ICommandCount\t2\t24\tU16\t16\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "ICommandLastID\t1\t26\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "ICommandLastSeq\t1\t27\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "Total Bytes\t272\n";

}  // namespace

TEST(MocsimLoopback, SplitRecordArrivesWholeAndRecordCountMatches) {
  app();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QStringList common = {"--station", dir.path(), "--count", "120", "--apids", "200,210,202", "--start-time",
                        "1800000000", "--step", "0.01", "--fault", "split@60=100+150+48,badck@40"};
  // The same plan written to a file is the reference.
  QString ref = dir.filePath("ref.tlm");
  QProcess w;
  w.start(MOCSIM_BINARY, common + QStringList{"--write", ref});
  ASSERT_TRUE(w.waitForFinished(20000));
  ASSERT_EQ(w.exitCode(), 0) << w.readAllStandardOutput().toStdString();
  QFile f(ref);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray expected = f.readAll();
  ASSERT_EQ(expected.size(), 120 * kRecordSize);

  Sim sim;
  QString manifest = dir.filePath("m.json");
  sim.p.start(MOCSIM_BINARY, common + QStringList{"--tlm-port", "0", "--cmd-port", "off", "--rate", "0",
                                                   "--manifest", manifest, "--exit-when-done"});
  ASSERT_TRUE(sim.p.waitForStarted(5000));
  int port = readPort(sim.p, "TLM");
  ASSERT_GT(port, 0);
  QTcpSocket s;
  s.connectToHost("127.0.0.1", quint16(port));
  ASSERT_TRUE(s.waitForConnected(5000));
  s.write("START MOCSET\n");  // the text the station writes on this connection is only logged
  std::vector<qint64> chunks;
  QByteArray got = readExactly(s, 120 * kRecordSize, 20000, &chunks);
  ASSERT_EQ(got.size(), 120 * kRecordSize);
  EXPECT_EQ(got.mid(60 * kRecordSize, kRecordSize), expected.mid(60 * kRecordSize, kRecordSize));
  EXPECT_EQ(got, expected);
  // Nothing follows the last record.
  EXPECT_FALSE(s.waitForReadyRead(300) && s.bytesAvailable() > 0);
  ASSERT_TRUE(sim.p.waitForFinished(10000));
  QByteArray out = sim.p.readAllStandardOutput();
  EXPECT_TRUE(out.contains("SPLIT record 60 piece 3/3: 48 bytes")) << out.toStdString();
  EXPECT_TRUE(out.contains("DONE records=120 bytes=35760"));
  EXPECT_TRUE(out.contains("TLM TEXT START MOCSET")) << out.toStdString();
  EXPECT_TRUE(QFile::exists(manifest));
}

TEST(MocsimLoopback, ScmAnsweredAndExecutedCommandReachesHousekeeping) {
  app();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QDir(dir.path()).mkdir("database");
  {
    QFile db(dir.filePath("database/VANTIS_tlm.txt"));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.write(kSmallTlm);
  }
  Sim sim;
  sim.p.start(MOCSIM_BINARY, {"--station", dir.path(), "--tlm-port", "0", "--cmd-port", "0", "--rate", "100",
                              "--apids", "200", "--arr-plan", "ok,13", "--heartbeat", "0.2", "--scm-timeout", "0.3"});
  ASSERT_TRUE(sim.p.waitForStarted(5000));
  int tport = readPort(sim.p, "TLM");
  int cport = readPort(sim.p, "CMD");
  ASSERT_GT(tport, 0);
  ASSERT_GT(cport, 0);

  QTcpSocket c;
  c.connectToHost("127.0.0.1", quint16(cport));
  ASSERT_TRUE(c.waitForConnected(5000));
  auto next = [&](bool heartbeat) {
    // ARRs and heartbeats share the connection: read 69-byte units until the wanted kind.
    for (int i = 0; i < 100; ++i) {
      QByteArray a = readExactly(c, kArrSize, 5000);
      if (a.size() != kArrSize) return QByteArray();
      Arr arr;
      std::memcpy(arr.data(), a.constData(), kArrSize);
      if ((arrCode(arr) == kArrHeartbeat) == heartbeat) return a;
    }
    return QByteArray();
  };
  auto scm1 = mocsimtest::scm({mocsimtest::telecommand(0x208, 300, {8, 1})}, "0007");
  c.write(reinterpret_cast<const char*>(scm1.data()), qint64(scm1.size()));
  QByteArray a1 = next(false);
  ASSERT_EQ(a1.size(), kArrSize);
  EXPECT_EQ(a1.left(14), QByteArray("ARR-0000550007"));
  EXPECT_EQ(a1.mid(27, 3), QByteArray("000"));
  // The second SCM is answered with the planned error code and not executed; it arrives in two parts.
  auto scm2 = mocsimtest::scm({mocsimtest::telecommand(0x209, 301, {9})}, "0008");
  c.write(reinterpret_cast<const char*>(scm2.data()), 50);
  c.flush();
  c.waitForBytesWritten(1000);
  c.write(reinterpret_cast<const char*>(scm2.data()) + 50, qint64(scm2.size()) - 50);
  QByteArray a2 = next(false);
  ASSERT_EQ(a2.size(), kArrSize);
  EXPECT_EQ(a2.mid(10, 4), QByteArray("0008"));
  EXPECT_EQ(a2.mid(27, 3), QByteArray("013"));

  QTcpSocket t;
  t.connectToHost("127.0.0.1", quint16(tport));
  ASSERT_TRUE(t.waitForConnected(5000));
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    QByteArray r = readExactly(t, kRecordSize, 5000);
    ASSERT_EQ(r.size(), kRecordSize);
    auto st = [&](int off) { return uint8_t(r[kHeaderSize + (off ^ 1)]); };
    int count = st(24) | (st(25) << 8);
    if (count == 1) {
      EXPECT_EQ(st(26), 0x08);        // command identifier of APID 0x208
      EXPECT_EQ(st(27), 300 & 0xFF);  // low byte of its sequence count
      seen = true;
    } else {
      EXPECT_EQ(count, 0);
    }
  }
  EXPECT_TRUE(seen);
}

namespace {

// The ARR the MOC owes `scm`: everything but the time field (14-26) is fixed by the message.
QByteArray expectedArr(const std::vector<uint8_t>& scm, const char* code) {
  QByteArray a("ARR-000055");
  for (int i = 10; i < 14; ++i) a += char(scm.size() > size_t(i) ? scm[size_t(i)] : '0');
  a += QByteArray(13, '?');
  a += code;
  for (int i = 100; i < 132; ++i) a += char(scm.size() > size_t(i) ? scm[size_t(i)] : ' ');
  for (int i = 133; i < 139; ++i) a += char(scm.size() > size_t(i) ? scm[size_t(i)] : 0);
  a += char(0);
  return a;
}

// Compares an ARR with the expected one; the time field only has to be 13 digits.
void expectArr(const QByteArray& got, const QByteArray& want, const char* what) {
  ASSERT_EQ(got.size(), kArrSize) << what;
  for (int i = 14; i < 27; ++i) EXPECT_TRUE(got[i] >= '0' && got[i] <= '9') << what << " time byte " << i;
  QByteArray g = got;
  g.replace(14, 13, QByteArray(13, '?'));
  EXPECT_EQ(g.toHex(' ').toStdString(), want.toHex(' ').toStdString()) << what;
}

struct CmdLink {
  Sim sim;
  QTcpSocket c;
  bool open(const QStringList& extra) {
    sim.p.start(MOCSIM_BINARY, QStringList{"--station", ".", "--tlm-port", "off", "--cmd-port", "0"} + extra);
    if (!sim.p.waitForStarted(5000)) return false;
    int port = readPort(sim.p, "CMD");
    if (port <= 0) return false;
    c.connectToHost("127.0.0.1", quint16(port));
    return c.waitForConnected(5000);
  }
  void send(const std::vector<uint8_t>& b) {
    c.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    c.flush();
    c.waitForBytesWritten(1000);
  }
  QByteArray arr() { return readExactly(c, kArrSize, 8000); }
  // The simulator's log up to the line holding `until` (or all there is after a few seconds).
  QByteArray log(const char* until) {
    QElapsedTimer t;
    t.start();
    while (!out.contains(until) && t.elapsed() < 5000) {
      sim.p.waitForReadyRead(100);
      out += sim.p.readAllStandardOutput();
    }
    return out;
  }
  QByteArray out;
};

}  // namespace

TEST(MocsimCommandServer, EveryMalformationGetsItsCodeInAnExactArr) {
  app();
  CmdLink l;
  ASSERT_TRUE(l.open({"--scm-timeout", "0.5"}));
  using mocsimtest::scm;
  using mocsimtest::telecommand;

  // A sound message: code 0, bytes 10-13 its number, 30-61 its description field, 62-67 the primary
  // header of its first packet (0x02 0x08 = APID 0x208; 0xC1 0x2C = sequence 300; length field 2).
  auto good = scm({telecommand(0x208, 300, {8, 1}), telecommand(0x209, 301, {9})}, "0101");
  l.send(good);
  QByteArray want = QByteArray("ARR-0000550101") + QByteArray(13, '?') + "000" +
                    QByteArray(18, ' ') + "IDPUTlmNominal" + QByteArray::fromHex("0208C12C0002") + QByteArray(1, 0);
  expectArr(l.arr(), want, "sound message");

  struct Case {
    const char* what;
    std::vector<uint8_t> scm;
    const char* code;
  };
  std::vector<Case> cases;
  {
    auto s = scm({telecommand(0x200, 1, {1})}, "0102");
    s[132] = ' ';
    cases.push_back({"end mark missing", s, "013"});
  }
  cases.push_back({"packet count", scm({telecommand(0x200, 2, {1})}, "0103", "EA", "VANTIS", 2), "003"});
  cases.push_back({"bad checksum", scm({telecommand(0x200, 3, {1}), telecommand(0x201, 4, {2}, true)}, "0104"), "022"});
  {
    auto s = scm({telecommand(0x200, 5, {1, 2, 3})}, "0105");
    s[133 + 5] = 9;  // the packet claims 16 bytes, 10 are there
    cases.push_back({"packet data short", s, "018"});
  }
  {
    auto s = scm({telecommand(0x200, 6, {1})}, "0106");
    s.insert(s.end(), {0xAA, 0xBB, 0xCC});
    std::memcpy(s.data() + 4, "000130", 6);  // 144 bytes: the message length counts the stray bytes
    cases.push_back({"packet lengths vs message", s, "015"});
  }
  {
    // A control header cut short at 100 bytes, its length field saying so.
    auto s = scm({telecommand(0x200, 7, {1})}, "0107");
    s.resize(100);
    std::memcpy(s.data() + 4, "000086", 6);
    cases.push_back({"short header", s, "001"});
  }
  cases.push_back({"spacecraft", scm({telecommand(0x200, 8, {1})}, "0108", "EC"), "010"});
  {
    // Bytes that are not text in the message number and the description: copied into the ARR as
    // they are; the log and the manifest must survive them.
    auto s = scm({telecommand(0x200, 13, {1})}, "\xCB\xFF" "01");
    s[120] = 0xFE;
    s[121] = 0x0A;
    cases.push_back({"binary header fields", s, "000"});
  }
  cases.push_back({"telecommand APID", scm({telecommand(0x1A3, 9, {1})}, "0109"), "014"});
  for (auto& k : cases) {
    l.send(k.scm);
    expectArr(l.arr(), expectedArr(k.scm, k.code), k.what);
  }
  // A length field that promises more than is sent: code 7 once the wait runs out, with what came.
  auto lng = scm({telecommand(0x200, 10, {1})}, "0110");
  lng.resize(lng.size() - 3);
  l.send(lng);
  expectArr(l.arr(), expectedArr(lng, "007"), "length beyond the bytes sent");
  // A length field that counts fewer bytes than arrive with it.
  auto more = scm({telecommand(0x200, 11, {1})}, "0111");
  auto sent = more;
  for (char ch : std::string("STRAYBYTES")) sent.push_back(uint8_t(ch));
  l.send(sent);
  expectArr(l.arr(), expectedArr(more, "006"), "more than the length");
  // Length digits that are not digits: the header is refused as a whole.
  std::vector<uint8_t> junk(140, 'Z');
  std::memcpy(junk.data() + 10, "0112", 4);
  l.send(junk);
  expectArr(l.arr(), expectedArr(junk, "001"), "length not decimal");
  // After all of it the server still answers a sound message, and nothing crashed.
  auto last = scm({telecommand(0x200, 12, {1})}, "0113");
  l.send(last);
  expectArr(l.arr(), expectedArr(last, "000"), "sound message at the end");
  EXPECT_EQ(l.sim.p.state(), QProcess::Running);
  QByteArray out = l.log("ARR ARR-0000550113");
  EXPECT_TRUE(out.contains("EXEC apid=0x208 seq=300 id=0x08 accepted")) << out.toStdString();
  EXPECT_FALSE(out.contains("EXEC apid=0x200 seq=3 ")) << "a refused message must not be executed";
  // Stopping writes the manifest of all of it.
  l.sim.p.terminate();
  ASSERT_TRUE(l.sim.p.waitForFinished(5000));
  EXPECT_EQ(l.sim.p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(l.sim.p.exitCode(), 0);
  EXPECT_TRUE(l.log("MANIFEST {").contains("MANIFEST {"));
}

TEST(MocsimCommandServer, DelayedSilentAndForcedAnswers) {
  app();
  CmdLink l;
  // First SCM: answered 1.5 s late; second: not at all; third: forced code 13; then the MOC checks,
  // with a bad checksum passed on when forced to success (the instrument refuses it, not the MOC).
  ASSERT_TRUE(l.open({"--arr-plan", "delay:1.5,silent,13,ok"}));
  using mocsimtest::scm;
  using mocsimtest::telecommand;
  auto s1 = scm({telecommand(0x200, 1, {1})}, "0201");
  auto s2 = scm({telecommand(0x200, 2, {1})}, "0202");
  auto s3 = scm({telecommand(0x200, 3, {1})}, "0203");
  auto s4 = scm({telecommand(0x200, 4, {1}, true)}, "0204");
  l.send(s1);
  l.send(s2);
  l.send(s3);
  l.send(s4);
  // The late answer to the first comes after the immediate ones; the silent one never comes.
  expectArr(l.arr(), expectedArr(s3, "013"), "forced code");
  expectArr(l.arr(), expectedArr(s4, "000"), "forced success");
  expectArr(l.arr(), expectedArr(s1, "000"), "delayed answer");
  EXPECT_TRUE(readExactly(l.c, 1, 500).isEmpty());
  QByteArray out = l.log("EXEC apid=0x200 seq=1 ");
  EXPECT_TRUE(out.contains("ARR held back 1500 ms")) << out.toStdString();
  EXPECT_TRUE(out.contains("ARR withheld (silent)"));
  EXPECT_TRUE(out.contains("EXEC apid=0x200 seq=4 id=0x00 REJECTED (checksum)"));
  EXPECT_TRUE(out.contains("EXEC apid=0x200 seq=1 id=0x00 accepted"));
}

TEST(MocsimCommandServer, HeartbeatsKeepComing) {
  app();
  CmdLink l;
  ASSERT_TRUE(l.open({"--heartbeat", "0.2"}));
  QByteArray want = QByteArray("ARR-0000550000") + QByteArray(13, '?') + "004" + QByteArray(32, ' ') +
                    QByteArray(7, 0);
  for (int i = 0; i < 3; ++i) expectArr(l.arr(), want, "heartbeat");
}
