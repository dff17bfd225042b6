#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "database.h"

using namespace mocsim;

namespace {
const char* kTlm =
    "Title line\n"
    "Mnemonic\tSize\tOffset\tType\tBits\tGainA\tOffsetA\tUnit\tRedLow\tYellowLow\tYellowHigh\tRedHigh\tDescription\tConv\n"
    "ISTEU12V\t2\t104\tU16\t16\t0.004\t0\tV\t11.0\t11.5\t12.5\t13.0\tSTE-U 12 V\tLIN\t0.004\t0\n"
    "IGainZero\t2\t40\tU16\t16\t0\t1.5\tV\tN\t\tnone\t5\tzero gain\tLIN\n"
    "Total Bytes\t272\n"
    "Thermistor law (YSI bead)\n"
    "YSI\tT = A + B*c ...\n"
    "A\t-55.0\tconstant\n"
    "B\t0.045\tlinear\n"
    "C\t-4.0e-06\tsquare\n"
    "D\t6.5e-10\tcubic\n"
    "E\t1.0e-14\tfourth\n"
    "F\t-5.0e-19\tfifth\n"
    "RTD\tT = A + B*c + C*c^2\n"
    "A\t-245.0\tx\n"
    "B\t0.2356\tx\n"
    "C\t1.0e-06\tx\n"
    "R\t1000.0\tinformative\n"
    "MAG\tlaw\n"
    "A\t-48.5\tx\nB\t0.0392\tx\nC\t-1.9e-06\tx\nD\t4.1e-10\tx\nE\t-3.0e-14\tx\nF\t1.0e-19\tx\n"
    "STEUa STEUb STEUc then STEDa\tfollow\n"
    "Ua\t1.0\tx\nUb\t0.35\tx\nUc\t0.8\tx\nDa\t1.1\tx\nDb\t0.36\tx\nDc\t0.9\tx\n";
}  // namespace

TEST(MocsimDatabase, TelemetryFileItemsAndSensorBlocks) {
  TlmDatabase db;
  std::vector<std::string> notes;
  parseTlm(kTlm, db, notes);
  EXPECT_TRUE(db.coefficients) << (notes.empty() ? "" : notes[0]);
  ASSERT_EQ(db.items.lines.size(), 4u);  // up to, not including, "Total Bytes"
  // The caption line holds the YSI marker; the line after it is skipped.
  EXPECT_DOUBLE_EQ(db.ysi[0], -55.0);
  EXPECT_DOUBLE_EQ(db.ysi[5], -5.0e-19);
  EXPECT_DOUBLE_EQ(db.rtd[1], 0.2356);
  EXPECT_DOUBLE_EQ(db.mag[2], -1.9e-06);
  EXPECT_DOUBLE_EQ(db.ucur[1], 0.35);
  EXPECT_DOUBLE_EQ(db.dcur[0], 1.1);
  EXPECT_DOUBLE_EQ(db.dcur[2], 0.9);
  EXPECT_EQ(db.items.find("isteu12v"), 2);
  EXPECT_EQ(db.items.find("NoSuchItem"), -1);
}

TEST(MocsimDatabase, MissingBlockIsReportedNotGuessed) {
  TlmDatabase db;
  std::vector<std::string> notes;
  parseTlm("ISTEU12V\t2\t104\n", db, notes);  // no "Total Bytes"
  EXPECT_FALSE(db.coefficients);
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(db.items.lines.size(), 1u);
}

TEST(MocsimDatabase, ItemFields) {
  ItemDef d = parseItem("ISTEU12V\t2\t104\tU16\t16\t0.004\t0\tV\t11.0\t11.5\t12.5\t13.0\tdesc\tLIN\t0.005\t0.1");
  EXPECT_EQ(d.name, "ISTEU12V");
  EXPECT_EQ(d.size, 2);
  EXPECT_EQ(d.offset, 104);
  EXPECT_DOUBLE_EQ(d.gainA, 0.004);
  EXPECT_DOUBLE_EQ(*d.limits.redHigh, 13.0);
  EXPECT_DOUBLE_EQ(*d.limits.yellowLow, 11.5);
  EXPECT_EQ(d.conv, "LIN");
  EXPECT_DOUBLE_EQ(d.gainB, 0.005);
  EXPECT_DOUBLE_EQ(d.offB, 0.1);
  ItemDef z = parseItem("IGainZero\t1\t040\tU8\t8\t0\t1.5\tV\tN\t\tnone\t5");
  EXPECT_DOUBLE_EQ(z.gainA, 1.0);  // a zero gain converts as 1
  EXPECT_EQ(z.offset, 40);         // decimal even with a leading zero
  EXPECT_EQ(z.size, 1);
  EXPECT_FALSE(z.limits.redLow);
  EXPECT_FALSE(z.limits.yellowLow);
  EXPECT_FALSE(z.limits.yellowHigh);
  EXPECT_DOUBLE_EQ(*z.limits.redHigh, 5.0);
}

