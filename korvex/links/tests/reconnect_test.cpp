#include <gtest/gtest.h>

#include "links/reconnect.h"

using namespace korvex;

TEST(ReconnectConfig, SwitchesIntervalAndBadLinesByFileAndLine) {
  ReconnectConfig none = ParseReconnectConfig({});
  EXPECT_FALSE(none.telemetry);
  EXPECT_FALSE(none.command);
  EXPECT_EQ(none.interval, 10);

  LoadNotes notes{"cfg/reconnect.cfg", {}};
  ReconnectConfig c = ParseReconnectConfig(
      {"# automatic reconnection", "Telemetry = ON", "command=yes  # too", "", "interval = 30",
       "retries = 5", "telemetry"},
      &notes);
  EXPECT_TRUE(c.command);
  EXPECT_EQ(c.interval, 30);
  // "telemetry" alone on line 7 is no setting: it is reported and changes nothing.
  EXPECT_TRUE(c.telemetry);
  ASSERT_EQ(notes.v.size(), 2u);
  EXPECT_EQ(FormatNote(notes.v[0]),
            "cfg/reconnect.cfg:6: not a \"telemetry = on|off\", \"command = on|off\" or "
            "\"interval = SECONDS\" line; skipped");
  EXPECT_EQ(notes.v[1].line, 7);

  // Values that are not understood fall back to the safe side: off, and the default interval.
  LoadNotes bad{"cfg/reconnect.cfg", {}};
  ReconnectConfig b = ParseReconnectConfig(
      {"telemetry = maybe", "interval = 0", "interval = 10s", "interval = 3601", "command = on"},
      &bad);
  EXPECT_FALSE(b.telemetry);
  EXPECT_TRUE(b.command);
  EXPECT_EQ(b.interval, 10);
  ASSERT_EQ(bad.v.size(), 4u);
  EXPECT_EQ(FormatNote(bad.v[0]),
            "cfg/reconnect.cfg:1: \"maybe\" is not on or off; telemetry reconnection stays off");
  EXPECT_EQ(FormatNote(bad.v[3]),
            "cfg/reconnect.cfg:4: interval \"3601\" is not 1-3600 seconds; 10 used");
  EXPECT_EQ(ParseReconnectConfig({"interval = 3600"}).interval, 3600);
  EXPECT_EQ(ParseReconnectConfig({"interval = 1"}).interval, 1);
}

TEST(LinkRetry, OffByDefaultALossIsNotRetried) {
  LinkRetry l;
  EXPECT_FALSE(l.up());  // a first connection is no recovery
  EXPECT_EQ(l.lamp(), LinkLamp::Connected);
  LinkRetry::Down d = l.down(5, "-14  ConnectionClosed");
  EXPECT_FALSE(d.retrying);
  EXPECT_EQ(l.lamp(), LinkLamp::Off);
  EXPECT_FALSE(l.due(1000));
}

TEST(LinkRetry, LossRetriedEveryIntervalUntilRecovered) {
  LinkRetry l;
  l.enable(true, 10);
  l.up();
  LinkRetry::Down d = l.down(100, "closed");
  EXPECT_TRUE(d.retrying);
  EXPECT_TRUE(d.log);
  EXPECT_EQ(l.lamp(), LinkLamp::Retrying);
  EXPECT_FALSE(l.due(109));
  EXPECT_TRUE(l.due(110));

  // Failed attempts: the first with a new cause is worth a line, the same cause again is not.
  d = l.down(110, "-4  FailedToConnect");
  EXPECT_TRUE(d.retrying);
  EXPECT_TRUE(d.log);
  EXPECT_FALSE(l.due(119));
  EXPECT_TRUE(l.due(120));
  d = l.down(120, "-4  FailedToConnect");
  EXPECT_FALSE(d.log);
  d = l.down(130, "-11  TimeOutErr");
  EXPECT_TRUE(d.log);
  EXPECT_EQ(l.failedAttempts(), 3);
  EXPECT_EQ(l.downFor(140), 40u);

  EXPECT_TRUE(l.up());
  EXPECT_EQ(l.lamp(), LinkLamp::Connected);
  EXPECT_FALSE(l.due(1000));
  EXPECT_FALSE(l.up());  // only once

  // The next outage starts its own count and logs its loss again.
  d = l.down(200, "-4  FailedToConnect");
  EXPECT_TRUE(d.log);
  EXPECT_EQ(l.failedAttempts(), 0);
  EXPECT_TRUE(l.due(210));
}

TEST(LinkRetry, RefusedFirstConnectionIsRetriedAndOperatorOffStopsIt) {
  LinkRetry l;
  l.enable(true, 3);
  LinkRetry::Down d = l.down(0, "-4  FailedToConnect");  // never connected yet
  EXPECT_TRUE(d.retrying);
  EXPECT_TRUE(l.due(3));
  l.off();
  EXPECT_EQ(l.lamp(), LinkLamp::Off);
  EXPECT_FALSE(l.due(3));
  EXPECT_FALSE(l.up());  // connecting by hand after an off is no recovery

  // Switching the feature off while retrying stops the retries too.
  l.down(10, "closed");
  ASSERT_EQ(l.lamp(), LinkLamp::Retrying);
  l.enable(false, 3);
  EXPECT_EQ(l.lamp(), LinkLamp::Off);
  EXPECT_FALSE(l.due(100));
}
