#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>

#include "bench_common.h"
#include "core/hkdb.h"
#include "core/scans.h"
#include "core/science.h"

using namespace tallox;

namespace {

const std::string& File() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "bench_tallox_64mb.tlm").string();
    bench::WriteSynthetic(p, 225000);  // about 64 MB
    return p;
  }();
  return path;
}

void BM_ScanApIDs(benchmark::State& state) {
  ScanInput in;
  in.FileName = File();
  std::uint64_t records = 0;
  for (auto _ : state) {
    ApidScan s = ScanApIDs(in);
    records += s.records;
    benchmark::DoNotOptimize(s.total200);
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(records) * kRecordSize);
}
BENCHMARK(BM_ScanApIDs)->Unit(benchmark::kMillisecond);

void BM_ExtractTenPoints(benchmark::State& state) {
  std::string table = "1\n2\n3\n4\n5\n";
  const char* scales[] = {"1", "0.5", "LOGT", "MAG", "YSI", "RTD", "2", "3", "4", "5"};
  for (int i = 0; i < 10; ++i)
    table += "P" + std::to_string(i) + "\t" + (i == 2 ? "1" : "2") + "\t" + std::to_string(12 + 2 * i) +
             "\tx\t0\t" + scales[i] + "\t1\n";
  table += "Checksum\nYSI\n a 1\n b 1\n c 0\n d 0\n e 0\n f 0\nRTD\n a 1\n b 1\n c 1\n"
           "MAG\n a 1\n b 1\n c 0\n d 0\n e 0\n f 0\n";
  const Database db = ParseTable(table, false, "bench");
  std::array<int, kSelectors> sel;
  for (int k = 0; k < kSelectors; ++k) sel[k] = k;
  ScanInput in;
  in.FileName = File();
  SampleStore store;
  std::uint64_t records = 0, samples = 0;
  for (auto _ : state) {
    Extraction x = ExtractHK(in, db, sel, false, store);
    samples += x.samples;
    records += in.source.bytesTotal() / kRecordSize;
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["hk samples/s"] = benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExtractTenPoints)->Unit(benchmark::kMillisecond);

// The MAG time series of the 64 MB file: 22,500 APID 208 packets, 945,000 samples.
void BM_MagSeries(benchmark::State& state) {
  ScanInput in;
  in.FileName = File();
  std::uint64_t records = 0, samples = 0;
  for (auto _ : state) {
    MagSeries m = ExtractMag(in, false);
    samples += m.size();
    records += in.source.bytesTotal() / kRecordSize;
    benchmark::DoNotOptimize(m.x.data());
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MagSeries)->Unit(benchmark::kMillisecond);

// STE rates of the same file: 22,500 APID 220 packets, 225,000 frames of 24 channels.
void BM_SteRates(benchmark::State& state) {
  ScanInput in;
  in.FileName = File();
  SampleStore store;
  std::uint64_t records = 0;
  for (auto _ : state) {
    SteRates r = ExtractSteRates(in, store);
    benchmark::DoNotOptimize(r.packets);
    records += in.source.bytesTotal() / kRecordSize;
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SteRates)->Unit(benchmark::kMillisecond);

// One component's six-parameter step fit (the MAG IFC fit runs three).
void BM_MagStepFit(benchmark::State& state) {
  const double truth[6] = {100, 400, 10.3, 3, 50, 12};
  std::array<double, 42> y;
  for (int i = 0; i < 42; ++i) y[i] = MagIfcModel(i, truth) + ((i * 7) % 5 - 2) * 0.5;
  for (auto _ : state) {
    MagIfcFit f = FitMagComponent(y, 0.25);
    benchmark::DoNotOptimize(f.chi2);
  }
}
BENCHMARK(BM_MagStepFit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
