#include "commanding/reverse.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "core/text.h"

namespace korvex {

namespace {

std::string FirstToken(const std::string& line) {
  std::size_t a = line.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  std::size_t b = line.find_first_of(" \t", a);
  return line.substr(a, b == std::string::npos ? std::string::npos : b - a);
}

// A line's argument-byte count: the number after its ";" (0 when none reads).
int ArgBytes(const std::string& line) {
  std::size_t s = line.find(';');
  return s == std::string::npos ? 0 : std::atoi(line.c_str() + s + 1);
}

bool Hazardous(const std::string& line) { return line.find(" H ") != std::string::npos; }

std::string Hex2(std::uint8_t b) {
  char t[4];
  std::snprintf(t, sizeof t, "%02x", b);
  return t;
}

// Searches remembered per database at most (a sequence dump names a few dozen commands; the
// bound only keeps hostile input from growing it without end).
constexpr std::size_t kRememberedMax = 100000;

enum class Span { Chars98, BeforeSemicolon };

struct Identifier {
  const std::vector<std::string>& db;
  const std::vector<std::string>& low;  // db, lower case, line for line
  std::unordered_map<std::string, int>* found;  // searches made before and their answers
  std::vector<signed char>* hazard;              // hazard marks looked at before, per line

  bool HazardAt(std::size_t i) const {
    if (!hazard) return Hazardous(db[i]);
    if (hazard->size() != db.size()) hazard->assign(db.size(), -1);
    signed char& h = (*hazard)[i];
    if (h < 0) h = Hazardous(db[i]) ? 1 : 0;
    return h == 1;
  }
  Span span;
  bool hazardSecondBytes;  // the hazard check reads the second sub-code one byte further on

