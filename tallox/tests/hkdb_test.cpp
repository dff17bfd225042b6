#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "core/hkdb.h"
#include "test_util.h"

using namespace tallox;
using tallox::test::Pkt;
using tallox::test::TempPath;
using tallox::test::WriteRecords;

namespace {

// Five heading lines, then points (name, size, offset, c4, c5, scale, offset, unit, 4 coefs),
// then the coefficient blocks.
const char* kSuite =
    "VANTIS telemetry points\nversion 1\n\ncolumns\nName\tSize\tOffset\n"
    "IHKWord\t2\t20\tx\t0\t0.5\t1\tV\n"
    "#ICommented\t2\t22\n"
    "IHKByte\t1\t21\tx\t0\t0\t0\tcnt\n"
    "ILogRate\t1\t21\tx\t0\tLOGT\t0\tHz\n"
    "IMagT\t2\t20\tx\t0\tMAG\n"
    "IYsiT\t2\t20\tx\t0\tYSI\n"
    "IRtdT\t2\t20\tx\t0\tRTD\n"
    "ISTEU12V\t2\t30\tx\t0\t2\t0\n"
    "ISTEUVCC1\t2\t32\tx\t0\t1\t0\n"
    "ISTEU5VD\t2\t34\tx\t0\t1\t0\n"
    "ISTEUCur\t2\t36\tx\t0\t1\t0\n"
    "ISTEUDig\t1\t40\tx\t0\t1\t0\n"
    "\n"
    "IShort\n"
    "Checksum\t1\t271\n"
    "trailing text\n"
    "YSI coefficients\n a 1\n b 2\n c 0\n d 0\n e 0\n f 0\n"
    "RTD\n a 10\n b 1\n c 0\n"
    "MAG\n a 0\n b 0\n c 1\n d 0\n e 0\n f 0\n"
    "IDREVSTEDCur and ISTEUCur conversions\nheading 1\nheading 2\nheading 3\n"
    "uA    2\nuB    3\nuC    4\ndA    0\ndB    0\ndC    0\n";

const char* kSep =
    "SEP points\n\n\n\n\n"
    "SEPTemp\t2\t12\tx\t0\t0.25\t-10\tdegCelsius\n"
    "SEPRate\t1\t14\tx\t0\tLOGT\t0\tHz\n"
    "Checksum\n";

int Index(const Database& db, const std::string& name) {
  for (std::size_t i = 0; i < db.entries.size(); ++i)
    if (db.entries[i].name == name) return static_cast<int>(i);
  return -1;
}

}  // namespace

TEST(TalloxParseTable, PointsKindsDoorAndBlocks) {
  Database db = ParseTable(kSuite, false, "VANTIS_TLM.txt");
  ASSERT_TRUE(db.loaded);
  std::vector<std::string> names;
  for (const auto& e : db.entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"IHKWord", "IHKByte", "ILogRate", "IMagT", "IYsiT",
                                             "IRtdT", "ISTEU12V", "ISTEUVCC1", "ISTEU5VD",
                                             "ISTEUCur", "ISTEUDig", "STEUDoor", "IShort"}));
  EXPECT_EQ(db.entries[0].scale, 0.5);
  EXPECT_EQ(db.entries[1].scale, 1.0);  // 0 converts as 1
  EXPECT_EQ(db.entries[2].kind, Kind::Logt);
  EXPECT_EQ(db.entries[3].kind, Kind::Mag);
  EXPECT_EQ(db.entries[4].kind, Kind::Ysi);
  EXPECT_EQ(db.entries[5].kind, Kind::Rtd);
  EXPECT_EQ(db.entries[9].kind, Kind::Ucur);
  EXPECT_EQ(db.ISTEU12V, 6);
  EXPECT_EQ(db.ISTEU5VD, 8);
  EXPECT_EQ(db.NDBSTEUDoor, 11);
  EXPECT_EQ(db.NDBSTEDDoor, -1);
  EXPECT_EQ(db.YSIc[0], 1);
  EXPECT_EQ(db.YSIc[1], 2);
  EXPECT_EQ(db.RTDc[0], 10);
  EXPECT_EQ(db.MAGc[2], 1);
  EXPECT_EQ(db.STECurc[0], 2);
  EXPECT_EQ(db.STECurc[2], 4);
  // The short line loads with a warning; nothing else is wrong with this table.
  ASSERT_EQ(db.warnings.size(), 1u);
  EXPECT_NE(db.warnings[0].find("IShort"), std::string::npos);
}

TEST(TalloxParseTable, ChecksumOnTheSixthLineStillReadsBlocks) {
  Database db = ParseTable("a\nb\nc\nd\ne\nChecksum\nRTD\n x 5\n y 6\n z 7\n", false, "t");
  EXPECT_TRUE(db.entries.empty());
  EXPECT_EQ(db.RTDc[2], 7);
  // YSI, MAG and the current block are missing: one warning each.
  EXPECT_EQ(db.warnings.size(), 3u);
  Database cut = ParseTable("a\nb\nc\nd\ne\nP\t2\t4\nChecksum\nMAG\n x 1\n", false, "t");
  EXPECT_EQ(cut.MAGc[0], 1);
  bool toldEnd = false;
  for (const auto& w : cut.warnings) toldEnd |= w.find("ends after 1 of 6") != std::string::npos;
  EXPECT_TRUE(toldEnd);
  Database none = ParseTable("too\nshort\n", false, "t");
  EXPECT_TRUE(none.entries.empty());
  EXPECT_FALSE(none.warnings.empty());
  Database noChecksum = ParseTable("a\nb\nc\nd\ne\nP\t2\t4\n", false, "t");
  EXPECT_EQ(noChecksum.entries.size(), 1u);
  EXPECT_NE(noChecksum.warnings.back().find("Checksum"), std::string::npos);
}

