// Telemetry record layout as tallox reads it, the byte accessors, the time conversions and the
// 8-bit count compression law.
//
// A record is 298 bytes: a 26-byte ground header (big-endian, never swapped) and one 272-byte
// CCSDS packet. The packet may be stored in transmission order (the station's archives) or with
// every 16-bit pair exchanged; `swap` (the byte-order toggle) says the file holds transmission
// order. After SwapTelemetryBytes the record is in the "in-memory form": packet byte j lies at
// record offset 26 + (j ^ 1), so the little-endian word accessors read the big-endian words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tallox {

constexpr int kRecordSize = 298;
constexpr int kHeaderSize = 26;
constexpr int kPacketSize = 272;
constexpr int kDataBufSize = 300;  // `Data` is 300 bytes, 298 used
constexpr std::uint32_t FIFTYEIGHT = 1830297600u;  // 1900-01-01 to 1958-01-01
// 1958-01-01 to 1970-01-01, to bring mission seconds onto the Unix scale.
constexpr std::int64_t kMissionToUnix = 378691200;

extern const char* const kMonths[12];

// --- plain accessors on a record buffer ---------------------------------------------------------
inline unsigned GetByte(const std::uint8_t* d, int k) { return d[k]; }
inline unsigned GetWord(const std::uint8_t* d, int k) { return d[k] + 256u * d[k + 1]; }
inline unsigned GetWord21(const std::uint8_t* d, int k) { return 256u * d[k] + d[k + 1]; }
inline std::uint32_t GetLong(const std::uint8_t* d, int k) {
  return GetWord(d, k) + 65536u * GetWord(d, k + 2);
}
inline std::uint32_t GetLong3412(const std::uint8_t* d, int k) {
  return 65536u * GetWord(d, k) + GetWord(d, k + 2);
}
inline std::uint32_t GetLong4321(const std::uint8_t* d, int k) {
  return 65536u * GetWord21(d, k) + GetWord21(d, k + 2);
}

// --- accessors that honour the byte-order toggle on a record not yet swapped --------------------
inline unsigned GetByteSwapped(const std::uint8_t* d, int k, bool swap) {
  return swap ? d[k ^ 1] : d[k];
}
inline unsigned SwapWord(const std::uint8_t* d, int i, bool swap) {
  const int k = 26 + 2 * i;
  return swap ? GetWord21(d, k) : GetWord(d, k);
}
inline unsigned PacketApid(const std::uint8_t* d, bool swap) {
  return swap ? (((d[26] * 256u) & 0x7FFu) | d[27]) : (((d[27] * 256u) & 0x7FFu) | d[26]);
}
inline unsigned PacketSeqCount(const std::uint8_t* d, bool swap) {
  return swap ? (((d[28] * 256u) & 0x3FFFu) | d[29]) : (((d[29] * 256u) & 0x3FFFu) | d[28]);
}
// Packet time (whole seconds) of a record not yet swapped. The record source reads it this way
// so that a time window works on files in either storage order.
inline std::uint32_t PacketSeconds(const std::uint8_t* d, bool swap) {
  return swap ? GetLong4321(d, 32) : GetLong3412(d, 32);
}
// APID of a record already swapped.
inline unsigned GetApID(const std::uint8_t* d) { return ((d[27] * 256u) & 0x7FFu) | d[26]; }

// Sum of the 272 packet bytes modulo 256 (0 for a good packet).
unsigned PacketChecksum(const std::uint8_t* d);
// The same without vector instructions (what PacketChecksum uses where SSE2 is missing).
unsigned PacketChecksumPortable(const std::uint8_t* d);

inline bool IsKnownApid(unsigned a) {
  return a <= 255 || (a >= 0x200 && a <= 0x27F) || (a >= 0x300 && a <= 0x37F);
}
// A record holds a telemetry packet header: CCSDS version 0, type 0 (telemetry) and an APID of
// a known range. Text or other data read as records rarely passes all three.
inline bool LooksLikeTelemetry(const std::uint8_t* d, bool swap) {
  const unsigned w0 = SwapWord(d, 0, swap);
  return (w0 & 0xF000u) == 0 && IsKnownApid(w0 & 0x7FFu);
}

// Exchanges the 136 byte pairs of the packet when the file holds transmission order.
void SwapTelemetryBytes(std::uint8_t* d, bool swap);
// Exchanges the 136 pairs unconditionally (the same operation undoes itself).
void SwapPairs(std::uint8_t* d);

// 8-bit compression: below 32 the value itself, otherwise ((v & 15) + 16) << ((v >> 4) - 1).
inline std::uint32_t Uncompress(unsigned b) {
  b &= 0xFF;
  if (b < 32) return b;
  const unsigned e = (b >> 4) & 0xF, m = b & 0xF;
  return (m + 16u) << (e - 1);
}

// --- time conversions ---------------------------------------------------------------------------
struct CivilTime {
  int year, month /*0-11*/, day, hour, minute, second, weekday;
};
CivilTime BreakDown(std::int64_t missionSeconds);

// "yyyy MMM dd hh:mm:ss" (20 characters, day right-aligned in three).
std::string GetTime1(std::uint32_t t);
// GetTime1 of the swapped record's packet time followed by ".hh" hundredths.
std::string GetTime(const std::uint8_t* swapped);
// The same with four decimals from bytes 37 and 36.
std::string GetTimeL(const std::uint8_t* swapped);
// " hh:mm:ss"
std::string GetTime2(std::uint32_t t);
// "MMM/dd/yyyy hh:mm:ss"
std::string GetTimeX(std::uint32_t t);
// Month 0-11 of a month word in any case, abbreviated ("Jan") or whole ("January"); -1 for a word
// that names no month.
int MonthIndex(const std::string& word);
// Parses "year month day hh:mm:ss" into mission seconds. Empty when the text does not hold all
// six fields or its month word names no month; why (when given) then says which, in words a
// message continues with (": ..." or "; ..."). The result may
// lie outside the 32-bit range (dates before 1958 are negative).
std::optional<std::int64_t> GetUTC(const std::string& text, std::string* why = nullptr);
// GetUTC clamped into the unsigned 32-bit mission-second range.
std::optional<std::uint32_t> GetUTC32(const std::string& text, std::string* why = nullptr);

}  // namespace tallox
