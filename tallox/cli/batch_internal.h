// Inside the batch library: the parsed command line, what one file's run gives, and the verbs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tallox::batch {

struct Options {
  std::string verb, file;
  std::vector<std::string> positional, files;
  std::string format = "text";
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

// What one file gave: its report (text, or CSV rows without the header), its messages, and the
// values the total over several files adds up.
struct FileReport {
  std::string file;
  int rc = 0;
  std::string out, err;
  std::string csvHeader;                               // a table verb's CSV header row
  std::vector<std::pair<std::string, double>> sums;    // additive values, report order
  std::optional<std::uint32_t> first, last;            // time span of a whole-file read
  std::map<int, std::uint64_t> timingBins;             // spacing histogram (timing)
  std::uint64_t timingPackets = 0;
  bool fine = false;
};

// Runs the verb on one file. out receives the report (text, or CSV rows for a table verb), err
// the messages; both may be buffers when several files run at once. Returns the exit code.
int RunVerb(const Options& o, const std::string& file, std::ostream& out, std::ostream& err,
            bool progress, FileReport& rep);
// Verbs whose CSV is a table of their samples; the others give one row of report values a file.
bool TableVerb(const std::string& verb);
// Values of a verb's text report that add up over several files.
bool Additive(const std::string& verb, const std::string& label);
// A total as the reports write numbers: whole numbers without decimals.
std::string NumberText(double v);
int Fail(std::ostream& err, const std::string& msg, int code);
bool ParseNumber(const std::string& s, double* v);

}  // namespace tallox::batch
