// Decoding rate of the analyzer's packets: records through Receive and Pkt with the science
// decoders, without any output, and the headless printer's whole file path into /dev/null.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli/headless.h"
#include "core/stream.h"
#include "drev_records.h"

namespace {

struct Quiet : drev::Sink {};

void BM_ReceiveAndDecode(benchmark::State& st) {
  const auto recs = drev::bench::MakeRecords(80000);
  auto s = std::make_unique<drev::DrevState>();
  s->cfg.cfgswp = 1;
  Quiet sink;
  for (auto _ : st) {
    for (std::size_t off = 0; off < recs.size(); off += 2048) {
      drev::Receive(*s, recs.data() + off, std::min<std::size_t>(2048, recs.size() - off), sink);
      drev::Pkt(*s, sink);
    }
  }
  benchmark::DoNotOptimize(s->distData[3][2][1]);
  st.SetItemsProcessed(static_cast<long long>(st.iterations()) * 80000);
  st.SetBytesProcessed(static_cast<long long>(st.iterations()) * static_cast<long long>(recs.size()));
}
BENCHMARK(BM_ReceiveAndDecode)->Unit(benchmark::kMillisecond);

void BM_DistributionPacket(benchmark::State& st) {
  auto s = std::make_unique<drev::DrevState>();
  s->cfg.cfgswp = 1;
  std::uint8_t rec[drev::kRecordSize];
  drev::bench::MakeRecord(rec, 2);
  Quiet sink;
  for (auto _ : st) drev::ProcessRecord(*s, rec, sink);
  benchmark::DoNotOptimize(s->distData[5][2][1]);
  st.SetItemsProcessed(static_cast<long long>(st.iterations()));
}
BENCHMARK(BM_DistributionPacket);

void BM_MomentPacket(benchmark::State& st) {
  auto s = std::make_unique<drev::DrevState>();
  s->cfg.cfgswp = 1;
  std::uint8_t rec[drev::kRecordSize];
  drev::bench::MakeRecord(rec, 6);
  Quiet sink;
  for (auto _ : st) drev::ProcessRecord(*s, rec, sink);
  benchmark::DoNotOptimize(s->moment[8][3]);
  st.SetItemsProcessed(static_cast<long long>(st.iterations()));
}
BENCHMARK(BM_MomentPacket);

// The headless mode's own path: file reads, decoding and the printed lines (to /dev/null).
void BM_HeadlessFile(benchmark::State& st) {
  const std::string path = (std::filesystem::temp_directory_path() / "bench_drev_decode.pbf").string();
  const unsigned n = 200000;
  drev::bench::WriteRecords(path, n);
  std::FILE* null = std::fopen("/dev/null", "w");
  for (auto _ : st) {
    auto s = std::make_unique<drev::DrevState>();
    s->cfg.cfgswp = 1;
    drev::RunFile(*s, path, null, stderr);
  }
  std::fclose(null);
  st.SetItemsProcessed(static_cast<long long>(st.iterations()) * n);
}
BENCHMARK(BM_HeadlessFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
