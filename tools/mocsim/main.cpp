// mocsim: plays the operations centre (telemetry and command servers) and the instruments behind it
// for the demo and the integration tests. Headless; every option is on the command line.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <climits>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

#include "arr.h"
#include "database.h"
#include "generator.h"
#include "plan.h"

using namespace mocsim;

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

void say(const std::string& s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

double nowUnix() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

constexpr qint64 kBacklogLimit = 4 << 20;  // bytes queued per client before generation waits
constexpr int kSplitGapMs = 50;

class Simulator {
public:
  Simulator(Options o) : opts_(std::move(o)), db_(load(opts_)), gen_(db_), stream_(gen_, opts_) {}

  // The client sockets are children of the servers, which are destroyed after the client lists;
  // a socket closing then must not call back into lists that are already gone.
  ~Simulator() {
    for (auto& c : cclients_) {
      c->partial->disconnect();
      c->s->disconnect();
    }
    for (auto& t : tclients_) t.s->disconnect();
    tlm_.disconnect();
    cmd_.disconnect();
  }

  static Databases load(const Options& o) {
    Databases d;
    loadStation(o.station, d);
    return d;
  }

  int start() {
    for (auto& [n, v] : opts_.values)
      if (!gen_.setValue(n, v)) notes_.push_back("value " + n + ": no such item in the databases");
    std::string err;
    if (!stream_.open(err)) {
      say("ERROR " + err);
      return 1;
    }
    if (!opts_.write.empty()) return writeFile();

    QHostAddress addr(QString::fromStdString(opts_.bind));
    if (addr.isNull()) {
      say("ERROR bad --bind address " + opts_.bind);
      return 2;
    }
    if (opts_.tlmPort >= 0) {
      if (!tlm_.listen(addr, quint16(opts_.tlmPort))) {
        say("ERROR telemetry port " + opts_.bind + ":" + std::to_string(opts_.tlmPort) + ": " +
            tlm_.errorString().toStdString());
        return 1;
      }
      QObject::connect(&tlm_, &QTcpServer::newConnection, [this] { acceptTlm(); });
    }
    if (opts_.cmdPort >= 0) {
      if (!cmd_.listen(addr, quint16(opts_.cmdPort))) {
        say("ERROR command port " + opts_.bind + ":" + std::to_string(opts_.cmdPort) + ": " +
            cmd_.errorString().toStdString());
        return 1;
      }
      QObject::connect(&cmd_, &QTcpServer::newConnection, [this] { acceptCmd(); });
    }
    say(opts_.tlmPort >= 0 ? "TLM PORT " + std::to_string(tlm_.serverPort()) : std::string("TLM PORT off"));
    say(opts_.cmdPort >= 0 ? "CMD PORT " + std::to_string(cmd_.serverPort()) : std::string("CMD PORT off"));
    for (auto& n : db_.notes) say("DB " + n);
    for (auto& n : notes_) say("WARNING " + n);

    pump_.setInterval(opts_.rate > 0 ? 5 : 1);
    QObject::connect(&pump_, &QTimer::timeout, [this] { pump(); });
    if (opts_.heartbeat > 0) {
      heartbeat_.setInterval(int(opts_.heartbeat * 1000));
      QObject::connect(&heartbeat_, &QTimer::timeout, [this] { sendHeartbeats(); });
      heartbeat_.start();
    }
    QObject::connect(&signals_, &QTimer::timeout, [this] {
      if (gStop) {
        say("STOP by signal");
        finish();
        QCoreApplication::exit(0);
      }
    });
    signals_.start(100);
    say("READY");
    return -1;  // keep running
  }

private:
  Options opts_;
  Databases db_;
  Generator gen_;
  Stream stream_;
  std::vector<std::string> notes_;

  QTcpServer tlm_, cmd_;
  struct TlmClient {
    QTcpSocket* s;
    QByteArray text;
    bool active;  // joined at a record boundary
  };
  std::vector<TlmClient> tclients_;
  QTimer pump_, heartbeat_, signals_;
  QElapsedTimer clock_;
  bool running_ = false, done_ = false, splitting_ = false, finished_ = false, exhausted_ = false;
  long base_ = 0;
  double elapsedBefore_ = 0;  // streaming seconds of earlier connections
  long scms_ = 0;
  size_t planPos_ = 0;

  struct CmdClient {
    QTcpSocket* s;
    QByteArray buf;
    QTimer* partial;
  };
  std::vector<std::unique_ptr<CmdClient>> cclients_;
  nlohmann::json scmLog_ = nlohmann::json::array();

  // ---- telemetry --------------------------------------------------------------------------------

  int writeFile() {
    long count = opts_.count;
    if (count < 0 && opts_.duration >= 0 && opts_.rate > 0) count = long(opts_.duration * opts_.rate);
    if (count < 0 && opts_.replay.empty()) {
      say("ERROR --write needs --count (or --duration with --rate)");
      return 2;
    }
    opts_.count = count;
    std::ofstream f(opts_.write, std::ios::binary);
    if (!f) {
      say("ERROR cannot create " + opts_.write + ": " + std::strerror(errno));
      return 1;
    }
    Emitted e;
    while (stream_.next(e)) f.write(reinterpret_cast<const char*>(e.rec.data()), e.length);
    f.close();
    for (auto& n : db_.notes) say("DB " + n);
    say("WROTE " + std::to_string(stream_.index()) + " records to " + opts_.write);
    finish();
    return 0;
  }

  bool anyActive() const {
    for (auto& c : tclients_)
      if (c.active) return true;
    return false;
  }

  void acceptTlm() {
    while (QTcpSocket* s = tlm_.nextPendingConnection()) {
      s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
      tclients_.push_back({s, {}, !splitting_});
      say("TLM CONNECT " + s->peerAddress().toString().toStdString() + ":" + std::to_string(s->peerPort()));
      QObject::connect(s, &QTcpSocket::readyRead, [this, s] { readTlmText(s); });
      QObject::connect(s, &QTcpSocket::bytesWritten, [this] {
        if (opts_.rate == 0 && running_) pump();
      });
      QObject::connect(s, &QTcpSocket::disconnected, [this, s] { dropTlm(s); });
      if (!running_ && !done_) startStreaming();
    }
  }

  void dropTlm(QTcpSocket* s) {
    for (size_t i = 0; i < tclients_.size(); ++i)
      if (tclients_[i].s == s) {
        say("TLM DISCONNECT after record " + std::to_string(stream_.index()));
        tclients_.erase(tclients_.begin() + long(i));
        break;
      }
    s->deleteLater();
    if (!anyActive() && running_) {
      // Nobody listens: hold the plan where it is until the station reconnects.
      elapsedBefore_ += clock_.elapsed() / 1000.0;
      running_ = false;
      pump_.stop();
    }
  }

  void readTlmText(QTcpSocket* s) {
    for (auto& c : tclients_)
      if (c.s == s) {
        c.text += s->readAll();
        int nl;
        while ((nl = c.text.indexOf('\n')) >= 0) {
          QByteArray line = c.text.left(nl);
          c.text.remove(0, nl + 1);
          if (line.endsWith('\r')) line.chop(1);
          say("TLM TEXT " + line.toStdString());
        }
        if (c.text.size() > 4096) {  // a client that never ends its line
          say("TLM TEXT " + c.text.toStdString());
          c.text.clear();
        }
      }
  }

  void startStreaming() {
    running_ = true;
    base_ = stream_.index();
    clock_.restart();
    pump_.start();
    pump();
  }

  double streamingSeconds() const { return elapsedBefore_ + (running_ ? clock_.elapsed() / 1000.0 : 0.0); }

  void writeAll(const char* p, qint64 n) {
    for (auto& c : tclients_)
      if (c.active) c.s->write(p, n);
  }

  qint64 backlog() const {
    qint64 m = 0;
    for (auto& c : tclients_)
      if (c.active) m = std::max(m, c.s->bytesToWrite());
    return m;
  }

  void pump() {
    if (!running_ || done_ || splitting_ || !anyActive()) return;
    long target = opts_.rate > 0 ? base_ + long(clock_.elapsed() / 1000.0 * opts_.rate) : LONG_MAX;
    QByteArray chunk;
    chunk.reserve(1 << 20);
    while (stream_.index() < target && chunk.size() < (1 << 20) && backlog() + chunk.size() < kBacklogLimit) {
      if (opts_.duration >= 0 && streamingSeconds() >= opts_.duration) break;
      Emitted e;
      if (!stream_.next(e)) {
        exhausted_ = true;  // count reached or replay file ended
        break;
      }
      if (!e.pieces.empty()) {
        writeAll(chunk.constData(), chunk.size());
        chunk.clear();
        beginSplit(e);
        return;
      }
      chunk.append(reinterpret_cast<const char*>(e.rec.data()), e.length);
      if (e.length != kRecordSize)
        say("SHORT record " + std::to_string(stream_.index() - 1) + ": " + std::to_string(e.length) + " bytes written");
    }
    writeAll(chunk.constData(), chunk.size());
    checkDone();
  }

  void checkDone() {
    bool over = opts_.duration >= 0 && streamingSeconds() >= opts_.duration;
    if (stream_.countReached() || over || exhausted_) {
      done_ = true;
      pump_.stop();
      finish();
      if (opts_.exitWhenDone) drainAndQuit();
    }
  }

  void beginSplit(const Emitted& e) {
    splitting_ = true;
    auto rec = std::make_shared<Record>(e.rec);
    auto pieces = std::make_shared<std::vector<int>>(e.pieces);
    auto pos = std::make_shared<size_t>(0);
    auto offset = std::make_shared<int>(0);
    long recNo = stream_.index() - 1;
    auto step = std::make_shared<std::function<void()>>();
    *step = [this, rec, pieces, pos, offset, recNo, step] {
      int n = (*pieces)[*pos];
      writeAll(reinterpret_cast<const char*>(rec->data()) + *offset, n);
      for (auto& c : tclients_)
        if (c.active) c.s->flush();
      say("SPLIT record " + std::to_string(recNo) + " piece " + std::to_string(*pos + 1) + "/" +
          std::to_string(pieces->size()) + ": " + std::to_string(n) + " bytes");
      *offset += n;
      ++*pos;
      if (*pos < pieces->size()) {
        QTimer::singleShot(kSplitGapMs, [step] { (*step)(); });
      } else {
        splitting_ = false;
        for (auto& c : tclients_) c.active = true;  // late joiners start at the next record
        QTimer::singleShot(kSplitGapMs, [this, step] {
          *step = nullptr;  // break the self-reference
          pump();
          checkDone();
        });
      }
    };
    (*step)();
  }

  void drainAndQuit() {
    auto* t = new QTimer();
    QObject::connect(t, &QTimer::timeout, [this, t] {
      if (backlog() == 0) {
        for (auto& c : tclients_) c.s->flush();
        t->stop();
        QCoreApplication::exit(0);
      }
    });
    t->start(20);
  }

  void finish() {
    if (finished_) return;
    finished_ = true;
    nlohmann::json m = stream_.manifest();
    m["scms"] = scmLog_;
    m["scm_count"] = scms_;
    if (!opts_.manifest.empty()) {
      std::ofstream f(opts_.manifest);
      f << m.dump(2) << "\n";
    }
    say("DONE records=" + std::to_string(stream_.index()) + " bytes=" + std::to_string(stream_.bytes()));
    say("MANIFEST " + m.dump());
  }

  // ---- commands ---------------------------------------------------------------------------------

  void acceptCmd() {
    while (QTcpSocket* s = cmd_.nextPendingConnection()) {
      auto c = std::make_unique<CmdClient>();
      c->s = s;
      c->partial = new QTimer(s);
      c->partial->setSingleShot(true);
      CmdClient* raw = c.get();
      QObject::connect(c->partial, &QTimer::timeout, [this, raw] { partialTimeout(raw); });
      QObject::connect(s, &QTcpSocket::readyRead, [this, raw] { readCmd(raw); });
      QObject::connect(s, &QTcpSocket::disconnected, [this, raw] { dropCmd(raw); });
      say("CMD CONNECT " + s->peerAddress().toString().toStdString() + ":" + std::to_string(s->peerPort()));
      cclients_.push_back(std::move(c));
    }
  }

  void dropCmd(CmdClient* c) {
    say("CMD DISCONNECT");
    for (size_t i = 0; i < cclients_.size(); ++i)
      if (cclients_[i].get() == c) {
        c->partial->stop();  // its time-out must not fire for a client that is gone
        c->partial->disconnect();
        c->s->disconnect();
        c->s->deleteLater();
        cclients_.erase(cclients_.begin() + long(i));
        break;
      }
  }

  void sendArr(QTcpSocket* s, const Arr& a) {
    if (s->state() != QAbstractSocket::ConnectedState) {
      say("ARR dropped: client gone");
      return;
    }
    s->write(reinterpret_cast<const char*>(a.data()), kArrSize);
    s->flush();
    std::string head(reinterpret_cast<const char*>(a.data()), 30);
    for (auto& ch : head)
      if ((unsigned char)ch < 0x20 || (unsigned char)ch >= 0x7F) ch = '.';
    say("ARR " + head + " code " + std::to_string(arrCode(a)));
  }

  void readCmd(CmdClient* c) {
    c->buf += c->s->readAll();
    for (;;) {
      if (c->buf.isEmpty()) {
        c->partial->stop();
        return;
      }
      size_t total = 0;
      auto* p = reinterpret_cast<const uint8_t*>(c->buf.constData());
      Frame f = scmFrame(p, size_t(c->buf.size()), total);
      if (f == Frame::Invalid) {
        say("SCM REFUSED: no valid length in bytes 4-9: " + hex(p, std::min<size_t>(size_t(c->buf.size()), 40), true));
        sendArr(c->s, buildArr(p, size_t(c->buf.size()), kArrBadHeader, arrTime(std::time(nullptr))));
        c->buf.clear();
        c->partial->stop();
        return;
      }
      if (f == Frame::NeedMore) {
        if (!c->partial->isActive()) c->partial->start(int(opts_.scmTimeout * 1000));
        return;
      }
      c->partial->stop();
      QByteArray scm = c->buf.left(qsizetype(total));
      c->buf.remove(0, qsizetype(total));
      // Bytes that arrived together with the message but cannot start another one: the length field
      // was too small for what was sent.
      int overflow = 0;
      if (!c->buf.isEmpty()) {
        size_t t2 = 0;
        if (scmFrame(reinterpret_cast<const uint8_t*>(c->buf.constData()), size_t(c->buf.size()), t2) ==
            Frame::Invalid) {
          overflow = int(c->buf.size());
          c->buf.clear();
        }
      }
      handleScm(c, scm, overflow);
    }
  }

  void partialTimeout(CmdClient* c) {
    auto* p = reinterpret_cast<const uint8_t*>(c->buf.constData());
    say("SCM INCOMPLETE after " + std::to_string(int(opts_.scmTimeout * 1000)) + " ms: " +
        std::to_string(c->buf.size()) + " bytes held");
    sendArr(c->s, buildArr(p, size_t(c->buf.size()), kArrTooLittleData, arrTime(std::time(nullptr))));
    c->buf.clear();
  }

  void handleScm(CmdClient* c, const QByteArray& scm, int overflow) {
    ++scms_;
    auto* p = reinterpret_cast<const uint8_t*>(scm.constData());
    size_t n = size_t(scm.size());
    ScmInfo info = parseScm(p, n, opts_.cmdSwapped);
    if (overflow > 0 && info.code == kArrSuccess) {
      info.code = kArrTooMuchData;
      info.problem = std::to_string(overflow) + " bytes beyond the message length";
    }
    say("SCM " + std::to_string(scms_) + " " + std::to_string(n) + " bytes: " + describeScm(info));
    std::string head(reinterpret_cast<const char*>(p), std::min<size_t>(n, 132));
    for (auto& ch : head)
      if ((unsigned char)ch < 0x20 || (unsigned char)ch >= 0x7F) ch = '.';  // keep the log one text line
    if (!opts_.quiet) say("SCM HEX " + head + "|" +
                          hex(p + std::min<size_t>(n, 132), n - std::min<size_t>(n, 132)));
    ArrAnswer ans = planPos_ < opts_.arrPlan.size() ? opts_.arrPlan[planPos_++] : opts_.arr;
    int code = ans.mode == ArrMode::Auto ? info.code : ans.mode == ArrMode::Success ? 0 : ans.code;
    double delay = ans.delay >= 0 ? ans.delay : opts_.arrDelay;
    nlohmann::json j = {{"n", scms_}, {"bytes", n}, {"msg", info.msgNumber}, {"packets", info.packets.size()},
                        {"checked_code", info.code}};
    if (ans.mode == ArrMode::Silent) {
      say("ARR withheld (silent)");
      j["arr"] = "silent";
      scmLog_.push_back(j);
      return;
    }
    j["arr"] = code;
    if (delay > 0) j["delay"] = delay;
    scmLog_.push_back(j);
    Arr a = buildArr(p, n, code, arrTime(std::time(nullptr)));
    QTcpSocket* sock = c->s;
    auto answer = [this, sock, info, code, a]() mutable {
      if (code == 0) {
        // The MOC passes the packets on when it accepts the message: the instrument sees them now.
        for (auto& pk : info.packets) {
          gen_.execute(pk, nowUnix());
          char b[96];
          std::snprintf(b, sizeof b, "EXEC apid=0x%03X seq=%d id=0x%02X %s", pk.apid, pk.seq, pk.commandId,
                        pk.checksumOk ? "accepted" : "REJECTED (checksum)");
          say(b);
        }
      }
      // The time field tells when the MOC answered.
      std::string t = arrTime(std::time(nullptr));
      std::memcpy(a.data() + 14, t.data(), 13);
      sendArr(sock, a);
    };
    if (delay <= 0) {
      answer();
      return;
    }
    say("ARR held back " + std::to_string(int(delay * 1000)) + " ms");
    // The socket is the timer's context: once it is deleted the answer is dropped with it.
    QTimer::singleShot(int(delay * 1000), sock, answer);
  }

  void sendHeartbeats() {
    Arr a = buildHeartbeat(arrTime(std::time(nullptr)));
    for (auto& c : cclients_) c->s->write(reinterpret_cast<const char*>(a.data()), kArrSize);
    if (!cclients_.empty()) say("HEARTBEAT to " + std::to_string(cclients_.size()) + " client(s)");
  }
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args)
    if (a == "--version") {
      std::printf("mocsim %s\n", VANTIS_VERSION);
      return 0;
    }
  Options o;
  std::string err;
  if (!parseOptions(args, o, err)) {
    std::fprintf(stderr, "mocsim: %s; try --help\n", err.c_str());
    return 2;
  }
  if (o.help) {
    std::fputs(usage().c_str(), stdout);
    return 0;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  Simulator sim(o);
  int rc = sim.start();
  if (rc >= 0) return rc;
  return app.exec();
}
