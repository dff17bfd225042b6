#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "convert.h"
#include "generator.h"
#include "plan.h"
#include "scm_helpers.h"

using namespace mocsim;

namespace {

const char* kTlm =
    "Mnemonic\tSize\tOffset\tType\tBits\tGainA\tOffsetA\tUnit\tRedLow\tYellowLow\tYellowHigh\tRedHigh\tDesc\tConv\tGainB\tOffsetB\n"
    "ICommandCount\t2\t24\tU16\t16\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "ICommandLastID\t1\t26\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "ICommandLastSeq\t1\t27\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "IErrorCode\t1\t21\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "IErrorData\t1\t22\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tINT\t1\t0\n"
    "IErrorCount\t1\t23\tU8\t8\t1\t0\t-\tN\tN\t1\t50\td\tINT\t1\t0\n"
    "IVANTISBitrate\t2\t46\tU16\t16\t8\t0\tbps\tN\tN\t12000\t14000\td\tLIN\t8\t0\n"
    "ISTEUTemp\t2\t92\tU16\t16\tRTD\t0\tC\t-30\t-25\t40\t45\td\tRTD\tRTD\t0\n"
    "IDREVMCPTemp\t2\t122\tU16\t16\tYSI\t0\tC\t-30\t-25\t40\t45\td\tYSI\tYSI\t0\n"
    "ISTEU5VD\t2\t98\tU16\t16\t0.002\t0\tV\t4.6\t4.75\t5.25\t5.4\td\tLIN\t0.002\t0\n"
    "ISTEUVCC1\t2\t100\tU16\t16\t0.001\t0\tV\t1.35\t1.42\t1.58\t1.65\td\tLIN\t0.001\t0\n"
    "ISTEU12V\t2\t104\tU16\t16\t0.004\t0\tV\t11.0\t11.5\t12.5\t13.0\td\tLIN\t0.004\t0\n"
    "ISTEUCur\t2\t106\tU16\t16\t0.05\t0\tmA\t10\t20\t80\t100\td\tUCUR\t0.05\t0\n"
    "PTAC0_TSP\t1\t231\tU8\t8\t0.5\t-40\tC\t-30\t-25\t45\t50\td\tLIN\t0.49\t-39.2\n"
    "Checksum\t1\t270\tU8\t8\t1\t0\t-\tN\tN\tN\tN\td\tCKS\n"
    "Total Bytes\t272\n"
    "(YSI)\nYSI\tlaw\nA\t-55.0\nB\t0.045\nC\t-4.0e-06\nD\t6.5e-10\nE\t1.0e-14\nF\t-5.0e-19\n"
    "RTD\tlaw\nA\t-245.0\nB\t0.2356\nC\t1.0e-06\nR\t1000\n"
    "MAG\tlaw\nA\t-48.5\nB\t0.0392\nC\t0\nD\t0\nE\t0\nF\t0\n"
    "STEUa\tfollow\nUa\t1.0\nUb\t0.35\nUc\t0.8\nDa\t1.0\nDb\t0.35\nDc\t0.8\n";

Databases smallDb() {
  Databases db;
  parseTlm(kTlm, db.tlm, db.notes);
  return db;
}

// The station's reading of a processor item: pairs exchanged, words low byte first.
uint32_t stationRaw(const PacketWriter& w, int off, int size) {
  auto b = [&](int o) { return uint32_t(w.tx[o ^ 1]); };
  return size == 1 ? b(off) : b(off) | (b(off + 1) << 8);
}

}  // namespace

// Every item's round trip through the station files is in test_hk_items.cpp; here only what the
// generator reports about a value it was given.
TEST(MocsimHousekeeping, ShownValueIsWhatThePacketCarries) {
  Databases db = smallDb();
  Generator g(db);
  EXPECT_FALSE(g.setValue("NoSuchItem", 1));
  ASSERT_TRUE(g.setValue("PTAC0_TSP", 20.0));
  g.spacecraftIndex = 2;  // the second coefficient pair of the A/B items
  PacketWriter w;
  g.build(0x200, 1.8e9, w);
  EXPECT_NEAR(g.shownValue("PTAC0_TSP", 1.8e9).value_or(-1), stationRaw(w, 231, 1) * 0.49 - 39.2, 0.005);
}

