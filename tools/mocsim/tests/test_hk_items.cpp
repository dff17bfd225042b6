// Every item line of the station's processor and SEP housekeeping files: a value set in engineering
// units comes back, read from the packet bytes with that line and the file's sensor laws, within one
// count. The decoding here is written from the station's reading rules, not taken from the generator.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "database.h"
#include "generator.h"
#include "packet.h"

using namespace mocsim;

namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = char(std::toupper((unsigned char)c));
  return s;
}

double poly(const double* c, int n, double x) {
  double v = 0;
  for (int i = n - 1; i >= 0; --i) v = v * x + c[i];
  return v;
}

// Unsigned little-endian value of `size` bytes at `off`, byte i found at idx(off + i).
uint32_t readLe(const std::function<uint8_t(int)>& b, int off, int size) {
  uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | b(off + i);
  return v;
}

uint32_t maxRaw(int size) { return size == 1 ? 0xFFu : size == 4 ? 0xFFFFFFFFu : 0xFFFFu; }

// A value to send: inside the item's yellow band when it has one, else the law's image of a
// fractional count so that rounding is exercised.
double wanted(const ItemDef& d, const std::function<double(double)>& law, int i) {
  if (d.limits.yellowLow && d.limits.yellowHigh) return (*d.limits.yellowLow + *d.limits.yellowHigh) / 2 + 0.013;
  double r0 = std::floor(0.3 * std::min<double>(maxRaw(d.size), 4095)) + (i % 7);
  return law(r0 + 0.37);
}

struct Check {
  std::string name;
  std::function<double(double)> law;  // count -> engineering value, as the station converts
  double sent = 0;
  bool exact = false;  // integers: the count itself
};

class HkItems : public ::testing::Test {
protected:
  void SetUp() override {
    loadStation(MOCSIM_STATION_DIR, db);
    ASSERT_TRUE(db.tlm.coefficients);
    ASSERT_TRUE(db.sep.coefficients);
    for (auto& l : db.tlm.items.lines) {
      ItemDef d = parseItem(l);
      if (d.valid()) tlm.push_back(d);
    }
    for (auto& l : db.sep.items.lines) {
      ItemDef d = parseItem(l);
      if (d.valid()) sep.push_back(d);
    }
    ASSERT_GT(tlm.size(), 100u);
    ASSERT_GT(sep.size(), 100u);
  }
  Databases db;
  std::vector<ItemDef> tlm, sep;
};

// One count either side of `raw`, measured through the law.
double oneCount(const std::function<double(double)>& law, uint32_t raw, uint32_t maxR) {
  double here = law(raw), step = 0;
  if (raw < maxR) step = std::max(step, std::fabs(law(double(raw) + 1) - here));
  if (raw > 0) step = std::max(step, std::fabs(here - law(double(raw) - 1)));
  return step * 1.000001 + 1e-9;
}

const std::set<std::string> kAB = {"PTAC0_TSP", "PTAC2_TSP", "PTOF_HV0_TSP", "PTOF_HV1_TSP", "PS_C_0_TSP", "PS_C_1_TSP",
                                   "PLVC0_TSP", "PLVC1_TSP", "PSSD_TC0",   "PSSD_TC1",   "PSSD_TC2"};

}  // namespace

