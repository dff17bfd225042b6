#include "telemetry/decode.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <ctime>

#include "telemetry/convert.h"

namespace korvex {

namespace {

constexpr int kPacket = 272;

enum class K {
  I8, I16,      // integers
  U8u,          // "%u", not checked
  L8, L16,      // linear, "%.2f"
  L16F6,        // linear, "%f"
  Jit,          // 16-bit × 2^-16, "%f"
  Ysi, Rtd, Mag, Ucur, Dcur,
  B8Cnt,        // companion counters and flags, "%.0f"
  B8F2, B16F2,  // companion values, "%.2f" and the unit of field 7
  BHex,         // companion status word, "%.4X"
  BAB8, BAB16,  // companion temperatures with per-spacecraft coefficients
  L16U7,        // linear, "%.2f", unit of field 7
};
enum class G { None, Uap3, Dap3, Vp, NoCheck };

bool Wide(K k) {
  switch (k) {
    case K::I16: case K::L16: case K::L16F6: case K::Jit: case K::Ysi: case K::Rtd: case K::Mag:
    case K::Ucur: case K::Dcur: case K::B16F2: case K::BHex: case K::BAB16: case K::L16U7:
      return true;
    default:
      return false;
  }
}

// A digital check: the text, the position that is abnormal when it equals `bad`, severity and
// the value text logged with it.
struct BitCheck {
  const char* text;
  int pos;
  int bad;
  bool red;
  const char* valueText;  // nullptr: the bit's own value
  const char* control;    // the control painted (bit control), nullptr: the word only
};

// Digital check counter bases, one range per status word.
constexpr int kDigIfEnables = 0, kDigIfActive = 8, kDigDrev = 16, kDigSteu = 32, kDigSc = 48,
              kDigCodePage = 56, kDigTelem = 64, kDigPTelem = 80, kDigMag = 96;

const char* const kIfEnablesBits[8] = {
    "InterfaceEnables BRIMLET SysCmd ", "InterfaceEnables EEPROMWriteEnable ",
    nullptr,
    "InterfaceEnables BRIMLETInterface ", "InterfaceEnables SEPInterface ",
    "InterfaceEnables DREVInterface ", "InterfaceEnables STEUInterface ",
    "InterfaceEnables MAG Interface "};
const char* const kIfEnablesCtrls[8] = {
    "InterfaceEnables BRIMLET SysCmd", "InterfaceEnables EEPROMWriteEnable",
    "InterfaceEnables Bit 2",
    "InterfaceEnables BRIMLETInterface", "InterfaceEnables SEPInterface",
    "InterfaceEnables DREVInterface", "InterfaceEnables STEUInterface",
    "InterfaceEnables MAG Interface"};
const char* const kIfActiveBits[8] = {
    "SEPTimeout ", "RADIUX Timeout ", "RADIUX Instrument Interface ",
    "BRIMLET Instrument Interface ", "SEP Instrument Interface ", "DREV Instrument Interface ",
    "STEU Instrument Interface ", "MAG Instrument Interface "};
const char* const kIfActiveCtrls[8] = {
    "SEPTimeout", "RADIUX Timeout", "RADIUX Instrument Interface",
    "BRIMLET Instrument Interface", "SEP Instrument Interface", "DREV Instrument Interface",
    "STEU Instrument Interface", "MAG Instrument Interface"};
const char* const kScBits[8] = {
    nullptr, "ISCStatus RADIUX Power Warning ", "ISCStatus Coarse Pointing ",
    "ISCStatus Thruster Warning ", "ISCStatus BRIMLET Power ", "ISCStatus DREV Power ",
    "ISCStatus SEP Power ", "ISCStatus IDPU Power"};
const char* const kScCtrls[8] = {
    "ISCStatus Bit 0", "ISCStatus RADIUX Power Warning", "ISCStatus Coarse Pointing",
    "ISCStatus Thruster Warning", "ISCStatus BRIMLET Power", "ISCStatus DREV Power",
    "ISCStatus SEP Power", "ISCStatus IDPU Power"};
const char* const kScValues[8] = {nullptr, "OFF", "BAD", "FIRE", "OFF", "OFF", "OFF", "OFF"};
const char* const kCodePageBits[5] = {
    "EEPROM Code Page 0 Checksum Status", "EEPROM Code Page 1 Checksum Status",
    "EEPROM Code Page 2 Checksum Status", "EEPROM Code Page 3 Checksum Status",
    "RAM Code Page CheckSum Status"};
// ITelemEnables: bits 0, 1, 4 .. 12 are checked (normal: enabled).
const char* const kTelemBits[16] = {
    "TelemEnables DREVMomComp ", "TelemEnables BurstCriteria ", nullptr, nullptr,
    "TelemEnables DREVMomTlm ", "TelemEnables DREV PAD Tlm ", "TelemEnables DREVDistBurst ",
    "TelemEnables DREVDistTlm ", "TelemEnables STESpecBurst ", "TelemEnables STESpecTlm ",
    "TelemEnables STERatesBurst ", "TelemEnables STERatesTlm ", "TelemEnables MagBurst ",
    nullptr, nullptr, nullptr};
const char* const kTelemCtrls[16] = {
    "TelemEnables DREVMomComp", "TelemEnables BurstCriteria", "ITelemEnables Bit 2",
    "ITelemEnables Bit 3", "TelemEnables DREVMomTlm", "TelemEnables DREV PAD Tlm",
    "TelemEnables DREVDistBurst", "TelemEnables DREVDistTlm", "TelemEnables STESpecBurst",
    "TelemEnables STESpecTlm", "TelemEnables STERatesBurst", "TelemEnables STERatesTlm",
    "TelemEnables MagBurst", "ITelemEnables Bit 13", "ITelemEnables Bit 14",
    "ITelemEnables Bit 15"};
const char* const kPTelemBits[16] = {
    "PTelemEnables SPARE 0 ", "PTelemEnables SPARE 1 ", "PTelemEnables SPARE 2 ",
    "PTelemEnables SPARE 3 ", "PTelemEnables SPARE 4 ", "PTelemEnables SPARE 5 ",
    "PTelemEnables SPARE 6 ", "PTelemEnables SPARE 7 ", "PTelemEnables SPARE 8 ",
    "PTelemEnables SPARE 9 ", "PTelemEnables SPARE 10 ", "PTelemEnables SPARE 11 ",
    "PTelemEnables SPARE 14 ", "PTelemEnables SPARE 15 ", "PTelemEnables SPARE 16 ",
    "PTelemEnables SPARE 17 "};
const char* const kPTelemCtrls[16] = {
    "PTelemEnables SPARE 0", "PTelemEnables SPARE 1", "PTelemEnables SPARE 2",
    "PTelemEnables SPARE 3", "PTelemEnables SPARE 4", "PTelemEnables SPARE 5",
    "PTelemEnables SPARE 6", "PTelemEnables SPARE 7", "PTelemEnables SPARE 8",
    "PTelemEnables SPARE 9", "PTelemEnables SPARE 10", "PTelemEnables SPARE 11",
    "PTelemEnables SPARE 14", "PTelemEnables SPARE 15", "PTelemEnables SPARE 16",
    "PTelemEnables SPARE 17"};
const char* const kMagBits[4] = {"Mag Error Counter ", "Mag Spare Bit ",
                                 "Mag Interface Parity Errror ", "Mag Interface Timeout Error "};
const char* const kMagCtrls[4] = {"Mag Error Counter", "Mag Spare Bit",
                                  "Mag Interface Parity Errror", "Mag Interface Timeout Error"};
const char* const kAutoLutCtrls[16] = {
    "IAutoLUT Bit 0", "IAutoLUT Bit 1", "IAutoLUT Bit 2", "IAutoLUT Bit 3", "IAutoLUT Bit 4",
    "IAutoLUT Bit 5", "IAutoLUT Bit 6", "IAutoLUT Bit 7", "IAutoLUT Bit 8", "IAutoLUT Bit 9",
    "IAutoLUT Bit 10", "IAutoLUT Bit 11", "IAutoLUT Bit 12", "IAutoLUT Bit 13",
    "IAutoLUT Bit 14", "IAutoLUT Bit 15"};
const char* const kBitText[2] = {"0", "1"};

// Cover state of two bits (first, second): 10 closed, 01 open, 11 moving, 00 illegal.
const char* CoverState(int a, int b) {
  if (a && !b) return "CLOSED";
  if (!a && b) return "OPEN";
  if (a && b) return "MOVING";
  return "ILLEGAL";
}
const char* CoverSwitch(int a, int b) {
  if (a && b) return "ILLEGAL";
  if (!a && b) return "CLOSE";
  if (a && !b) return "OPEN";
  return "OFF";
}

int Severity(int colour) { return colour == kRedBg ? 2 : colour == kYellowBg ? 1 : 0; }

class Hk {
 public:
  Hk(const std::uint8_t* p, HkContext& c, HkOut& o) : p_(p), c_(c), db_(c.db), st_(c.st), out_(o) {}

