// The ARR (acknowledgement record) the MOC returns for every SCM, and the station's own ARRs for
// its local clients: reading the code, the error table, the display/archive line and the builder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex {

constexpr std::size_t kArrSize = 69;
constexpr int kArrRows = 25;
constexpr int kArrSuccess = 0;
constexpr int kArrHeartbeat = 4;
using ArrBytes = std::array<std::uint8_t, kArrSize>;

// Code at bytes 27-29, read as a decimal number the way the station always has: leading digits
// count, a field that does not start with a number reads 0 (and so counts as success).
int ArrCode(const std::uint8_t* arr);

// Row of the error table shown for a code: 0-19 as they are, the station's own 104-108 as rows
// 20-24, anything else (negative codes included) row 23, "Unknown error".
int ArrRow(int code);
const char* ArrRowText(int row);

// The line shown in the ARR panel and written to the ".arr" archive: bytes 0-61 as characters,
// then for a success the bytes 62-68 as 14 hex digits, for an error "^" and bytes 63-68 as 12 hex
// digits; always ending in a carriage return.
std::string ArrLine(const std::uint8_t* arr, bool success);

// The station's own ARR answering an SCM of n bytes (missing SCM bytes count as zero): the SCM's
// bytes 0-13 up to a zero byte, "ARR-", "000055", its message number, time13, the three code
// characters, its description (100-131) and its first packet's primary header (133-138).
ArrBytes BuildStationArr(const std::uint8_t* scm, std::size_t n, const char* code,
                         const std::string& time13);

// Collects ARRs from the command connection, however the bytes are cut into reads. Bytes before
// "ARR-" are skipped; a record cut short is dropped when a new one begins.
class ArrAssembler {
 public:
  // Adds bytes as they were read; Next then gives the whole ARRs, one at a time.
  void Add(const std::uint8_t* data, std::size_t n);
  bool Next(ArrBytes* out);
  // Bytes dropped since the last call.
  std::size_t TakeSkipped() {
    std::size_t s = skipped_;
    skipped_ = 0;
    return s;
  }
  std::size_t held() const { return buf_.size(); }
  void Reset() { buf_.clear(); }

 private:
  std::string buf_;
  std::size_t skipped_ = 0;
};

}  // namespace korvex
