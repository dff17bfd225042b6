// korvex: the operator's station.
#include <QCoreApplication>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "core/station.h"
#include "rte/app.h"
#include "rte/rte.h"

#ifndef KORVEX_UI_DIR
#define KORVEX_UI_DIR "ui"
#endif

namespace {

constexpr const char* kUsage =
    "usage: korvex [--headless] [--serve] [--answers FILE] [--screenshot PREFIX] [--snapshot FILE]\n"
    "       korvex --help | --version\n"
    "\n"
    "The operator's station. Run it from a working directory laid out like station/\n"
    "(cfg/korvex.cfg, database/, cmd/, scm/, log/).\n"
    "  --headless          no window: the event log on standard output, command lines from\n"
    "                      standard input, pop-ups answered from --answers or with no/cancel\n"
    "  --answers FILE      pop-up answers, one a line\n"
    "  --screenshot PREFIX save every visible top-level panel as PREFIX-<title>.png\n"
    "  --serve             start the local telemetry and command servers at start-up (ports:\n"
    "                      lines 7 and 10 of cfg/korvex.cfg; address and allowed peers:\n"
    "                      cfg/localserver.cfg)\n"
    "  --snapshot FILE     at exit, write every panel's controls to FILE as JSON (the line\n"
    "                      \"snapshot FILE\" does the same at any time)\n"
    "  --help, --version   this text; the version\n"
    "Exit status: 0 after quit, SIGTERM or SIGINT; 1 when start-up fails; 2 for a usage error.\n";

// Headless, pop-ups have no window: each one is also written on standard error (standard
// output carries the event list alone), so that whoever runs the station sees what it reported.
class EchoedPopups : public rte::PopupBackend {
 public:
  explicit EchoedPopups(rte::PopupBackend* inner) : inner_(inner) {}
  int message(const std::string& title, const std::string& text) override {
    Echo("message", title, text);
    return inner_->message(title, text);
  }
  int confirm(const std::string& title, const std::string& text) override {
    Echo("question", title, text);
    return inner_->confirm(title, text);
  }
  int prompt(const std::string& title, const std::string& text, std::string* reply,
             int maxLength) override {
    Echo("prompt", title, text);
    return inner_->prompt(title, text, reply, maxLength);
  }
  int fileSelect(const std::string& dir, const std::string& pattern, const std::string& title,
                 int buttonMode, std::string* path) override {
    Echo("file dialog", title, dir + "/" + pattern);
    return inner_->fileSelect(dir, pattern, title, buttonMode, path);
  }

 private:
  static void Echo(const char* kind, const std::string& title, const std::string& text) {
    std::fprintf(stderr, "korvex: %s \"%s\" / \"%s\"\n", kind, title.c_str(), text.c_str());
    std::fflush(stderr);
  }
  rte::PopupBackend* inner_;
};

}  // namespace

int main(int argc, char** argv) {
  rte::CatchStopSignals();
  rte::AppOptions opts = rte::ParseAppOptions(argc, argv);
  std::string snapshotAtExit;
  bool serve = false;
  for (std::size_t i = 0; i < opts.rest.size(); ++i) {
    const std::string& a = opts.rest[i];
    if (a == "--serve") {
      serve = true;
      opts.rest.erase(opts.rest.begin() + static_cast<long>(i));
      --i;
      continue;
    }
    if (a == "--snapshot" && i + 1 < opts.rest.size()) {
      snapshotAtExit = opts.rest[i + 1];
      opts.rest.erase(opts.rest.begin() + static_cast<long>(i), opts.rest.begin() + static_cast<long>(i) + 2);
      --i;
      continue;
    }
  }
  for (const std::string& a : opts.rest) {
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("korvex %s\n", VANTIS_VERSION);
      return 0;
    }
  }
  if (!opts.rest.empty()) {
    std::fprintf(stderr, "korvex: unknown option '%s'; try --help\n", opts.rest.front().c_str());
    return 2;
  }
  rte::StartApp(argc, argv, opts);
  // Resource files: the source ui folder, then beside the executable.
  rte::AddResourceDir(KORVEX_UI_DIR);
  if (QCoreApplication::instance()) {
    std::string exeDir = QCoreApplication::applicationDirPath().toStdString();
    rte::AddResourceDir(exeDir);
    rte::AddResourceDir(exeDir + "/ui");
  }
  rte::WatchStopSignals();
#ifdef SIGPIPE
  // A reader of standard output that went away must not end the station: the archives matter
  // more than the echo.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  if (rte::IsHeadless() && rte::GetPopupBackend()) {
    static EchoedPopups echoed(rte::GetPopupBackend());
    rte::SetPopupBackend(&echoed);
  }

  korvex::Program& p = korvex::NewContext();
  p.headless = rte::IsHeadless();
  korvex::InstallStation(p);
  int r = korvex::StartStation();
  if (r == korvex::kPanelFailed) {
    std::fprintf(stderr, "korvex: %s\n", rte::LastLoadError().c_str());
    return 1;
  }
  if (r == korvex::kEnded || rte::StopRequested()) {
    // Told to stop while start-up waited on the operator: that is an ordinary end.
    korvex::StopStation();
    korvex::CloseArchives();
    return rte::StopRequested() ? 0 : 1;
  }
  // As if the operator had switched both local servers on.
  if (serve) {
    if (korvex::StartTelemetryServer() < 0 || korvex::StartCommandServer() < 0) {
      korvex::StopStation();
      korvex::CloseArchives();
      return 1;
    }
    DisplayPanel(p.ui.localServer);  // with a window, the operator sees who is served
  }
  // The end of standard input is not the end of the station: it goes on serving its links
  // until "quit", the main window's close or SIGTERM / SIGINT. With the window, lines piped in
  // (the demo, a wrapper script) are run too; a terminal's input is left alone.
  if (p.headless || !isatty(0))
    rte::WatchStdinLines([](const std::string& line) { korvex::RunCommandLine(line); }, [] {});
  RunUserInterface();
  if (!snapshotAtExit.empty()) {
    std::string err;
    if (rte::WriteSnapshot(snapshotAtExit, &err) < 0)
      std::fprintf(stderr, "korvex: snapshot not written: %s\n", err.c_str());
  }
  korvex::StopStation();
  korvex::CloseArchives();
  std::fflush(stdout);
  return 0;
}
