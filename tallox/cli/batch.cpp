#include "batch.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>

#include "../core/browse.h"
#include "../core/hkdb.h"
#include "../core/scans.h"
#include "../core/science.h"

namespace tallox {

namespace fs = std::filesystem;

namespace {

const char* const kVerbs[] = {"scan", "burst",  "timing",   "hk",  "hkstats",
                              "packet", "mag", "magseries", "fit", "sterates", "ste",
                              "drevrates", "bursthk", "criteria"};

struct Options {
  std::string verb, file;
  std::vector<std::string> positional;
  bool swap = true, fine = false, sep = false, meanRemoval = false;
  std::string start, end;
  bool haveStart = false, haveEnd = false;
  unsigned apid = 0;
  bool haveApid = false;
  int find = -1;  // packet search kind (0-3) or APID, -1 for none
  std::vector<std::string> points;
  int rows = 1000000;
  double spacing = 0;
  std::string out, dbDir = ".";
  bool haveDb = false;
  bool combine = false;
  int next = 0;  // STE accumulations to step on
  std::string steFit;  // "peaks" or "lines"
  int spectrum = 0;
  double fitSpacing = 8, fitWidth = 1.5;
};

bool ParseHex(const std::string& s, unsigned* v) {
  std::string t = s;
  if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) t.pop_back();
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
  if (t.empty()) return false;
  char* endp = nullptr;
  errno = 0;
  const unsigned long x = std::strtoul(t.c_str(), &endp, 16);
  if (errno || *endp || x > 0xFFFF) return false;
  *v = static_cast<unsigned>(x);
  return true;
}

bool ParseNumber(const std::string& s, double* v) {
  char* endp = nullptr;
  *v = std::strtod(s.c_str(), &endp);
  return !s.empty() && *endp == 0;
}

// Returns an empty string on success, otherwise the usage error.
std::string Parse(const std::vector<std::string>& args, Options* o) {
  o->verb = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) -> bool {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--swap") {
      o->swap = true;
    } else if (a == "--no-swap") {
      o->swap = false;
    } else if (a == "--fine") {
      o->fine = true;
    } else if (a == "--sep") {
      o->sep = true;
    } else if (a == "--fit") {
      if (!value(&o->steFit) || (o->steFit != "peaks" && o->steFit != "lines"))
        return "--fit needs peaks or lines";
    } else if (a == "--spectrum") {
      double d;
      if (!value(&v) || !ParseNumber(v, &d) || d < 0 || d > 7) return "--spectrum needs 0-7";
      o->spectrum = static_cast<int>(d);
    } else if (a == "--fit-spacing") {
      if (!value(&v) || !ParseNumber(v, &o->fitSpacing) || !(o->fitSpacing > 0))
        return "--fit-spacing needs channels";
    } else if (a == "--fit-width") {
      if (!value(&v) || !ParseNumber(v, &o->fitWidth) || !(o->fitWidth > 0))
        return "--fit-width needs channels";
    } else if (a == "--combine") {
      o->combine = true;
    } else if (a == "--next") {
      double d;
      if (!value(&v) || !ParseNumber(v, &d) || d < 0 || d > 100000) return "--next needs a count";
      o->next = static_cast<int>(d);
    } else if (a == "--ac") {
      o->meanRemoval = true;
    } else if (a == "--start") {
      if (!value(&o->start)) return "--start needs a time";
      o->haveStart = true;
    } else if (a == "--end") {
      if (!value(&o->end)) return "--end needs a time";
      o->haveEnd = true;
    } else if (a == "--apid") {
      if (!value(&v) || !ParseHex(v, &o->apid)) return "--apid needs a hexadecimal APID";
      o->haveApid = true;
    } else if (a == "--find") {
      double d;
      if (!value(&v) || !ParseNumber(v, &d) || d < 0 || d > 3)
        return "--find needs a search kind 0-3 (checksum error, invalid ApID, sequence break, "
               "MAG mode change)";
      o->find = static_cast<int>(d);
    } else if (a == "--find-apid") {
      unsigned x;
      if (!value(&v) || !ParseHex(v, &x) || x > 0x7FF) return "--find-apid needs a hexadecimal APID";
      // The search selector's values 0-3 are its four kinds, so those APIDs cannot be sought.
      if (x < 4) return "--find-apid cannot search for APIDs 0-3 (--find 0-3 are the search kinds)";
      o->find = static_cast<int>(x);
    } else if (a == "--points") {
      if (!value(&v)) return "--points needs NAME,...";
      std::stringstream ss(v);
      std::string p;
      while (std::getline(ss, p, ','))
        if (!p.empty()) o->points.push_back(p);
    } else if (a == "--rows") {
      double d;
      if (!value(&v) || !ParseNumber(v, &d) || d < 0) return "--rows needs a number";
      o->rows = static_cast<int>(d);
    } else if (a == "--spacing") {
      if (!value(&v) || !ParseNumber(v, &o->spacing)) return "--spacing needs seconds";
    } else if (a == "--out") {
      if (!value(&o->out)) return "--out needs a path";
    } else if (a == "--db") {
      if (!value(&o->dbDir)) return "--db needs a directory";
      o->haveDb = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return "unknown option " + a;
    } else {
      o->positional.push_back(a);
    }
  }
  if (o->positional.empty()) return "no telemetry file given";
  o->file = o->positional[0];
  return "";
}