TEST(MocsimHousekeeping, DefaultsStayInsideTheirLimits) {
  Databases db = smallDb();
  Generator g(db);
  for (double t : {1.8e9, 1.8e9 + 150, 1.8e9 + 300, 1.8e9 + 450}) {
    PacketWriter w;
    g.build(0x200, t, w);
    double rate = stationRaw(w, 46, 2) * 8.0;  // only upper limits: stays well below them
    EXPECT_GT(rate, 0);
    EXPECT_LT(rate, 12000);
    double v5 = stationRaw(w, 98, 2) * 0.002;
    EXPECT_GE(v5, 4.75);
    EXPECT_LE(v5, 5.25);
  }
  std::string why;
  auto beyond = g.valueBeyondLimits("ISTEU12V", why);
  ASSERT_TRUE(beyond);
  EXPECT_GT(*beyond, 13.0);
  EXPECT_FALSE(g.valueBeyondLimits("ICommandCount", why));
}

TEST(MocsimHousekeeping, ExecutedCommandsShowInCountersAndEvents) {
  Databases db = smallDb();
  Generator g(db);
  PacketWriter w;
  g.build(0x200, 1.8e9, w);
  EXPECT_EQ(stationRaw(w, 24, 2), 0u);
  ScmInfo s;
  auto msg = mocsimtest::scm({mocsimtest::telecommand(0x208, 300, {8, 1}), mocsimtest::telecommand(0x200, 5, {1}, true)});
  s = parseScm(msg.data(), msg.size(), false);
  ASSERT_EQ(s.packets.size(), 2u);
  for (auto& p : s.packets) g.execute(p, 1.8e9);
  g.build(0x200, 1.8e9, w);  // same second: the cached packet must not hide the change
  EXPECT_EQ(stationRaw(w, 24, 2), 1u);
  EXPECT_EQ(stationRaw(w, 26, 1), 0x08u);
  EXPECT_EQ(stationRaw(w, 27, 1), 300u & 0xFF);
  EXPECT_EQ(g.commands().rejected, 1u);
  g.build(0x202, 1.8e9, w);
  auto st = [&](int off) { return w.tx[off ^ 1]; };
  EXPECT_EQ(st(14), 2);     // command entry
  EXPECT_EQ(st(16), 0x08);  // command identifier
  EXPECT_EQ(st(22), 1);     // then the refusal (error entry)
  EXPECT_EQ(st(24), 1);     // error code 1 when the error list has no checksum line
  // Entry time, big-endian in transmission order.
  uint32_t secs = uint32_t(w.tx[18] << 24 | w.tx[19] << 16 | w.tx[20] << 8 | w.tx[21]);
  EXPECT_EQ(secs, uint32_t(1.8e9 + kEpoch1958To1970));
}

TEST(MocsimSpacecraft, BitFieldsAsTheDecoderReadsThem) {
  PacketWriter w;
  // bofs 3, numb 5 on byte 0xB6 reads 22 (0x16).
  w.tx[20] = 0xB6;
  EXPECT_EQ(readSpacecraftBits(w, 20, 3, 5).value(), 22u);
  PacketWriter z;
  ASSERT_TRUE(writeSpacecraftBits(z, 20, 3, 5, 22));
  EXPECT_EQ(z.tx[20], 0x16);
  struct C { int ndx, bofs, numb; uint32_t v; };
  for (C c : {C{30, 0, 8, 0xA5}, C{32, 0, 16, 0xBEEF}, C{34, 0, 3, 5}, C{36, 0, 12, 0xABC}, C{40, 2, 10, 0x3FF},
              C{44, 8, 4, 9}, C{46, 10, 5, 17}, C{50, 16, 16, 0x1234}}) {
    PacketWriter p;
    ASSERT_TRUE(writeSpacecraftBits(p, c.ndx, c.bofs, c.numb, c.v)) << c.ndx;
    EXPECT_EQ(readSpacecraftBits(p, c.ndx, c.bofs, c.numb).value(), c.v) << c.ndx;
  }
  EXPECT_FALSE(writeSpacecraftBits(w, 20, 17, 4, 1));
}

