#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "commanding/reverse.h"

using namespace korvex;

namespace {

// A database in the station's column layout: mnemonic, template, ";", argument bytes, hazard mark.
std::vector<std::string> Db() {
  std::vector<std::string> db(16, "header line");
  auto line = [&](const char* m, const char* t, int args, bool hazard) {
    char b[256];
    std::snprintf(b, sizeof b, "%-24s%-76s;  %d  %s  description", m, t, args, hazard ? "H" : " ");
    db.push_back(b);
  };
  line("IDPUcmd", "0x200", 0, false);
  line("systemnop", "IDPUcmd 0", 0, false);
  line("IDPUReset", "IDPUcmd 1", 1, true);
  line("IDPUTlmMode", "IDPUcmd 8", 1, false);
  line("IDPUTlmNominal", "IDPUTlmMode 1", 0, false);
  line("IDPUSeqStart", "IDPUcmd 9", 1, false);
  line("IDPUcmd5", "0x205", 0, false);
  line("BRMcmd", "0x305", 0, false);
  line("BRMHVOn", "BRMcmd 2", 0, true);
  line("STEcmd", "0x230", 0, false);
  line("setSTEThreshold", "STEcmd", 3, false);
  line("STEThresholdAll", "STEcmd 8", 2, false);
  line("HAZcmd", "0x240", 0, true);
  line("DREVcmd", "0x210", 0, false);
  line("DREVMode", "DREVcmd 1", 1, false);
  line("DREVModeFast", "DREVMode 3", 0, false);
  line("DREVStep", "DREVcmd 9", 1, false);
  return db;
}

// A telecommand packet without secondary header: APID, then the data bytes.
std::vector<std::uint8_t> Packet(int apid, std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> p{static_cast<std::uint8_t>(0x10 | (apid >> 8)),
                              static_cast<std::uint8_t>(apid & 0xFF), 0xC0, 0x00,
                              static_cast<std::uint8_t>(data.size() >> 8),
                              static_cast<std::uint8_t>(data.size() & 0xFF), 0x00};
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

}  // namespace

TEST(HazardCheck, CountsEachHazardousCommandOnce) {
  auto db = Db();
  std::vector<std::uint8_t> scm;
  for (auto& p : {Packet(0x200, {1, 0}),      // IDPUReset: hazardous by its function code
                  Packet(0x200, {8, 1}),      // IDPUTlmNominal: not hazardous
                  Packet(0x240, {5, 6, 7})})  // a hazardous base line, whatever follows
    scm.insert(scm.end(), p.begin(), p.end());
  HazardCount c = CountHazards(db, scm.data(), scm.size());
  EXPECT_EQ(c.hazardous, 2);
  EXPECT_FALSE(c.databaseError);
  auto safe = Packet(0x200, {0});
  EXPECT_EQ(CountHazards(db, safe.data(), safe.size()).hazardous, 0);
  // A command of an APID no line carries cannot be vouched for.
  auto unknown = Packet(0x2AA, {0});
  EXPECT_EQ(CountHazards(db, unknown.data(), unknown.size()).hazardous, 1);
  // A packet whose length runs past the bytes given is read no further than they go.
  auto cut = Packet(0x200, {1, 0});
  cut[5] = 200;
  EXPECT_EQ(CountHazards(db, cut.data(), cut.size()).hazardous, 1);
}

TEST(SequenceDump, RecordsBecomeCommandLines) {
  auto db = Db();
  int offset = 1;
  std::vector<std::uint8_t> none{0x00, 3, 1, 2, 3};  // an identifier of 0 ends the sequence
  EXPECT_TRUE(SequenceLines(db, none.data(), none.size(), &offset).empty());

  std::vector<std::uint8_t> dump{
      0x85, 1, 2, 0xFF,  // 0x85 -> APID 0x305; function 2 names BRMHVOn; odd count: a pad byte
      0x05, 0,           // 0x05 -> APID 0x205, no data: the mnemonic alone
      0x10, 2, 1, 3,     // 0x210: function 1, then sub-code 3 -> DREVModeFast
      0x10, 2, 9, 4,     // 0x210: function 9 names DREVStep; its argument 4 is shown
      0x7F, 1, 0xAB, 0,  // an APID no line carries: the APID and every byte
      0x00};
  auto lines = SequenceLines(db, dump.data(), dump.size(), &offset);
  EXPECT_EQ(lines, (std::vector<std::string>{"/BRMHVOn", "/IDPUcmd5", "/DREVModeFast",
                                             "/DREVStep 04", "/0x27F AB"}));
}

TEST(SequenceDump, TheThresholdExceptionKeepsItsFirstByte) {
  auto db = Db();
  int offset = 1;
  std::vector<std::uint8_t> two{0x30, 3, 2, 0x34, 0x12, 0, 0};  // 0x230 with d0 = 2 (below 8)
  auto ste = SequenceLines(db, two.data(), two.size(), &offset);
  ASSERT_EQ(ste.size(), 1u);
  // Named by the line holding its parent and "STEThreshold"; its first byte stays in the line.
  EXPECT_EQ(ste[0], "/setSTEThreshold 02 34 12");
  EXPECT_EQ(offset, 3);  // the argument offset carries on to the next call
}

// The command database keeps its lines in lower case with the searches already made; answers
// taken from there must be the ones a fresh search gives, for both searches sharing one store,
// over many dumps and packets and on the second pass as on the first.
TEST(SequenceDump, RememberedSearchesAnswerAsFreshOnes) {
  CmdDb cmd;
  ReadCmdDb(Db(), cmd);
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, static_cast<std::uint8_t>(seed >> 16); };
  const std::uint8_t ids[] = {0x85, 0x05, 0x10, 0x30, 0x7F, 0x00};
  const int apids[] = {0x200, 0x205, 0x210, 0x230, 0x240, 0x305};
  for (int pass = 0; pass < 2; ++pass) {
    std::uint32_t start = seed;
    for (int k = 0; k < 300; ++k) {
      std::vector<std::uint8_t> dump;
      for (int r = 0; r < 4; ++r) {
        std::uint8_t n = next() % 4;
        dump.push_back(ids[next() % 5]);
        dump.push_back(n);
        for (int i = 0; i < n + (n & 1); ++i) dump.push_back(next() % 12);
      }
      dump.push_back(0);
      int fresh = 1, kept = 1;
      ASSERT_EQ(SequenceLines(cmd.list, dump.data(), dump.size(), &kept, &cmd.lower),
                SequenceLines(cmd.list, dump.data(), dump.size(), &fresh));
      ASSERT_EQ(kept, fresh);
      auto pk = Packet(apids[next() % 6], {static_cast<std::uint8_t>(next() % 10),
                                           static_cast<std::uint8_t>(next() % 4)});
      EXPECT_EQ(CountHazards(cmd.list, pk.data(), pk.size(), &cmd.lower).hazardous,
                CountHazards(cmd.list, pk.data(), pk.size()).hazardous);
    }
    if (pass == 0) seed = start;  // the same inputs again, now answered from the store
  }
  EXPECT_FALSE(cmd.lower.found.empty());
}
