// Script variables: the items of the variables list, label "name = value" with the value as a
// number. Made by "let", removed by "free", read by conditions. Pure helpers over the labels.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvex {

// Index of the first label that contains name anywhere (any case), or -1. A short name therefore
// finds a longer one: "v" finds "volt = 16.000".
int VarExist(const std::vector<std::string>& labels, const std::string& name);
// Index of the first label whose first word is name (any case), or -1 ("free").
int VarByFirstWord(const std::vector<std::string>& labels, const std::string& name);
// Index of the label whose name (up to " =") is name as a whole (any case), or -1 (conditions).
int VarByName(const std::vector<std::string>& labels, const std::string& name);

// What a "let" line asks for.
struct LetRequest {
  std::string name;       // lower case, as in the compact form
  std::string valueText;  // after "="
  bool point = false;     // the value names a telemetry point
  double number = 0;      // the value when it is a number
};
// nullopt when the line has no "=" or its value is neither a point name nor a number.
std::optional<LetRequest> ParseLet(const std::string& compact);
// A name conditions can read back: it starts with a letter (a digit there reads as a number) and
// holds none of the characters a condition takes for an operator or a mask.
bool UsableVarName(const std::string& name);
// "name = 16.000" for a number, "name = 3.14" (two decimals) for a point's value.
std::string VarLabel(const std::string& name, double value, bool point);

}  // namespace korvex
