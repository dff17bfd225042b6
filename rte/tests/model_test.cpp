// The engine's model without a loop: panels, values, lists, text boxes, graphs, resource files,
// text and file helpers, scripted pop-ups.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <fstream>

#include "../model/model.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace fs = std::filesystem;

namespace {

int g_calls = 0;
int g_lastEvent = 0;
int g_lastKey = 0;
int CtrlCb(int, int, int event, void*, int d1, int) {
  ++g_calls;
  g_lastEvent = event;
  if (event == EVENT_KEYPRESS) g_lastKey = d1;
  return 0;
}
int PanelCb(int, int, int event, void*, int, int) {
  g_lastEvent = event;
  return 0;
}
int TimerCb(int, int, int, void*, int, int) { return 0; }
void MenuCb(int, int, void*, int) { ++g_calls; }
int Throws(int, int, int, void*, int, int) { throw std::runtime_error("boom"); }

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rte::ResetModel();
    RTE_REGISTER_CALLBACK(CtrlCb);
    RTE_REGISTER_CALLBACK(PanelCb);
    RTE_REGISTER_CALLBACK(TimerCb);
    RTE_REGISTER_CALLBACK(Throws);
    RTE_REGISTER_MENU_CALLBACK(MenuCb);
    rte::AddResourceDir(RTE_TEST_DIR);
    g_calls = 0;
    dir_ = fs::temp_directory_path() / ("rte_model_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string writeUir(const std::string& name, const std::string& text) {
    auto p = dir_ / name;
    std::ofstream(p) << text;
    return p.string();
  }

  fs::path dir_;
};

TEST_F(ModelTest, EveryControlTypeOfTheExampleLoads) {
  int p = LoadPanel(0, "example.uir", 1);
  ASSERT_GT(p, 0) << rte::LastLoadError();
  int types[] = {CTRL_NUMERIC, CTRL_STRING, CTRL_TEXT_MSG, CTRL_LED, CTRL_BINARY_SWITCH,
                 CTRL_COMMAND_BUTTON, CTRL_RING, CTRL_TIMER, CTRL_TEXT_BOX, CTRL_LIST_BOX,
                 CTRL_GRAPH, CTRL_STRIP_CHART};
  std::set<int> seen;
  for (int id = 1; id < 40; ++id) {
    int t = 0;
    if (GetCtrlAttribute(p, id, ATTR_CTRL_TYPE, &t) == 0) seen.insert(t);
  }
  for (int t : types) EXPECT_TRUE(seen.count(t)) << "type " << t;
  double v = 0;
  ASSERT_EQ(GetCtrlVal(p, 2, &v), 0);
  EXPECT_DOUBLE_EQ(v, 12.5);
  // A child panel inside the first.
  int c = LoadPanel(p, "example.uir", 2);
  ASSERT_GT(c, 0) << rte::LastLoadError();
  int parent = 0;
  GetPanelAttribute(c, ATTR_PANEL_PARENT, &parent);
  EXPECT_EQ(parent, p);
  // Discarding the parent takes the child with it.
  EXPECT_EQ(DiscardPanel(p), 0);
  EXPECT_LT(DisplayPanel(c), 0);
}

TEST_F(ModelTest, ResourceErrorsNameFilePanelControlAndCallback) {
  auto f = writeUir("bad.uir", R"({"panels":[{"resource":3,"controls":[
      {"id":2,"type":"numeric"},{"id":5,"type":"button","callback":"NoSuchThing"}]}]})");
  EXPECT_LT(LoadPanel(0, f.c_str(), 3), 0);
  const std::string& e = rte::LastLoadError();
  EXPECT_NE(e.find("bad.uir"), std::string::npos) << e;
  EXPECT_NE(e.find("panel 3"), std::string::npos) << e;
  EXPECT_NE(e.find("control 5"), std::string::npos) << e;
  EXPECT_NE(e.find("NoSuchThing"), std::string::npos) << e;

  auto g = writeUir("type.uir", R"({"panels":[{"resource":1,"controls":[{"id":7,"type":"dial"}]}]})");
  EXPECT_LT(LoadPanel(0, g.c_str(), 1), 0);
  EXPECT_NE(rte::LastLoadError().find("control 7"), std::string::npos);

  auto h = writeUir("syntax.uir", R"({"panels":[{"resource":1,"controls":[{"id":)");
  EXPECT_LT(LoadPanel(0, h.c_str(), 1), 0);
  EXPECT_NE(rte::LastLoadError().find("syntax.uir"), std::string::npos);

  auto d = writeUir("dup.uir", R"({"panels":[{"resource":1,"controls":[{"id":2,"type":"led"},{"id":2,"type":"led"}]}]})");
  EXPECT_LT(LoadPanel(0, d.c_str(), 1), 0);
  EXPECT_NE(rte::LastLoadError().find("used twice"), std::string::npos);

  EXPECT_LT(LoadPanel(0, f.c_str(), 99), 0);                 // no such panel
  EXPECT_LT(LoadPanel(0, "does-not-exist.uir", 1), 0);        // no such file
  EXPECT_LT(LoadPanel(12345, "example.uir", 1), 0);           // no such parent
}

