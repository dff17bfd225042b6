// Record generation rate of the simulator: the mixed stream the demo uses, housekeeping only (the
// database-driven packet) and the inverse conversions behind it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "convert.h"
#include "database.h"
#include "generator.h"
#include "plan.h"

using namespace mocsim;

namespace {

// The sample station database when the benchmark runs from the repository; empty tables otherwise.
const Databases& databases() {
  static Databases db = [] {
    Databases d;
    const char* dir = std::getenv("MOCSIM_STATION");
    loadStation(dir ? dir : VANTIS_STATION_DIR, d);
    return d;
  }();
  return db;
}

void runStream(benchmark::State& state, const std::vector<std::string>& args) {
  Generator g(databases());
  Options o;
  std::string err;
  if (!parseOptions(args, o, err)) {
    state.SkipWithError(err.c_str());
    return;
  }
  Stream s(g, o);
  Emitted e;
  for (auto _ : state) {
    s.next(e);
    benchmark::DoNotOptimize(e.rec.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * kRecordSize);
}

void BM_MixedRecords(benchmark::State& state) {
  runStream(state, {"--rate", "0", "--start-time", "1800000000"});
}
BENCHMARK(BM_MixedRecords);

// One simulated second per record defeats the housekeeping cache: every packet is converted anew.
void BM_HousekeepingRecordsUncached(benchmark::State& state) {
  runStream(state, {"--apids", "200", "--step", "1", "--start-time", "1800000000"});
}
BENCHMARK(BM_HousekeepingRecordsUncached);

void BM_SwappedRecordsWithFaults(benchmark::State& state) {
  runStream(state, {"--rate", "0", "--swapped", "--fault", "badck@5,gap@7", "--start-time", "1800000000"});
}
BENCHMARK(BM_SwappedRecordsWithFaults);

void BM_ThermistorInverse(benchmark::State& state) {
  static const double ysi[6] = {-55.0, 0.045, -4.0e-06, 6.5e-10, 1.0e-14, -5.0e-19};
  double t = -20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(polyInverse(ysi, 6, t, 65535));
    t = t > 40 ? -20 : t + 0.37;
  }
}
BENCHMARK(BM_ThermistorInverse);

}  // namespace

// ---- the simulator program to one loopback client ----------------------------------------------

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// One mocsim child serving an endless unthrottled mixed stream on an ephemeral port, and one client
// connection to it; torn down when the benchmark program ends.
struct LoopbackServer {
  pid_t pid = -1;
  int fd = -1;
  std::string error;
  LoopbackServer() {
    int out[2];
    if (pipe(out) != 0) { error = "pipe"; return; }
    pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      execl(MOCSIM_BINARY, MOCSIM_BINARY, "--station", VANTIS_STATION_DIR, "--tlm-port", "0", "--cmd-port", "off",
            "--rate", "0", "--quiet", "--start-time", "1800000000", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    FILE* f = fdopen(out[0], "r");
    char line[512];
    int port = -1;
    while (port < 0 && f && std::fgets(line, sizeof line, f))
      if (std::strncmp(line, "TLM PORT ", 9) == 0) port = std::atoi(line + 9);
    // The child keeps logging; drain its output so that it never blocks on a full pipe.
    if (f && fork() == 0) {
      while (std::fgets(line, sizeof line, f)) {}
      _exit(0);
    }
    if (f) std::fclose(f);
    if (port <= 0) { error = "no port from mocsim"; return; }
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) error = "connect";
  }
  ~LoopbackServer() {
    if (fd >= 0) close(fd);
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

void BM_LoopbackClientRecords(benchmark::State& state) {
  static LoopbackServer server;
  if (!server.error.empty()) {
    state.SkipWithError(server.error.c_str());
    return;
  }
  const long kRecords = 10000;  // per iteration
  std::vector<char> buf(1 << 16);
  long total = 0;
  for (auto _ : state) {
    long want = kRecords * kRecordSize;
    while (want > 0) {
      ssize_t n = read(server.fd, buf.data(), size_t(std::min<long>(want, long(buf.size()))));
      if (n <= 0) {
        state.SkipWithError("stream ended");
        return;
      }
      want -= n;
    }
    total += kRecords;
  }
  state.SetItemsProcessed(total);
  state.SetBytesProcessed(total * kRecordSize);
}
BENCHMARK(BM_LoopbackClientRecords)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
