#include "batch.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "../core/record.h"
#include "batch_internal.h"
#include "report.h"

namespace tallox {

namespace fs = std::filesystem;
using namespace batch;

namespace {

const char* const kVerbs[] = {"scan", "burst",  "timing",   "hk",  "hkstats",
                              "packet", "mag", "magseries", "fit", "sterates", "ste",
                              "drevrates", "bursthk", "criteria"};

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
    } else if (a == "--format") {
      if (!value(&o->format) || (o->format != "text" && o->format != "csv" && o->format != "json"))
        return "--format needs text, csv or json";
    } else if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1]))) {
      // A negative number is a (wrong) record number, not an option.
      return "unknown option '" + a + "'";
    } else {
      o->positional.push_back(a);
    }
  }
  if (o->positional.empty()) return o->verb + " needs a telemetry file";
  o->file = o->positional[0];
  // The verbs that show one record take FILE N; the others read every file named.
  if (o->verb == "packet" || o->verb == "mag" || o->verb == "fit") {
    if (o->positional.size() > 2) return o->verb + " reads one file: " + o->verb + " FILE N";
    o->files = {o->file};
  } else {
    o->files = o->positional;
  }
  if (o->format == "json" && o->verb != "scan" && o->verb != "hkstats")
    return "--format json is for scan and hkstats; use csv";
  if (o->format != "text" && o->verb == "packet") return "packet prints text only";
  if (o->files.size() > 1 && !o->out.empty()) return "--out names one file; give one telemetry file with it";
  return "";
}

FileReport RunFile(const Options& o, const std::string& file, std::ostream* liveErr) {
  FileReport rep;
  rep.file = file;
  std::ostringstream out, err;
  rep.rc = RunVerb(o, file, out, liveErr ? *liveErr : err, liveErr != nullptr, rep);
  rep.out = out.str();
  rep.err = err.str();
  if (rep.rc != 0) rep.out.clear();
  if ((o.format == "text" || !TableVerb(o.verb)) && rep.sums.empty())
    for (const auto& [label, value] : ReportValues(rep.out)) {
      double v;
      if (Additive(o.verb, label) && AsNumber(value, &v)) rep.sums.push_back({label, v});
    }
  return rep;
}

// Runs the files on the machine's cores; calls emit(i) for each in the order of the files, as
// soon as it and all before it are done.
void RunAll(const Options& o, std::vector<FileReport>& reports, const std::function<void(std::size_t)>& emit) {
  const std::size_t n = o.files.size();
  reports.assign(n, FileReport{});
  std::vector<bool> done(n, false);
  std::mutex m;
  std::condition_variable cv;
  std::atomic<std::size_t> next{0};
  const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers = std::min<std::size_t>(hw, n);
  std::vector<std::thread> pool;
  for (std::size_t w = 0; w < workers; ++w)
    pool.emplace_back([&] {
      for (std::size_t i; (i = next++) < n;) {
        FileReport r = RunFile(o, o.files[i], nullptr);
        std::lock_guard<std::mutex> lock(m);
        reports[i] = std::move(r);
        done[i] = true;
        cv.notify_all();
      }
    });
  for (std::size_t i = 0; i < n; ++i) {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done[i]; });
    lock.unlock();
    emit(i);
  }
  for (auto& t : pool) t.join();
}

// The summary verbs' CSV and JSON: one row (object) a file of the report's values, times in
// ISO 8601 UTC.
using Values = std::vector<std::pair<std::string, std::string>>;

Values SummaryValues(const FileReport& r) {
  Values v;
  for (const auto& [label, value] : ReportValues(r.out)) {
    if (IsTimeLabel(label))
      v.push_back({label + " (UTC)", IsoFromText(value)});
    else
      v.push_back({label, value});
  }
  return v;
}

Values TotalValues(const Options& o, const std::vector<FileReport>& reports) {
  Values v;
  std::vector<std::pair<std::string, double>> sums;
  std::optional<std::uint32_t> first, last;
  for (const FileReport& r : reports) {
    if (r.rc != 0) continue;
    for (const auto& sum : r.sums) {
      // (a named pair, not a structured binding: clang 14 cannot capture those in a lambda)
      const std::string& label = sum.first;
      auto it = std::find_if(sums.begin(), sums.end(), [&](const auto& p) { return p.first == label; });
      if (it == sums.end())
        sums.push_back({label, sum.second});
      else
        it->second += sum.second;
    }
    if (r.first) first = first ? std::min(*first, *r.first) : *r.first;
    if (r.last) last = last ? std::max(*last, *r.last) : *r.last;
  }
  for (const auto& [label, value] : sums) v.push_back({label, NumberText(value)});
  if (first) v.push_back({"Start time", GetTime1(*first)});
  if (last) v.push_back({"End time", GetTime1(*last)});
  return v;
}

