#include "generator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "convert.h"

namespace mocsim {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool eqNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

bool inList(const std::string& name, std::initializer_list<const char*> l) {
  for (auto* s : l)
    if (eqNoCase(name, s)) return true;
  return false;
}

enum { kSepHet = 101, kSepLet, kSepTemp, kSepLeak, kSepLeakFirst, kSepSit = 120 };

// A stable phase per name, so items drift independently but reproducibly.
double phaseOf(const std::string& name) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ uint8_t(std::tolower((unsigned char)c))) * 16777619u;
  return (h % 1000) / 1000.0;
}

uint32_t secs1958(double unixSecs) { return uint32_t(int64_t(std::floor(unixSecs)) + kEpoch1958To1970); }
uint16_t frac65536(double unixSecs) { return uint16_t((unixSecs - std::floor(unixSecs)) * 65536.0); }

uint32_t maxRawOf(int size) { return size == 1 ? 0xFFu : size == 4 ? 0xFFFFFFFFu : 0xFFFFu; }

void putSized(PacketWriter& w, View v, int off, int size, uint32_t raw) {
  if (size == 1) w.put8(v, off, uint8_t(raw));
  else if (size == 4) w.put32le(v, off, raw);
  else w.put16le(v, off, uint16_t(raw));
}

}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower((unsigned char)x) < std::tolower((unsigned char)y);
  });
}

ItemKind tlmItemKind(const ItemDef& d) {
  const std::string& n = d.name;
  std::string g = d.gainText;
  for (auto& c : g) c = char(std::toupper((unsigned char)c));
  std::string cv = d.conv;
  for (auto& c : cv) c = char(std::toupper((unsigned char)c));
  if (cv == "YSI") return ItemKind::Ysi;
  if (cv == "RTD") return ItemKind::Rtd;
  if (cv == "MAG") return ItemKind::Mag;
  if (cv == "UCUR") return ItemKind::Ucur;
  if (cv == "DCUR") return ItemKind::Dcur;
  if (cv == "LOGT" || g == "LOGT") return ItemKind::LogT;
  if (cv == "CLOCK") return ItemKind::SampleTime;
  if (cv == "TIME32") return ItemKind::Time;
  if (cv == "CKS") return ItemKind::Checksum;
  if (cv == "INT" || cv == "BITS" || cv == "HEX16" || cv == "HEX32") return ItemKind::Raw;
  if (g == "YSI") return ItemKind::Ysi;
  if (g == "RTD") return ItemKind::Rtd;
  if (g == "MAG") return ItemKind::Mag;
  if (inList(n, {"ISTEUDACTemp", "IDREVMCPTemp", "IDREVDACTemp"})) return ItemKind::Ysi;
  if (inList(n, {"ISTEUTemp", "ISTEDTemp"})) return ItemKind::Rtd;
  if (inList(n, {"IMAGTemp"})) return ItemKind::Mag;
  if (inList(n, {"ISTEUCur"})) return ItemKind::Ucur;
  if (inList(n, {"IDREVSTEDCur"})) return ItemKind::Dcur;
  if (inList(n, {"ITimeJitter"})) return ItemKind::Jitter;
  if (inList(n, {"ISampleTime"})) return ItemKind::SampleTime;
  if (inList(n, {"UTCs"})) return ItemKind::Time;
  if (inList(n, {"PTAC0_TSP", "PTAC2_TSP", "PTOF_HV0_TSP", "PTOF_HV1_TSP", "PS_C_0_TSP", "PS_C_1_TSP", "PLVC0_TSP",
                 "PLVC1_TSP", "PSSD_TC0", "PSSD_TC1", "PSSD_TC2"}))
    return ItemKind::LinearAB;
  // Shown as plain integers by the station (status words, counters, identifiers).
  if (inList(n, {"InterfaceEnables", "InterfaceActive", "IDREVSTEDDig", "ISTEUDig", "ISoftwareVersion",
                 "IHardwareVersion", "IErrorCode", "IErrorData", "IErrorCount", "ICommandCount", "ICommandLastID",
                 "ICommandLastSeq", "PCommandCount", "PCommandLastID", "PCommandLastSeq", "ISCStatus", "IBootSelect",
                 "ICodePage", "ICodePageStatus", "ICmdSeqRunning", "ICmdSeqMask", "ITelemEnables", "PTelemEnables",
                 "IBurstModeID", "IBurstCurCriteria", "IBurstSavePage", "IBurstSendPage", "IBurstBestCriteria",
                 "ISTEUDoorCount", "ISTEDDoorCount", "IAutoLUT", "ISTEModeID", "IDREVModeID", "IMagHKP",
                 "IMaxVANTISQ", "IMaxBRIMLETQ", "PSSD_STATUS", "PPLUG_ID", "PADC_LU_FLAG", "PDAC_STATUS",
                 "PADC_LU_CTR", "BLK_ID"}))
    return ItemKind::Raw;
  return ItemKind::Linear;
}

std::vector<int> defaultMix() {
  return {0x200, 0x210, 0x210, 0x210, 0x210, 0x210, 0x214, 0x214, 0x214, 0x212, 0x213, 0x208, 0x209,
          0x220, 0x222, 0x203, 0x202, 0x241, 0x313, 0x201, 0x240, 0x211, 0x211, 0x211, 0x211, 0x211,
          0x00B, 0x00C, 0x00D, 0x01C, 0x01E};
}

