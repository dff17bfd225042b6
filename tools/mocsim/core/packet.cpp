#include "packet.h"

#include <cmath>
#include <cstdio>

namespace mocsim {

ApidClass apidClass(int apid) {
  if (apid >= 0 && apid <= 0x0FF) return ApidClass::Spacecraft;
  if (apid >= 0x200 && apid <= 0x27F) return ApidClass::Suite;
  if (apid >= 0x300 && apid <= 0x37F) return ApidClass::Companion;
  return ApidClass::Illegal;
}

const char* apidClassName(ApidClass c) {
  switch (c) {
    case ApidClass::Spacecraft: return "spacecraft";
    case ApidClass::Suite: return "suite";
    case ApidClass::Companion: return "companion";
    case ApidClass::Illegal: return "illegal";
  }
  return "illegal";
}

void PacketWriter::setHeader(int apid, int seq, uint32_t secs1958, uint16_t frac65536) {
  tx[0] = uint8_t(0x08 | ((apid >> 8) & 7));
  tx[1] = uint8_t(apid & 0xFF);
  tx[2] = uint8_t(0xC0 | ((seq >> 8) & 0x3F));
  tx[3] = uint8_t(seq & 0xFF);
  tx[4] = 0x01;  // 272 - 7 = 265
  tx[5] = 0x09;
  tx[6] = uint8_t(secs1958 >> 24);
  tx[7] = uint8_t(secs1958 >> 16);
  tx[8] = uint8_t(secs1958 >> 8);
  tx[9] = uint8_t(secs1958);
  tx[10] = uint8_t(frac65536 >> 8);
  tx[11] = uint8_t(frac65536);
}

uint8_t sum8(const uint8_t* p, size_t n) {
  unsigned s = 0;
  for (size_t i = 0; i < n; ++i) s += p[i];
  return uint8_t(s);
}

void bytswp(uint8_t* p, int pairs) {
  for (int k = 0; k < pairs; ++k) {
    uint8_t t = p[2 * k];
    p[2 * k] = p[2 * k + 1];
    p[2 * k + 1] = t;
  }
}

void PacketWriter::seal(int txOff, bool corrupt) {
  tx[txOff] = 0;
  uint8_t s = sum8(tx.data(), tx.size());
  tx[txOff] = uint8_t(0 - s + (corrupt ? 1 : 0));
}

bool apidHasChecksum(int apid) { return apid >= 0x080; }

int checksumOffset(int apid) {
  // Transmission byte 271 is byte 270 in the station's exchanged view. Packets whose layout uses
  // that byte (the event overrun flag, science streams running to byte 270) carry the checksum in
  // the byte before it.
  switch (apid) {
    case 0x201: case 0x202: case 0x203: case 0x210: case 0x211: case 0x212: case 0x213: case 0x220: case 0x222:
      return 270;
    default:
      return 271;
  }
}

GroundTime groundTimeFromUnixMs(int64_t unixMs) {
  int64_t ms1958 = unixMs + kEpoch1958To1970 * 1000;
  if (ms1958 < 0) ms1958 = 0;
  GroundTime g;
  g.day = uint16_t(ms1958 / 86400000);
  g.msOfDay = uint32_t(ms1958 % 86400000);
  return g;
}

void buildRecord(Record& out, const PacketWriter& pkt, uint8_t spacecraft, GroundTime gt, bool swapped) {
  uint8_t* h = out.data();
  for (int i = 0; i < kHeaderSize; ++i) h[i] = 0;
  h[6] = spacecraft;
  h[7] = uint8_t(gt.day >> 8);
  h[8] = uint8_t(gt.day);
  h[9] = uint8_t(gt.msOfDay >> 24);
  h[10] = uint8_t(gt.msOfDay >> 16);
  h[11] = uint8_t(gt.msOfDay >> 8);
  h[12] = uint8_t(gt.msOfDay);
  uint8_t* p = h + kHeaderSize;
  if (!swapped) {
    for (int i = 0; i < kPacketSize; ++i) p[i] = pkt.tx[i];
  } else {
    for (int i = 0; i < kPacketSize; i += 2) {
      p[i] = pkt.tx[i + 1];
      p[i + 1] = pkt.tx[i];
    }
  }
}

uint32_t uncompress8(uint8_t v) {
  if (v < 32) return v;
  return uint32_t((v & 15) + 16) << ((v >> 4) - 1);
}

uint8_t compress8(uint32_t count) {
  if (count < 32) return uint8_t(count);
  if (count >= uncompress8(255)) return 255;
  // The law is monotonic: find the largest code not above the count.
  int lo = 32, hi = 255;
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (uncompress8(uint8_t(mid)) <= count) lo = mid;
    else hi = mid - 1;
  }
  return uint8_t(lo);
}

double decodeMoment(uint16_t w) {
  int sign = (w >> 15) & 1;
  int e = (w >> 9) & 0x3F;
  int m = w & 0x1FF;
  double v = std::ldexp(512.0 + m, e - 10);
  return sign ? -v : v;
}

uint16_t encodeMoment(double value) {
  int sign = value < 0 ? 1 : 0;
  double a = std::fabs(value);
  double minV = std::ldexp(512.0, -10);  // the smallest magnitude the format can hold
  if (a < minV) a = minV;
  // a = (512 + m) * 2^(e - 10) with 512 <= 512 + m < 1024 -> e = floor(log2(a / 512)) + 10
  int ex = 0;
  std::frexp(a / 512.0, &ex);  // a / 512 = f * 2^ex with 0.5 <= f < 1
  int e = ex - 1 + 10;
  if (e < 0) e = 0;
  if (e > 63) e = 63;
  long m = std::lround(a / std::ldexp(1.0, e - 10)) - 512;
  if (m > 511) {  // rounding carried into the next octave
    if (e < 63) { ++e; m = std::lround(a / std::ldexp(1.0, e - 10)) - 512; }
    else m = 511;
  }
  if (m < 0) m = 0;
  if (m > 511) m = 511;
  return uint16_t((sign << 15) | (e << 9) | m);
}

std::string hex(const uint8_t* p, size_t n, bool spaces) {
  std::string s;
  s.reserve(n * 3);
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, spaces ? "%02X " : "%02X", p[i]);
    s += b;
  }
  if (spaces && !s.empty()) s.pop_back();
  return s;
}

}  // namespace mocsim
