#include "database.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

namespace mocsim {

namespace fs = std::filesystem;

bool containsNoCase(const std::string& hay, const std::string& needle) {
  if (needle.empty()) return true;
  auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end(), [](char a, char b) {
    return std::tolower((unsigned char)a) == std::tolower((unsigned char)b);
  });
  return it != hay.end();
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t t = line.find('\t', start);
    if (t == std::string::npos) {
      out.push_back(line.substr(start));
      break;
    }
    out.push_back(line.substr(start, t - start));
    start = t + 1;
  }
  return out;
}

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace((unsigned char)s[a])) ++a;
  while (b > a && std::isspace((unsigned char)s[b - 1])) --b;
  return s.substr(a, b - a);
}

std::optional<double> parseNumber(const std::string& s) {
  std::string t = trim(s);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str()) return std::nullopt;
  return v;
}

std::optional<long> parseInt(const std::string& s) {
  std::string t = trim(s);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 0);
  if (end == t.c_str()) return std::nullopt;
  return v;
}

int LineTable::find(const std::string& name) const {
  for (size_t i = 0; i < lines.size(); ++i)
    if (containsNoCase(lines[i], name)) return int(i);
  return -1;
}

static std::optional<double> limitField(const std::vector<std::string>& f, size_t i) {
  if (i >= f.size()) return std::nullopt;
  std::string t = trim(f[i]);
  if (t.empty() || t[0] == 'N' || t[0] == 'n') return std::nullopt;
  return parseNumber(t);
}

ItemDef parseItem(const std::string& line) {
  ItemDef d;
  auto f = splitTabs(line);
  auto field = [&](size_t i) { return i < f.size() ? trim(f[i]) : std::string(); };
  d.name = field(0);
  auto size = parseInt(field(1));
  d.size = size ? int(*size) : 2;
  if (d.size != 1 && d.size != 4) d.size = 2;
  auto off = parseInt(field(2));
  // The offset is decimal; a leading zero must not turn it octal.
  if (off) {
    auto dec = parseNumber(field(2));
    d.offset = dec ? int(*dec) : -1;
  }
  d.gainText = field(5);
  auto g = parseNumber(field(5));
  d.gainA = (g && *g != 0.0) ? *g : 1.0;
  d.offA = parseNumber(field(6)).value_or(0.0);
  d.unit = field(7);
  d.conv = field(13);
  d.limits.redLow = limitField(f, 8);
  d.limits.yellowLow = limitField(f, 9);
  d.limits.yellowHigh = limitField(f, 10);
  d.limits.redHigh = limitField(f, 11);
  auto gb = parseNumber(field(14));
  d.gainB = (gb && *gb != 0.0) ? *gb : 1.0;
  d.offB = parseNumber(field(15)).value_or(0.0);
  return d;
}

std::vector<std::string> textLines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) {
    if (cur.back() == '\r') cur.pop_back();
    out.push_back(cur);
  }
  return out;
}

LineTable parseLines(const std::string& text, const char* stopMarker) {
  LineTable t;
  for (auto& l : textLines(text)) {
    if (stopMarker && containsNoCase(l, stopMarker)) break;
    t.lines.push_back(l);
  }
  return t;
}

namespace {

// Case-sensitive search for a sensor-block marker within `budget` lines from `pos`.
int findMarker(const std::vector<std::string>& lines, size_t pos, const char* marker, int budget) {
  for (int n = 0; n < budget && pos + n < lines.size(); ++n)
    if (lines[pos + n].find(marker) != std::string::npos) return int(pos + n);
  return -1;
}

size_t stopIndex(const std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (containsNoCase(lines[i], "Total Bytes")) return i;
  return lines.size();
}

}  // namespace

namespace {
constexpr const char* kTlmFile = "database/VANTIS_tlm.txt";
constexpr const char* kSepFile = "database/sep_hkg.txt";

// Reads the coefficient blocks of one file and notes, by file and line, what went wrong.
struct BlockReader {
  const std::vector<std::string>& lines;
  const char* file;
  std::vector<std::string>& notes;
  void note(std::size_t line, const char* what) {
    notes.push_back(std::string(file) + ":" + std::to_string(line + 1) + ": " + what);
  }
  // A coefficient line that does not read gives 0, and says so.
  double coeff(std::size_t line, const char* fmt) {
    char buf[256] = {0};
    char* end = buf;
    double v = std::sscanf(lines[line].c_str(), fmt, buf) == 1 ? std::strtod(buf, &end) : 0.0;
    if (end == buf) note(line, "coefficient not readable; 0 used");
    return v;
  }
};
}  // namespace

