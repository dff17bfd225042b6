#include "scans.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tallox {

const int kTenColours[10] = {0x000000, 0x803000, 0xFF0000, 0xFF8000, 0xFFFF00,
                             0x00FF00, 0x0000FF, 0x800080, 0xA0A0A0, 0xFFFFFF};

namespace {

struct Listed {
  const char* label;
  unsigned first, last;
};
// The rows of the APID-scan panel.
constexpr Listed kListed[] = {
    {"200", 0x200, 0x200}, {"201", 0x201, 0x201}, {"202", 0x202, 0x202},
    {"203", 0x203, 0x203}, {"208", 0x208, 0x208}, {"209", 0x209, 0x209},
    {"210", 0x210, 0x210}, {"211", 0x211, 0x211}, {"212", 0x212, 0x212},
    {"213", 0x213, 0x213}, {"214", 0x214, 0x214}, {"215", 0x215, 0x215},
    {"220", 0x220, 0x220}, {"221", 0x221, 0x221}, {"222", 0x222, 0x222},
    {"223", 0x223, 0x223}, {"240", 0x240, 0x240}, {"241", 0x241, 0x241},
    {"270", 0x270, 0x270}, {"244-24A", 0x244, 0x24A}, {"24E-255", 0x24E, 0x255},
    {"258-259", 0x258, 0x259}, {"25D-268", 0x25D, 0x268},
};

std::string Line(const char* label, unsigned long long v) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s: %llu\n", label, v);
  return buf;
}
// Fractional values with the six decimals the panels show.
std::string LineF(const char* label, double v) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s: %.6f\n", label, v);
  return buf;
}

}  // namespace

// ---- APID scan ---------------------------------------------------------------------------------
void ApidScan::add(const std::uint8_t* rec, bool swap) {
  ++records;
  const unsigned a = PacketApid(rec, swap);
  if (!IsKnownApid(a)) {
    ++invalid;
    return;
  }
  if (a < 256) {
    ++countLow;
    return;
  }
  int slot = -1;
  if (a >= 0x300) {
    ++count300;
  } else {
    slot = static_cast<int>(a - 0x200);
    const unsigned s = PacketSeqCount(rec, swap);
    if (seen[slot] && s != ((lastSeq[slot] + 1) & 0x3FFF)) {
      ++sequenceGaps;
      ++slotErrors[slot];
    }
    seen[slot] = true;
    lastSeq[slot] = s;
    ++slotCount[slot];
    ++total200;
  }
  if (PacketChecksum(rec) != 0) {
    ++checksumErrors;
    if (slot >= 0) ++slotErrors[slot];
  }
}

std::vector<ApidScan::Row> ApidScan::listed() const {
  std::vector<Row> rows;
  for (const Listed& l : kListed) {
    Row r;
    r.label = l.label;
    for (unsigned a = l.first; a <= l.last; ++a) {
      r.count += slotCount[a - 0x200];
      r.errors += slotErrors[a - 0x200];
    }
    rows.push_back(r);
  }
  return rows;
}

std::uint64_t ApidScan::other() const {
  std::uint64_t sum = 0;
  for (const Row& r : listed()) sum += r.count;
  return total200 - sum;
}

ApidScan ScanApIDs(ScanInput& in) {
  ApidScan s;
  const bool swap = in.ctl.swap;
  s.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress,
                           [&](const std::uint8_t* rec) {
                             s.add(rec, swap);
                             return true;
                           });
  if (s.records == 0) s.error = in.source.error();
  return s;
}

// The labels are those of the scan panel's controls, so a batch line and the panel read alike.
std::string FormatApidScan(const ApidScan& s) {
  std::string out;
  for (const auto& r : s.listed()) out += Line(("ApID " + r.label).c_str(), r.count);
  out += Line("ApID 300-37F", s.count300);
  out += Line("ApID 000-0FF", s.countLow);
  for (const auto& r : s.listed()) out += Line(("Errors " + r.label).c_str(), r.errors);
  out += Line("Invalid ApIDs", s.invalid);
  out += Line("Other 200-27F", s.other());
  out += Line(kTotalLabel, s.grandTotal());
  out += Line("Checksum errors", s.checksumErrors);
  out += Line("Sequence gaps", s.sequenceGaps);
  return out;
}

