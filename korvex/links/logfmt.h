// The station's event-log lines and the decoding of the instrument's event packets (APID 0x202).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace korvex {

// Colour prefixes of the event list: escape, "fg", RGB in hex.
inline constexpr const char* kRed = "\033fgff0000";
inline constexpr const char* kGreen = "\033fg007a00";
inline constexpr const char* kYellow = "\033fgffff00";
inline constexpr const char* kBlue = "\033fg0000ff";
inline constexpr const char* kBlack = "\033fg000000";
constexpr std::size_t kListEntryMax = 1024;

struct LogState {
  int LogEvents = 1;  // also write to the ".log" archive
  int Echo = 1;       // also show in the event list
  int scrcol = 0;     // the next message is a script message (blue)
};

struct LogLine {
  std::string line;       // date, time and text in upper case (without line feed)
  std::string listEntry;  // colour prefix + line, at most 1024 characters
};

// Builds the two forms of one log line; consumes scrcol.
LogLine FormatLog(LogState& s, const std::string& text, const std::string& colour,
                  const std::string& date, const std::string& time);

// Splits a list entry into colour (0xRRGGBB, -1 when there is no prefix) and text.
int EntryColour(const std::string& entry, std::string* text);

// Local time as 13 digits: year, day of year (from 001), hour, minute, second.
std::string GetTime(const std::tm& local);

// Instrument event packet (decode buffer, packet part: 272 bytes).
constexpr int kEventFirst = 14;
constexpr int kEventEntries = 26;
constexpr int kEventOverrunByte = 270;
inline constexpr const char* kEventOverrun = "Event Packet Overrun";

// Decodes the entries into the lines the instrument event panel shows. errdb: the error table's
// lines; cmdList: the command database list in file order.
std::vector<std::string> DecodeEventPacket(const std::uint8_t* packet, int cfgtswap, long cfgtime,
                                           const std::vector<std::string>& errdb,
                                           const std::vector<std::string>& cmdList);

// "2006 JAN 04 12:30:05 " for seconds since 1970 (UTC).
std::string EventTimeStamp(long long t);

// A SEP text reply (APID 0x240) as the SEP panel shows it: the packet time as
// "2006 JAN 04 12:30:05.500" (UTC, with the fraction of its second), then the text from packet
// byte 11 up to its end or a zero byte. decoded: the packet as the station reads it.
std::string SepTextLine(const std::uint8_t* packet, int cfgtswap, long cfgtime);

}  // namespace korvex
