// The event loop: simulated keystrokes come after the callback that made them; a pop-up holds
// back timer ticks and socket data until it is answered.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

#include "../model/model.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace {

std::vector<std::string> g_trace;
int g_panel = 0;

int KeyCb(int panel, int control, int event, void*, int d1, int) {
  if (event != EVENT_KEYPRESS) return 0;
  g_trace.push_back("key " + std::to_string(d1));
  if (d1 == VAL_ENTER_VKEY) {
    // Pressing Enter from inside the callback: the key must come after this returns.
    FakeKeystroke(VAL_END_VKEY);
    g_trace.push_back("returning");
  }
  return 0;
}

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rte::EnsureCoreApp();
    rte::ResetModel();
    RTE_REGISTER_CALLBACK(KeyCb);
    g_trace.clear();
  }
};

TEST_F(LoopTest, FakeKeystrokeArrivesAfterTheCallbackReturns) {
  rte::AddResourceDir(RTE_TEST_DIR);
  std::string doc = R"({"panels":[{"resource":1,"controls":[{"id":2,"type":"string","callback":"KeyCb"}]}]})";
  std::string err;
  auto p = rte::model::ParsePanel(doc, "inline", 1, &err);
  ASSERT_TRUE(p) << err;
  g_panel = rte::model::Model::get().add(std::move(p));
  SetActivePanel(g_panel);
  SetActiveCtrl(g_panel, 2);
  rte::SendEvent(g_panel, 2, EVENT_KEYPRESS, VAL_ENTER_VKEY);
  // Nothing delivered yet: the loop has not turned.
  ASSERT_EQ(g_trace, (std::vector<std::string>{"key 1280", "returning"}));
  Pump(50);
  EXPECT_EQ(g_trace, (std::vector<std::string>{"key 1280", "returning", "key 3072"}));
}

// A pop-up backend that keeps its question open for a while, as an operator would, running a
// nested loop meanwhile (as the Qt dialogs do).
class SlowOperator : public rte::PopupBackend {
 public:
  int ms = 600;
  int message(const std::string&, const std::string&) override { wait(); return 0; }
  int confirm(const std::string&, const std::string&) override { wait(); return 1; }
  int prompt(const std::string&, const std::string&, std::string* r, int) override {
    wait();
    if (r) r->clear();
    return 0;
  }
  int fileSelect(const std::string&, const std::string&, const std::string&, int,
                 std::string*) override {
    wait();
    return VAL_NO_FILE_SELECTED;
  }

 private:
  void wait() {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  }
};

int g_askTicks = 0, g_otherTicks = 0, g_otherTicksWhileOpen = 0;
bool g_asking = false;
int AskTimer(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK) return 0;
  if (++g_askTicks == 1) {
    g_asking = true;
    ConfirmPopup("No ARR Received!", "Wait for ARR again?");
    g_asking = false;
  }
  return 0;
}
int OtherTimer(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK) return 0;
  ++g_otherTicks;
  if (g_asking) ++g_otherTicksWhileOpen;
  return 0;
}

#ifdef RTE_HAVE_TCP
std::string g_received;
int g_readsWhileOpen = 0;
unsigned g_serverConn = 0;
int ServerCb(unsigned handle, int type, int, void*) {
  if (type == TCP_CONNECT) g_serverConn = handle;
  if (type == TCP_DATAREADY) {
    if (g_asking) ++g_readsWhileOpen;
    char buf[4096];
    int n = ServerTCPRead(handle, buf, sizeof buf, 1000);
    if (n > 0) g_received.append(buf, n);
  }
  return 0;
}
int ClientCb(unsigned, int, int, void*) { return 0; }
#endif

