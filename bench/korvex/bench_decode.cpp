// Decoding of processor housekeeping packets with every item block and the limit checks on,
// against the sample database.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "telemetry/decode.h"

using namespace korvex;

namespace {

std::string Slurp(const std::string& name) {
  std::ifstream in(std::string(STATION_DIR) + "/database/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void BM_ExtConvDisplay(benchmark::State& state) {
  TelemetryDb db;
  LoadTlm("t", Slurp("VANTIS_tlm.txt"), db);
  LoadSeq("s", Slurp("VANTIS_seq.txt"), db);
  ErrDb err;
  CmdDb cmd;
  ReadCmdDb({}, cmd);
  HkState st;
  HkOut out;
  std::uint8_t p[272];
  for (int i = 0; i < 272; ++i) p[i] = static_cast<std::uint8_t>(i * 37);
  p[33] = 0x3F;
  p[14] = 20;
  p[34] = 0x02, p[35] = 0x44;
  p[36] = 0x00, p[37] = 0x44;
  HkContext ctx{db, st, err, &cmd, 1, AlarmCfg{3, true}, -378691200};
  std::size_t values = 0;
  for (auto _ : state) {
    p[23] = static_cast<std::uint8_t>(state.iterations());  // a new error count each packet
    ExtConvDisplay(p, ctx, out);
    values += out.values.size();
    benchmark::DoNotOptimize(out.values.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["values/packet"] = static_cast<double>(values) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ExtConvDisplay);

}  // namespace
BENCHMARK_MAIN();
