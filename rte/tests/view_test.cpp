// The widget view of the model, run on the offscreen platform: every control type gets its
// widget, model changes show after a repaint, user input goes back through the callbacks.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLogValueAxis>
#include <QMessageBox>
#include <QTimer>
#include <QXYSeries>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../qt/internal.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace fs = std::filesystem;

// Naming a symbol only the view defines makes sure the linker takes the view's object from the
// static library, whatever else the engine's objects refer to.
namespace rte::view {
class View;
View* Instance();
}  // namespace rte::view

namespace {

struct Event {
  int panel, control, event, d1, d2;
  std::string value;  // the string control's value when the callback ran
};
std::vector<Event> g_events;
std::function<void(int panel, int control, int event)> g_hook;
std::vector<int> g_menu;

int CtrlCb(int panel, int control, int event, void*, int d1, int d2) {
  std::string v;
  GetCtrlVal(panel, control, &v);
  g_events.push_back({panel, control, event, d1, d2, v});
  if (g_hook) g_hook(panel, control, event);
  return 0;
}
int PanelCb(int panel, int control, int event, void*, int d1, int d2) {
  g_events.push_back({panel, 0, event, d1, d2, ""});
  return 0;
}
int TimerCb(int, int, int, void*, int, int) { return 0; }
void MenuCb(int, int item, void*, int) { g_menu.push_back(item); }

// Control ids of example.uir.
enum { kNum = 2, kStr = 3, kMsg = 4, kLed = 5, kSwitch = 6, kButton = 7, kRing = 8, kTimer = 9,
       kText = 10, kList = 11, kGraph = 12, kStrip = 13 };

QWidget* Widget(int panel, int control) {
  for (QWidget* w : QApplication::allWidgets()) {
    QVariant p = w->property("rtePanel"), c = w->property("rteCtrl");
    if (p.isValid() && p.toInt() == panel && c.toInt() == control) return w;
  }
  return nullptr;
}
template <class T>
T* W(int panel, int control) {
  return qobject_cast<T*>(Widget(panel, control));
}

std::vector<int> EventsOf(int control) {
  std::vector<int> out;
  for (const auto& e : g_events)
    if (e.control == control) out.push_back(e.event);
  return out;
}

void Key(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &press);
}