Generator::Generator(const Databases& db) : db_(db) {
  for (auto& l : db.tlm.items.lines) {
    ItemDef d = parseItem(l);
    if (!d.valid()) continue;
    d.kind = int(tlmItemKind(d));
    d.phase = phaseOf(d.name);
    static const char* kSpecial[] = {"ISoftwareVersion", "InterfaceActive", "InterfaceEnables", "ICmdSeqRunning",
                                     "IErrorCode",       "IErrorData",      "IErrorCount",      "ICommandCount",
                                     "ICommandLastID",   "ICommandLastSeq", "PCommandCount",    "PCommandLastID",
                                     "PCommandLastSeq"};
    for (int i = 0; i < int(sizeof kSpecial / sizeof *kSpecial); ++i)
      if (eqNoCase(d.name, kSpecial[i])) d.special = i + 1;
    tlmItems_.push_back(d);
  }
  static const char* kVolts[6] = {"ISTEU12V", "ISTEUVCC1", "ISTEU5VD", "IDREVSTE12V", "IDREVSTEDVCC1", "IDREVSTED5VD"};
  for (size_t i = 0; i < tlmItems_.size(); ++i) {
    bool dup = false;
    for (size_t j = 0; j < i && !dup; ++j) dup = eqNoCase(tlmItems_[j].name, tlmItems_[i].name.c_str());
    tlmDup_.push_back(dup);
    for (int v = 0; v < 6; ++v)
      if (vIdx_[v] < 0 && eqNoCase(tlmItems_[i].name, kVolts[v])) vIdx_[v] = int(i);
  }
  for (auto& l : db.sep.items.lines) {
    ItemDef d = parseItem(l);
    // SEP values are single bytes unless the line says otherwise.
    auto f = splitTabs(l);
    if (f.size() < 2 || !parseInt(f[1])) d.size = 1;
    if (!d.valid()) continue;
    d.phase = phaseOf(d.name);
    static const char* kSit[8] = {"SIT_HVMon",  "SIT_DTOF_Temp", "SIT_Foil_Temp", "SIT_SSD_Temp",
                                  "SIT_P33Mon", "SIT_P25Mon",    "SIT_P5DMon",    "SIT_P6Mon"};
    if (inList(d.name, {"HET_Temp1", "HET_Temp2"})) d.special = kSepHet;
    else if (inList(d.name, {"LET_Temp0", "LET_Temp1", "LET_Temp2", "LET_Temp3"})) d.special = kSepLet;
    else if (inList(d.name, {"SEP_APRBTemp", "SEP_BSBTemp", "SEP_LBTemp", "SEP_LVPSTemp"})) d.special = kSepTemp;
    else if (eqNoCase(d.name, "LET_L2A0_Ileakage")) d.special = kSepLeakFirst;
    else if (containsNoCase(d.name, "_Ileakage")) d.special = kSepLeak;
    for (int g = 0; g < 8; ++g)
      if (eqNoCase(d.name, kSit[g])) d.special = kSepSit + g;
    sepItems_.push_back(d);
  }
  // The first and last 16 lines of the command database are its report header and trailer.
  for (size_t i = 16; i + 16 < db.cmd.lines.size(); ++i) {
    auto t = db.cmd.expand(int(i), true);
    if (!t) continue;
    ApidClass c = apidClass(t->apid);
    // Identifier 0 (APID 0x200) ends a stored sequence, so processor commands cannot be dumped in one.
    if ((c == ApidClass::Suite || c == ApidClass::Companion) && (t->apid & 0x7F) != 0 && !t->data.empty() &&
        t->data.size() <= 40)
      commands_.push_back(*t);
  }
  for (int idx : db.brm.itemLines) {
    auto f = splitTabs(db.brm.lines.lines[idx]);
    if (f.size() < 3) continue;
    auto off = parseNumber(f[2]);
    if (!off || *off < 12 || *off >= 270) continue;
    std::string name = trim(f[0]);
    brmItems_.push_back({name, int(*off), containsNoCase(name, "CCSDS_PKT_TIME")});
  }
  static const double kLines[4] = {5.895, 22.08, 25.0, 88.04};
  for (int i = 0; i < 256; ++i) {
    int det = (i / 16) % 8, bin = i % 16;
    double e = 6.0 * bin + 3.0;
    double c = 5.0;
    for (double l : kLines) c += 400.0 * std::exp(-(e - l) * (e - l) / 18.0);
    spectra_[size_t(i)] = compress8(uint32_t(c * (1.0 + 0.05 * det)));
  }
  for (int r = 0; r < 7; ++r)
    for (int c = 0; c < 12; ++c)
      pitch_[size_t(12 * r + c)] = compress8(
          uint32_t(2000.0 * std::exp(-(r - 3.0) * (r - 3.0) / 4.0) * (1.0 + 0.5 * std::cos(2 * kPi * c / 12.0))));
  for (int smp = 0; smp < 336; ++smp)
    for (int ch = 0; ch < 16; ++ch)
      hkWave_[size_t(smp)][size_t(ch)] = int16_t(1200 * std::sin(2 * kPi * (smp / 336.0 + ch / 16.0)));
  for (int m = 0; m < 13; ++m) moments_[size_t(m)] = (m == 0 ? 5.0 : 100.0 * (m + 1)) * (m % 4 == 3 ? -1 : 1);
  // Analyzer distribution: a beam-like count pattern over energy, D and A.
  dist_.clear();
  for (int e = 0; e < 16; ++e)
    for (int d = 0; d < 6; ++d) {
      bool half = d == 0 || d == 5;
      int n = half ? 8 : 16;
      for (int a = 0; a < n; ++a) {
        double aa = half ? 2 * a : a;
        double c = 4000.0 * std::exp(-(e - 6.0) * (e - 6.0) / 8.0) * (1.2 + std::cos(2 * kPi * aa / 16.0)) *
                   (1.0 + 0.25 * d);
        dist_.push_back(compress8(uint32_t(half ? 2 * c : c)));
      }
    }
}