void parseTlm(const std::string& text, TlmDatabase& db, std::vector<std::string>& notes) {
  auto lines = textLines(text);
  size_t stop = stopIndex(lines);
  db.items.lines.assign(lines.begin(), lines.begin() + stop);
  db.coefficients = false;
  if (stop >= lines.size()) {
    notes.push_back(std::string(kTlmFile) + ": no \"Total Bytes\" line, sensor coefficients not read");
    return;
  }
  BlockReader rd{lines, kTlmFile, notes};
  auto note = [&](std::size_t from, const char* what) { rd.note(from, what); };
  auto coeff = [&](std::size_t line, const char* fmt) { return rd.coeff(line, fmt); };
  const char* one = " %*c %255[^\t]";
  int at = findMarker(lines, stop + 1, "YSI", 150);
  if (at < 0) { note(stop + 1, "YSI block missing"); return; }
  size_t p = at + 2;  // the line after the marker is a caption
  for (int i = 0; i < 6 && p < lines.size(); ++i) db.ysi[i] = coeff(p++, one);
  at = findMarker(lines, p, "RTD", 100);
  if (at < 0) { note(p, "RTD block missing"); return; }
  p = at + 1;
  for (int i = 0; i < 4 && p < lines.size(); ++i, ++p)
    if (i < 3) db.rtd[i] = coeff(p, one);
  at = findMarker(lines, p, "MAG", 100);
  if (at < 0) { note(p, "MAG block missing"); return; }
  p = at + 1;
  for (int i = 0; i < 6 && p < lines.size(); ++i) db.mag[i] = coeff(p++, one);
  at = findMarker(lines, p, "STEUa", 100);
  if (at < 0) { note(p, "STEUa block missing"); return; }
  p = at + 1;
  const char* second = " %*[^\t] %255[^\t]";
  double c[6] = {0};
  for (int i = 0; i < 6 && p < lines.size(); ++i) c[i] = coeff(p++, second);
  db.ucur = {c[0], c[1], c[2]};
  db.dcur = {c[3], c[4], c[5]};
  db.coefficients = true;
}

void parseSep(const std::string& text, SepDatabase& db, std::vector<std::string>& notes) {
  auto lines = textLines(text);
  size_t stop = stopIndex(lines);
  db.items.lines.assign(lines.begin(), lines.begin() + stop);
  db.coefficients = false;
  if (stop >= lines.size()) {
    notes.push_back(std::string(kSepFile) + ": no \"Total Bytes\" line, sensor coefficients not read");
    return;
  }
  BlockReader rd{lines, kSepFile, notes};
  auto note = [&](std::size_t from, const char* what) { rd.note(from, what); };
  auto coeff = [&](std::size_t line, const char* fmt) { return rd.coeff(line, fmt); };
  auto sixTemps = [&](size_t& p, std::array<double, 6>& c) {
    for (int i = 0; i < 3 && p < lines.size(); ++i) c[i] = coeff(p++, " %*[^\t] %*c %255[^\t]");
    for (int i = 3; i < 6 && p < lines.size(); ++i) c[i] = coeff(p++, " %*c %255[^\t]");
  };
  int at = findMarker(lines, stop + 1, "N_LET_Temp0", 100);
  if (at < 0) { note(stop + 1, "LET temperature block missing"); return; }
  size_t p = at + 1;
  sixTemps(p, db.let);
  at = findMarker(lines, p, "N_SEP_APRBTemp", 100);
  if (at < 0) { note(p, "SEP temperature block missing"); return; }
  p = at + 1;
  sixTemps(p, db.sep);
  at = findMarker(lines, p, "N_SIT_HVMon", 100);
  if (at < 0) { note(p, "SIT block missing"); return; }
  p = at;
  for (int g = 0; g < 8 && p < lines.size(); ++g, ++p) {
    auto& a = db.sit[g];
    std::sscanf(lines[p].c_str(), " %*[^\t] %lf %lf %lf %lf", &a[0], &a[1], &a[2], &a[3]);
  }
  if (p < lines.size())
    std::sscanf(lines[p].c_str(), " %lf %lf %lf %lf", &db.vrp6[0], &db.vrp6[1], &db.vrp6[2], &db.vrp6[3]);
  db.coefficients = true;
}

