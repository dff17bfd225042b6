#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "telemetry/dbslots.h"

using namespace korvex;

namespace {

std::string Slurp(const std::string& name) {
  std::ifstream in(std::string(STATION_DIR) + "/database/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// A processor file with every block, the mask names padded past byte 22000.
std::string TlmFile(bool withTotal = true, const std::string& dropMarker = "") {
  std::vector<std::string> l = {"title", "Alpha\t2\t10\tU16\t16\t0.5\t1\tV\tN\tN\tN\tN\tfirst",
                                "AlphaBeta\t2\t12\tU16\t16\t2\t0\tV\tN\tN\tN\tN\tsecond"};
  if (withTotal) l.push_back("Total Bytes\t272");
  auto add = [&](const std::string& marker, std::vector<std::string> body) {
    if (marker != dropMarker) l.push_back(marker);
    for (auto& b : body) l.push_back(b);
  };
  add("law (YSI bead)", {"YSI\tformula", "A\t1.5\tc", "B\t2\tc", "C\t3\tc", "D\t4\tc", "E\t5\tc",
                         "F\t6\tc"});
  add("RTD\tlaw", {"A\t-245\tc", "B\t0.25\tc", "C\t1e-6\tc", "R\t1000\tunused"});
  add("MAG\tlaw", {"A\t-48.5\tc", "B\t0.04\tc", "C\t0\tc", "D\t0\tc", "E\t0\tc", "F\t7e-19\tc"});
  add("STEUa marker", {"Ua\t1.0\tc", "Ub\t0.35\tc", "Uc\t0.8\tc", "Da\t1.1\tc", "Db\t0.36\tc",
                       "Dc\t0.9\tc"});
  std::string s = Join(l);
  while (s.size() < kMaskSearchFrom + 10) s += "Note\tfiller line that keeps the mask names late\n";
  if (dropMarker != "IDPUPwrWarn") {
    s += "ICmdSeqMask\tBit\t0\tIDPUPwrWarn\tfirst\n";
    for (int b = 1; b < 32; ++b) s += "Bit\t" + std::to_string(b) + "\tName" + std::to_string(b) + "\tx\n";
  }
  return s;
}

}  // namespace

TEST(LoadTlm, SampleFileGivesItemsCoefficientsAndMaskNames) {
  TelemetryDb db;
  LoadResult r = LoadTlm("VANTIS_tlm.txt", Slurp("VANTIS_tlm.txt"), db);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_TRUE(r.notes.empty());
  EXPECT_EQ(db.tlmdb.count(), 146);
  EXPECT_DOUBLE_EQ(db.coeff.y[0], -55.0);
  EXPECT_DOUBLE_EQ(db.coeff.y[5], -5.0e-19);
  EXPECT_DOUBLE_EQ(db.coeff.r[1], 0.2356);
  EXPECT_DOUBLE_EQ(db.coeff.m[5], 1.0e-19);
  EXPECT_DOUBLE_EQ(db.coeff.u[1], 0.35);
  EXPECT_DOUBLE_EQ(db.coeff.d[2], 0.8);
  EXPECT_EQ(db.cdsqmk[0], "IDPUPwrWarn");
  EXPECT_EQ(db.cdsqmk[7], "MAGCalibrate");
  EXPECT_EQ(db.cdsqmk[31], "SeqSpare31");
}

TEST(LoadTlm, EachBlockFailsWithItsMessage) {
  TelemetryDb db;
  LoadResult r = LoadTlm("t", TlmFile(), db);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(db.tlmdb.count(), 3);
  EXPECT_DOUBLE_EQ(db.coeff.y[0], 1.5);
  EXPECT_DOUBLE_EQ(db.coeff.y[5], 6);
  EXPECT_DOUBLE_EQ(db.coeff.r[2], 1e-6);
  EXPECT_DOUBLE_EQ(db.coeff.m[5], 7e-19);
  EXPECT_DOUBLE_EQ(db.coeff.d[0], 1.1);
  EXPECT_EQ(db.cdsqmk[5], "Name5");

  // No "Total Bytes": every line is an item line and the thermistor search fails.
  r = LoadTlm("t", TlmFile(false), db);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.title, kVantisDbTitle);
  EXPECT_EQ(r.message, kYsiFailed);
  EXPECT_GT(db.tlmdb.count(), 3);

  struct Case {
    const char* marker;
    const char* message;
  } cases[] = {{"law (YSI bead)", kYsiFailed}, {"RTD\tlaw", kRtdFailed}, {"MAG\tlaw", kMagFailed},
               {"STEUa marker", kCurFailed}, {"IDPUPwrWarn", kMaskFailed}};
  for (const Case& c : cases) {
    r = LoadTlm("t", TlmFile(true, c.marker), db);
    // The YSI block still finds "YSI" in the line after its heading; drop that too.
    if (std::string(c.marker) == "law (YSI bead)") {
      std::string f = TlmFile(true, c.marker);
      f.replace(f.find("YSI\tformula"), 3, "xxx");
      r = LoadTlm("t", f, db);
    }
    EXPECT_FALSE(r.ok) << c.marker;
    EXPECT_EQ(r.message, c.message) << c.marker;
  }
  // The mask names must lie beyond byte 22000.
  std::string small = Join({"a", "Total Bytes", "YSI", "x", "A\t1", "B\t1", "C\t1", "D\t1", "E\t1",
                            "F\t1", "RTD", "A\t1", "B\t1", "C\t1", "R\t1", "MAG", "A\t1", "B\t1",
                            "C\t1", "D\t1", "E\t1", "F\t1", "STEUa", "a\t1", "b\t1", "c\t1",
                            "d\t1", "e\t1", "f\t1", "ICmdSeqMask\tBit\t0\tIDPUPwrWarn"});
  r = LoadTlm("t", small, db);
  EXPECT_EQ(r.message, kMaskFailed);
}

TEST(LoadTlm, OverlongAndSurplusLinesAreNotedAndBounded) {
  std::vector<std::string> l(360, "Item\t1\t0");
  l[1] = std::string(400, 'x');
  TelemetryDb db;
  LoadResult r = LoadTlm("VANTIS_tlm.txt", Join(l), db);
  EXPECT_FALSE(r.ok);  // no blocks at all
  EXPECT_EQ(db.tlmdb.count(), kTlmSlots);
  EXPECT_EQ(std::string(db.tlmdb.slot(1).text).size(), kSlotTextMax);
  EXPECT_EQ(db.tlmdb.slot(1).alarm, 0);
  EXPECT_EQ(db.tlmdb.slot(1).value[0], 0);
  ASSERT_GE(r.notes.size(), 11u);
  EXPECT_EQ(r.notes[0].file, "VANTIS_tlm.txt");
  EXPECT_EQ(r.notes[0].line, 2);
  EXPECT_EQ(r.notes[1].line, 351);
}

TEST(SlotTable, FirstLineInFileOrderCaseBlindAndRemembered) {
  SlotTable t(10);
  t.Append("ISTEUTempLong\t2\t4");
  t.Append("ISTEUTemp\t2\t6");
  t.Append("other");
  EXPECT_EQ(t.Find("isteutemp"), 0);  // a longer name that begins with it comes first
  EXPECT_EQ(t.Find("ISTEUTEMP"), 0);
  EXPECT_EQ(t.Find("missing"), -1);
  EXPECT_EQ(t.Find("OTHER"), 2);
  t.SetValue(1, "123456789012345");
  EXPECT_EQ(t.Value(1), "123456789012");
  // A slot written again is searched anew.
  t.Put(0, "renamed");
  t.SetCount(3);
  EXPECT_EQ(t.Find("ISTEUTemp"), 1);
}

TEST(SplitItemLine, GainOfZeroOrEmptyReadsAsOne) {
  ItemLine a = SplitItemLine("X\t2\t40\tU16\t16\t\t3\tV\t1\t2\t3\t4\td\tLIN\t0\t5");
  EXPECT_EQ(a.offset, 40);
  EXPECT_EQ(a.db[5], "1");
  EXPECT_DOUBLE_EQ(a.gainA, 1);
  EXPECT_DOUBLE_EQ(a.offA, 3);
  EXPECT_DOUBLE_EQ(a.gainB, 1);
  EXPECT_DOUBLE_EQ(a.offB, 5);
  ItemLine b = SplitItemLine("X\t2\t40\tU16\t16\tYSI\t0");
  EXPECT_DOUBLE_EQ(b.gainA, 1);
  EXPECT_EQ(b.db[11], "");
  ItemLine c = SplitItemLine("X\t2\t40\tU16\t16\t0.25\t0");
  EXPECT_DOUBLE_EQ(c.gainA, 0.25);
}

TEST(LoadTbl, HeadersCountsBlankLinesAndDroppedLines) {
  std::string f = Join({"preamble", "ALPHA TABLE (ID=1)", "Offset\tSize\tName\tRange\tDefault",
                        "0\t1\tA0\t0-3\t1Fh\tfirst", "1\t1\tA1\tr\t02h\td", "",
                        "\tempty looking line", ".dot line", "2\t1\tspare one", "3\t1\tspare Conflict#",
                        "4\t1\tSpare PAC_DIS", "5\t1\tSparem", "6\t1\tsum",
                        "BETA TABLE (ID = 3)", "titles", "0\t2\tB0\tr\t1234h\td",
                        "END OF TABLES (ID=16)", "0\t1\tafter\tr\t0h"});
  TelemetryDb db;
  LoadResult r = LoadTbl("VANTIS_tbl.txt", f, db);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.notes.empty());
  // Table 1: header, title, A0, A1, blank, Conflict#, PAC_DIS, sum.
  EXPECT_EQ(db.count[1], 6);
  EXPECT_EQ(db.tbldx[1], 2);
  EXPECT_EQ(db.count[3], 1);
  EXPECT_EQ(db.tbldx[3], 10);
  EXPECT_EQ(db.tbldb.text(4), "");
  auto line = TableLine(db, 1, 0);
  ASSERT_TRUE(line);
  EXPECT_EQ((*line)[2], "A0");
  EXPECT_EQ((*line)[4], "0x1F");
  EXPECT_EQ((*line)[5], "first");
  EXPECT_EQ((*TableLine(db, 3, 0))[4], "0x1234");
  EXPECT_FALSE(TableLine(db, 3, 1));  // past the table area
  EXPECT_FALSE(TableLine(db, 7, 0));

