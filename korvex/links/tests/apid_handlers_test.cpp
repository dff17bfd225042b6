#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/context.h"
#include "links/link_state.h"

using namespace korvex;

// The table the decoders plug into: handlers of one APID in the order added, nothing for an
// APID without handlers, APIDs outside 11 bits ignored rather than written past the table.
TEST(ApidHandlers, DispatchRunsTheHandlersOfTheApidInOrder) {
  ApidHandlers t;
  std::vector<std::string> ran;
  t.add(0x202, [&](Program&, const std::uint8_t* d) { ran.push_back("events" + std::to_string(d[0])); });
  t.add(0x202, [&](Program&, const std::uint8_t*) { ran.push_back("second"); });
  t.add(0x00B, [&](Program&, const std::uint8_t*) { ran.push_back("spacecraft"); });
  t.add(-1, [&](Program&, const std::uint8_t*) { ran.push_back("never"); });
  t.add(4096, [&](Program&, const std::uint8_t*) { ran.push_back("never"); });
  auto prog = std::make_unique<Program>();
  Program& none = *prog;
  std::uint8_t rec[kRecordSize] = {7};
  EXPECT_TRUE(t.dispatch(none, 0x202, rec));
  EXPECT_FALSE(t.dispatch(none, 0x200, rec));
  EXPECT_FALSE(t.dispatch(none, 5000, rec));
  EXPECT_TRUE(t.dispatch(none, 0x00B, rec));
  EXPECT_EQ(ran, (std::vector<std::string>{"events7", "second", "spacecraft"}));
  EXPECT_TRUE(t.has(0x00B));
  EXPECT_FALSE(t.has(0x00C));
}
