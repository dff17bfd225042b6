// Recording of stored command sequences: instead of going to the MOC, each encoded command
// becomes one memory-load line of a script that later loads it into the instrument's
// stored-sequence memory ("startsequence DEST N FILE" ... "endsequence").
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvex {

// Bases of the memory banks (configuration lines 20-24, integers as typed, "0x" allowed) and the
// offset of stored sequence 0 within its bank (line 25).
struct SequenceBanks {
  std::array<std::string, 4> eeprom;
  std::string ram;
  unsigned csofs = 0;
};

constexpr unsigned kSequenceStride = 128;  // bytes of memory per stored sequence
constexpr unsigned kBankBytes = 16384;
constexpr unsigned kRecordDataMax = 127;   // data bytes one record can hold

enum class SequenceError {
  None,
  MissingWords,  // fewer than three words after "startsequence"
  BadNumber,     // the sequence number is not a number 0 or above
  UnknownBank,   // the destination names none of EEPROM0-3 or RAM
  BadBase,       // the bank's base in the configuration is not a number
  BadFileName,   // a file name that would leave cmd/
};

// A recording being made: the command word and bank of its load lines and the memory offset of
// the next record.
struct SequenceRecording {
  std::string dest;    // as typed
  std::string number;  // as typed
  std::string path;    // "cmd/" + file name (+ ".cmd" when it has no ".")
  std::string bank;    // "/IDPUEEPROMLoad 0x10": command word and bank
  unsigned seqofs = 0;
  std::string seqcmd;  // the next line's beginning: bank + " 0x" + offset
};

// "startsequence DEST N FILE" (the words as typed, found after the keyword in any case).
SequenceError ParseStartSequence(const std::string& line, const SequenceBanks& banks,
                                 SequenceRecording* rec);

// The two remark lines that open the file (without line ends). from = the running script, or "".
std::array<std::string, 2> SequenceHeader(const SequenceRecording& rec, const std::string& date,
                                          const std::string& time, const std::string& from);

// The load line of one encoded packet (identifier, data count, data, a 0xFF pad after an odd
// count); the offset moves on past the record. False, with nothing changed, for a packet whose
// data do not fit one record or that is shorter than its length byte says.
bool SequencePacketLine(SequenceRecording& rec, const std::uint8_t* packet, std::size_t size,
                        std::string* line);

// The closing line: an empty record (identifier 0) ends the sequence.
std::string SequenceEndLine(const SequenceRecording& rec);

}  // namespace korvex
