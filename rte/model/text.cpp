// Text helpers and the program clock.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "model.h"

namespace {
unsigned char Lower(unsigned char c) { return static_cast<unsigned char>(std::tolower(c)); }
}  // namespace

int FindPattern(const char* buffer, int start, int len, const char* pattern, int caseSensitive,
                int fromRight) {
  if (!buffer || !pattern || start < 0) return -1;
  int total = static_cast<int>(std::strlen(buffer));
  if (start > total) return -1;
  int end = len < 0 ? total : std::min(total, start + len);
  int plen = static_cast<int>(std::strlen(pattern));
  if (plen == 0) return start;
  auto match = [&](int at) {
    for (int k = 0; k < plen; ++k) {
      unsigned char a = buffer[at + k], b = pattern[k];
      if (caseSensitive ? a != b : Lower(a) != Lower(b)) return false;
    }
    return true;
  };
  if (fromRight) {
    for (int i = end - plen; i >= start; --i)
      if (match(i)) return i;
  } else {
    for (int i = start; i + plen <= end; ++i)
      if (match(i)) return i;
  }
  return -1;
}

int CompareStrings(const char* a, int aIndex, const char* b, int bIndex, int caseSensitive) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a) + std::max(0, aIndex);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b) + std::max(0, bIndex);
  for (;; ++p, ++q) {
    unsigned char x = caseSensitive ? *p : Lower(*p), y = caseSensitive ? *q : Lower(*q);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

void StringUpperCase(char* s) {
  for (; s && *s; ++s) *s = static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
}
void StringLowerCase(char* s) {
  for (; s && *s; ++s) *s = static_cast<char>(std::tolower(static_cast<unsigned char>(*s)));
}
void StringUpperCase(std::string& s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
void StringLowerCase(std::string& s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

namespace rte {
namespace {
bool g_fixed = false;
std::time_t g_fixedTime = 0;
}  // namespace

std::time_t Now() {
  if (g_fixed) return g_fixedTime;
  return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
}
void SetClock(std::time_t t) {
  g_fixed = t != static_cast<std::time_t>(-1);
  g_fixedTime = t;
}
void AdvanceClock(long long seconds) {
  if (!g_fixed) {
    g_fixed = true;
    g_fixedTime = Now();
  }
  g_fixedTime += seconds;
}
std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}
}  // namespace rte

std::string DateStr() {
  std::tm tm = rte::LocalTime(rte::Now());
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
  return buf;
}

std::string TimeStr() {
  std::tm tm = rte::LocalTime(rte::Now());
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}
