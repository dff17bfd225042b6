// korvex: the operator's station.
#include <QCoreApplication>
#include <cstdio>

#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

#ifndef KORVEX_UI_DIR
#define KORVEX_UI_DIR "ui"
#endif

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

  korvex::Program& p = korvex::NewContext();
  p.headless = rte::IsHeadless();
  korvex::RegisterCallbacks();
  int r = korvex::StartStation();
  if (r == korvex::kPanelFailed) {
    std::fprintf(stderr, "korvex: %s\n", rte::LastLoadError().c_str());
    return -1;
  }
  if (r == korvex::kEnded) return 0;
  if (p.headless)
    rte::WatchStdinLines([](const std::string& line) { korvex::RunCommandLine(line); }, [] {});
  RunUserInterface();
  korvex::StopStation();
  return 0;
}
