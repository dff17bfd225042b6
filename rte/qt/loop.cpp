// The event loop: Qt's, headless (QCoreApplication) or with the view (QApplication). Timer
// controls tick through it, simulated keystrokes are delivered from it, standard input lines
// arrive through it, and all of it is held back while a pop-up is open.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "internal.h"
#include "model.h"
#include "rte/app.h"

namespace rte {
namespace {

bool g_headless = true;
bool g_drainScheduled = false;
int g_quitCode = 0;
bool g_quitRequested = false;
bool g_inLoop = false;

// How soon to look again when a callback is still running (it sits in Delay or a nested loop).
constexpr int kRetryMs = 10;

// Schedules one drain of the deferred queue on the next turn of the loop.
void WakeDrain(int ms = 0) {
  if (g_drainScheduled || !QCoreApplication::instance()) return;
  g_drainScheduled = true;
  QTimer::singleShot(ms, QCoreApplication::instance(), [] {
    g_drainScheduled = false;
    DrainDeferred();
    // Still work queued behind a running callback: look again shortly. Behind a pop-up the
    // release hook wakes the drain when it closes.
    if (model::HasDeferred() && !PopupOpen() && model::CallbackDepth() > 0) WakeDrain(kRetryMs);
  });
}

// Drives the timer controls of the model with QTimers.
class TimerDriver : public model::Observer {
 public:
  void panelAdded(int panel) override {
    auto* p = model::Model::get().panel(panel);
    if (!p) return;
    for (auto& c : p->controls)
      if (c->type == CTRL_TIMER) make(panel, c.get());
  }
  void panelRemoved(int panel) override {
    for (auto it = timers_.begin(); it != timers_.end();) {
      if (it->first.first == panel)
        it = timers_.erase(it);
      else
        ++it;
    }
  }
  void controlChanged(int panel, int control) override {
    if (timers_.empty()) return;
    auto it = timers_.find({panel, control});
    if (it == timers_.end()) return;
    auto* c = model::Model::get().control(panel, control);
    if (c) apply(it->second.get(), c);
  }

 private:
  void make(int panel, model::Control* c) {
    auto t = std::make_unique<QTimer>();
    int id = c->id;
    QObject::connect(t.get(), &QTimer::timeout, [panel, id] {
      // A tick that comes while a pop-up is open is dropped, not queued.
      if (PopupOpen()) return;
      auto* ctl = model::Model::get().control(panel, id);
      if (!ctl || !ctl->enabled) return;
      double interval = ctl->interval;
      model::Invoke(ctl->callback, panel, id, EVENT_TIMER_TICK, ctl->callbackData,
                    0, static_cast<int>(interval * 1000));
      if (model::HasDeferred()) WakeDrain();
    });
    apply(t.get(), c);
    timers_[{panel, id}] = std::move(t);
  }
  static void apply(QTimer* t, const model::Control* c) {
    int ms = static_cast<int>(c->interval * 1000 + 0.5);
    if (ms < 1) ms = 1;
    if (t->interval() != ms) t->setInterval(ms);
    if (c->enabled && !t->isActive()) t->start();
    if (!c->enabled && t->isActive()) t->stop();
  }
  std::map<std::pair<int, int>, std::unique_ptr<QTimer>> timers_;
};

TimerDriver* g_timers = nullptr;

void InstallLoopHooks() {
  if (g_timers) return;
  g_timers = new TimerDriver;
  model::Model::get().addObserver(g_timers);
  // Panels loaded before the loop existed get their timers now.
  for (int h : model::Model::get().handles()) g_timers->panelAdded(h);
  model::SetDeferWaker([] { WakeDrain(); });
}

bool HasDisplay() {
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  if (qpa && *qpa) return true;
  const char* d = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (d && *d) || (w && *w);
}

// Standard input, line by line, delivered like any other callback.
struct StdinReader {
  std::function<void(const std::string&)> onLine;
  std::function<void()> onEof;
  std::unique_ptr<QSocketNotifier> notifier;
  std::string partial;
  std::deque<std::string> lines;
  bool eof = false;
  bool eofDelivered = false;
  bool scheduled = false;

