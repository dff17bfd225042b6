#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "telemetry/decode.h"

using namespace korvex;

namespace {

std::string Slurp(const std::string& name) {
  std::ifstream in(std::string(STATION_DIR) + "/database/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct Fixture : ::testing::Test {
  TelemetryDb db;
  ErrDb err;
  CmdDb cmd;
  HkState st;
  HkOut out;
  std::uint8_t p[272] = {};
  void SetUp() override {
    ASSERT_TRUE(LoadTlm("t", Slurp("VANTIS_tlm.txt"), db).ok);
    LoadSeq("s", Slurp("VANTIS_seq.txt"), db);
    LoadTbl("b", Slurp("VANTIS_tbl.txt"), db);
    LoadSpc("c", Slurp("basis.txt"), db);
    LoadBasin("n", Slurp("basin.txt"), db);
    std::vector<std::string> lines;
    std::stringstream ss(Slurp("VANTIS_err.txt"));
    for (std::string l; std::getline(ss, l);) lines.push_back(l);
    ReadErrDb(lines, err);
    ReadCmdDb({}, cmd);
    // Every unit powered and in its normal state.
    p[33] = 0x3F;                 // InterfaceActive: no time-outs, all interfaces active
    put16(34, 0x4402);            // analyzer: AFE on, cover open, ENBDREV
    put16(36, 0x4400);            // STE-U: AFE on, cover open
    p[14] = 20;                   // software version with the extended items
    p[54] = 32;                   // no sequence running
  }
  void put16(int off, unsigned v) {
    p[off] = static_cast<std::uint8_t>(v);
    p[off + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void run(int alim = 0, bool warm = true, int aorb = 1) {
    HkContext ctx{db, st, err, &cmd, aorb, AlarmCfg{alim, warm}, -378691200};
    ExtConvDisplay(p, ctx, out);
  }
  const Shown* find(const std::string& name) const {
    const Shown* last = nullptr;
    for (const Shown& s : out.values)
      if (name == s.name && s.hasText) last = &s;
    return last;
  }
  std::string text(const std::string& name) const {
    const Shown* s = find(name);
    return s ? s->text : "<none>";
  }
  int paint(const std::string& name) const {
    int c = kNoPaint;
    for (const Shown& s : out.values)
      if (name == s.name && s.paint != kNoPaint) c = s.paint;
    return c;
  }
};

}  // namespace

TEST_F(Fixture, ValuesAreFormattedAsTheItemTableSays) {
  put16(104, 3000);   // ISTEU12V, 0.004 V
  put16(100, 1500);   // ISTEUVCC1, 0.001 V
  put16(98, 2500);    // ISTEU5VD, 0.002 V
  put16(106, 800);    // ISTEUCur, x = 800 × 0.05 = 40
  put16(92, 1000);    // ISTEUTemp, RTD
  p[12] = 0x5B;       // ISampleTime
  p[13] = 0xC1;
  put16(40, 0x4000);  // ITimeJitter
  p[42] = 50;         // IVANTIS_SSR, 0.4 %
  put16(46, 1000);    // IVANTISBitrate, 8 bps
  p[231] = 100;       // PTAC0_TSP, 0.5/-40 on A, 0.49/-39.2 on B
  put16(214, 0x1A2B); // PSSD_STATUS
  p[218] = 3;         // PPLUG_ID
  run();
  EXPECT_EQ(text("ISTEU12V"), "12.00 V");
  EXPECT_EQ(text("ISTEUVCC1"), "1.50 V");
  EXPECT_EQ(text("ISTEUCur"), "47.00 MA");  // 40 + 0.35·12 − 0.8·(1.5 − 5)
  EXPECT_EQ(text("ISTEUTemp"), "-8.40 C");   // −245 + 0.2356·1000 + 1e-6·1000²
  EXPECT_EQ(text("ISampleTime"), "12:05:27");
  EXPECT_EQ(db.tlmdb.Value(db.tlmdb.Find("ISampleTime")), "49499");
  EXPECT_EQ(text("ITimeJitter"), "0.250000");
  EXPECT_EQ(text("IVANTIS_SSR"), "20.00 %");
  EXPECT_EQ(text("IVANTISBitrate"), "8000.00 bps");
  EXPECT_EQ(text("PTAC0_TSP"), "10.00 C");
  EXPECT_EQ(text("PSSD_STATUS"), "1A2B");
  EXPECT_EQ(text("PPLUG_ID"), "3");
  EXPECT_EQ(text("ISTEUDig"), "0x4400");
  EXPECT_EQ(text("ISTEUDig Cover"), "OPEN");
  EXPECT_EQ(text("ICmdSeqRunning"), kNoSeqRunning);
  EXPECT_DOUBLE_EQ(GetValue(db, "ISTEUCur"), 47);
  EXPECT_DOUBLE_EQ(GetValue(db, "IVANTIS_SSR"), 20);
  EXPECT_EQ(st.uap, 3);
  EXPECT_EQ(st.dap, 3);
  EXPECT_EQ(st.vp, 1);
  run(0, true, 2);
  EXPECT_EQ(text("PTAC0_TSP"), "9.80 C");
  EXPECT_TRUE(out.missing.empty());
}

TEST_F(Fixture, SoftwareVersionGatesTheNewerItems) {
  p[54] = 7;
  run();
  EXPECT_EQ(text("ICmdSeqRunning"), "MAGCalibrate");
  EXPECT_NE(find("IBurstModeID"), nullptr);
  EXPECT_TRUE(out.seqMaskValid);
  p[14] = 19;
  run();
  EXPECT_EQ(find("ICmdSeqRunning"), nullptr);
  EXPECT_EQ(find("IBurstModeID"), nullptr);
  EXPECT_EQ(find("IAutoLUT"), nullptr);
  EXPECT_FALSE(out.seqMaskValid);
  EXPECT_EQ(text("ISoftwareVersion"), "19");
  p[14] = 20;
  p[54] = 40;
  put16(56, 0x0081);
  put16(58, 0x8000);
  run();
  EXPECT_EQ(text("ICmdSeqRunning"), "40");
  EXPECT_EQ(text("ICmdSeqMask"), "0x80000081");
  EXPECT_EQ(out.seqMask, 0x80000081u);
}

TEST_F(Fixture, LimitsAlarmOnceAndUnpoweredUnitsAreNotChecked) {
  put16(104, 2000);  // ISTEU12V = 8 V, below RL 11
  for (int i = 0; i < 3; ++i) run(2);
  EXPECT_EQ(paint("ISTEU12V"), kRedBg);
  int n = 0;
  for (const AlarmLine& a : out.alarms)
    if (a.text == "ISTEU12V = 8.00 RL = 11.00") ++n;
  EXPECT_EQ(n, 1);
  run(2);
  for (const AlarmLine& a : out.alarms) EXPECT_EQ(a.text.find("ISTEU12V"), std::string::npos);

  // STE-U front end off: its values are shown but painted as unchecked.
  put16(36, 0x0400);
  HkState fresh;
  st = fresh;
  for (int i = 0; i < 5; ++i) run(2);
  EXPECT_EQ(text("ISTEU12V"), "8.00 V");
  EXPECT_EQ(paint("ISTEU12V"), kUnpowered);
  EXPECT_EQ(st.uap, 1);
  for (const AlarmLine& a : out.alarms) EXPECT_EQ(a.text.find("ISTEU12V"), std::string::npos);
}

TEST_F(Fixture, DigitalChecksPowerFlagsAndWordColour) {
  p[33] = 0x3E;  // magnetometer interface inactive
  run(1);
  EXPECT_EQ(st.hk, 0);
  run(1);  // second abnormal sample: raised
  bool raised = false;
  for (const AlarmLine& a : out.alarms)
    if (a.text == "MAG Instrument Interface  0") raised = !a.red;
  EXPECT_TRUE(raised);
  EXPECT_EQ(paint("MAG Instrument Interface"), kYellowBg);
  EXPECT_EQ(paint("InterfaceActive"), kYellowBg);
  p[33] = 0x3F;
  run(1);
  EXPECT_EQ(st.hk, 1);
  EXPECT_EQ(paint("InterfaceActive"), kWhite);
  // A red and a yellow check on one word: the word is red.
  put16(36, 0xC400);  // CPE error (red) with the front end on
  p[36] |= 0x80;      // and ANORM (yellow): position 8 is bit 7 of the word's low byte
  run(0);
  EXPECT_EQ(paint("ISTEUDig"), kRedBg);
  // During the warm-up nothing is raised and nothing painted.
  HkState fresh;
  st = fresh;
  run(0, false);
  EXPECT_TRUE(out.alarms.empty());
  EXPECT_EQ(paint("ISTEUDig"), kNoPaint);
}

TEST_F(Fixture, MissingItemsAndOffsetsOutsideThePacket) {
  TelemetryDb small;
  small.tlmdb.Append("ISTEU12V\t2\t271\tU16\t16\t0.004\t0\tV\t11\t11.5\t12.5\t13");
  small.tlmdb.Append("InterfaceActive\t1\t33\tBITS8\t8\t1\t0\t-\tN\tN\tN\tN");
  HkContext ctx{small, st, err, nullptr, 1, AlarmCfg{0, true}, 0};
  ExtConvDisplay(p, ctx, out);
  EXPECT_EQ(find("ISTEU12V"), nullptr);  // its word would end past the packet
  EXPECT_NE(find("InterfaceActive"), nullptr);
  bool named = false;
  for (const std::string& m : out.missing) named |= m == "ISTEUCur";
  EXPECT_TRUE(named);
  std::size_t first = out.missing.size();
  ExtConvDisplay(p, ctx, out);
  EXPECT_EQ(out.missing.size(), 0u);  // each missing item is reported once
  EXPECT_GT(first, 100u);
}

TEST_F(Fixture, ErrorItemsAndCommandCounters) {
  p[21] = 5;
  p[22] = 9;
  p[23] = 1;
  put16(24, 300);
  p[26] = 0x05;
  p[27] = 77;
  run();
  EXPECT_NE(text("Error Text").find(" 5 "), std::string::npos);
  EXPECT_EQ(text("ICommandCount"), "300");
  EXPECT_EQ(text("Last Command"), kCantFindApid);
  EXPECT_TRUE(out.cmdVerDue);
  EXPECT_EQ(st.cmdcount, 300);
  EXPECT_EQ(st.cmdlid, 5);
  EXPECT_EQ(st.cmdLastSeq, 77);
  p[23] = 0;
  run();
  EXPECT_EQ(text("Error Text"), "");
  EXPECT_EQ(paint("IErrorCount"), kWhite);
}

TEST_F(Fixture, TableAndMemoryDumps) {
  std::uint8_t d[272] = {};
  d[6] = 0x00, d[7] = 0x00, d[8] = 0x01, d[9] = 0x00;  // 256 s, transmission order after the swap
  std::swap(d[6], d[7]);
  std::swap(d[8], d[9]);
  d[11] = 0x01;  // table 1 (byte 10 after the swap)
  std::swap(d[10], d[11]);
  for (int i = 0; i < 16; ++i) d[15 + i] = static_cast<std::uint8_t>(i + 1);
  DumpState ds;
  DumpOut o = TableDump(d, db, ds, 1, 0);
  EXPECT_EQ(o.id, 1);
  EXPECT_EQ(o.time.substr(0, 24), "Thu Jan  1 00:04:16 1970");
  ASSERT_FALSE(o.entries.empty());
  std::map<int, std::uint32_t> t1;
  for (auto& e : o.entries)
    if (e.panel == 0) t1[e.control] = e.value;
  EXPECT_EQ(t1[11], 1u);       // SysTlmMode, offset 0, one byte
  EXPECT_EQ(t1[9], 0x0403u);   // SysPollPeriod, offset 2, two bytes low first
  // The last line of the table shows the sum of the bytes read for it.
  unsigned sum = 0;
  for (int k = 0; k < db.count[1] - 1; ++k) {
    auto f = TableLine(db, 1, k);
    int off = std::atoi((*f)[0].c_str()), size = std::atoi((*f)[1].c_str());
    for (int b = 0; b < size; ++b) sum += d[15 + off + b];
  }
  EXPECT_EQ(t1[11 - db.count[1] + 1], sum & 0xFF);
  // Tables 2 .. 8 follow in the same packet.
  bool table8 = false;
  for (auto& e : o.entries) table8 |= e.panel == 5;
  EXPECT_TRUE(table8);

  // Table 10: its first 14 lines on the panel, none of them the sum line.
  d[10] = 0;
  d[11] = 10;
  o = TableDump(d, db, ds, 0, 0);
  ASSERT_EQ(o.entries.size(), static_cast<std::size_t>(kTable10Shown));
  auto l13 = TableLine(db, 10, 13);
  int off13 = std::atoi((*l13)[0].c_str());
  EXPECT_EQ(o.entries.back().control, 257);
  EXPECT_EQ(o.entries.back().value & 0xFF, d[15 + off13]);

  d[11] = 16;  // id 16 without the swap: offsets run on over four packets
  o = TableDump(d, db, ds, 0, 0);
  ASSERT_EQ(o.lines.size(), 17u);
  EXPECT_EQ(o.lines[1].substr(0, 4), "000 ");
  o = TableDump(d, db, ds, 0, 0);
  EXPECT_EQ(o.lines[1].substr(0, 4), "100 ");
  TableDump(d, db, ds, 0, 0);
  TableDump(d, db, ds, 0, 0);
  o = TableDump(d, db, ds, 0, 0);
  EXPECT_EQ(o.lines[1].substr(0, 4), "000 ");
  d[11] = 0;   // memory page with page and address
  d[12] = 3;
  d[13] = 0x34;
  d[14] = 0xC2;
  d[16] = 0xAB;
  o = TableDump(d, db, ds, 0, 0);
  EXPECT_NE(o.lines[0].find(" Page:3 Adr:" + std::to_string(0x0234)), std::string::npos);
  EXPECT_EQ(o.lines[1].substr(0, 7), "000 AB ");
  EXPECT_EQ(o.lines[16].size(), 4u + 16 * 3);
  d[11] = 33;  // sequences 1 and 2
  o = TableDump(d, db, ds, 0, 0);
  ASSERT_EQ(o.sequences.size(), 2u);
  EXPECT_EQ(o.sequences[1].number, 2);
  EXPECT_EQ(o.sequences[0].lines.size(), 8u);
}

TEST_F(Fixture, SpacecraftByLabel) {
  std::uint8_t s[272] = {};
  s[12] = 0x6D, s[13] = 0x60;  // 28000 × 0.001 = 28 V
  s[24] = 0x80;                // IDPU power request
  s[25] = 0x40;                // PDU status 4
  SpcAlarms alarms{};
  std::vector<SpcOut> out;
  std::vector<AlarmLine> logs;
  ReadByLabel(s, "_00B", db, alarms, AlarmCfg{0, true}, out, logs);
  std::map<std::pair<int, int>, std::string> shown;
  for (auto& o : out) shown[{o.panel, o.control}] = o.text;
  EXPECT_EQ((shown[{0, 18}]), "28 V");          // label 1 of panel 1
  EXPECT_EQ((shown[{0, 12}]), "REQUEST PWR ON");  // SC_ST_IDPU_PWR
  EXPECT_EQ((shown[{0, 5}]), "NO_RESPONSE");    // SC_PDU_STAT
  EXPECT_TRUE(logs.empty());
  s[12] = 0x5D, s[13] = 0xC0;  // 24 V: red low
  ReadByLabel(s, "_00B", db, alarms, AlarmCfg{0, true}, out, logs);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "SC_PDU_MAIN_00B = 24 V; rl =24.0");
  // An APID whose items are not in the table updates nothing.
  ReadByLabel(s, "_0FF", db, alarms, AlarmCfg{0, true}, out, logs);
  EXPECT_TRUE(out.empty());
  EXPECT_STREQ(SpcSuffix(0x01E), "_01E");
  EXPECT_EQ(SpcSuffix(0x200), nullptr);
}
