#include "hkdb.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tallox {

const char* const kTlmOpenError = "Cannot open telemetry database file VANTIS_TLM.txt";
const char* const kSepOpenError = "Cannot open telemetry database file SEP_HKG.txt";

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = nl + 1;
  }
  return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cols;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string::npos) {
      cols.push_back(line.substr(start));
      return cols;
    }
    cols.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string Trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool InPacket(const Point& p) {
  const int width = p.size == 1 ? 1 : 2;
  return p.offset >= 0 && p.offset + width <= kPacketSize;
}

// Reads `count` coefficient lines after line j into out[] with the given scanf format.
void ReadBlock(const std::vector<std::string>& lines, std::size_t& j, int skip, int count,
               const char* fmt, double* out, const char* block, const std::string& fileLabel,
               std::vector<std::string>& warnings) {
  j += static_cast<std::size_t>(skip);
  for (int k = 0; k < count; ++k) {
    ++j;
    if (j >= lines.size()) {
      warnings.push_back(fileLabel + ": the " + block + " coefficient block ends after " +
                         std::to_string(k) + " of " + std::to_string(count) +
                         " lines; the rest stay 0");
      return;
    }
    char tag[8] = {0};
    double v = 0;
    if (std::sscanf(lines[j].c_str(), fmt, tag, &v) != 2) {
      warnings.push_back(fileLabel + ": line " + std::to_string(j + 1) + " of the " + block +
                         " block holds no coefficient; it stays 0");
      v = 0;
    }
    out[k] = v;
  }
}

}  // namespace