  void readSome() {
    char buf[65536];
    ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
      eof = true;
      if (!partial.empty()) lines.push_back(std::move(partial));
      partial.clear();
      notifier->setEnabled(false);
    } else {
      partial.append(buf, static_cast<std::size_t>(n));
      std::size_t start = 0, nl;
      while ((nl = partial.find('\n', start)) != std::string::npos) {
        std::string line = partial.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = nl + 1;
      }
      partial.erase(0, start);
    }
    deliver();
  }

  // One line a turn of the loop, so that what a line started (keystrokes, pop-ups) goes first.
  void deliver(int ms = 0) {
    if (scheduled) return;
    scheduled = true;
    QTimer::singleShot(ms, QCoreApplication::instance(), [this] {
      scheduled = false;
      if (PopupOpen()) return;  // the release hook comes back
      if (model::CallbackDepth() > 0) {
        // A callback is still running (waiting in Delay): the line goes after it.
        deliver(kRetryMs);
        return;
      }
      if (!lines.empty()) {
        std::string line = std::move(lines.front());
        lines.pop_front();
        model::InvokeFn([&] { onLine(line); });
        DrainDeferred();
        if (!lines.empty() || eof) deliver();
        return;
      }
      if (eof && !eofDelivered) {
        eofDelivered = true;
        if (onEof) model::InvokeFn(onEof);
      }
    });
  }
};
StdinReader* g_stdin = nullptr;

}  // namespace

AppOptions ParseAppOptions(int& argc, char** argv) {
  AppOptions o;
  o.headless = !HasDisplay();
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--headless") {
      o.headless = true;
    } else if (a == "--answers" && i + 1 < argc) {
      o.answersFile = argv[++i];
    } else if (a.rfind("--answers=", 0) == 0) {
      o.answersFile = a.substr(10);
    } else if (a == "--screenshot" && i + 1 < argc) {
      o.screenshot = argv[++i];
    } else if (a == "--screenshot-delay" && i + 1 < argc) {
      o.screenshotDelay = std::atof(argv[++i]);
    } else {
      o.rest.push_back(a);
      argv[out++] = argv[i];
    }
  }
  argc = out;
  argv[argc] = nullptr;
  return o;
}

void StartApp(int& argc, char** argv, const AppOptions& opts) {
  g_headless = opts.headless;
  if (!QCoreApplication::instance()) {
    if (g_headless)
      new QCoreApplication(argc, argv);
    else
      new QApplication(argc, argv);
  }
  InstallLoopHooks();
  static ScriptedPopups scripted;
  if (!opts.answersFile.empty() && !scripted.loadAnswers(opts.answersFile))
    std::fprintf(stderr, "rte: cannot read answers file %s\n", opts.answersFile.c_str());
  if (g_headless || !opts.answersFile.empty()) {
    SetPopupBackend(&scripted);
  } else {
    SetPopupBackend(view::QtPopups());
  }
  if (!g_headless) view::Attach();
  if (!g_headless && !opts.screenshot.empty()) {
    // For looking at what the program shows: every visible top-level panel to a PNG file.
    std::string prefix = opts.screenshot;
    QTimer::singleShot(static_cast<int>(opts.screenshotDelay * 1000), [prefix] {
      view::FlushNow();
      for (int h : model::Model::get().handles()) {
        auto* p = model::Model::get().panel(h);
        if (!p || p->parent != 0 || !p->visible) continue;
        std::string name;
        for (char c : p->title) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        std::string file = prefix + "-" + std::to_string(h) + "-" + name + ".png";
        int rc = view::GrabPanel(h, file);
        std::fprintf(stderr, "rte: screenshot %s %s\n", file.c_str(), rc < 0 ? "failed" : "saved");
      }
    });
  }
}

