// Does the display stall with the analyzer at 1,000 packets a second?
//
// With the view attached (offscreen platform) and the science panels shown, a producer hands
// the link 10 analyzer records every 10 ms (5 distribution packets, pitch, moments and
// housekeeping in turn) for S seconds; the link timer's
// work (processing and panel updates) runs every 100 ms and is timed. A
// 5 ms timer measures the gaps between its own ticks (after the first second, which paints the
// panels): the longest gap is the loop's longest stall. Measured, not asserted.
//
//   bench_drev_display [--seconds S] [--rate N]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "drev_records.h"
#include "rte/app.h"
#include "rte/rte.h"
#include "src/gui.h"
#include "src/uir_ids.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  double seconds = 10;
  int rate = 1000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--rate")) rate = std::atoi(argv[++i]);
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path dir = fs::temp_directory_path() / "bench_drev_display";
  fs::create_directories(dir / "cfg");
  fs::copy_file(fs::path(DREV_STATION_DIR) / "cfg" / "drev.cfg", dir / "cfg" / "drev.cfg",
                fs::copy_options::overwrite_existing);
  fs::current_path(dir);
  rte::AppOptions o;
  o.headless = false;
  rte::StartApp(argc, argv, o);
  if (drev::gui::Start() < 0 || !drev::gui::ReadCfg()) return 1;
  auto& P = drev::gui::P();
  // --panels R,R,...: only these resource numbers shown (default: the twelve busiest).
  std::vector<int> shown = {RES_NUM3D, RES_DEA, RES_DAE, RES_CHRTE, RES_CHRTA, RES_PITCHNUM,
                            RES_P2DE, RES_CHRT2E, RES_MAG, RES_MOM, RES_MOMCHART, RES_HK};
  for (int i = 1; i + 1 < argc; ++i)
    if (!std::strcmp(argv[i], "--panels")) {
      shown.clear();
      for (const char* p = argv[i + 1]; *p;) {
        shown.push_back(std::atoi(p));
        while (*p && *p != ',') ++p;
        if (*p == ',') ++p;
      }
    }
  for (int res : shown)
    if (res > 0 && res <= 23) DisplayPanel(P.panel[res]);

  const auto records = drev::bench::MakeRecords(8 * 1000);
  unsigned next = 0;
  long long fed = 0;
  QTimer producer;
  producer.setTimerType(Qt::PreciseTimer);
  QElapsedTimer since;
  since.start();
  QObject::connect(&producer, &QTimer::timeout, [&] {
    // Catch up after a late tick, so the rate holds whatever the loop's pace.
    const long long due = static_cast<long long>(since.nsecsElapsed() / 1e9 * rate);
    for (long long i = fed; i < due; ++i) {
      drev::gui::Incoming(records.data() + static_cast<std::size_t>(next) * drev::kRecordSize, drev::kRecordSize);
      next = (next + 1) % 8000;
      ++fed;
    }
  });
  producer.start(10);

  // The link timer's work, timed: processing and the panel updates it makes.
  SetCtrlAttribute(P.panel[RES_LINK], LINK_TIMER, ATTR_ENABLED, 0);
  std::vector<double> work;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    QElapsedTimer w;
    w.start();
    drev::gui::ProcessHeld();
    work.push_back(w.nsecsElapsed() / 1e6);
  });
  tick.start(100);
  struct rusage ru0 {};
  getrusage(RUSAGE_SELF, &ru0);

  std::vector<double> gaps;
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (now > 1000000000LL) gaps.push_back((now - last) / 1e6);  // the first second paints the panels
    last = now;
  });
  probe.start(5);
  QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QuitUserInterface(0); });
  RunUserInterface();

  struct rusage ru1 {};
  getrusage(RUSAGE_SELF, &ru1);
  const auto cpu = [](const struct rusage& r) {
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  };
  std::sort(work.begin(), work.end());
  std::sort(gaps.begin(), gaps.end());
  const auto pct = [&](double p) { return gaps.empty() ? 0 : gaps[static_cast<std::size_t>(p * (gaps.size() - 1))]; };
  std::printf("fed %lld analyzer records in %.1f s (%.0f/s), processed %lld, %lld 3-D refreshes\n", fed, seconds,
              fed / seconds, P.s->recordsProcessed, P.refreshes);
  std::printf("loop gaps (5 ms probe): median %.1f ms, 99%% %.1f ms, 99.9%% %.1f ms, longest %.1f ms (target: under 100 ms)\n",
              pct(0.5), pct(0.99), pct(0.999), gaps.empty() ? 0 : gaps.back());
  std::printf("processing ticks (every 100 ms): median %.1f ms, longest %.1f ms; process CPU %.0f%% of one core\n",
              work.empty() ? 0 : work[work.size() / 2], work.empty() ? 0 : work.back(),
              100.0 * (cpu(ru1) - cpu(ru0)) / seconds);
  double load[3] = {};
  if (getloadavg(load, 3) > 0) std::printf("machine load average %.1f (the loop gaps include waiting for a core)\n", load[0]);
  drev::gui::Shutdown();
  return 0;
}
