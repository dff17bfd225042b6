// The command side of the operations centre: SCM framing and checks, and the 69-byte ARR.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace mocsim {

constexpr int kArrSize = 69;
constexpr int kScmHeaderSize = 133;
constexpr uint8_t kScmHeaderEnd = 0x0C;
constexpr int kMaxPacketBytes = 1088;

// ARR codes the simulated MOC can give (the station's table rows 0-19).
enum ArrCode {
  kArrSuccess = 0,
  kArrBadHeader = 1,
  kArrPacketTooBig = 2,
  kArrPacketCountMismatch = 3,
  kArrHeartbeat = 4,
  kArrTooMuchData = 6,
  kArrTooLittleData = 7,
  kArrBadFacility = 8,
  kArrBadSpacecraft = 10,
  kArrHeaderEndMissing = 13,
  kArrBadApid = 14,
  kArrLengthInconsistent = 15,
  kArrPacketTooShort = 17,
  kArrPacketTruncated = 18,
  kArrChecksum = 22,
};

using Arr = std::array<uint8_t, kArrSize>;

// Time field of an ARR: year, day of year (from 001), hour, minute, second, in UTC.
std::string arrTime(std::time_t t);
// ARR answering `scm` (as much of it as is held; missing fields stay blank or zero).
Arr buildArr(const uint8_t* scm, size_t n, int code, const std::string& time13);
Arr buildHeartbeat(const std::string& time13);
int arrCode(const Arr& a);

enum class Frame { NeedMore, Complete, Invalid };
// How long the SCM at the start of `p` is: bytes 4-9 hold the length of the rest as six decimal
// digits, total = length + 14.
Frame scmFrame(const uint8_t* p, size_t n, size_t& total);

struct ScmPacket {
  int offset = 0;  // in the SCM
  int length = 0;  // bytes, length field + 7
  int apid = -1;
  int seq = 0;
  bool secondaryHeader = false;
  bool checksumOk = false;
  int commandId = 0;  // the byte the instrument reports for the command (APID low 7 bits, +0x80 companion)
  std::vector<uint8_t> data;  // after the primary (and secondary) header and the checksum byte
};

struct ScmInfo {
  std::string msgType, msgNumber, cmdMode, facility, spacecraft, packetCount, enable, timeout, delta;
  std::string scriptLine, scriptName, description;
  std::vector<ScmPacket> packets;
  int code = kArrSuccess;  // what the MOC would answer
  std::string problem;     // why, when not 0
};

// Checks an SCM of `n` bytes as the MOC would and picks the code of the first fault, in this order:
// header shorter than 133 bytes (1), no 0x0C at byte 132 (13), facility (8), spacecraft (10); then
// per packet: too big (2), shorter than its headers (17), runs past the message (18), APID (14);
// bytes after the last packet too few for a packet (15); packet count of the header (3); and only
// for a message that is sound otherwise, a packet whose bytes do not add up to 0 (22).
// `headerSwapped`: the station sends the packet header bytes before the checksum byte in exchanged
// pairs.
ScmInfo parseScm(const uint8_t* p, size_t n, bool headerSwapped);
std::string describeScm(const ScmInfo& s);

}  // namespace mocsim
