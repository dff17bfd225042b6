// Byte-level building blocks of the simulated telemetry stream: the 272-byte packet, the 298-byte
// record around it, the checksum and the 8-bit count compression the instrument uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mocsim {

constexpr int kRecordSize = 298;
constexpr int kHeaderSize = 26;
constexpr int kPacketSize = 272;
constexpr uint8_t kSpacecraftA = 0xEA;
constexpr uint8_t kSpacecraftB = 0xEB;
constexpr int kSeqModulo = 16384;
// Seconds from 1958-01-01 (the packet and ground time scale) to 1970-01-01.
constexpr int64_t kEpoch1958To1970 = 378691200;

using Record = std::array<uint8_t, kRecordSize>;

enum class ApidClass { Spacecraft, Suite, Companion, Illegal };
ApidClass apidClass(int apid);
const char* apidClassName(ApidClass c);

// The processor writes 16-bit words low byte first, so most packet fields are easiest to describe in
// the station's view (every byte pair exchanged). A few packets (SEP housekeeping and the spacecraft
// packets) carry their data region in transmission order instead. PacketWriter lets a generator
// address bytes in whichever view the consumer documents, while the buffer itself always holds
// transmission order.
enum class View { Transmission, Station };

class PacketWriter {
public:
  std::array<uint8_t, kPacketSize> tx{};  // transmission order

  // Offsets below are packet offsets in the given view.
  void put8(View v, int off, uint8_t b) { tx[map(v, off)] = b; }
  uint8_t get8(View v, int off) const { return tx[map(v, off)]; }
  // 16-bit value low byte first in the given view.
  void put16le(View v, int off, uint16_t w) { put8(v, off, w & 0xFF); put8(v, off + 1, w >> 8); }
  void put16be(View v, int off, uint16_t w) { put8(v, off, w >> 8); put8(v, off + 1, w & 0xFF); }
  void put32le(View v, int off, uint32_t w) { put16le(v, off, w & 0xFFFF); put16le(v, off + 2, w >> 16); }
  void put32be(View v, int off, uint32_t w) { put16be(v, off, w >> 16); put16be(v, off + 2, w & 0xFFFF); }
  uint16_t get16le(View v, int off) const { return uint16_t(get8(v, off) | (get8(v, off + 1) << 8)); }

  // Primary header and time in transmission order: secondary-header flag set, sequence flags 11
  // (stand-alone packet), length field 265, seconds since 1958 and the fraction in 1/65536 s.
  void setHeader(int apid, int seq, uint32_t secs1958, uint16_t frac65536);
  int apid() const { return ((tx[0] & 7) << 8) | tx[1]; }
  int seq() const { return ((tx[2] & 0x3F) << 8) | tx[3]; }
  void setApid(int apid) { tx[0] = uint8_t((tx[0] & 0xF8) | ((apid >> 8) & 7)); tx[1] = uint8_t(apid & 0xFF); }

  // Sets the checksum byte (transmission offset `txOff`) so that the 272 bytes add up to 0 modulo
  // 256; `corrupt` makes them add up to 1 instead.
  void seal(int txOff, bool corrupt = false);

  static int map(View v, int off) { return v == View::Station ? (off ^ 1) : off; }
};

uint8_t sum8(const uint8_t* p, size_t n);
// Exchanges the two bytes of each of `pairs` 16-bit words.
void bytswp(uint8_t* p, int pairs);

// Where the checksum byte of an APID goes (transmission offset). The documented place is the last
// byte; where a packet layout (seen from the station) uses that byte, the byte before it is used,
// since only the sum is checked downstream.
int checksumOffset(int apid);
bool apidHasChecksum(int apid);

struct GroundTime {
  uint16_t day = 0;      // days since 1958-01-01
  uint32_t msOfDay = 0;  // milliseconds of that day
};
GroundTime groundTimeFromUnixMs(int64_t unixMs);

// Record = 26-byte header (spacecraft byte 6, ground time at 7-8 / 9-12, big-endian) + the packet,
// in transmission order or with its 136 byte pairs exchanged.
void buildRecord(Record& out, const PacketWriter& pkt, uint8_t spacecraft, GroundTime gt, bool swapped);

// 8-bit count compression: v < 32 stands for v, otherwise ((v & 15) + 16) << ((v >> 4) - 1).
uint32_t uncompress8(uint8_t v);
// The largest code whose value does not exceed `count` (rounding down, as the instrument does).
uint8_t compress8(uint32_t count);

// Moment word: sign bit 15, exponent bits 14-9, mantissa bits 8-0; value = ±(512 + m) · 2^(e - 10).
double decodeMoment(uint16_t w);
uint16_t encodeMoment(double value);

std::string hex(const uint8_t* p, size_t n, bool spaces = false);

}  // namespace mocsim
