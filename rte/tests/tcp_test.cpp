// TCP family of the engine over real loopback connections (127.0.0.1, ephemeral ports). The loop
// is pumped with a bound on every wait; nothing here asserts on timing.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <QThread>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../model/model.h"
#include "../qt/internal.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace {

constexpr int kWaitMs = 5000;  // upper bound of every wait for something that should happen

// Runs the loop until done() holds or the bound passes; returns done().
bool PumpUntil(const std::function<bool()>& done, int boundMs = kWaitMs) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < boundMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return done();
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

struct Event {
  unsigned handle;
  int type;
  int err;
};

// One side of a connection as a program would hold it: records every event and, on data-ready,
// reads at most `perEvent` bytes (like a program assembling fixed records).
struct Peer {
  bool serverSide = false;
  std::size_t perEvent = 4096;
  std::vector<Event> events;
  std::map<unsigned, std::string> got;  // bytes read per handle
  std::function<void(unsigned, int)> onEvent;

  int count(int type) const {
    int n = 0;
    for (auto& e : events) n += e.type == type;
    return n;
  }
  std::vector<unsigned> handles(int type) const {
    std::vector<unsigned> hs;
    for (auto& e : events)
      if (e.type == type) hs.push_back(e.handle);
    return hs;
  }
};

int PeerCb(unsigned handle, int type, int err, void* data) {
  auto* p = static_cast<Peer*>(data);
  p->events.push_back({handle, type, err});
  if (type == TCP_DATAREADY) {
    std::vector<char> buf(p->perEvent);
    int n = p->serverSide ? ServerTCPRead(handle, buf.data(), buf.size(), 2000)
                          : ClientTCPRead(handle, buf.data(), buf.size(), 2000);
    if (n > 0) p->got[handle].append(buf.data(), static_cast<std::size_t>(n));
  }
  if (p->onEvent) p->onEvent(handle, type);
  return 0;
}

std::string Pattern(std::size_t n, int seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed * 31 + 3) & 0xFF);
  return s;
}

class TcpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rte::EnsureCoreApp();
    server.serverSide = true;
  }
  void TearDown() override {
    while (rte::PopupOpen()) rte::model::PopupLeft();
    rte::tcp::ResetAll();
    PumpFor(20);  // let the dropped sockets go
  }

  // A server on 127.0.0.1 at an ephemeral port; returns the port clients connect to.
  unsigned StartServer() {
    EXPECT_EQ(RegisterTCPServer(0, PeerCb, &server, "127.0.0.1"), 0);
    int port = GetTCPServerPort(0);
    EXPECT_GT(port, 0);
    return static_cast<unsigned>(port);
  }

  // Connects `client` and waits until the server has seen it; returns {client, server} handles.
  std::pair<unsigned, unsigned> Join(unsigned port, Peer* c) {
    unsigned h = 0;
    EXPECT_EQ(ConnectToTCPServer(&h, port, "127.0.0.1", PeerCb, c, 2000), 0);
    std::size_t before = server.handles(TCP_CONNECT).size();
    EXPECT_TRUE(PumpUntil([&] { return server.handles(TCP_CONNECT).size() > before; }));
    auto hs = server.handles(TCP_CONNECT);
    return {h, hs.empty() ? 0u : hs.back()};
  }

  Peer server;
};

// A record written in three pieces, read by a program that asks only for what it still lacks.
TEST_F(TcpTest, SplitRecordArrivesWhole) {
  unsigned port = StartServer();
  Peer client;
  const auto joined_ch = Join(port, &client);
  [[maybe_unused]] const auto ch = joined_ch.first;
  [[maybe_unused]] const auto sh = joined_ch.second;
  ASSERT_GT(ch, 0u);
  ASSERT_GT(sh, 0u);
  EXPECT_NE(ch, sh);

  const std::string rec = Pattern(298, 1);
  ASSERT_EQ(ServerTCPWrite(sh, rec.data(), 100, 2000), 100);
  PumpFor(30);
  ASSERT_EQ(ServerTCPWrite(sh, rec.data() + 100, 150, 2000), 150);
  PumpFor(30);
  ASSERT_EQ(ServerTCPWrite(sh, rec.data() + 250, 48, 2000), 48);
  ASSERT_TRUE(PumpUntil([&] { return client.got[ch].size() >= 298; }));
  EXPECT_EQ(client.got[ch], rec);
  EXPECT_GE(client.count(TCP_DATAREADY), 1);
  EXPECT_EQ(client.count(TCP_DISCONNECT), 0);
}