void Click(QWidget* w, QPoint at, Qt::MouseButton b = Qt::LeftButton,
           QEvent::Type t = QEvent::MouseButtonPress) {
  QPointF local(at), global(w->mapToGlobal(at));
  QMouseEvent e(t, local, global, b, b, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

class ViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "rte_view_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QApplication(argc, argv);
    RTE_REGISTER_CALLBACK(CtrlCb);
    RTE_REGISTER_CALLBACK(PanelCb);
    RTE_REGISTER_CALLBACK(TimerCb);
    RTE_REGISTER_MENU_CALLBACK(MenuCb);
    rte::AddResourceDir(RTE_TEST_DIR);
    (void)rte::view::Instance();
    rte::view::Attach();
  }
  void SetUp() override {
    ASSERT_TRUE(rte::view::Attached());
    rte::ResetModel();
    rte::view::FlushNow();
    g_events.clear();
    g_menu.clear();
    g_hook = nullptr;
    panel_ = LoadPanel(0, "example.uir", 1);
    ASSERT_GT(panel_, 0) << rte::LastLoadError();
    DisplayPanel(panel_);
    rte::view::FlushNow();
    dir_ = fs::temp_directory_path() / ("rte_view_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    g_hook = nullptr;
    rte::ResetModel();
    rte::view::FlushNow();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  int panel_ = 0;
  fs::path dir_;
};

TEST_F(ViewTest, EveryControlTypeOfTheExampleGetsItsWidget) {
  auto* num = W<QLineEdit>(panel_, kNum);
  ASSERT_TRUE(num);
  EXPECT_EQ(num->text(), "12.50");
  ASSERT_TRUE(W<QLineEdit>(panel_, kStr));
  EXPECT_EQ(W<QLineEdit>(panel_, kStr)->text(), "NOOP");
  ASSERT_TRUE(W<QLabel>(panel_, kMsg));
  EXPECT_EQ(W<QLabel>(panel_, kMsg)->text(), "Ready");
  EXPECT_TRUE(Widget(panel_, kLed));
  ASSERT_TRUE(W<QPushButton>(panel_, kSwitch));
  EXPECT_TRUE(W<QPushButton>(panel_, kSwitch)->isCheckable());
  ASSERT_TRUE(W<QPushButton>(panel_, kButton));
  EXPECT_EQ(W<QPushButton>(panel_, kButton)->text(), "Send");
  ASSERT_TRUE(W<QComboBox>(panel_, kRing));
  EXPECT_EQ(W<QComboBox>(panel_, kRing)->count(), 2);
  EXPECT_FALSE(Widget(panel_, kTimer));  // a timer shows nothing
  EXPECT_TRUE(W<QPlainTextEdit>(panel_, kText));
  ASSERT_TRUE(W<QListWidget>(panel_, kList));
  EXPECT_EQ(W<QListWidget>(panel_, kList)->count(), 3);
  EXPECT_TRUE(W<QChartView>(panel_, kGraph));
  EXPECT_TRUE(W<QChartView>(panel_, kStrip));

  // Positions come from the model.
  EXPECT_EQ(num->geometry(), QRect(12, 30, 130, 22));

  // The panel is a window with its title and menu bar.
  QWidget* win = Widget(panel_, 0);
  ASSERT_TRUE(win);
  EXPECT_TRUE(win->isWindow());
  EXPECT_TRUE(win->isVisible());
  EXPECT_EQ(win->windowTitle(), "Example Panel");
  auto* bar = win->findChild<QMenuBar*>();
  ASSERT_TRUE(bar);
  QStringList menus;
  for (QAction* a : bar->actions()) menus << a->text();
  EXPECT_EQ(menus, QStringList({"File", "View"}));

  // A child panel lives in an MDI sub-window of its parent; it shows only when displayed.
  int child = LoadPanel(panel_, "example.uir", 2);
  ASSERT_GT(child, 0);
  rte::view::FlushNow();
  QWidget* cw = Widget(child, 0);
  ASSERT_TRUE(cw);
  auto* sub = qobject_cast<QMdiSubWindow*>(cw->parentWidget());
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->mdiArea(), win->findChild<QMdiArea*>());
  EXPECT_FALSE(sub->isVisible());
  DisplayPanel(child);
  SetPanelAttribute(child, ATTR_TITLE, "Counts");
  rte::view::FlushNow();
  EXPECT_TRUE(sub->isVisible());
  EXPECT_EQ(sub->windowTitle(), "Counts");
  // Its controls had no places in the file: laid out, not piled up at 0,0.
  QWidget* a = Widget(child, 2);
  QWidget* b = Widget(child, 3);
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(a->geometry().intersects(b->geometry()));

  // Discarding the parent takes both windows away.
  DiscardPanel(panel_);
  rte::view::FlushNow();
  EXPECT_FALSE(Widget(panel_, 0));
  EXPECT_FALSE(Widget(child, 0));
}

TEST_F(ViewTest, ModelChangesShowAfterRepaint) {
  SetCtrlVal(panel_, kNum, 3.14159);
  SetCtrlVal(panel_, kStr, "STATUS <b>1</b>");
  SetCtrlVal(panel_, kMsg, "<i>not italic</i>");
  SetCtrlVal(panel_, kSwitch, 1);
  SetCtrlIndex(panel_, kRing, 1);
  SetCtrlAttribute(panel_, kButton, ATTR_DIMMED, 1);
  SetCtrlAttribute(panel_, kLed, ATTR_VISIBLE, 0);
  SetCtrlAttribute(panel_, kStr, ATTR_LABEL_TEXT, "Command line");
  // Nothing is applied until the repaint.
  EXPECT_EQ(W<QLineEdit>(panel_, kNum)->text(), "12.50");
  rte::view::FlushNow();
  EXPECT_EQ(W<QLineEdit>(panel_, kNum)->text(), "3.14");
  EXPECT_EQ(W<QLineEdit>(panel_, kStr)->text(), "STATUS <b>1</b>");
  auto* msg = W<QLabel>(panel_, kMsg);
  EXPECT_EQ(msg->textFormat(), Qt::PlainText);
  EXPECT_EQ(msg->text(), "<i>not italic</i>");
  EXPECT_TRUE(W<QPushButton>(panel_, kSwitch)->isChecked());
  EXPECT_EQ(W<QComboBox>(panel_, kRing)->currentIndex(), 1);
  EXPECT_FALSE(W<QPushButton>(panel_, kButton)->isEnabled());
  EXPECT_TRUE(Widget(panel_, kLed)->isHidden());
  bool captionFound = false;
  for (QLabel* l : Widget(panel_, 0)->findChildren<QLabel*>())
    if (l->text() == "Command line") captionFound = l->textFormat() == Qt::PlainText;
  EXPECT_TRUE(captionFound);

  // Integer and hexadecimal display.
  SetCtrlAttribute(panel_, kNum, ATTR_DATA_TYPE, VAL_INTEGER);
  SetCtrlVal(panel_, kNum, 255);
  rte::view::FlushNow();
  EXPECT_EQ(W<QLineEdit>(panel_, kNum)->text(), "255");
  SetCtrlAttribute(panel_, kNum, ATTR_FORMAT, VAL_HEX_FORMAT);
  rte::view::FlushNow();
  EXPECT_EQ(W<QLineEdit>(panel_, kNum)->text(), "FF");

  // Panel attributes.
  SetPanelAttribute(panel_, ATTR_TITLE, "Renamed");
  rte::view::FlushNow();
  EXPECT_EQ(Widget(panel_, 0)->windowTitle(), "Renamed");
  HidePanel(panel_);
  rte::view::FlushNow();
  EXPECT_FALSE(Widget(panel_, 0)->isVisible());
}

// The text box as the model holds it, lines joined by line feeds.
std::string BoxText(int panel, int control) {
  int n = 0;
  GetNumTextBoxLines(panel, control, &n);
  std::string out;
  for (int i = 0; i < n; ++i) {
    std::string l;
    GetTextBoxLine(panel, control, i, &l);
    out += (i ? "\n" : "") + l;
  }
  return out;
}

TEST_F(ViewTest, TextBoxFollowsAppendsTrimsAndResets) {
  auto* box = W<QPlainTextEdit>(panel_, kText);
  ASSERT_TRUE(box);
  auto shows = [&] {
    rte::view::FlushNow();
    // A box whose text ended with a line feed shows the empty line it opened.
    std::string want = BoxText(panel_, kText), have = box->toPlainText().toStdString();
    return have == want || have == want + "\n";
  };
  for (const char* l : {"one\n", "two\n", "thr"}) SetCtrlVal(panel_, kText, l);
  EXPECT_TRUE(shows());
  EXPECT_NE(box->toPlainText().indexOf("two\nthr"), -1);
  // Appending continues the last line.
  SetCtrlVal(panel_, kText, "ee\n");
  EXPECT_TRUE(shows());
  EXPECT_NE(box->toPlainText().indexOf("\nthree"), -1);
  // A log trimmed at the front and grown at the end in one repaint.
  DeleteTextBoxLine(panel_, kText, 0);
  DeleteTextBoxLine(panel_, kText, 0);
  SetCtrlVal(panel_, kText, "four\n<b>five</b>");
  EXPECT_TRUE(shows());
  EXPECT_FALSE(box->toPlainText().contains("one"));
  EXPECT_TRUE(box->toPlainText().contains("<b>five</b>"));
  // Lines inserted and replaced in the middle.
  InsertTextBoxLine(panel_, kText, 1, "inserted");
  ReplaceTextBoxLine(panel_, kText, 0, "THREE");
  EXPECT_TRUE(shows());
  // Many appends between two repaints, then a reset.
  for (int i = 0; i < 2000; ++i) SetCtrlVal(panel_, kText, ("line " + std::to_string(i) + "\n").c_str());
  EXPECT_TRUE(shows());
  ResetTextBox(panel_, kText, "fresh");
  EXPECT_TRUE(shows());
  EXPECT_EQ(box->toPlainText(), "fresh");
}

TEST_F(ViewTest, EscapeColouredListLabelsShowTextInTheirColour) {
  auto* list = W<QListWidget>(panel_, kList);
  ASSERT_TRUE(list);
  // The example's first lines carry colour escapes.
  EXPECT_EQ(list->item(1)->text(), "CONNECTED");
  EXPECT_EQ(list->item(1)->foreground().color(), QColor(0x00, 0x7a, 0x00));
  EXPECT_EQ(list->item(2)->foreground().color(), QColor(0xff, 0x00, 0x00));

  InsertListItem(panel_, kList, -1, "\033fgFFFF00TELEMETRY LOST", 3.0);
  InsertListItem(panel_, kList, -1, "\033fg00ZZ00 not an escape", 4.0);
  InsertListItem(panel_, kList, -1, "plain <u>line</u>", 5.0);
  DeleteListItem(panel_, kList, 0, 1);
  rte::view::FlushNow();
  ASSERT_EQ(list->count(), 5);
  EXPECT_EQ(list->item(0)->text(), "CONNECTED");
  EXPECT_EQ(list->item(2)->text(), "TELEMETRY LOST");
  EXPECT_EQ(list->item(2)->foreground().color(), QColor(0xff, 0xff, 0x00));
  // A malformed escape loses nothing: the label shows as it is.
  EXPECT_EQ(list->item(3)->text().toStdString(), "\033fg00ZZ00 not an escape");
  EXPECT_EQ(list->item(4)->text(), "plain <u>line</u>");

  // The rendered row really is drawn in the colour: find yellow pixels in the list.
  SetCtrlIndex(panel_, kList, 0);
  rte::view::FlushNow();
  QImage img = list->grab().toImage();
  QRect row = list->visualItemRect(list->item(2));
  bool yellow = false;
  for (int y = row.top(); y <= row.bottom() && !yellow; ++y)
    for (int x = row.left(); x <= row.right() && !yellow; ++x) {
      QColor c = img.pixelColor(x + list->viewport()->x(), y + list->viewport()->y());
      yellow = c.red() > 200 && c.green() > 200 && c.blue() < 80;
    }
  EXPECT_TRUE(yellow);
}

TEST_F(ViewTest, EnterInTheStringControlSendsKeyThenCommitWithTheTextStored) {
  auto* edit = W<QLineEdit>(panel_, kStr);
  ASSERT_TRUE(edit);
  edit->setText("PING");
  Key(edit, Qt::Key_Return);
  ASSERT_EQ(g_events.size(), 2u);
  EXPECT_EQ(g_events[0].event, EVENT_KEYPRESS);
  EXPECT_EQ(g_events[0].d1, VAL_ENTER_VKEY);
  EXPECT_EQ(g_events[0].value, "PING");
  EXPECT_EQ(g_events[1].event, EVENT_COMMIT);

  // The other keys the programs watch.
  g_events.clear();
  for (int k : {Qt::Key_Up, Qt::Key_Escape, Qt::Key_F12, Qt::Key_Tab}) Key(edit, k);
  std::vector<int> codes;
  for (const auto& e : g_events) {
    EXPECT_EQ(e.event, EVENT_KEYPRESS);
    codes.push_back(e.d1);
  }
  EXPECT_EQ(codes, (std::vector<int>{VAL_UP_ARROW_VKEY, VAL_ESC_VKEY, VAL_F12_VKEY, VAL_TAB_VKEY}));

  // A callback that clears the line on the key (as a command line does) is not undone by the
  // commit that follows.
  g_events.clear();
  g_hook = [](int p, int c, int ev) {
    if (ev == EVENT_KEYPRESS) SetCtrlVal(p, c, "");
  };
  edit->setText("SEND");
  Key(edit, Qt::Key_Enter);
  std::string now;
  GetCtrlVal(panel_, kStr, &now);
  EXPECT_EQ(now, "");
  rte::view::FlushNow();
  EXPECT_EQ(edit->text(), "");
}

TEST_F(ViewTest, NumericEntryCommitsOnlyNumbers) {
  auto* edit = W<QLineEdit>(panel_, kNum);
  edit->setText("42.5");
  Key(edit, Qt::Key_Return);
  double v = 0;
  GetCtrlVal(panel_, kNum, &v);
  EXPECT_DOUBLE_EQ(v, 42.5);
  EXPECT_EQ(EventsOf(kNum), (std::vector<int>{EVENT_KEYPRESS, EVENT_COMMIT}));
  g_events.clear();
  edit->setText("4x2");
  Key(edit, Qt::Key_Return);
  GetCtrlVal(panel_, kNum, &v);
  EXPECT_DOUBLE_EQ(v, 42.5);
  EXPECT_TRUE(g_events.empty());
  EXPECT_EQ(edit->text(), "42.50");
  // Hexadecimal entry in a hexadecimal control.
  SetCtrlAttribute(panel_, kNum, ATTR_DATA_TYPE, VAL_INTEGER);
  SetCtrlAttribute(panel_, kNum, ATTR_FORMAT, VAL_HEX_FORMAT);
  rte::view::FlushNow();
  edit->setText("1f");
  Key(edit, Qt::Key_Return);
  GetCtrlVal(panel_, kNum, &v);
  EXPECT_DOUBLE_EQ(v, 31);
}

TEST_F(ViewTest, ClicksTogglesAndSelectionsReachTheCallbacks) {
  W<QPushButton>(panel_, kButton)->click();
  EXPECT_EQ(EventsOf(kButton), (std::vector<int>{EVENT_COMMIT}));

  W<QPushButton>(panel_, kSwitch)->click();
  int on = 0;
  GetCtrlVal(panel_, kSwitch, &on);
  EXPECT_EQ(on, 1);
  EXPECT_EQ(EventsOf(kSwitch), (std::vector<int>{EVENT_COMMIT}));

  auto* ring = W<QComboBox>(panel_, kRing);
  ring->setCurrentIndex(1);
  emit ring->activated(1);
  int idx = -1;
  GetCtrlIndex(panel_, kRing, &idx);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(EventsOf(kRing), (std::vector<int>{EVENT_COMMIT}));

  // A list line checked by the user (a hot list shows its check boxes).
  auto* list = W<QListWidget>(panel_, kList);
  EXPECT_FALSE(list->item(2)->flags() & Qt::ItemIsUserCheckable);
  ASSERT_EQ(SetCtrlAttribute(panel_, kList, ATTR_CTRL_MODE, VAL_HOT), 0);
  rte::view::FlushNow();
  ASSERT_TRUE(list->item(2)->flags() & Qt::ItemIsUserCheckable);
  list->item(2)->setCheckState(Qt::Checked);
  int checked = 0;
  IsListItemChecked(panel_, kList, 2, &checked);
  EXPECT_EQ(checked, 1);
  EXPECT_EQ(EventsOf(kList), (std::vector<int>{EVENT_COMMIT}));

  // Right click with the panel position of the mouse: vertical first, then horizontal.
  g_events.clear();
  QWidget* vp = list->viewport();
  QPoint at = list->visualItemRect(list->item(1)).center();
  Click(vp, at, Qt::RightButton);
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].event, EVENT_RIGHT_CLICK);
  QPoint expect = vp->mapTo(list->parentWidget(), at);
  EXPECT_EQ(g_events[0].d1, expect.y());
  EXPECT_EQ(g_events[0].d2, expect.x());
  GetCtrlIndex(panel_, kList, &idx);
  EXPECT_EQ(idx, 1);  // the line under the mouse is the one meant

  // Menu entries.
  auto* bar = Widget(panel_, 0)->findChild<QMenuBar*>();
  for (QAction* m : bar->actions())
    for (QAction* a : m->menu()->actions())
      if (a->text() == "Quit") a->trigger();
  EXPECT_EQ(g_menu, (std::vector<int>{2}));
}

