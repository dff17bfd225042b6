#include "commanding/conditions.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace korvex {

std::vector<std::string> IfCommands(const std::string& typed) {
  std::vector<std::string> out;
  std::size_t p = typed.find(')');
  if (p == std::string::npos) return out;
  ++p;
  while (out.size() < kIfCommandsMax) {
    while (p < typed.size() && std::isspace(static_cast<unsigned char>(typed[p]))) ++p;
    std::size_t end = typed.find(',', p);
    std::string field = typed.substr(p, end == std::string::npos ? std::string::npos : end - p);
    if (field.empty()) break;
    out.push_back(field.substr(0, kIfCommandMax));
    if (end == std::string::npos) break;
    p = end + 1;
  }
  return out;
}

std::optional<Condition> ParseCondition(
    const std::string& c, const std::string& typed, const std::string& keyword,
    const std::function<std::optional<double>(const std::string&)>& variable) {
  Condition k;
  std::size_t at = c.find(keyword);
  if (at != std::string::npos) {
    std::size_t from = at + keyword.size();
    std::size_t to = c.find_first_of("=><!&| ", from);
    k.dbParam = c.substr(from, to == std::string::npos ? std::string::npos : to - from);
    if (k.dbParam.size() > kDbParamMax) k.dbParam.resize(kDbParamMax);
  }
  if (keyword == "if") k.ifCommands = IfCommands(typed);

  std::size_t m = c.find('&');
  if (m == std::string::npos) m = c.find('|');
  if (m != std::string::npos) {
    k.mask = c[m];
    k.logicVal = static_cast<std::uint32_t>(std::strtoul(c.c_str() + m + 1, nullptr, 0));
  }

  static const char* const kOps[] = {"==", "!=", "<=", ">=", "<", ">", "="};
  std::size_t opAt = std::string::npos;
  for (const char* op : kOps) {
    opAt = c.find(op);
    if (opAt != std::string::npos) {
      k.op = std::strcmp(op, "=") == 0 ? "==" : op;
      opAt += std::strlen(op);
      break;
    }
  }
  if (k.op.empty()) return std::nullopt;

  std::string right = c.substr(opAt);
  if (!right.empty() && std::isalpha(static_cast<unsigned char>(right[0]))) {
    std::string name = right.substr(0, right.find(')'));
    std::optional<double> v = variable ? variable(name) : std::nullopt;
    k.target = v.value_or(0.0);
  } else {
    k.target = std::strtod(right.c_str(), nullptr);
  }
  return k;
}

bool ConditionHolds(const Condition& c, double v) {
  if (c.mask) {
    auto iv = static_cast<std::uint32_t>(static_cast<std::int64_t>(v));
    iv = c.mask == '&' ? (iv & c.logicVal) : (iv | c.logicVal);
    v = static_cast<double>(iv);
    if (iv == c.logicVal) return true;
  }
  if (c.op == "==") return v == c.target;
  if (c.op == "!=") return v != c.target;
  if (c.op == ">") return v > c.target;
  if (c.op == "<") return v < c.target;
  if (c.op == ">=") return v >= c.target;
  if (c.op == "<=") return v <= c.target;
  return false;
}

}  // namespace korvex
