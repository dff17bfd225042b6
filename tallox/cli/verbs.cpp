// The batch verbs, each on one file: the scans and extractions of the panels through the core,
// their text reports and their CSV tables.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>

#include "../core/browse.h"
#include "../core/hkdb.h"
#include "../core/scans.h"
#include "../core/science.h"
#include "batch_internal.h"
#include "report.h"

namespace tallox::batch {

namespace fs = std::filesystem;

namespace {

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
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    err << "tallox: cannot read " << path << ": " << std::strerror(EISDIR) << "\n";
    return false;
  }
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

// A table verb's CSV: the header row (with the File column) and one row a line.
struct Csv {
  std::string header, rows;
  const std::string& file;
  explicit Csv(const std::string& f) : file(f) {}
  void head(std::vector<std::string> cols) {
    cols.insert(cols.begin(), "File");
    header = CsvRow(cols);
  }
  void row(std::vector<std::string> vals) {
    vals.insert(vals.begin(), file);
    rows += CsvRow(vals);
  }
};

}  // namespace

int Fail(std::ostream& err, const std::string& msg, int code) {
  err << "tallox: " << msg << "\n";
  return code;
}

bool ParseNumber(const std::string& s, double* v) {
  char* endp = nullptr;
  *v = std::strtod(s.c_str(), &endp);
  return !s.empty() && *endp == 0;
}


// Values of a verb's text report that add up over several files.
bool Additive(const std::string& verb, const std::string& label) {
  if (verb == "scan" || verb == "burst") return true;
  if (verb == "hkstats")
    return label == "Records" || label == "HK packets" || label == "Identification errors" ||
           label == "Sequence errors" || label == "Length errors" || label == "Checksum errors";
  if (verb == "magseries" || verb == "sterates") return label == "Packets" || label == "Samples" || label == "Frames";
  if (verb == "ste") return label == "Packets" || label == "Accumulation (s)";
  return label == "Samples";
}

std::string NumberText(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e18) {
    char b[32];
    std::snprintf(b, sizeof b, "%lld", static_cast<long long>(v));
    return b;
  }
  return Fixed(v);
}

// Verbs whose CSV is a table of their samples; the others give one row of report values a file.
bool TableVerb(const std::string& verb) {
  return verb != "scan" && verb != "hkstats" && verb != "fit";
}