int Generator::takeSeq(int apid) {
  int& s = seq_[apid];
  int v = s;
  s = (s + 1) % kSeqModulo;
  return v;
}
int Generator::peekSeq(int apid) const {
  auto it = seq_.find(apid);
  return it == seq_.end() ? 0 : it->second;
}
void Generator::skipSeq(int apid, int n) {
  int& s = seq_[apid];
  s = int((s + (long)n) % kSeqModulo);
}
void Generator::setSeq(int apid, int seq) { seq_[apid] = seq % kSeqModulo; }

bool Generator::setValue(const std::string& name, double value) {
  bool known = false;
  for (auto& d : tlmItems_) known |= eqNoCase(d.name, name.c_str());
  for (auto& d : sepItems_) known |= eqNoCase(d.name, name.c_str());
  for (auto& s : db_.spc) known |= eqNoCase(s.key, name.c_str());
  for (int i : db_.brm.itemLines) {
    auto f = splitTabs(db_.brm.lines.lines[i]);
    known |= eqNoCase(trim(f[0]), name.c_str());
  }
  if (!known) return false;
  overrides_[name] = value;
  ++stateVersion_;
  return true;
}

void Generator::clearValue(const std::string& name) {
  overrides_.erase(name);
  ++stateVersion_;
}

std::optional<double> Generator::valueBeyondLimits(const std::string& name, std::string& why) const {
  const ItemDef* d = nullptr;
  for (auto& x : tlmItems_)
    if (!d && eqNoCase(x.name, name.c_str())) d = &x;
  for (auto& x : sepItems_)
    if (!d && eqNoCase(x.name, name.c_str())) d = &x;
  if (!d) {
    why = "no item " + name;
    return std::nullopt;
  }
  const Limits& L = d->limits;
  std::optional<double> hi = L.redHigh ? L.redHigh : L.yellowHigh;
  std::optional<double> lo = L.redLow ? L.redLow : L.yellowLow;
  if (!hi && !lo) {
    why = name + " has no limits";
    return std::nullopt;
  }
  double span = (hi && lo) ? std::fabs(*hi - *lo) : std::fabs(hi ? *hi : *lo);
  double margin = std::max(1.0, 0.1 * span);
  return hi ? *hi + margin : *lo - margin;
}

double Generator::nominal(const ItemDef& d, double t, bool raw) const {
  if (!overrides_.empty()) {
    auto it = overrides_.find(d.name);
    if (it != overrides_.end()) return it->second;
  }
  // Fixed values that keep the station's gates open: newer software, every unit powered, no
  // command sequence running, no error.
  switch (d.special) {
    case 1: return 20;
    case 2:
    case 3: return 0xFF;
    case 4: return 32;
    case 5: return cmd_.errCode;
    case 6: return cmd_.errData;
    case 7: return cmd_.errCount;
    default: break;
  }
  const Limits& L = d.limits;
  std::optional<double> lo = L.yellowLow ? L.yellowLow : L.redLow;
  std::optional<double> hi = L.yellowHigh ? L.yellowHigh : L.redHigh;
  double mid, half;
  if (lo && hi) {
    mid = (*lo + *hi) / 2;
    half = (*hi - *lo) / 2;
  } else if (hi || lo) {
    // One-sided limits: half-way between zero and the limit, on the limit's side.
    double l = hi ? *hi : *lo;
    mid = l / 2;
    half = std::fabs(l) / 4;
    if (l == 0) { mid = hi ? -1 : 1; half = 0.5; }
  } else {
    if (raw) return 0;
    return std::nan("");  // no limits: the caller picks a mid-range count
  }
  if (raw) return std::round(mid);
  // Drift slowly inside the inner part of the band so plots move without alarms.
  return mid + 0.3 * half * std::sin(2 * kPi * (t / 600.0 + d.phase));
}

Encoded Generator::encodeTlm(const ItemDef& d, ItemKind k, double v, double v12, double vcc1, double v5d) const {
  Encoded e;
  uint32_t maxRaw = maxRawOf(d.size);
  int maxInt = int(std::min<uint32_t>(maxRaw, 0x7FFFFFFF));
  bool b = spacecraftIndex == 2;
  double gain = b && k == ItemKind::LinearAB ? d.gainB : d.gainA;
  double off = b && k == ItemKind::LinearAB ? d.offB : d.offA;
  if (std::isnan(v)) {
    // No band to aim at: a mid-scale count of a 12-bit converter (or half a byte); for the
    // log-compressed jitter a couple of milliseconds.
    e.raw = d.size == 1 ? 0x80 : 0x800;
    v = k == ItemKind::LogT ? 0.002 : linearForward(e.raw, gain, off);
  }
  switch (k) {
    case ItemKind::Raw:
    case ItemKind::SampleTime:
    case ItemKind::Time:
      e.raw = uint32_t(std::llround(std::clamp(v, 0.0, double(maxRaw))));
      e.shown = e.raw;
      break;
    case ItemKind::Checksum:
      break;
    case ItemKind::LogT:
      e.raw = compress8(uint32_t(std::clamp(v, 0.0, 8.0) * 65536.0));
      e.shown = uncompress8(uint8_t(e.raw)) / 65536.0;
      break;
    case ItemKind::Jitter:
      e.raw = uint32_t(linearInverse(v, 1.0 / 65536.0, 0, maxInt));
      e.shown = e.raw / 65536.0;
      break;
    case ItemKind::Ysi:
      e.raw = uint32_t(polyInverse(db_.tlm.ysi.data(), 6, v, maxInt));
      e.shown = polyEval(db_.tlm.ysi.data(), 6, e.raw);
      break;
    case ItemKind::Rtd:
      e.raw = uint32_t(polyInverse(db_.tlm.rtd.data(), 3, v, maxInt));
      e.shown = polyEval(db_.tlm.rtd.data(), 3, e.raw);
      break;
    case ItemKind::Mag:
      e.raw = uint32_t(polyInverse(db_.tlm.mag.data(), 6, v, maxInt));
      e.shown = polyEval(db_.tlm.mag.data(), 6, e.raw);
      break;
    case ItemKind::Ucur:
    case ItemKind::Dcur: {
      const double* c = k == ItemKind::Ucur ? db_.tlm.ucur.data() : db_.tlm.dcur.data();
      double x = currentInverseX(v, c, v12, vcc1, v5d);
      e.raw = uint32_t(linearInverse(x, gain, off, maxInt));
      e.shown = currentForward(linearForward(e.raw, gain, off), c, v12, vcc1, v5d);
      break;
    }
    case ItemKind::Linear:
    case ItemKind::LinearAB:
      e.raw = uint32_t(linearInverse(v, gain, off, maxInt));
      e.shown = linearForward(e.raw, gain, off);
      break;
  }
  return e;
}

