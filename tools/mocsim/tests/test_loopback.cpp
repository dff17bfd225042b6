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
  EXPECT_EQ(next(true).size(), kArrSize);  // a heartbeat comes by
  // A message that never completes is answered with code 7 once the wait runs out.
  c.write(reinterpret_cast<const char*>(scm1.data()), 100);
  QByteArray a3 = next(false);
  ASSERT_EQ(a3.size(), kArrSize);
  EXPECT_EQ(a3.mid(27, 3), QByteArray("007"));

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