  // FindLimits: the item's slot, or -1 (reported once, after the warm-up).
  int Find(const char* name) {
    int s = db_.tlmdb.Find(name);
    if (s < 0 && c_.cfg.warm && st_.reportedMissing.insert(name).second)
      out_.missing.push_back(name);
    return s;
  }
  const ItemLine& Line(int s) { return db_.tlmdb.Item(s); }
  bool Raw(const ItemLine& it, int size, std::uint32_t* v) {
    if (it.offset < 0 || it.offset + size > kPacket) return false;
    *v = size == 1 ? p_[it.offset] : size == 2 ? U16(p_, it.offset) : U32(p_, it.offset);
    return true;
  }
  Shown& Show(const char* name, std::string text, int paint = kNoPaint) {
    out_.values.push_back(Shown{name, std::move(text), paint, true});
    return out_.values.back();
  }
  void Paint(const char* name, int colour) {
    out_.values.push_back(Shown{name, {}, colour, false});
  }
  void Save(int s, const std::string& text) { db_.tlmdb.SetValue(s, text); }

  void Check(int s, Shown& shown, double v, bool integer) {
    CheckResult r = CheckLimits(db_.tlmdb.slot(s).alarm, v, Line(s), integer, c_.cfg, shown.name);
    if (r.paint != kNoPaint) shown.paint = r.paint;
    if (r.alarm) out_.alarms.push_back({r.text, r.red});
  }

  bool Powered(G g) const {
    switch (g) {
      case G::Uap3: return st_.uap == 3;
      case G::Dap3: return st_.dap == 3;
      case G::Vp: return st_.vp != 0;
      default: return true;
    }
  }

  // One item block of the common kinds. Returns the value (NaN-free: 0 when not decoded).
  double Item(const char* name, K k, G g, const char* unit = "") {
    int s = Find(name);
    if (s < 0) return 0;
    const ItemLine& it = Line(s);
    std::uint32_t raw = 0;
    if (!Raw(it, Wide(k) ? 2 : 1, &raw)) return 0;
    double v = 0;
    bool integer = false;
    std::string text;
    std::string u = unit;
    char b[64];
    const TlmCoeffs& cf = db_.coeff;
    switch (k) {
      case K::I8: case K::I16: v = raw; integer = true; text = FmtInt(raw); break;
      case K::U8u: v = raw; integer = true; text = FmtInt(raw); g = G::NoCheck; break;
      case K::L8: case K::L16: v = Linear(raw, it); text = FmtF2(v); break;
      case K::L16F6: v = Linear(raw, it); text = FmtF(v); break;
      case K::Jit: v = Jitter(raw); text = FmtF(v); break;
      case K::Ysi: v = YSI(cf, raw); text = FmtF2(v); break;
      case K::Rtd: v = RTD(cf, raw); text = FmtF2(v); break;
      case K::Mag: v = MAG(cf, raw); text = FmtF2(v); break;
      case K::Ucur:
        v = Ucur(cf, Linear(raw, it), GetValue(db_, "ISTEU12V"), GetValue(db_, "ISTEUVCC1"),
                 GetValue(db_, "ISTEU5VD"));
        text = FmtF2(v);
        break;
      case K::Dcur:
        v = Dcur(cf, Linear(raw, it), GetValue(db_, "IDREVSTE12V"),
                 GetValue(db_, "IDREVSTEDVCC1"), GetValue(db_, "IDREVSTED5VD"));
        text = FmtF2(v);
        break;
      case K::B8Cnt:
        v = Linear(raw, it);
        std::snprintf(b, sizeof b, "%.0f", v);
        text = b;
        break;
      case K::B8F2: case K::B16F2: case K::L16U7:
        v = Linear(raw, it);
        text = FmtF2(v);
        u = " " + it.db[7];
        break;
      case K::BHex:
        v = Linear(raw, it);
        std::snprintf(b, sizeof b, "%.4X", static_cast<unsigned>(static_cast<long long>(v)));
        text = b;
        break;
      case K::BAB8: case K::BAB16:
        v = Linear(raw, it, c_.aorb, true);
        text = FmtF2(v);
        u = " " + it.db[7];
        break;
    }
    Save(s, text);
    Shown& sh = Show(name, text + u);
    if (g == G::NoCheck) return v;
    if (Powered(g))
      Check(s, sh, v, integer);
    else
      sh.paint = kUnpowered;
    return v;
  }

