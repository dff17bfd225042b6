// TCP client and server connections of the engine, on QtNetwork.
//
// Everything runs on the loop's thread. Socket signals never call the program directly: they only
// note what happened on the connection (a peer connected, bytes arrived, the peer went away) and
// post a delivery. The delivery runs the program's callback from the loop, one event at a time per
// connection, and never while a pop-up is open; what is held then stays noted (and the bytes stay
// in the socket) until the last pop-up closes. This way a callback can block in a read or a write,
// open a pop-up or close the very connection it was called for without anything being deleted or
// re-entered under it.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "internal.h"
#include "model.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace {

// When the program closes a connection, bytes it already wrote still go out; a peer that never
// reads them does not keep the socket alive longer than this.
constexpr int kLingerMs = 10000;
// ConnectToTCPServer with a time-out of 0 would never connect; it gets this instead.
constexpr unsigned kDefaultConnectMs = 5000;
// ServerTCPWriteQueued hands queued bytes to the system once this many wait.
constexpr qint64 kQueuedFlushBytes = 64 * 1024;

struct Conn {
  unsigned handle = 0;
  QTcpSocket* sock = nullptr;  // ours; handed to deleteLater when the connection is dropped
  tcpFuncPtr cb = nullptr;
  void* data = nullptr;
  bool client = false;         // made by ConnectToTCPServer (else accepted by a server)
  unsigned serverKey = 0;      // accepted: the port its server was registered under
  std::string peerName, peerAddr;  // kept from the start: a closed socket forgets its peer
  std::vector<QMetaObject::Connection> links;

  // Events noted and not yet delivered, delivered in this order.
  bool wantConnect = false;
  bool wantData = false;
  bool wantDisconnect = false;
  int closeErr = kTCP_ConnectionClosed;

  bool queued = false;      // a delivery is posted
  bool inCallback = false;  // the program's callback for this connection is running
  bool newData = false;     // bytes arrived since the running data-ready event began
  unsigned long long consumed = 0;  // bytes the program has read so far
  bool gone = false;        // dropped from the table; sock must not be touched any more

  bool pending() const { return wantConnect || wantData || wantDisconnect; }
};

struct Server {
  unsigned requested = 0;
  unsigned port = 0;  // the port really listened on
  QTcpServer* srv = nullptr;
  QMetaObject::Connection link;
  tcpFuncPtr cb = nullptr;
  void* data = nullptr;
};

struct State {
  std::map<unsigned, std::shared_ptr<Conn>> conns;
  std::map<unsigned, std::unique_ptr<Server>> servers;  // by the port asked for
  unsigned nextHandle = 1;
};

void ReleaseHeld();

// Never destroyed: sockets are QObjects and must not be deleted after the application object.
State& S() {
  static State* s = [] {
    auto* st = new State;
    rte::model::AddPopupReleaseHook([] { ReleaseHeld(); });
    return st;
  }();
  return *s;
}

unsigned NewHandle() {
  State& s = S();
  // Handles are never 0 and are not reused while the counter has not gone round.
  for (;;) {
    unsigned h = s.nextHandle++;
    if (s.nextHandle == 0 || s.nextHandle > static_cast<unsigned>(INT_MAX)) s.nextHandle = 1;
    if (h != 0 && !s.conns.count(h)) return h;
  }
}

Conn* Find(unsigned h) {
  auto it = S().conns.find(h);
  return it == S().conns.end() ? nullptr : it->second.get();
}

// The connection for a call of the client family (client == true) or the server family.
Conn* FindAs(unsigned h, bool client) {
  Conn* c = Find(h);
  return c && c->client == client ? c : nullptr;
}

std::string AddrText(const QHostAddress& a) {
  bool ok = false;
  quint32 v4 = a.toIPv4Address(&ok);  // an IPv4 peer seen through a dual-stack listener
  if (ok) return QHostAddress(v4).toString().toStdString();
  return a.toString().toStdString();
}

