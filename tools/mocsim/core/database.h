// The station's database files, read by the same rules the station uses, so that a value the
// simulator puts into a packet in engineering units is the value the station shows.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace mocsim {

bool containsNoCase(const std::string& hay, const std::string& needle);
std::vector<std::string> splitTabs(const std::string& line);
std::string trim(const std::string& s);
// Reads a number the way strtod/atof would; empty or non-numeric text gives nullopt.
std::optional<double> parseNumber(const std::string& s);
// "0x" hex, leading-0 octal or decimal, like scanf's %i. nullopt when it is not a number.
std::optional<long> parseInt(const std::string& s);

// Lines held as read; a name is found by its first case-blind occurrence in a line.
struct LineTable {
  std::vector<std::string> lines;
  int find(const std::string& name) const;
};

struct Limits {
  std::optional<double> redLow, yellowLow, yellowHigh, redHigh;
};

// One item line of the processor or SEP housekeeping file (18 tab-separated fields).
struct ItemDef {
  std::string name;      // field 0
  int size = 2;          // field 1: 1 = byte, 4 = 32-bit word, anything else a 16-bit word
  int offset = -1;       // field 2: packet offset (station view)
  std::string gainText;  // field 5 as written (may hold a conversion keyword)
  double gainA = 1, offA = 0, gainB = 1, offB = 0;
  std::string unit;
  std::string conv;      // field 13: conversion keyword (LIN, INT, YSI, ...) where the file has one
  Limits limits;
  // Filled once by the generator so that building a packet does no name matching.
  int kind = -1;
  int special = 0;
  double phase = 0;
  bool valid() const { return !name.empty() && offset >= 0; }
};
ItemDef parseItem(const std::string& line);

struct TlmDatabase {
  LineTable items;
  std::array<double, 6> ysi{};
  std::array<double, 3> rtd{};
  std::array<double, 6> mag{};
  std::array<double, 3> ucur{};
  std::array<double, 3> dcur{};
  bool coefficients = false;  // all sensor blocks found
};

struct SepDatabase {
  LineTable items;
  std::array<double, 6> let{};
  std::array<double, 6> sep{};
  // SIT groups nshv, nsdt, nsfo, nsss, nsp3, nsp2, nsp5, nsp6: offset A, gain A, offset B, gain B.
  std::array<std::array<double, 4>, 8> sit{};
  std::array<double, 4> vrp6{};  // reference A, slope A, reference B, slope B
  bool coefficients = false;
};

struct BrmDatabase {
  LineTable lines;
  std::vector<int> itemLines;  // lines starting with "P" or "C"
};

// One spacecraft item of basis.txt.
struct SpcItem {
  std::string key;  // token 0, e.g. "PDU_MAIN_V_00B"
  int ndx = 0, bofs = 0, numb = 8;
  double vofs = 0, vmlt = 0;
  std::optional<double> yl, yh, rl, rh;
};

// Command database: packet ID (first number of the template) and the encoded template bytes of a line.
struct CommandTemplate {
  std::string mnemonic;
  int apid = -1;
  std::vector<uint8_t> data;  // bytes after the packet header, argument-free part of the template
  bool hazardous = false;
};
// The command database with its templates expanded as the station's encoder does (names of other
// lines replaced by their templates, three levels deep).
struct CommandDb {
  std::vector<std::string> lines;
  // First line (from index 0) whose mnemonic contains `token`, without regard to case; -1 if none.
  int findMnemonic(const std::string& token) const;
  // Packet ID and template bytes of line `idx`; `argBytes` zero bytes stand for the arguments.
  std::optional<CommandTemplate> expand(int idx, bool withArgs = false) const;
};
std::vector<std::string> templateTokens(const std::string& tmpl);

struct Databases {
  TlmDatabase tlm;
  SepDatabase sep;
  BrmDatabase brm;
  std::vector<SpcItem> spc;
  LineTable err;
  CommandDb cmd;
  std::vector<std::string> notes;  // what was loaded or missing, for the start-up log
};

// Parsers working on the file text (tests give small texts of their own).
void parseTlm(const std::string& text, TlmDatabase& db, std::vector<std::string>& notes);
void parseSep(const std::string& text, SepDatabase& db, std::vector<std::string>& notes);
void parseBrm(const std::string& text, BrmDatabase& db);
std::vector<SpcItem> parseSpc(const std::string& text);
LineTable parseLines(const std::string& text, const char* stopMarker);
std::vector<std::string> textLines(const std::string& text);

// Resolves each path component without regard to case when the exact name is absent.
std::string resolvePath(const std::string& dir, const std::string& rel);
bool readFileText(const std::string& path, std::string& out);
// Loads DIR/database/... ; missing files are noted and leave their table empty.
void loadStation(const std::string& dir, Databases& db);


// The bytes one numeric template token encodes to (the command encoder's rules).
std::vector<uint8_t> encodeToken(const std::string& token, long value);

}  // namespace mocsim