  // A digital check; returns the colour it leaves on its control (0 = unchanged so far).
  int Dig(int idx, bool abnormal, const char* text, bool red, const char* valueText,
          const char* control) {
    DigStep s = DigCheck(st_.digErrCtr[static_cast<std::size_t>(idx)], abnormal, c_.cfg);
    int& colour = st_.digColour[static_cast<std::size_t>(idx)];
    int sev = red ? kRedBg : kYellowBg;
    switch (s) {
      case DigStep::Normal: colour = kWhite; break;
      case DigStep::Raise:
        colour = sev;
        out_.alarms.push_back({std::string(text) + " " + valueText, red});
        break;
      case DigStep::Repaint: colour = sev; break;
      default: break;
    }
    if (control && (s == DigStep::Normal || s == DigStep::Raise || s == DigStep::Repaint))
      Paint(control, colour);
    return s == DigStep::Raise ? -sev : colour;  // negative: raised now
  }

  // The word's control takes the most severe colour of its checks.
  void WordColour(const char* word, int from, int n) {
    if (!c_.cfg.warm) return;
    int best = kWhite;
    for (int i = from; i < from + n; ++i) {
      int col = st_.digColour[static_cast<std::size_t>(i)];
      if (Severity(col) > Severity(best)) best = col;
    }
    Paint(word, best);
  }

  void Run();

 private:
  void InterfaceStatus();
  void DrevDigital();
  void SteuDigital();
  void Time();
  void Errors();
  void Commands();
  void Boot();
  void Sequences();
  void TelemEnables();
  void Modes();
  void Magnetometer();