TEST_F(ViewTest, ClosingAWindowAsksTheProgram) {
  QWidget* win = Widget(panel_, 0);
  win->close();
  ASSERT_FALSE(g_events.empty());
  EXPECT_EQ(g_events.back().control, 0);
  EXPECT_EQ(g_events.back().event, EVENT_CLOSE);
  rte::view::FlushNow();
  EXPECT_TRUE(win->isVisible());  // the program did not hide it
}

TEST_F(ViewTest, ACallbackMayDiscardItsOwnPanel) {
  g_hook = [](int p, int, int ev) {
    if (ev == EVENT_COMMIT) DiscardPanel(p);
  };
  QPointer<QPushButton> b = W<QPushButton>(panel_, kButton);
  b->click();
  ASSERT_FALSE(b.isNull());  // still there while its click returns
  rte::view::FlushNow();
  EXPECT_TRUE(b.isNull());
  EXPECT_FALSE(Widget(panel_, 0));
}

TEST_F(ViewTest, GraphClickMovesTheCursor) {
  double x[] = {0, 1, 2, 3, 4}, y[] = {0, 10, 5, 20, 15};
  ASSERT_GT(PlotXY(panel_, kGraph, x, y, 5), 0);
  SetAxisScalingMode(panel_, kGraph, VAL_XAXIS, VAL_MANUAL, 0, 4);
  SetAxisScalingMode(panel_, kGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 20);
  rte::view::FlushNow();
  auto* cv = W<QChartView>(panel_, kGraph);
  ASSERT_TRUE(cv);
  QRectF area = cv->chart()->plotArea();
  QPoint at = cv->mapFromScene(cv->chart()->mapToScene(area.center()));
  Click(cv->viewport(), at);
  double cx = -1, cy = -1;
  GetGraphCursor(panel_, kGraph, 1, &cx, &cy);
  EXPECT_NEAR(cx, 2, 0.2);
  EXPECT_NEAR(cy, 10, 1);
  EXPECT_EQ(EventsOf(kGraph), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
}

TEST_F(ViewTest, PanelRendersToAPngAndAPdf) {
  double x[50], y1[50], y2[50];
  for (int i = 0; i < 50; ++i) {
    x[i] = i;
    y1[i] = 10 * std::sin(i / 6.0);
    y2[i] = 0.2 * i - 5;
  }
  PlotXY(panel_, kGraph, x, y1, 50, VAL_THIN_LINE, VAL_BLUE);
  PlotXY(panel_, kGraph, x, y2, 50, VAL_SCATTER, VAL_RED);
  for (int i = 0; i < 80; ++i) {
    double v[3] = {50 * std::sin(i / 8.0), 30 * std::cos(i / 5.0), i - 40.0};
    PlotStripChart(panel_, kStrip, v, 3);
  }
  for (int i = 0; i < 12; ++i) SetCtrlVal(panel_, kText, ("line " + std::to_string(i) + "\n").c_str());
  InsertListItem(panel_, kList, -1, "\033fg0000ffSCRIPT MESSAGE", 9.0);
  int child = LoadPanel(panel_, "example.uir", 2);
  DisplayPanel(child);
  SetPanelPos(child, 200, 480);

  std::string png = (dir_ / "panel.png").string();
  ASSERT_EQ(rte::view::GrabPanel(panel_, png), 0);
  QImage img(QString::fromStdString(png));
  ASSERT_FALSE(img.isNull());
  EXPECT_GE(img.width(), 760);
  std::set<QRgb> colours;
  for (int yy = 0; yy < img.height(); yy += 3)
    for (int xx = 0; xx < img.width(); xx += 3) colours.insert(img.pixel(xx, yy));
  EXPECT_GT(colours.size(), 30u);
  if (const char* keep = std::getenv("RTE_VIEW_PNG")) fs::copy_file(png, keep, fs::copy_options::overwrite_existing);

  std::string pdf = (dir_ / "panel.pdf").string();
  ASSERT_EQ(rte::view::Print(panel_, pdf.c_str()), 0);
  std::ifstream in(pdf, std::ios::binary);
  char head[5] = {};
  in.read(head, 4);
  EXPECT_STREQ(head, "%PDF");

  EXPECT_LT(rte::view::GrabPanel(9999, png), 0);
  EXPECT_LT(rte::view::GrabPanel(panel_, (dir_ / "no-such-dir" / "x.png").string()), 0);
}

TEST_F(ViewTest, FocusFollowsTheModelAndTheUser) {
  QWidget* win = Widget(panel_, 0);
  win->activateWindow();
  QApplication::setActiveWindow(win);
  ASSERT_EQ(SetActiveCtrl(panel_, kStr), 0);
  SetActivePanel(panel_);
  rte::view::FlushNow();
  EXPECT_EQ(QApplication::focusWidget(), Widget(panel_, kStr));
  // The user moves on: the model learns it, and the next repaint does not pull focus back.
  Widget(panel_, kNum)->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(GetActiveCtrl(panel_), kNum);
  rte::view::FlushNow();
  EXPECT_EQ(QApplication::focusWidget(), Widget(panel_, kNum));
}

// Runs `answer` on the dialog once it is open (from inside its exec()).
void WhenDialogOpens(std::function<void(QDialog*)> answer) {
  QTimer::singleShot(0, [answer] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_TRUE(d);
    answer(d);
  });
}