// Whole-file mode unless a window is given; a window with one side open reaches to the end of
// the mission-second range on that side.
void SetWindow(const Options& o, SourceControls& ctl) {
  ctl.swap = o.swap;
  ctl.wholeFile = !(o.haveStart || o.haveEnd);
  ctl.startText = o.haveStart ? o.start : "1958 JAN  1 00:00:00";
  ctl.endText = o.haveEnd ? o.end : "2094 FEB  6 06:28:15";
}

// Progress on stderr, one line every tenth of the file.
Progress MakeProgress(std::ostream& err, const std::string& what) {
  auto lastTenth = std::make_shared<int>(-1);
  return [&err, what, lastTenth](std::uint64_t done, std::uint64_t total) {
    if (total == 0) return true;
    const int tenth = static_cast<int>(done * 10 / total);
    if (tenth != *lastTenth) {
      *lastTenth = tenth;
      err << "tallox " << what << ": " << tenth * 10 << "%\n";
    }
    return true;
  };
}

// Checks that the file exists and can be read; reports sizes that cannot be whole records.
bool CheckFile(const std::string& path, std::ostream& err) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    err << "tallox: cannot open " << path << ": " << std::strerror(errno) << "\n";
    return false;
  }
  char probe;
  const bool readable = std::fread(&probe, 1, 1, f) == 1 || !std::ferror(f);
  std::fseek(f, 0, SEEK_END);
  const long long size = std::ftell(f);
  std::fclose(f);
  if (!readable || size < 0) {
    err << "tallox: cannot read " << path << "\n";
    return false;
  }
  if (size < kRecordSize)
    err << "tallox: warning: " << path << " holds no whole 298-byte record (" << size
        << " bytes)\n";
  else if (size % kRecordSize)
    err << "tallox: warning: " << path << " is " << size
        << " bytes, not a whole number of 298-byte records; the last " << size % kRecordSize
        << " bytes are ignored\n";
  return true;
}

int Fail(std::ostream& err, const std::string& msg, int code) {
  err << "tallox: " << msg << "\n";
  return code;
}

}  // namespace

