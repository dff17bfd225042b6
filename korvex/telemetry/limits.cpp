#include "telemetry/limits.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace korvex {

namespace {

std::string Num(double v, bool integer) {
  char b[64];
  if (integer)
    std::snprintf(b, sizeof b, "%d", static_cast<int>(v));
  else
    std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

enum Zone { kRedLow = 0x00, kYellowLow = 0x40, kYellowHigh = 0x80, kRedHigh = 0xC0, kNone = -1 };

}  // namespace

CheckResult CheckLimits(unsigned char& counter, double value, const ItemLine& item, bool integer,
                        const AlarmCfg& cfg, std::string_view label) {
  CheckResult r;
  if (!cfg.warm) return r;
  auto lim = [&](int f) {
    std::size_t k = static_cast<std::size_t>(f - 8);
    return integer ? static_cast<double>(item.limInt[k]) : item.limF[k];
  };
  auto on = [&](int f) { return item.limOn[static_cast<std::size_t>(f - 8)]; };
  double v = integer ? static_cast<double>(static_cast<long long>(value)) : static_cast<float>(value);
  int zone = kNone;
  int field = 0;
  const char* name = "";
  if (on(8) && v <= lim(8)) zone = kRedLow, field = 8, name = " RL = ";
  else if (on(9) && v <= lim(9)) zone = kYellowLow, field = 9, name = " YL = ";
  else if (on(11) && v >= lim(11)) zone = kRedHigh, field = 11, name = " RH = ";
  else if (on(10) && v >= lim(10)) zone = kYellowHigh, field = 10, name = " YH = ";
  if (zone == kNone) {
    r.paint = kWhite;
    counter = 0;
    return r;
  }
  if (counter < zone || counter > zone + 0x3F) counter = static_cast<unsigned char>(zone);
  int n = counter - zone;
  bool red = zone == kRedLow || zone == kRedHigh;
  int colour = red ? kRedBg : kYellowBg;
  if (n < cfg.alim) {
    ++counter;
  } else if (n == cfg.alim) {
    ++counter;
    r.paint = colour;
    r.alarm = true;
    r.red = red;
    r.text = std::string(label) + " = " + Num(v, integer) + name + Num(lim(field), integer);
  } else if (n == cfg.alim + 1) {
    r.paint = colour;
  }
  return r;
}

DigStep DigCheck(unsigned char& ctr, bool abnormal, const AlarmCfg& cfg) {
  if (!cfg.warm) return DigStep::None;
  if (!abnormal) {
    ctr = 0;
    return DigStep::Normal;
  }
  if (ctr < cfg.alim) {
    ++ctr;
    return DigStep::Counting;
  }
  if (ctr == cfg.alim) {
    ++ctr;
    return DigStep::Raise;
  }
  return DigStep::Repaint;
}

CheckResult SpcCheck(unsigned char& ctr, double value, const SpcPar& par, const AlarmCfg& cfg,
                     std::string_view key, std::string_view shown) {
  CheckResult r;
  if (!cfg.warm || !par.limits) return r;
  const char* name = nullptr;
  const std::string* lim = nullptr;
  bool red = false;
  if (value <= par.spcrl) name = "; rl =", lim = &par.rl, red = true;
  else if (value <= par.spcyl) name = "; yl = ", lim = &par.yl;
  else if (value >= par.spcrh) name = "; rh = ", lim = &par.rh, red = true;
  else if (value >= par.spcyh) name = "; yh = ", lim = &par.yh;
  DigStep s = DigCheck(ctr, name != nullptr, cfg);
  int colour = red ? kRedBg : kYellowBg;
  switch (s) {
    case DigStep::Normal: r.paint = kWhite; break;
    case DigStep::Raise:
      r.paint = colour;
      r.alarm = true;
      r.red = red;
      r.text = std::string(key) + " = " + std::string(shown) + name + *lim;
      break;
    case DigStep::Repaint: r.paint = colour; break;
    default: break;
  }
  return r;
}

int CvCommandId(std::string_view label, bool cmdSwap) {
  int digits[4];
  int n = 0;
  for (char c : label) {
    if (n == 4) break;
    if (c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
    digits[n++] = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10);
  }
  if (n < 4) return -1;
  // The packet identification as it left: the APID's high byte first, unless the command header
  // went out in exchanged pairs. The processor reports a command by the APID's low seven bits,
  // with its 0x100 bit on top (0x200-0x27F -> 0x00-0x7F, 0x300-0x37F -> 0x80-0xFF), as the
  // command decode table reads the reported ID back.
  int hi = digits[0] << 4 | digits[1];
  int lo = digits[2] << 4 | digits[3];
  if (cmdSwap) std::swap(hi, lo);
  return (hi & 1) << 7 | (lo & 0x7F);
}

CmdVerResult CmdVer(int& pcmdcount, int cmdcount, int cmdlid, int lastSeq,
                    const std::vector<CvEntry>& list, bool cmdSwap, std::string_view tcmdlid) {
  CmdVerResult r;
  int d = cmdcount - pcmdcount;
  if (d == 0) return r;
  if (d < 0) {
    if (pcmdcount >= 65437) {
      d += 65536;
    } else {
      r.reset = true;
      pcmdcount = 0;
      return r;
    }
  }
  r.d = d;
  int found = -1;
  for (int i = static_cast<int>(list.size()) - 1; i >= 0; --i) {
    const CvEntry& e = list[static_cast<std::size_t>(i)];
    if (e.value == lastSeq && CvCommandId(e.label, cmdSwap) == cmdlid) {
      found = i;
      break;
    }
  }
  auto tail = [&] {
    return std::string(" CommandLastID:") + std::string(tcmdlid) + " CommandLastSequence:" +
           std::to_string(lastSeq) + " CommandCount:" + std::to_string(cmdcount) + " ";
  };
  if (found >= 0) {
    int v = found + 1;
    r.remove = v;
    if (v > d)
      r.warning = "WARNING:  " + std::to_string(v - d) + " Dropped Commands:" + tail();
    else if (v < d)
      r.warning = "WARNING:  " + std::to_string(d - v) + " Unexpected Commands:" + tail();
  } else if (list.empty()) {
    r.warning = "WARNING:  " + std::to_string(d) + " Unexpected Commands:" + tail();
  }
  pcmdcount = cmdcount;
  return r;
}

ErrResult ErrorBlock(ErrState& st, int code, int data, int count, const ErrDb& err,
                     const AlarmCfg& cfg) {
  ErrResult r;
  if (count == 0) {
    r.clear = true;
    st.remembered = 0;
    return r;
  }
  if (count == st.remembered) return r;
  r.changed = true;
  std::string key = "\t" + std::to_string(code) + "\t";
  r.text = "Unrecognized error " + std::to_string(code);
  for (int i = 0; i < err.errCount; ++i) {
    std::string l = err.errdb[static_cast<std::size_t>(i)].text;
    if (l.find(key) != std::string::npos) {
      for (char& c : l)
        if (c == '\t') c = ' ';
      r.text = l;
      break;
    }
  }
  if (cfg.warm) {
    if (st.reports < cfg.alim) {
      ++st.reports;
    } else {
      r.alarms.push_back(r.text);
      r.alarms.push_back("IErrorData = " + std::to_string(data));
      r.alarms.push_back("IErrorCount = " + std::to_string(count) + " New Errors = " +
                         std::to_string(count - st.remembered));
    }
  }
  // The count is taken once reported, so that the same count does not report again.
  st.remembered = count;
  return r;
}

}  // namespace korvex
