// Writing batch reports as CSV and JSON: ISO 8601 times, CSV fields, and the "label: value"
// lines of a text report read back as values.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tallox {

// "2006-01-04T12:30:00Z"; with fraction (microseconds) when t is not a whole second.
std::string IsoTime(std::uint32_t t);
std::string IsoTime(double t);
// A time as the panels write it ("2006 JAN  4 12:30:00", optionally ".50" after the seconds) in
// ISO 8601 UTC, the fraction kept; empty when the text is no time.
std::string IsoFromText(const std::string& text);

// One CSV field: quoted (quotes doubled) when it holds a comma, quote or line break.
std::string CsvField(const std::string& s);
std::string CsvRow(const std::vector<std::string>& fields);
// Fixed-point text of a number as the text reports write it.
std::string Fixed(double v, int decimals = 6);

// The "label: value" lines of a text report, in order. Lines that begin with a blank (the burst
// log, the hex dump) and lines without ": " carry no value.
std::vector<std::pair<std::string, std::string>> ReportValues(const std::string& text);
// Labels whose values are panel time texts.
bool IsTimeLabel(const std::string& label);
// The value as a number, if the whole text is one.
bool AsNumber(const std::string& text, double* v);

}  // namespace tallox