  const std::uint8_t* p_;
  HkContext& c_;
  TelemetryDb& db_;
  HkState& st_;
  HkOut& out_;
};

void Hk::InterfaceStatus() {
  int s = Find("InterfaceEnables");
  std::uint32_t raw = 0;
  if (s >= 0 && Raw(Line(s), 1, &raw)) {
    std::uint8_t b = static_cast<std::uint8_t>(raw);
    Save(s, FmtInt(b));
    Show("InterfaceEnables", FmtInt(b));
    for (int i = 0; i < 8; ++i) {
      int bit = Bit8(b, i);
      Show(kIfEnablesCtrls[i], kBitText[bit]);
      if (!kIfEnablesBits[i]) continue;
      bool abnormal = i < 2 ? bit == 1 : bit == 0;
      Dig(kDigIfEnables + i, abnormal, kIfEnablesBits[i], false, kBitText[bit], kIfEnablesCtrls[i]);
    }
    WordColour("InterfaceEnables", kDigIfEnables, 8);
  }
  s = Find("InterfaceActive");
  if (s >= 0 && Raw(Line(s), 1, &raw)) {
    std::uint8_t b = static_cast<std::uint8_t>(raw);
    Save(s, FmtInt(b));
    Show("InterfaceActive", FmtInt(b));
    for (int i = 0; i < 8; ++i) {
      int bit = Bit8(b, i);
      Show(kIfActiveCtrls[i], kBitText[bit]);
      bool abnormal = i < 2 ? bit == 1 : bit == 0;
      int r = Dig(kDigIfActive + i, abnormal, kIfActiveBits[i], false, kBitText[bit], kIfActiveCtrls[i]);
      bool raised = r < 0;
      // A normal sample of an interface switches its unit's flag on; its alarm switches it off.
      switch (i) {
        case 3: if (!abnormal) st_.vp = 1; else if (raised) st_.vp = 0; break;
        case 5: if (!abnormal) st_.dap |= 1; else if (raised) st_.dap &= ~1; break;
        case 6: if (!abnormal) st_.uap |= 1; else if (raised) st_.uap &= ~1; break;
        case 7: if (!abnormal) st_.hk = 1; else if (raised) st_.hk = 0; break;
        default: break;
      }
    }
    st_.vsw = Bit8(b, 5);
    st_.vst = Bit8(b, 6);
    WordColour("InterfaceActive", kDigIfActive, 8);
  }
}

void Hk::DrevDigital() {
  int s = Find("IDREVSTEDDig");
  std::uint32_t w = 0;
  if (s < 0 || !st_.vsw || !Raw(Line(s), 2, &w)) return;
  Save(s, FmtInt(w));
  Show("IDREVSTEDDig", FmtHex4(w));
  auto bit = [&](int pos) { return Bit16(w, pos); };
  const char* cover = CoverState(bit(4), bit(5));
  const char* sw = CoverSwitch(bit(6), bit(7));
  Show(kDrevCoverCtrl, cover);
  Show(kDrevSwitchCtrl, sw);
  int k = kDigDrev;
  Dig(k++, bit(0) == 1, "IDREVSTEDDig CPE ERROR", true, "1", nullptr);
  int r = Dig(k++, bit(1) == 0, "IDREVSTEDDig AFEPWR OFF", false, "0", nullptr);
  if (bit(1) == 1) st_.dap |= 2;
  else if (r < 0) st_.dap &= ~2;
  Dig(k++, bit(2) == 1, "IDREVSTEDDig AFESHDN OVERCURRENT", true, "1", nullptr);
  Dig(k++, !bit(4) && !bit(5), "IDREVSTEDDig STECOVSTAT ILLEGAL", true, "0", kDrevCoverCtrl);
  Dig(k++, bit(4) && bit(5), "IDREVSTEDDig STECOVSTAT MOVING", false, "11", nullptr);
  Dig(k++, bit(6) && bit(7), "IDREVSTEDDig STECOVSW ILLEGAL", true, "11", kDrevSwitchCtrl);
  Dig(k++, bit(8) == 1, "IDREVSTEDDig ANORM", false, "1", nullptr);
  Dig(k++, bit(12) == 1, "IDREVSTEDDig ENBSTETP ENABLED", false, "1", nullptr);
  Dig(k++, bit(13) == 1, "IDREVSTEDDig ENBDREVTP ENABLED", false, "1", nullptr);
  Dig(k++, bit(14) == 0, "IDREVSTEDDig ENBDREV DISABLED", true, "1", nullptr);
  Dig(k++, bit(15) == 1, "IDREVSTEDDig PCE ERROR", true, "1", nullptr);
  WordColour("IDREVSTEDDig", kDigDrev, k - kDigDrev);
}

void Hk::SteuDigital() {
  int s = Find("ISTEUDig");
  std::uint32_t w = 0;
  if (s < 0 || !st_.vst || !Raw(Line(s), 2, &w)) return;
  Save(s, FmtInt(w));
  Show("ISTEUDig", FmtHex4(w));
  auto bit = [&](int pos) { return Bit16(w, pos); };
  Show(kSteuCoverCtrl, CoverState(bit(4), bit(5)));
  Show(kSteuSwitchCtrl, CoverSwitch(bit(6), bit(7)));
  int k = kDigSteu;
  Dig(k++, bit(0) == 1, "ISTEUDig CPE ERROR", true, "1", nullptr);
  int r = Dig(k++, bit(1) == 0, "ISTEUDig AFEPWR OFF", false, "0", nullptr);
  if (bit(1) == 1) st_.uap |= 2;
  else if (r < 0) st_.uap &= ~2;
  Dig(k++, bit(2) == 1, "ISTEUDig AFESHDN OVER CURRENT", true, "1", nullptr);
  Dig(k++, !bit(4) && !bit(5), "ISTEUDig STECOVSTAT ILLEGAL", true, "00", kSteuCoverCtrl);
  Dig(k++, bit(4) && bit(5), "ISTEUDig STECOVSTAT MOVING", false, "11", nullptr);
  Dig(k++, bit(6) && bit(7), "ISTEUDig STECOVSW ILLEGAL ", true, "11", kSteuSwitchCtrl);
  Dig(k++, bit(8) == 1, "ISTEUDig ANORM", false, "1", nullptr);
  Dig(k++, bit(12) == 1, "ISTEUDig ENBSTETP DISABLED", false, "1", nullptr);
  Dig(k++, bit(14) == 1, "ISTEUDig ENBDREV ENABLED", true, "1", nullptr);
  Dig(k++, bit(15) == 1, "ISTEUDig PCE ERROR", true, "1", nullptr);
  WordColour("ISTEUDig", kDigSteu, k - kDigSteu);
}

void Hk::Time() {
  int s = Find("UTCs");
  std::uint32_t secs = 0, frac = 0;
  bool haveSecs = false;
  if (s >= 0) {
    const ItemLine& it = Line(s);
    if (it.offset >= 0 && it.offset + 4 <= kPacket) {
      // High word at the offset, low word after it.
      secs = U16(p_, it.offset) << 16 | U16(p_, it.offset + 2);
      haveSecs = true;
      Save(s, FmtInt(secs));
      Show("UTCs", FmtInt(secs));
    }
  }
  double f = 0;
  s = Find("UTCf");
  if (s >= 0 && Raw(Line(s), 2, &frac)) {
    f = Linear(frac, Line(s));
    Save(s, FmtF2(f));
    Show("UTCf", FmtF2(f));
  }
  if (haveSecs) {
    std::time_t t = static_cast<std::time_t>(static_cast<long long>(secs) + c_.timeOffset);
    std::tm tm{};
    tm = *std::gmtime(&t);
    char a[40], txt[64];
    std::strftime(a, sizeof a, "%a %b %e %Y %H:%M:%S", &tm);
    std::string fr = FmtF2(f);
    std::size_t dot = fr.find('.');
    std::snprintf(txt, sizeof txt, "%s%s", a, dot == std::string::npos ? "" : fr.c_str() + dot);
    Show(kPacketTimeCtrl, txt);
  }
  s = Find("ISampleTime");
  std::uint32_t w = 0;
  if (s >= 0 && Raw(Line(s), 2, &w)) {
    Save(s, FmtInt(w));
    Show("ISampleTime", SampleTimeText(w));
  }
}

void Hk::Errors() {
  int sc = Find("IErrorCode"), sd = Find("IErrorData"), sn = Find("IErrorCount");
  std::uint32_t code = 0, data = 0, count = 0;
  bool ok = sc >= 0 && sd >= 0 && sn >= 0 && Raw(Line(sc), 1, &code) && Raw(Line(sd), 1, &data) &&
            Raw(Line(sn), 1, &count);
  if (!ok) return;
  Save(sc, FmtInt(code));
  Show("IErrorCode", FmtInt(code));
  Save(sd, FmtInt(data));
  Shown& d = Show("IErrorData", FmtInt(data));
  Check(sd, d, data, true);
  Save(sn, FmtInt(count));
  Shown& n = Show("IErrorCount", FmtInt(count));
  Check(sn, n, count, true);
  ErrResult r = ErrorBlock(st_.err, static_cast<int>(code), static_cast<int>(data),
                           static_cast<int>(count), c_.err, c_.cfg);
  if (r.clear) {
    Show(kErrorTextCtrl, "", kWhite);
    for (const char* nm : {"IErrorCode", "IErrorData", "IErrorCount"}) Paint(nm, kWhite);
  } else if (r.changed) {
    Show(kErrorTextCtrl, r.text);
  }
  for (std::string& a : r.alarms) out_.alarms.push_back({std::move(a), true});
}

void Hk::Commands() {
  std::uint32_t v[6] = {};
  bool have[6] = {};
  static const char* const names[6] = {"ICommandCount", "ICommandLastID", "ICommandLastSeq",
                                       "PCommandCount", "PCommandLastID", "PCommandLastSeq"};
  static const int sizes[6] = {2, 1, 1, 2, 1, 1};
  for (int i = 0; i < 6; ++i) {
    int s = Find(names[i]);
    if (s < 0 || !Raw(Line(s), sizes[i], &v[i])) continue;
    have[i] = true;
    Save(s, FmtInt(v[i]));
    Show(names[i], FmtInt(v[i]));
    if (i == 1) {
      int key = v[1] < 0x80 ? static_cast<int>(v[1]) + 0x200 : static_cast<int>(v[1]) + 0x280;
      std::string name = c_.cmd ? c_.cmd->DecodeCommand(key) : kCantFindApid;
      Show(kLastCmdNameCtrl, name);
      st_.tcmdlid = name;
    }
  }
  if (have[0] && have[1] && have[2]) {
    st_.cmdcount = static_cast<int>(v[0]);
    st_.cmdlid = static_cast<int>(v[1]);
    st_.cmdLastSeq = static_cast<int>(v[2]);
    out_.cmdVerDue = c_.cfg.warm;
  }
}

void Hk::Boot() {
  int s = Find("ISCStatus");
  std::uint32_t raw = 0;
  if (s >= 0 && Raw(Line(s), 1, &raw)) {
    std::uint8_t b = static_cast<std::uint8_t>(raw);
    Save(s, FmtInt(b));
    Show("ISCStatus", FmtInt(b));
    for (int i = 0; i < 8; ++i) {
      Show(kScCtrls[i], kBitText[Bit8(b, i)]);
      if (kScBits[i])
        Dig(kDigSc + i, Bit8(b, i) == 1, kScBits[i], i == 7, kScValues[i], kScCtrls[i]);
    }
    WordColour("ISCStatus", kDigSc, 8);
  }
  Item("IBootSelect", K::I8, G::None);
  Item("ICodePage", K::I8, G::None);
  s = Find("ICodePageStatus");
  if (s >= 0 && Raw(Line(s), 1, &raw)) {
    std::uint8_t b = static_cast<std::uint8_t>(raw);
    Save(s, FmtInt(b));
    Show("ICodePageStatus", FmtInt(b));
    for (int i = 0; i < 5; ++i) {
      int bit = Bit8(b, i);
      Show(kCodePageBits[i], kBitText[bit]);
      Dig(kDigCodePage + i, bit == 1, kCodePageBits[i], true, kBitText[bit], kCodePageBits[i]);
    }
    WordColour("ICodePageStatus", kDigCodePage, 5);
  }
}

void Hk::Sequences() {
  int s = Find("ICmdSeqRunning");
  std::uint32_t raw = 0;
  if (s >= 0 && Raw(Line(s), 1, &raw)) {
    std::string text;
    if (raw == 32) {
      text = kNoSeqRunning;
    } else if (raw < 32) {
      std::string l = db_.seqdb.text(static_cast<int>(raw));
      std::size_t tab = l.find('\t');
      char name[256] = {};
      if (tab != std::string::npos && std::sscanf(l.c_str() + tab + 1, " %255[^\t]", name) == 1)
        text = name;
      else
        text = FmtInt(raw);
    } else {
      text = FmtInt(raw);
    }
    Save(s, FmtInt(raw));
    Shown& sh = Show("ICmdSeqRunning", text);
    Check(s, sh, raw, true);
  }
  s = Find("ICmdSeqMask");
  if (s >= 0 && Raw(Line(s), 4, &raw)) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", raw);
    Save(s, FmtInt(raw));
    Show("ICmdSeqMask", b);
    out_.seqMask = raw;
    out_.seqMaskValid = true;
  }
}

void Hk::TelemEnables() {
  int s = Find("ITelemEnables");
  std::uint32_t w = 0;
  if (s >= 0 && Raw(Line(s), 2, &w)) {
    Save(s, FmtInt(w));
    Show("ITelemEnables", FmtHex4(w));
    for (int i = 0; i < 16; ++i) {
      int bit = Bit16(w, i);
      Show(kTelemCtrls[i], kBitText[bit]);
      if (kTelemBits[i])
        Dig(kDigTelem + i, bit == 0, kTelemBits[i], false, kBitText[bit], kTelemCtrls[i]);
    }
    WordColour("ITelemEnables", kDigTelem, 16);
  }
  s = Find("PTelemEnables");
  if (s >= 0 && Raw(Line(s), 2, &w)) {
    Save(s, FmtInt(w));
    Show("PTelemEnables", FmtHex4(w));
    for (int i = 0; i < 16; ++i) {
      int bit = Bit16(w, i);
      Show(kPTelemCtrls[i], kBitText[bit]);
      Dig(kDigPTelem + i, bit == 1, kPTelemBits[i], false, kBitText[bit], kPTelemCtrls[i]);
    }
    WordColour("PTelemEnables", kDigPTelem, 16);
  }
}

void Hk::Modes() {
  int s = Find("IAutoLUT");
  std::uint32_t w = 0;
  if (s >= 0 && Raw(Line(s), 2, &w)) {
    Save(s, FmtInt(w));
    Show("IAutoLUT", FmtHex4(w));
    for (int i = 0; i < 16; ++i) Show(kAutoLutCtrls[i], kBitText[Bit16(w, i)]);
  }
  Item("ISTEModeID", K::U8u, G::NoCheck);
  Item("IDREVModeID", K::U8u, G::NoCheck);
}

void Hk::Magnetometer() {
  int s = Find("IMagHKP");
  std::uint32_t w = 0;
  if (s >= 0 && st_.hk && Raw(Line(s), 2, &w)) {
    Save(s, FmtInt(w));
    Show("IMagHKP", FmtHex4(w));
    for (int i = 0; i < 4; ++i) {
      int bit = Bit16(w, i);
      Show(kMagCtrls[i], kBitText[bit]);
      Dig(kDigMag + i, bit == 1, kMagBits[i], true, kBitText[bit], kMagCtrls[i]);
    }
    WordColour("IMagHKP", kDigMag, 4);
  }
  Item("IMAGHeater", K::L16U7, G::Uap3);
  Item("IMAGTemp", K::Mag, G::Uap3, " C");
}

void Hk::Run() {
  InterfaceStatus();
  DrevDigital();
  SteuDigital();
  Time();
  double sw = Item("ISoftwareVersion", K::I8, G::None);
  if (db_.tlmdb.Find("ISoftwareVersion") >= 0) st_.v2 = sw > 19 ? 1 : 0;
  Item("IHardwareVersion", K::I8, G::NoCheck);
  Item("IPollTimeMax", K::L16F6, G::None);
  Item("IPollTimeAvg", K::L16F6, G::None);
  Item("ITimeJitter", K::Jit, G::None);
  Errors();
  Commands();
  Item("IVANTIS_SSR", K::L8, G::None, " %");
  Item("IBRIMLET_SSR", K::L8, G::None, " %");
  Item("IMaxVANTISQ", K::I8, G::None);
  Item("IMaxBRIMLETQ", K::I8, G::None);
  Item("IVANTISBitrate", K::L16, G::None, " bps");
  Item("IBRIMLETBitrate", K::L16, G::None, " bps");
  Boot();
  if (st_.v2) Sequences();
  TelemEnables();
  if (st_.v2) {
    for (const char* n : {"IBurstModeID", "IBurstSavePage", "IBurstSendPage", "ISTEUDoorCount",
                          "ISTEDDoorCount"})
      Item(n, K::I8, G::None);
    Item("IBurstCurCriteria", K::I16, G::None);
    Item("IBurstBestCriteria", K::I16, G::None);
    for (const char* n : {"ISTEUDoorStart", "ISTEUDoorDone", "ISTEDDoorStart", "ISTEDDoorDone"})
      Item(n, K::L16, G::None);
    Modes();
  }
  Magnetometer();

  Item("ISTEUTemp", K::Rtd, G::Uap3, " C");
  Item("ISTEUDACTemp", K::Ysi, G::Uap3, " C");
  for (const char* n : {"ISTEUVCCA", "ISTEU5VD", "ISTEUVCC1", "ISTEU5VA", "ISTEU12V"})
    Item(n, K::L16, G::Uap3, " V");
  Item("ISTEUCur", K::Ucur, G::Uap3, " MA");

  for (const char* n : {"IDREVMCP", "IDREVNR5V", "IDREVAnal", "IDREVDefl1", "IDREVDefl2",
                        "IDREVV0", "IDREVGND"})
    Item(n, K::L16, G::Dap3, " V");
  Item("IDREVMCPTemp", K::Ysi, G::Dap3, " C");
  Item("ISTEDTemp", K::Rtd, G::Dap3, " C");
  Item("IDREVDACTemp", K::Ysi, G::Dap3, " C");
  for (const char* n : {"IDREVSTEDVCCA", "IDREVSTED5VD", "IDREVSTEDVCC1", "IDREVSTE5VA",
                        "IDREVSTE12V"})
    Item(n, K::L16, G::Dap3, " V");
  Item("IDREVSTEDCur", K::Dcur, G::Dap3, " MA");

  for (const char* n :
       {"PLVC_-12V", "PLVC_-5V", "PESA_VM_POS", "PDFL_1_VM", "PDFL_1_TAP", "PDFL_2_VM",
        "PLVC_+2.5", "PPAC_CM_DC", "PLVC_+12V", "PLVC_+2.5VA", "PLVC_+5V", "PADC_AVDD",
        "PADC_DVDD", "PPAC_VM", "PCAL_VREF", "PPAC_CM_AC", "PMCP_VM", "PMCP_CM_DC",
        "PMCP_CM_AC", "PSSD_CM_DC", "PS_CH_VM", "PS_CH_VM_TAP", "PS_CH_CM_DC", "PESA_VM_NEG",
        "PESA_CM_DC", "PDFL_1_CM_DC", "PDFL_2_CM_DC", "PLVC_+2.5VB_IMON", "PLVC_+12V_IMON",
        "PLVC_-12V_IMON", "PLVC_+5V_IMON", "PLVC_-5V_IMON", "PLVC_+2.5VA_IMON", "PSSD_VM",
        "PSSD_V_POS_ANALOG", "PSSD_V_NEG_ANALOG", "PSSD_V_POS_DIG"})
    Item(n, K::B16F2, G::Vp);
  Item("PSSD_STATUS", K::BHex, G::Vp);
  Find("PSSD_HV_BIAS");  // looked up, not shown
  for (const char* n : {"PPLUG_ID", "PADC_LU_FLAG", "PDAC_STATUS", "PADC_LU_CTR", "BLK_ID"})
    Item(n, K::B8Cnt, G::Vp);
  for (const char* n : {"PRA_E0", "PRA_E1", "PSB0_TSP", "PSB1_TSP", "PADC0_AGND", "PADC1_AGND",
                        "PADC0_VREF", "PADC1_VREF"})
    Item(n, K::B8F2, G::Vp);
  for (const char* n : {"PTAC0_TSP", "PTAC2_TSP", "PTOF_HV0_TSP", "PTOF_HV1_TSP", "PS_C_0_TSP",
                        "PS_C_1_TSP", "PLVC0_TSP", "PLVC1_TSP"})
    Item(n, K::BAB8, G::Vp);
  for (const char* n : {"PSSD_TC0", "PSSD_TC1", "PSSD_TC2"}) Item(n, K::BAB16, G::Vp);
}

}  // namespace

