// The panels of drev driven as a user would: through the controls' callbacks, with the widget
// view attached on the offscreen platform, a real loopback server for the link, and pictures of
// the science panels fed with simulator data.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "rte/app.h"
#include "rte/rte.h"
#include "src/gui.h"
#include "src/uir_ids.h"
#include "test_util.h"

namespace fs = std::filesystem;
using namespace drev;
using drev::gui::P;
using drev::test::Rec;

namespace {

std::vector<unsigned> g_serverClients;
int ServerCb(unsigned handle, int event, int, void*) {
  if (event == TCP_CONNECT) g_serverClients.push_back(handle);
  return 0;
}

class DrevGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "drev_gui_tests";
    static char* argv[] = {name, nullptr};
    rte::AppOptions o;
    o.headless = false;  // the widget view on the offscreen platform
    rte::StartApp(argc, argv, o);
  }
  void SetUp() override {
    popups_.quiet = true;
    rte::SetPopupBackend(&popups_);
    dir_ = drev::test::TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fs::path(dir_) / "cfg");
    fs::create_directories(fs::path(dir_) / "pbf");
    fs::copy_file(std::string(DREV_STATION_DIR) + "/cfg/drev.cfg", fs::path(dir_) / "cfg" / "drev.cfg",
                  fs::copy_options::overwrite_existing);
    old_ = fs::current_path();
    fs::current_path(dir_);
    ASSERT_EQ(gui::Start(), 0);
    ASSERT_TRUE(gui::ReadCfg());
  }
  void TearDown() override {
    gui::Shutdown();
    fs::current_path(old_);
    rte::SetPopupBackend(nullptr);
  }
  int R(int res) { return P().panel[res]; }
  int Click(int res, int control) { return rte::SendEvent(R(res), control, EVENT_COMMIT); }
  int Set(int res, int control, double v) { return rte::UserSetValue(R(res), control, v); }
  void Tick() { rte::SendEvent(R(RES_LINK), LINK_TIMER, EVENT_TIMER_TICK); }
  double Num(int res, int control) {
    double v = -1;
    GetCtrlVal(R(res), control, &v);
    return v;
  }
  std::string Str(int res, int control) {
    std::string v;
    GetCtrlVal(R(res), control, &v);
    return v;
  }
  void Feed(const std::vector<Rec>& recs) {
    const auto b = drev::test::Concat(recs);
    gui::Incoming(b.data(), b.size());
  }
  static Rec Dist(int number, int fill) {
    Rec r(0x210);
    r.b(12, number).b(10, 4);
    for (int j = 0; j < 256; ++j) r.b(15 + j, fill);
    return r;
  }

  rte::ScriptedPopups popups_;
  std::string dir_;
  fs::path old_;
};