void Generator::build(int apid, double t, PacketWriter& w, bool corrupt) {
  ++counter_;
  w.tx.fill(0);
  switch (apid) {
    case 0x200: buildHk(w, t); break;
    case 0x201: buildTableDump(w, t); break;
    case 0x202: buildEvents(w, t); break;
    case 0x203: buildBurst(w, t); break;
    case 0x208: buildMag(w, t, false); break;
    case 0x209: buildMag(w, t, true); break;
    case 0x210:
    case 0x211: buildDistribution(w, apid); break;
    case 0x212: buildPitch(w, t); break;
    case 0x213: buildMoments(w, t); break;
    case 0x214: buildAnalyzerHk(w, t); break;
    case 0x220: buildSteRates(w, t); break;
    case 0x222: buildSteSpectra(w); break;
    case 0x240: buildSepText(w); break;
    case 0x241: buildSepHk(w, t); break;
    case 0x313: buildCompanion(w, t); break;
    case 0x00B:
    case 0x00C:
    case 0x00D:
    case 0x01C:
    case 0x01E: buildSpacecraft(w, apid, t); break;
    default: buildFiller(w); break;
  }
  // Header last: the data builders may have used the low byte of the fraction (see the dumps).
  // (station byte 10 is transmission byte 11: the low byte of the fraction).
  uint8_t keep11 = w.tx[11];
  bool dataUsesByte11 = apid == 0x201 || apid == 0x222 || apid == 0x210 || apid == 0x211 || apid == 0x212 ||
                        apid == 0x240;
  w.setHeader(apid, takeSeq(apid), secs1958(t), frac65536(t));
  if (dataUsesByte11) w.tx[11] = keep11;
  if (apid == 0x241) {
    // SEP sends every 16-bit word low byte first, the packet-time fraction included: the station
    // reads it (UTCf at 10) from the pairs it exchanges a second time from byte 10 on.
    uint16_t f = frac65536(t);
    w.tx[10] = uint8_t(f & 0xFF);
    w.tx[11] = uint8_t(f >> 8);
  }
  if (apidHasChecksum(apid)) w.seal(checksumOffset(apid), corrupt);
  else if (corrupt) w.tx[271] ^= 0x01;  // no checksum below 0x080: flip a data bit instead
}

// ---- 0x200 processor housekeeping -------------------------------------------------------------

void Generator::buildHk(PacketWriter& w, double t) {
  int64_t sec = int64_t(std::floor(t));
  if (hkCache_.second == sec && hkCache_.version == stateVersion_ && hkCache_.sc == spacecraftIndex) {
    w = hkCache_.w;
    return;
  }
  std::vector<bool> used(kPacketSize, false);
  for (int i = 0; i < 12; ++i) used[i] = true;  // primary and secondary header
  used[PacketWriter::map(View::Station, checksumOffset(0x200))] = true;
  std::vector<double> shown(tlmItems_.size(), std::nan(""));
  auto place = [&](const ItemDef& d) {
    int n = d.size;
    if (d.offset < 0 || d.offset + n > kPacketSize) return false;
    for (int i = 0; i < n; ++i)
      if (used[d.offset + i]) return false;
    for (int i = 0; i < n; ++i) used[d.offset + i] = true;
    return true;
  };
  std::vector<size_t> currents;
  for (size_t idx = 0; idx < tlmItems_.size(); ++idx) {
    const ItemDef& d = tlmItems_[idx];
    ItemKind k = ItemKind(d.kind);
    if (k == ItemKind::Checksum) continue;
    if (k == ItemKind::Ucur || k == ItemKind::Dcur) {
      currents.push_back(idx);
      continue;
    }
    bool overridden = !overrides_.empty() && overrides_.count(d.name) > 0;
    if (!overridden && tlmDup_[idx]) continue;
    if (!place(d) && !overridden) continue;
    uint32_t raw;
    double value;
    if (d.special >= 8 && d.special <= 13 && !overridden) {
      const auto& c = cmd_;
      const uint32_t v[6] = {c.count, c.lastId, c.lastSeq, c.pCount, c.pLastId, c.pLastSeq};
      raw = v[d.special - 8];
      raw &= maxRawOf(d.size);
      value = raw;
    } else if (k == ItemKind::Time && !overridden) {
      raw = secs1958(t) & maxRawOf(d.size);
      value = raw;
    } else if (k == ItemKind::SampleTime && !overridden) {
      // hours (4 bits), minutes (6), seconds (6) of the packet time, in the packet's byte order
      int64_t s = sec % 86400;
      raw = uint32_t(((s / 3600) % 16) << 12 | ((s / 60) % 60) << 6 | (s % 60));
      value = raw;
    } else {
      Encoded e = encodeTlm(d, k, nominal(d, t, k == ItemKind::Raw), 0, 0, 0);
      raw = e.raw;
      value = e.shown;
    }
    putSized(w, View::Station, d.offset, d.size, raw);
    // The station keeps two decimals of every value it shows; the current monitors use those.
    shown[idx] = std::round(value * 100.0) / 100.0;
  }
  // A voltage missing from the packet reads as the station's "not found" value.
  auto sv = [&](int v) {
    int i = vIdx_[v];
    return i < 0 || std::isnan(shown[size_t(i)]) ? 999999.999999 : shown[size_t(i)];
  };
  for (size_t idx : currents) {
    const ItemDef* d = &tlmItems_[idx];
    ItemKind k = ItemKind(d->kind);
    bool overridden = !overrides_.empty() && overrides_.count(d->name) > 0;
    if (!place(*d) && !overridden) continue;
    int b = k == ItemKind::Ucur ? 0 : 3;
    double v12 = sv(b), vcc1 = sv(b + 1), v5d = sv(b + 2);
    Encoded e = encodeTlm(*d, k, nominal(*d, t, false), v12, vcc1, v5d);
    putSized(w, View::Station, d->offset, d->size, e.raw);
    shown[idx] = e.shown;
  }
  lastShown_ = shown;
  hkCache_.second = sec;
  hkCache_.version = stateVersion_;
  hkCache_.sc = spacecraftIndex;
  hkCache_.w = w;
}