// The total of a timing run: the histograms added up.
std::string TimingTotal(const std::vector<FileReport>& reports) {
  std::map<int, std::uint64_t> bins;
  std::uint64_t packets = 0;
  bool fine = false;
  for (const FileReport& r : reports) {
    if (r.rc != 0) continue;
    packets += r.timingPackets;
    fine = r.fine;
    for (const auto& [d, k] : r.timingBins) bins[d] += k;
  }
  char b[128];
  std::snprintf(b, sizeof b, "%llu Packets\n", static_cast<unsigned long long>(packets));
  std::string out = b;
  if (bins.empty()) return out;
  const int dec = fine ? 16 : 8;
  const double bin = fine ? 1.0 / 65536 : 1.0 / 256;
  std::snprintf(b, sizeof b, "Smallest spacing (s): %.*f\n", dec, bins.begin()->first * bin);
  out += b;
  std::snprintf(b, sizeof b, "Largest spacing (s): %.*f\n", dec, bins.rbegin()->first * bin);
  out += b;
  for (const auto& [d, k] : bins) {
    std::snprintf(b, sizeof b, "Spacing %.*f s: %llu\n", dec, d * bin, static_cast<unsigned long long>(k));
    out += b;
  }
  return out;
}

nlohmann::ordered_json JsonOf(const std::string& file, const Values& values) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  if (!file.empty()) j["File"] = file;
  for (const auto& [label, value] : values) {
    double d;
    if (AsNumber(value, &d))
      j[label] = d == std::floor(d) && std::fabs(d) < 9e15 ? nlohmann::ordered_json(static_cast<long long>(d)) : nlohmann::ordered_json(d);
    else
      j[label] = value;
  }
  return j;
}

}  // namespace

