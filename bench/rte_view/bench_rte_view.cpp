// How long can the event loop stall while the view repaints a busy panel?
//
// With the view attached (offscreen platform), a producer makes 10,000 control updates a second
// for 10 seconds on one panel: numeric values (most of them), text-box appends trimmed like the
// instrument event box, and list inserts trimmed like the event log. A 5 ms timer measures the
// gaps between its own ticks; the longest gap is the loop's longest stall. Target: under 50 ms.
//
//   bench_rte_view [--seconds S] [--rate N]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../../rte/qt/internal.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace rte::view {
class View;
View* Instance();  // naming it makes sure the view's object is linked from the static library
}  // namespace rte::view

namespace {

constexpr int kNumerics = 48;
constexpr int kText = 100, kList = 101;

std::string WritePanel() {
  std::string path = "/tmp/bench_rte_view_" + std::to_string(::getpid()) + ".uir";
  std::ofstream out(path);
  out << R"({"panels":[{"resource":1,"title":"Bench","width":1000,"height":620,"controls":[)";
  for (int i = 0; i < kNumerics; ++i) {
    int col = i / 12, row = i % 12;
    out << R"({"id":)" << (i + 1) << R"(,"type":"numeric","mode":"indicator","datatype":"double",)"
        << R"("label":"Value )" << i << R"(","left":)" << (10 + col * 110) << R"(,"top":)"
        << (24 + row * 46) << R"(,"width":100,"height":22},)";
  }
  out << R"({"id":)" << kText << R"(,"type":"textbox","label":"Events","left":460,"top":24,)"
      << R"("width":520,"height":270},)";
  out << R"({"id":)" << kList << R"(,"type":"listbox","label":"Log","left":460,"top":330,)"
      << R"("width":520,"height":270}]}]})";
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10;
  int rate = 10000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--rate")) rate = std::atoi(argv[++i]);
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  (void)rte::view::Instance();
  rte::view::Attach();
  if (!rte::view::Attached()) {
    std::fprintf(stderr, "bench_rte_view: the view did not attach\n");
    return 1;
  }
  std::string uir = WritePanel();
  int panel = LoadPanel(0, uir.c_str(), 1);
  std::remove(uir.c_str());
  if (panel < 0) {
    std::fprintf(stderr, "bench_rte_view: %s\n", rte::LastLoadError().c_str());
    return 1;
  }
  DisplayPanel(panel);
  rte::view::FlushNow();

  QElapsedTimer clock;
  clock.start();
  long long done = 0, numerics = 0, appends = 0, inserts = 0;
  char line[160];

  // Producer: catches up to rate * elapsed on every tick, so the rate holds whatever the tick.
  QTimer producer;
  producer.setTimerType(Qt::PreciseTimer);
  producer.setInterval(1);
  QObject::connect(&producer, &QTimer::timeout, [&] {
    long long due = static_cast<long long>(clock.nsecsElapsed() / 1e9 * rate);
    for (; done < due; ++done) {
      int kind = static_cast<int>(done % 10);
      if (kind < 8) {
        SetCtrlVal(panel, static_cast<int>(done % kNumerics) + 1, done * 0.001);
        ++numerics;
      } else if (kind == 8) {
        std::snprintf(line, sizeof line, "2026 DEC 08 12:00:%02lld CMD 01 02 03 SEQUENCE STEP %lld\n",
                      done % 60, done);
        SetCtrlVal(panel, kText, line);
        int n = 0;
        GetNumTextBoxLines(panel, kText, &n);
        if (n > 306)
          for (int k = 0; k < 50; ++k) DeleteTextBoxLine(panel, kText, 0);
        ++appends;
      } else {
        std::snprintf(line, sizeof line, "\033fg%06X12-08-2026 12:00:00 TELEMETRY RECORD %lld",
                      static_cast<unsigned>(done * 2654435761u) & 0xFFFFFF, done);
        InsertListItem(panel, kList, -1, line, static_cast<double>(done));
        int n = 0;
        GetNumListItems(panel, kList, &n);
        if (n > 1000) DeleteListItem(panel, kList, 0, 100);
        SetCtrlIndex(panel, kList, std::min(n, 1000) - 1);
        ++inserts;
      }
    }
  });

  // Watchdog: gaps between 5 ms ticks.
  std::vector<double> gaps;
  gaps.reserve(static_cast<std::size_t>(seconds * 250) + 16);
  qint64 last = -1;
  QTimer watchdog;
  watchdog.setTimerType(Qt::PreciseTimer);
  watchdog.setInterval(5);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    qint64 now = clock.nsecsElapsed();
    if (last >= 0) gaps.push_back((now - last) / 1e6);
    last = now;
    if (now / 1e9 >= seconds) QCoreApplication::exit(0);  // quit() would ask the panels to close
  });

  producer.start();
  watchdog.start();
  app.exec();

  double elapsed = clock.nsecsElapsed() / 1e9;
  std::sort(gaps.begin(), gaps.end());
  auto pct = [&](double p) {
    return gaps.empty() ? 0.0 : gaps[std::min(gaps.size() - 1, static_cast<std::size_t>(p * gaps.size()))];
  };
  double maxGap = gaps.empty() ? 0 : gaps.back();
  long long over = std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 50; });
  std::printf("bench_rte_view: %lld updates in %.1f s (%.0f/s): %lld numerics, %lld text-box appends, "
              "%lld list inserts\n",
              done, elapsed, done / elapsed, numerics, appends, inserts);
  std::printf("bench_rte_view: 5 ms ticks %zu, gap median %.2f ms, p99 %.2f ms, max %.2f ms, "
              "gaps over 50 ms: %lld\n",
              gaps.size(), pct(0.5), pct(0.99), maxGap, over);
  std::printf("bench_rte_view: longest loop stall %.2f ms (target under 50 ms): %s\n", maxGap,
              maxGap < 50 ? "met" : "MISSED");
  return 0;
}