TEST(MocsimOptions, OneCommandLineForAnExactSequence) {
  Options o;
  std::string err;
  std::vector<std::string> a = {"--tlm-port", "0",          "--count",     "10000", "--sc",
                                "A",          "--switch-at", "5000",        "--fault",
                                "apid@17=1A3,badck@40,split@60=100+150+48", "--manifest=m.json"};
  ASSERT_TRUE(parseOptions(a, o, err)) << err;
  EXPECT_EQ(o.tlmPort, 0);
  EXPECT_EQ(o.count, 10000);
  EXPECT_EQ(o.switchAt, 5000);
  ASSERT_EQ(o.faults.size(), 3u);
  EXPECT_EQ(o.faults[0].apid, 0x1A3);
  EXPECT_EQ(o.faults[2].pieces, (std::vector<int>{100, 150, 48}));
  EXPECT_EQ(o.manifest, "m.json");
  for (auto bad : {"split@60=100+150", "apid@3=XYZ", "oops@4", "badck@x", "short@5=298", "gap@5=0"}) {
    Options b;
    EXPECT_FALSE(parseOptions({"--fault", bad}, b, err)) << bad;
  }
  Options beyond;
  EXPECT_FALSE(parseOptions({"--count", "10", "--fault", "badck@10"}, beyond, err));
  Options arr;
  ASSERT_TRUE(parseOptions({"--arr", "13", "--arr-plan", "ok,silent,code:7"}, arr, err)) << err;
  EXPECT_EQ(arr.arr.mode, ArrMode::Code);
  EXPECT_EQ(arr.arr.code, 13);
  ASSERT_EQ(arr.arrPlan.size(), 3u);
  EXPECT_EQ(arr.arrPlan[1].mode, ArrMode::Silent);
  EXPECT_EQ(arr.arrPlan[2].code, 7);
  Options late;
  ASSERT_TRUE(parseOptions({"--arr", "13@2.5", "--arr-plan", "delay:1,ok"}, late, err)) << err;
  EXPECT_EQ(late.arr.code, 13);
  EXPECT_DOUBLE_EQ(late.arr.delay, 2.5);
  EXPECT_EQ(late.arrPlan[0].mode, ArrMode::Auto);
  EXPECT_DOUBLE_EQ(late.arrPlan[0].delay, 1.0);
  EXPECT_LT(late.arrPlan[1].delay, 0);  // falls back to --arr-delay
  for (auto bad : {"ok@", "ok@x", "13@-1", "delay:"}) {
    Options b;
    EXPECT_FALSE(parseOptions({"--arr", bad}, b, err)) << bad;
  }
}

TEST(MocsimOptions, ScriptFile) {
  auto path = std::filesystem::temp_directory_path() / ("mocsim_script_" + std::to_string(::getpid()));
  std::ofstream(path) << "# exact run\ncount 100\n--sc B\nfault badck@40 # comment\nfault gap@50=2\nswapped\n";
  Options o;
  std::string err;
  ASSERT_TRUE(parseOptions({"--script", path.string(), "--rate", "0"}, o, err)) << err;
  EXPECT_EQ(o.count, 100);
  EXPECT_EQ(o.spacecraft, 'B');
  EXPECT_TRUE(o.swapped);
  EXPECT_EQ(o.faults.size(), 2u);
  EXPECT_EQ(o.rate, 0);
  std::filesystem::remove(path);
}