int ErrorCode(QAbstractSocket::SocketError e) {
  switch (e) {
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::UnknownSocketError:
      return kTCP_ConnectionClosed;
    case QAbstractSocket::SocketTimeoutError:
      return kTCP_TimeOutErr;
    default:
      return kTCP_GeneralIOErr;
  }
}

void Deliver(unsigned h);

void Post(Conn* c) {
  if (c->gone || c->queued || !c->pending() || rte::PopupOpen()) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  c->queued = true;
  unsigned h = c->handle;
  QMetaObject::invokeMethod(app, [h] { Deliver(h); }, Qt::QueuedConnection);
}

void ReleaseHeld() {
  std::vector<unsigned> hs;
  for (auto& [h, c] : S().conns) hs.push_back(h);
  for (unsigned h : hs)
    if (Conn* c = Find(h)) Post(c);
}

// Forgets the connection and lets its socket go once nobody can be using it. graceful: the
// program closed it, so what it wrote still leaves before the close.
void Drop(Conn* c, bool graceful) {
  if (c->gone) return;
  c->gone = true;
  for (auto& l : c->links) QObject::disconnect(l);
  c->links.clear();
  QTcpSocket* s = c->sock;
  c->sock = nullptr;
  std::shared_ptr<Conn> keep = S().conns[c->handle];  // c stays valid until we return
  S().conns.erase(c->handle);
  if (!s) return;
  if (graceful && s->state() == QAbstractSocket::ConnectedState) {
    QObject::connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
    s->disconnectFromHost();
    if (s->state() == QAbstractSocket::UnconnectedState) {
      s->deleteLater();
    } else {
      QPointer<QTcpSocket> p(s);
      QTimer::singleShot(kLingerMs, s, [p] {
        if (p) {
          p->abort();
          p->deleteLater();
        }
      });
    }
  } else {
    s->abort();
    s->deleteLater();
  }
}

// Runs the program's callback for one event of the connection.
void Run(const std::shared_ptr<Conn>& c, int event, int err) {
  tcpFuncPtr cb = c->cb;
  void* data = c->data;
  unsigned h = c->handle;
  c->inCallback = true;
  rte::model::InvokeFn([&] {
    if (cb) cb(h, event, err, data);
  });
  c->inCallback = false;
}

void Deliver(unsigned h) {
  auto it = S().conns.find(h);
  if (it == S().conns.end()) return;
  std::shared_ptr<Conn> c = it->second;
  c->queued = false;
  // Held: the running callback re-posts when it returns, the release hook when the pop-up closes.
  if (c->inCallback || rte::PopupOpen()) return;

  if (c->wantConnect) {
    c->wantConnect = false;
    Run(c, TCP_CONNECT, 0);
  } else if (c->wantData && c->sock->bytesAvailable() > 0) {
    c->wantData = false;
    c->newData = false;
    const unsigned long long before = c->consumed;
    Run(c, TCP_DATAREADY, 0);
    if (c->gone) return;
    // The program reads at most what it wants per event and counts on being called again while
    // bytes remain. If it read nothing and nothing new came, calling again would only spin: the
    // next arrival brings the next event.
    c->wantData = c->sock->bytesAvailable() > 0 && (c->consumed != before || c->newData);
  } else if (c->wantDisconnect) {
    c->wantData = false;
    c->wantDisconnect = false;
    Run(c, TCP_DISCONNECT, c->closeErr);
    // The handle ends with its disconnect event (unless the callback already closed it).
    if (!c->gone) Drop(c.get(), false);
    return;
  } else {
    c->wantData = false;  // everything was read in the meantime
  }
  if (!c->gone) Post(c.get());
}

