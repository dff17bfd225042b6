// Everything drev knows, in one struct: the receive buffer and its two offsets, the working copy
// of the current packet, the housekeeping waveforms and the science arrays with their histories.
// Tests build a fresh one; the program holds one for its lifetime.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/packet.h"

namespace drev {

constexpr std::size_t kCirBufSize = 1048576;
constexpr long kCompactAt = 524288;
constexpr int kTcpBuffSize = 2048;
constexpr int kHistoryFrames = 3000;
constexpr int kMagFrames = 667;
constexpr int kMomentPackets = 500;
constexpr int kNumE = 16, kNumD = 6, kNumA = 16;
constexpr int kPitchRows = 7, kPitchCols = 12;
constexpr int kMomentSets = 9, kMomentValues = 14;
constexpr int kHkChannels = 16, kHkSamples = 336;

// The last `cap` frames of `width` values each; a full history drops its oldest frame.
class History {
 public:
  History(int width, int cap) : width_(width), cap_(cap), buf_(static_cast<std::size_t>(width) * cap) {}
  void push(const double* frame);
  // i-th oldest frame held, 0 <= i < count().
  const double* frame(int i) const { return &buf_[static_cast<std::size_t>((start_ + i) % cap_) * width_]; }
  int count() const { return count_; }
  int width() const { return width_; }
  int cap() const { return cap_; }
  void clear() { start_ = count_ = 0; }

 private:
  int width_, cap_;
  std::vector<double> buf_;
  int start_ = 0, count_ = 0;
};

// A graph's two limit pairs and the mode that picks between them.
struct AxisLimits {
  double max = 1024, min = 0;     // linear pair
  double maxl = 1e6, minl = 1;    // log pair
  bool log = false;
  bool manual = false;            // set by the first button press
};

// The six accumulating 3-D plots.
enum Plot3D { kDEA, kDAE, kDED, kDDE, kDAD, kDDA, kNumPlot3D };

struct Selection {
  std::array<bool, kNumE> e;
  std::array<bool, kNumA> a;
  std::array<bool, kNumD> d;
  std::array<bool, kPitchRows> row;
  std::array<bool, kPitchCols> col;
  Selection() { e.fill(true); a.fill(true); d.fill(true); row.fill(true); col.fill(true); }
};

// An accumulated sum: one row per curve, one column per step of the x axis.
struct Accum {
  int rows = 0, cols = 0, counter = 0;
  std::vector<double> v;
  Accum() = default;
  Accum(int r, int c) : rows(r), cols(c), v(static_cast<std::size_t>(r) * c) {}
  double& at(int r, int c) { return v[static_cast<std::size_t>(r) * cols + c]; }
  double at(int r, int c) const { return v[static_cast<std::size_t>(r) * cols + c]; }
  void clear() { std::fill(v.begin(), v.end(), 0.0); }
};

// What a distribution packet showed besides its bins.
struct DistInfo {
  int number = -1;        // byte 12
  int byte10 = 0, byte13 = 0, byte14 = 0;
  std::string time;       // only for packet 0
};

struct DrevState {
  Config cfg;
  LogTable logCnvt = MakeLogCnvt();

  // receive buffer
  std::vector<std::uint8_t> cirBuf = std::vector<std::uint8_t>(kCirBufSize);
  long addFlag = 0, readFlag = 0;
  std::array<std::uint8_t, kTcpBuffSize> tcpBuff{};
  int tcpLen = 0;
  std::array<std::uint8_t, kPacketSize> useBuf{};
  int whichApid = 0x10;
  int dispApid = 4095;
  int numberPkts = 0;
  int checksumErrors = 0;
  std::uint8_t aorb = 0;
  std::string dtime;
  long long recordsProcessed = 0, recordsUsed = 0;

  // suite supply voltages
  double IDREVSTE12V = 0, IDREVSTEDVCC1 = 0, IDREVSTED5VD = 0;
  // housekeeping waveforms
  std::array<std::array<double, kHkSamples>, kHkChannels> hkpg{};
  std::string hkTime;
  // per channel the highest sample index the last housekeeping packet wrote, -1 if none
  std::array<int, kHkChannels> hkLastIndex{};

  // 3-D distribution
  int distData[kNumE][kNumD][kNumA] = {};
  int pktflg = 0;
  int pickE = 0;
  DistInfo lastDist;
  std::string distTime;
  Selection sel;
  std::array<Accum, kNumPlot3D> acc3 = {Accum(kNumA, kNumE), Accum(kNumE, kNumA), Accum(kNumD, kNumE),
                                        Accum(kNumE, kNumD), Accum(kNumD, kNumA), Accum(kNumA, kNumD)};
  std::array<double, kNumE> dte3{};
  std::array<double, kNumA> dta3{};
  std::array<double, kNumD> dtd3{};
  History redte3{kNumE, kHistoryFrames}, redta3{kNumA, kHistoryFrames}, redtd3{kNumD, kHistoryFrames};

  // pitch
  int pitchData[3][kPitchRows][kPitchCols] = {};
  std::array<double, 6> magAzEl{};
  int pitchByte10 = 0, pitchByte12 = 0;
  std::string pitchTime;
  Accum de2{kPitchCols, kPitchRows};  // one curve per column against the row
  Accum da2{kPitchRows, kPitchCols};  // one curve per row against the column
  History redte2{kPitchRows, kHistoryFrames}, redta2{kPitchCols, kHistoryFrames};
  History remag{6, kMagFrames};

  // moments
  double moment[kMomentSets][kMomentValues] = {};
  double lmoment[kMomentSets][kMomentValues] = {};
  std::uint8_t drevDhkp = 0;
  int momByte12 = 0;
  unsigned momWords[3] = {};
  std::string momTime;
  History remomt{kMomentSets * kMomentValues, kMomentPackets};
  History lremomt{kMomentSets * kMomentValues, kMomentPackets};
};

}  // namespace drev
