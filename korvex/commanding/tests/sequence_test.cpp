// Recording stored sequences and screen-layout records: the load lines byte for byte, and the
// layout files' words.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "commanding/layout.h"
#include "commanding/reverse.h"
#include "commanding/scm.h"
#include "commanding/sequence.h"

using namespace korvex;

namespace {

SequenceBanks Banks() { return SequenceBanks{{"0x10", "0x14", "0x18", "0x1C"}, "0x04", 0x1000}; }

SequenceRecording Start(const std::string& line, SequenceBanks b = Banks()) {
  SequenceRecording r;
  EXPECT_EQ(ParseStartSequence(line, b, &r), SequenceError::None) << line;
  return r;
}

// A packet as the encoder leaves it for recording: APID, counters, length, no checksum yet.
std::vector<std::uint8_t> Packet(unsigned apid, std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> p = {static_cast<std::uint8_t>(0x10 | (apid >> 8)),
                                 static_cast<std::uint8_t>(apid & 0xFF), 0xC0, 0x05, 0x00,
                                 static_cast<std::uint8_t>(data.size()), 0x00};
  for (std::uint8_t b : data) p.push_back(b);
  return p;
}

}  // namespace

TEST(SequenceStart, BankAndOffsetFromTheConfiguration) {
  SequenceRecording r = Start("startsequence EEPROM2 3 loadmag");
  EXPECT_EQ(r.path, "cmd/loadmag.cmd");
  EXPECT_EQ(r.bank, "/IDPUEEPROMLoad 0x18");
  EXPECT_EQ(r.seqofs, 0x1000u + 3 * 128);
  EXPECT_EQ(r.seqcmd, "/IDPUEEPROMLoad 0x18 0x1180");

  // Typed in any case, with an extension kept; RAM uses the memory-load command.
  r = Start("StartSequence ram 0 Seq.Txt");
  EXPECT_EQ(r.path, "cmd/Seq.Txt");
  EXPECT_EQ(r.seqcmd, "/IDPUMemoryLoad 0x4 0x1000");

  // Past a bank's 16384 bytes the page moves on and the offset starts again within it; an
  // offset of exactly 16384 is the start of the next page, not its end.
  r = Start("startsequence eeprom0 100 f");  // 0x1000 + 12800 = 16896
  EXPECT_EQ(r.seqcmd, "/IDPUEEPROMLoad 0x11 0x200");
  r = Start("startsequence eeprom0 96 f");  // 0x1000 + 12288 = 16384
  EXPECT_EQ(r.seqcmd, "/IDPUEEPROMLoad 0x11 0x0");

  // Bases may be typed in decimal too.
  SequenceBanks dec = Banks();
  dec.eeprom[3] = "40";
  EXPECT_EQ(Start("startsequence EEPROM3 0 f", dec).bank, "/IDPUEEPROMLoad 0x28");
}

TEST(SequenceStart, RefusesWhatWouldWriteTheWrongPlace) {
  SequenceRecording r;
  EXPECT_EQ(ParseStartSequence("startsequence eeprom1 2", Banks(), &r), SequenceError::MissingWords);
  EXPECT_EQ(ParseStartSequence("startsequence eeprom1 two f", Banks(), &r), SequenceError::BadNumber);
  EXPECT_EQ(ParseStartSequence("startsequence eeprom1 -1 f", Banks(), &r), SequenceError::BadNumber);
  EXPECT_EQ(ParseStartSequence("startsequence eeprom7 1 f", Banks(), &r), SequenceError::UnknownBank);
  EXPECT_EQ(ParseStartSequence("startsequence eeprom1 1 ../cfg/korvex.cfg", Banks(), &r),
            SequenceError::BadFileName);
  EXPECT_EQ(ParseStartSequence("startsequence eeprom1 1 /tmp/x", Banks(), &r), SequenceError::BadFileName);
  SequenceBanks bad = Banks();
  bad.eeprom[1] = "EEPROM";
  EXPECT_EQ(ParseStartSequence("startsequence eeprom1 1 f", bad, &r), SequenceError::BadBase);
  // A comment is no file name.
  EXPECT_EQ(ParseStartSequence("startsequence ram 1 ; file", Banks(), &r), SequenceError::MissingWords);
}

