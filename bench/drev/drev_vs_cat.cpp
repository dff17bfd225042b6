// `drev --headless FILE > /dev/null` on a large file in the page cache against
// `cat FILE > /dev/null`, in the same run (whole processes). Size: DREV_BENCH_MB (default 512).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "drev_records.h"

namespace fs = std::filesystem;

namespace {

// Wall time of one run with stdout and stderr sent to /dev/null; negative on failure.
double Run(const std::vector<std::string>& args, const std::string& cwd) {
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
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
  waitpid(pid, &status, 0);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

double Best(const std::vector<std::string>& args, const std::string& cwd, int times) {
  double best = 1e30;
  for (int i = 0; i < times; ++i) {
    const double s = Run(args, cwd);
    if (s < 0) return -1;
    best = std::min(best, s);
  }
  return best;
}

}  // namespace

int main() {
  const char* mbEnv = std::getenv("DREV_BENCH_MB");
  const unsigned long long mb = mbEnv ? std::strtoull(mbEnv, nullptr, 10) : 512;
  const unsigned records = static_cast<unsigned>(mb * 1024 * 1024 / drev::kRecordSize);
  const fs::path dir = fs::temp_directory_path() / "bench_drev_vs_cat";
  fs::create_directories(dir / "cfg");
  fs::copy_file(fs::path(DREV_STATION_DIR) / "cfg" / "drev.cfg", dir / "cfg" / "drev.cfg",
                fs::copy_options::overwrite_existing);
  const std::string path = (dir / ("analyzer_" + std::to_string(mb) + "mb.pbf")).string();
  std::error_code ec;
  if (fs::file_size(path, ec) != static_cast<std::uintmax_t>(records) * drev::kRecordSize) {
    std::printf("writing %s (%u records)\n", path.c_str(), records);
    if (!drev::bench::WriteRecords(path, records)) return 1;
  }
  Run({"cat", path}, dir.string());  // into the page cache
  const double cat = Best({"sh", "-c", "cat '" + path + "' > /dev/null"}, dir.string(), 3);
  const double drev = Best({DREV_BINARY, "--headless", path}, dir.string(), 3);
  if (cat < 0 || drev < 0) {
    std::printf("a run failed\n");
    return 1;
  }
  const double bytes = static_cast<double>(records) * drev::kRecordSize;
  std::printf("file: %.0f MB, %u analyzer records (5 distribution, pitch, moment, housekeeping)\n", bytes / 1e6,
              records);
  std::printf("cat > /dev/null           : %.3f s, %.0f MB/s\n", cat, bytes / cat / 1e6);
  std::printf("drev --headless > /dev/null: %.3f s, %.0f MB/s, %.2f M packets/s (whole process, lines printed)\n",
              drev, bytes / drev / 1e6, records / drev / 1e6);
  std::printf("drev / cat                : %.0f%% of cat's rate\n", 100.0 * cat / drev);
  return 0;
}
