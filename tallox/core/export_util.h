// Small helpers of the text exports and "label: value" reports of the science products.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace tallox::detail {

// Opens an export for writing, refusing the telemetry file itself.
inline std::FILE* OpenExport(const std::string& fileName, const std::string& path, std::string* error) {
  std::error_code ec;
  if (path == fileName || std::filesystem::equivalent(path, fileName, ec)) {
    if (error) *error = "The export " + path + " would overwrite the telemetry file itself";
    return nullptr;
  }
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f && error) *error = "Cannot create " + path + ": " + std::strerror(errno);
  return f;
}

inline bool CloseExport(std::FILE* f, const std::string& path, std::string* error) {
  const bool ok = !std::ferror(f);
  if (std::fclose(f) != 0 || !ok) {
    if (error) *error = "Cannot write " + path;
    return false;
  }
  return true;
}

inline std::string Line(const char* label, const std::string& v) { return std::string(label) + ": " + v + "\n"; }
inline std::string Num(double v, const char* fmt = "%.6f") {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

}  // namespace tallox::detail
