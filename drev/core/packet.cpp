#include "core/packet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace drev {

PacketKind Identify(std::uint8_t b0, std::uint8_t b1, int whichApid) {
  if (b0 != 0x0A) return PacketKind::Skipped;
  if (b1 == 0x00) return PacketKind::SuiteHk;
  if (b1 == static_cast<std::uint8_t>(whichApid)) return PacketKind::Distribution;
  if (b1 == 0x12) return PacketKind::Pitch;
  if (b1 == 0x13) return PacketKind::Moments;
  if (b1 == 0x14) return PacketKind::AnalyzerHk;
  return PacketKind::Skipped;
}

LogTable MakeLogCnvt() {
  LogTable t{};
  for (int v = 0; v < 256; ++v) t[v] = v < 32 ? v : ((v & 0xF) + 16) << ((v >> 4) - 1);
  return t;
}

void bytswp(std::uint8_t* p, int pairs) {
  for (int k = 0; k < pairs; ++k) {
    const std::uint8_t t = p[2 * k];
    p[2 * k] = p[2 * k + 1];
    p[2 * k + 1] = t;
  }
}

std::uint8_t Sum8(const std::uint8_t* p, std::size_t n) {
  unsigned s = 0;
  for (std::size_t i = 0; i < n; ++i) s += p[i];
  return static_cast<std::uint8_t>(s);
}

namespace {

// ".ff" for each fraction byte: "%3.2f" of byte * 256 * 1.53e-05 without its leading digit.
struct FractionTable {
  char text[256][8];
  FractionTable() {
    for (int b = 0; b < 256; ++b) {
      char f[16];
      std::snprintf(f, sizeof f, "%3.2f", b * 256 * 1.53e-05);
      std::memcpy(text[b], f + 1, 4);  // ".ff" and its terminator
    }
  }
};

}  // namespace

std::string GetEpoc(const std::uint8_t* useBuf) {
  static const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  static const FractionTable kFraction;
  // Packets come in bursts within one second: the calendar text is worked out once a second.
  thread_local long long lastSeconds = -1;
  thread_local char lastText[48];
  const long long seconds = static_cast<long long>(Word(useBuf, 6)) * 65536 + Word(useBuf, 8);
  if (seconds != lastSeconds) {
    const std::time_t t = static_cast<std::time_t>(seconds + kFiftyEight - kNineteenHundredTo1970);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::snprintf(lastText, sizeof lastText, "%4d %s%3d %02d:%02d:%02d", tm.tm_year + 1900, kMonths[tm.tm_mon],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    lastSeconds = seconds;
  }
  std::string out(lastText);
  out += kFraction.text[useBuf[11]];
  return out;
}

double DcmpMom(unsigned w) {
  static const struct Powers {
    double p[64];
    Powers() {
      for (int e = 0; e < 64; ++e) p[e] = std::ldexp(1.0, e - 10);
    }
  } kPow;
  const double v = (512.0 + (w & 0x1FF)) * kPow.p[(w >> 9) & 0x3F];
  return (w & 0x8000) ? -v : v;
}

bool HexViewMatch(std::uint8_t b26, std::uint8_t b27, int dispApid) {
  return dispApid == 4095 || (b26 & 0xE7) * 256 + (b27 & 0x7F) == dispApid;
}

bool StepFilterPass(std::uint8_t b26, std::uint8_t b27, int filter) {
  return filter == 4095 || ((b26 & 0xE7) == ((filter >> 8) & 0xE7) && b27 == (filter & 0xFF));
}

std::string HexText(const std::uint8_t* packet, int start, int count) {
  std::string s;
  if (start < 0) start = 0;
  const int end = count > 0 ? std::min(kPacketSize, start + count) : start;
  char b[4];
  for (int i = start; i < end; ++i) {
    std::snprintf(b, sizeof b, "%02X ", packet[i]);
    s += b;
  }
  return s;
}

}  // namespace drev
