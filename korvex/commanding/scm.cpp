#include "commanding/scm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "commanding/messages.h"
#include "core/text.h"

namespace korvex {

namespace {

std::size_t FindNoCase(const std::string& hay, const std::string& needle) {
  return Lower(hay).find(Lower(needle));
}

bool Blank(char c) { return c == ' ' || c == '\t'; }
// Characters passed over between tokens.
bool Separator(char c) { return c == ' ' || c == '\t' || c == '\\'; }

std::string FirstToken(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && Blank(s[i])) ++i;
  std::size_t j = i;
  while (j < s.size() && !Blank(s[j])) ++j;
  return s.substr(i, j - i);
}

// Text right-aligned in a blank-filled field (a longer text keeps its first `width` characters).
void PutRight(std::uint8_t* field, std::size_t width, const std::string& text) {
  std::memset(field, ' ', width);
  std::size_t n = std::min(width, text.size());
  std::memcpy(field + width - n, text.data(), n);
}

void PutText(std::uint8_t* field, std::size_t width, const std::string& text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

std::uint32_t* Counter(ScmState& s, int control) {
  switch (control) {
    case scmctl::kSc: return &s.ccsdsSC;
    case scmctl::kEsc: return &s.ccsdsESC;
    case scmctl::kRsc: return &s.ccsdsRSC;
    case scmctl::kErsc: return &s.ccsdsERSC;
    default: return nullptr;
  }
}

// The order in which the panel's fields are checked.
constexpr int kCheckOrder[] = {41, 27, 25, 24, 3, 2, 38, 40, 39, 37, 33, 32, 31, 30, 29, 28, 26, 36, 35, 34};

unsigned ScanU(const std::string& text, const char* fmt) {
  unsigned v = 0;
  std::sscanf(text.c_str(), fmt, &v);
  return v;
}

bool ScansU(const std::string& text, const char* fmt, unsigned* v) {
  return std::sscanf(text.c_str(), fmt, v) == 1;
}

bool Put(ScmState& s, std::uint8_t b) {
  if (s.ccsdsPtr + 1 >= kScmBufferSize) return false;
  s.ccsds[++s.ccsdsPtr] = b;
  return true;
}

bool PutLow(ScmState& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    if (!Put(s, static_cast<std::uint8_t>(v >> (8 * i)))) return false;
  return true;
}

}  // namespace

std::string HexText(const std::uint8_t* b, std::size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string t;
  t.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    t += kHex[b[i] >> 4];
    t += kHex[b[i] & 15];
  }
  return t;
}

void ScmInit(ScmState& s) {
  for (int i = 0; i < 10; ++i) s.scripts[i].name = "NO SCRIPT";
  s.scripts[0].vers = "0000";
  std::fill(s.ccsds.begin(), s.ccsds.end(), 0);
  std::fill(s.scmStr.begin(), s.scmStr.end(), 0);
  std::memset(s.scmStr.data(), ' ', 133);
  std::memcpy(s.scmStr.data() + 10, "0000", 4);
  std::memcpy(s.scmStr.data() + 4, "000119", 6);
  s.scmStr[132] = kHeaderEnd;
  s.scmPtr = 0;
  s.ccsdsCtr = 0;
  s.cv.clear();
}

bool ValidPacketCount(const std::string& t) {
  return t.size() == 2 && std::isdigit(static_cast<unsigned char>(t[0])) &&
         std::isdigit(static_cast<unsigned char>(t[1])) && t != "00";
}

std::uint32_t SecondaryTime(const std::string& text, long cfgtime) {
  if (!text.empty() && text[0] == '0') return 0;
  auto part = [&](std::size_t from, std::size_t n) {
    return from < text.size() ? std::atoi(text.substr(from, n).c_str()) : 0;
  };
  std::tm t{};
  t.tm_year = 2000 + part(2, 2) - 1900;
  t.tm_mon = 0;
  t.tm_mday = part(4, 3);
  t.tm_hour = part(7, 2);
  t.tm_min = part(9, 2);
  t.tm_sec = part(11, 2);
  t.tm_isdst = -1;
  long long secs = static_cast<long long>(std::mktime(&t));
  return static_cast<std::uint32_t>(secs - cfgtime);
}