  // Five data lines after header and title, the next header right after: count 5.
  f = Join({"SYS TABLE (ID=1)", "t", "a", "b", "c", "d", "e", "X (ID=2)", "t", "z",
            "(ID=16)"});
  LoadTbl("t", f, db);
  EXPECT_EQ(db.count[1], 5);
  EXPECT_EQ(db.tbldx[1], 2);
  EXPECT_EQ(db.tbldb.text(db.tbldx[1]), "a");
  EXPECT_EQ(db.count[2], 1);

  // No end line and an id beyond the tables: both noted, nothing overruns.
  f = Join({"SYS TABLE (ID=1)", "t", "a", "BIG TABLE (ID=77)", "t", "b"});
  r = LoadTbl("VANTIS_tbl.txt", f, db);
  EXPECT_EQ(db.count[1], 1);
  ASSERT_EQ(r.notes.size(), 3u);
  EXPECT_EQ(r.notes[0].line, 4);
}

TEST(LoadTbl, SampleFileCounts) {
  TelemetryDb db;
  LoadResult r = LoadTbl("VANTIS_tbl.txt", Slurp("VANTIS_tbl.txt"), db);
  EXPECT_TRUE(r.notes.empty());
  const int want[] = {10, 8, 20, 25, 22, 4, 4, 22, 3, 20, 3};
  for (int id = 1; id <= 11; ++id) EXPECT_EQ(db.count[id], want[id - 1]) << "table " << id;
  auto labels = TableLabels(db);
  ASSERT_EQ(labels.size(), 10u + 8 + 20 + 25 + 22 + 22 + 14);
  EXPECT_EQ(labels[0].control, 11);
  EXPECT_EQ(labels[0].text, "SysTlmMode");
  EXPECT_EQ(labels.back().panel, 6);
  EXPECT_EQ(labels.back().control, 257);
}

