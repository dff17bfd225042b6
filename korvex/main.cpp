// korvex: the operator's station.
#include <QCoreApplication>
#include <QTimer>
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
  if (rte::IsHeadless() && rte::GetPopupBackend()) {
    static EchoedPopups echoed(rte::GetPopupBackend());
    rte::SetPopupBackend(&echoed);
  }

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
  // until "quit", the main window's close or SIGTERM / SIGINT. With the window, lines piped in
  // (the demo, a wrapper script) are run too; a terminal's input is left alone.
  if (p.headless || !isatty(0))
    rte::WatchStdinLines([](const std::string& line) { korvex::RunCommandLine(line); }, [] {});
  RunUserInterface();
  korvex::StopStation();
  korvex::CloseArchives();
  std::fflush(stdout);
  return 0;
}
