#include <gtest/gtest.h>

#include "telemetry/limits.h"

using namespace korvex;

namespace {
ItemLine Limits(const char* rl, const char* yl, const char* yh, const char* rh) {
  return SplitItemLine(std::string("ISTEU12V\t2\t104\tU16\t16\t0.004\t0\tV\t") + rl + "\t" + yl +
                       "\t" + yh + "\t" + rh + "\tdesc");
}
}  // namespace

TEST(ChkLim, RaisesOnceAfterAlimSamplesInOneZone) {
  ItemLine it = Limits("11.0", "11.5", "12.5", "13.0");
  AlarmCfg cfg{2, true};
  unsigned char ctr = 0;
  CheckResult r = CheckLimits(ctr, 10.0, it, false, cfg, "ISTEU12V");
  EXPECT_EQ(r.paint, kNoPaint);
  EXPECT_FALSE(r.alarm);
  r = CheckLimits(ctr, 10.0, it, false, cfg, "ISTEU12V");
  EXPECT_FALSE(r.alarm);
  r = CheckLimits(ctr, 10.0, it, false, cfg, "ISTEU12V");
  EXPECT_TRUE(r.alarm);
  EXPECT_TRUE(r.red);
  EXPECT_EQ(r.paint, kRedBg);
  EXPECT_EQ(r.text, "ISTEU12V = 10.00 RL = 11.00");
  for (int i = 0; i < 5; ++i) {
    r = CheckLimits(ctr, 10.0, it, false, cfg, "ISTEU12V");
    EXPECT_FALSE(r.alarm);
    EXPECT_EQ(r.paint, kRedBg);  // repainted, the counter stays
    EXPECT_EQ(ctr, 3);
  }
  // Back in limits: white and counter 0, so the next excursion alarms again.
  r = CheckLimits(ctr, 12.0, it, false, cfg, "ISTEU12V");
  EXPECT_EQ(r.paint, kWhite);
  EXPECT_EQ(ctr, 0);
}

TEST(ChkLim, ZoneChangeRestartsTheCount) {
  ItemLine it = Limits("11.0", "11.5", "12.5", "13.0");
  AlarmCfg cfg{2, true};
  unsigned char ctr = 0;
  CheckLimits(ctr, 11.2, it, false, cfg, "X");  // yellow low
  CheckLimits(ctr, 11.2, it, false, cfg, "X");
  EXPECT_EQ(ctr, 0x42);
  CheckResult r = CheckLimits(ctr, 10.0, it, false, cfg, "X");  // red low: count again
  EXPECT_FALSE(r.alarm);
  EXPECT_EQ(ctr, 0x01);
  CheckLimits(ctr, 10.0, it, false, cfg, "X");
  r = CheckLimits(ctr, 10.0, it, false, cfg, "X");
  EXPECT_TRUE(r.alarm);
  // High zones: red high takes precedence over yellow high.
  ctr = 0;
  for (int i = 0; i < 3; ++i) r = CheckLimits(ctr, 13.5, it, false, cfg, "X");
  EXPECT_EQ(r.text, "X = 13.50 RH = 13.00");
  EXPECT_EQ(ctr, 0xC3);
  ctr = 0;
  for (int i = 0; i < 3; ++i) r = CheckLimits(ctr, 12.7, it, false, cfg, "X");
  EXPECT_EQ(r.text, "X = 12.70 YH = 12.50");
  EXPECT_FALSE(r.red);
  EXPECT_EQ(r.paint, kYellowBg);
}

TEST(ChkLim, SwitchedOffLimitsIntegerTextsAndWarmUp) {
  AlarmCfg cfg{0, true};
  unsigned char ctr = 0;
  // RL "N" and YL 5: a value of 3 is yellow low.
  ItemLine it = Limits("N", "5", "", "Nope");
  CheckResult r = CheckLimits(ctr, 3, it, true, cfg, "ICmdSeqRunning");
  EXPECT_TRUE(r.alarm);
  EXPECT_EQ(r.paint, kYellowBg);
  EXPECT_EQ(r.text, "ICmdSeqRunning = 3 YL = 5");
  r = CheckLimits(ctr, 1e6, it, true, cfg, "ICmdSeqRunning");  // no high limits at all
  EXPECT_EQ(r.paint, kWhite);
  // A limit that is not a number counts as 0.
  ItemLine junk = Limits("abc", "N", "N", "N");
  ctr = 0;
  EXPECT_TRUE(CheckLimits(ctr, 0, junk, true, cfg, "X").alarm);
  // During the warm-up nothing changes.
  AlarmCfg cold{0, false};
  ctr = 0;
  r = CheckLimits(ctr, 3, it, true, cold, "X");
  EXPECT_EQ(r.paint, kNoPaint);
  EXPECT_FALSE(r.alarm);
  EXPECT_EQ(ctr, 0);
}

TEST(DigCheck, PersistenceAndWarmUp) {
  AlarmCfg cfg{2, true};
  unsigned char ctr = 0;
  EXPECT_EQ(DigCheck(ctr, true, cfg), DigStep::Counting);
  EXPECT_EQ(DigCheck(ctr, true, cfg), DigStep::Counting);
  EXPECT_EQ(DigCheck(ctr, true, cfg), DigStep::Raise);
  EXPECT_EQ(DigCheck(ctr, true, cfg), DigStep::Repaint);
  EXPECT_EQ(DigCheck(ctr, true, cfg), DigStep::Repaint);
  EXPECT_EQ(DigCheck(ctr, false, cfg), DigStep::Normal);
  EXPECT_EQ(ctr, 0);
  AlarmCfg cold{2, false};
  EXPECT_EQ(DigCheck(ctr, true, cold), DigStep::None);
  EXPECT_EQ(ctr, 0);
}