TEST_F(HkItems, EveryProcessorItemComesBackWithinOneCount) {
  const double t = 1.8e9 + 0.25;
  for (int sc : {1, 2}) {
    Generator g(db);
    g.spacecraftIndex = sc;
    std::set<std::string> seen;
    std::map<std::string, Check> checks;
    std::vector<const ItemDef*> order;
    int i = 0;
    for (auto& d : tlm) {
      std::string key = upper(d.name);
      if (!seen.insert(key).second) continue;  // the station reads the first line of a name
      ++i;
      const std::string cv = upper(d.conv);
      Check c;
      c.name = d.name;
      bool ab = sc == 2 && kAB.count(d.name);
      double gain = ab ? d.gainB : d.gainA, off = ab ? d.offB : d.offA;
      if (gain == 0) gain = 1;
      if (cv == "CKS" || cv == "TIME32") continue;  // checksum and packet time: checked below
      if (cv == "UCUR" || cv == "DCUR") {
        order.push_back(&d);
        continue;  // need the voltages first
      }
      if (cv == "INT" || cv == "BITS" || cv == "HEX16" || cv == "HEX32" || cv == "CLOCK") {
        c.exact = true;
        c.law = [](double r) { return r; };
        c.sent = double((uint64_t(i) * 2654435761u + 17) % (uint64_t(maxRaw(d.size)) + 1));
        if (cv == "CLOCK") c.sent = double((12 << 12) | (5 << 6) | 27);
      } else if (cv == "YSI") {
        c.law = [&](double r) { return poly(db.tlm.ysi.data(), 6, r); };
      } else if (cv == "RTD") {
        c.law = [&](double r) { return poly(db.tlm.rtd.data(), 3, r); };
      } else if (cv == "MAG") {
        c.law = [&](double r) { return poly(db.tlm.mag.data(), 6, r); };
      } else if (cv == "LOGT") {
        c.law = [](double r) { return uncompress8(uint8_t(r)) / 65536.0; };
        c.exact = false;
      } else {
        ASSERT_EQ(cv, "LIN") << d.name;
        c.law = [gain, off](double r) { return r * gain + off; };
      }
      if (!c.exact) c.sent = cv == "LOGT" ? 0.004 : wanted(d, c.law, i);
      if (key == "UTCF") c.sent = t - std::floor(t);  // the fraction of the packet time, not settable
      else ASSERT_TRUE(g.setValue(d.name, c.sent)) << d.name;
      checks[key] = c;
      order.push_back(&d);
    }
    // The current monitors' wanted values: inside their bands.
    for (auto* d : order) {
      std::string cv = upper(d->conv);
      if (cv != "UCUR" && cv != "DCUR") continue;
      double v = (*d->limits.yellowLow + *d->limits.yellowHigh) / 2 + 0.4;
      ASSERT_TRUE(g.setValue(d->name, v)) << d->name;
      checks[upper(d->name)] = Check{d->name, nullptr, v, false};
    }
    PacketWriter w;
    g.build(0x200, t, w);
    auto b = [&](int o) { return w.tx[size_t(o ^ 1)]; };  // the station's view: pairs exchanged
    std::map<std::string, double> decoded;
    for (auto* d : order) {
      std::string cv = upper(d->conv);
      if (cv == "UCUR" || cv == "DCUR") continue;
      Check& c = checks[upper(d->name)];
      uint32_t raw = readLe(b, d->offset, d->size);  // the sample clock word too: low byte first
      double got = c.law(raw);
      decoded[upper(d->name)] = got;
      if (c.exact) {
        EXPECT_EQ(raw, uint32_t(c.sent)) << d->name << " spacecraft " << sc;
      } else {
        EXPECT_NEAR(got, c.sent, oneCount(c.law, raw, maxRaw(d->size))) << d->name << " spacecraft " << sc;
      }
    }
    // Currents: I = a x + b V12 - c (VCC1 - V5D), the voltages as the station shows them (two decimals).
    auto shownV = [&](const char* n) {
      auto it = decoded.find(n);
      return it == decoded.end() ? 999999.999999 : std::round(it->second * 100) / 100;
    };
    for (auto* d : order) {
      std::string cv = upper(d->conv);
      if (cv != "UCUR" && cv != "DCUR") continue;
      bool u = cv == "UCUR";
      const double* k = u ? db.tlm.ucur.data() : db.tlm.dcur.data();
      double v12 = shownV(u ? "ISTEU12V" : "IDREVSTE12V");
      double dv = shownV(u ? "ISTEUVCC1" : "IDREVSTEDVCC1") - shownV(u ? "ISTEU5VD" : "IDREVSTED5VD");
      double gain = d->gainA == 0 ? 1 : d->gainA, off = d->offA;
      auto law = [=](double r) { return k[0] * (r * gain + off) + k[1] * v12 - k[2] * dv; };
      uint32_t raw = readLe(b, d->offset, d->size);
      EXPECT_NEAR(law(raw), checks[upper(d->name)].sent, oneCount(law, raw, maxRaw(d->size))) << d->name;
    }
    EXPECT_EQ(checks.size() + 2, seen.size()) << "every item but the checksum and the packet time is checked";
    // Packet time: whole seconds since 1958 (high word at the offset) and the fraction in 1/65536 s.
    for (auto& d : tlm)
      if (upper(d.conv) == "TIME32") {
        uint32_t secs = readLe(b, d.offset, 2) << 16 | readLe(b, d.offset + 2, 2);
        EXPECT_EQ(secs, uint32_t(int64_t(t) + kEpoch1958To1970)) << d.name;
      }
    EXPECT_EQ(sum8(w.tx.data(), kPacketSize), 0) << "spacecraft " << sc;
  }
}

