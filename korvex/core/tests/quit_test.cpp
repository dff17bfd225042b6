// Closing the main window ends the event loop. Kept in its own program: once the loop has been
// told to end, Qt ends every later nested loop at once, which other tests rely on.
#include "core/tests/station_fixture.h"

using namespace korvex;
using namespace korvex::testing;

TEST_F(StationTest, ClosingTheMainWindowShowsTheNoticeAndQuits) {
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  int visible = 0;
  GetPanelAttribute(p.ui.shutdown, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
  rte::SendEvent(p.ui.link, 0, EVENT_CLOSE);  // a child panel only hides
  GetPanelAttribute(p.ui.link, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
  rte::SendEvent(p.ui.main, 0, EVENT_CLOSE);
  GetPanelAttribute(p.ui.shutdown, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);
  EXPECT_EQ(RunUserInterface(), 0);  // the loop was told to end: returns at once
}