Database ParseTable(const std::string& text, bool sep, const std::string& fileLabel) {
  Database db;
  db.loaded = true;
  const std::vector<std::string> lines = SplitLines(text);
  if (lines.size() < 6) {
    db.warnings.push_back(fileLabel + ": fewer than six lines, no telemetry points");
    if (!sep)
      db.warnings.push_back(fileLabel + ": no coefficient blocks (YSI, RTD, MAG, STE current)");
    return db;
  }
  std::size_t j = 5;  // the sixth line is the first table line
  bool full = false;
  for (; j < lines.size(); ++j) {
    const std::string& line = lines[j];
    if (StartsWith(line, "Checksum")) break;
    const std::vector<std::string> cols = SplitTabs(line);
    auto col = [&](std::size_t k) -> std::string { return k <= cols.size() ? cols[k - 1] : ""; };
    Point p;
    p.name = col(1).substr(0, 31);
    while (!p.name.empty() && (p.name.back() == ' ' || p.name.back() == '\r')) p.name.pop_back();
    if (p.name.empty() || p.name[0] == '#') continue;
    p.size = std::atoi(col(2).c_str());
    p.offset = std::atoi(col(3).c_str());
    p.col4 = col(4).substr(0, 10);
    p.col5 = std::atoi(col(5).c_str());
    const std::string c6 = Trimmed(col(6));
    if (!sep && StartsWith(c6, "LOGT")) {
      p.kind = Kind::Logt;
    } else if (!sep && StartsWith(c6, "MAG")) {
      p.kind = Kind::Mag;
    } else if (!sep && StartsWith(c6, "RTD")) {
      p.kind = Kind::Rtd;
    } else if (!sep && StartsWith(c6, "YSI")) {
      p.kind = Kind::Ysi;
    } else {
      p.scale = std::atof(c6.c_str());
      if (p.scale == 0) p.scale = 1.0;
      if (!sep && p.name == "ISTEUCur") p.kind = Kind::Ucur;
      if (!sep && p.name == "IDREVSTEDCur") p.kind = Kind::Dcur;
    }
    p.offsetTerm = std::atof(col(7).c_str());
    p.unit = col(8).substr(0, sep ? 9 : 10);
    for (int k = 0; k < 4; ++k) p.coef[k] = std::atof(col(9 + k).c_str());
    if (cols.size() < 3)
      db.warnings.push_back(fileLabel + ": line " + std::to_string(j + 1) + " (" + p.name +
                            ") has no size or offset column; it reads packet offset 0");
    if (!InPacket(p))
      db.warnings.push_back(fileLabel + ": point " + p.name + " lies outside the packet (offset " +
                            std::to_string(p.offset) + "); it reads 0");

    const bool door = !sep && (StartsWith(p.name, "ISTEUDig") || StartsWith(p.name, "IDREVSTEDDig"));
    if (static_cast<int>(db.entries.size()) + (door ? 2 : 1) > kMaxEntries) {
      if (!full)
        db.warnings.push_back(fileLabel + ": more than " + std::to_string(kMaxEntries) +
                              " points; the rest are ignored");
      full = true;
      continue;
    }
    const int idx = static_cast<int>(db.entries.size());
    if (!sep) {
      if (p.name == "IDREVSTE12V") db.IDREVSTED12V = idx;
      if (p.name == "IDREVSTEDVCC1") db.IDREVSTEDVCC1 = idx;
      if (p.name == "IDREVSTED5VD") db.IDREVSTED5VD = idx;
      if (p.name == "ISTEU12V") db.ISTEU12V = idx;
      if (p.name == "ISTEUVCC1") db.ISTEUVCC1 = idx;
      if (p.name == "ISTEU5VD") db.ISTEU5VD = idx;
    }
    db.entries.push_back(p);
    if (door) {
      Point copy = p;
      const bool up = StartsWith(p.name, "ISTEUDig");
      copy.name = up ? "STEUDoor" : "STEDDoor";
      (up ? db.NDBSTEUDoor : db.NDBSTEDDoor) = static_cast<int>(db.entries.size());
      db.entries.push_back(copy);
    }
  }
  if (sep) return db;

  if (j >= lines.size()) {
    db.warnings.push_back(fileLabel +
                          ": no \"Checksum\" line, so no coefficient blocks (YSI, RTD, MAG, STE current)");
    return db;
  }
  bool ysi = false, rtd = false, mag = false, cur = false;
  for (++j; j < lines.size(); ++j) {
    const std::string& line = lines[j];
    if (StartsWith(line, "YSI")) {
      ysi = true;
      ReadBlock(lines, j, 0, 6, "%1s %lf", db.YSIc, "YSI", fileLabel, db.warnings);
    } else if (StartsWith(line, "RTD")) {
      rtd = true;
      ReadBlock(lines, j, 0, 3, "%1s %lf", db.RTDc, "RTD", fileLabel, db.warnings);
    } else if (StartsWith(line, "MAG")) {
      mag = true;
      ReadBlock(lines, j, 0, 6, "%1s %lf", db.MAGc, "MAG", fileLabel, db.warnings);
    } else if (StartsWith(line, "IDREVSTEDCur and ISTEUCur conversions")) {
      cur = true;
      ReadBlock(lines, j, 3, 6, "%5s %lf", db.STECurc, "STE current", fileLabel, db.warnings);
    }
  }
  auto missing = [&](bool have, const char* block) {
    if (!have)
      db.warnings.push_back(fileLabel + ": no " + block +
                            " coefficient block; those conversions give 0");
  };
  missing(ysi, "YSI");
  missing(rtd, "RTD");
  missing(mag, "MAG");
  missing(cur, "STE current");
  return db;
}

std::string ResolveCaseless(const std::string& dir, const std::string& rel) {
  namespace fs = std::filesystem;
  fs::path cur = dir.empty() ? fs::path(".") : fs::path(dir);
  std::stringstream ss(rel);
  std::string part;
  while (std::getline(ss, part, '/')) {
    if (part.empty()) continue;
    fs::path next = cur / part;
    std::error_code ec;
    if (!fs::exists(next, ec)) {
      std::string lower = part;
      std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
      for (const auto& e : fs::directory_iterator(cur, ec)) {
        std::string n = e.path().filename().string();
        std::transform(n.begin(), n.end(), n.begin(), ::tolower);
        if (n == lower) {
          next = e.path();
          break;
        }
      }
    }
    cur = next;
  }
  return cur.string();
}