TEST_F(ModelTest, ControlsWithoutPositionAreLaidOutWithoutOverlap) {
  auto f = writeUir("auto.uir", R"({"panels":[{"resource":1,"controls":[
      {"id":1,"type":"numeric"},{"id":2,"type":"numeric"},{"id":3,"type":"textbox"},
      {"id":4,"type":"graph"},{"id":5,"type":"led"},{"id":6,"type":"string"}]}]})");
  int p = LoadPanel(0, f.c_str(), 1);
  ASSERT_GT(p, 0) << rte::LastLoadError();
  struct R { int t, l, w, h; };
  std::vector<R> rs;
  for (int id = 1; id <= 6; ++id) {
    R r{};
    GetCtrlAttribute(p, id, ATTR_TOP, &r.t);
    GetCtrlAttribute(p, id, ATTR_LEFT, &r.l);
    GetCtrlAttribute(p, id, ATTR_WIDTH, &r.w);
    GetCtrlAttribute(p, id, ATTR_HEIGHT, &r.h);
    EXPECT_GE(r.t, 0);
    EXPECT_GE(r.l, 0);
    rs.push_back(r);
  }
  for (std::size_t i = 0; i < rs.size(); ++i)
    for (std::size_t j = i + 1; j < rs.size(); ++j) {
      bool apart = rs[i].l + rs[i].w <= rs[j].l || rs[j].l + rs[j].w <= rs[i].l ||
                   rs[i].t + rs[i].h <= rs[j].t || rs[j].t + rs[j].h <= rs[i].t;
      EXPECT_TRUE(apart) << i + 1 << " overlaps " << j + 1;
    }
  int w = 0, h = 0;
  GetPanelAttribute(p, ATTR_WIDTH, &w);
  GetPanelAttribute(p, ATTR_HEIGHT, &h);
  for (auto& r : rs) {
    EXPECT_LE(r.l + r.w, w);
    EXPECT_LE(r.t + r.h, h);
  }
}

TEST_F(ModelTest, TextBoxAppendsAndEditsLines) {
  int p = LoadPanel(0, "example.uir", 1);
  ASSERT_GT(p, 0);
  SetCtrlVal(p, 10, "first ");
  SetCtrlVal(p, 10, "line\nsecond\n");
  SetCtrlVal(p, 10, "third");
  int n = 0;
  GetNumTextBoxLines(p, 10, &n);
  EXPECT_EQ(n, 3);
  std::string all;
  GetCtrlVal(p, 10, &all);
  EXPECT_EQ(all, "first line\nsecond\nthird");
  EXPECT_EQ(InsertTextBoxLine(p, 10, 0, "zero"), 0);
  EXPECT_EQ(DeleteTextBoxLine(p, 10, 2), 0);  // "second"
  std::string l;
  GetTextBoxLine(p, 10, 1, &l);
  EXPECT_EQ(l, "first line");
  GetTextBoxLine(p, 10, 2, &l);
  EXPECT_EQ(l, "third");
  EXPECT_LT(DeleteTextBoxLine(p, 10, 3), 0);
  ResetTextBox(p, 10, "");
  GetNumTextBoxLines(p, 10, &n);
  EXPECT_EQ(n, 0);
  // Lines appended one by one each end with a feed: the count is the number appended.
  for (int i = 0; i < 5; ++i) SetCtrlVal(p, 10, "x\n");
  GetNumTextBoxLines(p, 10, &n);
  EXPECT_EQ(n, 5);
  InsertTextBoxLine(p, 10, -1, "appended");
  GetNumTextBoxLines(p, 10, &n);
  EXPECT_EQ(n, 6);
  GetTextBoxLine(p, 10, 5, &l);
  EXPECT_EQ(l, "appended");
}