bool IsHeadless() { return g_headless; }

namespace {
volatile std::sig_atomic_t g_stopSignal = 0;
extern "C" void OnStopSignal(int sig) { g_stopSignal = sig; }
}  // namespace

void CatchStopSignals() {
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGINT, OnStopSignal);
}

void WatchStopSignals(std::function<void()> onStop) {
  EnsureCoreApp();
  CatchStopSignals();
  // A plain Qt timer, not a timer control: it also fires inside a pop-up's nested loop, which is
  // where a station waiting on an operator's answer sits.
  auto* t = new QTimer(QCoreApplication::instance());
  QObject::connect(t, &QTimer::timeout, [t, onStop = std::move(onStop)] {
    if (!g_stopSignal) return;
    t->stop();
    model::SetStopRequested(true);
    if (view::Attached()) view::CloseModalDialogs();
    if (onStop)
      onStop();
    else
      QuitUserInterface(0);
  });
  t->start(100);
}

int SavePanelImage(int panel, const std::string& pngPath) {
  if (!model::Model::get().panel(panel)) return RTE_ERR_BAD_PANEL;
  if (!view::Attached()) return RTE_ERR_TYPE;
  return view::GrabPanel(panel, pngPath);
}

void EnsureCoreApp() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "rte";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
  }
  InstallLoopHooks();
}

void WatchStdinLines(std::function<void(const std::string&)> onLine, std::function<void()> onEof) {
  EnsureCoreApp();
  if (!g_stdin) {
    g_stdin = new StdinReader;
    model::AddPopupReleaseHook([] {
      if (g_stdin && (!g_stdin->lines.empty() || g_stdin->eof)) g_stdin->deliver();
    });
  }
  g_stdin->onLine = std::move(onLine);
  g_stdin->onEof = std::move(onEof);
  g_stdin->notifier = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
  QObject::connect(g_stdin->notifier.get(), &QSocketNotifier::activated, [] { g_stdin->readSome(); });
}

}  // namespace rte

int RunUserInterface() {
  rte::EnsureCoreApp();
  if (rte::g_quitRequested) {
    rte::g_quitRequested = false;
    return rte::g_quitCode;
  }
  rte::DrainDeferred();
  rte::g_inLoop = true;
  QCoreApplication::exec();
  rte::g_inLoop = false;
  rte::g_quitRequested = false;
  return rte::g_quitCode;
}

int QuitUserInterface(int returnCode) {
  rte::g_quitCode = returnCode;
  rte::g_quitRequested = true;
  // Only a running loop is told: Qt would otherwise keep the request and end every nested loop
  // (pop-ups, Delay) at once from then on. RunUserInterface sees the flag when it starts.
  if (rte::g_inLoop && QCoreApplication::instance()) QCoreApplication::exit(returnCode);
  return 0;
}

int ProcessSystemEvents() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  return 0;
}

int SetWaitCursor(int on) {
  if (!rte::IsHeadless() && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (on)
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
      while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
  return 0;
}

int Delay(double seconds) {
  if (!(seconds > 0) || rte::StopRequested()) return 0;
  if (!QCoreApplication::instance()) {
    usleep(static_cast<useconds_t>(seconds * 1e6));
    return 0;
  }
  QElapsedTimer t;
  t.start();
  const qint64 ms = static_cast<qint64>(seconds * 1000);
  while (t.elapsed() < ms && !rte::StopRequested()) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min<qint64>(20, ms - t.elapsed())), &loop, &QEventLoop::quit);
    loop.exec();
  }
  return 0;
}

int Cls() { return 0; }

int PrintPanel(int panel, const char* fileName) {
  if (!rte::model::Model::get().panel(panel)) return RTE_ERR_BAD_PANEL;
  return rte::view::Print(panel, fileName);
}

int SetPrintAttributeEx(int, int) { return 0; }