TEST(MocsimStream, FaultsSpacecraftSwitchAndManifest) {
  Databases db;
  Generator g(db);
  Options o;
  std::string err;
  ASSERT_TRUE(parseOptions({"--count", "300", "--switch-at", "150", "--start-time", "1800000000", "--fault",
                            "apid@17=1A3,badck@40,gap@100=3,split@60=100+150+48,short@70=10"},
                           o, err))
      << err;
  Stream s(g, o);
  ASSERT_TRUE(s.open(err));
  std::vector<Emitted> out;
  Emitted e;
  while (s.next(e)) out.push_back(e);
  ASSERT_EQ(out.size(), 300u);
  EXPECT_EQ(out[0].rec[6], kSpacecraftA);
  EXPECT_EQ(out[149].rec[6], kSpacecraftA);
  EXPECT_EQ(out[150].rec[6], kSpacecraftB);
  EXPECT_EQ(out[17].apid, 0x1A3);
  EXPECT_EQ(((out[17].rec[26] & 7) << 8) | out[17].rec[27], 0x1A3);
  EXPECT_EQ(out[60].pieces, (std::vector<int>{100, 150, 48}));
  EXPECT_EQ(out[70].length, 10);
  std::map<int, int> last;
  int gaps = 0, badSums = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t* p = out[i].rec.data() + kHeaderSize;
    int apid = ((p[0] & 7) << 8) | p[1], seq = ((p[2] & 0x3F) << 8) | p[3];
    if (apid >= 0x80 && sum8(p, kPacketSize) != 0) {
      ++badSums;
      EXPECT_EQ(i, 40u);
    }
    if (last.count(apid) && seq != (last[apid] + 1) % kSeqModulo) {
      ++gaps;
      EXPECT_EQ(i, 100u);
      EXPECT_EQ(seq, (last[apid] + 4) % kSeqModulo);
    }
    last[apid] = seq;
  }
  EXPECT_EQ(badSums, 1);
  EXPECT_EQ(gaps, 1);
  auto m = s.manifest();
  EXPECT_EQ(m["records"], 300);
  EXPECT_EQ(m["per_class"]["illegal"], 1);
  EXPECT_EQ(m["per_spacecraft"]["A"], 150);
  EXPECT_EQ(m["per_spacecraft"]["B"], 150);
  long total = 0;
  for (auto& [k, v] : m["per_apid"].items()) total += v.get<long>();
  EXPECT_EQ(total, 300);
  EXPECT_EQ(m["bad_checksum_total"], 1);
  EXPECT_EQ(m["faults"].size(), 5u);
  EXPECT_EQ(m["bytes"], 299 * 298 + 10);
}

TEST(MocsimStream, SameOptionsSameBytes) {
  Databases db;
  Generator g1(db), g2(db);
  Options o;
  std::string err;
  ASSERT_TRUE(parseOptions({"--count", "64", "--start-time", "1800000000", "--swapped"}, o, err));
  Stream a(g1, o), b(g2, o);
  Emitted x, y;
  while (a.next(x)) {
    ASSERT_TRUE(b.next(y));
    ASSERT_EQ(x.rec, y.rec);
  }
  // Swapped order: the HK packet's APID sits in the exchanged byte.
  Options tx;
  ASSERT_TRUE(parseOptions({"--count", "1", "--start-time", "1800000000", "--apids", "200"}, tx, err));
  Generator g3(db);
  Stream c(g3, tx);
  ASSERT_TRUE(c.next(x));
  EXPECT_EQ(x.rec[26], 0x0A);
  EXPECT_EQ(x.rec[27], 0x00);
}

