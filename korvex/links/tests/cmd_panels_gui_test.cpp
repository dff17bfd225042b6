// The command link's panels in the widget view (offscreen): the SCM panel, the ARR panel and the
// command verification list after one command and its ARR, rendered to PNG files.
#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/ids.h"
#include "core/tests/window_fixture.h"
#include "links/tests/cmd_peer.h"
#include "links/tests/sep_client.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

using CmdPanelsGui = WindowStationTest;

}  // namespace

TEST_F(CmdPanelsGui, ScmArrAndVerificationPanelsRender) {
  CmdPeer moc;
  auto lines = CfgLines();
  lines[2] = "CmdPort = " + std::to_string(moc.port());
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  RunCommandLine("/SEPReset 7");
  QElapsedTimer t;
  t.start();
  while (moc.received().size() < 142u && t.elapsed() < 20000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(moc.received().size(), 142u);
  std::string scm = moc.received();
  std::string arr = "ARR-000055" + scm.substr(10, 4) + "2026069123000" + "000" + scm.substr(100, 32) +
                    scm.substr(133, 6) + std::string(1, '\0');
  moc.send(arr);
  // The success state lasts only until the next second's tick, so wait for the ARR's line instead.
  int arrLines = 0;
  while (arrLines == 0 && t.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    GetNumTextBoxLines(p.ui.arr, ids::kArrBox, &arrLines);
  }
  ASSERT_EQ(arrLines, 1);
  EXPECT_NE(p.cmdlink.flagArr, 3);

  const fs::path shots = fs::temp_directory_path() / "korvex_cmd_panels";
  fs::create_directories(shots);
  for (auto [panel, name] : {std::pair{p.ui.scm, "scm"}, std::pair{p.ui.arr, "arr"},
                             std::pair{p.ui.cmdVerify, "verification"}}) {
    DisplayPanel(panel);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    const std::string png = (shots / (std::string(name) + ".png")).string();
    ASSERT_EQ(rte::SavePanelImage(panel, png), 0) << name;
    EXPECT_GT(ImageColours(png), 4) << name;
  }
}

// The local server panel and its client panel with clients of both servers connected.
TEST_F(CmdPanelsGui, LocalServerPanelsShowTheirClients) {
  auto lines = CfgLines();
  lines[6] = "FwdPort = 0";
  lines[9] = "ScmPort = " + std::to_string(FreeLoopbackPort());
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  ASSERT_EQ(StartTelemetryServer(), 0);
  ASSERT_EQ(StartCommandServer(), 0);
  // The telemetry server listens on an ephemeral port.
  const unsigned tport = static_cast<unsigned>(GetTCPServerPort(p.local.tport));
  const unsigned sport = static_cast<unsigned>(GetTCPServerPort(p.local.sport));
  std::vector<std::unique_ptr<SepClient>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(std::make_unique<SepClient>(tport));
  for (int i = 0; i < 2; ++i) clients.push_back(std::make_unique<SepClient>(sport));
  QElapsedTimer t;
  t.start();
  auto connected = [&] {
    int n = 0;
    for (int h : p.local.fHandle) n += h >= 0;
    for (int h : p.local.rHandle) n += h >= 0;
    return n;
  };
  while (connected() < 5 && t.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(connected(), 5);
  int lamp = 0;
  GetCtrlVal(p.ui.localServer, ids::kLsTlmLamp, &lamp);
  EXPECT_EQ(lamp, 1);
  GetCtrlVal(p.ui.localServer, ids::kLsScmLamp, &lamp);
  EXPECT_EQ(lamp, 1);
  GetCtrlVal(p.ui.localClients, ids::kLcCmdLampFirst + 1, &lamp);
  EXPECT_EQ(lamp, 1);

  const fs::path shots = fs::temp_directory_path() / "korvex_cmd_panels";
  fs::create_directories(shots);
  for (auto [panel, name] : {std::pair{p.ui.localServer, "local_server"},
                             std::pair{p.ui.localClients, "local_clients"}}) {
    DisplayPanel(panel);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    const std::string png = (shots / (std::string(name) + ".png")).string();
    ASSERT_EQ(rte::SavePanelImage(panel, png), 0) << name;
    EXPECT_GT(ImageColours(png), 4) << name;
  }
  StopCommandServer();
  StopTelemetryServer();
}