TEST(SequenceLines, RecordsPadOddCountsAndMoveTheOffset) {
  SequenceRecording r = Start("startsequence EEPROM0 0 s");
  auto head = SequenceHeader(r, "03-10-2026", "12:30:00", "");
  EXPECT_EQ(head[0], "REM cmd/s.cmd generated 03-10-2026 12:30:00");
  EXPECT_EQ(head[1], "REM Destination is EEPROM0 sequence 0");
  EXPECT_EQ(SequenceHeader(r, "d", "t", "outer.cmd")[0], "REM cmd/s.cmd generated d t from outer.cmd");

  std::string line;
  // APID 0x200: identifier 0x00; one data byte is padded.
  ASSERT_TRUE(SequencePacketLine(r, Packet(0x200, {0x08}).data(), 8, &line));
  EXPECT_EQ(line, "/IDPUEEPROMLoad 0x10 0x1000 0x00 0x01 0x08 0xFF");
  EXPECT_EQ(r.seqofs, 0x1004u);
  // APID 0x305: the low APID bit goes into the identifier's top bit (0x85); no pad for two.
  auto p = Packet(0x305, {0x02, 0xAB});
  ASSERT_TRUE(SequencePacketLine(r, p.data(), p.size(), &line));
  EXPECT_EQ(line, "/IDPUEEPROMLoad 0x10 0x1004 0x85 0x02 0x02 0xAB");
  // A command without data is two bytes.
  p = Packet(0x211, {});
  ASSERT_TRUE(SequencePacketLine(r, p.data(), p.size(), &line));
  EXPECT_EQ(line, "/IDPUEEPROMLoad 0x10 0x1008 0x11 0x00");
  EXPECT_EQ(SequenceEndLine(r), "/IDPUEEPROMLoad 0x10 0x100A 0x00 0x00");
}

TEST(SequenceLines, PacketsARecordCannotHoldAreRefusedWithNothingMoved) {
  SequenceRecording r = Start("startsequence RAM 1 s");
  const unsigned before = r.seqofs;
  std::string line;
  auto big = Packet(0x200, std::vector<std::uint8_t>(128, 1));
  EXPECT_FALSE(SequencePacketLine(r, big.data(), big.size(), &line));
  auto p = Packet(0x200, {1, 2, 3});
  EXPECT_FALSE(SequencePacketLine(r, p.data(), p.size() - 1, &line));  // shorter than it says
  p[4] = 0x01;  // a length above 255 whose low byte looks small
  EXPECT_FALSE(SequencePacketLine(r, p.data(), p.size(), &line));
  EXPECT_EQ(r.seqofs, before);
  EXPECT_TRUE(line.empty());
  // 127 data bytes still fit, padded to 130 bytes of memory.
  auto most = Packet(0x200, std::vector<std::uint8_t>(127, 0x5A));
  ASSERT_TRUE(SequencePacketLine(r, most.data(), most.size(), &line));
  EXPECT_EQ(r.seqofs, before + 130);
}