TEST_F(HkItems, EverySepItemComesBackWithinOneCount) {
  const double t = 1.8e9 + 0.5;
  static const char* kSit[8] = {"SIT_HVMon",    "SIT_DTOF_Temp", "SIT_Foil_Temp", "SIT_SSD_Temp",
                                "SIT_P33Mon",   "SIT_P25Mon",    "SIT_P5DMon",    "SIT_P6Mon"};
  for (int sc : {1, 2}) {
    Generator g(db);
    g.spacecraftIndex = sc;
    const int e = sc == 2 ? 2 : 0;  // offset element of the spacecraft, gain at e + 1
    std::set<std::string> seen;
    std::vector<std::pair<const ItemDef*, Check>> checks;
    int leak = 0, i = 0;
    const ItemDef* p6 = nullptr;
    for (auto& d : sep) {
      std::string key = upper(d.name);
      if (!seen.insert(key).second) continue;
      ++i;
      const std::string cv = upper(d.conv);
      if (cv == "CKS" || cv == "TIME32") continue;
      if (cv == "LETLEAK") {
        ++leak;
        continue;
      }
      Check c;
      c.name = d.name;
      double gain = d.gainA == 0 ? 1 : d.gainA, off = d.offA;
      if (cv == "INT" || cv == "HEX8" || cv == "HEX16") {
        c.exact = true;
        c.law = [](double r) { return r; };
        c.sent = double((uint64_t(i) * 2654435761u + 5) % (uint64_t(maxRaw(d.size)) + 1));
      } else if (cv == "HETT") {
        c.law = [gain, off](double r) { return 39.4 * std::tan(0.0085 * (r * gain + off - 116.0)) + 10.0; };
      } else if (cv == "LTP") {
        c.law = [&](double r) { return poly(db.sep.let.data(), 6, r); };
      } else if (cv == "STP") {
        c.law = [&](double r) { return poly(db.sep.sep.data(), 6, r); };
      } else if (cv == "SIT") {
        int grp = -1;
        for (int k = 0; k < 8; ++k)
          if (upper(kSit[k]) == key) grp = k;
        ASSERT_GE(grp, 0) << d.name;
        if (grp == 7) p6 = &d;
        c.law = nullptr;  // needs the decoded +6 V monitor: below
      } else {
        ASSERT_EQ(cv, "LIN") << d.name;
        c.law = [gain, off](double r) { return r * gain + off; };
      }
      if (c.law && !c.exact) c.sent = wanted(d, c.law, i);
      if (!c.law) c.sent = d.limits.yellowLow && d.limits.yellowHigh
                               ? (*d.limits.yellowLow + *d.limits.yellowHigh) / 2 + 0.011
                               : 0.5 * (*d.limits.redHigh);
      if (key == "UTCF") c.sent = t - std::floor(t);  // the fraction of the packet time, not settable
      else ASSERT_TRUE(g.setValue(d.name, c.sent)) << d.name;
      checks.push_back({&d, c});
    }
    ASSERT_NE(p6, nullptr);
    PacketWriter w;
    g.build(0x241, t, w);
    // The station's view: pairs exchanged, and from byte 10 on exchanged back to transmission order.
    auto b = [&](int o) { return o >= 10 ? w.tx[size_t(o)] : w.tx[size_t(o ^ 1)]; };
    auto sitLaw = [&](int grp, double p6v) {
      const auto& s = db.sep.sit[size_t(grp)];
      double gain = s[size_t(e + 1)] == 0 ? 1 : s[size_t(e + 1)], off = s[size_t(e)];
      double corr = grp == 7 ? 0 : (db.sep.vrp6[size_t(e)] - p6v) * db.sep.vrp6[size_t(e + 1)];
      return std::function<double(double)>([=](double r) { return r * gain + off - corr; });
    };
    double p6v = sitLaw(7, 0)(readLe(b, p6->offset, p6->size));
    int n = 0;
    for (auto& [d, c] : checks) {
      std::function<double(double)> law = c.law;
      if (!law)
        for (int k = 0; k < 8; ++k)
          if (upper(kSit[k]) == upper(d->name)) law = sitLaw(k, p6v);
      uint32_t raw = readLe(b, d->offset, d->size);
      if (c.exact) EXPECT_EQ(raw, uint32_t(c.sent)) << d->name << " spacecraft " << sc;
      else EXPECT_NEAR(law(raw), c.sent, oneCount(law, raw, maxRaw(d->size))) << d->name << " spacecraft " << sc;
      ++n;
    }
    EXPECT_EQ(size_t(n + leak + 2), seen.size());
    for (auto& d : sep)
      if (upper(d.conv) == "TIME32") {
        uint32_t secs = readLe(b, d.offset, 2) << 16 | readLe(b, d.offset + 2, 2);
        EXPECT_EQ(secs, uint32_t(int64_t(t) + kEpoch1958To1970)) << d.name;
      }
    EXPECT_GT(leak, 0);
    EXPECT_EQ(sum8(w.tx.data(), kPacketSize), 0);
  }
}
