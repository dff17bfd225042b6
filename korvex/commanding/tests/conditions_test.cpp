#include <gtest/gtest.h>

#include "commanding/cmdline.h"
#include "commanding/conditions.h"
#include "commanding/variables.h"

using namespace korvex;

namespace {
std::optional<Condition> Parse(const std::string& typed, const std::string& keyword,
                               const std::vector<std::string>& vars = {},
                               const std::vector<double>& values = {}) {
  return ParseCondition(CompactForm(typed), typed, keyword, [&](const std::string& n) -> std::optional<double> {
    int i = VarByName(vars, n);
    if (i < 0) return std::nullopt;
    return values[static_cast<std::size_t>(i)];
  });
}
}  // namespace

TEST(Conditions, IfQueuesItsCommandsInOrderOnlyWhenItHolds) {
  auto c = Parse("if (ISTEU12V > 5) /systemnop, wait 2", "if");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->dbParam, "isteu12v");
  EXPECT_EQ(c->op, ">");
  EXPECT_EQ(c->target, 5);
  EXPECT_EQ(c->ifCommands, (std::vector<std::string>{"/systemnop", "wait 2"}));
  EXPECT_TRUE(ConditionHolds(*c, 5.5));
  EXPECT_FALSE(ConditionHolds(*c, 5));
}

TEST(Conditions, MasksOperatorsAndRightHandVariables) {
  // "&" 0x04 with "==" 4: a value with bit 2 set holds at once, also through the mask rule.
  auto w = Parse("wait until IDPUSTAT & 0x04 == 4", "until");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->dbParam, "idpustat");
  EXPECT_EQ(w->mask, '&');
  EXPECT_EQ(w->logicVal, 4u);
  EXPECT_EQ(w->op, "==");
  EXPECT_TRUE(ConditionHolds(*w, 0x0F));
  EXPECT_FALSE(ConditionHolds(*w, 0x0B));
  // "|" against a target: 0x10 | 0x01 = 0x11.
  auto o = Parse("wait until x | 1 = 17", "until");
  ASSERT_TRUE(o);
  EXPECT_EQ(o->op, "==");  // a single "=" means equal
  EXPECT_TRUE(ConditionHolds(*o, 16));
  // Each operator.
  for (auto [line, v, holds] : std::vector<std::tuple<std::string, double, bool>>{
           {"wait until p != 3", 3, false}, {"wait until p != 3", 4, true},
           {"wait until p <= 3", 3, true},  {"wait until p >= 3", 2, false},
           {"wait until p < 3", 2.9, true}, {"wait until p > 3", 3, false}}) {
    auto k = Parse(line, "until");
    ASSERT_TRUE(k) << line;
    EXPECT_EQ(ConditionHolds(*k, v), holds) << line << " at " << v;
  }
  // No comparison: refused.
  EXPECT_FALSE(Parse("wait until p", "until"));
  // A name on the right is a variable, compared by whole name; unknown counts as 0.
  std::vector<std::string> vars{"volt = 16.000", "voltage = 2.000"};
  auto v = Parse("if (p >= Volt) rem ok", "if", vars, {16, 2});
  ASSERT_TRUE(v);
  EXPECT_EQ(v->target, 16);
  auto u = Parse("if (p >= vol) rem ok", "if", vars, {16, 2});
  ASSERT_TRUE(u);
  EXPECT_EQ(u->target, 0);
}

TEST(Conditions, IfCommandListLimits) {
  std::string many = "if (p > 1)";
  for (int i = 0; i < 12; ++i) many += " rem " + std::to_string(i) + ",";
  EXPECT_EQ(IfCommands(many).size(), kIfCommandsMax);
  EXPECT_EQ(IfCommands("if (p > 1) " + std::string(150, 'x'))[0].size(), kIfCommandMax);
  EXPECT_TRUE(IfCommands("if p > 1 no parenthesis").empty());
  EXPECT_EQ(IfCommands("if (p > 1) a,,b"), (std::vector<std::string>{"a"}));
}

TEST(Variables, LetFreeAndLookups) {
  auto l = ParseLet(CompactForm("let Volt = 0x10"));
  ASSERT_TRUE(l);
  EXPECT_EQ(l->name, "volt");
  EXPECT_FALSE(l->point);
  EXPECT_EQ(l->number, 16);
  EXPECT_EQ(VarLabel(l->name, l->number, false), "volt = 16.000");
  EXPECT_EQ(ParseLet(CompactForm("let n = 010"))->number, 8);  // leading 0: octal
  EXPECT_EQ(ParseLet(CompactForm("let f = -1.5"))->number, -1.5);
  auto p = ParseLet(CompactForm("let t = ISTEU12V"));
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->point);
  EXPECT_EQ(p->valueText, "isteu12v");
  EXPECT_EQ(VarLabel("t", 3.14159, true), "t = 3.14");
  EXPECT_FALSE(ParseLet(CompactForm("let x 5")));    // no "="
  EXPECT_FALSE(ParseLet(CompactForm("let x = $5")));  // neither a name nor a number

  std::vector<std::string> labels{"volt = 16.000", "a = 1.000"};
  EXPECT_EQ(VarExist(labels, "v"), 0);  // any label containing the name: "v" replaces "volt"
  EXPECT_EQ(VarExist(labels, "VOLT"), 0);
  EXPECT_EQ(VarExist(labels, "b"), -1);
  EXPECT_EQ(VarByFirstWord(labels, "vol"), -1);  // "free" needs the whole first word
  EXPECT_EQ(VarByFirstWord(labels, "Volt"), 0);
  EXPECT_EQ(VarByName(labels, "a"), 1);
}
