// Telemetry-point tables (the suite housekeeping table and the SEP table), conversions to
// engineering units, housekeeping extraction into the sample store, and the text export.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scans.h"

namespace tallox {

constexpr int kMaxEntries = 300;
constexpr std::size_t kMaxSamples = 1000000;
constexpr int kSelectors = 10;

enum class Kind : char { Linear = 'l', Logt = 'L', Mag = 'M', Rtd = 'R', Ysi = 'Y', Ucur = 'U', Dcur = 'D' };

struct Point {
  std::string name;  // up to 31 characters
  int size = 0;      // 1 = one byte, anything else a 16-bit word
  int offset = 0;    // byte offset inside the packet
  std::string col4;
  int col5 = 0;
  double scale = 1.0;
  Kind kind = Kind::Linear;
  double offsetTerm = 0;
  std::string unit;
  double coef[4] = {0, 0, 0, 0};
};

struct Database {
  std::vector<Point> entries;
  // Indices of the points the two current monitors need, -1 when absent.
  int IDREVSTED12V = -1, IDREVSTEDVCC1 = -1, IDREVSTED5VD = -1;
  int ISTEU12V = -1, ISTEUVCC1 = -1, ISTEU5VD = -1;
  int NDBSTEUDoor = -1, NDBSTEDDoor = -1;
  double YSIc[6] = {}, RTDc[3] = {}, MAGc[6] = {}, STECurc[6] = {};
  std::vector<std::string> warnings;  // short lines, missing blocks, points outside the packet
  bool loaded = false;
};

// Parses the suite table text (sep = false) or the SEP table text (sep = true). fileLabel names
// the file in warnings.
Database ParseTable(const std::string& text, bool sep, const std::string& fileLabel);

// What init_database reports for a table that cannot be opened.
extern const char* const kTlmOpenError;  // "Cannot open telemetry database file VANTIS_TLM.txt"
extern const char* const kSepOpenError;  // "Cannot open telemetry database file SEP_HKG.txt"

struct Tables {
  Database suite;  // `Database`
  Database sep;    // `SEPDatabase`
  std::string error;  // the message box text when a file could not be opened ("ERROR" title)
  std::string detail;  // the path and the system's reason
};
// Loads "database/VANTIS_TLM.txt" and "database/sep_hkg.txt" below dir (file names matched
// without regard to case). The SEP table is not read when the suite table is missing.
Tables init_database(const std::string& dir);
// Finds path below dir, matching each component without regard to case when needed.
std::string ResolveCaseless(const std::string& dir, const std::string& rel);

// Raw value of a point: a byte at packet offset or a little-endian word of the given record.
unsigned RawValue(const Point& p, const std::uint8_t* rec);
// Engineering value of entry idx read from rec.
double Convert(const Database& db, int idx, const std::uint8_t* rec);

// ---- sample store and extraction -----------------------------------------------------------------
struct SampleStore {
  std::vector<std::uint32_t> UTC;
  std::array<std::vector<float>, 24> Samples;
  std::size_t count = 0;
  // The columns of the last fill: selector k's entry index (-1 = "-NULL-") and point name.
  std::array<int, kSelectors> sel{};
  std::array<std::string, kSelectors> names;
  void reset();
};

struct Extraction {
  std::size_t samples = 0;
  bool truncated = false;  // stopped at kMaxSamples
  bool cancelled = false;
  std::string error;
};

// The suite housekeeping plot's extraction (APID 0x200, swapped records) or, with sep, the SEP
// plot's (APID 0x241, records in transmission order). sel holds ten entry indices, -1 unused.
Extraction ExtractHK(ScanInput& in, const Database& db, const std::array<int, kSelectors>& sel,
                     bool sep, SampleStore& store, std::size_t maxSamples = kMaxSamples);

// Autoscale limits over the selected rows (starting from +1e6 / -1e6); with logScale the
// minimum is raised to at least 1e-10.
void HkLimits(const SampleStore& store, bool logScale, double* yMin, double* yMax);

// ".txt" beside the telemetry file: the text from the last "." of the file name replaced.
std::string OutputPath(const std::string& fileName, const std::string& suffix = ".txt");
// Writes the export of the held samples. rows = maximum number of rows R, spacing = minimum
// spacing S in seconds. Returns false (with error) when nothing could be written; nothing is
// written when the store is empty, nor over the telemetry file itself. target, when given, replaces the path beside the file.
// The samples the export writes: every p-th one (p the smallest step that keeps the count within
// rows), and of those only the ones at least spacing seconds after the last one taken.
std::vector<std::size_t> ExportRows(const SampleStore& store, int rows, double spacing);
bool SaveHKP(const std::string& fileName, const SampleStore& store, int rows, double spacing,
             std::string* outPath, std::string* error, const std::string& target = "");

}  // namespace tallox
