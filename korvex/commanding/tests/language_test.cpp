// The text command language and scripts in a started station, driven as an operator does: lines
// typed into the command line, the one-second timer ticking.
#include <gtest/gtest.h>

#include "core/ids.h"
#include "core/tests/station_fixture.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

class LanguageTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    ASSERT_EQ(Start(), kStarted);
  }
  std::vector<std::string> Queue() {
    std::vector<std::string> v;
    int n = 0;
    GetNumListItems(P().ui.cmdList, ids::kCmdListScripts, &n);
    for (int i = 0; i < n; ++i) {
      std::string l;
      GetLabelFromIndex(P().ui.cmdList, ids::kCmdListScripts, i, &l);
      v.push_back(l);
    }
    return v;
  }
  std::vector<std::pair<std::string, double>> Variables() {
    std::vector<std::pair<std::string, double>> v;
    int n = 0;
    GetNumListItems(P().ui.variables, ids::kVarList, &n);
    for (int i = 0; i < n; ++i) {
      std::string l;
      double d = 0;
      GetLabelFromIndex(P().ui.variables, ids::kVarList, i, &l);
      GetValueFromIndex(P().ui.variables, ids::kVarList, i, &d);
      v.push_back({l, d});
    }
    return v;
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      DoTick();
      rte::DrainDeferred();
    }
  }
  void Script(const std::string& name, const std::string& text) {
    WriteFile(dir / "cmd" / name, text);
  }
};

TEST_F(LanguageTest, LetReplacesByContainedNameAndFreeNeedsTheWholeWord) {
  RunCommandLine("let Volt = 0x10");
  ASSERT_EQ(Variables().size(), 1u);
  EXPECT_EQ(Variables()[0].first, "volt = 16.000");
  EXPECT_EQ(Variables()[0].second, 16);
  RunCommandLine("let v = 1");  // "v" is found inside "volt": that item is replaced
  ASSERT_EQ(Variables().size(), 1u);
  EXPECT_EQ(Variables()[0].first, "v = 1.000");
  RunCommandLine("let b = $1");
  EXPECT_EQ(CountOut("LET B = $1 IS NOT RECOGNIZED!"), 1);
  RunCommandLine("let t = NOSUCHPOINT");
  EXPECT_EQ(CountOut("LET T = NOSUCHPOINT IS NOT RECOGNIZED!"), 1);
  RunCommandLine("free x");
  EXPECT_EQ(CountOut("FREE X IS NOT RECOGNIZED!"), 1);
  RunCommandLine("free V");
  EXPECT_TRUE(Variables().empty());
}