// Bytes left unread after a data-ready event bring the event again until all are read.
TEST_F(TcpTest, UnreadBytesAreOfferedAgain) {
  unsigned port = StartServer();
  Peer client;
  client.perEvent = 10;
  const auto joined_ch = Join(port, &client);
  [[maybe_unused]] const auto ch = joined_ch.first;
  [[maybe_unused]] const auto sh = joined_ch.second;
  const std::string block = Pattern(3 * 298, 2);
  ASSERT_EQ(ServerTCPWrite(sh, block.data(), block.size(), 2000), static_cast<int>(block.size()));
  ASSERT_TRUE(PumpUntil([&] { return client.got[ch].size() >= block.size(); }));
  EXPECT_EQ(client.got[ch], block);
  EXPECT_GE(client.count(TCP_DATAREADY), static_cast<int>(block.size() / 10));
}

// A program that ignores a data-ready event is not called in a loop; new bytes call it again,
// and the ignored bytes are still there.
struct Picky {
  bool ignore = true;
  int events = 0;
  std::string got;
};

int PickyCb(unsigned h, int type, int, void* d) {
  auto* x = static_cast<Picky*>(d);
  if (type != TCP_DATAREADY) return 0;
  ++x->events;
  if (!x->ignore) {
    char b[64];
    int n = ClientTCPRead(h, b, sizeof b, 1000);
    if (n > 0) x->got.append(b, static_cast<std::size_t>(n));
  }
  return 0;
}

TEST_F(TcpTest, IgnoredDataIsNotRedeliveredUntilMoreArrives) {
  unsigned port = StartServer();
  Picky p;
  unsigned ch = 0;
  ASSERT_EQ(ConnectToTCPServer(&ch, port, "127.0.0.1", PickyCb, &p, 2000), 0);
  ASSERT_TRUE(PumpUntil([&] { return server.count(TCP_CONNECT) == 1; }));
  unsigned sh = server.handles(TCP_CONNECT)[0];

  ASSERT_EQ(ServerTCPWrite(sh, "abc", 3, 2000), 3);
  ASSERT_TRUE(PumpUntil([&] { return p.events > 0; }));
  PumpFor(100);
  EXPECT_EQ(p.events, 1);

  p.ignore = false;
  ASSERT_EQ(ServerTCPWrite(sh, "def", 3, 2000), 3);
  ASSERT_TRUE(PumpUntil([&] { return p.got.size() >= 6; }));
  EXPECT_EQ(p.got, "abcdef");
}