const char* CheckField(ScmState& s, int c, const std::string& t, long cfgtime) {
  if (c >= scmctl::kFirst && c <= scmctl::kLast) s.mocStr[c] = t;
  unsigned v = 0;
  switch (c) {
    case scmctl::kFacility:
      return t.size() == 6 ? nullptr : msg::kFacilityLength;
    case scmctl::kSpacecraft:
      return t.size() == 2 ? nullptr : msg::kSpacecraftLength;
    case scmctl::kPackets:
      // Two digits from 01 to 99: any other count never matches the packets collected.
      return ValidPacketCount(t) ? nullptr : msg::kPacketsLength;
    case scmctl::kEnable:
      return t.size() == 13 ? nullptr : msg::kEnableLength;
    case scmctl::kTimeout:
      return t.size() == 13 ? nullptr : msg::kTimeoutLength;
    case scmctl::kDelta:
      return t.size() == 5 && std::atoi(t.c_str()) <= 86400 ? nullptr : msg::kDeltaLength;
    case scmctl::kMsgType:
      return t.size() == 4 ? nullptr : msg::kMsgTypeLength;
    case scmctl::kCmdMode:
      return t.size() == 2 ? nullptr : msg::kTwoCharacters;
    case scmctl::kSpare:
      return t.size() == 3 ? nullptr : msg::kThreeCharacters;
    case scmctl::kSeqFlags:
      return ScansU(t, "%1u", &v) && v < 4 ? nullptr : msg::kSeqFlagsRange;
    case scmctl::kSc:
    case scmctl::kEsc:
    case scmctl::kRsc:
    case scmctl::kErsc:
      if (!ScansU(t, "%5u", &v) || v > kSeqMax) return msg::kCounterRange;
      s.cmdlsh[c == scmctl::kSc ? 1 : c == scmctl::kEsc ? 2 : c == scmctl::kRsc ? 3 : 4] = v & ~0xFFu;
      return nullptr;
    case scmctl::kSecTime:
      s.ccsdsSE = SecondaryTime(t, cfgtime);
      return t.size() == 13 ? nullptr : msg::kSecTimeLength;
    case scmctl::kSubsystem:
    case scmctl::kSpareByte:
      return ScansU(t, "%3u", &v) && v < 256 ? nullptr : msg::kByteRange;
    case scmctl::kVersion:
      return ScansU(t, "%1u", &v) && v <= 7 ? nullptr : msg::kVersionRange;
    case scmctl::kType:
    case scmctl::kSecHdr:
      return ScansU(t, "%1u", &v) && v < 2 ? nullptr : msg::kBitRange;
    default:
      return nullptr;
  }
}

void AbandonScm(ScmState& s) {
  s.ccsdsCtr = 0;
  std::size_t end = std::min(kScmBufferSize, kScmHeaderSize + s.scmPtr + 1);
  std::fill(s.scmStr.begin() + kScmHeaderSize, s.scmStr.begin() + static_cast<long>(end), 0);
  s.scmPtr = 0;
  s.cv.clear();
}

std::vector<FieldError> MocHeaderCommit(ScmState& s, int control,
                                        const std::array<std::string, scmctl::kLast + 1>& f,
                                        long cfgtime) {
  std::vector<FieldError> refused;
  if (control >= scmctl::kFirst && control <= scmctl::kLast)
    if (const char* m = CheckField(s, control, f[control], cfgtime)) refused.push_back({control, m});
  // A field refused earlier is still on the panel: nothing reaches the header until every
  // field passes.
  for (int c : kCheckOrder)
    if (c != control)
      if (const char* m = CheckField(s, c, f[c], cfgtime)) refused.push_back({c, m});
  if (!refused.empty()) return refused;

  std::uint8_t* h = s.scmStr.data();
  std::memcpy(h + 19, f[scmctl::kFacility].data(), 6);
  std::memcpy(h + 25, f[scmctl::kSpacecraft].data(), 2);
  std::memcpy(h + 27, f[scmctl::kPackets].data(), 2);
  AbandonScm(s);
  std::memcpy(h + 29, f[scmctl::kEnable].data(), 13);
  std::memcpy(h + 42, f[scmctl::kTimeout].data(), 13);
  std::memcpy(h + 55, f[scmctl::kDelta].data(), 5);
  std::memcpy(h + 0, f[scmctl::kMsgType].data(), 4);
  std::memcpy(h + 14, f[scmctl::kCmdMode].data(), 2);
  std::memcpy(h + 16, f[scmctl::kSpare].data(), 3);
  s.ccsdsSF = ScanU(f[scmctl::kSeqFlags], "%1u");
  for (int c : {scmctl::kSc, scmctl::kEsc, scmctl::kRsc, scmctl::kErsc})
    *Counter(s, c) = ScanU(f[c], "%5u");
  s.ccsdsSE = SecondaryTime(f[scmctl::kSecTime], cfgtime);
  s.ccsdsSS = ScanU(f[scmctl::kSubsystem], "%3u");
  s.ccsdsVN = ScanU(f[scmctl::kVersion], "%1u");
  s.ccsdsT = ScanU(f[scmctl::kType], "%1u");
  s.ccsdsSH = ScanU(f[scmctl::kSecHdr], "%1u");
  s.ccsdsSP = ScanU(f[scmctl::kSpareByte], "%3u");
  return refused;
}