TEST(MocsimDatabase, SepSensorBlocks) {
  std::string t =
      "SEPTNS_Temp\t1\t12\tU8\t8\t0.5\t-40\n"
      "Total Bytes\t272\n"
      "N_LET_Temp0\tlaw\n"
      "LET\tA\t-40.0\tc\nLET\tB\t0.6\tc\nLET\tC\t-8.0e-04\tc\nD\t1.0e-06\tc\nE\t1.0e-10\tc\nF\t-5.0e-13\tc\n"
      "N_SEP_APRBTemp\tlaw\n"
      "SEP\tA\t-45.0\tc\nSEP\tB\t0.65\tc\nSEP\tC\t-9.0e-04\tc\nD\t1.1e-06\tc\nE\t1.0e-10\tc\nF\t-5.0e-13\tc\n"
      "N_SIT_HVMon\t0.0\t30.0\t0.0\t29.6\tx\n"
      "N_SIT_DTOF_Temp\t-40.0\t0.5\t-40.5\t0.5\tx\n"
      "N_SIT_Foil_Temp\t-40.0\t0.5\t-39.5\t0.5\tx\n"
      "N_SIT_SSD_Temp\t-40.0\t0.5\t-40.2\t0.5\tx\n"
      "N_SIT_P33Mon\t0.0\t0.02\t0.0\t0.0201\tx\n"
      "N_SIT_P25Mon\t0.0\t0.015\t0.0\t0.0151\tx\n"
      "N_SIT_P5DMon\t0.0\t0.03\t0.0\t0.0302\tx\n"
      "N_SIT_P6Mon\t0.0\t0.03\t0.0\t0.0298\tx\n"
      "6.0\t0.1\t6.1\t0.2\tref\n";
  SepDatabase db;
  std::vector<std::string> notes;
  parseSep(t, db, notes);
  ASSERT_TRUE(db.coefficients);
  EXPECT_DOUBLE_EQ(db.let[0], -40.0);
  EXPECT_DOUBLE_EQ(db.let[3], 1.0e-06);
  EXPECT_DOUBLE_EQ(db.sep[1], 0.65);
  EXPECT_DOUBLE_EQ(db.sit[0][3], 29.6);
  EXPECT_DOUBLE_EQ(db.sit[7][1], 0.03);
  EXPECT_DOUBLE_EQ(db.vrp6[2], 6.1);
  EXPECT_DOUBLE_EQ(db.vrp6[3], 0.2);
}

TEST(MocsimDatabase, CommandTemplatesExpandNames) {
  CommandDb c;
  c.lines = {"IDPUcmd        0x200     ;  0  descr",
             "systemnop      IDPUcmd 0  ;  0  nop",
             "IDPUReset      IDPUcmd 1  ;  1  H  reset",
             "IDPUTlmMode    IDPUcmd 8  ;  1  mode",
             "IDPUTlmNominal IDPUTlmMode 1 ; 0 nominal",
             "BRMcmd         0x305     ;  0",
             "BRMPACReset    BRMcmd 4 0x000A ; 0",
             "NoSemicolon    IDPUcmd 3"};
  auto t = c.expand(4);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->apid, 0x200);
  EXPECT_EQ(t->data, (std::vector<uint8_t>{8, 1}));
  auto r = c.expand(2, true);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->hazardous);
  EXPECT_EQ(r->data, (std::vector<uint8_t>{1, 1}));  // function code and one argument byte
  auto b = c.expand(6);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->apid, 0x305);
  EXPECT_EQ(b->data, (std::vector<uint8_t>{4, 0x0A, 0x00}));
  EXPECT_FALSE(c.expand(7));
  EXPECT_EQ(c.findMnemonic("tlmmode"), 3);  // part of a mnemonic, first line wins
}

TEST(MocsimDatabase, TokenEncodingRules) {
  auto enc = [](const char* t) { return encodeToken(t, std::strtol(t, nullptr, 0)); };
  EXPECT_EQ(enc("10"), (std::vector<uint8_t>{0x0A}));
  EXPECT_EQ(enc("010"), (std::vector<uint8_t>{0x08}));
  EXPECT_EQ(enc("0x000A"), (std::vector<uint8_t>{0x0A, 0x00}));
  EXPECT_EQ(enc("1000"), (std::vector<uint8_t>{0xE8, 0x03}));
  EXPECT_EQ(enc("300"), (std::vector<uint8_t>{0x2C, 0x01}));
  EXPECT_EQ(enc("-1"), (std::vector<uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(enc("0"), (std::vector<uint8_t>{0}));
  EXPECT_EQ(enc("0000"), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(enc("00000000"), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(MocsimDatabase, PathsResolveWithoutRegardToCase) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("mocsim_db_" + std::to_string(::getpid()));
  fs::create_directories(dir / "DataBase");
  std::ofstream(dir / "DataBase" / "VANTIS_TLM.txt") << "x\n";
  std::string p = resolvePath(dir.string(), "database/VANTIS_tlm.txt");
  EXPECT_EQ(p, (dir / "DataBase" / "VANTIS_TLM.txt").string());
  std::string text;
  EXPECT_TRUE(readFileText(p, text));
  fs::remove_all(dir);
}

// The start-up log names the file and line where a coefficient block went wrong.
TEST(TlmDatabaseNotes, NameFileAndLine) {
  TlmDatabase db;
  std::vector<std::string> notes;
  parseTlm("ISTEU12V\t2\t104\nTotal Bytes\t272\nnothing here\n", db, notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "database/VANTIS_tlm.txt:3: YSI block missing");
  notes.clear();
  parseTlm("A\t1\nTotal Bytes\nYSI\ncaption\n x\tnot-a-number\n", db, notes);
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes[0], "database/VANTIS_tlm.txt:5: coefficient not readable; 0 used");
}