void parseBrm(const std::string& text, BrmDatabase& db) {
  db.lines = parseLines(text, "Total Bytes");
  db.itemLines.clear();
  for (size_t i = 0; i < db.lines.lines.size(); ++i) {
    const auto& l = db.lines.lines[i];
    if (!l.empty() && (l[0] == 'P' || l[0] == 'C')) db.itemLines.push_back(int(i));
  }
}

std::vector<SpcItem> parseSpc(const std::string& text) {
  static const char* kSuffixes[] = {"_00B", "_00C", "_00D", "_01C", "_01E"};
  std::vector<SpcItem> out;
  int n = 0;
  for (auto& l : textLines(text)) {
    if (n++ >= 85) break;
    auto f = splitTabs(l);
    if (f.size() < 5) continue;
    SpcItem it;
    for (size_t k = 0; k < 2 && it.key.empty(); ++k)
      for (auto* s : kSuffixes)
        if (containsNoCase(f[k], s)) it.key = trim(f[k]);
    if (it.key.empty()) continue;
    auto ndx = parseNumber(f[2]);
    auto bofs = parseNumber(f[3]);
    auto numb = parseNumber(f[4]);
    if (!ndx || !bofs || !numb) continue;
    it.ndx = int(*ndx);
    it.bofs = int(*bofs);
    it.numb = int(*numb);
    if (f.size() > 5) it.vofs = parseNumber(f[5]).value_or(0.0);
    if (f.size() > 6) it.vmlt = parseNumber(f[6]).value_or(0.0);
    if (f.size() == 11) {
      it.yl = parseNumber(f[7]);
      it.yh = parseNumber(f[8]);
      it.rl = parseNumber(f[9]);
      it.rh = parseNumber(f[10]);
    }
    out.push_back(it);
  }
  return out;
}

std::string resolvePath(const std::string& dir, const std::string& rel) {
  fs::path cur = dir.empty() ? fs::path(".") : fs::path(dir);
  std::stringstream ss(rel);
  std::string comp;
  while (std::getline(ss, comp, '/')) {
    if (comp.empty()) continue;
    fs::path exact = cur / comp;
    std::error_code ec;
    if (fs::exists(exact, ec)) {
      cur = exact;
      continue;
    }
    bool found = false;
    if (fs::is_directory(cur, ec)) {
      for (auto& e : fs::directory_iterator(cur, ec)) {
        std::string n = e.path().filename().string();
        if (n.size() == comp.size() && containsNoCase(n, comp)) {
          cur = e.path();
          found = true;
          break;
        }
      }
    }
    if (!found) cur = exact;
  }
  return cur.string();
}

bool readFileText(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  out = ss.str();
  return true;
}

void loadStation(const std::string& dir, Databases& db) {
  std::string text;
  auto load = [&](const char* rel) {
    std::string p = resolvePath(dir, rel);
    if (!readFileText(p, text)) {
      db.notes.push_back(std::string("missing ") + p);
      return false;
    }
    db.notes.push_back(std::string("loaded ") + p);
    return true;
  };
  if (load("database/VANTIS_tlm.txt")) parseTlm(text, db.tlm, db.notes);
  if (load("database/VANTIS_err.txt")) db.err = parseLines(text, "Total Bytes");
  if (load("database/sep_hkg.txt")) parseSep(text, db.sep, db.notes);
  if (load("database/BRIMLET_dhk.txt")) parseBrm(text, db.brm);
  if (load("database/basis.txt")) db.spc = parseSpc(text);
  if (load("database/VANTIS_ctm.prn")) db.cmd.lines = textLines(text);
}

