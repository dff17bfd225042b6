#include "links/arr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvex {

namespace {
const char* const kArrTable[kArrRows] = {
    "  0  Success",
    "  1  Invalid Socket Control Header",
    "  2  Packet size exceeds 1088 bytes",
    "  3  Number of packets received does not match the number of packets specified in the MOC "
    "control header",
    "  4  Heartbeat (NO OP)",
    "  5  Command Message Format and version not supported by the MOC",
    "  6  The amount of data available on the socket is more than the length of the message",
    "  7  The amount of data available on the socket is less than the length of the message",
    "  8  Invalid facility ID (Not VANTIS, BRIMLET,LUMETA, or RADIUX)",
    "  9  Invalid facility ID for the current socket port number",
    " 10  Invalid spacecraft ID",
    " 11  Command delivery enable time after timeout time",
    " 12  Command delivery timeout time in the past",
    " 13  End of MOC control header missing",
    " 14  CCSDS telecommand packet APID invalid for the Facility ID",
    " 15  Sum of CCSDS telecommand packet lengths inconsistent with length of message received",
    " 16  Internal MOC processing error (e.g. could not save message to disk, socket read failure",
    " 17  A packet is less than the minimum required length",
    " 18  The packet data received is less than the number of bytes specified by the packet header",
    " 19  MOC will not accept any more SCM's",
    " 20  MOC not connected",
    " 21  GSE is busy",
    " 22  Checksum error",
    " 23  Unknown error",
    " 24  User cancelled Hazardous SCM",
};
constexpr const char* kArrMark = "ARR-";
}  // namespace

int ArrCode(const std::uint8_t* arr) {
  char field[4] = {static_cast<char>(arr[27]), static_cast<char>(arr[28]),
                   static_cast<char>(arr[29]), 0};
  return static_cast<int>(std::strtol(field, nullptr, 10));
}

int ArrRow(int code) {
  if (code >= 0 && code <= 19) return code;
  if (code >= 104 && code <= 108) return code - 84;
  return 23;
}

const char* ArrRowText(int row) {
  if (row < 0 || row >= kArrRows) row = 23;
  return kArrTable[row];
}

std::string ArrLine(const std::uint8_t* arr, bool success) {
  std::string line(reinterpret_cast<const char*>(arr), 62);
  char hex[4];
  if (!success) line += '^';
  for (std::size_t i = success ? 62 : 63; i < kArrSize; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", arr[i]);
    line += hex;
  }
  line += '\r';
  return line;
}

ArrBytes BuildStationArr(const std::uint8_t* scm, std::size_t n, const char* code,
                         const std::string& time13) {
  auto at = [&](std::size_t i) -> std::uint8_t { return i < n ? scm[i] : 0; };
  ArrBytes a{};
  for (std::size_t i = 0; i < 14 && at(i) != 0; ++i) a[i] = at(i);
  std::memcpy(a.data(), "ARR-0000", 8);
  a[8] = '5';
  a[9] = '5';
  for (std::size_t i = 10; i < 14; ++i) a[i] = at(i);
  for (std::size_t i = 0; i < 13; ++i)
    a[14 + i] = i < time13.size() ? static_cast<std::uint8_t>(time13[i]) : '0';
  for (std::size_t i = 0; i < 3; ++i)
    a[27 + i] = code && std::strlen(code) > i ? static_cast<std::uint8_t>(code[i]) : '0';
  for (std::size_t i = 0; i < 32; ++i) a[30 + i] = at(100 + i);
  for (std::size_t i = 0; i < 6; ++i) a[62 + i] = at(133 + i);
  a[68] = 0;
  return a;
}

void ArrAssembler::Add(const std::uint8_t* data, std::size_t n) {
  std::string chunk(reinterpret_cast<const char*>(data), n);
  // A new record beginning while an earlier one is still short: the short one is lost, and it
  // must not be completed with the head of the new one.
  if (!buf_.empty() && chunk.compare(0, 4, kArrMark) == 0) {
    skipped_ += buf_.size();
    buf_.clear();
  }
  buf_ += chunk;
}

bool ArrAssembler::Next(ArrBytes* out) {
  // Resynchronise on the record mark.
  std::size_t start = buf_.find(kArrMark);
  if (start == std::string::npos) {
    // Keep a tail that may be the beginning of a mark.
    std::size_t keep = buf_.size() < 3 ? buf_.size() : 3;
    while (keep > 0 && std::string(kArrMark).compare(0, keep, buf_, buf_.size() - keep, keep) != 0)
      --keep;
    skipped_ += buf_.size() - keep;
    buf_.erase(0, buf_.size() - keep);
    return false;
  }
  if (start > 0) {
    skipped_ += start;
    buf_.erase(0, start);
  }
  if (buf_.size() < kArrSize) return false;
  std::memcpy(out->data(), buf_.data(), kArrSize);
  buf_.erase(0, kArrSize);
  return true;
}

}  // namespace korvex
