// Whole-process `tallox scan` on a large file in the page cache against `cat FILE > /dev/null`,
// side by side in the same run (best of several alternating runs), with the peak memory of the
// scan and the start-up alone (`tallox --help`). Size: TALLOX_BENCH_MB (default 300).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_common.h"

namespace {

struct Result {
  double seconds = 0;
  long maxRssKb = 0;
  int status = -1;
};

// Runs argv with stdout and stderr sent to /dev/null; wall time and peak resident memory.
Result Run(const std::vector<std::string>& args) {
  Result r;
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.maxRssKb = ru.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

int main() {
  const char* mbEnv = std::getenv("TALLOX_BENCH_MB");
  const std::uint64_t mb = mbEnv ? std::strtoull(mbEnv, nullptr, 10) : 300;
  const std::uint64_t records = mb * 1024 * 1024 / tallox::kRecordSize;
  const std::string path =
      (std::filesystem::temp_directory_path() / ("bench_tallox_" + std::to_string(mb) + "mb.tlm")).string();
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != records * tallox::kRecordSize) {
    std::printf("writing %s (%llu records)\n", path.c_str(), static_cast<unsigned long long>(records));
    tallox::bench::WriteSynthetic(path, records);
  }
  const double bytes = static_cast<double>(records * tallox::kRecordSize);
  Run({"cat", path});  // into the page cache
  // Alternate the programs so that both meet the same machine load.
  Result cat, scan, help;
  cat.seconds = scan.seconds = help.seconds = 1e30;
  for (int i = 0; i < 7; ++i) {
    const Result c = Run({"sh", "-c", "cat '" + path + "' > /dev/null"});
    const Result s = Run({TALLOX_BINARY, "scan", path});
    const Result h = Run({TALLOX_BINARY, "--help"});
    if (c.seconds < cat.seconds) cat = c;
    if (s.seconds < scan.seconds) scan = s;
    if (h.seconds < help.seconds) help = h;
  }
  if (scan.status != 0) {
    std::printf("tallox scan failed (status %d)\n", scan.status);
    return 1;
  }
  const double catRate = bytes / cat.seconds / 1e6, scanRate = bytes / scan.seconds / 1e6;
  std::printf("file: %.0f MB, %llu records\n", bytes / 1e6, static_cast<unsigned long long>(records));
  std::printf("cat > /dev/null : %.3f s, %.0f MB/s\n", cat.seconds, catRate);
  std::printf("tallox scan     : %.3f s, %.0f MB/s, %.1f M records/s, peak RSS %.1f MB\n",
              scan.seconds, scanRate, records / scan.seconds / 1e6, scan.maxRssKb / 1024.0);
  std::printf("tallox --help   : %.3f s (start-up alone)\n", help.seconds);
  std::printf("whole-process scan time / cat time: %.2f (target at most 1.5), memory target under 64 MB\n",
              scan.seconds / cat.seconds);
  return 0;
}