// Hooks the socket's signals to the connection's notes.
void Watch(Conn* c) {
  unsigned h = c->handle;
  QTcpSocket* s = c->sock;
  c->links.push_back(QObject::connect(s, &QIODevice::readyRead, s, [h] {
    Conn* c = Find(h);
    if (!c) return;
    c->wantData = true;
    c->newData = true;
    Post(c);
  }));
  c->links.push_back(QObject::connect(s, &QAbstractSocket::errorOccurred, s,
                                      [h](QAbstractSocket::SocketError e) {
                                        if (Conn* c = Find(h)) c->closeErr = ErrorCode(e);
                                      }));
  c->links.push_back(QObject::connect(s, &QAbstractSocket::disconnected, s, [h] {
    Conn* c = Find(h);
    if (!c || c->wantDisconnect) return;
    c->wantDisconnect = true;
    // Bytes that came with the close are still in the buffer: they are offered first.
    if (c->sock->bytesAvailable() > 0) c->wantData = true;
    Post(c);
  }));
}

constexpr qint64 kReadBufferBytes = 1 << 20;

std::shared_ptr<Conn> AddConn(QTcpSocket* s, bool client, tcpFuncPtr cb, void* data) {
  auto c = std::make_shared<Conn>();
  c->handle = NewHandle();
  c->sock = s;
  c->client = client;
  c->cb = cb;
  c->data = data;
  c->peerAddr = AddrText(s->peerAddress());
  std::string name = s->peerName().toStdString();
  if (name.empty()) {
    // A reverse lookup could block the loop for seconds; only the loopback name is certain.
    name = s->peerAddress().isLoopback() ? "localhost" : c->peerAddr;
  }
  c->peerName = name;
  // A bounded buffer: a peer that sends faster than the program reads is held back by TCP
  // instead of filling memory, and the bytes are copied into fewer, reused blocks.
  s->setReadBufferSize(kReadBufferBytes);
  S().conns[c->handle] = c;
  Watch(c.get());
  return c;
}