// ---- burst continuity --------------------------------------------------------------------------
BurstScan ScanBurst1(ScanInput& in, unsigned selected) {
  BurstScan b;
  const bool swap = in.ctl.swap;
  std::uint32_t lastWord[4] = {0, 0, 0, 0}, lastTime[4] = {0, 0, 0, 0};
  std::uint64_t lastIndex[4] = {0, 0, 0, 0};
  std::uint8_t buf[kDataBufSize];
  char line[256];
  b.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++b.records;
    const unsigned a = PacketApid(rec, swap);
    int i = 0;
    while (i < 4 && kBurstApids[i] != a) ++i;
    ++b.counts[i];
    if (i == 4 || (selected != 0 && selected != a)) return true;
    std::memcpy(buf, rec, kRecordSize);
    SwapTelemetryBytes(buf, swap);
    const std::uint32_t t = GetLong3412(buf, 32);
    const std::uint32_t w = GetWord(buf, 28);
    if (lastWord[i] != 0) {
      if ((w & 0x3FFF) != ((lastWord[i] + 1) & 0x3FFF)) {
        std::snprintf(line, sizeof line, "%6d Skip ApID %03Xh %s - %s #%d\n",
                      static_cast<int>(lastIndex[i]), a, GetTime1(lastTime[i]).c_str(),
                      GetTime1(t).c_str(), static_cast<int>((w - lastWord[i] - 1) & 0x3FFF));
        b.log += line;
        b.events.push_back({lastIndex[i], BurstEvent::Skip, a, lastTime[i], t,
                            static_cast<int>((w - lastWord[i] - 1) & 0x3FFF)});
      }
    } else {
      std::snprintf(line, sizeof line, "%6d First ApID %03Xh %s\n",
                    static_cast<int>(b.records - 1), a, GetTime1(t).c_str());
      b.log += line;
      b.events.push_back({b.records - 1, BurstEvent::First, a, t, t, 0});
    }
    lastWord[i] = w;
    lastTime[i] = t;
    lastIndex[i] = b.records - 1;
    return true;
  });
  for (int i = 0; i < 4; ++i) {
    if (selected != 0 && selected != kBurstApids[i]) continue;
    std::snprintf(line, sizeof line, "%6d                              Last ApID %03Xh %s\n",
                  static_cast<int>(lastIndex[i]), kBurstApids[i], GetTime1(lastTime[i]).c_str());
    b.log += line;
    b.events.push_back({lastIndex[i], BurstEvent::Last, kBurstApids[i], lastTime[i], lastTime[i], 0});
  }
  if (b.records == 0) b.error = in.source.error();
  return b;
}

std::string FormatBurstCounts(const BurstScan& s) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    char label[64];
    std::snprintf(label, sizeof label, "ApID %03X", kBurstApids[i]);
    out += Line(label, s.counts[i]);
  }
  out += Line("Others", s.counts[4]);
  out += Line("Records", s.records);
  return out;
}

// ---- packet spacing histogram ------------------------------------------------------------------
std::string TimingResult::packetsText() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d Packets", static_cast<int>(packets));
  return buf;
}

TimingResult StartTiming(ScanInput& in, unsigned apid, bool fine) {
  TimingResult r;
  r.fine = fine;
  r.dThist.assign(kHistBins, 0);
  const bool swap = in.ctl.swap;
  std::uint8_t buf[kDataBufSize];
  std::int64_t prevSec = 0, prevS1 = 0, prevS2 = 0;
  r.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    if (PacketApid(rec, swap) != apid) return true;
    std::memcpy(buf, rec, kRecordSize);
    SwapTelemetryBytes(buf, swap);
    const std::int64_t sec = GetLong3412(buf, 32), s1 = GetByte(buf, 37), s2 = GetByte(buf, 36);
    if (r.packets > 0) {
      std::int64_t d = (sec - prevSec) * 256 + s1 - prevS1;
      if (fine) d = d * 256 + s2 - prevS2;
      d = std::clamp<std::int64_t>(d, 0, kHistBins - 1);
      ++r.dThist[static_cast<std::size_t>(d)];
      r.smallest = std::min<int>(r.smallest, static_cast<int>(d));
      r.largest = std::max<int>(r.largest, static_cast<int>(d));
    }
    prevSec = sec;
    prevS1 = s1;
    prevS2 = s2;
    ++r.packets;
    return true;
  });
  r.rangeStart = std::clamp(r.smallest - 10, 0, kHistBins - 1);
  r.rangeEnd = std::clamp(r.largest + 10, 0, kHistBins - 1);
  if (r.packets == 0) r.error = in.source.error();
  return r;
}