TEST_F(ViewTest, QtPopupsAreModalPlainAndHonourTheReplyLimit) {
  rte::PopupBackend* qt = rte::view::QtPopups();
  bool openDuring = false;
  QString shown;
  WhenDialogOpens([&](QDialog* d) {
    openDuring = rte::PopupOpen();
    auto* edit = d->findChild<QLineEdit*>();
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->maxLength(), 5);
    for (QLabel* l : d->findChildren<QLabel*>())
      if (l->text().contains("Enter")) {
        shown = l->text();
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
      }
    edit->setText("ABCDEFGH");
    d->accept();
  });
  std::string reply;
  EXPECT_EQ(qt->prompt("Variable Editor", "<b>x</b>\nEnter new value.", &reply, 5), 0);
  EXPECT_TRUE(openDuring);
  EXPECT_FALSE(rte::PopupOpen());
  EXPECT_EQ(shown, "<b>x</b>\nEnter new value.");
  EXPECT_EQ(reply, "ABCDE");

  WhenDialogOpens([](QDialog* d) { d->reject(); });
  reply = "old";
  EXPECT_EQ(qt->prompt("T", "Enter", &reply, 10), RTE_ERR_USER_CANCEL);
  EXPECT_EQ(reply, "");

  WhenDialogOpens([](QDialog* d) {
    auto* box = qobject_cast<QMessageBox*>(d);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(qt->confirm("Quit", "Really?"), 0);
  WhenDialogOpens([](QDialog* d) { qobject_cast<QMessageBox*>(d)->button(QMessageBox::Yes)->click(); });
  EXPECT_EQ(qt->confirm("Quit", "Really?"), 1);
}

TEST_F(ViewTest, GraphAxesAndStripChartTraces) {
  auto* cv = W<QChartView>(panel_, kGraph);
  double x[] = {1, 10, 100, 1000}, y[] = {0, 1, 2, 3};
  PlotXY(panel_, kGraph, x, y, 4, VAL_CONNECTED_POINTS, VAL_GREEN);
  SetAxisScale(panel_, kGraph, VAL_XAXIS, VAL_LOG_SCALE);
  InsertAxisItem(panel_, kGraph, VAL_LEFT_YAXIS, -1, "LOW", 0);
  InsertAxisItem(panel_, kGraph, VAL_LEFT_YAXIS, -1, "HIGH", 3);
  rte::view::FlushNow();
  auto axes = [&](Qt::Orientation o) { return cv->chart()->axes(o); };
  ASSERT_EQ(axes(Qt::Horizontal).size(), 1);
  EXPECT_TRUE(qobject_cast<QLogValueAxis*>(axes(Qt::Horizontal)[0]));
  ASSERT_EQ(axes(Qt::Vertical).size(), 1);
  auto* cat = qobject_cast<QCategoryAxis*>(axes(Qt::Vertical)[0]);
  ASSERT_TRUE(cat);
  EXPECT_EQ(cat->categoriesLabels(), QStringList({"LOW", "HIGH"}));
  // Back to plain linear axes.
  ClearAxisItems(panel_, kGraph, VAL_LEFT_YAXIS);
  SetAxisScale(panel_, kGraph, VAL_XAXIS, VAL_LINEAR_SCALE);
  rte::view::FlushNow();
  EXPECT_FALSE(qobject_cast<QLogValueAxis*>(axes(Qt::Horizontal)[0]));
  EXPECT_FALSE(qobject_cast<QCategoryAxis*>(axes(Qt::Vertical)[0]));
  DeleteGraphPlot(panel_, kGraph, VAL_DELETE_ALL);
  rte::view::FlushNow();
  int plots = 0;
  for (QAbstractSeries* s : cv->chart()->series())
    if (static_cast<QXYSeries*>(s)->color() == QColor(0, 255, 0)) ++plots;
  EXPECT_EQ(plots, 0);

  // Strip chart: one series a trace, the last points-per-screen points of each.
  auto* sv = W<QChartView>(panel_, kStrip);
  for (int i = 0; i < 150; ++i) {
    double v[3] = {double(i), -double(i), 0.5};
    PlotStripChart(panel_, kStrip, v, 3);
  }
  SetTraceAttribute(panel_, kStrip, 2, ATTR_TRACE_VISIBLE, 0);
  SetTraceAttribute(panel_, kStrip, 3, ATTR_TRACE_COLOR, VAL_MAGENTA);
  rte::view::FlushNow();
  auto series = sv->chart()->series();
  ASSERT_EQ(series.size(), 3);
  auto* s1 = static_cast<QXYSeries*>(series[0]);
  ASSERT_EQ(s1->count(), 100);
  EXPECT_EQ(s1->at(99).y(), 149);  // the newest at the right edge
  EXPECT_EQ(s1->at(0).y(), 50);
  EXPECT_FALSE(series[1]->isVisible());
  EXPECT_EQ(static_cast<QXYSeries*>(series[2])->color(), QColor(255, 0, 255));
  ClearStripChart(panel_, kStrip);
  rte::view::FlushNow();
  EXPECT_EQ(s1->count(), 0);
}

TEST_F(ViewTest, PanelClicksCarryPanelCoordinatesAndControlClicksStayWithTheControl) {
  QWidget* canvas = Widget(panel_, kNum)->parentWidget();
  // An empty spot near the top-left corner, as the print-on-double-click convention uses.
  Click(canvas, QPoint(5, 4), Qt::LeftButton, QEvent::MouseButtonDblClick);
  Click(canvas, QPoint(455, 130), Qt::RightButton);  // between two columns of controls
  ASSERT_EQ(g_events.size(), 2u);
  EXPECT_EQ(g_events[0].control, 0);
  EXPECT_EQ(g_events[0].event, EVENT_LEFT_DOUBLE_CLICK);
  EXPECT_EQ(g_events[0].d1, 4);
  EXPECT_EQ(g_events[0].d2, 5);
  EXPECT_EQ(g_events[1].event, EVENT_RIGHT_CLICK);
  EXPECT_EQ(g_events[1].d1, 130);
  EXPECT_EQ(g_events[1].d2, 455);

  // A double click on a list line: the click events, then the commit; none for the panel.
  g_events.clear();
  auto* list = W<QListWidget>(panel_, kList);
  QPoint at = list->visualItemRect(list->item(2)).center();
  Click(list->viewport(), at, Qt::LeftButton, QEvent::MouseButtonDblClick);
  std::vector<int> panelEvents, listEvents;
  for (const auto& e : g_events) (e.control == 0 ? panelEvents : listEvents).push_back(e.event);
  EXPECT_TRUE(panelEvents.empty());
  EXPECT_EQ(listEvents, (std::vector<int>{EVENT_LEFT_DOUBLE_CLICK, EVENT_COMMIT}));
}

}  // namespace

