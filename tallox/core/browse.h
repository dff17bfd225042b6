// The packet panel's own file position (`DumpFile`), its navigation and searches, and the texts
// and values of the single-packet displays.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "record.h"
#include "source.h"

namespace tallox {

class DumpFile {
 public:
  DumpFile() = default;
  ~DumpFile() { close(); }
  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;

  bool open(const std::string& path, std::string* error);
  void close();
  bool isOpen() const { return fp_ != nullptr; }

  // Every operation leaves the shown record in Data (already through SwapTelemetryBytes) and
  // returns true when a record is shown, false when there is nothing to show (no file, no whole
  // record). `swap` is the byte-order toggle.
  bool NextPacket(bool swap);
  bool BackPacket(bool swap);
  bool PacketNum(long long n, bool swap);
  // kind 0 checksum error, 1 invalid APID, 2 sequence break in 0x200-0x27F, 3 change of the
  // 0x208 mode flag, any other value: that APID. found says whether the search stopped on a match
  // (otherwise it ran to the end and the last whole record is shown).
  bool FindNext(int kind, bool swap, bool* found, const Progress& progress = {});
  bool NextHKP(bool swap, bool* found = nullptr);
  bool BackHKP(bool swap);
  bool FindNextHKP(int kind, bool swap, bool* found, const Progress& progress = {});

  int PacketNumber() const { return packetNumber_; }
  const std::uint8_t* Data() const { return data_; }
  bool shown() const { return shown_; }
  long long position() const { return pos_; }

 private:
  bool readRaw(std::uint8_t* out);  // one record at the current position, as stored
  bool seek(long long pos);
  bool showLastWhole(bool swap);
  void finish(const std::uint8_t* raw, bool swap);

  std::FILE* fp_ = nullptr;
  long long pos_ = 0, size_ = 0;
  std::uint8_t data_[kDataBufSize] = {};
  int packetNumber_ = 0;
  bool shown_ = false;
};

// ---- what the packet panel shows -----------------------------------------------------------------
struct HkView {
  double word42 = 0, word44 = 0, byte46 = 0;
  std::string clock;
  unsigned byte49 = 0, byte47 = 0, byte48 = 0, word50 = 0, byte52 = 0, byte53 = 0;
};

struct MagView {
  std::array<double, 42> x{}, y{}, z{};
  bool meanRemoved = false;
  std::string timeL;
};

struct PacketView {
  int packetNumber = 0;
  std::string header;   // record header fields
  std::string primary;  // primary and secondary header
  unsigned apid = 0;
  std::string time;
  std::string hexDump;
  unsigned checksum = 0;
  std::optional<HkView> hk;    // APID 0x200
  std::optional<MagView> mag;  // APIDs 0x208, 0x209
  bool fastHk = false;         // APID 0x214
};

// The 336-sample fast-housekeeping waveform, kept between packets.
struct FastHkWave {
  std::array<int, 336> samples{};
  int mode = 0;
  int packetNumber = 0;
  int yMin = 0, yMax = 0;
  // Updates from a swapped APID 0x214 record; false (nothing shown) when the start is out of range.
  bool update(const std::uint8_t* swapped, int packetNumber);
};

HkView MakeHkView(const std::uint8_t* swapped);
MagView MakeMagView(const std::uint8_t* swapped, bool meanRemoval);
// The packet display of a swapped record; updates the waveform for APID 0x214.
PacketView DisplayPacket(const std::uint8_t* swapped, int packetNumber, bool meanRemoval,
                         FastHkWave* wave);
std::string HexDump(const std::uint8_t* rec);
// "label: value" lines for the batch command line.
std::string FormatPacket(const PacketView& v, const FastHkWave* wave);

}  // namespace tallox
