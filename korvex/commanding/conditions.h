// Conditions of the text command language: "if POINT OP VALUE) cmd, cmd, ..." and
// "wait until POINT [&|MASK] OP VALUE". Parsing and evaluation are pure; the glue reads the point's
// value and acts on the result.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

struct Condition {
  std::string dbParam;          // the telemetry point (at most 29 characters)
  std::string op;               // "==", "!=", "<=", ">=", "<", ">" ("=" is read as "==")
  char mask = 0;                // '&', '|' or 0
  std::uint32_t logicVal = 0;   // the mask
  double target = 0;            // waitValf
  std::vector<std::string> ifCommands;  // "if" only: up to 10 commands, in written order
};

constexpr std::size_t kIfCommandsMax = 10;
constexpr std::size_t kIfCommandMax = 99;
constexpr std::size_t kDbParamMax = 29;

// compact: the line's compact form; typed: the line as typed (the "if" commands come from it);
// keyword: "if" or "until". variable(name) gives a variable's value (nullopt: none of that
// name, which counts as 0). No comparison operator: nullopt (the line is refused).
std::optional<Condition> ParseCondition(
    const std::string& compact, const std::string& typed, const std::string& keyword,
    const std::function<std::optional<double>(const std::string&)>& variable);

// Does the condition hold for the point's value v? With a mask, the masked integer value also
// holds when it equals the mask itself.
bool ConditionHolds(const Condition& c, double v);

// The commands of an "if" line: after its first ")", split at commas, leading blanks dropped,
// each cut at 99 characters, at most 10; an empty field ends the list.
std::vector<std::string> IfCommands(const std::string& typed);

}  // namespace korvex
