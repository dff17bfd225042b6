#include "commanding/variables.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/text.h"

namespace korvex {

namespace {
}  // namespace

int VarExist(const std::vector<std::string>& labels, const std::string& name) {
  std::string n = Lower(name);
  for (std::size_t i = 0; i < labels.size(); ++i)
    if (Lower(labels[i]).find(n) != std::string::npos) return static_cast<int>(i);
  return -1;
}

int VarByFirstWord(const std::vector<std::string>& labels, const std::string& name) {
  std::string n = Lower(name);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    std::string l = Lower(labels[i]);
    std::size_t a = l.find_first_not_of(' ');
    if (a == std::string::npos) continue;
    std::size_t b = l.find_first_of(" =", a);
    if (l.substr(a, b == std::string::npos ? std::string::npos : b - a) == n) return static_cast<int>(i);
  }
  return -1;
}

int VarByName(const std::vector<std::string>& labels, const std::string& name) {
  std::string n = Lower(name);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    std::string l = Lower(labels[i]);
    std::size_t eq = l.find(" =");
    if (eq != std::string::npos && l.substr(0, eq) == n) return static_cast<int>(i);
  }
  return -1;
}

std::optional<LetRequest> ParseLet(const std::string& c) {
  std::size_t eq = c.find('=');
  if (eq == std::string::npos || eq < 3) return std::nullopt;
  LetRequest r;
  r.name = c.substr(3, eq - 3);
  r.valueText = c.substr(eq + 1);
  if (r.name.empty() || r.valueText.empty()) return std::nullopt;
  unsigned char first = static_cast<unsigned char>(r.valueText[0]);
  if (first > 0x40) {
    r.point = true;
    return r;
  }
  if (first == '+' || first == '-' || first == '.' || std::isdigit(first)) {
    char* end = nullptr;
    if (r.valueText.find('.') != std::string::npos)
      r.number = std::strtod(r.valueText.c_str(), &end);
    else
      r.number = static_cast<double>(std::strtol(r.valueText.c_str(), &end, 0));
    return r;
  }
  return std::nullopt;
}

bool UsableVarName(const std::string& name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return name.find_first_of("=<>!&|()\"") == std::string::npos;
}

std::string VarLabel(const std::string& name, double value, bool point) {
  char b[64];
  std::snprintf(b, sizeof b, point ? "%.2f" : "%.3f", value);
  return name + " = " + b;
}

}  // namespace korvex