std::optional<double> Generator::shownValue(const std::string& name, double t) {
  PacketWriter w;
  buildHk(w, t);
  for (size_t i = 0; i < tlmItems_.size() && i < lastShown_.size(); ++i)
    if (eqNoCase(tlmItems_[i].name, name.c_str()) && !std::isnan(lastShown_[i])) return lastShown_[i];
  return std::nullopt;
}

// ---- 0x201 table and sequence dumps -----------------------------------------------------------

void Generator::buildTableDump(PacketWriter& w, double) {
  // Cycle: the table block (1, 2, 3, 4, 5, 8 back to back), table 10, then the 16 packets of
  // stored sequences 0..31.
  int& p = part_[0x201];
  int step = p++ % 18;
  int id = step == 0 ? 1 : step == 1 ? 10 : 32 + 2 * (step - 2);
  w.put8(View::Transmission, 11, uint8_t(id));  // read with the time words back in transmission order
  w.put8(View::Station, 12, 0);                 // memory page
  w.put16le(View::Station, 13, 0);              // address
  if (id < 32) {
    for (int k = 0; k < 255; ++k) w.put8(View::Station, 15 + k, uint8_t((k * 13 + id) & 0xFF));
    return;
  }
  for (int half = 0; half < 2; ++half) {
    int seqNo = id - 32 + half;
    int base = 15 + 128 * half;
    int pos = 0;
    auto put = [&](uint8_t b) {
      if (pos < 128) w.put8(View::Station, base + pos++, b);
    };
    if (commands_.empty()) {
      // No command database: records of a generic processor command, so the layout still shows.
      for (int r = 0; r < 3; ++r) {
        put(uint8_t(0x05 + r));
        put(2);
        put(uint8_t(seqNo));
        put(uint8_t(r));
      }
    } else {
      for (size_t r = 0; r < 8; ++r) {
        const auto& c = commands_[(seqNo * 3 + r) % commands_.size()];
        int n = int(c.data.size());
        int need = 2 + n + (n & 1);
        if (pos + need + 1 > 128) break;
        bool comp = apidClass(c.apid) == ApidClass::Companion;
        put(uint8_t((c.apid & 0x7F) | (comp ? 0x80 : 0)));
        put(uint8_t(n));
        for (uint8_t b : c.data) put(b);
        if (n & 1) put(0);
      }
    }
    put(0);  // end of sequence
  }
}

// ---- 0x202 events ----------------------------------------------------------------------------

void Generator::buildEvents(PacketWriter& w, double t) {
  int& p = part_[0x202];
  ++p;
  if (events_.empty() && p % 16 == 1) {
    // A quiet instrument still reports now and then: a sequence event.
    events_.push_back(EventEntry{3, 0, uint8_t(p / 16), 0, secs1958(t)});
  }
  for (int k = 0; k < 26 && !events_.empty(); ++k) {
    EventEntry e = events_.front();
    events_.pop_front();
    int off = 14 + 8 * k;
    w.put8(View::Station, off, e.type);
    w.put8(View::Station, off + 1, e.p1);
    w.put8(View::Station, off + 2, e.p2);
    w.put8(View::Station, off + 3, e.p3);
    w.put32be(View::Transmission, off + 4, e.secs1958 ? e.secs1958 : secs1958(t));
  }
  w.put8(View::Station, 270, 0);  // no overrun
}

// ---- 0x203 burst criteria --------------------------------------------------------------------

void Generator::buildBurst(PacketWriter& w, double t) {
  int s = int(int64_t(t) % 256);
  for (int q = 0; q < 32; ++q)
    for (int i = 0; i < 8; ++i)
      w.put8(View::Station, 15 + 8 * q + i, uint8_t(20 * i + 10 + (q + s) % 8 + (i == 7 ? (q % 2) : 0)));
}

// ---- 0x208 / 0x209 magnetometer ----------------------------------------------------------------

void Generator::buildMag(PacketWriter& w, double t, bool burst) {
  int dt32 = burst ? 1 : 4;  // sample spacing in 1/32 s
  w.put8(View::Station, 13, uint8_t(dt32));
  w.put8(View::Station, 16, 0);  // mode flag clear
  // The field turns once a minute; step the angle by rotation instead of calling sin/cos per sample.
  double ph0 = 2 * kPi * std::fmod(t, 60.0) / 60.0, dph = 2 * kPi * (dt32 / 32.0) / 60.0;
  double c = std::cos(ph0), s = std::sin(ph0), dc = std::cos(dph), ds = std::sin(dph);
  for (int i = 0; i < 42; ++i) {
    int bx = int(std::lround(3000 * c));
    int by = int(std::lround(3000 * s));
    int bz = int(std::lround(1500 + 200 * s * c));
    double nc = c * dc - s * ds;
    s = s * dc + c * ds;
    c = nc;
    w.put16le(View::Station, 18 + 6 * i, uint16_t(32768 + bx));
    w.put16le(View::Station, 20 + 6 * i, uint16_t(32768 + by));
    w.put16le(View::Station, 22 + 6 * i, uint16_t(32768 + bz));
  }
}

