// The stream record, the analyzer packets it carries, and the small pure helpers every decoder
// uses: the compression table, word exchange, checksum, packet time and the moment word format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace drev {

constexpr int kRecordSize = 298;
constexpr int kHeaderSize = 26;
constexpr int kPacketSize = 272;
constexpr std::uint8_t kSpacecraftA = 0xEA;
constexpr std::uint8_t kSpacecraftB = 0xEB;
// Seconds from 1900-01-01 to 1958-01-01: packet seconds count from 1958, the calendar from 1900.
constexpr long long kFiftyEight = 1830297600LL;
// 1900-01-01 to 1970-01-01, to hand the calendar time to the C library.
constexpr long long kNineteenHundredTo1970 = 2208988800LL;

// What the first two packet bytes (transmission order) make of a packet.
enum class PacketKind { Skipped, SuiteHk, Distribution, Pitch, Moments, AnalyzerHk };

// Rows tested in order: 0x0A 0x00, 0x0A whichApid, 0x0A 0x12, 0x0A 0x13, 0x0A 0x14.
PacketKind Identify(std::uint8_t b0, std::uint8_t b1, int whichApid);

// The 8-bit count law: v below 32 is v, else ((v & 15) + 16) << ((v >> 4) - 1).
using LogTable = std::array<int, 256>;
LogTable MakeLogCnvt();

// Exchanges bytes 2k and 2k+1 for k in [0, pairs).
void bytswp(std::uint8_t* p, int pairs);
// 8-bit sum of the bytes.
std::uint8_t Sum8(const std::uint8_t* p, std::size_t n);

// Little-endian word of the working copy (after the optional exchange).
inline unsigned Word(const std::uint8_t* useBuf, int off) {
  return static_cast<unsigned>(useBuf[off]) | (static_cast<unsigned>(useBuf[off + 1]) << 8);
}

// Time text of a working copy: "yyyy MMM dd hh:mm:ss" (day right-aligned in three characters)
// followed by the hundredths (".ff").
std::string GetEpoc(const std::uint8_t* useBuf);

// A 16-bit floating moment word: sign bit 15, exponent bits 14-9, mantissa bits 8-0,
// value = +-(512 + m) * 2^(e - 10).
double DcmpMom(unsigned w);

// The hex view's filter on the first two packet bytes of a read: type, secondary-header flag and
// bit 7 of the APID are ignored; 4095 shows every packet.
bool HexViewMatch(std::uint8_t b26, std::uint8_t b27, int dispApid);
// The single-step filter on a record's first two packet bytes.
bool StepFilterPass(std::uint8_t b26, std::uint8_t b27, int filter);

// "%02X " per byte of p[start, start + count) clipped to the packet.
std::string HexText(const std::uint8_t* packet, int start, int count);

}  // namespace drev
