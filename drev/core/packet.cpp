#include "core/packet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

const char* KindName(PacketKind k) {
  switch (k) {
    case PacketKind::SuiteHk: return "SUITE";
    case PacketKind::Distribution: return "DIST";
    case PacketKind::Pitch: return "PITCH";
    case PacketKind::Moments: return "MOM";
    case PacketKind::AnalyzerHk: return "HKPG";
    default: return "SKIP";
  }
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

std::string GetEpoc(const std::uint8_t* useBuf) {
  static const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const long long seconds = static_cast<long long>(Word(useBuf, 6)) * 65536 + Word(useBuf, 8);
  const std::time_t t = static_cast<std::time_t>(seconds + kFiftyEight - kNineteenHundredTo1970);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char frac[16];
  std::snprintf(frac, sizeof frac, "%3.2f", useBuf[11] * 256 * 1.53e-05);
  char out[64];
  std::snprintf(out, sizeof out, "%4d %s%3d %02d:%02d:%02d%s", tm.tm_year + 1900, kMonths[tm.tm_mon],
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, frac + 1);
  return out;
}

double DcmpMom(unsigned w) {
  const int e = static_cast<int>((w >> 9) & 0x3F);
  const double v = std::ldexp(512.0 + (w & 0x1FF), e - 10);
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