std::vector<uint8_t> encodeToken(const std::string& token, long value) {
  std::vector<uint8_t> out;
  size_t L = token.size();
  auto lsb = [&](int n) {
    for (int i = 0; i < n; ++i) out.push_back(uint8_t((unsigned long)value >> (8 * i)));
  };
  if (L > 1 && (token[1] == 'x' || token[1] == 'X')) {
    lsb(L <= 4 ? 1 : L <= 6 ? 2 : L <= 8 ? 3 : 4);
  } else if (value == 0) {
    int n = L <= 3 ? 1 : L <= 5 ? 2 : L <= 7 ? 3 : L <= 9 ? 4 : 0;
    out.assign(n, 0);
  } else if (value >= -128 && value <= 255) {
    lsb(1);
    if (L > 3 && value > 0) out.push_back(0x00);
    else if (value < 0) out.push_back(0xFF);
  } else if (value >= -32768 && value <= 65535) {
    lsb(2);
    if (L > 5 && value > 0) out.push_back(0x00);
    else if (value < 0) out.push_back(0xFF);
  } else if (value >= -8388608 && value <= 0xFFFFFF) {
    lsb(3);
  } else {
    lsb(4);
  }
  return out;
}

std::vector<std::string> templateTokens(const std::string& body) {
  // Tokens are separated by blanks; tabs and backslashes do not form part of a token either.
  std::vector<std::string> toks;
  std::string cur;
  bool inQuote = false;
  for (char c : body) {
    if (c == '"') inQuote = !inQuote;
    if (!inQuote && (c == ' ' || c == '\t' || c == '\\')) {
      if (!cur.empty()) toks.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) toks.push_back(cur);
  return toks;
}

static std::string firstToken(const std::string& line) {
  auto t = templateTokens(line);
  return t.empty() ? std::string() : t[0];
}

int CommandDb::findMnemonic(const std::string& token) const {
  for (size_t i = 0; i < lines.size(); ++i)
    if (containsNoCase(firstToken(lines[i]), token)) return int(i);
  return -1;
}

namespace {
// Template text of a line: after the mnemonic, up to ";" or an earlier hazard mark.
bool lineTemplate(const std::string& line, std::string& body, bool& hazardous, int& args) {
  size_t semi = line.find(';');
  if (semi == std::string::npos) return false;
  size_t haz = line.find(" H ");
  hazardous = haz != std::string::npos;
  size_t end = (hazardous && haz < semi) ? haz : semi;
  size_t a = line.find_first_not_of(" \t");
  if (a == std::string::npos || a >= end) return false;
  size_t b = line.find_first_of(" \t", a);
  if (b == std::string::npos || b > end) b = end;
  body = line.substr(b, end - b);
  args = int(std::strtol(line.c_str() + semi + 1, nullptr, 10));
  return true;
}

bool isNumberToken(const std::string& tok, long& v) {
  char* e = nullptr;
  v = std::strtol(tok.c_str(), &e, 0);
  return e != tok.c_str() && *e == '\0';
}
}  // namespace

std::optional<CommandTemplate> CommandDb::expand(int idx, bool withArgs) const {
  if (idx < 0 || size_t(idx) >= lines.size()) return std::nullopt;
  CommandTemplate t;
  std::string body;
  int args = 0;
  if (!lineTemplate(lines[idx], body, t.hazardous, args)) return std::nullopt;
  t.mnemonic = firstToken(lines[idx]);
  bool first = true;
  std::function<void(const std::string&, int)> walk = [&](const std::string& text, int depth) {
    for (auto& tok : templateTokens(text)) {
      long v = 0;
      if (tok[0] == '"') {
        for (size_t k = 1; k < tok.size() && tok[k] != '"'; ++k) t.data.push_back(uint8_t(tok[k]));
        first = false;
      } else if (isNumberToken(tok, v)) {
        if (first) {
          t.apid = int(v & 0x7FF);
          first = false;
        } else {
          auto b = encodeToken(tok, v);
          t.data.insert(t.data.end(), b.begin(), b.end());
        }
      } else if (depth < 3) {
        int j = findMnemonic(tok);
        std::string sub;
        bool h = false;
        int a = 0;
        if (j >= 0 && lineTemplate(lines[j], sub, h, a)) walk(sub, depth + 1);
      }
    }
  };
  walk(body, 1);
  if (t.apid < 0) return std::nullopt;
  if (withArgs)
    for (int i = 0; i < args && i < 64; ++i) t.data.push_back(0x01);
  return t;
}

}  // namespace mocsim
