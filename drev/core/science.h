// Decoding of the analyzer's packets from the working copy, the conversions, and the display-side
// arithmetic (accumulations, totals, histories, limit buttons), all over DrevState.
#pragma once

#include "core/state.h"

namespace drev {

// Suite housekeeping (0x200): the three supply voltages with idrev[30] / idrev[31].
void SuiteVoltages(DrevState& s);

// One distribution packet. Returns false (nothing changed, nothing counted) for a packet number
// other than 0, 3, 6, 9, 12.
bool Distribution(DrevState& s);

// Pitch packet (0x212) into pitchData and magAzEl.
void Pitch(DrevState& s);

// Moment packet (0x213) into moment, lmoment, drevDhkp.
void Mom(DrevState& s);

// Analyzer housekeeping (0x214). Returns the part (336, 208, 80) or -1 for an ignored packet.
int Hkpg(DrevState& s);

double YSI(const Config& c, double n);
double RTD(const Config& c, double n);
double Dcur(const DrevState& s, double x);
// The housekeeping value of channel c for raw n.
double HkValue(const DrevState& s, int c, int n);

// The accumulating plots: cleared first unless accumulating, then the selected bins added.
void Accumulate3D(DrevState& s, Plot3D which, bool accumulate);
void AccumulatePitch(DrevState& s, bool rowsByColumn, bool accumulate);

// Totals of the current distribution over the selections, appended to the three histories.
void Totals3D(DrevState& s);
// Per-row and per-column totals of pitch block 2, and the field angles, appended.
void TotalsPitch(DrevState& s);
// The nine sets of the last moment packet appended to the moment histories.
void PushMoments(DrevState& s);

// Totals over every bin (no selection): per E, per D, per A and the grand total.
struct DistSums {
  long long total = 0;
  std::array<long long, kNumE> e{};
  std::array<long long, kNumD> d{};
  std::array<long long, kNumA> a{};
};
DistSums SumDistribution(const DrevState& s);

enum class LimitButton { RaiseMin, LowerMin, RaiseMax, LowerMax };
// One press on the pair of the current mode; returns true when a limit changed.
bool PressLimit(AxisLimits& l, LimitButton b);

// The moment status texts of bits 0-5 of the status byte, with their colours.
struct StatusText {
  const char* text;
  int color;  // 0xRRGGBB, -1 = the panel's own
};
StatusText MomStatus(int bit, std::uint8_t status);

}  // namespace drev
