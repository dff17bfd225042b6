// Throughput of the engine's TCP path as the station uses it: a server writes 298-byte records
// back to back, the client's data-ready callback assembles them reading only what it still lacks.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>

#include "rte/app.h"
#include "rte/rte.h"

namespace {

constexpr int kRecord = 298;

struct Assembler {
  char buf[kRecord];
  int held = 0;
  long records = 0;
};

int ClientCb(unsigned h, int type, int, void* d) {
  auto* a = static_cast<Assembler*>(d);
  if (type != TCP_DATAREADY) return 0;
  int n = ClientTCPRead(h, a->buf + a->held, kRecord - a->held, 2000);
  if (n > 0) {
    a->held += n;
    if (a->held == kRecord) {
      a->held = 0;
      ++a->records;
    }
  }
  return 0;
}

unsigned g_serverConn = 0;
int ServerCb(unsigned h, int type, int, void*) {
  if (type == TCP_CONNECT) g_serverConn = h;
  return 0;
}

bool PumpUntil(const std::function<bool()>& done, int boundMs) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < boundMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

// One iteration: a burst of `range(0)` records written at once, delivered and assembled.
void BM_RecordBurst(benchmark::State& state) {
  rte::EnsureCoreApp();
  const int burst = static_cast<int>(state.range(0));
  if (RegisterTCPServer(0, ServerCb, nullptr, "127.0.0.1") != 0) {
    state.SkipWithError("cannot listen");
    return;
  }
  unsigned port = static_cast<unsigned>(GetTCPServerPort(0));
  Assembler a;
  unsigned client = 0;
  g_serverConn = 0;
  if (ConnectToTCPServer(&client, port, "127.0.0.1", ClientCb, &a, 2000) != 0 ||
      !PumpUntil([] { return g_serverConn != 0; }, 5000)) {
    state.SkipWithError("cannot connect");
    UnregisterTCPServer(0);
    return;
  }
  std::string block(static_cast<std::size_t>(burst) * kRecord, '\x5A');
  for (auto _ : state) {
    long target = a.records + burst;
    ServerTCPWrite(g_serverConn, block.data(), block.size(), 5000);
    if (!PumpUntil([&] { return a.records >= target; }, 10000)) {
      state.SkipWithError("records lost");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * burst);
  state.SetBytesProcessed(state.iterations() * burst * kRecord);
  DisconnectFromTCPServer(client);
  UnregisterTCPServer(0);
}
BENCHMARK(BM_RecordBurst)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