TEST_F(ModelTest, ListItemsKeepLabelValueAndCheckMark) {
  int p = LoadPanel(0, "example.uir", 1);
  ASSERT_GT(p, 0);
  ClearListCtrl(p, 11);
  InsertListItem(p, 11, -1, "one", 1.0);
  InsertListItem(p, 11, -1, "three", 3.0);
  InsertListItem(p, 11, 1, "two", "2-text");
  CheckListItem(p, 11, 2, 1);
  int n = 0;
  GetNumListItems(p, 11, &n);
  ASSERT_EQ(n, 3);
  std::string label, sval;
  double v = 0;
  int checked = 0;
  GetLabelFromIndex(p, 11, 1, &label);
  GetValueFromIndex(p, 11, 1, &sval);
  EXPECT_EQ(label, "two");
  EXPECT_EQ(sval, "2-text");
  IsListItemChecked(p, 11, 2, &checked);
  EXPECT_EQ(checked, 1);
  // Replacing keeps the check mark, deleting shifts the rest.
  ReplaceListItem(p, 11, 2, "THREE", 33.0);
  GetLabelFromIndex(p, 11, 2, &label);
  GetValueFromIndex(p, 11, 2, &v);
  IsListItemChecked(p, 11, 2, &checked);
  EXPECT_EQ(label, "THREE");
  EXPECT_DOUBLE_EQ(v, 33.0);
  EXPECT_EQ(checked, 1);
  DeleteListItem(p, 11, 0, 1);
  GetLabelFromIndex(p, 11, 0, &label);
  EXPECT_EQ(label, "two");
  IsListItemChecked(p, 11, 1, &checked);
  EXPECT_EQ(checked, 1);
  IsListItemChecked(p, 11, 0, &checked);
  EXPECT_EQ(checked, 0);
  EXPECT_LT(GetLabelFromIndex(p, 11, 5, &label), 0);
  EXPECT_LT(InsertListItem(p, 11, 9, "far", 0.0), 0);
  // Selection follows the item it was on.
  SetCtrlIndex(p, 11, 1);
  InsertListItem(p, 11, 0, "new first", 0.0);
  int idx = -1;
  GetCtrlIndex(p, 11, &idx);
  EXPECT_EQ(idx, 2);
  GetCtrlVal(p, 11, &v);
  EXPECT_DOUBLE_EQ(v, 33.0);
  DeleteListItem(p, 11, 0, -1);
  GetNumListItems(p, 11, &n);
  EXPECT_EQ(n, 0);
  GetCtrlIndex(p, 11, &idx);
  EXPECT_EQ(idx, -1);
}

TEST_F(ModelTest, WrongHandlesAndTypesGiveNegativeCodesNotCrashes) {
  int p = LoadPanel(0, "example.uir", 1);
  ASSERT_GT(p, 0);
  double d;
  std::string s;
  int i;
  EXPECT_EQ(SetCtrlVal(9999, 2, 1), RTE_ERR_BAD_PANEL);
  EXPECT_EQ(SetCtrlVal(p, 999, 1), RTE_ERR_BAD_CONTROL);
  EXPECT_EQ(SetCtrlVal(-1, -1, "x"), RTE_ERR_BAD_PANEL);
  EXPECT_LT(GetCtrlVal(p, 0, &d), 0);
  EXPECT_LT(GetCtrlVal(0, 2, &s), 0);
  EXPECT_LT(InsertListItem(p, 2, -1, "x", 1.0), 0);  // numeric is no list
  EXPECT_LT(PlotY(p, 11, &d, 1), 0);                 // list is no graph
  EXPECT_LT(PlotStripChart(p, 12, &d, 1), 0);        // graph is no strip chart
  EXPECT_LT(GetNumTextBoxLines(p, 2, &i), 0);
  EXPECT_LT(SetCtrlAttribute(p, 2, 99999, 1), 0);
  EXPECT_LT(SetPanelAttribute(p, 99999, 1), 0);
  EXPECT_LT(SetCtrlIndex(p, 8, 7), 0);
  EXPECT_LT(DiscardPanel(p + 100), 0);
  EXPECT_LT(rte::SendEvent(p, 999, EVENT_COMMIT), 0);
  // A callback that throws is contained.
  auto f = writeUir("throw.uir", R"({"panels":[{"resource":1,"controls":[{"id":2,"type":"button","callback":"Throws"}]}]})");
  int q = LoadPanel(0, f.c_str(), 1);
  ASSERT_GT(q, 0);
  EXPECT_EQ(rte::SendEvent(q, 2, EVENT_COMMIT), 0);
  EXPECT_EQ(rte::model::CallbackDepth(), 0);
}