TEST_F(DrevGui, StartUpPanelsAndFiveDistributionPackets) {
  for (int res : gui::kLoadOrder) EXPECT_GT(R(res), 0) << res;
  std::string title;
  GetPanelAttribute(R(RES_MAIN), ATTR_TITLE, &title);
  EXPECT_EQ(title, "DREV 07-20-2005");
  int vis = 0;
  GetPanelAttribute(R(RES_LINK), ATTR_VISIBLE, &vis);
  EXPECT_EQ(vis, 1);
  GetPanelAttribute(R(RES_DEA), ATTR_VISIBLE, &vis);
  EXPECT_EQ(vis, 0);
  EXPECT_EQ(P().s->cfg.cfgswp, 1);
  EXPECT_DOUBLE_EQ(P().s->cfg.idrev[30], 0.005);

  // Panels are drawn while they are on the screen.
  Click(RES_MAIN, MAIN_SHOW_NUM3D);
  Click(RES_MAIN, MAIN_SHOW_DEA);
  std::vector<Rec> recs;
  for (int k = 0; k < 5; ++k) recs.push_back(Dist(3 * k, 20));
  recs[2].badChecksum = true;
  recs[4].spacecraft = 0xEB;
  Feed({recs[0], recs[1], recs[2], recs[3]});
  Tick();
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_N_0_0 + 16), 0);  // not refreshed before the fifth
  EXPECT_EQ(Num(RES_LINK, LINK_CHKERR), 1);
  Feed({recs[4]});
  Tick();
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_N_0_0), 10);       // half resolution: 20 / 2
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_N_0_0 + 16), 20);  // D1 A0
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_PKT), 12);
  EXPECT_DOUBLE_EQ(Num(RES_CHRTE, CHRTE_SPAN), 4 * 100 / 60.0);
  EXPECT_EQ(P().s->redte3.count(), 1);
  EXPECT_EQ(P().s->acc3[kDEA].counter, 2);
  GetPanelAttribute(R(RES_LINK), ATTR_TITLE, &title);
  EXPECT_EQ(title, "Received Data Spacecraft B");

  // The energy buttons are exclusive and choose the numbers shown.
  P().s->distData[7][2][3] = 4242;
  Set(RES_NUM3D, NUM3D_E0 + 7, 1);
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_E0), 0);
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_N_0_0 + 2 * 16 + 3), 4242);

  // Accumulating: a second distribution adds to the plot sums while the switch is on.
  Set(RES_DEA, DEA_ACC, 1);
  Feed(recs);
  Tick();
  EXPECT_EQ(P().s->acc3[kDEA].counter, 4);
  Click(RES_MAIN, MAIN_SHOW_DEA);  // showing a panel draws what it holds at once
  EXPECT_EQ(Num(RES_DEA, DEA_COUNT), 4);
  EXPECT_DOUBLE_EQ(P().s->acc3[kDEA].at(0, 1), 2 * (10 + 4 * 20 + 10));

  // The D toggle turns all six D selectors off, then on again.
  Click(RES_SEL3D, SEL3D_TOGGLED);
  for (int d = 0; d < 6; ++d) EXPECT_EQ(Num(RES_SEL3D, SEL3D_D0 + d), 0);
  EXPECT_FALSE(P().s->sel.d[3]);
  Click(RES_SEL3D, SEL3D_TOGGLED);
  EXPECT_TRUE(P().s->sel.d[3]);

  // Clear empties the chart's history; ClearNum zeroes the numbers.
  Click(RES_CHRTE, CHRTE_CLEAR);
  EXPECT_EQ(P().s->redte3.count(), 0);
  Click(RES_NUM3D, NUM3D_CLEARNUM);
  EXPECT_EQ(Num(RES_NUM3D, NUM3D_N_0_0 + 16), 0);
}

