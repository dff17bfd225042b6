#include <gtest/gtest.h>

#include "links/localserver_cfg.h"

using namespace korvex;

TEST(LocalServerConfig, DefaultsListsAndBadLines) {
  LocalServerConfig none = ParseLocalServerConfig({});
  EXPECT_EQ(none.listen, "127.0.0.1");
  EXPECT_TRUE(none.allows("127.0.0.1"));
  EXPECT_TRUE(none.allows("::ffff:127.0.0.1"));  // an IPv4 peer through an IPv6 socket
  EXPECT_FALSE(none.allows("192.168.1.5"));

  LoadNotes notes{"cfg/localserver.cfg", {}};
  LocalServerConfig c = ParseLocalServerConfig(
      {"# servers", "Listen = 0.0.0.0", "allow = 10.0.0.7  10.0.0.8", "allow = 127.0.0.1",
       "port 5", "  ", "allow=*#any"},
      &notes);
  EXPECT_EQ(c.listen, "0.0.0.0");
  EXPECT_TRUE(c.allows("10.0.0.8"));
  EXPECT_TRUE(c.allows("192.168.1.5"));  // "*" on the last line
  ASSERT_EQ(notes.v.size(), 1u);
  EXPECT_EQ(FormatNote(notes.v[0]),
            "cfg/localserver.cfg:5: not a \"listen = ADDRESS\" or \"allow = ADDRESS ...\" line; skipped");

  LocalServerConfig only = ParseLocalServerConfig({"allow = 10.0.0.7"});
  EXPECT_FALSE(only.allows("127.0.0.1"));  // a list given replaces the default
  EXPECT_TRUE(only.allows("10.0.0.7"));
  EXPECT_EQ(ParseLocalServerConfig({"listen = *"}).listen, "");  // every address
}