// Reads a whole table file; false with the path and the system's reason when it cannot be read
// (a directory in its place opens on some systems but reads nothing).
static bool ReadWhole(const std::string& path, std::string* text, std::string* why) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *why = path + ": " + std::strerror(errno);
    return false;
  }
  text->clear();
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
  const bool failed = std::ferror(f) != 0;
  const int e = errno;
  std::fclose(f);
  if (failed) {
    *why = path + ": " + std::strerror(e);
    return false;
  }
  return true;
}

Tables init_database(const std::string& dir) {
  Tables t;
  std::string text;
  if (!ReadWhole(ResolveCaseless(dir, "database/VANTIS_TLM.txt"), &text, &t.detail)) {
    t.error = kTlmOpenError;
    return t;
  }
  t.suite = ParseTable(text, false, "VANTIS_TLM.txt");
  if (!ReadWhole(ResolveCaseless(dir, "database/sep_hkg.txt"), &text, &t.detail)) {
    t.error = kSepOpenError;
    return t;
  }
  t.sep = ParseTable(text, true, "sep_hkg.txt");
  return t;
}

unsigned RawValue(const Point& p, const std::uint8_t* rec) {
  if (!InPacket(p)) return 0;
  return p.size == 1 ? GetByte(rec, kHeaderSize + p.offset) : GetWord(rec, kHeaderSize + p.offset);
}

static double LinearWord(const Database& db, int idx, const std::uint8_t* rec) {
  if (idx < 0 || idx >= static_cast<int>(db.entries.size())) return 0;
  const Point& p = db.entries[idx];
  const int off = p.offset;
  if (off < 0 || off + 2 > kPacketSize) return 0;
  return GetWord(rec, kHeaderSize + off) * p.scale + p.offsetTerm;
}

static double Poly(const double* c, int n, double r) {
  double v = 0, x = 1;
  for (int i = 0; i < n; ++i) {
    v += c[i] * x;
    x *= r;
  }
  return v;
}

double Convert(const Database& db, int idx, const std::uint8_t* rec) {
  if (idx < 0 || idx >= static_cast<int>(db.entries.size())) return 0;
  const Point& p = db.entries[idx];
  const unsigned r = RawValue(p, rec);
  if (idx == db.NDBSTEUDoor || idx == db.NDBSTEDDoor) return (r >> 4) & 3;
  const double rv = r;
  switch (p.kind) {
    case Kind::Linear:
      return rv * p.scale + p.offsetTerm;
    case Kind::Logt:
      return Uncompress(r) / 65536.0;
    case Kind::Mag:
      return Poly(db.MAGc, 6, rv);
    case Kind::Ysi:
      return Poly(db.YSIc, 6, rv);
    case Kind::Rtd:
      return Poly(db.RTDc, 3, rv);
    case Kind::Ucur: {
      const double I = rv * p.scale + p.offsetTerm;
      return db.STECurc[0] * I + db.STECurc[1] * LinearWord(db, db.ISTEU12V, rec) -
             db.STECurc[2] * (LinearWord(db, db.ISTEUVCC1, rec) - LinearWord(db, db.ISTEU5VD, rec));
    }
    case Kind::Dcur: {
      const double I = rv * p.scale + p.offsetTerm;
      return db.STECurc[3] * I + db.STECurc[4] * LinearWord(db, db.IDREVSTED12V, rec) -
             db.STECurc[5] *
                 (LinearWord(db, db.IDREVSTEDVCC1, rec) - LinearWord(db, db.IDREVSTED5VD, rec));
    }
  }
  return 0;
}

void SampleStore::reset() {
  UTC.clear();
  for (auto& row : Samples) row.clear();
  count = 0;
  sel.fill(-1);
  for (auto& n : names) n.clear();
}

