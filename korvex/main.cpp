// korvex: the operator's station.
#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

#ifndef KORVEX_UI_DIR
#define KORVEX_UI_DIR "ui"
#endif

namespace {

// Set by SIGTERM / SIGINT; the loop notices it and ends the way "quit" does, so that the
// connections are closed and the archives closed behind their last whole line or record.
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int sig) { g_stopSignal = sig; }

void WatchStopSignals() {
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGINT, OnStopSignal);
#ifdef SIGPIPE
  // A reader of standard output that went away must not end the station: the archives matter
  // more than the echo.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  auto* t = new QTimer(QCoreApplication::instance());
  QObject::connect(t, &QTimer::timeout, [] {
    if (g_stopSignal) QuitUserInterface(0);
  });
  t->start(100);
}

}  // namespace

int main(int argc, char** argv) {
  rte::AppOptions opts = rte::ParseAppOptions(argc, argv);
  rte::StartApp(argc, argv, opts);
  // Resource files: the source ui folder, then beside the executable.
  rte::AddResourceDir(KORVEX_UI_DIR);
  if (QCoreApplication::instance()) {
    std::string exeDir = QCoreApplication::applicationDirPath().toStdString();
    rte::AddResourceDir(exeDir);
    rte::AddResourceDir(exeDir + "/ui");
  }
  WatchStopSignals();

  korvex::Program& p = korvex::NewContext();
  p.headless = rte::IsHeadless();
  korvex::RegisterCallbacks();
  int r = korvex::StartStation();
  if (r == korvex::kPanelFailed) {
    std::fprintf(stderr, "korvex: %s\n", rte::LastLoadError().c_str());
    return -1;
  }
  if (r == korvex::kEnded) {
    korvex::CloseArchives();
    return 0;
  }
  // The end of standard input is not the end of the station: it goes on serving its links
  // until "quit", the main window's close or SIGTERM / SIGINT.
  if (p.headless)
    rte::WatchStdinLines([](const std::string& line) { korvex::RunCommandLine(line); }, [] {});
  RunUserInterface();
  korvex::StopStation();
  korvex::CloseArchives();
  std::fflush(stdout);
  return 0;
}