TEST(LoadSeqSepBrmSpc, SampleFiles) {
  TelemetryDb db;
  EXPECT_TRUE(LoadSeq("s", Slurp("VANTIS_seq.txt"), db).notes.empty());
  EXPECT_EQ(db.seqdb.count(), 32);
  EXPECT_EQ(db.seqdb.text(0).substr(0, 2), "0\t");
  EXPECT_EQ(db.seqdb.text(31).substr(0, 3), "31\t");

  LoadResult r = LoadSep("s", Slurp("sep_hkg.txt"), db);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_DOUBLE_EQ(db.sepCoeff.l[0], -40.0);
  EXPECT_DOUBLE_EQ(db.sepCoeff.l[2], -8.0e-04);
  EXPECT_DOUBLE_EQ(db.sepCoeff.l[5], -5.0e-13);
  EXPECT_DOUBLE_EQ(db.sepCoeff.s[1], 0.65);
  EXPECT_DOUBLE_EQ(db.sepCoeff.sit[0][3], 29.6);
  EXPECT_DOUBLE_EQ(db.sepCoeff.sit[7][3], 0.0298);
  EXPECT_DOUBLE_EQ(db.sepCoeff.vrp6[1], 0.1);

  r = LoadBrm("b", Slurp("BRIMLET_dhk.txt"), db);
  ASSERT_TRUE(r.notes.empty());
  ASSERT_FALSE(db.brmItemLines.empty());
  EXPECT_EQ(db.brmCount, db.brmItemLines.back());
  EXPECT_EQ(db.brmdb.text(db.brmCount).substr(0, 4), "CEND");
  EXPECT_GE(db.brmdb.Find("PST_MODE"), 0);
  EXPECT_EQ(db.brmdb.Find("CEND"), -1);  // the closing line is not searched
  EXPECT_EQ(db.brmdb.Find("Offset"), -1);  // neither are the header lines after slot 0

  EXPECT_TRUE(LoadSpc("s", Slurp("basis.txt"), db).notes.empty());
  EXPECT_EQ(db.spcdb.count(), 85);
  EXPECT_TRUE(LoadBasin("n", Slurp("basin.txt"), db).notes.empty());
  EXPECT_EQ(db.spcLabels[0].size(), 17u);
  EXPECT_EQ(db.spcLabels[2].size(), 12u);
  EXPECT_EQ(db.spcLabels[0][0].find('\n'), std::string::npos);
}