int SearchDB(ScmState& s, const std::vector<std::string>& db, const std::string& word,
             std::string* out, bool scrflg,
             const std::function<bool(const std::string&)>& askCancel) {
  const std::string token = FirstToken(word);
  if (token.empty()) return -1;
  const bool skipConfirm = scrflg && FindNoCase(s.ident, token) != std::string::npos;
  int matched = -1;
  std::size_t pos = std::string::npos;
  for (std::size_t i = 0; i < db.size(); ++i) {
    s.ident = FirstToken(db[i]);
    pos = FindNoCase(s.ident, token);
    if (pos != std::string::npos) {
      matched = static_cast<int>(i);
      break;
    }
  }
  if (!scrflg) s.ident.clear();
  if (matched < 0) return -1;
  const std::string& line = db[static_cast<std::size_t>(matched)];
  std::size_t end = line.find(';');
  if (end == std::string::npos) return -1;
  std::size_t haz = line.find(" H ");
  if (haz != std::string::npos) {
    if (haz < end) end = haz;
    if (!skipConfirm && askCancel && askCancel(token)) {
      s.canceled = 1;
      return -1;
    }
  }
  std::size_t m = 0;
  while (m < line.size() && Blank(line[m])) ++m;
  while (m < line.size() && !Blank(line[m])) ++m;
  *out = m < end ? line.substr(m, std::min(end - m, kExpansionMax)) : std::string();
  return static_cast<int>(pos);
}

bool ScanInt(const std::string& token, int* value) {
  return std::sscanf(token.c_str(), "%i", value) == 1;
}