namespace {
void Type(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(w, &release);
  }
}
std::string StrVal(int panel, int ctrl) {
  std::string s;
  GetCtrlVal(panel, ctrl, &s);
  return s;
}
}  // namespace

TEST_F(ViewTest, AMessageShownSelectedIsReplacedByTheFirstKeyTyped) {
  auto* edit = W<QLineEdit>(panel_, kStr);
  ASSERT_TRUE(edit);
  int sel = -1;
  EXPECT_EQ(SetCtrlAttribute(panel_, kNum, ATTR_TEXT_SELECTED, 1), RTE_ERR_TYPE);

  // Without the request the text typed goes where the cursor is: after the message.
  SetCtrlVal(panel_, kStr, "COMMAND NOT SENT!");
  rte::view::FlushNow();
  Type(edit, "HELP");
  EXPECT_EQ(StrVal(panel_, kStr), "COMMAND NOT SENT!HELP");

  SetCtrlVal(panel_, kStr, "COMMAND NOT SENT!");
  ASSERT_EQ(SetCtrlAttribute(panel_, kStr, ATTR_TEXT_SELECTED, 1), 0);
  rte::view::FlushNow();
  EXPECT_EQ(edit->selectedText(), "COMMAND NOT SENT!");
  Type(edit, "HELP");
  EXPECT_EQ(StrVal(panel_, kStr), "HELP");
  GetCtrlAttribute(panel_, kStr, ATTR_TEXT_SELECTED, &sel);
  EXPECT_EQ(sel, 0);  // the user's text is no message
  rte::view::FlushNow();
  EXPECT_EQ(edit->text(), "HELP");

  // The selection lost meanwhile (a click into the line, focus elsewhere): still replaced.
  SetCtrlVal(panel_, kStr, "WAITING FOR ARR; COMMAND NOT SENT!");
  SetCtrlAttribute(panel_, kStr, ATTR_TEXT_SELECTED, 1);
  rte::view::FlushNow();
  edit->deselect();
  edit->setCursorPosition(7);
  Type(edit, "go");
  EXPECT_EQ(StrVal(panel_, kStr), "go");

  // Moving the cursor first means editing the message: it is kept.
  SetCtrlVal(panel_, kStr, "ABC");
  SetCtrlAttribute(panel_, kStr, ATTR_TEXT_SELECTED, 1);
  rte::view::FlushNow();
  Key(edit, Qt::Key_End);
  Type(edit, "D");
  EXPECT_EQ(StrVal(panel_, kStr), "ABCD");

  // A new value from the program ends the request.
  SetCtrlAttribute(panel_, kStr, ATTR_TEXT_SELECTED, 1);
  SetCtrlVal(panel_, kStr, "/systemnop ");
  GetCtrlAttribute(panel_, kStr, ATTR_TEXT_SELECTED, &sel);
  EXPECT_EQ(sel, 0);
  rte::view::FlushNow();
  Type(edit, "1");
  EXPECT_EQ(StrVal(panel_, kStr), "/systemnop 1");
}

