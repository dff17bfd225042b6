// The station on the widget view (offscreen): keys typed into the command line after a station
// message, and the link panel with its reconnection lamps. KORVEX_SHOTS=DIR keeps the images.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>

#include "core/tests/window_fixture.h"
#include "links/tests/cmd_peer.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

class LinkView : public WindowStationTest {
 protected:
  // Lets the view catch up with the model (it repaints about 30 times a second).
  static void Settle(int ms = 120) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      rte::DrainDeferred();
    }
  }
  QLineEdit* CommandLine() {
    for (QWidget* w : QApplication::allWidgets()) {
      QVariant p = w->property("rtePanel"), c = w->property("rteCtrl");
      if (p.isValid() && p.toInt() == P().ui.eventLog && c.toInt() == ids::kEvCmdLine)
        return qobject_cast<QLineEdit*>(w);
    }
    return nullptr;
  }
  static void Type(QWidget* w, const QString& text) {
    for (QChar ch : text) {
      QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(w, &press);
      QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(w, &release);
    }
  }
  static void Enter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
  }
  std::string CmdLineValue() {
    std::string s;
    GetCtrlVal(P().ui.eventLog, ids::kEvCmdLine, &s);
    return s;
  }
};

}  // namespace

TEST_F(LinkView, TheLineTypedAfterAStationMessageReplacesIt) {
  ASSERT_EQ(StartHeld(), kStarted);
  Settle();
  QLineEdit* edit = CommandLine();
  ASSERT_TRUE(edit);

  Type(edit, "frobnicate");
  Enter(edit);
  Settle();
  EXPECT_EQ(CountOut("FROBNICATE IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(edit->text(), "COMMAND NOT SENT!");
  Type(edit, "HELP");
  EXPECT_EQ(CmdLineValue(), "HELP");
  Enter(edit);
  Settle();
  EXPECT_EQ(CountOut("HELP IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(CountOut("COMMAND NOT SENT!HELP"), 0);

  // While an ARR is awaited the line is refused with its own message, replaced the same way.
  P().cmdlink.flagArr = 1;
  Type(edit, "/IDPUNoop");
  Enter(edit);
  Settle();
  EXPECT_EQ(edit->text(), "WAITING FOR ARR; COMMAND NOT SENT!");
  Type(edit, "go");
  EXPECT_EQ(CmdLineValue(), "go");
  P().cmdlink.flagArr = 0;
}

TEST_F(LinkView, LinkPanelShowsTheReconnectionLamps) {
  CmdPeer tlm;
  RefusingPort cmd;
  auto lines = CfgLines(tlm.port());
  lines[2] = "CmdPort = " + std::to_string(cmd.port());
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  WriteFile(dir / "cfg/reconnect.cfg", "telemetry = on\ncommand = on\ninterval = 5\n");
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  rte::UserSetValue(p.ui.link, ids::kLkTlmSwitch, 1.0);  // connects
  rte::UserSetValue(p.ui.link, ids::kLkCmdSwitch, 1.0);  // refused: retrying
  Settle();
  ASSERT_GE(p.link.tHandle, 0);
  ASSERT_LT(p.cmdlink.gHandle, 0);

  const char* keep = std::getenv("KORVEX_SHOTS");
  const fs::path shots = keep ? fs::path(keep) : dir / "shots";
  fs::create_directories(shots);
  const fs::path png = shots / "link_panel.png";
  ASSERT_EQ(rte::SavePanelImage(p.ui.link, png.string()), 0);
  QImage img(QString::fromStdString(png.string()));
  ASSERT_FALSE(img.isNull());
  EXPECT_GE(img.width(), 600);

  // The two lamps in their colours (shaded): green for the link that is up, amber for the one
  // being retried. Nothing else on the panel is either.
  auto pixels = [&](auto pred) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += pred(QColor(img.pixel(x, y)));
    return n;
  };
  EXPECT_GT(pixels([](QColor c) { return c.green() > 150 && c.red() < 90 && c.blue() < 90; }), 20);
  EXPECT_GT(pixels([](QColor c) {
              return c.red() > 220 && c.green() > 140 && c.green() < 215 && c.blue() < 90;
            }),
            20);
}