bool EvalCmd(ScmState& s, const std::string& rest, bool first, int value) {
  s.qflg = 0;
  std::size_t L = 0;
  while (L < rest.size() && !Blank(rest[L])) ++L;
  const std::uint32_t u = static_cast<std::uint32_t>(value);
  if (!first) {
    s.ccsds[0] = static_cast<std::uint8_t>(value >> 8);
    s.ccsds[1] = static_cast<std::uint8_t>(value & 0xFF);
    return true;
  }
  if (!rest.empty() && rest[0] == '"') {
    std::size_t close = rest.find('"', 1);
    std::size_t stop = close == std::string::npos ? rest.size() : close;
    s.qflg = 1;
    // An SCM remark travels in the header, not in the packet.
    if (s.sremFlg) return true;
    for (std::size_t i = 1; i < stop; ++i)
      if (!Put(s, static_cast<std::uint8_t>(rest[i]))) return false;
    return true;
  }
  if (rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X'))
    return PutLow(s, u, L <= 4 ? 1 : L <= 6 ? 2 : L <= 8 ? 3 : 4);
  if (value == 0) {
    int n = L <= 3 ? 1 : L <= 5 ? 2 : L <= 7 ? 3 : L <= 9 ? 4 : 0;
    return PutLow(s, 0, n);
  }
  if (value >= -128 && value <= 255) {
    if (!Put(s, static_cast<std::uint8_t>(u))) return false;
    if (L > 3 && value > 0) return Put(s, 0x00);
    if (value < 0) return Put(s, 0xFF);
    return true;
  }
  if (value >= -32768 && value <= 65535) {
    if (!PutLow(s, u, 2)) return false;
    if (L > 5 && value > 0) return Put(s, 0x00);
    if (value < 0) return Put(s, 0xFF);
    return true;
  }
  if (value >= -8388608 && value <= 0xFFFFFF) return PutLow(s, u, 3);
  return PutLow(s, u, 4);
}

bool HeaderWordsInLine(const std::string& line) {
  std::string head = Lower(line.substr(0, 12));
  return head.find("vantis") != std::string::npos || head.find("identifier") != std::string::npos;
}

void IncrementMessageNumber(std::uint8_t* h) {
  for (int i = 13; i >= 10; --i) {
    if (h[i] >= '9' || h[i] < '0') {
      h[i] = '0';
      continue;
    }
    ++h[i];
    break;
  }
}

std::string ScmText(const std::uint8_t* scm, std::size_t n) {
  std::string t(reinterpret_cast<const char*>(scm), std::min<std::size_t>(n, 132));
  if (n > 132) t += HexText(scm + 132, n - 132);
  return t;
}

namespace {

// Walks the tokens of one level (0 = the typed line, 1-3 = db1-db3): numbers and quoted strings
// are encoded, names expanded from the database into the next level.
bool WalkTokens(ScmState& s, const std::string& text, int level, bool& first, const CommandEnv& env,
                EncodeResult& r) {
  std::size_t i = 0;
  while (i < text.size() && Separator(text[i])) ++i;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && !Blank(text[end])) ++end;
    const std::string token = text.substr(i, end - i);
    int value = 0;
    const bool number = ScanInt(token, &value);
    const bool quoted = text[i] == '"';
    if (number || (quoted && level < 3)) {
      if (!EvalCmd(s, text.substr(i), first, value)) {
        r.what = Encoded::TooLong;
        return false;
      }
      first = true;
    } else if (quoted) {
      // The third level encodes numbers only; a string there is passed over.
    } else if (level < 3) {
      std::string sub;
      if (SearchDB(s, *env.db, token, &sub, env.scrflg, env.askCancel) < 0) {
        r.what = Encoded::Refused;
        r.name = token;
        return false;
      }
      if (!WalkTokens(s, sub, level + 1, first, env, r)) return false;
    } else {
      // A fourth level would be dropped from the packet without a word: refuse the line.
      r.what = Encoded::TooDeep;
      r.name = token;
      return false;
    }
    std::size_t j = end;
    if (quoted) {
      std::size_t close = text.find('"', i + 1);
      j = close == std::string::npos ? text.size() : close + 1;
    }
    while (j < text.size() && !Blank(text[j])) ++j;
    while (j < text.size() && Separator(text[j])) ++j;
    i = j;
  }
  return true;
}

}  // namespace