std::string BatchUsage() {
  return "usage:\n"
         "  tallox scan FILE\n"
         "  tallox burst FILE [--apid A]\n"
         "  tallox timing FILE --apid A [--fine]\n"
         "  tallox hk FILE --points NAME,... [--sep] [--rows R] [--spacing S] [--out PATH] [--db DIR]\n"
         "  tallox hkstats FILE\n"
         "  tallox packet FILE N [--ac]\n"
         "  tallox packet FILE [N] --find K | --find-apid A   (searches forward from record N)\n"
         "  tallox mag FILE N [--ac] [--out PATH]   (MAG export of record N)\n"
         "  tallox magseries FILE [--apid 208|209]\n"
         "  tallox fit FILE N   (MAG step fit of record N)\n"
         "  tallox sterates FILE\n"
         "  tallox ste FILE [--combine] [--next K] [--out PATH]\n"
         "      [--fit peaks|lines [--spectrum K] [--fit-spacing S] [--fit-width W]]\n"
         "  tallox drevrates FILE   tallox bursthk FILE   tallox criteria FILE\n"
         "common options: --swap (file in transmission order, the default) | --no-swap,\n"
         "  --start \"2006 JAN  4 12:30:00\" --end \"...\" (time window; whole file without them)\n"
         "APIDs are hexadecimal (209, 0x209 or 209h). --db DIR holds database/VANTIS_TLM.txt.\n"
         "  tallox [--headless]   starts the program with its panels\n";
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string w;
  bool inQuotes = false, have = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if (!inQuotes && (c == ' ' || c == '\t' || c == '\r')) {
      if (have) words.push_back(w);
      w.clear();
      have = false;
    } else {
      w += c;
      have = true;
    }
  }
  if (have) words.push_back(w);
  return words;
}