// ---- 0x210 / 0x211 distributions -------------------------------------------------------------

void Generator::buildDistribution(PacketWriter& w, int apid) {
  int& p = part_[apid];
  int k = p++ % 5;
  w.put8(View::Station, 10, 4);  // seconds per distribution, sets the chart spans
  w.put8(View::Station, 12, uint8_t(3 * k));
  w.put8(View::Station, 13, 1);
  w.put8(View::Station, 14, 0);
  int rot = int(counter_ / 31) % 16;
  for (int j = 0; j < 256; ++j) {
    int idx = k * 256 + j;
    uint8_t v = dist_[idx];
    // Let the beam wander in A: shift within each 16-byte run.
    if (rot && idx % 80 >= 8 && idx % 80 < 72) {
      int row0 = idx - ((idx % 80) - 8) % 16;
      v = dist_[row0 + (((idx - row0) + rot) % 16)];
    }
    w.put8(View::Station, 15 + j, v);
  }
}

// ---- 0x212 pitch -----------------------------------------------------------------------------

void Generator::buildPitch(PacketWriter& w, double t) {
  w.put8(View::Station, 10, 4);
  w.put8(View::Station, 12, 1);
  for (int b = 0; b < 3; ++b) {
    int base = 13 + 86 * b;
    double az = std::fmod(t * 2.0 + 40 * b, 360.0);
    w.put8(View::Station, base, uint8_t(az * 256 / 360));
    w.put8(View::Station, base + 1, uint8_t(64 + 10 * b));
    for (int k = 0; k < 84; ++k) w.put8(View::Station, base + 2 + k, pitch_[size_t(k)]);
  }
}

// ---- 0x213 moments ---------------------------------------------------------------------------

void Generator::buildMoments(PacketWriter& w, double t) {
  w.put8(View::Station, 12, 2);
  w.put16le(View::Station, 13, uint16_t(counter_));
  w.put16le(View::Station, 15, 100);
  w.put16le(View::Station, 17, 200);
  double wobble = 1.0 + 0.1 * std::sin(t / 30.0);
  for (int s = 0; s < 9; ++s) {
    int base = 19 + 28 * s;
    double f = wobble * (1.0 + 0.01 * s);
    for (int m = 0; m < 13; ++m) w.put16le(View::Station, base + 2 * m, encodeMoment(moments_[size_t(m)] * f));
    w.put8(View::Station, base + 26, uint8_t(s));
    w.put8(View::Station, base + 27, 0x0A);  // status: bits 1 and 3 set
  }
}

// ---- 0x214 analyzer housekeeping in three parts ----------------------------------------------

void Generator::buildAnalyzerHk(PacketWriter& w, double t) {
  static const int kParts[3] = {336, 208, 80};
  static const int kWords[3] = {128, 128, 80};
  int& p = part_[0x214];
  int k = p++ % 3;
  w.put16le(View::Station, 12, uint16_t(kParts[k]));
  int drift = int(100 * std::sin(t / 100.0));
  for (int i = 0; i < kWords[k]; ++i) {
    int ch = i % 16;
    int sample = (k == 0 ? 127 : k == 1 ? 255 : 335) - i;
    int n = 2048 + drift + hkWave_[size_t(sample)][size_t(ch)];
    w.put16le(View::Station, 14 + 2 * i, uint16_t((ch << 12) | (n & 0xFFF)));
  }
}

// ---- 0x220 STE rates, 0x222 spectra ----------------------------------------------------------

void Generator::buildSteRates(PacketWriter& w, double t) {
  const int a = 4;
  w.put8(View::Station, 12, a);
  for (int f = 0; f < 10; ++f) {
    double m = 1.0 + 0.3 * std::sin(t / 20.0 + f * 0.4);
    for (int c = 0; c < 24; ++c)
      w.put8(View::Station, 21 + 25 * f + c, compress8(uint32_t(50.0 * (c + 1) * m * a)));
  }
}

void Generator::buildSteSpectra(PacketWriter& w) {
  w.put8(View::Station, 10, 4);   // accumulation seconds
  w.put8(View::Station, 12, 16);  // energies per spectrum
  w.put8(View::Station, 13, 1);   // mode
  w.put8(View::Station, 14, 0);
  for (int i = 0; i < 256; ++i) w.put8(View::Station, 15 + i, spectra_[size_t(i)]);
}

// ---- 0x240 SEP text replies, 0x241 SEP housekeeping ------------------------------------------

void Generator::buildSepText(PacketWriter& w) {
  std::string text;
  if (!sepTexts_.empty()) {
    text = sepTexts_.front();
    sepTexts_.pop_front();
  } else {
    int& p = part_[0x240];
    text = "SEP STATUS NOMINAL #" + std::to_string(++p);
  }
  if (text.size() > 258) text.resize(258);
  for (size_t i = 0; i < text.size(); ++i) w.put8(View::Transmission, 11 + int(i), uint8_t(text[i]));
  w.put8(View::Transmission, 11 + int(text.size()), 0);
}