EncodeResult EncodeCommand(ScmState& s, const std::string& line, const CommandEnv& env) {
  EncodeResult r;
  s.scmstr.clear();
  std::fill(s.ccsds.begin(), s.ccsds.begin() + static_cast<long>(std::min(kScmBufferSize, s.ccsdsPtr + 1)), 0);
  const std::size_t dataStart = s.ccsdsSH ? 12 : 6;
  s.ccsdsPtr = dataStart;
  bool first = false;

  std::string text;
  if (!line.empty() && line[0] == '/') text = line.substr(1);
  else if (!line.empty() && (line[0] == 'c' || line[0] == 'C')) text = line.size() > 3 ? line.substr(3) : "";
  else text = line;

  if (HeaderWordsInLine(line)) {
    r.what = Encoded::NotValid;
    return r;
  }
  s.cmdDescript = text.substr(0, 32);
  static const std::vector<std::string> kNoDb;
  CommandEnv e = env;
  if (!e.db) e.db = &kNoDb;
  if (!WalkTokens(s, text, 0, first, e, r)) return r;

  // Limits before anything is counted: the length field holds 16 bits, the SCM its buffer, the
  // pending list 100 entries.
  const std::size_t packetBytes = s.ccsdsPtr + 1;
  if (s.ccsdsPtr - 6 > 0xFFFF || kScmHeaderSize + s.scmPtr + packetBytes > kScmBufferSize ||
      s.cv.size() >= static_cast<std::size_t>(kPendingMax)) {
    r.what = Encoded::TooLong;
    return r;
  }

  std::uint8_t* c = s.ccsds.data();
  ++s.ccsdsCtr;
  c[0] |= static_cast<std::uint8_t>(((s.ccsdsVN & 7) << 5) | ((s.ccsdsT & 1) << 4) | ((s.ccsdsSH & 1) << 3));
  c[2] |= static_cast<std::uint8_t>((s.ccsdsSF & 3) << 6);

  const std::string enable(reinterpret_cast<const char*>(s.scmStr.data() + 29), 13);
  const bool timed = std::strtoll(enable.c_str(), nullptr, 10) != 0;
  std::uint32_t* counter;
  int tally;
  if (s.ccsdsSH && timed) { counter = &s.ccsdsERSC; tally = 3; s.wsq = 4; }
  else if (s.ccsdsSH) { counter = &s.ccsdsRSC; tally = 2; s.wsq = 3; }
  else if (timed) { counter = &s.ccsdsESC; tally = 1; s.wsq = 2; }
  else { counter = &s.ccsdsSC; tally = 0; s.wsq = 1; }
  s.ccsdsXSC = *counter;
  ++*counter;
  ++s.seqinc[static_cast<std::size_t>(tally)];
  if (*counter > kSeqMax) *counter = 0;
  c[2] |= static_cast<std::uint8_t>((s.ccsdsXSC >> 8) & 0x3F);
  c[3] |= static_cast<std::uint8_t>(s.ccsdsXSC & 0xFF);

  if (s.ccsdsSH) {
    c[6] = static_cast<std::uint8_t>(s.ccsdsSE >> 24);
    c[7] = static_cast<std::uint8_t>(s.ccsdsSE >> 16);
    c[8] = static_cast<std::uint8_t>(s.ccsdsSE >> 8);
    c[9] = static_cast<std::uint8_t>(s.ccsdsSE);
    c[10] = static_cast<std::uint8_t>(s.ccsdsSS);
    c[11] = static_cast<std::uint8_t>(s.ccsdsSP);
  }
  const std::size_t length = s.ccsdsPtr - 6;
  c[4] = static_cast<std::uint8_t>(length >> 8);
  c[5] = static_cast<std::uint8_t>(length & 0xFF);

  if (env.record) {
    // The packet goes into the sequence file instead of an SCM.
    r.packet.assign(c, c + packetBytes);
    std::fill(s.ccsds.begin(), s.ccsds.begin() + static_cast<long>(packetBytes), 0);
    --s.ccsdsCtr;  // not part of any SCM: one being collected keeps its own count
    r.what = Encoded::Recorded;
    return r;
  }

  c[dataStart] = 0;
  unsigned sum = 0;
  for (std::size_t i = 0; i <= s.ccsdsPtr; ++i) sum += c[i];
  c[dataStart] = static_cast<std::uint8_t>(0u - sum + (s.badCks ? 1u : 0u));

  std::uint8_t* dst = s.scmStr.data() + kScmHeaderSize + s.scmPtr;
  std::memcpy(dst, c, packetBytes);
  if (env.cfgcswap)
    for (std::size_t i = 0; i + 1 < dataStart; i += 2) std::swap(dst[i], dst[i + 1]);
  std::string hex = HexText(dst, packetBytes);
  if (hex.size() > kPendingTextMax) hex.resize(kPendingTextMax - 1);
  s.cv.push_back({hex, s.ccsdsXSC});
  std::fill(s.ccsds.begin(), s.ccsds.begin() + static_cast<long>(packetBytes), 0);

  std::uint8_t* h = s.scmStr.data();
  const int count = (h[27] - '0') * 10 + (h[28] - '0');
  if (s.ccsdsCtr < count) {
    s.scmPtr += packetBytes;
    r.what = Encoded::Collected;
    return r;
  }

  const std::size_t total = kScmHeaderSize + s.scmPtr + packetBytes;
  char len[8];
  std::snprintf(len, sizeof len, "%06zu", total - 14);
  std::memcpy(h + 4, len, 6);
  IncrementMessageNumber(h);
  s.ccsdsCtr = 0;
  if (s.sremFlg) {
    std::string remark = line.size() > 12 ? line.substr(12) : std::string();
    remark = remark.substr(0, remark.find('"'));
    PutRight(h + 60, 72, remark.substr(0, 72));
    s.sremFlg = 0;
  } else {
    const ScmScriptFields& slot = s.scripts[static_cast<std::size_t>(std::clamp(s.scf, 0, kScriptSlots - 1))];
    char num[16];
    std::snprintf(num, sizeof num, "%04d", slot.line);
    PutText(h + 60, 4, std::string(num).substr(0, 4));
    PutText(h + 64, 4, slot.vers);
    PutRight(h + 68, 32, slot.name.substr(0, 32));
    PutRight(h + 100, 32, s.cmdDescript);
  }
  s.scmstr = ScmText(h, total);
  s.saveScm.assign(h, h + total);
  s.sizeScm = total;
  r.what = Encoded::Complete;
  return r;
}

