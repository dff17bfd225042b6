// drev: the analyzer display program. With the view it shows its panels; with --headless it
// prints one line per decoded analyzer product, from a file (--headless FILE) or from the
// configured server's live stream (--headless).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/headless.h"
#include "rte/app.h"
#include "rte/rte.h"
#include "src/gui.h"

namespace {

const char* kUsage =
    "usage: drev [--headless [FILE]] [--answers FILE] [--screenshot PREFIX [--screenshot-delay S]]\n"
    "\n"
    "The display program of the analyzer: 3-D and pitch-angle distributions, moments and\n"
    "housekeeping from the station's local telemetry server (cfg/drev.cfg, lines 1 and 2).\n"
    "\n"
    "  --headless            no panels: connect to the configured server and print one line per\n"
    "                        decoded analyzer product until the server closes or SIGTERM/SIGINT\n"
    "  --headless FILE       the same for a recorded stream (\".pbf\" or \".tlm\"), then exit\n"
    "  --answers FILE        answers for pop-ups, one a line\n"
    "  --screenshot PREFIX   save every visible panel as PREFIX-<title>.png after a delay\n"
    "  --help, --version\n"
    "\n"
    "Lines: DIST <time> apid= total= E= D= A= (every fifth distribution packet), PITCH <time>\n"
    "az= el= total= rows=, MOM <time> status= set8=, HKPG <time> part= chN=, SUITE <time> 12V=\n"
    "DVCC1= D5VD=, SC A|B on a change of spacecraft, CHECKSUM <n> on a bad packet sum.\n"
    "Run from a working directory holding cfg/drev.cfg (and pbf/ for recordings).\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("drev %s\n", VANTIS_VERSION);
      return 0;
    }
  }
  rte::AppOptions opts = rte::ParseAppOptions(argc, argv);
  std::string file;
  for (const std::string& a : opts.rest) {
    if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "drev: unknown option '%s'; try --help\n", a.c_str());
      return 2;
    }
    if (!file.empty() || !opts.headless) {
      std::fprintf(stderr, "drev: unknown verb '%s'; try --help\n", a.c_str());
      return 2;
    }
    file = a;
  }
  if (opts.headless && !file.empty()) {
    auto s = std::make_unique<drev::DrevState>();
    // Paths are found without regard to letter case, as everywhere in the station.
    if (!drev::LoadConfig(*s, rte::ResolvePath(drev::kCfgPath), stderr)) return 1;
    return drev::RunFile(*s, rte::ResolvePath(file), stdout, stderr);
  }
  if (opts.headless) return drev::RunLiveHeadless(argc, argv, opts);
  return drev::RunDrevGui(argc, argv, opts);
}
