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