bool IsBatchCommand(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  for (const char* v : kVerbs)
    if (args[0] == v) return true;
  return false;
}

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!IsBatchCommand(args)) return Fail(err, "unknown command\n" + BatchUsage(), 2);
  Options o;
  const std::string usage = Parse(args, &o);
  if (!usage.empty()) return Fail(err, usage + "\n" + BatchUsage(), 2);
  if (!CheckFile(o.file, err)) return 1;

  ScanInput in;
  in.FileName = o.file;
  SetWindow(o, in.ctl);
  in.progress = MakeProgress(err, o.verb);

  auto reportSourceError = [&](const std::string& e) -> int {
    if (e.empty()) return 0;
    err << "tallox: " << e << "\n";
    return 1;
  };
  // A whole-file read writes the first and last packet times into the main panel's time fields;
  // they close every batch report that read the file.
  auto timeFields = [&]() {
    if (!in.ctl.wholeFile) return;
    if (!in.ctl.startText.empty()) out << "Start time: " << in.ctl.startText << "\n";
    if (!in.ctl.endText.empty()) out << "End time: " << in.ctl.endText << "\n";
  };

  if (o.verb == "scan") {
    ApidScan s = ScanApIDs(in);
    if (int rc = reportSourceError(s.error)) return rc;
    out << FormatApidScan(s);
    timeFields();
    if (s.records > 0 && s.invalid == s.records)
      err << "tallox: warning: no record of " << o.file
          << " holds a known APID; is it a telemetry file, and is the byte order (--swap/--no-swap) right?\n";
    return 0;
  }
  if (o.verb == "burst") {
    unsigned sel = o.haveApid ? o.apid : 0;
    if (sel != 0 && sel != 0x209 && sel != 0x211 && sel != 0x221 && sel != 0x223)
      return Fail(err, "--apid must be one of the burst APIDs 209, 211, 221, 223", 2);
    BurstScan b = ScanBurst1(in, sel);
    if (int rc = reportSourceError(b.error)) return rc;
    out << b.log << FormatBurstCounts(b);
    timeFields();
    return 0;
  }
  if (o.verb == "timing") {
    if (!o.haveApid) return Fail(err, "timing needs --apid A", 2);
    TimingResult t = StartTiming(in, o.apid, o.fine);
    if (int rc = reportSourceError(t.error)) return rc;
    out << FormatTiming(t);
    timeFields();
    return 0;
  }
  if (o.verb == "hkstats") {
    HkStats h = ScanHKP(in);
    if (int rc = reportSourceError(h.error)) return rc;
    out << FormatHkStats(h);
    timeFields();
    return 0;
  }
  // A single packet by record number, as the packet panel shows it.
  auto showRecord = [&](DumpFile& dump, const char* verb) -> int {
    double n = 0;
    if (o.positional.size() < 2) return Fail(err, std::string(verb) + " needs a record number N", 2);
    if (!ParseNumber(o.positional[1], &n) || n < 0)
      return Fail(err, "record number must be 0 or more", 2);
    std::string e;
    if (!dump.open(o.file, &e)) return Fail(err, e, 1);
    if (!dump.PacketNum(static_cast<long long>(n), o.swap))
      return Fail(err, o.file + " holds no whole record", 1);
    if (dump.PacketNumber() != static_cast<long long>(n))
      return Fail(err, "record " + std::to_string(static_cast<long long>(n)) + " is beyond the end", 1);
    if ((GetApID(dump.Data()) & 0xFFE) != 0x208)
      return Fail(err, "record " + std::to_string(dump.PacketNumber()) + " is not a MAG packet (APID 208/209)", 1);
    return 0;
  };
  if (o.verb == "mag") {
    DumpFile dump;
    if (int rc = showRecord(dump, "mag")) return rc;
    const MagView m = MakeMagView(dump.Data(), o.meanRemoval);
    std::string path, e;
    if (!SaveMag(o.file, m, dump.PacketNumber(), &path, &e, o.out)) return Fail(err, e, 1);
    out << "Written: " << path << "\n";
    return 0;
  }
  if (o.verb == "fit") {
    DumpFile dump;
    if (int rc = showRecord(dump, "fit")) return rc;
    const MagView m = MakeMagView(dump.Data(), false);
    const double dt = MagSampleInterval(dump.Data());
    std::array<MagIfcFit, 3> f = {FitMagComponent(m.x, dt), FitMagComponent(m.y, dt),
                                  FitMagComponent(m.z, dt)};
    out << FormatMagIfcFit(f);
    return 0;
  }
  if (o.verb == "magseries") {
    unsigned a = o.haveApid ? o.apid : 0x208;
    if (a != 0x208 && a != 0x209) return Fail(err, "--apid must be 208 or 209", 2);
    MagSeries s = ExtractMag(in, a == 0x209);
    if (int rc = reportSourceError(s.error)) return rc;
    if (s.truncated) err << "tallox: warning: stopped at 1000000 samples\n";
    out << FormatMagSeries(s);
    timeFields();
    return 0;
  }
  if (o.verb == "sterates") {
    SampleStore store;
    SteRates r = ExtractSteRates(in, store);
    if (int rc = reportSourceError(r.error)) return rc;
    if (r.truncated) err << "tallox: warning: stopped at 1000000 samples\n";
    if (r.skippedZeroAcc)
      err << "tallox: warning: " << r.skippedZeroAcc << " packets with 0 s accumulation left out\n";
    out << "Packets: " << r.packets << "\nFrames: " << store.count << "\n";
    if (store.count) {
      std::array<bool, 24> all;
      all.fill(true);
      double lo, hi;
      SteRateLimits(store, all, &lo, &hi);
      char b[128];
      std::snprintf(b, sizeof b, "Y min: %.6f\nY max: %.6f\n", lo, hi);
      out << b << "First time: " << GetTime1(store.UTC.front()) << "\nLast time: "
          << GetTime1(store.UTC.back()) << "\n";
    }
    timeFields();
    return 0;
  }
  if (o.verb == "ste") {
    SteAccumulation acc = AccSTESpec(in);
    if (int rc = reportSourceError(acc.error)) return rc;
    for (int k = 0; k < o.next; ++k)
      if (!STEAccNext(in, acc)) {
        err << "tallox: the accumulation did not end at a mode change; no next interval\n";
        return 1;
      }
    if (acc.skippedBadSize)
      err << "tallox: warning: " << acc.skippedBadSize << " spectrum packets with more than 64 energies left out\n";
    out << FormatSteAccumulation(acc);
    std::string path, e;
    if (!SaveSTEAcc(o.file, acc, o.combine, &path, &e, o.out)) return Fail(err, e, 1);
    out << "Written: " << path << "\n";
    if (!o.steFit.empty() && acc.NumEnergy0 > 0) {
      const int n = acc.NumEnergy0;
      const std::vector<double> spec(acc.Spectra.begin() + o.spectrum * n,
                                     acc.Spectra.begin() + (o.spectrum + 1) * n);
      auto at = [&](double c) {
        const long k = std::lround(c);
        return k >= 0 && k < n ? std::max(spec[static_cast<std::size_t>(k)], 1.0) : 1.0;
      };
      LsqState st;
      std::vector<std::string> names;
      if (o.steFit == "peaks") {
        std::vector<double> start = {o.fitSpacing, o.fitWidth};
        for (int k = 1; k <= 7; ++k) start.push_back(at(k * o.fitSpacing));
        st = FitStePeaks(spec, start);
        names = {"s", "w", "h1", "h2", "h3", "h4", "h5", "h6", "h7"};
      } else {
        // The line panel's defaults: half a channel per keV from channel 0 in every range.
        std::vector<double> start = {0.5, 0, 0.5, 0, 0.5, 0, 0, o.fitWidth};
        for (int l = 0; l < 4; ++l) start.push_back(at(0.5 * kSteLineEnergy[l]));
        st = FitSteLines(spec, start, {true, false, true, true, true, false, false, true});
        names = {"g0", "o0", "g1", "o1", "g2", "o2", "q", "w", "h0", "h1", "h2", "h3"};
      }
      out << "Fit: " << st.Result << "\n";
      char b[96];
      for (std::size_t j = 0; j < names.size(); ++j) {
        std::snprintf(b, sizeof b, "%s: %.4f\n", names[j].c_str(), st.P[j]);
        out << b;
      }
      std::snprintf(b, sizeof b, "X^2: %.2f\n", st.chi2);
      out << b;
    }
    return 0;
  }
  if (o.verb == "drevrates") {
    std::array<bool, 16> e;
    e.fill(true);
    std::array<bool, 6> d;
    d.fill(true);
    DrevRates r = ExtractDrevRates(in, e, d);
    if (int rc = reportSourceError(r.error)) return rc;
    out << "Samples: " << r.t.size() << "\n";
    if (!r.t.empty()) {
      char b[64];
      for (int a = 0; a < 16; ++a) {
        double sum = 0;
        for (double v : r.perA[a]) sum += v;
        std::snprintf(b, sizeof b, "A%d mean: %.3f\n", a, sum / static_cast<double>(r.t.size()));
        out << b;
      }
    }
    timeFields();
    return 0;
  }
  if (o.verb == "bursthk") {
    BurstHk b = ExtractBurstHk(in);
    if (int rc = reportSourceError(b.error)) return rc;
    if (b.truncated) err << "tallox: warning: stopped at 100000 samples\n";
    out << "Samples: " << b.t.size() << "\n";
    for (std::size_t i : b.drops) out << "Drop at:" << GetTime2(b.t[i]) << "\n";
    timeFields();
    return 0;
  }
  if (o.verb == "criteria") {
    BurstCriteria c = ExtractBurstCriteria(in);
    if (int rc = reportSourceError(c.error)) return rc;
    if (c.truncated) err << "tallox: warning: stopped at 100000 samples\n";
    out << "Samples: " << c.t.size() << "\n";
    if (!c.t.empty())
      out << "First time: " << GetTime1(c.t.front()) << "\nLast time: " << GetTime1(c.t.back()) << "\n";
    timeFields();
    return 0;
  }
  if (o.verb == "packet") {
    const bool search = o.find >= 0;
    if (o.positional.size() < 2 && !search) return Fail(err, "packet needs a record number N", 2);
    double n = 0;
    if (o.positional.size() >= 2 && (!ParseNumber(o.positional[1], &n) || n < 0))
      return Fail(err, "record number must be 0 or more", 2);
    DumpFile dump;
    std::string e;
    if (!dump.open(o.file, &e)) return Fail(err, e, 1);
    if (o.positional.size() >= 2) {
      if (!dump.PacketNum(static_cast<long long>(n), o.swap)) {
        err << "tallox: " << o.file << " holds no whole record\n";
        return 0;
      }
      if (dump.PacketNumber() != static_cast<int>(n))
        err << "tallox: record " << static_cast<long long>(n)
            << " is beyond the end; showing record " << dump.PacketNumber() << ", the last\n";
    }
    if (search) {
      bool found = false;
      if (!dump.FindNext(o.find, o.swap, &found)) {
        err << "tallox: " << o.file << " holds no whole record\n";
        return 0;
      }
      if (!found) err << "tallox: not found before the end; showing the last record\n";
    }
    FastHkWave wave;
    PacketView v = DisplayPacket(dump.Data(), dump.PacketNumber(), o.meanRemoval, &wave);
    out << FormatPacket(v, &wave);
    return 0;
  }
  // hk
  if (o.points.empty()) return Fail(err, "hk needs --points NAME,...", 2);
  if (o.points.size() > kSelectors) return Fail(err, "at most ten points", 2);
  Tables tables = init_database(o.dbDir);
  if (!o.haveDb && !tables.suite.loaded) {
    // Recordings live in log/ below the station's working directory: without --db and without
    // tables here, the tables of the station the file was recorded by are the ones meant.
    const fs::path parent = fs::absolute(fs::path(o.file)).parent_path();
    for (const fs::path& dir : {parent.parent_path(), parent}) {
      Tables t = init_database(dir.string());
      if (t.suite.loaded) {
        err << "tallox: using the tables below " << dir.string() << "\n";
        tables = std::move(t);
        break;
      }
    }
  }
  // A missing SEP table only matters to a SEP extraction (the suite table is read first, and
  // without it neither is loaded).
  if (!(o.sep ? tables.sep.loaded : tables.suite.loaded)) return Fail(err, tables.error, 1);
  if (!tables.error.empty()) err << "tallox: warning: " << tables.error << "\n";
  const Database& db = o.sep ? tables.sep : tables.suite;
  for (const auto& w : db.warnings) err << "tallox: warning: " << w << "\n";
  std::array<int, kSelectors> sel;
  sel.fill(-1);
  for (std::size_t k = 0; k < o.points.size(); ++k) {
    int found = -1;
    for (std::size_t i = 0; i < db.entries.size(); ++i)
      if (db.entries[i].name == o.points[k]) {
        found = static_cast<int>(i);
        break;
      }
    if (found < 0)
      return Fail(err, "no point named " + o.points[k] + " in the " + (o.sep ? "SEP" : "suite") +
                           " table",
                  2);
    sel[k] = found;
  }
  SampleStore store;
  Extraction x = ExtractHK(in, db, sel, o.sep, store);
  if (int rc = reportSourceError(x.error)) return rc;
  if (x.truncated) err << "tallox: warning: stopped at 1000000 samples\n";
  out << "Samples: " << x.samples << "\n";
  if (x.samples == 0) {
    err << "tallox: no " << (o.sep ? "SEP" : "") << " housekeeping packets; nothing written\n";
    return 0;
  }
  std::string path, e;
  if (!SaveHKP(o.file, store, o.rows, o.spacing, &path, &e, o.out)) return Fail(err, e, 1);
  out << "Written: " << path << "\n";
  timeFields();
  return 0;
}

}  // namespace tallox