void ExtConvDisplay(const std::uint8_t* packet, HkContext& ctx, HkOut& out) {
  out.Clear();
  Hk hk(packet, ctx, out);
  hk.Run();
}

const std::vector<HkPanelDef>& HkPanels() {
  static const std::vector<HkPanelDef> panels = [] {
    std::vector<HkPanelDef> p;
    p.push_back({"Processor Housekeeping",
                 {kPacketTimeCtrl, "UTCs", "UTCf", "ISampleTime", "ISoftwareVersion",
                  "IHardwareVersion", "IPollTimeMax", "IPollTimeAvg", "ITimeJitter", "IErrorCode",
                  "IErrorData", "IErrorCount", kErrorTextCtrl, "ICommandCount", "ICommandLastID",
                  kLastCmdNameCtrl, "ICommandLastSeq", "PCommandCount", "PCommandLastID",
                  "PCommandLastSeq", "IVANTIS_SSR", "IBRIMLET_SSR", "IMaxVANTISQ",
                  "IMaxBRIMLETQ", "IVANTISBitrate", "IBRIMLETBitrate", "IBootSelect",
                  "ICodePage", "ICmdSeqRunning", "ICmdSeqMask", "IBurstModeID",
                  "IBurstCurCriteria", "IBurstSavePage", "IBurstSendPage", "IBurstBestCriteria",
                  "ISTEUDoorCount", "ISTEDDoorCount", "ISTEUDoorStart", "ISTEUDoorDone",
                  "ISTEDDoorStart", "ISTEDDoorDone", "IAutoLUT", "ISTEModeID", "IDREVModeID"}});
    p.push_back({"STE-U and Magnetometer",
                 {"ISTEUDig", kSteuCoverCtrl, kSteuSwitchCtrl, "ISTEUTemp", "ISTEUDACTemp",
                  "ISTEUVCCA", "ISTEU5VD", "ISTEUVCC1", "ISTEU5VA", "ISTEU12V", "ISTEUCur",
                  "IMagHKP", kMagCtrls[0], kMagCtrls[1], kMagCtrls[2], kMagCtrls[3],
                  "IMAGHeater", "IMAGTemp"}});
    p.push_back({"Analyzer and STE-D",
                 {"IDREVSTEDDig", kDrevCoverCtrl, kDrevSwitchCtrl, "IDREVMCP", "IDREVNR5V",
                  "IDREVAnal", "IDREVDefl1", "IDREVDefl2", "IDREVV0", "IDREVGND",
                  "IDREVMCPTemp", "ISTEDTemp", "IDREVDACTemp", "IDREVSTEDVCCA", "IDREVSTED5VD",
                  "IDREVSTEDVCC1", "IDREVSTE5VA", "IDREVSTE12V", "IDREVSTEDCur"}});
    HkPanelDef brm{"BRIMLET Values in the Processor Packet", {}};
    for (const char* n :
         {"PLVC_-12V", "PLVC_-5V", "PESA_VM_POS", "PDFL_1_VM", "PDFL_1_TAP", "PDFL_2_VM",
          "PLVC_+2.5", "PPAC_CM_DC", "PLVC_+12V", "PLVC_+2.5VA", "PLVC_+5V", "PADC_AVDD",
          "PADC_DVDD", "PPAC_VM", "PCAL_VREF", "PPAC_CM_AC", "PMCP_VM", "PMCP_CM_DC",
          "PMCP_CM_AC", "PSSD_CM_DC", "PS_CH_VM", "PS_CH_VM_TAP", "PS_CH_CM_DC", "PESA_VM_NEG",
          "PESA_CM_DC", "PDFL_1_CM_DC", "PDFL_2_CM_DC", "PLVC_+2.5VB_IMON", "PLVC_+12V_IMON",
          "PLVC_-12V_IMON", "PLVC_+5V_IMON", "PLVC_-5V_IMON", "PLVC_+2.5VA_IMON", "PSSD_VM",
          "PSSD_V_POS_ANALOG", "PSSD_V_NEG_ANALOG", "PSSD_V_POS_DIG", "PSSD_STATUS",
          "PPLUG_ID", "PADC_LU_FLAG", "PDAC_STATUS", "PADC_LU_CTR", "BLK_ID", "PRA_E0",
          "PRA_E1", "PSB0_TSP", "PSB1_TSP", "PADC0_AGND", "PADC1_AGND", "PADC0_VREF",
          "PADC1_VREF"})
      brm.names.push_back(n);
    p.push_back(brm);
    p.push_back({"BRIMLET Temperatures",
                 {"PTAC0_TSP", "PTAC2_TSP", "PTOF_HV0_TSP", "PTOF_HV1_TSP", "PS_C_0_TSP",
                  "PS_C_1_TSP", "PLVC0_TSP", "PLVC1_TSP", "PSSD_TC0", "PSSD_TC1", "PSSD_TC2"}});
    HkPanelDef bits{"Interface, Boot and Telemetry Enables", {"InterfaceEnables"}};
    for (const char* n : kIfEnablesCtrls) bits.names.push_back(n);
    bits.names.push_back("InterfaceActive");
    for (const char* n : kIfActiveCtrls) bits.names.push_back(n);
    bits.names.push_back("ISCStatus");
    for (const char* n : kScCtrls) bits.names.push_back(n);
    bits.names.push_back("ICodePageStatus");
    for (const char* n : kCodePageBits) bits.names.push_back(n);
    p.push_back(bits);
    HkPanelDef tel{"Telemetry Enables", {"ITelemEnables"}};
    for (const char* n : kTelemCtrls) tel.names.push_back(n);
    tel.names.push_back("PTelemEnables");
    for (const char* n : kPTelemCtrls) tel.names.push_back(n);
    for (const char* n : kAutoLutCtrls) tel.names.push_back(n);
    p.push_back(tel);
    return p;
  }();
  return panels;
}

