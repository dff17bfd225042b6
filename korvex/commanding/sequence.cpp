#include "commanding/sequence.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "core/text.h"

namespace korvex {

namespace {

std::string Hex(const char* format, unsigned v) {
  char b[24];
  std::snprintf(b, sizeof b, format, v);
  return b;
}

// An integer as typed: decimal, "0x" hexadecimal or leading-0 octal, nothing after it.
bool ReadInteger(const std::string& text, int base, unsigned long long* v) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  *v = std::strtoull(text.c_str(), &end, base);
  return end && *end == '\0';
}

}  // namespace

SequenceError ParseStartSequence(const std::string& line, const SequenceBanks& banks,
                                 SequenceRecording* rec) {
  const std::string key = "startsequence";
  std::size_t at = Lower(line).find(key);
  if (at == std::string::npos) return SequenceError::MissingWords;
  std::istringstream in(line.substr(at + key.size()));
  std::vector<std::string> words;
  for (std::string w; words.size() < 3 && in >> w;) {
    if (w[0] == ';') break;
    words.push_back(w);
  }
  if (words.size() < 3) return SequenceError::MissingWords;
  const std::string& dest = words[0];
  const std::string& number = words[1];
  std::string file = words[2];

  unsigned long long n = 0;
  // A sequence number beyond the memory a bank base can address is a typing error.
  if (!ReadInteger(number, 10, &n) || n > 0xFFFFFF) return SequenceError::BadNumber;

  static const char* const kEeprom[4] = {"eeprom0", "eeprom1", "eeprom2", "eeprom3"};
  const std::string d = Lower(dest);
  std::string word;
  const std::string* base = nullptr;
  for (int k = 0; k < 4 && !base; ++k)
    if (d.find(kEeprom[k]) != std::string::npos) {
      word = "/IDPUEEPROMLoad ";
      base = &banks.eeprom[static_cast<std::size_t>(k)];
    }
  if (!base && d.find("ram") != std::string::npos) {
    word = "/IDPUMemoryLoad ";
    base = &banks.ram;
  }
  if (!base) return SequenceError::UnknownBank;
  unsigned long long b = 0;
  if (!ReadInteger(*base, 0, &b) || b > 0xFFFFFFFFull) return SequenceError::BadBase;

  if (file.find_first_of("/\\:") != std::string::npos || file.find("..") != std::string::npos)
    return SequenceError::BadFileName;
  if (file.find('.') == std::string::npos) file += ".cmd";

  unsigned long long ofs = banks.csofs + n * kSequenceStride;
  const unsigned page = static_cast<unsigned>(b + ofs / kBankBytes);
  // The offset is taken within its bank; one of exactly a bank's size is the next bank's start.
  ofs %= kBankBytes;

  rec->dest = dest;
  rec->number = number;
  rec->path = "cmd/" + file;
  rec->bank = word + Hex("0x%X", page);
  rec->seqofs = static_cast<unsigned>(ofs);
  rec->seqcmd = rec->bank + Hex(" 0x%X", rec->seqofs);
  return SequenceError::None;
}

std::array<std::string, 2> SequenceHeader(const SequenceRecording& rec, const std::string& date,
                                          const std::string& time, const std::string& from) {
  std::string first = "REM " + rec.path + " generated " + date + " " + time;
  if (!from.empty()) first += " from " + from;
  return {first, "REM Destination is " + rec.dest + " sequence " + rec.number};
}

bool SequencePacketLine(SequenceRecording& rec, const std::uint8_t* packet, std::size_t size,
                        std::string* line) {
  if (size < 7) return false;
  // The record keeps the low byte of the length field: a longer packet cannot be recorded.
  if (packet[4] != 0 || packet[5] > kRecordDataMax) return false;
  const unsigned count = packet[5];
  if (7 + count > size) return false;
  std::string l = rec.seqcmd;
  l += Hex(" 0x%.2X", (packet[0] & 1u) * 128u + packet[1]);
  l += Hex(" 0x%.2X", count);
  for (unsigned i = 0; i < count; ++i) l += Hex(" 0x%.2X", packet[7 + i]);
  const bool pad = count % 2 != 0;
  if (pad) l += " 0xFF";
  rec.seqofs += 2 + count + (pad ? 1 : 0);
  rec.seqcmd = rec.bank + Hex(" 0x%.3X", rec.seqofs);
  *line = l;
  return true;
}

std::string SequenceEndLine(const SequenceRecording& rec) { return rec.seqcmd + " 0x00 0x00"; }

}  // namespace korvex
