// Does the display stall with the analyzer at 1,000 packets a second?
//
// With the view attached (offscreen platform) and the science panels shown, a producer hands
// the link 10 analyzer records every 10 ms (5 distribution packets, pitch, moments and
// housekeeping in turn) for S seconds; the link timer processes them as it does live data. A
// 5 ms timer measures the gaps between its own ticks: the longest gap is the loop's longest
// stall. Measured, not asserted.
//
//   bench_drev_display [--seconds S] [--rate N]
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
  for (int res : {RES_NUM3D, RES_DEA, RES_DAE, RES_CHRTE, RES_CHRTA, RES_PITCHNUM, RES_P2DE, RES_CHRT2E, RES_MAG,
                  RES_MOM, RES_MOMCHART, RES_HK})
    DisplayPanel(P.panel[res]);

  const int perTick = std::max(1, rate / 100);
  const auto records = drev::bench::MakeRecords(8 * 1000);
  unsigned next = 0;
  long long fed = 0;
  QTimer producer;
  producer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&producer, &QTimer::timeout, [&] {
    for (int i = 0; i < perTick; ++i) {
      drev::gui::Incoming(records.data() + static_cast<std::size_t>(next) * drev::kRecordSize, drev::kRecordSize);
      next = (next + 1) % 8000;
      ++fed;
    }
  });
  producer.start(10);

  std::vector<double> gaps;
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    gaps.push_back((now - last) / 1e6);
    last = now;
  });
  probe.start(5);
  QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QuitUserInterface(0); });
  RunUserInterface();

  std::sort(gaps.begin(), gaps.end());
  const auto pct = [&](double p) { return gaps.empty() ? 0 : gaps[static_cast<std::size_t>(p * (gaps.size() - 1))]; };
  std::printf("fed %lld analyzer records in %.1f s (%.0f/s), processed %lld, %lld 3-D refreshes\n", fed, seconds,
              fed / seconds, P.s->recordsProcessed, P.refreshes);
  std::printf("loop gaps (5 ms probe): median %.1f ms, 99%% %.1f ms, 99.9%% %.1f ms, longest %.1f ms (target: under 100 ms)\n",
              pct(0.5), pct(0.99), pct(0.999), gaps.empty() ? 0 : gaps.back());
  drev::gui::Shutdown();
  return 0;
}