// A list whose current line only followed the first insert marks no line (a log's first line
// keeps its own colours); once the program or the operator picks a line it is marked, clearing
// the list forgets the pick, and the model's index reads the same all along.
TEST_F(ViewTest, OnlyAPickedListLineIsMarkedCurrent) {
  auto* list = W<QListWidget>(panel_, kList);
  ASSERT_TRUE(list);
  ClearListCtrl(panel_, kList);
  InsertListItem(panel_, kList, -1, "first", 1.0);
  InsertListItem(panel_, kList, -1, "second", 2.0);
  rte::view::FlushNow();
  int index = -1;
  GetCtrlIndex(panel_, kList, &index);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list->currentRow(), -1);
  EXPECT_TRUE(list->selectedItems().isEmpty());

  SetCtrlIndex(panel_, kList, 1);
  rte::view::FlushNow();
  EXPECT_EQ(list->currentRow(), 1);

  ClearListCtrl(panel_, kList);
  InsertListItem(panel_, kList, -1, "again", 3.0);
  rte::view::FlushNow();
  EXPECT_EQ(list->currentRow(), -1);

  // The operator's click on the first line picks it, and it stays marked.
  Click(list->viewport(), list->visualItemRect(list->item(0)).center(), Qt::LeftButton,
        QEvent::MouseButtonPress);
  Click(list->viewport(), list->visualItemRect(list->item(0)).center(), Qt::LeftButton,
        QEvent::MouseButtonRelease);
  InsertListItem(panel_, kList, -1, "later", 4.0);
  rte::view::FlushNow();
  EXPECT_EQ(list->currentRow(), 0);
}
