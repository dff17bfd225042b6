// Headless live mode: the configured server's stream straight into Receive and Pkt, each decoded
// product printed at once.
#include <cstdlib>
#include <cstring>

#include "cli/headless.h"
#include "rte/app.h"
#include "rte/rte.h"
#include "src/gui.h"

namespace drev {

namespace {

bool g_stop = false;
bool g_closed = false;
int g_status = 0;
DrevState* g_state = nullptr;
LinePrinter* g_printer = nullptr;

int OnTcp(unsigned handle, int event, int error, void*) {
  if (event == TCP_DISCONNECT) {
    std::fprintf(stderr, "drev: Server has closed connection!\n");
    g_closed = true;
  } else if (event == TCP_DATAREADY) {
    std::uint8_t buf[kTcpBuffSize];
    const int n = ClientTCPRead(handle, buf, sizeof buf, 1000);
    if (n < 0) {
      std::fprintf(stderr, "drev: TCP read error! (%d)\n", n);
      g_closed = true;
      g_status = 1;
      return 0;
    }
    Receive(*g_state, buf, static_cast<std::size_t>(n), *g_printer);
    Pkt(*g_state, *g_printer);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int RunLiveHeadless(int argc, char** argv, const rte::AppOptions& opts) {
  auto s = std::make_unique<DrevState>();
  if (!LoadConfig(*s, rte::ResolvePath(kCfgPath), stderr)) return 1;
  rte::StartApp(argc, argv, opts);
  LinePrinter printer(stdout);
  g_state = s.get();
  g_printer = &printer;
  rte::WatchStopSignals([] { g_stop = true; });
  const int port = std::atoi(s->cfg.ipPort.c_str());
  unsigned handle = 0;
  const int rc = ConnectToTCPServer(&handle, static_cast<unsigned>(port), s->cfg.ipStr.c_str(), OnTcp, nullptr, 5000);
  if (rc < 0) {
    std::fprintf(stderr, "drev: Connection to server failed ! %s:%s: %s\n", s->cfg.ipStr.c_str(),
                 s->cfg.ipPort.c_str(), rc == kTCP_TimeOutErr ? "timed out" : "connection refused or host unreachable");
    return 1;
  }
  while (!g_stop && !g_closed && !rte::StopRequested()) Delay(0.05);
  if (!g_closed) DisconnectFromTCPServer(handle);
  // What is still held was a partial record.
  std::fflush(stdout);
  g_state = nullptr;
  g_printer = nullptr;
  return g_status;
}

}  // namespace drev
