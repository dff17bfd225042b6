#include "telemetry/convert.h"

#include <cmath>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace korvex {

double Linear(double raw, const ItemLine& item, int aorb, bool perSpacecraft) {
  if (perSpacecraft && aorb == 2) return raw * item.gainB + item.offB;
  return raw * item.gainA + item.offA;
}

namespace {
template <std::size_t N>
double Poly(const std::array<double, N>& k, double c) {
  double v = 0;
  for (std::size_t i = N; i-- > 0;) v = v * c + k[i];
  return v;
}
}  // namespace

double YSI(const TlmCoeffs& c, double counts) { return Poly(c.y, counts); }
double RTD(const TlmCoeffs& c, double counts) { return Poly(c.r, counts); }
double MAG(const TlmCoeffs& c, double counts) { return Poly(c.m, counts); }

double Ucur(const TlmCoeffs& c, double x, double v12, double vcc1, double v5d) {
  return c.u[0] * x + c.u[1] * v12 - c.u[2] * (vcc1 - v5d);
}
double Dcur(const TlmCoeffs& c, double x, double v12, double vcc1, double v5d) {
  return c.d[0] * x + c.d[1] * v12 - c.d[2] * (vcc1 - v5d);
}

std::string SampleTimeText(std::uint32_t word) {
  char b[16];
  std::snprintf(b, sizeof b, "%02u:%02u:%02u", (word >> 12) & 0xF, (word >> 6) & 0x3F, word & 0x3F);
  return b;
}

namespace {
// printf's "%.*f" (the same digits, correctly rounded), without its format parsing: a packet
// shows a few hundred of these.
std::string Fixed(double v, int decimals) {
  char b[400];  // the widest double with six decimals fits
  auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) {
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
  }
  return std::string(b, r.ptr);
}
}  // namespace

std::string FmtInt(long long v) {
  char b[32];
  auto r = std::to_chars(b, b + sizeof b, v);
  return std::string(b, r.ptr);
}
std::string FmtF2(double v) { return Fixed(v, 2); }
std::string FmtF(double v) { return Fixed(v, 6); }
std::string FmtHex4(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%04X", v);
  return b;
}

SpcPar GetSpcPar(std::string_view line) {
  // Tokens as strtok cuts them: runs of tabs separate, empty tokens do not exist.
  std::vector<std::string> t;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == '\t') ++pos;
    if (pos >= line.size()) break;
    std::size_t e = line.find('\t', pos);
    if (e == std::string_view::npos) e = line.size();
    t.emplace_back(line.substr(pos, e - pos));
    pos = e;
  }
  auto num = [&](std::size_t i) { return i < t.size() ? std::atof(t[i].c_str()) : 0.0; };
  SpcPar p;
  p.ndx = static_cast<int>(num(2));
  p.bofs = static_cast<int>(num(3));
  p.numb = static_cast<int>(num(4));
  p.vofs = num(5);
  p.vmlt = num(6);
  if (t.size() == 11) {
    p.limits = true;
    p.spcyl = num(7);
    p.spcyh = num(8);
    p.spcrl = num(9);
    p.spcrh = num(10);
    p.yl = t[7];
    p.yh = t[8];
    p.rl = t[9];
    p.rh = t[10];
  }
  return p;
}

double EvalDisp(const std::uint8_t* packet, int len, const SpcPar& par) {
  auto byte = [&](int i) -> std::uint32_t { return i >= 0 && i < len ? packet[i] : 0u; };
  auto word = [&](int i) { return byte(i) << 8 | byte(i + 1); };
  int n = par.ndx, b = par.bofs, k = par.numb;
  std::uint32_t v = 0;
  if (k <= 0 || k > 16) {
    v = 0;
  } else if (b == 0) {
    if (k == 8) v = byte(n);
    else if (k == 16) v = word(n);
    else if (k < 8) v = byte(n) >> (8 - k);
    else v = word(n) >> (16 - k);
  } else if (b >= 1 && b <= 7) {
    if (b + k <= 8) v = (byte(n) >> (8 - b - k)) & ((1u << k) - 1);
    else if (k > 7 && b + k <= 16) v = (word(n) >> (16 - b - k)) & ((1u << k) - 1);
  } else if (b == 8 && k <= 8) {
    v = byte(n + 1) >> (8 - k);
  } else if (b >= 9 && b <= 15 && b + k - 8 <= 8) {
    v = (byte(n + 1) >> (16 - b - k)) & ((1u << k) - 1);
  } else if (b == 16 && k == 16) {
    v = word(n + 2);
  }
  double value = v;
  if (par.vmlt != 0.0) value *= par.vmlt;
  return value + par.vofs;
}

namespace {
bool Has(std::string_view key, std::string_view part) {
  return key.find(part) != std::string_view::npos;
}
}  // namespace

std::string SpcText(std::string_view key, double value) {
  if (Has(key, "_STAT")) {
    int v = static_cast<int>(value);
    if (v == 0) return "OK";
    if (v == 4) return "NO_RESPONSE";
    if (v == 8 || v == 12) return "A_D_ERROR";
    return "INVALID";
  }
  if (Has(key, "_TT_")) return value != 0 ? "ON" : "OFF";
  if (Has(key, "_ST_") && (Has(key, "_IDPU_") || Has(key, "_DREV_") || Has(key, "_SEP_")))
    return value != 0 ? "REQUEST PWR ON" : "NO REQUEST";
  std::string s = value == std::floor(value) && std::fabs(value) < 1e15 ? Fixed(value, 0)
                                                                      : Fixed(value, 3);
  if (Has(key, "_CUR_")) s += " A";
  else if (Has(key, "_TMP_")) s += " C";
  else if (Has(key, "_PDU_MAIN")) s += " V";
  return s;
}

}  // namespace korvex
