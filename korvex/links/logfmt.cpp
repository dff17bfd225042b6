#include "links/logfmt.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace korvex {

namespace {
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
bool ContainsNoCase(const std::string& hay, const std::string& needle) {
  return Upper(hay).find(Upper(needle)) != std::string::npos;
}
std::string FirstWord(const std::string& s, int n) {  // word n (0-based), blank/tab separated
  std::size_t i = 0;
  for (int w = 0;; ++w) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (w == n) return s.substr(b, i - b);
    if (i >= s.size()) return {};
  }
}
}  // namespace

LogLine FormatLog(LogState& s, const std::string& text, const std::string& colour,
                  const std::string& date, const std::string& time) {
  std::string prefix = colour;
  if (s.scrcol) {
    prefix = kBlue;
    s.scrcol = 0;
  }
  LogLine l;
  l.line = Upper(date + " " + time + " " + text);
  l.listEntry = prefix + l.line;
  if (l.listEntry.size() > kListEntryMax) l.listEntry.resize(kListEntryMax);
  return l;
}

int EntryColour(const std::string& e, std::string* text) {
  if (e.size() >= 9 && e[0] == '\033' && (e[1] == 'f' || e[1] == 'F') &&
      (e[2] == 'g' || e[2] == 'G')) {
    char* end = nullptr;
    std::string hex = e.substr(3, 6);
    long v = std::strtol(hex.c_str(), &end, 16);
    if (end && *end == 0) {
      if (text) *text = e.substr(9);
      return static_cast<int>(v);
    }
  }
  if (text) *text = e;
  return -1;
}

std::string GetTime(const std::tm& t) {
  char b[32];
  std::snprintf(b, sizeof b, "%4d%03d%02d%02d%02d", t.tm_year + 1900, t.tm_yday + 1, t.tm_hour,
                t.tm_min, t.tm_sec);
  return b;
}

std::string EventTimeStamp(long long t) {
  static const char* const kMon[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  // Civil date from days since 1970 (works for any t, unlike gmtime on some platforms).
  long long days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
  long long secs = t - days * 86400;
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  char b[64];
  std::snprintf(b, sizeof b, "%04lld %s %02lld %02lld:%02lld:%02lld ", y, kMon[m - 1], d,
                secs / 3600, (secs / 60) % 60, secs % 60);
  return b;
}

std::vector<std::string> DecodeEventPacket(const std::uint8_t* p, int cfgtswap, long cfgtime,
                                           const std::vector<std::string>& errdb,
                                           const std::vector<std::string>& cmdList) {
  std::vector<std::string> out;
  char b[64];
  for (int k = 0; k < kEventEntries; ++k) {
    const std::uint8_t* e = p + kEventFirst + 8 * k;
    if (e[0] == 0) break;
    std::uint8_t t[4] = {e[4], e[5], e[6], e[7]};
    if (cfgtswap) {
      std::swap(t[0], t[1]);
      std::swap(t[2], t[3]);
    }
    long long secs = (static_cast<unsigned long long>(t[0]) << 24) | (t[1] << 16) | (t[2] << 8) | t[3];
    std::string line = EventTimeStamp(secs + cfgtime);
    switch (e[0]) {
      case 1: {
        std::snprintf(b, sizeof b, "ERR %02X %02X %02X ", e[1], e[2], e[3]);
        line += b;
        std::snprintf(b, sizeof b, "\t%d\t", e[2]);
        std::string text = "Unrecognized error!";
        for (const std::string& l : errdb)
          if (l.find(b) != std::string::npos) {
            text = l;
            for (char& c : text)
              if (c == '\t') c = ' ';
            break;
          }
        line += text;
        break;
      }
      case 2: {
        std::snprintf(b, sizeof b, "CMD %02X %02X %02X ", e[1], e[2], e[3]);
        line += b;
        int apid = e[2] < 0x80 ? e[2] + 0x200 : e[2] + 0x280;
        std::snprintf(b, sizeof b, "%03X", apid);
        // With no match the name of the last entry examined stands.
        std::string name;
        for (const std::string& l : cmdList) {
          name = FirstWord(l, 0);
          if (ContainsNoCase(FirstWord(l, 1), b)) break;
        }
        line += name;
        break;
      }
      case 3:
        std::snprintf(b, sizeof b, "SEQ %02X ", e[2]);
        line += b;
        break;
      default:
        std::snprintf(b, sizeof b, "%02X %02X %02X %02X ", e[0], e[1], e[2], e[3]);
        line += b;
        break;
    }
    out.push_back(line);
  }
  if (p[kEventOverrunByte] != 0) out.push_back(kEventOverrun);
  return out;
}

std::string SepTextLine(const std::uint8_t* packet, int cfgtswap, long cfgtime) {
  constexpr int kPacket = 272;
  std::uint8_t p[kPacket];
  for (int i = 0; i < kPacket; ++i) p[i] = packet[i];
  // The station's pair exchange undone from byte 6 on: time and text in transmission order.
  if (cfgtswap)
    for (int i = 6; i + 1 < kPacket; i += 2) std::swap(p[i], p[i + 1]);
  long long secs = (static_cast<long long>(p[6]) << 24) | (p[7] << 16) | (p[8] << 8) | p[9];
  std::string stamp = EventTimeStamp(secs + cfgtime);
  if (!stamp.empty() && stamp.back() == ' ') stamp.pop_back();
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(p[10] * 1000 / 256));
  std::string text;
  // The last byte is the packet's checksum, not text.
  for (int i = 11; i < kPacket - 1 && p[i] != 0; ++i)
    text += std::isprint(p[i]) ? static_cast<char>(p[i]) : ' ';
  return stamp + frac + text;
}

}  // namespace korvex