TEST_F(TcpTest, ServerServesTwentyClientsAtOnce) {
  unsigned port = StartServer();
  constexpr int kClients = 20;
  // The server answers each client's name with a reply of its own, on that client's handle.
  server.onEvent = [&](unsigned h, int type) {
    if (type != TCP_DATAREADY) return;
    const std::string& name = server.got[h];
    if (name.size() == 3) {
      std::string reply = "reply-" + name;
      ServerTCPWrite(h, reply.data(), reply.size(), 2000);
    }
  };
  std::vector<Peer> clients(kClients);
  std::vector<unsigned> ch(kClients);
  for (int i = 0; i < kClients; ++i)
    ASSERT_EQ(ConnectToTCPServer(&ch[i], port, "127.0.0.1", PeerCb, &clients[i], 2000), 0);
  ASSERT_TRUE(PumpUntil([&] { return server.count(TCP_CONNECT) == kClients; }));

  std::set<unsigned> all(ch.begin(), ch.end());
  for (unsigned h : server.handles(TCP_CONNECT)) all.insert(h);
  EXPECT_EQ(all.size(), 2u * kClients);  // handles are unique across both sides
  EXPECT_EQ(all.count(0u), 0u);

  for (int i = 0; i < kClients; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "c%02d", i);
    ASSERT_EQ(ClientTCPWrite(ch[i], name, 3, 2000), 3);
  }
  ASSERT_TRUE(PumpUntil([&] {
    for (int i = 0; i < kClients; ++i)
      if (clients[i].got[ch[i]].size() < 9) return false;
    return true;
  }));
  for (int i = 0; i < kClients; ++i) {
    char want[16];
    std::snprintf(want, sizeof want, "reply-c%02d", i);
    EXPECT_EQ(clients[i].got[ch[i]], want) << "client " << i;
  }
  for (unsigned h : server.handles(TCP_CONNECT)) {
    std::string addr, name;
    EXPECT_EQ(GetTCPPeerAddr(h, &addr), 0);
    EXPECT_EQ(addr, "127.0.0.1");
    EXPECT_EQ(GetTCPPeerName(h, &name), 0);
    EXPECT_FALSE(name.empty());
  }
}

TEST_F(TcpTest, ConnectFailuresGiveNegativeCodes) {
  // A port that was just free: listen on it, note it, close it.
  unsigned port = StartServer();
  ASSERT_EQ(UnregisterTCPServer(0), 0);
  PumpFor(20);
  unsigned h = 77;
  EXPECT_LT(ConnectToTCPServer(&h, port, "127.0.0.1", PeerCb, &server, 2000), 0);
  EXPECT_EQ(h, 77u);  // untouched on failure

  EXPECT_EQ(ConnectToTCPServer(nullptr, port, "127.0.0.1", PeerCb, &server, 100),
            kTCP_InvalidParameter);
  EXPECT_EQ(ConnectToTCPServer(&h, 0, "127.0.0.1", PeerCb, &server, 100), kTCP_InvalidParameter);
  EXPECT_EQ(ConnectToTCPServer(&h, 70000, "127.0.0.1", PeerCb, &server, 100),
            kTCP_InvalidParameter);
  EXPECT_EQ(ConnectToTCPServer(&h, port, nullptr, PeerCb, &server, 100), kTCP_InvalidParameter);
  EXPECT_EQ(ConnectToTCPServer(&h, port, "", PeerCb, &server, 100), kTCP_InvalidParameter);
}

TEST_F(TcpTest, ServerRegistrationRules) {
  StartServer();
  EXPECT_EQ(RegisterTCPServer(0, PeerCb, &server, "127.0.0.1"), kTCP_ExistingServer);
  unsigned port = static_cast<unsigned>(GetTCPServerPort(0));
  // The real port is taken too, whether asked for by its number or not.
  EXPECT_EQ(RegisterTCPServer(port, PeerCb, &server, "127.0.0.1"), kTCP_ExistingServer);
  EXPECT_EQ(RegisterTCPServer(1234, PeerCb, &server, "not an address"), kTCP_InvalidParameter);
  EXPECT_EQ(RegisterTCPServer(1234, nullptr, &server, "127.0.0.1"), kTCP_InvalidParameter);
  EXPECT_EQ(UnregisterTCPServer(port), 0);  // by its real port
  EXPECT_EQ(UnregisterTCPServer(0), kTCP_ServerNotRegistered);
  EXPECT_LT(GetTCPServerPort(0), 0);
  EXPECT_EQ(RegisterTCPServer(0, PeerCb, &server, "127.0.0.1"), 0);  // free again

  // A port some other listener holds cannot be registered.
  QTcpServer other;
  ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
  EXPECT_EQ(RegisterTCPServer(other.serverPort(), PeerCb, &server, "127.0.0.1"),
            kTCP_UnableToRegisterService);
}