TEST(TalloxParseTable, CapacityAndPointsOutsideThePacket) {
  std::string text = "1\n2\n3\n4\n5\n";
  for (int i = 0; i < 320; ++i) text += "P" + std::to_string(i) + "\t2\t" + std::to_string(i % 300) + "\n";
  text += "Checksum\n";
  Database db = ParseTable(text, true, "sep");
  EXPECT_EQ(db.entries.size(), static_cast<std::size_t>(kMaxEntries));
  bool told = false, outside = false;
  for (const auto& w : db.warnings) {
    told |= w.find("more than 300") != std::string::npos;
    outside |= w.find("outside the packet") != std::string::npos;
  }
  EXPECT_TRUE(told);
  EXPECT_TRUE(outside);
  std::uint8_t rec[kDataBufSize] = {};
  EXPECT_EQ(Convert(db, 290, rec), 0.0);  // offset 290 reads nothing
}

TEST(TalloxConvert, EveryKindOnASwappedRecord) {
  Database db = ParseTable(kSuite, false, "VANTIS_TLM.txt");
  Pkt p;
  p.byte(20, 0x12).byte(21, 0x2F);  // word point at 20: 0x122F; byte point at 21 reads byte 20
  p.be16(30, 100);   // ISTEU12V raw
  p.be16(32, 50);
  p.be16(34, 20);
  p.be16(36, 7);
  p.byte(41, 0x35);  // ISTEUDig byte 40 reads packet byte 41: door (0x35 >> 4) & 3 = 3
  auto r = tallox::test::MakeRecord(p);
  SwapTelemetryBytes(r.data(), true);
  const double w = (0x12 << 8) | 0x2F;
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "IHKWord"), r.data()), w * 0.5 + 1);
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "IHKByte"), r.data()), 0x12);
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "ILogRate"), r.data()), Uncompress(0x12) / 65536.0);
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "IMagT"), r.data()), w * w);
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "IYsiT"), r.data()), 1 + 2 * w);
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "IRtdT"), r.data()), 10 + w);
  // U: 2 * I + 3 * V12 - 4 * (VCC1 - V5D) with V12 scaled by 2
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "ISTEUCur"), r.data()), 2 * 7 + 3 * 200 - 4 * (50 - 20));
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "ISTEUDig"), r.data()), 0x35);
  EXPECT_DOUBLE_EQ(Convert(db, Index(db, "STEUDoor"), r.data()), 3);
  for (unsigned v = 0; v < 256; ++v) {
    r[kHeaderSize + 40] = static_cast<std::uint8_t>(v);
    const double door = Convert(db, db.NDBSTEUDoor, r.data());
    EXPECT_GE(door, 0);
    EXPECT_LE(door, 3);
  }
  EXPECT_EQ(Convert(db, 999, r.data()), 0.0);
  EXPECT_EQ(Convert(db, -1, r.data()), 0.0);
}

TEST(TalloxHkLimits, AutoscaleAndLogFloor) {
  SampleStore s;
  s.reset();
  s.sel[0] = 0;
  s.sel[2] = 1;
  s.Samples[0] = {-3, 0, 2};
  s.Samples[2] = {-1, 7};
  s.count = 3;
  double lo, hi;
  HkLimits(s, false, &lo, &hi);
  EXPECT_EQ(lo, -3);
  EXPECT_EQ(hi, 7);
  s.Samples[2] = {-1, -7};
  s.Samples[0] = {-3, 0, -2};
  HkLimits(s, true, &lo, &hi);
  EXPECT_EQ(lo, 1e-10);
  EXPECT_EQ(hi, 0);
}

TEST(TalloxInitDatabase, MissingFilesGiveTheirMessages) {
  namespace fs = std::filesystem;
  const fs::path dir = TempPath("dbdir");
  fs::remove_all(dir);
  fs::create_directories(dir / "Database");
  Tables t = init_database(dir.string());
  EXPECT_EQ(t.error, "Cannot open telemetry database file VANTIS_TLM.txt");
  EXPECT_FALSE(t.sep.loaded);
  tallox::test::WriteText((dir / "Database" / "vantis_tlm.txt").string(), kSuite);
  t = init_database(dir.string());
  EXPECT_EQ(t.error, "Cannot open telemetry database file SEP_HKG.txt");
  EXPECT_EQ(t.suite.entries.size(), 13u);
  tallox::test::WriteText((dir / "Database" / "SEP_HKG.TXT").string(), kSep);
  t = init_database(dir.string());
  EXPECT_TRUE(t.error.empty());
  EXPECT_EQ(t.sep.entries.size(), 2u);
}

TEST(TalloxInitDatabase, StationSampleTables) {
  const std::string station = TALLOX_STATION_DIR;
  if (!std::filesystem::exists(ResolveCaseless(station, "database/VANTIS_TLM.txt")))
    GTEST_SKIP() << "the station's sample database is not there yet";
  Tables t = init_database(station);
  // The SEP table may still be missing from the sample station; the suite table must load whole.
  if (std::filesystem::exists(ResolveCaseless(station, "database/sep_hkg.txt"))) {
    EXPECT_TRUE(t.error.empty()) << t.error;
    EXPECT_FALSE(t.sep.entries.empty());
  } else {
    EXPECT_EQ(t.error, kSepOpenError);
  }
  EXPECT_GT(t.suite.entries.size(), 20u);
  EXPECT_GE(t.suite.NDBSTEUDoor, 0);
  EXPECT_GE(t.suite.ISTEU12V, 0);
  for (const auto& w : t.suite.warnings) ADD_FAILURE() << w;
}