// ---- table and memory dumps ----------------------------------------------------------------

namespace {
// "%03X " of the offset, then "%02X " of each of 16 bytes.
std::string HexLine(int offset, const std::uint8_t* b) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (offset < 0 || offset > 0xFFF) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03X ", offset);
    std::string s = buf;
    for (int i = 0; i < 16; ++i) s += {kHex[b[i] >> 4], kHex[b[i] & 15], ' '};
    return s;
  }
  std::string s(4 + 16 * 3, ' ');
  s[0] = kHex[(offset >> 8) & 15];
  s[1] = kHex[(offset >> 4) & 15];
  s[2] = kHex[offset & 15];
  for (int i = 0; i < 16; ++i) {
    s[4 + 3 * i] = kHex[b[i] >> 4];
    s[5 + 3 * i] = kHex[b[i] & 15];
  }
  return s;
}
constexpr int kDumpOrder[6] = {1, 2, 3, 4, 5, 8};
constexpr int kDumpStep[5] = {16, 16, 32, 48, 64};  // sizes of tables 1 .. 5
}  // namespace

DumpOut TableDump(const std::uint8_t* packet, const TelemetryDb& db, DumpState& st, int cfgtswap,
                  long timeOffset) {
  DumpOut out;
  std::uint8_t p[kPacket];
  std::memcpy(p, packet, kPacket);
  if (cfgtswap)
    for (int i = 6; i < 12; i += 2) std::swap(p[i], p[i + 1]);
  std::uint32_t secs = static_cast<std::uint32_t>(p[6]) << 24 | p[7] << 16 | p[8] << 8 | p[9];
  int id = p[11];
  int page = p[12];
  int addr = (p[13] | p[14] << 8) & 0x3FFF;
  out.id = id;
  std::time_t t = static_cast<std::time_t>(static_cast<long long>(secs) + timeOffset);
  std::tm tm{};
  tm = *std::gmtime(&t);
  char a[32];
  std::strftime(a, sizeof a, "%a %b %e %H:%M:%S %Y", &tm);
  out.time = std::string(a) + " " + FmtF2(p[10] / 256.0);

  bool memory = id == 0 || id == 9 || (id >= 18 && id <= 21);
  if (memory || id == 16 || id == 17) {
    int from = memory ? 16 : 15;
    int base = 0;
    if (id == 16) {
      base = (st.id16Packets % 4) * 256;
      ++st.id16Packets;
    }
    std::string header = out.time + " Page:" + std::to_string(page);
    if (memory) header += " Adr:" + std::to_string(addr);
    out.lines.push_back(header);
    for (int l = 0; l < 16 && from + l * 16 + 16 <= kPacket; ++l)
      out.lines.push_back(HexLine(base + l * 16, p + from + l * 16));
    return out;
  }
  if (id >= 32 && id <= 63) {
    for (int k = 0; k < 2; ++k) {
      int number = id - 32 + k;
      if (number > 31) break;
      DumpOut::Sequence s;
      s.number = number;
      int from = k == 0 ? 15 : 143;
      for (int l = 0; l < 8 && from + l * 16 + 16 <= kPacket; ++l)
        s.lines.push_back(HexLine(l * 16, p + from + l * 16));
      out.sequences.push_back(std::move(s));
    }
    return out;
  }
  // Table contents: the dumped table, then the tables that follow it in the dump order.
  int start = -1;
  for (int i = 0; i < 6; ++i)
    if (kDumpOrder[i] == id) start = i;
  std::vector<int> tables;
  if (id == 10) tables.push_back(10);
  else if (start >= 0)
    for (int i = start; i < 6; ++i) tables.push_back(kDumpOrder[i]);
  int base = 15;
  for (std::size_t ti = 0; ti < tables.size(); ++ti) {
    int tid = tables[ti];
    int panel = 0;
    for (std::size_t q = 0; q < kTableIds.size(); ++q)
      if (kTableIds[q] == tid) panel = static_cast<int>(q);
    int n = tid < kTblCounts ? db.count[static_cast<std::size_t>(tid)] : 0;
    // Table 10's panel shows its first lines only; its sum line is then not among them.
    int shown = tid == 10 ? std::min(n, kTable10Shown) : n;
    unsigned sum = 0;
    for (int k = 0; k < n; ++k) {
      auto f = TableLine(db, tid, k);
      if (!f) break;
      int ctrl = kTableFirstCtrl[static_cast<std::size_t>(panel)] - k;
      if (k == n - 1) {
        if (k < shown) out.entries.push_back({panel, ctrl, sum & 0xFF});
        break;
      }
      int off = std::atoi((*f)[0].c_str());
      int size = std::atoi((*f)[1].c_str());
      if (off < 0 || size < 0 || size > 4) continue;
      std::uint32_t v = 0;
      bool inside = base + off + size <= kPacket;
      for (int b = 0; inside && b < size; ++b) {
        v |= static_cast<std::uint32_t>(p[base + off + b]) << (8 * b);
        sum += p[base + off + b];
      }
      if (inside && k < shown) out.entries.push_back({panel, ctrl, v});
    }
    if (tid >= 1 && tid <= 5) base += kDumpStep[tid - 1];
    if (base >= kPacket) break;
  }
  return out;
}

