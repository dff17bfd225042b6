#include "core/science.h"

#include <algorithm>
#include <cmath>

namespace drev {

void History::push(const double* frame) {
  int slot;
  if (count_ < cap_) {
    slot = (start_ + count_) % cap_;
    ++count_;
  } else {
    slot = start_;  // the oldest frame makes room
    start_ = (start_ + 1) % cap_;
  }
  std::copy(frame, frame + width_, &buf_[static_cast<std::size_t>(slot) * width_]);
}

void SuiteVoltages(DrevState& s) {
  const double scale = s.cfg.idrev[30], offset = s.cfg.idrev[31];
  const std::uint8_t* u = s.useBuf.data();
  s.IDREVSTE12V = Word(u, 136) * scale + offset;
  s.IDREVSTEDVCC1 = Word(u, 132) * scale + offset;
  s.IDREVSTED5VD = Word(u, 130) * scale + offset;
}

bool Distribution(DrevState& s) {
  const std::uint8_t* u = s.useBuf.data();
  const int number = u[12];
  if (number > 12 || number % 3 != 0) return false;
  ++s.pktflg;
  s.lastDist.number = number;
  s.lastDist.byte10 = u[10];
  s.lastDist.byte13 = u[13];
  s.lastDist.byte14 = u[14];
  if (number == 0) {
    s.lastDist.time = GetEpoc(u);
    s.distTime = s.lastDist.time;
  }
  // The five packets continue one stream of 1280 bytes: per energy 80 bytes, the first and last
  // D rows at half resolution (8 bytes, each filling two A bins), the four middle rows 16 bytes.
  // Where each stream byte goes is worked out once.
  static const struct StreamMap {
    short bin[1280];
    bool half[1280];
    StreamMap() {
      for (int idx = 0; idx < 1280; ++idx) {
        const int e = idx / 80, o = idx % 80;
        half[idx] = o < 8 || o >= 72;
        if (half[idx]) {
          const int d = o < 8 ? 0 : 5, k = o < 8 ? o : o - 72;
          bin[idx] = static_cast<short>((e * kNumD + d) * kNumA + 2 * k);
        } else {
          bin[idx] = static_cast<short>((e * kNumD + 1 + (o - 8) / 16) * kNumA + (o - 8) % 16);
        }
      }
    }
  } kMap;
  int* flat = &s.distData[0][0][0];
  const int base = (number / 3) * 256;
  for (int j = 0; j < 256; ++j) {
    const int idx = base + j;
    const int v = s.logCnvt[u[15 + j]];
    if (kMap.half[idx]) {
      flat[kMap.bin[idx]] = v / 2;
      flat[kMap.bin[idx] + 1] = v / 2;
    } else {
      flat[kMap.bin[idx]] = v;
    }
  }
  return true;
}

void Pitch(DrevState& s) {
  static const int kColumn[12] = {0, 11, 1, 10, 2, 9, 3, 8, 4, 7, 5, 6};
  const std::uint8_t* u = s.useBuf.data();
  s.pitchTime = GetEpoc(u);
  s.pitchByte10 = u[10];
  s.pitchByte12 = u[12];
  for (int b = 0; b < 3; ++b) {
    const int base = 13 + 86 * b;
    s.magAzEl[2 * b] = u[base] * 360.0 / 256.0;
    s.magAzEl[2 * b + 1] = u[base + 1] * 360.0 / 256.0;
    for (int r = 0; r < kPitchRows; ++r)
      for (int k = 0; k < kPitchCols; ++k)
        s.pitchData[b][r][kColumn[k]] = s.logCnvt[u[base + 2 + 12 * r + k]];
  }
}

void Mom(DrevState& s) {
  const std::uint8_t* u = s.useBuf.data();
  s.momTime = GetEpoc(u);
  s.momByte12 = u[12];
  for (int i = 0; i < 3; ++i) s.momWords[i] = Word(u, 13 + 2 * i);
  for (int set = 0; set < kMomentSets; ++set) {
    const int base = 19 + 28 * set;
    for (int m = 0; m < 13; ++m) s.moment[set][m] = DcmpMom(Word(u, base + 2 * m));
    s.moment[set][13] = u[base + 26];
    s.drevDhkp = u[base + 27];
    for (int m = 0; m < kMomentValues; ++m) s.lmoment[set][m] = std::fabs(s.moment[set][m]);
  }
}

double YSI(const Config& c, double n) {
  return c.yA + c.yB * n + c.yC * n * n + c.yD * n * n * n + c.yE * n * n * n * n +
         c.yF * n * n * n * n * n;
}

double RTD(const Config& c, double n) { return c.rA + c.rB * n + c.rC * n * n; }

double Dcur(const DrevState& s, double x) {
  return s.cfg.isurA * x + s.cfg.isurB * s.IDREVSTE12V - s.cfg.isurC * (s.IDREVSTEDVCC1 - s.IDREVSTED5VD);
}

double HkValue(const DrevState& s, int c, int n) {
  const auto& id = s.cfg.idrev;
  switch (c) {
    case 7: return Dcur(s, n * id[14] + id[15]);
    case 8:
    case 10: return YSI(s.cfg, n);
    case 9: return RTD(s.cfg, n);
    default: return n * id[2 * c] + id[2 * c + 1];
  }
}

int Hkpg(DrevState& s) {
  const std::uint8_t* u = s.useBuf.data();
  const int part = static_cast<int>(Word(u, 12));
  int words, top;
  if (part == 336) words = 128, top = 127;
  else if (part == 208) words = 128, top = 255;
  else if (part == 80) words = 80, top = 335;
  else return -1;
  if (part == 336) s.hkTime = GetEpoc(u);
  s.hkLastIndex.fill(-1);
  for (int i = 0; i < words; ++i) {
    const unsigned w = Word(u, 14 + 2 * i);
    const int c = static_cast<int>(w >> 12);
    s.hkpg[c][top - i] = HkValue(s, c, static_cast<int>(w & 0xFFF));
    if (s.hkLastIndex[c] < 0) s.hkLastIndex[c] = top - i;
  }
  return part;
}

void Accumulate3D(DrevState& s, Plot3D which, bool accumulate) {
  Accum& a = s.acc3[which];
  if (!accumulate) {
    a.clear();
    a.counter = 2;
  } else {
    a.counter += 2;
  }
  for (int e = 0; e < kNumE; ++e)
    for (int d = 0; d < kNumD; ++d) {
      if (!s.sel.d[d]) continue;
      for (int x = 0; x < kNumA; ++x) {
        if (!s.sel.a[x]) continue;
        const double c = s.distData[e][d][x];
        switch (which) {
          case kDEA: a.at(x, e) += c; break;
          case kDAE: a.at(e, x) += c; break;
          case kDED: a.at(d, e) += c; break;
          case kDDE: a.at(e, d) += c; break;
          case kDAD: a.at(d, x) += c; break;
          case kDDA: a.at(x, d) += c; break;
          default: break;
        }
      }
    }
}

void AccumulatePitch(DrevState& s, bool rowsByColumn, bool accumulate) {
  Accum& a = rowsByColumn ? s.da2 : s.de2;
  if (!accumulate) {
    a.clear();
    a.counter = 2;
  } else {
    a.counter += 2;
  }
  for (int r = 0; r < kPitchRows; ++r)
    for (int c = 0; c < kPitchCols; ++c) {
      if (rowsByColumn) a.at(r, c) += s.pitchData[2][r][c];
      else a.at(c, r) += s.pitchData[2][r][c];
    }
}

void Totals3D(DrevState& s) {
  s.dte3.fill(0);
  s.dta3.fill(0);
  s.dtd3.fill(0);
  for (int e = 0; e < kNumE; ++e)
    for (int d = 0; d < kNumD; ++d)
      for (int a = 0; a < kNumA; ++a) {
        const double c = s.distData[e][d][a];
        if (s.sel.a[a] && s.sel.d[d]) s.dte3[e] += c;
        if (s.sel.d[d]) s.dta3[a] += c;
        if (s.sel.a[a]) s.dtd3[d] += c;
      }
  s.redte3.push(s.dte3.data());
  s.redta3.push(s.dta3.data());
  s.redtd3.push(s.dtd3.data());
}

void TotalsPitch(DrevState& s) {
  double rows[kPitchRows] = {}, cols[kPitchCols] = {};
  for (int r = 0; r < kPitchRows; ++r)
    for (int c = 0; c < kPitchCols; ++c) {
      rows[r] += s.pitchData[2][r][c];
      cols[c] += s.pitchData[2][r][c];
    }
  s.redte2.push(rows);
  s.redta2.push(cols);
  s.remag.push(s.magAzEl.data());
}

void PushMoments(DrevState& s) {
  s.remomt.push(&s.moment[0][0]);
  s.lremomt.push(&s.lmoment[0][0]);
}

DistSums SumDistribution(const DrevState& s) {
  DistSums r;
  for (int e = 0; e < kNumE; ++e)
    for (int d = 0; d < kNumD; ++d)
      for (int a = 0; a < kNumA; ++a) {
        const int c = s.distData[e][d][a];
        r.total += c;
        r.e[e] += c;
        r.d[d] += c;
        r.a[a] += c;
      }
  return r;
}

bool PressLimit(AxisLimits& l, LimitButton b) {
  double& mx = l.log ? l.maxl : l.max;
  double& mn = l.log ? l.minl : l.min;
  const double f = l.log ? 10 : 2;
  bool changed = false;
  switch (b) {
    case LimitButton::RaiseMin:
      if (mx > mn * f) {
        mn *= f;
        if (mn == 0 && (l.log || mx > 2)) mn = l.log ? 0.01 : 2;
        changed = true;
      }
      break;
    case LimitButton::LowerMin:
      if (mn >= (l.log ? 0.01 : 2)) {
        mn /= f;
        if (mn == 1) mn = l.log ? 0.01 : 0;
        changed = true;
      }
      break;
    case LimitButton::RaiseMax:
      if (mx < (l.log ? 1e9 : 1073741824.0)) {
        mx *= f;
        if (!l.log && mx == 0) mx = 2;
        changed = true;
      }
      break;
    case LimitButton::LowerMax:
      if (mx >= f && mn + 1 < mx / f) {
        mx /= f;
        if (mx == 1) mx = 0;
        changed = true;
      }
      break;
  }
  if (changed) l.manual = true;
  return changed;
}

StatusText MomStatus(int bit, std::uint8_t status) {
  const bool on = (status >> bit) & 1;
  constexpr int kYellow = 0xFFFF00, kWhite = 0xFFFFFF;
  switch (bit) {
    case 0: return on ? StatusText{"SWEEP", kYellow} : StatusText{"NORM", kWhite};
    case 1:
    case 2: return on ? StatusText{"ENABLED", -1} : StatusText{"DISABLED", -1};
    case 3: return on ? StatusText{"ON", kWhite} : StatusText{"OFF", kYellow};
    case 4: return on ? StatusText{"CLOSED", kWhite} : StatusText{"OPEN", kYellow};
    default: return on ? StatusText{"ENABLED", kYellow} : StatusText{"DISABLED", kWhite};
  }
}

}  // namespace drev