TEST(SpcCheck, ZonesAndText) {
  SpcPar p = GetSpcPar("SC_PDU_MAIN_00B\td\t12\t0\t16\t0.0\t0.001\t26.0\t31.0\t24.0\t33.0");
  AlarmCfg cfg{1, true};
  unsigned char ctr = 0;
  CheckResult r = SpcCheck(ctr, 23.0, p, cfg, "SC_PDU_MAIN_00B", "23 V");
  EXPECT_FALSE(r.alarm);
  r = SpcCheck(ctr, 23.0, p, cfg, "SC_PDU_MAIN_00B", "23 V");
  EXPECT_TRUE(r.alarm);
  EXPECT_TRUE(r.red);
  EXPECT_EQ(r.text, "SC_PDU_MAIN_00B = 23 V; rl =24.0");
  ctr = 0;
  SpcCheck(ctr, 32.0, p, cfg, "K", "32");
  r = SpcCheck(ctr, 32.0, p, cfg, "K", "32");
  EXPECT_EQ(r.text, "K = 32; yh = 31.0");
  EXPECT_EQ(r.paint, kYellowBg);
  r = SpcCheck(ctr, 28.0, p, cfg, "K", "28");
  EXPECT_EQ(r.paint, kWhite);
  // A line without limits is not checked.
  SpcPar none = GetSpcPar("K\td\t12\t0\t16\t0.0\t0.001\tV\tVALUE\tnote");
  ctr = 0;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(SpcCheck(ctr, -1e9, none, cfg, "K", "x").paint, kNoPaint);
}

TEST(CmdVer, WrapResetMatchAndWarnings) {
  // The label's first two bytes are the packet identification: APID 0x312 -> 0x92, the ID the
  // processor reports (and the command decode table turns back into 0x312); APID 0x200 -> 0.
  EXPECT_EQ(CvCommandId("13 12 C0 05", false), 0x92);
  EXPECT_EQ(CvCommandId("1312C005", false), 0x92);
  EXPECT_EQ(CvCommandId("12 13 05 C0", true), 0x92);  // the header left in exchanged pairs
  EXPECT_EQ(CvCommandId("1200C00000012D00", false), 0x00);
  EXPECT_EQ(CvCommandId("127F", false), 0x7F);
  EXPECT_EQ(CvCommandId("1", false), -1);

  std::vector<CvEntry> none;
  int prev = 65530;
  CmdVerResult r = CmdVer(prev, 3, 0, 0, none, false, "x");
  EXPECT_EQ(r.d, 9);
  EXPECT_FALSE(r.reset);
  EXPECT_EQ(prev, 3);
  EXPECT_EQ(r.warning, "WARNING:  9 Unexpected Commands: CommandLastID:x CommandLastSequence:0 "
                       "CommandCount:3 ");

  prev = 10;
  r = CmdVer(prev, 2, 0, 0, none, false, "x");
  EXPECT_TRUE(r.reset);
  EXPECT_EQ(prev, 0);
  EXPECT_EQ(r.remove, 0);
  EXPECT_TRUE(r.warning.empty());

  std::vector<CvEntry> list = {{"13 12 00", 5}, {"13 12 00", 6}, {"12 13 00", 7}};
  prev = 100;
  r = CmdVer(prev, 102, 0x92, 6, list, false, "IDPUcmd");
  EXPECT_EQ(r.remove, 2);
  EXPECT_TRUE(r.warning.empty());
  prev = 100;
  r = CmdVer(prev, 101, 0x92, 6, list, false, "IDPUcmd");
  EXPECT_EQ(r.remove, 2);
  EXPECT_EQ(r.warning.substr(0, 31), "WARNING:  1 Dropped Commands: C");
  prev = 100;
  r = CmdVer(prev, 105, 0x13, 7, list, false, "IDPUcmd");
  EXPECT_EQ(r.remove, 3);
  EXPECT_EQ(r.warning.substr(0, 34), "WARNING:  2 Unexpected Commands: C");
  prev = 100;
  r = CmdVer(prev, 100, 0x13, 7, list, false, "IDPUcmd");
  EXPECT_EQ(r.d, 0);
  EXPECT_EQ(r.remove, 0);
}

TEST(ErrorBlock, ChangesTextsAndReports) {
  ErrDb err;
  ReadErrDb({"Code\tDec\tName\tText", "0x05\t5\tBADCMD\tCommand rejected"}, err);
  ErrState st;
  AlarmCfg cfg{1, true};
  ErrResult r = ErrorBlock(st, 5, 9, 1, err, cfg);
  EXPECT_TRUE(r.changed);
  EXPECT_EQ(r.text, "0x05 5 BADCMD Command rejected");
  EXPECT_TRUE(r.alarms.empty());  // the first alim reports stay quiet
  r = ErrorBlock(st, 5, 9, 1, err, cfg);
  EXPECT_FALSE(r.changed);        // the same count again
  r = ErrorBlock(st, 77, 3, 4, err, cfg);
  EXPECT_EQ(r.text, "Unrecognized error 77");
  ASSERT_EQ(r.alarms.size(), 3u);
  EXPECT_EQ(r.alarms[1], "IErrorData = 3");
  EXPECT_EQ(r.alarms[2], "IErrorCount = 4 New Errors = 3");
  r = ErrorBlock(st, 0, 0, 0, err, cfg);
  EXPECT_TRUE(r.clear);
  EXPECT_EQ(st.remembered, 0);
  // During the warm-up changes are shown, never reported.
  ErrState cold;
  r = ErrorBlock(cold, 5, 1, 2, err, AlarmCfg{0, false});
  EXPECT_TRUE(r.changed);
  EXPECT_TRUE(r.alarms.empty());
  EXPECT_EQ(cold.reports, 0);
}
