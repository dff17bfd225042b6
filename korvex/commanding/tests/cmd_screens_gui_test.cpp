// The commanding panels in the widget view (offscreen), rendered to PNG files: the event log
// while a script runs, the script list, the command-file panel, the schedule and the command
// verification panel with its reset button.
#include <QCoreApplication>

#include "core/ids.h"
#include "core/tests/window_fixture.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

using CmdScreensGui = WindowStationTest;

}  // namespace

TEST_F(CmdScreensGui, ScriptScheduleAndCommandFilePanelsRender) {
  ASSERT_EQ(StartHeld(), kStarted);
  Program& p = P();
  WriteFile(dir / "cmd/checkout.cmd",
            "; checkout version 2.1\nrem power check\nlet volt = 28\nwait 30\nrem after the wait\n"
            "/IDPUNoop 1\n");
  WriteFile(dir / "cmd/day.sch",
            "26 03 10 13:00:00 rem first pass\n26 03 10 14:30:00 start checkout\n"
            "26 03 11 01:15:00 /IDPUNoop 2\n");
  RunCommandLine("schedule day");
  RunCommandLine("start checkout");
  DoTick();
  rte::DrainDeferred();
  ASSERT_EQ(p.core.delay, 30u);  // the script waits: its queue still holds the rest
  rte::UserMenu(p.ui.main, ids::kMenuCmdFile);
  DisplayPanel(p.ui.schedule);
  CheckListItem(p.ui.schedule, ids::kSchedList, 1, 1);

  const fs::path shots = fs::temp_directory_path() / "korvex_cmd_screens";
  fs::create_directories(shots);
  for (auto [panel, name] : {std::pair{p.ui.eventLog, "eventlog"}, std::pair{p.ui.cmdList, "scripts"},
                             std::pair{p.ui.cmdFile, "cmdfile"}, std::pair{p.ui.schedule, "schedule"},
                             std::pair{p.ui.cmdVerify, "verification"}}) {
    DisplayPanel(panel);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    const std::string png = (shots / (std::string(name) + ".png")).string();
    ASSERT_EQ(rte::SavePanelImage(panel, png), 0) << name;
    EXPECT_GT(ImageColours(png), 4) << name;
  }
}
