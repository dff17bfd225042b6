#include <gtest/gtest.h>

#include "telemetry/dbfiles.h"

using namespace korvex;

TEST(ErrDb, StopsAtTotalBytesAndKeepsSlotsBounded) {
  ErrDb db;
  ReadErrDb({"a\t1\tone", "b\t2\ttwo", "Total Bytes", "c\t3\tthree"}, db);
  EXPECT_EQ(db.errCount, 2);
  EXPECT_EQ(db.lines()[1], "b\t2\ttwo");

  std::vector<std::string> many(310, "x");
  many[0] = std::string(400, 'y');
  ReadErrDb(many, db);
  EXPECT_EQ(db.errCount, kErrSlots);
  EXPECT_EQ(db.surplus, 10);
  EXPECT_EQ(std::string(db.errdb[0].text).size(), kSlotTextMax);
  EXPECT_EQ(db.errdb[0].alarm, 0);
  EXPECT_EQ(db.errdb[0].value[0], 0);
}

TEST(Apd, HeadingsGroupsAndIndex) {
  std::vector<std::string> lines = {
      "VANTIS APID list",             // ignored: not 2 or 3
      "200-20F\tProcessor",           // heading 1 -> summary control 34
      "200\tIDPU housekeeping",       // group 1, control 16
      "202\tEvents",                  // group 1, control 15
      "240-26F\tSEP (not shown)",     // skipped entirely
      "241\tSEP housekeeping",        // joins group 1, control 14
      "300-37F\tBrimlet",             // heading 2 -> summary control 33
      "313\tBrimlet HK",              // group 2, control 16
      "3FF\tout of index",            // APID 0x3FF < 1024 -> allowed
  };
  ApdResult r = ReadApd(lines);
  EXPECT_EQ(r.index.apdTotal, 5);
  ASSERT_NE(r.index.find(0x202), nullptr);
  EXPECT_EQ(r.index.find(0x202)->summaryCtrl, 34);
  EXPECT_EQ(r.index.find(0x202)->groupPanel, 1);
  EXPECT_EQ(r.index.find(0x202)->groupCtrl, 15);
  EXPECT_EQ(r.index.find(0x241)->groupCtrl, 14);
  EXPECT_EQ(r.index.find(0x313)->summaryCtrl, 33);
  EXPECT_EQ(r.index.find(0x313)->groupCtrl, 16);
  EXPECT_EQ(r.index.find(0x201), nullptr);
  ASSERT_GE(r.labels.size(), 2u);
  EXPECT_EQ(r.labels[0].panel, 0);
  EXPECT_EQ(r.labels[0].control, 34);
  EXPECT_EQ(r.labels[0].text, "200-20F Processor");
  bool sepHeading = false;
  for (auto& l : r.labels) sepHeading |= l.text.find("SEP (not shown)") != std::string::npos;
  EXPECT_FALSE(sepHeading);
}

TEST(Apd, ThirteenthHeadingStartsHigherAndNoHeadingMeansNoGroup) {
  std::vector<std::string> lines = {"210\tbefore any heading"};
  for (int h = 1; h <= 14; ++h) {
    char head[32];
    std::snprintf(head, sizeof head, "2%02X-2%02X\tG%d", h * 2, h * 2 + 1, h);
    lines.push_back(head);
    char apid[32];
    std::snprintf(apid, sizeof apid, "2%02X\tA%d", h * 2, h);
    lines.push_back(apid);
  }
  ApdResult r = ReadApd(lines);
  EXPECT_EQ(r.ignored, 1);
  EXPECT_EQ(r.index.find(0x210 & 0x2FF), r.index.find(0x210));
  EXPECT_EQ(r.index.find(0x21A)->groupPanel, 13);
  EXPECT_EQ(r.index.find(0x21A)->groupCtrl, 26);
  EXPECT_EQ(r.index.find(0x21C)->groupPanel, 14);
  EXPECT_EQ(r.index.find(0x21C)->groupCtrl, 16);
  EXPECT_EQ(r.index.find(0x21C)->summaryCtrl, 21);
}

TEST(CmdDb, ListAndDecodeTableSkipHeaderAndTrailer) {
  std::vector<std::string> lines;
  for (int i = 0; i < 16; ++i) lines.push_back("header " + std::to_string(i) + " 0x999");
  lines.push_back("IDPUNoop 0x200 0x01 ; 0");
  lines.push_back("SEPReset 0x240 0x02 ; 1");
  lines.push_back("Comment line without number");
  lines.push_back("BRMReset 0x305 ; 0");
  for (int i = 0; i < 16; ++i) lines.push_back("trailer 0x777");
  CmdDb db;
  ReadCmdDb(lines, db);
  EXPECT_EQ(db.cmdDbLns, 16 + 4 + 16);
  EXPECT_EQ(db.list.size(), 36u);
  EXPECT_EQ(db.DecodeCommand(0x240), "SEPReset");
  EXPECT_EQ(db.DecodeCommand(0x305), "BRMReset");
  EXPECT_EQ(db.DecodeCommand(0x999), kCantFindApid);  // header lines are not decoded
  EXPECT_EQ(db.DecodeCommand(0x777), kCantFindApid);
}
