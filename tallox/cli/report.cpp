#include "report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "../core/record.h"

namespace tallox {

std::string IsoTime(std::uint32_t t) {
  const CivilTime c = BreakDown(t);
  char b[48];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month + 1, c.day, c.hour,
                c.minute, c.second);
  return b;
}

std::string IsoTime(double t) {
  const double whole = std::floor(t);
  long long micro = std::llround((t - whole) * 1e6);
  std::int64_t sec = static_cast<std::int64_t>(whole);
  if (micro >= 1000000) {
    micro -= 1000000;
    ++sec;
  }
  const CivilTime c = BreakDown(sec);
  char b[64];
  if (micro == 0)
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month + 1, c.day, c.hour,
                  c.minute, c.second);
  else
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", c.year, c.month + 1, c.day,
                  c.hour, c.minute, c.second, micro);
  return b;
}

std::string IsoFromText(const std::string& text) {
  const auto t = GetUTC(text);
  if (!t) return "";
  const CivilTime c = BreakDown(*t);
  char b[48];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month + 1, c.day, c.hour,
                c.minute, c.second);
  std::string out = b;
  // A fraction after the seconds ("12:30:00.50") stays as written.
  const std::size_t colon = text.rfind(':');
  const std::size_t dot = text.find('.', colon == std::string::npos ? 0 : colon);
  if (dot != std::string::npos) {
    std::size_t e = dot + 1;
    while (e < text.size() && text[e] >= '0' && text[e] <= '9') ++e;
    if (e > dot + 1) out += text.substr(dot, e - dot);
  }
  return out + "Z";
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string CsvRow(const std::vector<std::string>& fields) {
  std::string row;
  for (std::size_t i = 0; i < fields.size(); ++i) row += (i ? "," : "") + CsvField(fields[i]);
  return row + "\n";
}

std::string Fixed(double v, int decimals) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", decimals, v);
  return b;
}

std::vector<std::pair<std::string, std::string>> ReportValues(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == ' ') continue;
    const std::size_t c = line.find(": ");
    if (c == std::string::npos) continue;
    out.push_back({line.substr(0, c), line.substr(c + 2)});
  }
  return out;
}

bool IsTimeLabel(const std::string& label) {
  for (const char* t : {"Start time", "End time", "First time", "Last time", "First sample",
                        "Last sample", "Start", "End"})
    if (label == t) return true;
  return false;
}

bool AsNumber(const std::string& text, double* v) {
  if (text.empty()) return false;
  char* end = nullptr;
  *v = std::strtod(text.c_str(), &end);
  return end && *end == 0 && std::isfinite(*v);
}

}  // namespace tallox