TEST_F(ModelTest, ValuesFollowTheControlType) {
  int p = LoadPanel(0, "example.uir", 1);
  ASSERT_GT(p, 0);
  SetCtrlAttribute(p, 2, ATTR_DATA_TYPE, VAL_INTEGER);
  SetCtrlVal(p, 2, 41.6);
  int i = 0;
  GetCtrlVal(p, 2, &i);
  EXPECT_EQ(i, 42);
  SetCtrlVal(p, 5, 7);  // LED is on or off
  GetCtrlVal(p, 5, &i);
  EXPECT_EQ(i, 1);
  SetCtrlVal(p, 3, 12);  // a number into a string control shows as text
  std::string s;
  GetCtrlVal(p, 3, &s);
  EXPECT_EQ(s, "12");
  SetCtrlVal(p, 8, 2);  // a ring selects by value
  GetCtrlIndex(p, 8, &i);
  EXPECT_EQ(i, 1);
  EXPECT_LT(SetCtrlVal(p, 8, 5), 0);
  char buf[4];
  SetCtrlVal(p, 4, "a long message");
  GetCtrlVal(p, 4, buf, sizeof buf);
  EXPECT_STREQ(buf, "a l");
  SetPanelAttribute(p, ATTR_TITLE, "KORVEX 01-04-2006");
  GetPanelAttribute(p, ATTR_TITLE, &s);
  EXPECT_EQ(s, "KORVEX 01-04-2006");
}

TEST_F(ModelTest, GraphsAndStripCharts) {
  int p = LoadPanel(0, "example.uir", 1);
  ASSERT_GT(p, 0);
  double x[] = {1, 2, 3}, y[] = {4, 5, 6};
  int a = PlotXY(p, 12, x, y, 3);
  int b = PlotY(p, 12, y, 3, VAL_SCATTER, VAL_BLUE);
  EXPECT_GT(a, 0);
  EXPECT_GT(b, a);
  EXPECT_EQ(SetTraceAttribute(p, 12, b, ATTR_TRACE_COLOR, VAL_GREEN), 0);
  int c = 0;
  GetTraceAttribute(p, 12, b, ATTR_TRACE_COLOR, &c);
  EXPECT_EQ(c, VAL_GREEN);
  EXPECT_EQ(DeleteGraphPlot(p, 12, a), 0);
  EXPECT_LT(DeleteGraphPlot(p, 12, a), 0);
  EXPECT_EQ(SetAxisScalingMode(p, 12, VAL_LEFT_YAXIS, VAL_MANUAL, -256, 256), 0);
  EXPECT_LT(SetAxisScalingMode(p, 12, VAL_LEFT_YAXIS, VAL_MANUAL, 5, 5), 0);
  int mode = -1;
  double mn = 0, mx = 0;
  GetAxisScalingMode(p, 12, VAL_LEFT_YAXIS, &mode, &mn, &mx);
  EXPECT_EQ(mode, VAL_MANUAL);
  EXPECT_EQ(mn, -256);
  EXPECT_EQ(mx, 256);
  InsertAxisItem(p, 12, VAL_XAXIS, -1, "Jan", 1);
  SetGraphCursor(p, 12, 1, 2.5, 7.0);
  double cx = 0, cy = 0;
  GetGraphCursor(p, 12, 1, &cx, &cy);
  EXPECT_EQ(cx, 2.5);
  EXPECT_EQ(cy, 7.0);

  // Three traces, ten points per screen: only the last ten of each are kept.
  SetCtrlAttribute(p, 13, ATTR_POINTS_PER_SCREEN, 10);
  std::vector<double> pts;
  for (int k = 0; k < 25; ++k)
    for (int t = 0; t < 3; ++t) pts.push_back(k * 10 + t);
  EXPECT_EQ(PlotStripChart(p, 13, pts.data(), static_cast<int>(pts.size())), 0);
  auto* ctl = rte::model::Model::get().control(p, 13);
  ASSERT_EQ(ctl->traces.size(), 3u);
  EXPECT_EQ(ctl->traces[1].points.size(), 10u);
  EXPECT_EQ(ctl->traces[1].points.front(), 151);
  EXPECT_EQ(ctl->traces[2].points.back(), 242);
  EXPECT_LT(PlotStripChart(p, 13, pts.data(), 4), 0);  // not a whole number of sets
  SetTraceAttribute(p, 13, 2, ATTR_TRACE_VISIBLE, 0);
  int vis = 1;
  GetTraceAttribute(p, 13, 2, ATTR_TRACE_VISIBLE, &vis);
  EXPECT_EQ(vis, 0);
  ClearStripChart(p, 13);
  EXPECT_TRUE(ctl->traces[0].points.empty());
}