// The panel's "%d Packets" line, then the histogram bins that hold packets. A bin is 1/256 s
// (8 decimals) or 1/65536 s (16 decimals), printed exactly.
std::string FormatTiming(const TimingResult& t) {
  std::string out = t.packetsText() + "\n";
  if (t.packets < 2) return out;
  const int decimals = t.fine ? 16 : 8;
  char buf[128];
  std::snprintf(buf, sizeof buf, "Smallest spacing (s): %.*f\n", decimals, t.smallest * t.binSeconds());
  out += buf;
  std::snprintf(buf, sizeof buf, "Largest spacing (s): %.*f\n", decimals, t.largest * t.binSeconds());
  out += buf;
  for (int d = t.rangeStart; d <= t.rangeEnd; ++d) {
    if (!t.dThist[d]) continue;
    std::snprintf(buf, sizeof buf, "Spacing %.*f s: %d\n", decimals, d * t.binSeconds(), t.dThist[d]);
    out += buf;
  }
  return out;
}

// ---- packet-rate plot --------------------------------------------------------------------------
RateResult PlotPkt(ScanInput& in, const std::array<RateRow, kRateRows>& rows, bool groundTime) {
  RateResult r;
  const bool swap = in.ctl.swap;
  std::uint8_t buf[kDataBufSize];
  bool first = true;
  bool failed = false;
  r.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    if (first) {
      first = false;
      if (groundTime) {
        r.start = GetWord21(rec, 7) * 86400u + GetLong4321(rec, 9) / 1000u;
      } else {
        auto s = GetUTC32(in.ctl.startText);
        if (!s) {
          r.error = "Start time \"" + in.ctl.startText + "\" cannot be read";
          failed = true;
          return false;
        }
        r.start = *s;
      }
      r.latest = r.start;
      r.any = true;
    }
    // The first record is counted too: it opens the first minute.
    std::memcpy(buf, rec, kRecordSize);
    SwapTelemetryBytes(buf, swap);
    const std::uint32_t t =
        groundTime ? GetWord21(buf, 7) * 86400u + GetLong4321(buf, 9) / 1000u : GetLong3412(buf, 32);
    // A record older than the start (clock jump) lands in the first bin instead of wrapping.
    const std::int64_t dt = std::int64_t(t) - std::int64_t(r.start);
    const int bin = dt <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(dt / 60, kRateBins - 1));
    const unsigned a = GetApID(buf);
    for (int k = 0; k < kRateRows; ++k) {
      if (rows[k].first == 0) continue;
      if (a >= rows[k].first && a < rows[k].first + rows[k].number) ++r.counts[k][bin];
    }
    r.maxBin = std::max(r.maxBin, bin);
    r.latest = std::max(r.latest, t);
    return true;
  });
  if (failed) r.any = false;
  for (int k = 0; k < kRateRows; ++k) {
    if (rows[k].first == 0) continue;
    for (int b = 0; b <= r.maxBin; ++b) {
      r.yMin = std::min(r.yMin, r.counts[k][b]);
      r.yMax = std::max(r.yMax, r.counts[k][b]);
    }
  }
  if (!r.any && r.error.empty()) r.error = in.source.error();
  return r;
}

// ---- housekeeping statistics -------------------------------------------------------------------
std::string ClockText(unsigned k) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%2d:%02d:%02d", (k >> 12) & 0xF, (k >> 6) & 0x3F, k & 0x3F);
  return buf;
}

