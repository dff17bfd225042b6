// Station configuration: "cfg/korvex.cfg" is read by line position, never by label, and the
// command-button file named by its line 8 fills the command-file panel.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/loadnote.h"

namespace korvex {

constexpr int kCfgLines = 27;
constexpr std::size_t kCfgValueMax = 159;
constexpr int kCmdFileFields = 16;

// The value of one configuration line: after the "=" and any blanks, up to the first blank, ";"
// or end of line, at most 159 characters. No "=" or an empty label gives "".
std::string CfgValue(const std::string& line);

// The settings of the 27 positions (line N is setting N whatever its label says).
struct Config {
  std::string serverName;        // 1
  unsigned portTlm = 0;          // 2 (also cfgtport)
  unsigned portCmd = 0;          // 3 (also cfgcport)
  int cfgcswap = 0;              // 4
  long cfgtime = 0;              // 5
  int cfgtswap = 0;              // 6
  unsigned cfgtfwd = 0;          // 7
  std::string cmdFile;           // 8
  int cfgarrd = 0;               // 9
  unsigned cfgscm = 0;           // 10
  int cfgsswp = 0;               // 11
  int vantis = 0;                // 12
  std::string telemServ;         // 13
  int sepwait = 0;               // 14
  unsigned wlim = 0;             // 15, 0-255; 255 = never warn about packets
  unsigned alim = 0;             // 16, at most 60
  std::string emserver;          // 17
  std::string emsender;          // 18
  std::string emrecvr;           // 19
  std::string csee0, csee1, csee2, csee3;  // 20-23
  std::string csram;             // 24
  unsigned csofs = 0;            // 25, hexadecimal with or without "0x"
  int recon = 0;                 // 26
};

// Lines beyond the file's end count as missing (0 / empty). Settings that are not numbers where
// a number belongs, and missing lines, go to notes.
Config ParseConfig(const std::vector<std::string>& lines, LoadNotes* notes = nullptr);

// Decimal reading of a value as the station does it: leading sign and digits, anything else 0.
long CfgNumber(const std::string& value);

// Command-button file: line k (1-16) is the text of field 18-k; result[i] is field 17-i.
std::array<std::string, kCmdFileFields> CmdFileFields(const std::vector<std::string>& lines);
// Control id of line k (1-based) of the command-button file.
constexpr int CmdFileFieldId(int k) { return 18 - k; }

// "COMMAND FILE: " + the file name without its directory.
std::string CmdFileTitle(const std::string& path);

}  // namespace korvex
