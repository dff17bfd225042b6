#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/station.h"
#include "links/record.h"
#include "rte/app.h"
#include "rte/rte.h"

using namespace korvex;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Record(int apid, std::uint8_t sc, unsigned seq) {
  std::vector<std::uint8_t> r(kRecordSize, 0);
  r[6] = sc;
  std::uint8_t* p = r.data() + kHeaderSize;
  p[0] = static_cast<std::uint8_t>(0x08 | ((apid >> 8) & 7));
  p[1] = static_cast<std::uint8_t>(apid);
  for (std::size_t i = 2; i < kPacketSize - 1; ++i) p[i] = static_cast<std::uint8_t>(i + seq);
  p[kPacketSize - 1] = static_cast<std::uint8_t>(-PacketSum(p));
  return r;
}

const int kApids[] = {0x200, 0x201, 0x210, 0x241, 0x313, 0x00B, 0x0C0};

// Assembly from three reads, the packet check and the counters: the pure part of the intake.
void BM_AssembleCheckCount(benchmark::State& st) {
  std::vector<std::vector<std::uint8_t>> recs;
  for (int a : kApids) recs.push_back(Record(a, 0xEA, 1));
  Assembler as;
  Counters c;
  ApdIndex idx;
  idx.e[0x200] = {1, 34, 1, 16};
  std::uint8_t dec[kRecordSize];
  std::size_t i = 0;
  for (auto _ : st) {
    const auto& r = recs[i++ % recs.size()];
    bool done = false;
    std::size_t off = 0;
    for (std::size_t piece : {100u, 150u, 48u}) {
      WantBytes(as);
      off += AppendBytes(as, r.data() + off, piece, &done);
    }
    ApidResult a = GetApid(as.tcpbuf.data(), 1, dec);
    benchmark::DoNotOptimize(CountPacket(c, idx, a.apid));
    ResetAssembler(as);
  }
  st.SetItemsProcessed(st.iterations());
  st.SetBytesProcessed(st.iterations() * static_cast<long>(kRecordSize));
}
BENCHMARK(BM_AssembleCheckCount);

// The station's whole path for one record (panels updated, recording on, log file open), in a
// scratch copy of the sample working directory.
void BM_StationRecordPath(benchmark::State& st) {
  fs::path dir = fs::temp_directory_path() / ("korvex_bench_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "log");
  fs::create_directories(dir / "cfg");
  fs::copy(fs::path(STATION_DIR) / "database", dir / "database", fs::copy_options::recursive);
  std::ofstream(dir / "cfg/korvex.cfg")
      << "s = 127.0.0.1\np = 1\np = 2\ns = 0\nt = 0\nw = 1\nf = 0\nc = CMD1.cfg\na = 10\n"
         "s = 0\ns = 0\nv = 1\nt = 127.0.0.1\ns = 5\nw = 0\na = 10\n";
  std::ofstream(dir / "cfg/CMD1.cfg") << "rem\n";
  fs::path old = fs::current_path();
  fs::current_path(dir);
  rte::EnsureCoreApp();
  rte::AddResourceDir(KORVEX_UI_DIR);
  Program& p = NewContext();
  p.headless = true;
  p.echoOut = [](const std::string&) {};
  InstallStation(p);
  if (StartStation() != kStarted) {
    st.SkipWithError("station did not start");
    return;
  }
  RunCommandLine("rec on");
  std::vector<std::vector<std::uint8_t>> recs;
  for (int a : kApids) recs.push_back(Record(a, 0xEA, 1));
  std::size_t i = 0;
  for (auto _ : st) {
    const auto& r = recs[i++ % recs.size()];
    HandleRecord(r.data());
  }
  st.SetItemsProcessed(st.iterations());
  NewContext();
  rte::ResetModel();
  fs::current_path(old);
  fs::remove_all(dir);
}
BENCHMARK(BM_StationRecordPath);

void BM_FormatLog(benchmark::State& st) {
  LogState s;
  for (auto _ : st)
    benchmark::DoNotOptimize(
        FormatLog(s, "Bad checksum apid 210", kRed, "03-10-2026", "12:30:00"));
}
BENCHMARK(BM_FormatLog);

}  // namespace

BENCHMARK_MAIN();