// What the recorder writes, loaded into memory and dumped, is named again as the typed command.
TEST(SequenceLines, RecordedCommandsReadBackAsTheirMnemonics) {
  std::vector<std::string> db(16, "header line");
  db.push_back("MAGcmd                  0x211                          ;  0     Magnetometer");
  db.push_back("MAGRange                MAGcmd 8                       ;  1     Range");
  db.push_back("BRMcmd                  0x305                          ;  0     Companion");
  db.push_back("BRMHVOn                 BRMcmd 2                       ;  0     HV on");
  ScmState s;
  ScmInit(s);
  std::array<std::string, scmctl::kLast + 1> f;
  f[scmctl::kMsgType] = "SCM-"; f[scmctl::kCmdMode] = "01"; f[scmctl::kSpare] = "---";
  f[scmctl::kFacility] = "VANTIS"; f[scmctl::kSpacecraft] = "EA"; f[scmctl::kPackets] = "01";
  f[scmctl::kEnable] = "0000000000000"; f[scmctl::kTimeout] = "-------------";
  f[scmctl::kDelta] = "-----"; f[scmctl::kSeqFlags] = "3";
  f[scmctl::kSc] = f[scmctl::kEsc] = f[scmctl::kRsc] = f[scmctl::kErsc] = "0";
  f[scmctl::kSecTime] = "0000000000000"; f[scmctl::kSubsystem] = "0"; f[scmctl::kSpareByte] = "0";
  f[scmctl::kVersion] = "0"; f[scmctl::kType] = "1"; f[scmctl::kSecHdr] = "0";
  ASSERT_TRUE(MocHeaderCommit(s, 0, f, -378691200).empty());
  CommandEnv env;
  env.db = &db;
  env.record = true;

  SequenceRecording r = Start("startsequence eeprom0 0 s");
  std::vector<std::uint8_t> memory;
  for (const char* cmd : {"/MAGRange 3", "/BRMHVOn"}) {
    EncodeResult e = EncodeCommand(s, cmd, env);
    ASSERT_EQ(e.what, Encoded::Recorded) << cmd;
    std::string line;
    ASSERT_TRUE(SequencePacketLine(r, e.packet.data(), e.packet.size(), &line));
    // The bytes after the command word, bank and offset are what lands in memory.
    std::istringstream in(line);
    std::string w;
    in >> w >> w >> w;
    while (in >> w) memory.push_back(static_cast<std::uint8_t>(std::stoul(w, nullptr, 16)));
  }
  // Nothing was collected for an SCM and no verification entry waits.
  EXPECT_EQ(s.ccsdsCtr, 0);
  EXPECT_TRUE(s.cv.empty());
  EXPECT_EQ(s.ccsdsSC, 2u);  // the counter moved as for a sent command
  memory.push_back(0);
  memory.push_back(0);
  int offset = 1;
  auto named = SequenceLines(db, memory.data(), memory.size(), &offset);
  ASSERT_EQ(named.size(), 2u);
  EXPECT_EQ(named[0].rfind("/MAGRange", 0), 0u) << named[0];
  EXPECT_EQ(named[1], "/BRMHVOn");
}

TEST(ScreenLayout, RecordsRoundTripAndShortFilesKeepTheRest) {
  ScreenLayout l;
  l.width = 1280;
  l.height = 1024;
  l.zoom = 2;
  for (int i = 0; i < 130; ++i) l.panels.push_back({i, -i, i % 2});
  Srd s = PackLayout(l);
  ScreenLayout back = UnpackLayout(s, 130);
  EXPECT_EQ(back.panels.size(), kSrdPanels);  // 123 panels fit
  EXPECT_EQ(back.width, 1280);
  EXPECT_EQ(back.panels[122].top, 122);
  EXPECT_EQ(back.panels[122].left, -122);
  EXPECT_EQ(back.panels[121].visible, 1);

  std::vector<std::uint8_t> bytes = SrdBytes(s);
  ASSERT_EQ(bytes.size(), kSrdBytes);
  EXPECT_EQ(bytes[0], 0x00);  // 1280 little-endian
  EXPECT_EQ(bytes[1], 0x05);
  Srd other{};
  other.fill(0x7F7F7F7F);
  std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + 14);  // three words and a half
  ReadSrd(part, &other);
  EXPECT_EQ(other[0], 1280);
  EXPECT_EQ(other[2], 2);
  EXPECT_EQ(other[3], 0x7F7F0000);  // low two bytes from the file, the rest as before
  EXPECT_EQ(other[4], 0x7F7F7F7F);
  bytes.resize(kSrdBytes + 100, 0xEE);  // trailing bytes are ignored
  ReadSrd(bytes, &other);
  EXPECT_EQ(other, s);
}

TEST(ScreenLayout, PageNamesAFileUnderCfg) {
  EXPECT_EQ(PageFile("pagenight"), "cfg/night.srd");
  EXPECT_EQ(PageFile("page=night"), "cfg/night.srd");
  EXPECT_EQ(PageFile("pagenight.srd"), "cfg/night.srd");
  EXPECT_EQ(PageFile("page../korvex"), "");
  EXPECT_EQ(PageFile("page/etc/x"), "");
}