std::vector<PendingEntry> TakePending(ScmState& s) {
  std::vector<PendingEntry> moved;
  moved.swap(s.cv);
  std::size_t end = std::min(kScmBufferSize, std::max(s.sizeScm, kScmHeaderSize + s.scmPtr));
  std::fill(s.scmStr.begin() + kScmHeaderSize, s.scmStr.begin() + static_cast<long>(end), 0);
  s.scmPtr = 0;
  return moved;
}

void StepCountersBack(ScmState& s) {
  std::uint32_t* cs[4] = {&s.ccsdsSC, &s.ccsdsESC, &s.ccsdsRSC, &s.ccsdsERSC};
  for (int i = 0; i < 4; ++i) {
    long long v = static_cast<long long>(*cs[i]) - s.seqinc[static_cast<std::size_t>(i)];
    *cs[i] = v < 0 ? 0 : static_cast<std::uint32_t>(v);
    s.seqinc[static_cast<std::size_t>(i)] = 0;
  }
}

bool StampScm(ScmState& s, std::uint8_t* scm, std::size_t size, int sswap) {
  if (size < kScmHeaderSize || !std::isdigit(scm[27]) || !std::isdigit(scm[28])) return false;
  const int count = (scm[27] - '0') * 10 + (scm[28] - '0');
  const bool timed = scm[29] == '2';
  // Checked whole first, so that a bad message moves no counter.
  std::size_t pos = kScmHeaderSize;
  for (int k = 0; k < count; ++k) {
    if (pos + 6 > size) return false;
    const std::uint8_t* p = scm + pos;
    std::size_t len = (sswap ? (static_cast<std::size_t>(p[5]) << 8 | p[4])
                             : (static_cast<std::size_t>(p[4]) << 8 | p[5])) + 7;
    if (pos + len > size || len < 8) return false;
    pos += len;
  }
  // Bytes the count does not cover would leave as a packet nobody stamped or checked.
  if (count < 1 || pos != size) return false;
  pos = kScmHeaderSize;
  for (int k = 0; k < count; ++k) {
    std::uint8_t* p = scm + pos;
    auto swapPairs = [&](std::size_t from, std::size_t to) {
      for (std::size_t i = from; i + 1 < to; i += 2) std::swap(p[i], p[i + 1]);
    };
    if (sswap) swapPairs(0, 6);
    const bool sh = (p[0] & 0x08) != 0;
    if (sswap && sh) swapPairs(6, 12);
    const std::size_t len = (static_cast<std::size_t>(p[4]) << 8 | p[5]) + 7;
    const std::size_t checksumAt = sh ? 12 : 6;
    p[2] &= 0xC0;
    p[3] = 0;
    if (checksumAt < len) p[checksumAt] = 0;
    std::uint32_t* counter;
    int tally;
    if (sh && timed) { counter = &s.ccsdsERSC; tally = 3; s.wsq = 4; }
    else if (sh) { counter = &s.ccsdsRSC; tally = 2; s.wsq = 3; }
    else if (timed) { counter = &s.ccsdsESC; tally = 1; s.wsq = 2; }
    else { counter = &s.ccsdsSC; tally = 0; s.wsq = 1; }
    s.ccsdsXSC = *counter;
    ++*counter;
    if (*counter > kSeqMax) *counter = 0;
    ++s.seqinc[static_cast<std::size_t>(tally)];
    p[2] |= static_cast<std::uint8_t>((s.ccsdsXSC >> 8) & 0x3F);
    p[3] = static_cast<std::uint8_t>(s.ccsdsXSC & 0xFF);
    if (sswap) {
      swapPairs(0, 6);
      if (sh) swapPairs(6, 12);
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum += p[i];
    if (checksumAt < len) p[checksumAt] = static_cast<std::uint8_t>(p[checksumAt] - sum);
    std::string hex = HexText(p, len);
    if (hex.size() > kPendingTextMax) hex.resize(kPendingTextMax - 1);
    if (s.cv.size() < static_cast<std::size_t>(kPendingMax)) s.cv.push_back({hex, s.ccsdsXSC});
    pos += len;
  }
  return true;
}

}  // namespace korvex