HkStats ScanHKP(ScanInput& in) {
  HkStats s;
  const bool swap = in.ctl.swap;
  std::uint8_t buf[kDataBufSize];
  unsigned prevW = 0;
  double prevT = 0;
  unsigned prevK = 0, prev49 = 0, prev50 = 0, prev54 = 0;
  s.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++s.records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != 0x200) return true;
    ++s.hk;
    const bool firstHk = s.hk == 1;
    if (SwapWord(rec, 0, swap) != 0x0A00) ++s.idErrors;
    const unsigned w = SwapWord(rec, 1, swap);
    if (!firstHk && ((w & 0xC000) != 0xC000 || (w & 0x3FFF) != ((prevW + 1) & 0x3FFF)))
      ++s.seqErrors;
    prevW = w;
    if (SwapWord(rec, 2, swap) != 265) ++s.lenErrors;
    if (PacketChecksum(rec) != 0) ++s.chkErrors;

    std::memcpy(buf, rec, kRecordSize);
    SwapTelemetryBytes(buf, swap);
    const double t = GetLong3412(buf, 32) + (256.0 * GetByte(buf, 37) + GetByte(buf, 36)) / 65536.0;
    const unsigned k = GetWord(buf, 38);
    const unsigned b40 = GetByte(buf, 40), b41 = GetByte(buf, 41);
    const unsigned b49 = GetByte(buf, 49), w50 = GetWord(buf, 50), w54 = GetWord(buf, 54);
    s.lastTime = GetTime(buf);
    s.lastClock = ClockText(k);
    if (firstHk) {
      s.firstTime = s.lastTime;
      s.firstClock = s.lastClock;
      s.firstByte40 = b40;
      s.firstByte41 = b41;
    } else {
      const double dt = t - prevT;
      s.spacingMax = std::max(s.spacingMax, dt);
      s.spacingMin = std::min(s.spacingMin, dt);
      s.spacingSum += dt;
      if (b40 != s.firstByte40) ++s.byte40Changes;
      if (b41 != s.firstByte41) ++s.byte41Changes;
      const int h = (k >> 12) & 0xF, m = (k >> 6) & 0x3F, sec = k & 0x3F;
      const int ph = (prevK >> 12) & 0xF, pm = (prevK >> 6) & 0x3F, ps = prevK & 0x3F;
      double d = (sec - ps) + 60.0 * (m - pm) + 3600.0 * (h - ph);
      if (h == 0 && ph == 15) d += 57600;
      s.clockMax = std::max(s.clockMax, d);
      s.clockMin = std::min(s.clockMin, d);
      s.clockSum += d;
      // Counters wrap: an increment is taken modulo the counter's width.
      s.incByte49 += (b49 - prev49) & 0xFF;
      s.incWord50 += (w50 - prev50) & 0xFFFF;
      s.incWord54 += (w54 - prev54) & 0xFFFF;
    }
    prevT = t;
    prevK = k;
    prev49 = b49;
    prev50 = w50;
    prev54 = w54;
    s.word42Max = std::max(s.word42Max, GetWord(buf, 42));
    s.word44Sum += GetWord(buf, 44) * 3.2e-05;
    const unsigned b46 = GetByte(buf, 46);
    if (b46 == 255)
      ++s.byte46Full;
    else
      s.byte46Max = std::max(s.byte46Max, b46);
    return true;
  });
  if (s.records == 0) s.error = in.source.error();
  return s;
}

// Labelled like the statistics panel's controls.
std::string FormatHkStats(const HkStats& s) {
  std::string out;
  out += "First time: " + s.firstTime + "\n";
  out += "First clock: " + s.firstClock + "\n";
  out += Line("First byte 40", s.firstByte40);
  out += Line("First byte 41", s.firstByte41);
  out += "Last time: " + s.lastTime + "\n";
  out += "Last clock: " + s.lastClock + "\n";
  out += Line("Records", s.records);
  out += Line("HK packets", s.hk);
  out += Line("Identification errors", s.idErrors);
  out += Line("Sequence errors", s.seqErrors);
  out += Line("Length errors", s.lenErrors);
  out += Line("Checksum errors", s.chkErrors);
  // Spacings and clock steps need two packets; with fewer they read 0 rather than the
  // starting values of the search.
  out += LineF("Spacing max (s)", s.hk > 1 ? s.spacingMax : 0);
  out += LineF("Spacing min (s)", s.hk > 1 ? s.spacingMin : 0);
  out += LineF("Spacing mean (s)", s.spacingMean());
  out += Line("Byte 40 differs", s.byte40Changes);
  out += Line("Byte 41 differs", s.byte41Changes);
  out += LineF("Clock step max", s.hk > 1 ? s.clockMax : 0);
  out += LineF("Clock step min", s.hk > 1 ? s.clockMin : 0);
  out += LineF("Clock step mean", s.clockMean());
  out += LineF("Word 42 max x 3.2e-5", s.word42MaxScaled());
  out += LineF("Word 44 mean x 3.2e-5", s.word44Mean());
  out += LineF("Byte 46 max expanded", s.byte46MaxScaled());
  out += Line("Byte 46 = 255", s.byte46Full);
  out += Line("Word 50 increments", s.incWord50);
  out += Line("Word 54 increments", s.incWord54);
  out += Line("Byte 49 increments", s.incByte49);
  return out;
}

}  // namespace tallox