TEST(MocsimDumps, SequenceRecordsAreCommandsOfTheList) {
  Databases db;
  db.cmd.lines.assign(16, "header");
  for (auto l : {"IDPUcmd 0x200 ; 0", "IDPUReset IDPUcmd 1 ; 1  H  reset", "STEcmd 0x230 ; 0",
                 "STEMode STEcmd 3 ; 1", "BRMcmd 0x305 ; 0", "BRMPACReset BRMcmd 4 0x000A ; 0"})
    db.cmd.lines.push_back(l);
  for (int i = 0; i < 16; ++i) db.cmd.lines.push_back("trailer");
  Generator g(db);
  PacketWriter w;
  g.build(0x201, 1.8e9, w);  // table block
  EXPECT_EQ(w.tx[11], 1);
  g.build(0x201, 1.8e9, w);
  EXPECT_EQ(w.tx[11], 10);
  g.build(0x201, 1.8e9, w);  // sequences 0 and 1
  ASSERT_EQ(w.tx[11], 32);
  for (int half = 0; half < 2; ++half) {
    int i = 0, records = 0;
    auto b = [&](int k) { return w.tx[(15 + 128 * half + k) ^ 1]; };
    while (i < 128 && b(i) != 0) {
      int id = b(i), n = b(i + 1);
      // 0x30 = STE (0x230), 0x85 = companion 0x305; processor commands (identifier 0) never appear.
      EXPECT_TRUE((id == 0x30 && n == 2 && b(i + 2) == 3) || (id == 0x85 && n == 3 && b(i + 2) == 4)) << id;
      i += 2 + n + (n & 1);
      ++records;
    }
    EXPECT_GT(records, 0);
    EXPECT_LT(i, 128);  // ends with identifier 0 inside the half
  }
}

TEST(MocsimStream, LimitFaultDrivesTheItemBeyondItsLimitFromItsRecordOn) {
  Databases db = smallDb();
  Generator g(db);
  Options o;
  std::string err;
  ASSERT_TRUE(parseOptions({"--count", "6", "--apids", "200", "--step", "1", "--start-time", "1800000000",
                            "--fault", "limit@3=ISTEU12V,limit@5=ISTEUTemp=99"},
                           o, err))
      << err;
  Stream s(g, o);
  Emitted e;
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(s.next(e));
    auto st = [&](int off) { return e.rec[kHeaderSize + (off ^ 1)]; };
    double v12 = (st(104) | st(105) << 8) * 0.004;
    if (i < 3) {
      EXPECT_LE(v12, 12.5) << i;
    } else {
      EXPECT_GT(v12, 13.0) << i;  // beyond the red high limit, and stays there
    }
    double rtd = polyEval(db.tlm.rtd.data(), 3, st(92) | st(93) << 8);
    if (i == 5) EXPECT_NEAR(rtd, 99.0, 0.25);
    else EXPECT_LT(rtd, 40.0);
  }
  auto m = s.manifest();
  ASSERT_EQ(m["faults"].size(), 2u);
  EXPECT_EQ(m["faults"][0]["item"], "ISTEU12V");
  EXPECT_GT(m["faults"][0]["value"].get<double>(), 13.0);
  EXPECT_EQ(m["faults"][1]["value"].get<double>(), 99.0);
}

TEST(MocsimStream, ProcessorErrorFaultSetsCountersAndEvent) {
  Databases db = smallDb();
  Generator g(db);
  Options o;
  std::string err;
  ASSERT_TRUE(parseOptions({"--count", "4", "--apids", "200,202", "--start-time", "1800000000", "--fault",
                            "error@2=9:17"},
                           o, err))
      << err;
  Stream s(g, o);
  Emitted e;
  std::vector<Emitted> out;
  while (s.next(e)) out.push_back(e);
  auto st = [](const Emitted& r, int off) { return r.rec[kHeaderSize + (off ^ 1)]; };
  EXPECT_EQ(st(out[0], 23), 0);  // no error before the fault
  EXPECT_EQ(st(out[2], 21), 9);
  EXPECT_EQ(st(out[2], 22), 17);
  EXPECT_EQ(st(out[2], 23), 1);
  EXPECT_EQ(st(out[3], 14), 1);  // the next event packet carries the error entry
  EXPECT_EQ(st(out[3], 16), 9);
  Options bad;
  EXPECT_FALSE(parseOptions({"--fault", "error@2=300"}, bad, err));
}