// ---- spacecraft packets ----------------------------------------------------------------------

const char* SpcSuffix(int apid) {
  switch (apid) {
    case 0x00B: return "_00B";
    case 0x00C: return "_00C";
    case 0x00D: return "_00D";
    case 0x01C: return "_01C";
    case 0x01E: return "_01E";
    default: return nullptr;
  }
}

SpcPlan PlanByLabel(const TelemetryDb& db, const char* suffix) {
  SpcPlan plan;
  for (std::size_t p = 0; p < 3; ++p) {
    const auto& labels = db.spcLabels[p];
    for (std::size_t i = 0; i < labels.size() && i < 26; ++i) {
      std::string key = labels[i] + suffix;
      int s = db.spcdb.Find(key);
      if (s < 0) continue;
      plan.push_back({static_cast<int>(p), static_cast<int>(i),
                      kSpcPanelFirstCtrl[p] - static_cast<int>(i), key,
                      GetSpcPar(db.spcdb.slot(s).text)});
    }
  }
  return plan;
}

void ReadByLabel(const std::uint8_t* packet, const SpcPlan& plan, SpcAlarms& alarms,
                 const AlarmCfg& cfg, std::vector<SpcOut>& out, std::vector<AlarmLine>& logs) {
  out.resize(plan.size());
  for (std::size_t k = 0; k < plan.size(); ++k) {
    const SpcItem& it = plan[k];
    double v = EvalDisp(packet, kPacket, it.par);
    SpcOut& o = out[k];
    o.panel = it.panel;
    o.control = it.control;
    o.text = SpcText(it.key, v);
    SpcAlarm& a = alarms[static_cast<std::size_t>(it.panel)][static_cast<std::size_t>(it.index)];
    const std::size_t n = std::min(o.text.size(), sizeof a.text - 1);
    std::memcpy(a.text, o.text.data(), n);
    a.text[n] = '\0';
    CheckResult r = SpcCheck(a.ctr, v, it.par, cfg, it.key, o.text);
    o.paint = r.paint;
    if (r.alarm) logs.push_back({r.text, r.red});
  }
}

void ReadByLabel(const std::uint8_t* packet, const char* suffix, const TelemetryDb& db,
                 SpcAlarms& alarms, const AlarmCfg& cfg, std::vector<SpcOut>& out,
                 std::vector<AlarmLine>& logs) {
  ReadByLabel(packet, PlanByLabel(db, suffix), alarms, cfg, out, logs);
}

}  // namespace korvex
