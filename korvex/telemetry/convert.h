// Engineering conversions of the housekeeping items and the extraction of spacecraft values.
// Pure functions over the coefficients loaded with the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "telemetry/dbslots.h"

namespace korvex {

// raw × gain + offset; spacecraft B (aorb 2) takes fields 14 and 15 when the item has
// per-spacecraft coefficients.
double Linear(double raw, const ItemLine& item, int aorb = 1, bool perSpacecraft = false);

double YSI(const TlmCoeffs& c, double counts);  // thermistor, polynomial of degree 5
double RTD(const TlmCoeffs& c, double counts);  // platinum sensor, degree 2
double MAG(const TlmCoeffs& c, double counts);  // magnetometer sensor, degree 5
// STE-U and analyzer/STE-D currents in mA from x = raw × gain + offset and the supply voltages
// decoded earlier in the same packet.
double Ucur(const TlmCoeffs& c, double x, double v12, double vcc1, double v5d);
double Dcur(const TlmCoeffs& c, double x, double v12, double vcc1, double v5d);
constexpr double kJitterFactor = 1.52587890625e-05;  // 2^-16 s per count
inline double Jitter(std::uint32_t raw) { return raw * kJitterFactor; }

// Raw reads of the packet (station frame): 16-bit words low byte first.
inline std::uint32_t U16(const std::uint8_t* p, int off) {
  return static_cast<std::uint32_t>(p[off]) | static_cast<std::uint32_t>(p[off + 1]) << 8;
}
inline std::uint32_t U32(const std::uint8_t* p, int off) {
  return U16(p, off) | U16(p, off + 2) << 16;
}
// Bit i of a status byte, 0 = most significant.
inline int Bit8(std::uint8_t b, int i) { return (b & (0x80 >> i)) >> (7 - i); }
inline int Bit16(std::uint32_t w, int i) { return static_cast<int>((w >> (15 - i)) & 1); }

// The sample clock word: hours in bits 15-12, minutes 11-6, seconds 5-0, as "hh:mm:ss".
std::string SampleTimeText(std::uint32_t word);

// Value texts as the panels show them.
std::string FmtInt(long long v);            // "%d"
std::string FmtF2(double v);                // "%.2f"
std::string FmtF(double v);                 // "%f"
std::string FmtHex4(std::uint32_t v);       // "0x%04X"

// Spacecraft item: a line of the spacecraft table cut into its tokens.
struct SpcPar {
  int ndx = 0, bofs = 0, numb = 0;
  double vofs = 0, vmlt = 0;
  bool limits = false;  // the line has exactly eleven tokens
  double spcyl = 0, spcyh = 0, spcrl = 0, spcrh = 0;
  std::string yl, yh, rl, rh;  // the limit tokens as written
};
SpcPar GetSpcPar(std::string_view line);
// The value of the item in a packet of len bytes (big-endian data); bytes outside the packet
// read as 0.
double EvalDisp(const std::uint8_t* packet, int len, const SpcPar& par);
// How a spacecraft value is shown for its key (status texts, on/off, units).
std::string SpcText(std::string_view key, double value);

}  // namespace korvex
