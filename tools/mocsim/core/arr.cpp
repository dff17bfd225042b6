#include "arr.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "packet.h"

namespace mocsim {

std::string arrTime(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char b[32];
  std::snprintf(b, sizeof b, "%4d%03d%02d%02d%02d", tm.tm_year + 1900, tm.tm_yday + 1, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return std::string(b, 13);
}

Arr buildArr(const uint8_t* scm, size_t n, int code, const std::string& time13) {
  Arr a{};
  std::memcpy(a.data(), "ARR-000055", 10);
  for (int i = 0; i < 4; ++i) a[10 + i] = (n > size_t(10 + i)) ? scm[10 + i] : '0';
  for (int i = 0; i < 13; ++i) a[14 + i] = i < int(time13.size()) ? uint8_t(time13[i]) : '0';
  char c[8];
  std::snprintf(c, sizeof c, "%03d", code % 1000);
  std::memcpy(a.data() + 27, c, 3);
  for (int i = 0; i < 32; ++i) a[30 + i] = (n > size_t(100 + i)) ? scm[100 + i] : ' ';
  for (int i = 0; i < 6; ++i) a[62 + i] = (n > size_t(133 + i)) ? scm[133 + i] : 0;
  a[68] = 0;
  return a;
}

Arr buildHeartbeat(const std::string& time13) { return buildArr(nullptr, 0, kArrHeartbeat, time13); }

int arrCode(const Arr& a) {
  int v = 0;
  for (int i = 27; i < 30; ++i) {
    if (!std::isdigit(a[i])) return 0;
    v = v * 10 + (a[i] - '0');
  }
  return v;
}

Frame scmFrame(const uint8_t* p, size_t n, size_t& total) {
  if (n < 10) {
    // Reject obvious garbage early, so a wrong client does not stall the connection.
    for (size_t i = 4; i < n; ++i)
      if (!std::isdigit(p[i])) return Frame::Invalid;
    return Frame::NeedMore;
  }
  size_t len = 0;
  for (int i = 4; i < 10; ++i) {
    if (!std::isdigit(p[i])) return Frame::Invalid;
    len = len * 10 + (p[i] - '0');
  }
  total = len + 14;
  return n >= total ? Frame::Complete : Frame::NeedMore;
}

// Header field as printable text: the fields go into the log and the JSON manifest, and a client's
// stray bytes must not turn either into invalid text.
static std::string field(const uint8_t* p, size_t n, int from, int to) {
  std::string s;
  for (int i = from; i <= to && size_t(i) < n; ++i) s += (p[i] >= 0x20 && p[i] < 0x7F) ? char(p[i]) : '.';
  return s;
}

ScmInfo parseScm(const uint8_t* p, size_t n, bool headerSwapped) {
  ScmInfo s;
  s.msgType = field(p, n, 0, 3);
  s.msgNumber = field(p, n, 10, 13);
  s.cmdMode = field(p, n, 14, 15);
  s.facility = field(p, n, 19, 24);
  s.spacecraft = field(p, n, 25, 26);
  s.packetCount = field(p, n, 27, 28);
  s.enable = field(p, n, 29, 41);
  s.timeout = field(p, n, 42, 54);
  s.delta = field(p, n, 55, 59);
  s.scriptLine = field(p, n, 60, 63);
  s.scriptName = field(p, n, 68, 99);
  s.description = field(p, n, 100, 131);
  auto fail = [&](int code, const std::string& why) {
    if (s.code == kArrSuccess) {
      s.code = code;
      s.problem = why;
    }
  };
  if (n < size_t(kScmHeaderSize)) {
    fail(kArrBadHeader, "shorter than the control header");
    return s;
  }
  if (p[132] != kScmHeaderEnd) fail(kArrHeaderEndMissing, "byte 132 is not 0x0C");
  static const char* kFacilities[] = {"VANTIS", "BRIMLE", "LUMETA", "RADIUX"};
  bool facOk = false;
  for (auto* f : kFacilities)
    if (s.facility == f) facOk = true;
  if (!facOk) fail(kArrBadFacility, "facility \"" + s.facility + "\"");
  if (s.spacecraft != "EA" && s.spacecraft != "EB") fail(kArrBadSpacecraft, "spacecraft \"" + s.spacecraft + "\"");
  int expected = -1;
  if (s.packetCount.size() == 2 && std::isdigit((unsigned char)s.packetCount[0]) &&
      std::isdigit((unsigned char)s.packetCount[1]))
    expected = (s.packetCount[0] - '0') * 10 + (s.packetCount[1] - '0');
  size_t off = kScmHeaderSize;
  while (off < n) {
    if (n - off < 7) {
      // The packets' own lengths leave a remainder that cannot even hold a primary header.
      fail(kArrLengthInconsistent, std::to_string(n - off) + " bytes after the last packet at byte " +
                                       std::to_string(off));
      break;
    }
    uint8_t h[12] = {0};
    size_t avail = std::min<size_t>(12, n - off);
    std::memcpy(h, p + off, avail);
    if (headerSwapped) {
      bytswp(h, 3);
      if ((h[0] & 0x08) && avail >= 12) bytswp(h + 6, 3);
    }
    ScmPacket pk;
    pk.offset = int(off);
    pk.length = ((h[4] << 8) | h[5]) + 7;
    pk.apid = ((h[0] & 7) << 8) | h[1];
    pk.seq = ((h[2] & 0x3F) << 8) | h[3];
    pk.secondaryHeader = (h[0] & 0x08) != 0;
    if (pk.length > kMaxPacketBytes) fail(kArrPacketTooBig, "packet of " + std::to_string(pk.length) + " bytes");
    // With a secondary header the packet needs its six bytes and the checksum byte at 12.
    if (pk.secondaryHeader && pk.length < 13)
      fail(kArrPacketTooShort, "packet at byte " + std::to_string(off) + " of " + std::to_string(pk.length) +
                                   " bytes with a secondary header");
    if (off + pk.length > n) {
      fail(kArrPacketTruncated, "packet at byte " + std::to_string(off) + " says " + std::to_string(pk.length) +
                                    " bytes, " + std::to_string(n - off) + " received");
      break;
    }
    ApidClass c = apidClass(pk.apid);
    if (c != ApidClass::Suite && c != ApidClass::Companion) {
      char b[64];
      std::snprintf(b, sizeof b, "telecommand APID 0x%03X", pk.apid);
      fail(kArrBadApid, b);
    }
    pk.checksumOk = sum8(p + off, pk.length) == 0;
    pk.commandId = (pk.apid & 0x7F) | (c == ApidClass::Companion ? 0x80 : 0);
    int dataStart = pk.secondaryHeader ? 13 : 7;
    if (dataStart < pk.length) pk.data.assign(p + off + dataStart, p + off + pk.length);
    s.packets.push_back(pk);
    off += pk.length;
  }
  if (expected < 0 || expected != int(s.packets.size()))
    fail(kArrPacketCountMismatch, "header says " + s.packetCount + " packets, message holds " +
                                      std::to_string(s.packets.size()));
  // A wrong checksum is reported only once the message itself is sound: the packet boundaries it is
  // computed over are only trustworthy then.
  for (auto& pk : s.packets)
    if (!pk.checksumOk) {
      fail(kArrChecksum, "packet at byte " + std::to_string(pk.offset) + ": bytes do not add up to 0");
      break;
    }
  return s;
}

std::string describeScm(const ScmInfo& s) {
  std::string out = "SCM type=" + s.msgType + " msg=" + s.msgNumber + " fac=" + s.facility + " sc=" + s.spacecraft +
                    " pkts=" + s.packetCount + " enable=" + s.enable + " desc=\"";
  size_t a = s.description.find_first_not_of(' ');
  out += a == std::string::npos ? "" : s.description.substr(a);
  out += "\"";
  for (auto& p : s.packets) {
    char b[96];
    std::snprintf(b, sizeof b, " [apid=0x%03X seq=%d len=%d %s data=", p.apid, p.seq, p.length,
                  p.checksumOk ? "ck-ok" : "CK-BAD");
    out += b;
    out += hex(p.data.data(), p.data.size());
    out += "]";
  }
  if (s.code != 0) out += " -> code " + std::to_string(s.code) + " (" + s.problem + ")";
  return out;
}

}  // namespace mocsim
