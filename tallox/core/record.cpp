#include "record.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallox {

const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

unsigned PacketChecksumPortable(const std::uint8_t* d) {
  // Eight bytes at a time: the bytes are added in 16-bit lanes (34 words of 8 bytes cannot
  // overflow a lane).
  const std::uint8_t* p = d + kHeaderSize;
  std::uint64_t lanes = 0;
  constexpr std::uint64_t kMask = 0x00FF00FF00FF00FFull;
  for (int i = 0; i < kPacketSize; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    lanes += (w & kMask) + ((w >> 8) & kMask);
  }
  unsigned sum = 0;
  for (int i = 0; i < 4; ++i) sum += static_cast<unsigned>((lanes >> (16 * i)) & 0xFFFF);
  return sum & 0xFF;
}

unsigned PacketChecksum(const std::uint8_t* d) {
#if defined(__SSE2__)
  // A whole-file scan checks every packet: 17 blocks of 16 bytes, each added into two 64-bit
  // lanes by the sum of absolute differences against zero, keep it near memory speed.
  const std::uint8_t* p = d + kHeaderSize;
  __m128i acc = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < kPacketSize; i += 16)
    acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero));
  const unsigned lo = static_cast<unsigned>(_mm_cvtsi128_si32(acc));
  const unsigned hi = static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(acc, 8)));
  return (lo + hi) & 0xFF;
#else
  return PacketChecksumPortable(d);
#endif
}

void SwapPairs(std::uint8_t* d) {
  for (int k = kHeaderSize; k < kRecordSize; k += 2) std::swap(d[k], d[k + 1]);
}

void SwapTelemetryBytes(std::uint8_t* d, bool swap) {
  if (swap) SwapPairs(d);
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (valid far beyond the range
// of 32-bit mission seconds, and free of the local time zone).
static std::int64_t DaysFromCivil(std::int64_t y, unsigned m /*1-12*/, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

CivilTime BreakDown(std::int64_t missionSeconds) {
  const std::int64_t unixSec = missionSeconds - kMissionToUnix;
  std::int64_t days = unixSec / 86400, sod = unixSec % 86400;
  if (sod < 0) {
    sod += 86400;
    --days;
  }
  CivilTime c{};
  c.hour = static_cast<int>(sod / 3600);
  c.minute = static_cast<int>(sod / 60 % 60);
  c.second = static_cast<int>(sod % 60);
  c.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  c.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  c.month = static_cast<int>(m) - 1;
  c.day = static_cast<int>(d);
  return c;
}

std::string GetTime1(std::uint32_t t) {
  const CivilTime c = BreakDown(t);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%4d %s%3d %02d:%02d:%02d", c.year, kMonths[c.month], c.day,
                c.hour, c.minute, c.second);
  return buf;
}

std::string GetTime(const std::uint8_t* swapped) {
  char frac[32];
  std::snprintf(frac, sizeof frac, "%3.2f", GetByte(swapped, 37) / 256.0);
  return GetTime1(GetLong3412(swapped, 32)) + (frac + 1);
}

std::string GetTimeL(const std::uint8_t* swapped) {
  char frac[32];
  std::snprintf(frac, sizeof frac, "%5.4f",
                GetByte(swapped, 37) / 256.0 + GetByte(swapped, 36) / 65536.0);
  return GetTime1(GetLong3412(swapped, 32)) + (frac + 1);
}

std::string GetTime2(std::uint32_t t) {
  const CivilTime c = BreakDown(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", c.hour, c.minute, c.second);
  return buf;
}

std::string GetTimeX(std::uint32_t t) {
  const CivilTime c = BreakDown(t);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s/%2d/%d %02d:%02d:%02d", kMonths[c.month], c.day, c.year,
                c.hour, c.minute, c.second);
  return buf;
}

int MonthIndex(const std::string& word) {
  static const char* const kNames[12] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",
                                         "MAY",     "JUNE",     "JULY",      "AUGUST",
                                         "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
  std::string up;
  for (char c : word) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (int i = 0; i < 12; ++i)
    if (up == kMonths[i] || up == kNames[i]) return i;
  return -1;
}

std::optional<std::int64_t> GetUTC(const std::string& text, std::string* why) {
  int year = 0, day = 0, hour = 0, minute = 0, second = 0;
  char month[64] = {0};
  if (std::sscanf(text.c_str(), "%d %63s %d %d:%d:%d", &year, month, &day, &hour, &minute,
                  &second) != 6) {
    if (why) *why = "; write it as year month day hh:mm:ss (2006 JAN  4 12:30:00)";
    return std::nullopt;
  }
  // A word that names no month is refused: reading it as some month would quietly move the
  // window by up to a year.
  const int m = MonthIndex(month);
  if (m < 0) {
    if (why) *why = std::string(": \"") + month + "\" is no month (JAN, FEB, ... DEC)";
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(m + 1), 1) + (day - 1);
  const std::int64_t unixSec = days * 86400 + hour * 3600LL + minute * 60LL + second;
  return unixSec + kMissionToUnix;
}

std::optional<std::uint32_t> GetUTC32(const std::string& text, std::string* why) {
  auto t = GetUTC(text, why);
  if (!t) return std::nullopt;
  if (*t < 0) return 0u;
  if (*t > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(*t);
}

}  // namespace tallox
