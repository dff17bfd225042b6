// Small text helpers the station's readers and matchers share.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace korvex {

// ASCII lower case of the whole text (byte for byte; other bytes unchanged).
inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
inline std::string Lower(std::string_view s) { return Lower(std::string(s)); }
inline std::string Lower(const char* s) { return Lower(std::string(s)); }

// The text without blanks, tabs and carriage returns at either end.
inline std::string Trim(std::string_view s) {
  std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string_view::npos) return {};
  std::size_t b = s.find_last_not_of(" \t\r");
  return std::string(s.substr(a, b - a + 1));
}

}  // namespace korvex