TEST_F(TcpTest, PeerNamesByHostName) {
  unsigned port = StartServer();
  Peer c;
  unsigned ch = 0;
  ASSERT_EQ(ConnectToTCPServer(&ch, port, "localhost", PeerCb, &c, 2000), 0);
  std::string name, addr;
  EXPECT_EQ(GetTCPPeerName(ch, &name), 0);
  EXPECT_EQ(name, "localhost");
  EXPECT_EQ(GetTCPPeerAddr(ch, &addr), 0);
  EXPECT_EQ(addr, "127.0.0.1");
}

// A peer that reads nothing: once the buffers on the way are full the write gives up with a
// time-out instead of blocking the loop.
TEST_F(TcpTest, WriteToAPeerThatDoesNotReadTimesOut) {
  unsigned port = StartServer();
  Peer c;
  const auto joined_ch = Join(port, &c);
  [[maybe_unused]] const auto ch = joined_ch.first;
  [[maybe_unused]] const auto sh = joined_ch.second;
  std::string lot(64u << 20, 'x');
  int r = ServerTCPWrite(sh, lot.data(), lot.size(), 200);
  EXPECT_EQ(r, kTCP_TimeOutErr);
}

// A client that stops reading: queued writes never wait, and once the bound is reached a record
// is refused whole, so what the client finally reads is a whole number of records, in order.
TEST_F(TcpTest, QueuedWritesStopWholeAtTheBound) {
  unsigned port = StartServer();
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_TRUE(PumpUntil([&] { return !server.handles(TCP_CONNECT).empty(); }));
  unsigned sh = server.handles(TCP_CONNECT).back();
  std::string sent;
  int r = 0;
  for (int i = 0; i < 200000 && r >= 0; ++i) {
    std::string rec = Pattern(298, i);
    r = ServerTCPWriteQueued(sh, rec.data(), rec.size(), 256 * 1024);
    if (r == 298) sent += rec;
    if (i % 64 == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  EXPECT_EQ(r, kTCP_TimeOutErr);
  EXPECT_EQ(sent.size() % 298, 0u);
  // Now the client reads everything: exactly the accepted records.
  std::string got;
  char buf[65536];
  PumpUntil([&] {
    for (;;) {
      ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got.size() >= sent.size();
  }, 20000);
  ::close(fd);
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
  EXPECT_EQ(ServerTCPWriteQueued(99999, buf, 1, 10), kTCP_InvalidParameter);
}

// What a peer sent just before closing is offered first; then the disconnect event comes once.
TEST_F(TcpTest, DisconnectEventsOnBothSides) {
  unsigned port = StartServer();
  Peer a, b;
  const auto joined_ah = Join(port, &a);
  [[maybe_unused]] const auto ah = joined_ah.first;
  [[maybe_unused]] const auto ash = joined_ah.second;
  const auto joined_bh = Join(port, &b);
  [[maybe_unused]] const auto bh = joined_bh.first;
  [[maybe_unused]] const auto bsh = joined_bh.second;

  const std::string last = Pattern(298, 3);
  ASSERT_EQ(ClientTCPWrite(ah, last.data(), last.size(), 2000), 298);
  ASSERT_EQ(DisconnectFromTCPServer(ah), 0);
  ASSERT_TRUE(PumpUntil([&] { return server.count(TCP_DISCONNECT) == 1; }));
  EXPECT_EQ(server.got[ash], last);
  EXPECT_EQ(server.handles(TCP_DISCONNECT)[0], ash);
  EXPECT_LT(server.events.back().err, 0);
  EXPECT_EQ(a.count(TCP_DISCONNECT), 0);  // the side that closed is not told
  char buf[8];
  EXPECT_LT(ServerTCPRead(ash, buf, sizeof buf, 10), 0);  // the handle is over
  EXPECT_LT(ClientTCPWrite(ah, "x", 1, 10), 0);

  // The server drops the other client after a last record.
  ASSERT_EQ(ServerTCPWrite(bsh, last.data(), last.size(), 2000), 298);
  ASSERT_EQ(DisconnectTCPClient(bsh), 0);
  ASSERT_TRUE(PumpUntil([&] { return b.count(TCP_DISCONNECT) == 1; }));
  EXPECT_EQ(b.got[bh], last);
  EXPECT_EQ(b.events.back().type, TCP_DISCONNECT);
  EXPECT_EQ(b.events.back().err, kTCP_ConnectionClosed);
  PumpFor(50);
  EXPECT_EQ(b.count(TCP_DISCONNECT), 1);
  EXPECT_EQ(server.count(TCP_DISCONNECT), 1);  // its own DisconnectTCPClient raises nothing
  EXPECT_LT(ClientTCPRead(bh, buf, sizeof buf, 10), 0);
}

TEST_F(TcpTest, UnregisteringCutsItsClients) {
  unsigned port = StartServer();
  Peer a;
  const auto joined_ah = Join(port, &a);
  [[maybe_unused]] const auto ah = joined_ah.first;
  [[maybe_unused]] const auto ash = joined_ah.second;
  ASSERT_EQ(UnregisterTCPServer(0), 0);
  ASSERT_TRUE(PumpUntil([&] { return a.count(TCP_DISCONNECT) == 1; }));
  EXPECT_LT(ServerTCPWrite(ash, "x", 1, 10), 0);
}

TEST_F(TcpTest, WrongHandlesGiveNegativeCodes) {
  char buf[16] = {};
  std::string s;
  EXPECT_LT(ClientTCPRead(999999, buf, sizeof buf, 10), 0);
  EXPECT_LT(ClientTCPWrite(999999, buf, sizeof buf, 10), 0);
  EXPECT_LT(ServerTCPRead(999999, buf, sizeof buf, 10), 0);
  EXPECT_LT(ServerTCPWrite(999999, buf, sizeof buf, 10), 0);
  EXPECT_LT(DisconnectFromTCPServer(999999), 0);
  EXPECT_LT(DisconnectTCPClient(999999), 0);
  EXPECT_LT(GetTCPPeerName(999999, &s), 0);
  EXPECT_LT(GetTCPPeerAddr(999999, &s), 0);
  EXPECT_LT(UnregisterTCPServer(4321), 0);

  // A live handle used with the other family's call, or with bad arguments.
  unsigned port = StartServer();
  Peer c;
  const auto joined_ch = Join(port, &c);
  [[maybe_unused]] const auto ch = joined_ch.first;
  [[maybe_unused]] const auto sh = joined_ch.second;
  EXPECT_LT(ServerTCPWrite(ch, "x", 1, 10), 0);
  EXPECT_LT(ClientTCPWrite(sh, "x", 1, 10), 0);
  EXPECT_LT(DisconnectTCPClient(ch), 0);
  EXPECT_LT(DisconnectFromTCPServer(sh), 0);
  EXPECT_EQ(ClientTCPRead(ch, nullptr, 10, 10), kTCP_InvalidParameter);
  EXPECT_EQ(ClientTCPRead(ch, buf, 0, 10), kTCP_InvalidParameter);
  // Nothing waiting on a live connection: a time-out, never 0 bytes.
  EXPECT_EQ(ClientTCPRead(ch, buf, sizeof buf, 20), kTCP_TimeOutErr);
  // The connection still works after all that.
  ASSERT_EQ(ServerTCPWrite(sh, "ok", 2, 2000), 2);
  ASSERT_TRUE(PumpUntil([&] { return c.got[ch] == "ok"; }));
}

// A program may close the connection it is being called for.
TEST_F(TcpTest, ClosingInsideItsOwnCallback) {
  unsigned port = StartServer();
  Peer c;
  c.perEvent = 5;
  c.onEvent = [&](unsigned h, int type) {
    if (type == TCP_DATAREADY) {
      EXPECT_EQ(DisconnectFromTCPServer(h), 0);
      char b[4];
      EXPECT_LT(ClientTCPRead(h, b, sizeof b, 10), 0);
    }
  };
  const auto joined_ch = Join(port, &c);
  [[maybe_unused]] const auto ch = joined_ch.first;
  [[maybe_unused]] const auto sh = joined_ch.second;
  const std::string block = Pattern(100, 4);
  ASSERT_EQ(ServerTCPWrite(sh, block.data(), block.size(), 2000), 100);
  ASSERT_TRUE(PumpUntil([&] { return server.count(TCP_DISCONNECT) == 1; }));
  PumpFor(50);
  EXPECT_EQ(c.count(TCP_DATAREADY), 1);  // no event after the close
  EXPECT_EQ(c.got[ch], block.substr(0, 5));
}

// While a pop-up is open no TCP callback runs; afterwards everything held arrives whole.
TEST_F(TcpTest, PopupHoldsEventsUntilReleased) {
  unsigned port = StartServer();
  Peer a, b;
  b.perEvent = 100;
  const auto joined_ah = Join(port, &a);
  [[maybe_unused]] const auto ah = joined_ah.first;
  [[maybe_unused]] const auto ash = joined_ah.second;

  rte::model::PopupEntered();
  ASSERT_TRUE(rte::PopupOpen());
  const std::string rec = Pattern(298, 5);
  ASSERT_EQ(ServerTCPWrite(ash, rec.data(), rec.size(), 2000), 298);
  unsigned bh = 0;
  ASSERT_EQ(ConnectToTCPServer(&bh, port, "127.0.0.1", PeerCb, &b, 2000), 0);
  ASSERT_EQ(ClientTCPWrite(bh, "hello", 5, 2000), 5);
  PumpFor(150);
  EXPECT_TRUE(a.events.empty());
  EXPECT_EQ(server.count(TCP_CONNECT), 1);  // only the one from before
  EXPECT_EQ(server.count(TCP_DATAREADY), 0);

  rte::model::PopupLeft();
  ASSERT_TRUE(PumpUntil([&] { return a.got[ah].size() >= 298 && server.count(TCP_CONNECT) == 2; }));
  EXPECT_EQ(a.got[ah], rec);
  unsigned bsh = server.handles(TCP_CONNECT).back();
  ASSERT_TRUE(PumpUntil([&] { return server.got[bsh] == "hello"; }));
  // Its connect event came before its data.
  for (auto& e : server.events) {
    if (e.handle != bsh) continue;
    EXPECT_EQ(e.type, TCP_CONNECT);
    break;
  }
}

// A pop-up opened inside one connection's callback runs its own loop; the other connection's
// events wait for it to close, and its bytes arrive whole afterwards.
TEST_F(TcpTest, PopupInsideCallbackHoldsOtherConnections) {
  unsigned port = StartServer();
  Peer a, b;
  const auto joined_ah = Join(port, &a);
  [[maybe_unused]] const auto ah = joined_ah.first;
  [[maybe_unused]] const auto ash = joined_ah.second;
  const auto joined_bh = Join(port, &b);
  [[maybe_unused]] const auto bh = joined_bh.first;
  [[maybe_unused]] const auto bsh = joined_bh.second;
  const std::string ra = Pattern(298, 6), rb = Pattern(298, 7);
  int bEventsDuringPopup = -1;
  a.onEvent = [&](unsigned, int type) {
    if (type != TCP_DATAREADY || bEventsDuringPopup >= 0) return;
    rte::model::PopupEntered();
    ServerTCPWrite(bsh, rb.data(), rb.size(), 2000);
    QEventLoop dialog;  // what a modal dialog runs
    QTimer::singleShot(150, &dialog, &QEventLoop::quit);
    dialog.exec();
    bEventsDuringPopup = static_cast<int>(b.events.size());
    rte::model::PopupLeft();
  };
  ASSERT_EQ(ServerTCPWrite(ash, ra.data(), ra.size(), 2000), 298);
  ASSERT_TRUE(PumpUntil([&] { return a.got[ah].size() >= 298 && b.got[bh].size() >= 298; }));
  EXPECT_EQ(bEventsDuringPopup, 0);
  EXPECT_EQ(a.got[ah], ra);
  EXPECT_EQ(b.got[bh], rb);
}

}  // namespace