  std::string_view SpanOf(std::size_t i, std::size_t limit) const {
    std::string_view l = low[i];
    return span == Span::Chars98 ? l.substr(0, limit) : l.substr(0, l.find(';'));
  }
  // First line (from the first command line) whose span holds p (lower case).
  int FindApid(std::string_view p) const {
    return Remembered("a" + std::string(p), [&] { return ScanApid(p); });
  }
  int ScanApid(std::string_view p) const {
    for (std::size_t i = kReverseFirstLine; i < low.size(); ++i)
      if (SpanOf(i, 98).find(p) != std::string_view::npos) return static_cast<int>(i);
    return -1;
  }
  // First line whose span, from its second character, holds both m and t.
  int FindWith(const std::string& m, const std::string& t, std::size_t limit) const {
    std::string lm = Lower(m), lt = Lower(t);
    std::string key = (span == Span::Chars98 ? "w" : "s") + std::to_string(limit) + "|" + lm;
    key += '\0';
    key += lt;
    return Remembered(key, [&] { return ScanWith(lm, lt, limit); });
  }
  template <typename Scan>
  int Remembered(const std::string& key, Scan scan) const {
    if (!found) return scan();
    auto it = found->find(key);
    if (it != found->end()) return it->second;
    int r = scan();
    if (found->size() < kRememberedMax) found->emplace(key, r);
    return r;
  }
  int ScanWith(const std::string& lm, const std::string& lt, std::size_t limit) const {
    for (std::size_t i = kReverseFirstLine; i < low.size(); ++i) {
      std::string_view s = SpanOf(i, limit);
      s = s.size() > 1 ? s.substr(1) : std::string_view();
      if (s.find(lm) != std::string_view::npos && s.find(lt) != std::string_view::npos)
        return static_cast<int>(i);
    }
    return -1;
  }
};

bool Usable(const std::vector<std::string>& db, const LoweredLines* lowered) {
  return lowered && lowered->lines.size() == db.size();
}

// The lines in lower case: the caller's copy when it keeps one that matches, else made now.
const std::vector<std::string>& LowerLines(const std::vector<std::string>& db,
                                           const LoweredLines* lowered,
                                           std::vector<std::string>& scratch) {
  if (Usable(db, lowered)) return lowered->lines;
  scratch.clear();
  scratch.reserve(db.size());
  for (const std::string& l : db) scratch.push_back(Lower(l));
  return scratch;
}

struct Named {
  int line = -1;
  std::size_t used = 0;  // data bytes the names took
  bool hazard = false;   // a line on the way had the hazard mark
  bool dbError = false;
};

// Names one command: APID, function code, then up to two sub-codes.
// stopOnHazard: the hazard check stops at the first hazardous line.
Named Identify(const Identifier& id, int apid, const std::uint8_t* d, std::size_t n, int* offset,
               bool stopOnHazard) {
  Named r;
  char p[8];
  std::snprintf(p, sizeof p, "0x%03x", apid & 0xFFF);
  r.line = id.FindApid(p);
  if (r.line < 0) return r;
  auto hazardHere = [&] {
    if (id.HazardAt(static_cast<std::size_t>(r.line))) r.hazard = true;
    return stopOnHazard && r.hazard;
  };
  if (hazardHere()) return r;
  std::string m = FirstToken(id.db[static_cast<std::size_t>(r.line)]);
  std::size_t at = 0;  // next data byte

  // Function code.
  if (n > 0) {
    bool threshold = (apid & 0xFFF) == 0x230 && d[0] < 8;
    std::string t = threshold ? "STEThreshold" : std::to_string(d[0]);
    if (threshold) *offset = static_cast<int>(n);
    int f = id.FindWith(m, t, 98);
    if (f >= 0) {
      r.line = f;
      m = FirstToken(id.db[static_cast<std::size_t>(f)]);
      if (!threshold) at = 1;
      if (hazardHere()) return r;
    }
  }
  if (stopOnHazard && id.db[static_cast<std::size_t>(r.line)].find(';') == std::string::npos) {
    r.dbError = true;
    return r;
  }

  // Sub-codes: a 16-bit "0x" literal over two bytes, else one byte in decimal.
  int shift = 0;
  auto fits = [&](int extra) {
    int a = ArgBytes(id.db[static_cast<std::size_t>(r.line)]);
    return *offset + extra <= static_cast<int>(n) - a;
  };
  auto subCode = [&](std::size_t lo, bool signedByte) -> bool {
    if (lo + 1 < n) {
      std::string t = "0x" + Hex2(d[lo + 1]) + Hex2(d[lo]);
      int f = id.FindWith(m, t, 97);
      if (f >= 0) {
        r.line = f;
        m = FirstToken(id.db[static_cast<std::size_t>(f)]);
        at = std::max(at, lo + 2);
        ++shift;
        return true;
      }
    }
    if (lo < n) {
      int v = signedByte ? static_cast<int>(static_cast<std::int8_t>(d[lo])) : d[lo];
      int f = id.FindWith(m, std::to_string(v), 97);
      if (f >= 0) {
        r.line = f;
        m = FirstToken(id.db[static_cast<std::size_t>(f)]);
        at = std::max(at, lo + 1);
        return true;
      }
    }
    return false;
  };
  if (fits(0) && subCode(1, false) && hazardHere()) return r;
  if (fits(shift)) {
    std::size_t lo = static_cast<std::size_t>((id.hazardSecondBytes ? 2 : 1) + shift);
    if (subCode(lo, true) && hazardHere()) return r;
  }
  r.used = std::min(at, n);
  return r;
}

}  // namespace

HazardCount CountHazards(const std::vector<std::string>& db, const std::uint8_t* pk,
                         std::size_t size, const LoweredLines* lowered) {
  HazardCount c;
  std::vector<std::string> scratch;
  Identifier id{db, LowerLines(db, lowered, scratch),
                Usable(db, lowered) ? &lowered->found : nullptr,
                Usable(db, lowered) ? &lowered->hazard : nullptr, Span::Chars98, true};
  int offset = 1;
  std::size_t pos = 0;
  while (pos + 6 <= size && pk[pos] != 0) {
    const std::uint8_t* p = pk + pos;
    int apid = (p[0] & 3) * 256 + p[1];
    bool sh = (p[0] & 0x08) != 0;
    std::size_t len = static_cast<std::size_t>(p[4]) * 256 + p[5];
    std::size_t dataAt = sh ? 13 : 7;
    std::size_t n = sh ? (len >= 6 ? len - 6 : 0) : len;
    if (pos + dataAt + n > size) n = pos + dataAt < size ? size - pos - dataAt : 0;
    Named r = Identify(id, apid, p + dataAt, n, &offset, true);
    // A command no database line names cannot be vouched for: it counts as hazardous.
    if (r.line < 0 || r.hazard) ++c.hazardous;
    if (r.dbError) {
      c.databaseError = true;
      return c;
    }
    pos += len + (sh ? 13 : 7);
  }
  return c;
}

namespace {
std::vector<std::string> SequenceLinesFresh(const std::vector<std::string>& db,
                                            const std::uint8_t* rec, std::size_t size, int* offset,
                                            const LoweredLines* lowered);
// Dumped halves remembered per database at most before the store starts afresh.
constexpr std::size_t kDumpsRemembered = 4096;
}  // namespace

std::vector<std::string> SequenceLines(const std::vector<std::string>& db, const std::uint8_t* rec,
                                       std::size_t size, int* offset,
                                       const LoweredLines* lowered) {
  // The same half dumped again (dumps repeat) with the same offset reads the same: its answer is
  // kept with the database.
  std::string key;
  if (Usable(db, lowered)) {
    key.assign(reinterpret_cast<const char*>(rec), size);
    key.append(reinterpret_cast<const char*>(offset), sizeof *offset);
    auto it = lowered->dumps.find(key);
    if (it != lowered->dumps.end()) {
      *offset = it->second.offset;
      return it->second.lines;
    }
  }
  std::vector<std::string> out = SequenceLinesFresh(db, rec, size, offset, lowered);
  if (!key.empty()) {
    if (lowered->dumps.size() >= kDumpsRemembered) lowered->dumps.clear();
    lowered->dumps.emplace(std::move(key), LoweredLines::Dump{out, *offset});
  }
  return out;
}

namespace {

std::vector<std::string> SequenceLinesFresh(const std::vector<std::string>& db,
                                            const std::uint8_t* rec, std::size_t size, int* offset,
                                            const LoweredLines* lowered) {
  std::vector<std::string> out;
  std::vector<std::string> scratch;
  Identifier id{db, LowerLines(db, lowered, scratch),
                Usable(db, lowered) ? &lowered->found : nullptr,
                Usable(db, lowered) ? &lowered->hazard : nullptr, Span::BeforeSemicolon, false};
  std::size_t pos = 0;
  while (pos + 2 <= size && rec[pos] != 0) {
    std::uint8_t ident = rec[pos];
    std::size_t n = rec[pos + 1];
    if (pos + 2 + n > size) n = size - pos - 2;  // a record cut by the end of the half
    int apid = (ident & 0x80) ? 0x300 + (ident & 0x7F) : 0x200 + ident;
    const std::uint8_t* d = rec + pos + 2;
    Named r = Identify(id, apid, d, n, offset, false);
    std::string line;
    std::size_t k;
    if (r.line < 0) {
      char t[16];
      std::snprintf(t, sizeof t, "/0x%03X", apid);
      line = t;  // no database line names it: its APID and all its bytes
      k = n;
    } else {
      line = "/" + FirstToken(db[static_cast<std::size_t>(r.line)]);
      k = n - r.used;
    }
    for (std::size_t i = n - k; i < n; ++i) {
      char t[8];
      std::snprintf(t, sizeof t, " %.2X", d[i]);
      line += t;
    }
    out.push_back(line);
    pos += 2 + rec[pos + 1] + (rec[pos + 1] & 1);
  }
  return out;
}

}  // namespace

}  // namespace korvex