void Generator::buildSepHk(PacketWriter& w, double t) {
  int64_t sec = int64_t(std::floor(t));
  if (sepCache_.second == sec && sepCache_.version == stateVersion_ && sepCache_.sc == spacecraftIndex) {
    w = sepCache_.w;
    return;
  }
  // The station exchanges the pairs of this packet from byte 10 on a second time: items are
  // addressed in transmission order from byte 10 on.
  auto view = [](int off) { return off >= 10 ? View::Transmission : View::Station; };
  std::vector<bool> used(kPacketSize, false);
  for (int i = 0; i < 12; ++i) used[i] = true;
  used[checksumOffset(0x241)] = true;
  const auto& S = db_.sep;
  int g = spacecraftIndex == 2 ? 2 : 0;  // offset index of the current spacecraft, gain = +1
  auto sitGroup = [&](const ItemDef& d) -> int {
    return d.special >= kSepSit && d.special < kSepSit + 8 ? d.special - kSepSit : -1;
  };
  // p6 first: the other SIT monitors are corrected with it.
  double p6 = 0;
  for (auto& d : sepItems_)
    if (sitGroup(d) == 7) {
      double want = nominal(d, t, false);
      double gain = S.sit[7][g + 1] == 0 ? 1 : S.sit[7][g + 1];
      if (std::isnan(want)) want = 6.0;
      int raw = linearInverse(want, gain, S.sit[7][g], int(maxRawOf(d.size)));
      p6 = linearForward(raw, gain, S.sit[7][g]);
    }
  int leakOffset = -1;
  for (auto& d : sepItems_) {
    if (d.special == kSepLeak || d.special == kSepLeakFirst) {
      if (d.special == kSepLeakFirst) leakOffset = d.offset;
      continue;
    }
    int n = d.size;
    if (d.offset < 0 || d.offset + n > kPacketSize) continue;
    bool free = true;
    for (int i = 0; i < n; ++i) free = free && !used[d.offset + i];
    if (!free && (overrides_.empty() || !overrides_.count(d.name))) continue;
    for (int i = 0; i < n; ++i) used[d.offset + i] = true;
    int maxRaw = int(maxRawOf(n) > 0x7FFFFFFF ? 0x7FFFFFFF : maxRawOf(n));
    double want = nominal(d, t, false);
    uint32_t raw;
    int sg = sitGroup(d);
    if (std::isnan(want)) {
      raw = n == 1 ? 0x40 : 0x400;
    } else if (d.special == kSepHet) {
      raw = uint32_t(linearInverse(hetInverse(want), d.gainA, d.offA, maxRaw));
    } else if (d.special == kSepLet) {
      raw = uint32_t(polyInverse(S.let.data(), 6, want, 255));
    } else if (d.special == kSepTemp) {
      raw = uint32_t(polyInverse(S.sep.data(), 6, want, 255));
    } else if (sg >= 0) {
      double gain = S.sit[sg][g + 1] == 0 ? 1 : S.sit[sg][g + 1];
      double off = S.sit[sg][g];
      double corr = sg == 7 ? 0 : (S.vrp6[g] - p6) * S.vrp6[g + 1];
      raw = uint32_t(linearInverse(want + corr, gain, off, maxRaw));
    } else {
      raw = uint32_t(linearInverse(want, d.gainA, d.offA, maxRaw));
    }
    if (n == 1) w.put8(view(d.offset), d.offset, uint8_t(raw));
    else if (n == 4) {
      for (int i = 0; i < 4; ++i) w.put8(view(d.offset + i), d.offset + i, uint8_t(raw >> (8 * i)));
    } else {
      w.put8(view(d.offset), d.offset, uint8_t(raw));
      w.put8(view(d.offset + 1), d.offset + 1, uint8_t(raw >> 8));
    }
  }
  if (leakOffset >= 12) {
    // Fourteen groups of four channels, each channel c = 1, f = 0: 0x08 0x02 0x00 0x80 0x20.
    static const uint8_t kGroup[5] = {0x08, 0x02, 0x00, 0x80, 0x20};
    for (int gI = 0; gI < 14; ++gI)
      for (int b = 0; b < 5; ++b) {
        int off = leakOffset + 5 * gI + b;
        if (off < kPacketSize && !used[off]) w.put8(view(off), off, kGroup[b]);
      }
  }
  sepCache_.second = sec;
  sepCache_.version = stateVersion_;
  sepCache_.sc = spacecraftIndex;
  sepCache_.w = w;
}

// ---- 0x313 companion instrument ----------------------------------------------------------------

void Generator::buildCompanion(PacketWriter& w, double t) {
  for (auto& it : brmItems_) {
    int o = it.offset;
    if (it.time) {
      uint32_t s = secs1958(t);
      if (o + 6 > 270) continue;
      w.put16le(View::Station, o, uint16_t(s >> 16));
      w.put16le(View::Station, o + 2, uint16_t(s));
      w.put16le(View::Station, o + 4, frac65536(t));
      continue;
    }
    auto ov = overrides_.empty() ? overrides_.end() : overrides_.find(it.name);
    // The instrument reports its own limit flags in bits 0x10 and 0x08: stay clear of them.
    uint8_t v = ov != overrides_.end() ? uint8_t(std::lround(ov->second)) : uint8_t((o * 7) & 0x07);
    w.put8(View::Station, o, v);
  }
}

// ---- spacecraft packets ------------------------------------------------------------------------