TEST(LoadSep, MissingBlockMessages) {
  std::string f = Slurp("sep_hkg.txt");
  TelemetryDb db;
  for (auto [marker, msg] : {std::pair{"N_LET_Temp0", kLetFailed},
                             std::pair{"N_SEP_APRBTemp", kSepTempFailed},
                             std::pair{"N_SIT_HVMon", kSitFailed}}) {
    std::string g = f;
    g.replace(g.find(marker), 3, "Q__");
    LoadResult r = LoadSep("s", g, db);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, kSepDbTitle);
    EXPECT_EQ(r.message, msg);
  }
}

TEST(Lookups, GetValueSearchesTheTablesInOrder) {
  TelemetryDb db;
  db.tlmdb.Append("Volt\t2\t10");
  db.sepdb.Append("Volt2\t1\t3");
  db.sepdb.Append("SepOnly\t1\t3");
  db.brmdb.Append("header");
  db.brmdb.Append("PBrm\t1\t4");
  db.brmdb.Append("CEND");
  db.brmdb.SetSearchOrder({0, 1});
  db.tlmdb.SetValue(0, "12.50");
  db.sepdb.SetValue(0, "99");
  db.sepdb.SetValue(1, "-3.25");
  db.brmdb.SetValue(1, "7");
  EXPECT_DOUBLE_EQ(GetValue(db, "volt"), 12.5);
  EXPECT_DOUBLE_EQ(GetValue(db, "Volt2"), 99);
  EXPECT_DOUBLE_EQ(GetValue(db, "SEPONLY"), -3.25);
  EXPECT_DOUBLE_EQ(GetValue(db, "PBrm"), 7);
  EXPECT_DOUBLE_EQ(GetValue(db, "CEND"), kNotFound);
  EXPECT_DOUBLE_EQ(GetValue(db, "nowhere"), 999999.999999);
  ASSERT_NE(GetAlarmCtr(db, "SepOnly"), nullptr);
  EXPECT_EQ(GetAlarmCtr(db, "SepOnly"), &db.sepdb.slot(1).alarm);
  EXPECT_EQ(GetAlarmCtr(db, "nowhere"), nullptr);
}