// Runs the verb on one file. out receives the report (text, or CSV rows for a table verb), err
// the messages; both may be buffers when several files run at once.
int RunVerb(const Options& o, const std::string& file, std::ostream& out, std::ostream& err,
            bool progress, FileReport& rep) {
  if (!CheckFile(file, err)) return 1;
  const bool csv = o.format == "csv" && TableVerb(o.verb);
  Csv table(file);

  ScanInput in;
  in.FileName = file;
  SetWindow(o, in.ctl);
  if (progress) in.progress = MakeProgress(err, o.verb);

  auto reportSourceError = [&](const std::string& e) -> int {
    if (e.empty()) return 0;
    err << "tallox: " << e << "\n";
    return 1;
  };
  // A file whose records mostly hold no telemetry packet is no recording (or is read in the
  // wrong byte order): one line says so instead of a report of meaningless counts.
  auto notTelemetry = [&]() -> bool {
    if (!in.source.mostlyNotTelemetry()) return false;
    err << "tallox: " << file << " does not look like a telemetry file: "
        << in.source.notTelemetry() << " of " << in.source.recordsRead()
        << " records hold no telemetry packet header (is it a .tlm recording, and is the byte "
           "order, --swap or --no-swap, right?)\n";
    return true;
  };
  // A whole-file read writes the first and last packet times into the main panel's time fields;
  // they close every batch report that read the file. A read that delivered nothing says so
  // instead of showing the defaults as if they were times from the file.
  auto timeFields = [&]() {
    if (in.source.delivered() == 0) {
      if (!csv) out << (in.ctl.wholeFile ? "No record in the file\n" : "No record in the window\n");
      return;
    }
    if (!in.ctl.wholeFile) return;
    if (!csv) {
      if (!in.ctl.startText.empty()) out << "Start time: " << in.ctl.startText << "\n";
      if (!in.ctl.endText.empty()) out << "End time: " << in.ctl.endText << "\n";
    }
    if (auto s = GetUTC32(in.ctl.startText)) rep.first = *s;
    if (auto e = GetUTC32(in.ctl.endText)) rep.last = *e;
  };
  // Ends a verb that read through the record source: the table (CSV) or nothing more.
  auto finish = [&]() -> int {
    if (notTelemetry()) return 1;
    if (csv && !table.header.empty()) {
      rep.csvHeader = table.header;
      out << table.rows;
    }
    return 0;
  };

  if (o.verb == "scan") {
    ApidScan s = ScanApIDs(in);
    if (int rc = reportSourceError(s.error)) return rc;
    if (notTelemetry()) return 1;
    out << FormatApidScan(s);
    timeFields();
    return 0;
  }
  if (o.verb == "burst") {
    unsigned sel = o.haveApid ? o.apid : 0;
    if (sel != 0 && sel != 0x209 && sel != 0x211 && sel != 0x221 && sel != 0x223)
      return Fail(err, "--apid must be one of the burst APIDs 209, 211, 221, 223; try --help", 2);
    BurstScan b = ScanBurst1(in, sel);
    if (int rc = reportSourceError(b.error)) return rc;
    if (csv) {
      table.head({"Record", "Event", "ApID", "Time (UTC)", "Until (UTC)", "Missing packets"});
      for (const BurstEvent& e : b.events) {
        char apid[16];
        std::snprintf(apid, sizeof apid, "%03X", e.apid);
        const bool skip = e.kind == BurstEvent::Skip;
        table.row({std::to_string(e.index), skip ? "Skip" : e.kind == BurstEvent::First ? "First" : "Last",
                   apid, IsoTime(e.from), skip ? IsoTime(e.to) : "", skip ? std::to_string(e.missing) : ""});
      }
      return finish();
    }
    if (notTelemetry()) return 1;
    out << b.log << FormatBurstCounts(b);
    timeFields();
    return 0;
  }
  if (o.verb == "timing") {
    if (!o.haveApid) return Fail(err, "timing needs --apid A; try --help", 2);
    TimingResult t = StartTiming(in, o.apid, o.fine);
    if (int rc = reportSourceError(t.error)) return rc;
    rep.fine = o.fine;
    rep.timingPackets = t.packets;
    for (int d = t.rangeStart; t.packets > 1 && d <= t.rangeEnd; ++d)
      if (t.dThist[d]) rep.timingBins[d] = static_cast<std::uint64_t>(t.dThist[d]);
    if (csv) {
      table.head({"Spacing (s)", "Packets"});
      for (const auto& [d, n] : rep.timingBins)
        table.row({Fixed(d * t.binSeconds(), o.fine ? 16 : 8), std::to_string(n)});
      return finish();
    }
    if (notTelemetry()) return 1;
    out << FormatTiming(t);
    timeFields();
    return 0;
  }
  if (o.verb == "hkstats") {
    HkStats h = ScanHKP(in);
    if (int rc = reportSourceError(h.error)) return rc;
    if (notTelemetry()) return 1;
    out << FormatHkStats(h);
    timeFields();
    return 0;
  }
  // A single packet by record number, as the packet panel shows it.
  auto showRecord = [&](DumpFile& dump, const char* verb) -> int {
    double n = 0;
    if (o.positional.size() < 2) return Fail(err, std::string(verb) + " needs a record number N; try --help", 2);
    if (!ParseNumber(o.positional[1], &n) || n < 0)
      return Fail(err, "record number must be 0 or more; try --help", 2);
    std::string e;
    if (!dump.open(file, &e)) return Fail(err, e, 1);
    if (!dump.PacketNum(static_cast<long long>(n), o.swap))
      return Fail(err, file + " holds no whole record", 1);
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
    if (csv) {
      table.head({"Sample", "X", "Y", "Z"});
      for (int i = 0; i < 42; ++i) table.row({std::to_string(i), Fixed(m.x[i], 1), Fixed(m.y[i], 1), Fixed(m.z[i], 1)});
      rep.csvHeader = table.header;
      out << table.rows;
      return 0;
    }
    std::string path, e;
    if (!SaveMag(file, m, dump.PacketNumber(), &path, &e, o.out)) return Fail(err, e, 1);
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
    if (a != 0x208 && a != 0x209) return Fail(err, "--apid must be 208 or 209; try --help", 2);
    MagSeries s = ExtractMag(in, a == 0x209);
    if (int rc = reportSourceError(s.error)) return rc;
    if (s.truncated) err << "tallox: warning: stopped at 1000000 samples\n";
    if (csv) {
      table.head({"Time (UTC)", "X", "Y", "Z"});
      for (std::size_t i = 0; i < s.size(); ++i)
        table.row({IsoTime(s.t[i]), Fixed(s.x[i], 1), Fixed(s.y[i], 1), Fixed(s.z[i], 1)});
      return finish();
    }
    if (notTelemetry()) return 1;
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
    if (r.framesLeftOut)
      err << "tallox: warning: " << r.framesLeftOut
          << " rate frames reaching the next rate packet or past the last packet time left out\n";
    if (csv) {
      std::vector<std::string> cols = {"Time (UTC)"};
      for (int c = 0; c < 24; ++c) cols.push_back("Ch " + std::to_string(c) + " (1/s)");
      table.head(cols);
      for (std::size_t i = 0; i < store.count; ++i) {
        std::vector<std::string> v = {IsoTime(store.UTC[i])};
        for (int c = 0; c < 24; ++c) v.push_back(Fixed(store.Samples[c][i]));
        table.row(v);
      }
      return finish();
    }
    if (notTelemetry()) return 1;
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
    if (notTelemetry()) return 1;
    if (csv) {
      const int n = std::clamp(acc.NumEnergy0, 0, 64);
      const double* sp = acc.Spectra.data();
      if (o.combine) {
        table.head({"Bin", "STE-U (counts)", "STE-D (counts)"});
        for (int i = 0; i < 4 * n; ++i) table.row({std::to_string(i), Fixed(sp[i], 0), Fixed(sp[4 * n + i], 0)});
      } else {
        std::vector<std::string> cols = {"Bin"};
        for (const char* c : {"STE-U-0", "STE-U-1", "STE-U-2", "STE-U-3", "STE-D-0", "STE-D-1", "STE-D-2", "STE-D-3"})
          cols.push_back(std::string(c) + " (counts)");
        table.head(cols);
        for (int i = 0; i < n; ++i) {
          std::vector<std::string> v = {std::to_string(i)};
          for (int k = 0; k < 8; ++k) v.push_back(Fixed(sp[i + k * n], 0));
          table.row(v);
        }
      }
      return finish();
    }
    out << FormatSteAccumulation(acc);
    std::string path, e;
    if (!SaveSTEAcc(file, acc, o.combine, &path, &e, o.out)) return Fail(err, e, 1);
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
    if (csv) {
      std::vector<std::string> cols = {"Time (UTC)"};
      for (int a = 0; a < 16; ++a) cols.push_back("A" + std::to_string(a));
      table.head(cols);
      for (std::size_t i = 0; i < r.t.size(); ++i) {
        std::vector<std::string> v = {IsoTime(r.t[i])};
        for (int a = 0; a < 16; ++a) v.push_back(Fixed(r.perA[a][i], 3));
        table.row(v);
      }
      return finish();
    }
    if (notTelemetry()) return 1;
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
    if (csv) {
      table.head({"Time (UTC)", "Byte 96", "Byte 95", "Byte 85", "Byte 97"});
      for (std::size_t i = 0; i < b.t.size(); ++i)
        table.row({IsoTime(b.t[i]), NumberText(b.series[0][i]), NumberText(b.series[1][i]),
                   NumberText(b.series[2][i]), NumberText(b.series[3][i])});
      return finish();
    }
    if (notTelemetry()) return 1;
    out << "Samples: " << b.t.size() << "\n";
    for (std::size_t i : b.drops) out << "Drop at:" << GetTime2(b.t[i]) << "\n";
    timeFields();
    return 0;
  }
  if (o.verb == "criteria") {
    BurstCriteria c = ExtractBurstCriteria(in);
    if (int rc = reportSourceError(c.error)) return rc;
    if (c.truncated) err << "tallox: warning: stopped at 100000 samples\n";
    if (csv) {
      std::vector<std::string> cols = {"Time (UTC)"};
      for (int i = 0; i < 8; ++i) cols.push_back("Criterion " + std::to_string(i));
      table.head(cols);
      for (std::size_t q = 0; q < c.t.size(); ++q) {
        std::vector<std::string> v = {IsoTime(c.t[q])};
        for (int i = 0; i < 8; ++i) v.push_back(NumberText(c.series[i][q]));
        table.row(v);
      }
      return finish();
    }
    if (notTelemetry()) return 1;
    out << "Samples: " << c.t.size() << "\n";
    if (!c.t.empty())
      out << "First time: " << GetTime1(c.t.front()) << "\nLast time: " << GetTime1(c.t.back()) << "\n";
    timeFields();
    return 0;
  }
  if (o.verb == "packet") {
    const bool search = o.find >= 0;
    if (o.positional.size() < 2 && !search) return Fail(err, "packet needs a record number N; try --help", 2);
    double n = 0;
    if (o.positional.size() >= 2 && (!ParseNumber(o.positional[1], &n) || n < 0))
      return Fail(err, "record number must be 0 or more; try --help", 2);
    DumpFile dump;
    std::string e;
    if (!dump.open(file, &e)) return Fail(err, e, 1);
    // A file without a whole record has no packet to show: that is a failure, as for every
    // other verb that finds nothing to read.
    if (o.positional.size() >= 2) {
      if (!dump.PacketNum(static_cast<long long>(n), o.swap)) return Fail(err, file + " holds no whole record", 1);
      if (dump.PacketNumber() != static_cast<int>(n))
        err << "tallox: record " << static_cast<long long>(n)
            << " is beyond the end; showing record " << dump.PacketNumber() << ", the last\n";
    }
    if (search) {
      bool found = false;
      if (!dump.FindNext(o.find, o.swap, &found)) return Fail(err, file + " holds no whole record", 1);
      if (!found) err << "tallox: not found before the end; showing the last record\n";
    }
    FastHkWave wave;
    PacketView v = DisplayPacket(dump.Data(), dump.PacketNumber(), o.meanRemoval, &wave);
    out << FormatPacket(v, &wave);
    return 0;
  }
  // hk
  if (o.points.empty()) return Fail(err, "hk needs --points NAME,...; try --help", 2);
  if (o.points.size() > kSelectors) return Fail(err, "at most ten points; try --help", 2);
  Tables tables = init_database(o.dbDir);
  if (!o.haveDb && !tables.suite.loaded) {
    // Recordings live in log/ below the station's working directory: without --db and without
    // tables here, the tables of the station the file was recorded by are the ones meant.
    const fs::path parent = fs::absolute(fs::path(file)).parent_path();
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
  if (!(o.sep ? tables.sep.loaded : tables.suite.loaded))
    return Fail(err, tables.error + (tables.detail.empty() ? "" : " (" + tables.detail + ")"), 1);
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
      return Fail(err, "no point named " + o.points[k] + " in the " + (o.sep ? "SEP" : "suite") + " table", 2);
    sel[k] = found;
  }
  SampleStore store;
  Extraction x = ExtractHK(in, db, sel, o.sep, store);
  if (int rc = reportSourceError(x.error)) return rc;
  if (notTelemetry()) return 1;
  if (x.truncated) err << "tallox: warning: stopped at 1000000 samples\n";
  if (csv) {
    // The export's rows and values, with the unit of each point from its table.
    std::vector<std::string> cols = {"Time (UTC)"};
    for (int k = 0; k < kSelectors; ++k) {
      if (store.sel[k] < 0) continue;
      std::string unit = db.entries[store.sel[k]].unit;
      while (!unit.empty() && (unit.back() == ' ' || unit.back() == '\r')) unit.pop_back();
      while (!unit.empty() && unit.front() == ' ') unit.erase(unit.begin());
      cols.push_back(store.names[k] + (unit.empty() ? "" : " (" + unit + ")"));
    }
    table.head(cols);
    if (store.count)
      for (std::size_t i : ExportRows(store, o.rows, o.spacing)) {
        std::vector<std::string> v = {IsoTime(store.UTC[i])};
        for (int k = 0; k < kSelectors; ++k)
          if (store.sel[k] >= 0) v.push_back(Fixed(store.Samples[k][i]));
        table.row(v);
      }
    rep.csvHeader = table.header;
    if (!o.out.empty()) {
      std::FILE* f = std::fopen(o.out.c_str(), "w");
      if (!f) return Fail(err, "cannot create " + o.out + ": " + std::strerror(errno), 1);
      const std::string text = table.header + table.rows;
      const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
      if (std::fclose(f) != 0 || !ok) return Fail(err, "cannot write " + o.out, 1);
      rep.csvHeader.clear();
      return 0;
    }
    out << table.rows;
    return 0;
  }
  out << "Samples: " << x.samples << "\n";
  if (x.samples == 0) {
    err << "tallox: no " << (o.sep ? "SEP " : "") << "housekeeping packets; nothing written\n";
    return 0;
  }
  std::string path, e;
  if (!SaveHKP(file, store, o.rows, o.spacing, &path, &e, o.out)) return Fail(err, e, 1);
  out << "Written: " << path << "\n";
  timeFields();
  return 0;
}

}  // namespace tallox::batch