TEST(TextTest, FindPatternAndCompare) {
  EXPECT_EQ(FindPattern("set moc 127.0.0.1", 0, -1, "MOC", 0, 0), 4);
  EXPECT_EQ(FindPattern("set moc", 0, -1, "MOC", 1, 0), -1);
  EXPECT_EQ(FindPattern("abcabc", 0, -1, "abc", 0, 1), 3);
  EXPECT_EQ(FindPattern("abcabc", 1, 5, "abc", 0, 0), 3);
  EXPECT_EQ(FindPattern("abcabc", 1, 3, "abc", 0, 0), -1);
  EXPECT_EQ(FindPattern("abc", 10, -1, "a", 0, 0), -1);
  EXPECT_EQ(FindPattern(nullptr, 0, -1, "a", 0, 0), -1);
  EXPECT_EQ(CompareStrings("Hello", 0, "hELLO", 0, 0), 0);
  EXPECT_NE(CompareStrings("Hello", 0, "hELLO", 0, 1), 0);
  EXPECT_EQ(CompareStrings("xxabc", 2, "abc", 0, 1), 0);
  EXPECT_LT(CompareStrings("abc", 0, "abd", 0, 1), 0);
  std::string s = "Rec On";
  StringUpperCase(s);
  EXPECT_EQ(s, "REC ON");
}

TEST(ClockTest, SettableClockDrivesDateAndTimeStrings) {
  setenv("TZ", "UTC", 1);
  tzset();
  rte::SetClock(1700000000);  // 2023-11-14 22:13:20 UTC
  EXPECT_EQ(DateStr(), "11-14-2023");
  EXPECT_EQ(TimeStr(), "22:13:20");
  rte::AdvanceClock(3600 * 2);
  EXPECT_EQ(DateStr(), "11-15-2023");
  EXPECT_EQ(TimeStr(), "00:13:20");
  rte::SetClock(-1);
  EXPECT_GT(rte::Now(), 1700000000);
}