int ReadImpl(bool client, unsigned h, void* buffer, std::size_t n, unsigned timeoutMs) {
  if (!buffer || n == 0) return kTCP_InvalidParameter;
  Conn* c = FindAs(h, client);
  if (!c) return kTCP_InvalidParameter;
  QTcpSocket* s = c->sock;
  if (s->bytesAvailable() == 0) {
    QDeadlineTimer deadline(static_cast<qint64>(timeoutMs));
    while (s->bytesAvailable() == 0) {
      if (s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
      qint64 rest = deadline.remainingTime();
      if (rest <= 0) return kTCP_TimeOutErr;
      if (!s->waitForReadyRead(static_cast<int>(std::min<qint64>(rest, INT_MAX)))) {
        if (s->bytesAvailable() > 0) break;
        if (s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
        return kTCP_TimeOutErr;
      }
    }
  }
  qint64 want = static_cast<qint64>(std::min<std::size_t>(n, INT_MAX));
  qint64 got = s->read(static_cast<char*>(buffer), want);
  if (got < 0) return kTCP_ReadFailed;
  if (got == 0) return kTCP_TimeOutErr;  // not reached: bytes were waiting
  c->consumed += static_cast<unsigned long long>(got);
  return static_cast<int>(got);
}

int WriteImpl(bool client, unsigned h, const void* buffer, std::size_t n, unsigned timeoutMs) {
  if ((!buffer && n > 0) || n > static_cast<std::size_t>(INT_MAX)) return kTCP_InvalidParameter;
  Conn* c = FindAs(h, client);
  if (!c) return kTCP_InvalidParameter;
  QTcpSocket* s = c->sock;
  if (s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
  if (n == 0) return 0;
  if (s->write(static_cast<const char*>(buffer), static_cast<qint64>(n)) != static_cast<qint64>(n))
    return kTCP_WriteFailed;
  s->flush();
  QDeadlineTimer deadline(static_cast<qint64>(timeoutMs));
  while (s->bytesToWrite() > 0) {
    if (s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
    qint64 rest = deadline.remainingTime();
    // What did not leave in time stays queued and still goes out in order: dropping it would
    // leave the peer a torn record that shifts everything after it.
    if (rest <= 0) return kTCP_TimeOutErr;
    if (!s->waitForBytesWritten(static_cast<int>(std::min<qint64>(rest, INT_MAX)))) {
      if (s->bytesToWrite() == 0) break;
      if (s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
      if (deadline.hasExpired()) return kTCP_TimeOutErr;
      return kTCP_WriteFailed;
    }
  }
  return static_cast<int>(n);
}

Server* FindServer(unsigned port) {
  auto& sv = S().servers;
  auto it = sv.find(port);
  if (it != sv.end()) return it->second.get();
  if (port == 0) return nullptr;
  for (auto& [k, s] : sv)
    if (s->port == port) return s.get();
  return nullptr;
}

void Accept(unsigned key) {
  auto it = S().servers.find(key);
  if (it == S().servers.end()) return;
  Server* sv = it->second.get();
  while (QTcpSocket* s = sv->srv->nextPendingConnection()) {
    s->setParent(nullptr);  // the socket may outlive the listener by a moment (deleteLater)
    auto c = AddConn(s, false, sv->cb, sv->data);
    c->serverKey = key;
    c->wantConnect = true;
    if (s->bytesAvailable() > 0) c->wantData = true;
    Post(c.get());
  }
}

}  // namespace

// ---- clients -----------------------------------------------------------------------------------

int ConnectToTCPServer(unsigned* handle, unsigned port, const char* server, tcpFuncPtr callback,
                       void* callbackData, unsigned timeoutMs) {
  if (!handle || !server || !*server || port == 0 || port > 65535) return kTCP_InvalidParameter;
  rte::EnsureCoreApp();
  S();
  if (timeoutMs == 0) timeoutMs = kDefaultConnectMs;
  auto* s = new QTcpSocket;
  s->connectToHost(QString::fromUtf8(server), static_cast<quint16>(port));
  if (!s->waitForConnected(static_cast<int>(std::min<unsigned>(timeoutMs, INT_MAX)))) {
    int code;
    switch (s->error()) {
      case QAbstractSocket::SocketTimeoutError: code = kTCP_TimeOutErr; break;
      case QAbstractSocket::ConnectionRefusedError: code = kTCP_FailedToConnect; break;
      default: code = kTCP_UnableToEstablishConnection; break;
    }
    s->abort();
    delete s;  // no signal of it is hooked and no one else knows it
    return code;
  }
  s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  auto c = AddConn(s, true, callback, callbackData);
  // Bytes may already be waiting (the server greeted at once).
  if (s->bytesAvailable() > 0) {
    c->wantData = true;
    Post(c.get());
  }
  *handle = c->handle;
  return 0;
}

int DisconnectFromTCPServer(unsigned handle) {
  Conn* c = FindAs(handle, true);
  if (!c) return kTCP_InvalidParameter;
  Drop(c, true);
  return 0;
}

int ClientTCPRead(unsigned handle, void* buffer, std::size_t n, unsigned timeoutMs) {
  return ReadImpl(true, handle, buffer, n, timeoutMs);
}

int ClientTCPWrite(unsigned handle, const void* buffer, std::size_t n, unsigned timeoutMs) {
  return WriteImpl(true, handle, buffer, n, timeoutMs);
}

// ---- servers -----------------------------------------------------------------------------------

int RegisterTCPServer(unsigned port, tcpFuncPtr callback, void* callbackData,
                      const char* listenAddress) {
  if (port > 65535 || !callback) return kTCP_InvalidParameter;
  QHostAddress addr(QHostAddress::Any);
  if (listenAddress && *listenAddress) {
    if (!addr.setAddress(QString::fromUtf8(listenAddress))) return kTCP_InvalidParameter;
  }
  rte::EnsureCoreApp();
  State& st = S();
  if (FindServer(port)) return kTCP_ExistingServer;
  auto sv = std::make_unique<Server>();
  sv->requested = port;
  sv->cb = callback;
  sv->data = callbackData;
  sv->srv = new QTcpServer;
  if (!sv->srv->listen(addr, static_cast<quint16>(port))) {
    delete sv->srv;
    return kTCP_UnableToRegisterService;
  }
  sv->port = sv->srv->serverPort();
  sv->link = QObject::connect(sv->srv, &QTcpServer::newConnection, sv->srv, [port] { Accept(port); });
  st.servers[port] = std::move(sv);
  return 0;
}

int UnregisterTCPServer(unsigned port) {
  Server* sv = FindServer(port);
  if (!sv) return kTCP_ServerNotRegistered;
  unsigned key = sv->requested;
  std::vector<Conn*> clients;
  for (auto& [h, c] : S().conns)
    if (!c->client && c->serverKey == key) clients.push_back(c.get());
  for (Conn* c : clients) Drop(c, true);
  QObject::disconnect(sv->link);
  sv->srv->close();
  sv->srv->deleteLater();  // we may be inside a signal of it
  S().servers.erase(key);
  return 0;
}

int ServerTCPRead(unsigned handle, void* buffer, std::size_t n, unsigned timeoutMs) {
  return ReadImpl(false, handle, buffer, n, timeoutMs);
}

int ServerTCPWrite(unsigned handle, const void* buffer, std::size_t n, unsigned timeoutMs) {
  return WriteImpl(false, handle, buffer, n, timeoutMs);
}

int ServerTCPWriteQueued(unsigned handle, const void* buffer, std::size_t n,
                         std::size_t maxQueued) {
  if ((!buffer && n > 0) || n > static_cast<std::size_t>(INT_MAX)) return kTCP_InvalidParameter;
  Conn* c = FindAs(handle, false);
  if (!c) return kTCP_InvalidParameter;
  QTcpSocket* s = c->sock;
  if (s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
  // Whole or nothing: a peer that stopped reading gets no part of a record it could tear.
  if (static_cast<std::size_t>(s->bytesToWrite()) + n > maxQueued) return kTCP_TimeOutErr;
  if (n == 0) return 0;
  if (s->write(static_cast<const char*>(buffer), static_cast<qint64>(n)) != static_cast<qint64>(n))
    return kTCP_WriteFailed;
  // Flushed in batches: a write call per record and client was the whole cost of serving many
  // clients. What stays below the batch size leaves when the loop next runs.
  if (s->bytesToWrite() >= kQueuedFlushBytes) s->flush();
  return static_cast<int>(n);
}

int DisconnectTCPClient(unsigned handle) {
  Conn* c = FindAs(handle, false);
  if (!c) return kTCP_InvalidParameter;
  Drop(c, true);
  return 0;
}

int GetTCPPeerName(unsigned handle, std::string* name) {
  Conn* c = Find(handle);
  if (!c || !name) return kTCP_InvalidParameter;
  *name = c->peerName;
  return 0;
}

int GetTCPPeerAddr(unsigned handle, std::string* addr) {
  Conn* c = Find(handle);
  if (!c || !addr) return kTCP_InvalidParameter;
  *addr = c->peerAddr;
  return 0;
}

int GetTCPServerPort(unsigned requestedPort) {
  Server* sv = FindServer(requestedPort);
  return sv ? static_cast<int>(sv->port) : kTCP_ServerNotRegistered;
}

namespace rte::tcp {

void ResetAll() {
  State& st = S();
  std::vector<Conn*> all;
  for (auto& [h, c] : st.conns) all.push_back(c.get());
  for (Conn* c : all) Drop(c, false);
  for (auto& [k, sv] : st.servers) {
    QObject::disconnect(sv->link);
    sv->srv->close();
    sv->srv->deleteLater();
  }
  st.servers.clear();
}

}  // namespace rte::tcp