Extraction ExtractHK(ScanInput& in, const Database& db, const std::array<int, kSelectors>& sel,
                     bool sep, SampleStore& store, std::size_t maxSamples) {
  Extraction x;
  store.reset();
  for (int k = 0; k < kSelectors; ++k) {
    const bool valid = sel[k] >= 0 && sel[k] < static_cast<int>(db.entries.size());
    store.sel[k] = valid ? sel[k] : -1;
    if (valid) store.names[k] = db.entries[sel[k]].name;
  }
  const bool swap = in.ctl.swap;
  const unsigned want = sep ? 0x241 : 0x200;
  std::uint8_t buf[kDataBufSize];
  std::uint64_t records = 0;
  x.cancelled = !RunSource(in.source, in.FileName, in.ctl, in.progress, [&](const std::uint8_t* rec) {
    ++records;
    if ((SwapWord(rec, 0, swap) & 0x7FF) != want) return true;
    if (store.count >= maxSamples) {
      x.truncated = true;
      return false;
    }
    std::memcpy(buf, rec, kRecordSize);
    if (sep) {
      // The SEP words are read low byte first from the record as transmitted.
      if (!swap) SwapPairs(buf);
      store.UTC.push_back(GetLong4321(buf, 32));
    } else {
      SwapTelemetryBytes(buf, swap);
      store.UTC.push_back(GetLong3412(buf, 32));
    }
    for (int k = 0; k < kSelectors; ++k)
      if (store.sel[k] >= 0) store.Samples[k].push_back(static_cast<float>(Convert(db, store.sel[k], buf)));
    ++store.count;
    return true;
  });
  x.samples = store.count;
  if (records == 0) x.error = in.source.error();
  return x;
}

void HkLimits(const SampleStore& store, bool logScale, double* yMin, double* yMax) {
  double lo = 1000000, hi = -1000000;
  for (int k = 0; k < kSelectors; ++k) {
    if (store.sel[k] < 0) continue;
    for (float v : store.Samples[k]) {
      lo = std::min(lo, static_cast<double>(v));
      hi = std::max(hi, static_cast<double>(v));
    }
  }
  if (logScale && lo < 1e-10) lo = 1e-10;
  *yMin = lo;
  *yMax = hi;
}

std::string OutputPath(const std::string& fileName, const std::string& suffix) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return fileName + suffix;
  return fileName.substr(0, dot) + suffix;
}

std::vector<std::size_t> ExportRows(const SampleStore& store, int rows, double spacing) {
  std::vector<std::size_t> out;
  const std::size_t n = store.count;
  const std::size_t r = rows < 0 ? 0 : static_cast<std::size_t>(rows);
  const std::size_t step = n / (r + 1) + 1;
  std::uint32_t last = 0;
  for (std::size_t i = 0; i < n; i += step) {
    const std::uint32_t t = store.UTC[i];
    if (static_cast<double>(static_cast<std::uint32_t>(t - last)) < spacing) continue;
    out.push_back(i);
    last = t;
  }
  return out;
}

bool SaveHKP(const std::string& fileName, const SampleStore& store, int rows, double spacing,
             std::string* outPath, std::string* error, const std::string& target) {
  if (store.count == 0) {
    if (error) *error = "No housekeeping samples held: nothing to save";
    return false;
  }
  const std::string path = target.empty() ? OutputPath(fileName) : target;
  if (outPath) *outPath = path;
  std::error_code ec;
  if (path == fileName || std::filesystem::equivalent(path, fileName, ec)) {
    // A telemetry file named *.txt would otherwise be replaced by its own export.
    if (error) *error = "The export " + path + " would overwrite the telemetry file itself";
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    if (error) *error = "Cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  std::fprintf(f, "ZEPHRA VANTIS Housekeeping Data\n");
  std::fprintf(f, " Data extracted from telemetry file %s\n\n", fileName.c_str());
  std::fprintf(f, "Time,UTC ");
  for (int k = 0; k < kSelectors; ++k)
    if (store.sel[k] >= 0) std::fprintf(f, "\t%s ", store.names[k].c_str());
  std::fprintf(f, "\n");
  for (std::size_t i : ExportRows(store, rows, spacing)) {
    std::fprintf(f, "%20s ", GetTimeX(store.UTC[i]).c_str());
    for (int k = 0; k < kSelectors; ++k)
      if (store.sel[k] >= 0)
        std::fprintf(f, "\t%f ", i < store.Samples[k].size() ? store.Samples[k][i] : 0.0);
    std::fprintf(f, "\n");
  }
  const bool ok = std::ferror(f) == 0;
  if (std::fclose(f) != 0 || !ok) {
    if (error) *error = "Writing " + path + " failed";
    return false;
  }
  return true;
}

}  // namespace tallox