TEST_F(ModelTest, PathsResolveWithoutRegardToCase) {
  fs::create_directories(dir_ / "scm");
  std::ofstream(dir_ / "scm" / "X.SCM") << "data";
  std::string want = (dir_ / "scm" / "X.SCM").string();
  EXPECT_EQ(rte::ResolvePath((dir_ / "SCM" / "x.scm").string()), want);
  std::string back = dir_.string() + "\\SCM\\X.SCM";
  EXPECT_EQ(rte::ResolvePath(back), want);
  long long size = 0;
  EXPECT_EQ(GetFileInfo((dir_ / "Scm/x.Scm").c_str(), &size), 1);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(GetFileInfo((dir_ / "nothing").c_str(), &size), 0);

  // A new file in a directory written in another case lands in the existing directory.
  int h = OpenFile((dir_ / "SCM" / "new.scm").c_str(), "wb");
  ASSERT_GT(h, 0);
  EXPECT_EQ(WriteFile(h, "abc\r\nxyz", 8), 8);
  EXPECT_EQ(CloseFile(h), 0);
  EXPECT_TRUE(fs::exists(dir_ / "scm" / "new.scm"));
  h = OpenFile((dir_ / "scm" / "NEW.SCM").c_str(), "rb");
  ASSERT_GT(h, 0);
  std::string line;
  EXPECT_EQ(ReadLine(h, &line), 3);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(ReadLine(h, &line), 3);
  EXPECT_EQ(line, "xyz");
  EXPECT_EQ(ReadLine(h, &line), -1);
  EXPECT_EQ(SetFilePtr(h, 1, 0), 0);
  char c = 0;
  EXPECT_EQ(ReadFile(h, &c, 1), 1);
  EXPECT_EQ(c, 'b');
  CloseFile(h);
  EXPECT_LT(CloseFile(h), 0);
  EXPECT_LT(WriteFile(h, "x", 1), 0);
  EXPECT_LT(OpenFile((dir_ / "no" / "dir" / "f").c_str(), "rb"), 0);
  EXPECT_EQ(RenameFile((dir_ / "SCM" / "new.scm").c_str(), (dir_ / "SCM" / "Anew.scm").c_str()), 0);
  EXPECT_TRUE(fs::exists(dir_ / "scm" / "Anew.scm"));
}

TEST(PopupTest, ScriptedAnswersAreTakenInOrderAndRecorded) {
  rte::ScriptedPopups s;
  s.quiet = true;
  rte::SetPopupBackend(&s);
  s.queue("yes");
  s.queue("127.0.0.1");
  s.queue("<cancel>");
  s.queue("0123456789");
  EXPECT_EQ(MessagePopup("ERROR!", "Can't find korvex.cfg!"), 0);
  EXPECT_EQ(ConfirmPopup("No ARR Received!", "Wait for ARR again?"), 1);
  std::string reply;
  EXPECT_EQ(PromptPopup("Server Name?", "Type...", &reply, 255), 0);
  EXPECT_EQ(reply, "127.0.0.1");
  EXPECT_EQ(PromptPopup("Telemetry Port Number?", "Type...", &reply, 31), RTE_ERR_USER_CANCEL);
  EXPECT_EQ(reply, "");
  char buf[8];
  EXPECT_EQ(PromptPopup("Short", "max 5", buf, 5), 0);
  EXPECT_STREQ(buf, "01234");
  // Nothing left: a question gets no, a file dialog cancel.
  EXPECT_EQ(ConfirmPopup("Again?", "x"), 0);
  std::string path;
  EXPECT_EQ(FileSelectPopup("cfg", "*.cfg", "File Name", VAL_LOAD_BUTTON, &path), VAL_NO_FILE_SELECTED);
  const auto& t = s.transcript();
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].kind, "message");
  EXPECT_EQ(t[0].title, "ERROR!");
  EXPECT_EQ(t[0].text, "Can't find korvex.cfg!");
  EXPECT_EQ(t[1].answer, "yes");
  EXPECT_FALSE(t[5].answered);
  EXPECT_FALSE(t[6].answered);
  EXPECT_FALSE(rte::PopupOpen());
  rte::SetPopupBackend(nullptr);
}

}  // namespace

namespace {
TEST_F(ModelTest, AResourceFileChangedOnDiskIsReadAgain) {
  auto f = writeUir("edit.uir", R"({"panels":[{"resource":1,"title":"Before"}]})");
  int p = LoadPanel(0, f.c_str(), 1);
  ASSERT_GT(p, 0);
  std::string t;
  GetPanelAttribute(p, ATTR_TITLE, &t);
  EXPECT_EQ(t, "Before");
  writeUir("edit.uir", R"({"panels":[{"resource":1,"title":"After, longer"}]})");
  int q = LoadPanel(0, f.c_str(), 1);
  ASSERT_GT(q, 0);
  GetPanelAttribute(q, ATTR_TITLE, &t);
  EXPECT_EQ(t, "After, longer");
}
}  // namespace