namespace {
struct BitField {
  int byte = 0;   // first byte (packet offset)
  int width = 8;  // 8 or 16 bits read big-endian from `byte`
  int shift = 0;  // value = (read >> shift) & mask
  int bits = 8;
};
std::optional<BitField> spcField(int ndx, int bofs, int numb) {
  BitField f;
  f.bits = numb;
  if (numb <= 0 || numb > 16) return std::nullopt;
  if (bofs == 0) {
    if (numb == 8) f = {ndx, 8, 0, 8};
    else if (numb == 16) f = {ndx, 16, 0, 16};
    else if (numb < 8) f = {ndx, 8, 8 - numb, numb};
    else f = {ndx, 16, 16 - numb, numb};
  } else if (bofs >= 1 && bofs <= 7) {
    if (bofs + numb <= 8) f = {ndx, 8, 8 - bofs - numb, numb};
    else if (numb > 7 && bofs + numb <= 16) f = {ndx, 16, 16 - bofs - numb, numb};
    else return std::nullopt;
  } else if (bofs == 8 && numb <= 8) {
    f = {ndx + 1, 8, 8 - numb, numb};
  } else if (bofs >= 9 && bofs <= 15 && bofs + numb - 8 <= 8) {
    f = {ndx + 1, 8, 16 - bofs - numb, numb};
  } else if (bofs == 16) {
    f = {ndx + 2, 16, 0, 16};
  } else {
    return std::nullopt;
  }
  return f;
}
View spcView(int off) { return off >= 10 ? View::Transmission : View::Station; }
}  // namespace

bool writeSpacecraftBits(PacketWriter& w, int ndx, int bofs, int numb, uint32_t raw) {
  auto f = spcField(ndx, bofs, numb);
  if (!f || f->byte < 0 || f->byte + f->width / 8 > kPacketSize) return false;
  uint32_t mask = (f->bits >= 32 ? 0xFFFFFFFFu : ((1u << f->bits) - 1)) << f->shift;
  uint32_t cur = w.get8(spcView(f->byte), f->byte);
  if (f->width == 16) cur = (cur << 8) | w.get8(spcView(f->byte + 1), f->byte + 1);
  cur = (cur & ~mask) | ((raw << f->shift) & mask);
  if (f->width == 16) {
    w.put8(spcView(f->byte), f->byte, uint8_t(cur >> 8));
    w.put8(spcView(f->byte + 1), f->byte + 1, uint8_t(cur));
  } else {
    w.put8(spcView(f->byte), f->byte, uint8_t(cur));
  }
  return true;
}

std::optional<uint32_t> readSpacecraftBits(const PacketWriter& w, int ndx, int bofs, int numb) {
  auto f = spcField(ndx, bofs, numb);
  if (!f || f->byte < 0 || f->byte + f->width / 8 > kPacketSize) return std::nullopt;
  uint32_t cur = w.get8(spcView(f->byte), f->byte);
  if (f->width == 16) cur = (cur << 8) | w.get8(spcView(f->byte + 1), f->byte + 1);
  return (cur >> f->shift) & ((1u << f->bits) - 1);
}

void Generator::buildSpacecraft(PacketWriter& w, int apid, double t) {
  char suffix[8];
  std::snprintf(suffix, sizeof suffix, "_%03X", apid);
  for (auto& it : db_.spc) {
    if (!containsNoCase(it.key, suffix)) continue;
    if (it.ndx < 10) continue;  // the header is the header
    double want;
    auto ov = overrides_.find(it.key);
    if (ov != overrides_.end()) want = ov->second;
    else if (it.yl && it.yh) want = (*it.yl + *it.yh) / 2;
    else want = it.numb < 8 ? 0 : (it.vmlt != 0 ? it.vofs + it.vmlt * 100 : it.vofs + 100);
    double raw = it.vmlt != 0.0 ? (want - it.vofs) / it.vmlt : want - it.vofs;
    uint32_t maxRaw = it.numb >= 32 ? 0xFFFFFFFFu : ((1u << it.numb) - 1);
    raw = std::clamp(std::round(raw), 0.0, double(maxRaw));
    writeSpacecraftBits(w, it.ndx, it.bofs, it.numb, uint32_t(raw));
  }
  (void)t;
}

void Generator::buildFiller(PacketWriter& w) {
  for (int i = 12; i < kPacketSize; ++i) w.tx[i] = uint8_t(i);
}

void Generator::raiseError(uint8_t code, uint8_t data, double t) {
  cmd_.errCode = code;
  cmd_.errData = data;
  cmd_.errCount = (cmd_.errCount + 1) & 0xFF;
  events_.push_back(EventEntry{1, data, code, 0, secs1958(t)});
  ++stateVersion_;
}

// ---- commands --------------------------------------------------------------------------------

void Generator::execute(const ScmPacket& p, double t) {
  uint32_t s = secs1958(t);
  if (!p.checksumOk) {
    // The processor refuses a packet whose bytes do not add up and says so in its event log.
    ++cmd_.rejected;
    uint8_t code = 1;
    for (auto& l : db_.err.lines) {
      if (containsNoCase(l, "checksum")) {
        auto f = splitTabs(l);
        for (auto& x : f)
          if (auto v = parseInt(x); v && *v > 0 && *v < 256) {
            code = uint8_t(*v);
            break;
          }
        break;
      }
    }
    raiseError(code, uint8_t(p.commandId), t);
    return;
  }
  ++cmd_.count;
  ++cmd_.executed;
  cmd_.lastId = uint32_t(p.commandId);
  cmd_.lastSeq = uint32_t(p.seq);
  if (apidClass(p.apid) == ApidClass::Companion) {
    ++cmd_.pCount;
    cmd_.pLastId = uint32_t(p.commandId);
    cmd_.pLastSeq = uint32_t(p.seq);
  }
  uint8_t d0 = p.data.empty() ? 0 : p.data[0];
  events_.push_back(EventEntry{2, uint8_t(cmd_.count), uint8_t(p.commandId), d0, s});
  if (p.apid >= 0x240 && p.apid <= 0x26F) {
    char b[64];
    std::snprintf(b, sizeof b, "CMD %03X SEQ %d ACK ", p.apid, p.seq);
    queueSepText(b + hex(p.data.data(), std::min<size_t>(p.data.size(), 64), true));
  }
  ++stateVersion_;
}

}  // namespace mocsim