std::string BatchUsage() {
  return "usage:\n"
         "  tallox scan FILE...\n"
         "  tallox burst FILE... [--apid A]\n"
         "  tallox timing FILE... --apid A [--fine]\n"
         "  tallox hk FILE... --points NAME,... [--sep] [--rows R] [--spacing S] [--out PATH] [--db DIR]\n"
         "  tallox hkstats FILE...\n"
         "  tallox packet FILE N [--ac]\n"
         "  tallox packet FILE [N] --find K | --find-apid A   (searches forward from record N)\n"
         "  tallox mag FILE N [--ac] [--out PATH]   (MAG export of record N)\n"
         "  tallox magseries FILE... [--apid 208|209]\n"
         "  tallox fit FILE N   (MAG step fit of record N)\n"
         "  tallox sterates FILE...\n"
         "  tallox ste FILE... [--combine] [--next K] [--out PATH]\n"
         "      [--fit peaks|lines [--spectrum K] [--fit-spacing S] [--fit-width W]]\n"
         "  tallox drevrates FILE...   tallox bursthk FILE...   tallox criteria FILE...\n"
         "common options: --swap (file in transmission order, the default) | --no-swap,\n"
         "  --start \"2006 JAN  4 12:30:00\" --end \"...\" (time window; whole file without them),\n"
         "  --format text|csv|json (csv: one header row, ISO 8601 UTC times; json: scan, hkstats)\n"
         "Several files: one report each, in the order given, then the total (read in parallel).\n"
         "APIDs are hexadecimal (209, 0x209 or 209h). --db DIR holds database/VANTIS_TLM.txt.\n"
         "  tallox [FILE] [--headless] [--screenshot PREFIX]   starts the program with its panels\n"
         "  tallox --help | --version\n";
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

bool IsVerb(const std::string& word) {
  for (const char* v : kVerbs)
    if (word == v) return true;
  return false;
}

bool IsBatchCommand(const std::vector<std::string>& args) { return !args.empty() && IsVerb(args[0]); }

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Fail(err, "no verb given; try --help", 2);
  if (!IsBatchCommand(args)) return Fail(err, "unknown verb '" + args[0] + "'; try --help", 2);
  Options o;
  const std::string usage = Parse(args, &o);
  if (!usage.empty()) return Fail(err, usage + "; try --help", 2);

  const bool several = o.files.size() > 1;
  const bool table = TableVerb(o.verb);
  std::vector<FileReport> reports;
  int rc = 0;
  std::string csvHeader;                 // the header row written
  std::vector<std::string> summaryCols;  // a summary verb's CSV columns
  nlohmann::ordered_json jsonFiles = nlohmann::ordered_json::array();

  auto emit = [&](std::size_t i) {
    const FileReport& r = reports[i];
    err << r.err;
    rc = std::max(rc, r.rc);
    if (o.format == "text") {
      if (several) out << "== " << r.file << "\n";
      out << r.out;
    } else if (r.rc == 0 && o.format == "csv") {
      if (table) {
        if (csvHeader.empty() && !r.csvHeader.empty()) out << (csvHeader = r.csvHeader);
        out << r.out;
      } else {
        const Values v = SummaryValues(r);
        if (summaryCols.empty()) {
          std::vector<std::string> cols = {"File"};
          for (const auto& p : v) cols.push_back(p.first);
          summaryCols = cols;
          out << CsvRow(cols);
        }
        std::vector<std::string> row = {r.file};
        for (std::size_t c = 1; c < summaryCols.size(); ++c) {
          auto it = std::find_if(v.begin(), v.end(), [&](const auto& p) { return p.first == summaryCols[c]; });
          row.push_back(it == v.end() ? "" : it->second);
        }
        out << CsvRow(row);
      }
    } else if (r.rc == 0) {
      jsonFiles.push_back(JsonOf(r.file, SummaryValues(r)));
    }
    out.flush();
  };

  if (!several) {
    reports.push_back(RunFile(o, o.files[0], &err));
    emit(0);
  } else {
    RunAll(o, reports, emit);
  }

  Values total = TotalValues(o, reports);
  for (auto& [label, value] : total)
    if (IsTimeLabel(label) && o.format != "text") {
      label += " (UTC)";
      value = IsoFromText(value);
    }
  if (o.format == "text" && several) {
    out << "== Total of " << o.files.size() << " files\n";
    if (o.verb == "timing") {
      out << TimingTotal(reports);
    } else {
      for (const auto& [label, value] : total) out << label << ": " << value << "\n";
    }
  } else if (o.format == "csv" && several && !table && !summaryCols.empty()) {
    std::vector<std::string> row = {"Total"};
    for (std::size_t c = 1; c < summaryCols.size(); ++c) {
      auto it = std::find_if(total.begin(), total.end(), [&](const auto& p) { return p.first == summaryCols[c]; });
      row.push_back(it == total.end() ? "" : it->second);
    }
    out << CsvRow(row);
  } else if (o.format == "json") {
    nlohmann::ordered_json j;
    j["files"] = jsonFiles;
    j["total"] = JsonOf("", total);
    out << j.dump(2) << "\n";
  }
  out.flush();
  return rc;
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return -1;
  if (args[0] == "--help" || args[0] == "-h") {
    out << BatchUsage();
    return 0;
  }
  if (args[0] == "--version") {
    out << "tallox " << VANTIS_VERSION << "\n";
    return 0;
  }
  // The options of the panels; the first other word is a verb or the file to open.
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << BatchUsage();
      return 0;
    }
    if (a == "--version") {
      out << "tallox " << VANTIS_VERSION << "\n";
      return 0;
    }
    if (a == "--headless" || a.rfind("--answers=", 0) == 0) continue;
    if (a == "--answers" || a == "--screenshot" || a == "--screenshot-delay") {
      if (i + 1 >= args.size()) return Fail(err, a + " needs a value; try --help", 2);
      ++i;
      continue;
    }
    if (a.size() > 1 && a[0] == '-') return Fail(err, "unknown option '" + a + "'; try --help", 2);
    if (IsVerb(a)) return RunBatch(std::vector<std::string>(args.begin() + static_cast<long>(i), args.end()), out, err);
    // Not a verb: the recording to open with the panels, when it is a file.
    std::error_code ec;
    if (fs::exists(a, ec)) {
      if (fs::is_directory(a, ec)) return Fail(err, "cannot open " + a + ": " + std::strerror(EISDIR), 1);
      continue;
    }
    if (a.find('/') != std::string::npos || a.find('.') != std::string::npos)
      return Fail(err, "cannot open " + a + ": " + std::strerror(ENOENT), 1);
    return Fail(err, "unknown verb '" + a + "'; try --help", 2);
  }
  return -1;
}

}  // namespace tallox
