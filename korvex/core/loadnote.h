// What a reader of a configuration or database file skipped or could not read, by file and line,
// so that the operator learns where to look and not only that something was wrong.
#pragma once

#include <string>
#include <vector>

namespace korvex {

struct LoadNote {
  std::string file;
  int line = 0;  // 1-based; 0 = the file as a whole
  std::string text;
};

// "file:line: text" ("file: text" for the file as a whole).
inline std::string FormatNote(const LoadNote& n) {
  return n.file + (n.line > 0 ? ":" + std::to_string(n.line) : std::string()) + ": " + n.text;
}

// A reader's notes for one file.
struct LoadNotes {
  std::string file;
  std::vector<LoadNote> v;
  void add(int line, std::string text) { v.push_back({file, line, std::move(text)}); }
};

}  // namespace korvex