TEST_F(LoopTest, PopupHoldsBackTimersAndSocketsUntilAnswered) {
  RTE_REGISTER_CALLBACK(AskTimer);
  RTE_REGISTER_CALLBACK(OtherTimer);
  std::string doc = R"({"panels":[{"resource":1,"controls":[
      {"id":2,"type":"timer","callback":"AskTimer","interval":0.05},
      {"id":3,"type":"timer","callback":"OtherTimer","interval":0.02}]}]})";
  std::string err;
  auto p = rte::model::ParsePanel(doc, "inline", 1, &err);
  ASSERT_TRUE(p) << err;
  SlowOperator op;
  rte::SetPopupBackend(&op);
#ifdef RTE_HAVE_TCP
  ASSERT_EQ(RegisterTCPServer(0, ServerCb, nullptr, "127.0.0.1"), 0);
  unsigned port = static_cast<unsigned>(GetTCPServerPort(0));
  unsigned client = 0;
  ASSERT_EQ(ConnectToTCPServer(&client, port, "127.0.0.1", ClientCb, nullptr, 2000), 0);
  Pump(100);
  // While the question is open, the client sends a record.
  QTimer::singleShot(300, [client] {
    std::string rec(298, '\x5A');
    ClientTCPWrite(client, rec.data(), rec.size(), 1000);
  });
#endif
  int h = rte::model::Model::get().add(std::move(p));
  Pump(1200);
  rte::SetPopupBackend(nullptr);
  DiscardPanel(h);
  EXPECT_GE(g_askTicks, 2);
  EXPECT_GT(g_otherTicks, 0);
  EXPECT_EQ(g_otherTicksWhileOpen, 0);
#ifdef RTE_HAVE_TCP
  EXPECT_EQ(g_readsWhileOpen, 0);
  EXPECT_EQ(g_received, std::string(298, '\x5A'));
  DisconnectFromTCPServer(client);
  UnregisterTCPServer(0);
#endif
}

}  // namespace

namespace {

TEST(LoopQuit, QuitBeforeTheLoopRunsEndsItAtOnceAndSpoilsNoNestedLoop) {
  rte::EnsureCoreApp();
  QuitUserInterface(7);
  EXPECT_EQ(RunUserInterface(), 7);
  // A nested loop afterwards (a pop-up, Delay) still runs until its own end.
  bool timerRan = false;
  QEventLoop loop;
  QTimer::singleShot(30, &loop, [&] {
    timerRan = true;
    loop.quit();
  });
  loop.exec();
  EXPECT_TRUE(timerRan);
  // Quitting from inside the running loop ends it with that code.
  QTimer::singleShot(10, [] { QuitUserInterface(3); });
  EXPECT_EQ(RunUserInterface(), 3);
}

}  // namespace

namespace {

std::vector<std::string> g_order;
int DelayingTimer(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK || !g_order.empty()) return 0;
  g_order.push_back("delay start");
  Delay(0.3);
  g_order.push_back("delay end");
  return 0;
}

TEST(LoopStdin, LineArrivingDuringADelayIsDeliveredWhenTheCallbackReturns) {
  rte::EnsureCoreApp();
  rte::ResetModel();
  RTE_REGISTER_CALLBACK(DelayingTimer);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int savedStdin = dup(0);
  ASSERT_EQ(dup2(fds[0], 0), 0);
  rte::WatchStdinLines([](const std::string& l) { g_order.push_back("line " + l); }, [] {});
  std::string doc = R"({"panels":[{"resource":1,"controls":[
      {"id":2,"type":"timer","callback":"DelayingTimer","interval":0.05}]}]})";
  std::string err;
  int h = rte::model::Model::get().add(rte::model::ParsePanel(doc, "inline", 1, &err));
  // The line comes while the timer's callback waits in Delay; no more input follows.
  QTimer::singleShot(150, [&] { ASSERT_EQ(write(fds[1], "b\n", 2), 2); });
  Pump(1200);
  DiscardPanel(h);
  dup2(savedStdin, 0);
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(g_order, (std::vector<std::string>{"delay start", "delay end", "line b"}));
}

}  // namespace