TEST_F(DrevGui, LimitButtonsAndLogSwitches) {
  // Raise the minimum of the E-by-A plot three times from 0 with a maximum of 10.
  P().lim[4].max = 10;
  for (int i = 0; i < 4; ++i) Click(RES_DEA, DEA_MINUP);
  EXPECT_EQ(P().lim[4].min, 8);
  int mode = -1;
  double lo = 0, hi = 0;
  GetAxisScalingMode(R(RES_DEA), DEA_GRAPH, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_EQ(mode, VAL_MANUAL);
  EXPECT_EQ(lo, 8);
  EXPECT_EQ(hi, 10);
  // Log mode: the log pair applies and the buttons work on it.
  Set(RES_DEA, DEA_LOG, 1);
  EXPECT_TRUE(P().lim[4].log);
  Click(RES_DEA, DEA_MAXUP);
  EXPECT_EQ(P().lim[4].maxl, 1e8);
  EXPECT_EQ(P().lim[4].max, 10);
  // Strip charts: log and linear buttons switch each other off.
  Set(RES_CHRTA, CHRTE_LOG, 1);
  EXPECT_EQ(Num(RES_CHRTA, CHRTE_LIN), 0);
  EXPECT_TRUE(P().lim[1].log);
  Set(RES_CHRTA, CHRTE_LIN, 1);
  EXPECT_EQ(Num(RES_CHRTA, CHRTE_LOG), 0);
  EXPECT_FALSE(P().lim[1].log);
  // The second analyzer APID.
  Set(RES_LINK, LINK_RADIO11, 1);
  EXPECT_EQ(P().s->whichApid, 0x11);
  EXPECT_EQ(Num(RES_LINK, LINK_RADIO10), 0);
}

TEST_F(DrevGui, LinkWithPromptsHexViewAndRecording) {
  ASSERT_EQ(RegisterTCPServer(0, ServerCb, nullptr, "127.0.0.1"), 0);
  const int port = GetTCPServerPort(0);
  P().s->cfg.ipStr = "127.0.0.1";
  P().s->cfg.ipPort = std::to_string(port);
  g_serverClients.clear();

  // Record what arrives: "test" becomes pbf/test.pbf.
  popups_.queue("test");
  Set(RES_LINK, LINK_RECORD, 1);
  EXPECT_TRUE(P().recOK);
  EXPECT_TRUE(fs::exists("pbf/test.pbf"));
  ASSERT_EQ(popups_.transcript().size(), 1u);
  EXPECT_EQ(popups_.transcript()[0].title, "Data Recording File Name");
  popups_.clearTranscript();

  Set(RES_LINK, LINK_DISPAPID, 0x210);
  Set(RES_LINK, LINK_TCP, 1);  // the first connection asks nothing
  EXPECT_EQ(Num(RES_LINK, LINK_CONNECTED), 1);
  for (int i = 0; i < 50 && g_serverClients.empty(); ++i) ProcessSystemEvents();
  ASSERT_EQ(g_serverClients.size(), 1u);
  EXPECT_TRUE(popups_.transcript().empty());

  Rec r = Dist(0, 0x30);
  r.sv[0] = 0x90;  // APID bit 7 set: the hex view's mask still takes it for 0x210
  auto bytes = r.bytes();
  ASSERT_EQ(ServerTCPWrite(g_serverClients[0], bytes.data(), bytes.size(), 1000), 298);
  for (int i = 0; i < 200 && P().s->addFlag < 298; ++i) {
    ProcessSystemEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(P().s->addFlag, 298);
  EXPECT_EQ(Num(RES_LINK, LINK_NUMPKTS), 1);
  std::string hex;
  GetCtrlVal(R(RES_LINK), LINK_HEX, &hex);
  EXPECT_EQ(hex.substr(0, 6), "90 0A ");  // bytes shown after the configured exchange

  // A second connection asks for the server and the port; empty answers keep them.
  Set(RES_LINK, LINK_TCP, 0);
  EXPECT_EQ(Num(RES_LINK, LINK_CONNECTED), 0);
  popups_.clearTranscript();
  popups_.queue("");
  popups_.queue("");
  Set(RES_LINK, LINK_TCP, 1);
  ASSERT_GE(popups_.transcript().size(), 2u);
  EXPECT_EQ(popups_.transcript()[0].title, "Server Name?");
  EXPECT_EQ(popups_.transcript()[0].text, "Type name of server.\n(OK for 127.0.0.1)");
  EXPECT_EQ(popups_.transcript()[1].title, "Port Number?");
  EXPECT_EQ(Num(RES_LINK, LINK_CONNECTED), 1);
  Set(RES_LINK, LINK_TCP, 0);

  Set(RES_LINK, LINK_RECORD, 0);
  EXPECT_EQ(fs::file_size("pbf/test.pbf"), 298u);
  UnregisterTCPServer(static_cast<unsigned>(port));

  // No name: the note, and the switch goes back off.
  popups_.clearTranscript();
  popups_.queue("");
  Set(RES_LINK, LINK_RECORD, 1);
  EXPECT_FALSE(P().recOK);
  EXPECT_EQ(Num(RES_LINK, LINK_RECORD), 0);
  ASSERT_FALSE(popups_.transcript().empty());
  EXPECT_EQ(popups_.transcript().back().title, "Note!");
  EXPECT_EQ(popups_.transcript().back().text, "No File Name Entered!");
  // No pbf directory: the recording cannot start, and says why instead of writing nowhere.
  fs::remove_all("pbf");
  popups_.queue("lost");
  Set(RES_LINK, LINK_RECORD, 1);
  EXPECT_FALSE(P().recOK);
  EXPECT_EQ(Num(RES_LINK, LINK_RECORD), 0);
  EXPECT_EQ(popups_.transcript().back().text, "Can't create pbf/lost.pbf: No such file or directory");
  // A connection that fails says so and leaves the switch off.
  P().s->cfg.ipPort = "1";
  Set(RES_LINK, LINK_TCP, 1);
  EXPECT_EQ(Num(RES_LINK, LINK_TCP), 0);
  EXPECT_EQ(popups_.transcript().back().text, "Connection to server failed !");
}

TEST_F(DrevGui, SingleStepReleasesPacketsPerStep) {
  std::vector<Rec> recs;
  for (int i = 0; i < 8; ++i) recs.push_back(Rec(0x213));
  drev::test::WriteBytes("pbf/steps.pbf", drev::test::Concat(recs));
  Set(RES_LINK, LINK_STEP, 1);
  Set(RES_LINK, LINK_SPACKET, 3);
  popups_.queue("pbf/steps.pbf");
  Set(RES_LINK, LINK_PLAYBACK, 1);
  ASSERT_TRUE(P().pbOn);
  rte::SendEvent(R(RES_LINK), LINK_PLAYTIMER, EVENT_TIMER_TICK);
  EXPECT_EQ(P().s->addFlag, 0);  // nothing before the first press
  Click(RES_LINK, LINK_NEXTSTEP);
  rte::SendEvent(R(RES_LINK), LINK_PLAYTIMER, EVENT_TIMER_TICK);
  EXPECT_EQ(P().s->addFlag, 3 * 298);
  rte::SendEvent(R(RES_LINK), LINK_PLAYTIMER, EVENT_TIMER_TICK);
  EXPECT_EQ(P().s->addFlag, 3 * 298);
  Click(RES_LINK, LINK_NEXTSTEP);
  rte::SendEvent(R(RES_LINK), LINK_PLAYTIMER, EVENT_TIMER_TICK);
  EXPECT_EQ(P().s->addFlag, 6 * 298);
  Tick();
  EXPECT_EQ(P().s->recordsProcessed, 6);
  // The third step meets the end of the file: the two left never make a step, the replay ends.
  Click(RES_LINK, LINK_NEXTSTEP);
  rte::SendEvent(R(RES_LINK), LINK_PLAYTIMER, EVENT_TIMER_TICK);
  EXPECT_FALSE(P().pbOn);
  EXPECT_EQ(Num(RES_LINK, LINK_PLAYBACK), 0);
  // A file that is not there.
  popups_.queue("pbf/none.pbf");
  Set(RES_LINK, LINK_PLAYBACK, 1);
  EXPECT_EQ(popups_.transcript().back().title, "File Not Found!");
  EXPECT_EQ(popups_.transcript().back().text, "Can't find pbf/none.pbf");
  EXPECT_EQ(Num(RES_LINK, LINK_PLAYBACK), 0);
}

TEST_F(DrevGui, SaveAndRecallDisplay) {
  SetPanelPos(R(RES_HK), 123, 456);
  DisplayPanel(R(RES_HK));
  popups_.queue("cfg/layout.srd");
  rte::UserMenu(R(RES_MAIN), 1);
  ASSERT_EQ(fs::file_size("cfg/layout.srd"), 300u);
  SetPanelPos(R(RES_HK), 10, 10);
  HidePanel(R(RES_HK));
  rte::UserMenu(R(RES_MAIN), 2);  // cancelled: nothing moves
  int top = 0, vis = 1;
  GetPanelAttribute(R(RES_HK), ATTR_TOP, &top);
  EXPECT_EQ(top, 10);
  popups_.queue("cfg/layout.srd");
  rte::UserMenu(R(RES_MAIN), 2);
  GetPanelAttribute(R(RES_HK), ATTR_TOP, &top);
  GetPanelAttribute(R(RES_HK), ATTR_VISIBLE, &vis);
  EXPECT_EQ(top, 123);
  EXPECT_EQ(vis, 1);
}

// The science panels with the simulator's data, saved as pictures to look at.
TEST_F(DrevGui, PicturesWithSimulatorData) {
  const std::string tlm = dir_ + "/sim.tlm";
  for (int c = MAIN_SHOW_LINK; c <= MAIN_SHOW_HK; ++c) Click(RES_MAIN, c);
  const std::string cmd = std::string(DREV_MOCSIM) + " --station " + DREV_STATION_DIR +
                          " --tlm-port off --cmd-port off --count 1200 --apids 200,210,212,213,214"
                          " --start-time 1700000000 --step 0.5 --write " + tlm + " --exit-when-done >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(tlm, std::ios::binary);
  std::vector<char> buf(298 * 50);
  while (f.read(buf.data(), static_cast<std::streamsize>(buf.size())) || f.gcount() > 0) {
    gui::Incoming(reinterpret_cast<const std::uint8_t*>(buf.data()), static_cast<std::size_t>(f.gcount()));
    Tick();
  }
  EXPECT_EQ(P().s->recordsProcessed, 1200);
  EXPECT_GT(Num(RES_MOM, MOM_M1), 0);
  EXPECT_EQ(Str(RES_MOM, MOM_ST1), "ENABLED");
  EXPECT_EQ(Str(RES_MOM, MOM_ST0), "NORM");
  const std::string out = std::string(DREV_SHOTS_DIR);
  fs::create_directories(out);
  for (int res : {RES_NUM3D, RES_DEA, RES_CHRTE, RES_PITCHNUM, RES_P2DA, RES_CHRT2E, RES_MAG, RES_MOM, RES_MOMCHART,
                  RES_HK, RES_LINK}) {
    const std::string png = out + "/drev_panel_" + std::to_string(res) + ".png";
    ASSERT_EQ(rte::SavePanelImage(R(res), png), 0) << png;
    EXPECT_GT(fs::file_size(png), 2000u) << png;
  }
}

}  // namespace