TEST_F(LanguageTest, TimedWaitsAreKeptWholeOrRefused) {
  RunCommandLine("wait 300");
  EXPECT_EQ(P().core.delay, 300u);  // not cut to its low eight bits
  RunCommandLine("go");
  EXPECT_EQ(P().core.delay, 0u);
  RunCommandLine("wait 0");
  EXPECT_EQ(CountOut("WAIT 0 IS NOT RECOGNIZED!"), 1);
  RunCommandLine("wait 100000");
  EXPECT_EQ(CountOut("WAIT LONGER THAN 86400 SECONDS REFUSED"), 1);
  EXPECT_EQ(CountOut("WAIT 100000 IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(P().core.delay, 0u);
}

TEST_F(LanguageTest, AScriptStepsOneLinePerTickAndHoldsOnWaits) {
  Script("steps.cmd",
         "; steps version 3.1\n"
         "rem first\n"
         "\t\n"
         "let n = 2 ; a comment\n"
         "wait 3\n"
         "rem after the wait\n");
  RunCommandLine("start steps");
  EXPECT_EQ(Queue(), (std::vector<std::string>{"; steps version 3.1", "rem first",
                                               "let n = 2 ; a comment", "wait 3",
                                               "rem after the wait"}));
  EXPECT_EQ(P().script.levels[1].name, "steps.cmd");
  EXPECT_EQ(P().script.levels[1].vers, "03.1");
  Ticks(1);  // comment, remark, let and the wait run; the wait stops the step
  EXPECT_EQ(CountOut("REM FIRST"), 1);
  EXPECT_EQ(CountOut("LET N = 2"), 1);
  EXPECT_EQ(CountOut("REM AFTER THE WAIT"), 0);
  ASSERT_EQ(Variables().size(), 1u);
  EXPECT_EQ(Variables()[0].first, "n = 2.000");
  Ticks(2);  // three ticks after the wait began, the next line runs
  EXPECT_EQ(CountOut("REM AFTER THE WAIT"), 0);
  Ticks(1);
  EXPECT_EQ(CountOut("REM AFTER THE WAIT"), 1);
  Ticks(1);
  EXPECT_TRUE(Queue().empty());
  EXPECT_EQ(P().script.scrflg, 0);
  EXPECT_EQ(P().script.scf, 0);
}

TEST_F(LanguageTest, ANestedScriptRunsWholeBeforeItsParentGoesOn) {
  Script("outer.cmd", "rem outer one\nstart inner\nrem outer two\n");
  Script("inner.cmd", "rem inner version 7\nrem inner two\n");
  RunCommandLine("start outer");
  Ticks(3);
  std::vector<std::string> order;
  for (const std::string& l : out)
    for (const char* k : {"REM OUTER ONE", "REM INNER VERSION 7", "REM INNER TWO", "REM OUTER TWO"})
      if (l.find(k) != std::string::npos) order.push_back(k);
  EXPECT_EQ(order, (std::vector<std::string>{"REM OUTER ONE", "REM INNER VERSION 7",
                                             "REM INNER TWO", "REM OUTER TWO"}));
}

TEST_F(LanguageTest, AMisspelledLineHaltsTheScriptUntilGo) {
  Script("typo.cmd", "rem one\nrem-two\nbogus line\nrem three\n");
  RunCommandLine("start typo");
  Ticks(1);
  EXPECT_EQ(CountOut("BOGUS LINE IS NOT RECOGNIZED!"), 1);
  ASSERT_FALSE(Queue().empty());
  EXPECT_EQ(Queue()[0], "Wait");
  Ticks(3);
  EXPECT_EQ(CountOut("REM THREE"), 0);
  RunCommandLine("go");
  Ticks(2);
  EXPECT_EQ(CountOut("REM THREE"), 1);
}

TEST_F(LanguageTest, StartWithoutAFileIsRefusedAndCancelEmptiesTheQueue) {
  RunCommandLine("start nosuchscript");  // the dialog gets no answer: cancelled
  EXPECT_EQ(CountOut("START NOSUCHSCRIPT IS NOT RECOGNIZED!"), 1);
  EXPECT_EQ(P().script.scf, 0);
  Script("long.cmd", "wait\nrem never\n");
  RunCommandLine("start long");
  Ticks(2);
  EXPECT_EQ(P().core.wait, 1);
  RunCommandLine("cancel");
  EXPECT_TRUE(Queue().empty());
  Ticks(2);
  EXPECT_EQ(CountOut("REM NEVER"), 0);
}

TEST_F(LanguageTest, IfQueuesItsCommandsAtTheFrontOnlyWhenItHolds) {
  RunCommandLine("let limit = 5");
  // An unknown point reads 999999.999999: above any limit.
  RunCommandLine("if (NOSUCHPOINT > limit) rem first, rem second");
  EXPECT_EQ(Queue(), (std::vector<std::string>{"rem first", "rem second"}));
  RunCommandLine("cancel");
  RunCommandLine("if (NOSUCHPOINT < limit) rem never");
  EXPECT_TRUE(Queue().empty());
  RunCommandLine("if (NOSUCHPOINT) rem no comparison");
  EXPECT_EQ(CountOut("IF (NOSUCHPOINT) REM NO COMPARISON IS NOT RECOGNIZED!"), 1);
}

TEST_F(LanguageTest, WaitUntilHoldsTheScriptUntilTheConditionHolds) {
  Script("until.cmd", "wait until NOSUCHPOINT & 0x04 == 4\nrem passed\n");
  RunCommandLine("start until");
  Ticks(1);
  // 999999 has bit 2 set (0xF423F): the masked value equals the mask at once.
  Ticks(2);
  EXPECT_EQ(CountOut("REM PASSED"), 1);
  Script("never.cmd", "wait until NOSUCHPOINT < 3\nrem not yet\n");
  RunCommandLine("start never");
  Ticks(4);
  EXPECT_EQ(CountOut("REM NOT YET"), 0);
  EXPECT_EQ(P().core.until, 1);
  RunCommandLine("go");
  Ticks(2);
  EXPECT_EQ(CountOut("REM NOT YET"), 1);
}

TEST_F(LanguageTest, ScheduleRunsAnEntryAtItsSecondAndHoldsAnOverdueOne) {
  // The station clock stands at 2026-03-10 12:30:00.
  WriteFile(dir / "cmd/day.sch",
            "heading line\n"
            "26 03 10 12:30:02 rem scheduled\n"
            "26 13 40 99:99:99 rem bad date\n"
            "26 03 10 12:40:00 rem later\n");
  RunCommandLine("schedule day");
  EXPECT_EQ(CountOut("CMD/DAY.SCH:3: DATE OR TIME NOT READABLE; ENTRY SKIPPED"), 1);
  int n = 0;
  GetNumListItems(P().ui.schedule, ids::kSchedList, &n);
  EXPECT_EQ(n, 2);
  Ticks(1);
  EXPECT_EQ(CountOut("REM SCHEDULED"), 0);
  rte::SetClock(LocalAt(2026, 3, 10, 12, 30, 2));
  Ticks(1);
  EXPECT_EQ(CountOut("REM SCHEDULED"), 1);
  // An hour and more late: not run, and it holds the list.
  rte::SetClock(LocalAt(2026, 3, 10, 13, 40, 0));
  Ticks(2);
  EXPECT_EQ(CountOut("REM LATER"), 0);
  GetNumListItems(P().ui.schedule, ids::kSchedList, &n);
  EXPECT_EQ(n, 1);
}

TEST_F(LanguageTest, SettingsSwitchAndSaySo) {
  RunCommandLine("badcks on");
  EXPECT_EQ(P().cmd.scm.badCks, 1);
  EXPECT_EQ(CountOut("BAD COMMAND CHECKSUM ON!"), 1);
  RunCommandLine("badcks off");
  EXPECT_EQ(P().cmd.scm.badCks, 0);
  RunCommandLine("sendscm on");
  EXPECT_EQ(P().script.okscm, 1);
  RunCommandLine("savecmd on");
  EXPECT_TRUE(P().arc.svcmdfp.open());
  RunCommandLine("savecmd off");
  EXPECT_FALSE(P().arc.svcmdfp.open());
}

}  // namespace
