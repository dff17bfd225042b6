#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "commanding/messages.h"
#include "commanding/scm.h"

using namespace korvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::vector<std::string> kDb = {
    "MNEMONIC    TEMPLATE",
    "IDPUcmd                 0x200                          ;  0     Processor commands",
    "systemnop               IDPUcmd 0                      ;  0     No operation",
    "IDPUReset               IDPUcmd 1                      ;  1  H  Reset",
    "IDPUTlmMode             IDPUcmd 8                      ;  1     Telemetry mode",
    "IDPUTlmNominal          IDPUTlmMode 1                  ;  0     Nominal",
    "MAGcmd                  0x211                          ;  0     Magnetometer",
    "MAGRange                MAGcmd 1                       ;  1  H  Range",
    "MAGRangeHigh            MAGRange 1                     ;  0     High range",
    "NoSemi                  0x200",
    "Deep1                   Deep2 5                        ;  0",
    "Deep2                   Deep3 6                        ;  0",
    "Deep3                   Deep4 7                        ;  0",
    "Deep4                   0x200                          ;  0",
};

constexpr long kCfgTime = -378691200;

using Fields = std::array<std::string, scmctl::kLast + 1>;

Fields DefaultFields() {
  Fields f;
  f[scmctl::kMsgType] = "SCM-";
  f[scmctl::kCmdMode] = "01";
  f[scmctl::kSpare] = "---";
  f[scmctl::kFacility] = "VANTIS";
  f[scmctl::kSpacecraft] = "EA";
  f[scmctl::kPackets] = "01";
  f[scmctl::kEnable] = "0000000000000";
  f[scmctl::kTimeout] = "-------------";
  f[scmctl::kDelta] = "-----";
  f[scmctl::kSeqFlags] = "3";
  f[scmctl::kSc] = f[scmctl::kEsc] = f[scmctl::kRsc] = f[scmctl::kErsc] = "0";
  f[scmctl::kSecTime] = "0000000000000";
  f[scmctl::kSubsystem] = "0";
  f[scmctl::kSpareByte] = "0";
  f[scmctl::kVersion] = "0";
  f[scmctl::kType] = "1";
  f[scmctl::kSecHdr] = "0";
  return f;
}

class Scm : public ::testing::Test {
 protected:
  ScmState s;
  Fields f = DefaultFields();
  int hazardAsked = 0;
  bool cancelHazard = false;
  CommandEnv env;

  void SetUp() override {
    ScmInit(s);
    ASSERT_TRUE(MocHeaderCommit(s, 0, f, kCfgTime).empty());
    env.db = &kDb;
    env.askCancel = [this](const std::string&) {
      ++hazardAsked;
      return cancelHazard;
    };
  }
  void Commit() { ASSERT_TRUE(MocHeaderCommit(s, 0, f, kCfgTime).empty()); }
  Encoded Send(const std::string& line) { return EncodeCommand(s, line, env).what; }
  // The packets of the finished SCM.
  Bytes Packets() const { return Bytes(s.saveScm.begin() + 133, s.saveScm.end()); }
  // The data bytes of a one-packet SCM without secondary header (after the checksum byte).
  Bytes Data() const { return Bytes(s.saveScm.begin() + 133 + 7, s.saveScm.end()); }
  std::string Header(std::size_t from, std::size_t n) const {
    return std::string(reinterpret_cast<const char*>(s.saveScm.data()) + from, n);
  }
};

int Sum(const Bytes& b, std::size_t from, std::size_t n) {
  unsigned v = 0;
  for (std::size_t i = from; i < from + n; ++i) v += b[i];
  return static_cast<int>(v & 0xFF);
}

}  // namespace

TEST_F(Scm, OnePacketScmIsHeaderAndPacketByteExact) {
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  std::string header = "SCM-" "000127" "0001" "01" "---" "VANTIS" "EA" "01" "0000000000000"
                       "-------------" "-----" "0000" "0000" + std::string(23, ' ') + "NO SCRIPT" +
                       std::string(23, ' ') + "systemnop";
  ASSERT_EQ(header.size(), 132u);
  Bytes want(header.begin(), header.end());
  want.push_back(0x0C);
  for (std::uint8_t b : {0x12, 0x00, 0xC0, 0x00, 0x00, 0x01, 0x2D, 0x00}) want.push_back(b);
  EXPECT_EQ(s.saveScm, want);
  EXPECT_EQ(s.sizeScm, 141u);
  EXPECT_EQ(s.scmstr, header + "0C" "1200C00000012D00");
  ASSERT_EQ(s.cv.size(), 1u);
  EXPECT_EQ(s.cv[0].hex, "1200C00000012D00");
  EXPECT_EQ(s.cv[0].seq, 0u);
  EXPECT_EQ(s.ccsdsSC, 1u);
  EXPECT_EQ(s.seqinc[0], 1);
  EXPECT_EQ(s.wsq, 1);
  EXPECT_EQ(s.cmdDescript, "systemnop");

  // The next SCM has the next message number and sequence count.
  TakePending(s);
  ASSERT_EQ(Send("cmdsystemnop"), Encoded::Complete);
  EXPECT_EQ(Header(10, 4), "0002");
  EXPECT_EQ(Packets()[3], 0x01);
}

TEST_F(Scm, ArgumentEncodings) {
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"10", {0x0A}},
      {"010", {0x08}},
      {"0x000A", {0x0A, 0x00}},
      {"0xA", {0x0A}},
      {"0x12345678", {0x78, 0x56, 0x34, 0x12}},
      {"1000", {0xE8, 0x03}},
      {"300", {0x2C, 0x01}},
      {"-1", {0xFF, 0xFF}},
      {"-300", {0xD4, 0xFE, 0xFF}},
      {"0", {0x00}},
      {"0000", {0x00, 0x00}},
      {"000000", {0x00, 0x00, 0x00}},
      {"00000000", {0x00, 0x00, 0x00, 0x00}},
      {"0000000000", {}},
      {"0010", {0x08, 0x00}},
      {"001000", {0x00, 0x02, 0x00}},  // octal 512
      {"70000", {0x70, 0x11, 0x01}},
      {"100000000", {0x00, 0xE1, 0xF5, 0x05}},
      {"\"ab c\"", {'a', 'b', ' ', 'c'}},
      {"\"x\" 7", {'x', 0x07}},
  };
  for (const auto& [arg, bytes] : cases) {
    ASSERT_EQ(Send("/systemnop " + arg), Encoded::Complete) << arg;
    Bytes want = {0x00};  // the template's own argument byte
    want.insert(want.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(Data(), want) << arg;
    EXPECT_EQ(Sum(s.saveScm, 133, s.sizeScm - 133), 0) << arg;
    EXPECT_EQ((s.saveScm[133 + 4] << 8 | s.saveScm[133 + 5]) + 7, static_cast<int>(s.sizeScm - 133)) << arg;
    TakePending(s);
  }
}

TEST_F(Scm, ThreePacketsUnderOneMessageNumber) {
  f[scmctl::kPackets] = "03";
  Commit();
  EXPECT_EQ(Send("/systemnop 1"), Encoded::Collected);
  EXPECT_EQ(Send("/systemnop 2"), Encoded::Collected);
  EXPECT_EQ(s.scmPtr, 18u);
  EXPECT_EQ(Send("/systemnop 3"), Encoded::Complete);
  EXPECT_EQ(s.sizeScm, 133u + 27u);
  EXPECT_EQ(Header(4, 6), "000146");
  EXPECT_EQ(Header(10, 4), "0001");
  EXPECT_EQ(Header(27, 2), "03");
  Bytes p = Packets();
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(p[9 * k + 3], k) << k;        // sequence counts 0, 1, 2
    EXPECT_EQ(p[9 * k + 8], k + 1) << k;    // the typed argument
    EXPECT_EQ(Sum(p, 9 * k, 9), 0) << k;
  }
  ASSERT_EQ(s.cv.size(), 3u);
  EXPECT_EQ(s.cv[2].seq, 2u);
  EXPECT_EQ(s.seqinc[0], 3);
  auto moved = TakePending(s);
  EXPECT_EQ(moved.size(), 3u);
  EXPECT_TRUE(s.cv.empty());
  EXPECT_EQ(s.scmPtr, 0u);
  EXPECT_EQ(Send("/systemnop"), Encoded::Collected);  // a new SCM begins
}

TEST_F(Scm, LookupTakesTheFirstContainingMnemonicAnyCase) {
  std::string out;
  EXPECT_EQ(SearchDB(s, kDb, "TlmMode", &out, false, {}), 4);
  EXPECT_NE(out.find("IDPUcmd 8"), std::string::npos);
  EXPECT_EQ(out.find(';'), std::string::npos);
  EXPECT_EQ(SearchDB(s, kDb, "nosuch", &out, false, {}), -1);
  EXPECT_EQ(SearchDB(s, kDb, "NoSemi", &out, false, {}), -1);
  EXPECT_TRUE(s.ident.empty());

  ASSERT_EQ(Send("/IDPUTlm"), Encoded::Complete);  // IDPUTlmMode comes before IDPUTlmNominal
  EXPECT_EQ(Data(), (Bytes{0x08}));
  TakePending(s);
  ASSERT_EQ(Send("/idputlmnom"), Encoded::Complete);
  EXPECT_EQ(Data(), (Bytes{0x08, 0x01}));
}

TEST_F(Scm, ThreeLevelsOfNamesAndRefusals) {
  cancelHazard = false;
  ASSERT_EQ(Send("/MAGRangeHigh"), Encoded::Complete);
  EXPECT_EQ(Packets()[0], 0x12);
  EXPECT_EQ(Packets()[1], 0x11);
  EXPECT_EQ(Data(), (Bytes{0x01, 0x01}));
  EXPECT_EQ(hazardAsked, 1);  // MAGRange, met on the second level
  TakePending(s);

  auto r = EncodeCommand(s, "/Deep1", env);
  EXPECT_EQ(r.what, Encoded::TooDeep);
  EXPECT_EQ(r.name, "Deep4");
  r = EncodeCommand(s, "/systemnop bogus", env);
  EXPECT_EQ(r.what, Encoded::Refused);
  EXPECT_EQ(r.name, "bogus");
  EXPECT_EQ(Send("/NoSemi"), Encoded::Refused);
  EXPECT_EQ(Send("/vantis nop"), Encoded::NotValid);
  EXPECT_EQ(Send("/identifier 1"), Encoded::NotValid);
  EXPECT_TRUE(HeaderWordsInLine("cmIDENTIFIER"));
  EXPECT_FALSE(HeaderWordsInLine("cmdIDENTIFIER"));
  EXPECT_FALSE(HeaderWordsInLine("/systemnop   vantis"));
  // None of the refusals counted a packet or a sequence number.
  EXPECT_EQ(s.ccsdsCtr, 0);
  EXPECT_EQ(s.ccsdsSC, 1u);
  EXPECT_TRUE(s.cv.empty());
}

TEST_F(Scm, HazardousCommandAskedAndCancelled) {
  cancelHazard = true;
  EXPECT_EQ(Send("/IDPUReset 1"), Encoded::Refused);
  EXPECT_EQ(hazardAsked, 1);
  EXPECT_EQ(s.canceled, 1);
  EXPECT_EQ(s.ccsdsSC, 0u);
  s.canceled = 0;
  cancelHazard = false;
  ASSERT_EQ(Send("/IDPUReset 1"), Encoded::Complete);
  EXPECT_EQ(Data(), (Bytes{0x01, 0x01}));
  EXPECT_EQ(s.canceled, 0);
}

TEST_F(Scm, BadChecksumSumsToOne) {
  s.badCks = 1;
  ASSERT_EQ(Send("/systemnop 5"), Encoded::Complete);
  EXPECT_EQ(Sum(s.saveScm, 133, s.sizeScm - 133), 1);
}

TEST_F(Scm, MessageNumberCarriesAndWraps) {
  std::uint8_t h[14] = {};
  std::memcpy(h + 10, "0199", 4);
  IncrementMessageNumber(h);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h) + 10, 4), "0200");
  std::memcpy(s.scmStr.data() + 10, "9999", 4);
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  EXPECT_EQ(Header(10, 4), "0000");
}

TEST_F(Scm, CounterAtLimitIsUsedThenWraps) {
  f[scmctl::kSc] = "16383";
  Commit();
  EXPECT_EQ(s.cmdlsh[1], 16383u & ~0xFFu);
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  EXPECT_EQ(Packets()[2], 0xC0 | 0x3F);
  EXPECT_EQ(Packets()[3], 0xFF);
  EXPECT_EQ(s.ccsdsXSC, 16383u);
  EXPECT_EQ(s.ccsdsSC, 0u);
}

TEST_F(Scm, SecondaryHeaderTimeAndCounterChoice) {
  std::tm feb{};
  feb.tm_year = 106;
  feb.tm_mon = 1;
  feb.tm_mday = 1;
  feb.tm_hour = 12;
  feb.tm_isdst = -1;
  const std::uint32_t want = static_cast<std::uint32_t>(std::mktime(&feb) - kCfgTime);
  EXPECT_EQ(SecondaryTime("2006032120000", kCfgTime), want);
  EXPECT_EQ(SecondaryTime("0006032120000", kCfgTime), 0u);

  f[scmctl::kSecHdr] = "1";
  f[scmctl::kSecTime] = "2006032120000";
  f[scmctl::kSubsystem] = "171";
  f[scmctl::kSpareByte] = "205";
  f[scmctl::kRsc] = "7";
  Commit();
  ASSERT_EQ(Send("/systemnop 9"), Encoded::Complete);
  Bytes p = Packets();
  ASSERT_EQ(p.size(), 15u);
  EXPECT_EQ(p[0], 0x1A);  // type and secondary-header flag
  EXPECT_EQ(p[3], 7);     // the secondary-header counter
  EXPECT_EQ(s.wsq, 3);
  EXPECT_EQ((std::uint32_t(p[6]) << 24) | (p[7] << 16) | (p[8] << 8) | p[9], want);
  EXPECT_EQ(p[10], 171);
  EXPECT_EQ(p[11], 205);
  EXPECT_EQ(p[13], 0x00);
  EXPECT_EQ(p[14], 0x09);
  EXPECT_EQ(Sum(p, 0, p.size()), 0);
  EXPECT_EQ((p[4] << 8 | p[5]) + 7, 15);

  f[scmctl::kEnable] = "2026343120000";
  Commit();
  TakePending(s);
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  EXPECT_EQ(s.wsq, 4);
  f[scmctl::kSecHdr] = "0";
  Commit();
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  EXPECT_EQ(s.wsq, 2);
  EXPECT_EQ(s.seqinc, (std::array<int, 4>{0, 1, 1, 1}));
}

TEST_F(Scm, CommandSwapExchangesHeaderPairsOnly) {
  env.cfgcswap = 1;
  ASSERT_EQ(Send("/systemnop 5"), Encoded::Complete);
  EXPECT_EQ(Packets(), (Bytes{0x00, 0x12, 0x00, 0xC0, 0x02, 0x00, 0x27, 0x00, 0x05}));
  EXPECT_EQ(s.cv[0].hex, "001200C00200270005");
  TakePending(s);
  f[scmctl::kSecHdr] = "1";
  f[scmctl::kSubsystem] = "1";
  f[scmctl::kSpareByte] = "2";
  Commit();
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  Bytes p = Packets();
  EXPECT_EQ(p[0], 0x00);
  EXPECT_EQ(p[1], 0x1A);
  EXPECT_EQ(p[10], 0x02);
  EXPECT_EQ(p[11], 0x01);
  EXPECT_EQ(p[13], 0x00);
  EXPECT_EQ(Sum(p, 0, p.size()), 0);
}

TEST_F(Scm, RemarkGoesIntoTheHeaderNotThePacket) {
  s.sremFlg = 1;
  ASSERT_EQ(Send("/systemnop \"pass 12 begins\""), Encoded::Complete);
  EXPECT_EQ(Data(), (Bytes{0x00}));
  EXPECT_EQ(Header(60, 72), std::string(72 - 14, ' ') + "pass 12 begins");
  EXPECT_EQ(s.sremFlg, 0);
}

TEST_F(Scm, ScriptFieldsOfTheCurrentLevel) {
  s.scf = 2;
  s.scripts[2] = {37, "0003", "checkout"};
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  EXPECT_EQ(Header(60, 8), "00370003");
  EXPECT_EQ(Header(68, 32), std::string(24, ' ') + "checkout");
}

TEST_F(Scm, PanelChecksRefuseAndKeepTheHeader) {
  struct Case {
    int control;
    std::string text;
    const char* message;
  };
  const std::vector<Case> bad = {
      {41, "VANTI", msg::kFacilityLength},   {27, "E", msg::kSpacecraftLength},
      {25, "1", msg::kPacketsLength},        {25, "00", msg::kPacketsLength},
      {25, "x1", msg::kPacketsLength},       {24, "000", msg::kEnableLength},
      {3, "--", msg::kTimeoutLength},        {2, "86401", msg::kDeltaLength},
      {2, "0000", msg::kDeltaLength},        {38, "SCM", msg::kMsgTypeLength},
      {40, "1", msg::kTwoCharacters},        {39, "--", msg::kThreeCharacters},
      {37, "4", msg::kSeqFlagsRange},        {37, "x", msg::kSeqFlagsRange},
      {33, "16384", msg::kCounterRange},     {30, "abc", msg::kCounterRange},
      {29, "2006032", msg::kSecTimeLength},  {28, "256", msg::kByteRange},
      {26, "999", msg::kByteRange},          {36, "8", msg::kVersionRange},
      {35, "2", msg::kBitRange},             {34, "9", msg::kBitRange},
  };
  f[scmctl::kPackets] = "02";
  Commit();
  ASSERT_EQ(Send("/systemnop"), Encoded::Collected);
  const Bytes before(s.scmStr.begin(), s.scmStr.begin() + 200);
  for (const Case& c : bad) {
    Fields g = f;
    g[c.control] = c.text;
    auto errs = MocHeaderCommit(s, c.control, g, kCfgTime);
    ASSERT_EQ(errs.size(), 1u) << c.control << " " << c.text;
    EXPECT_EQ(errs[0].control, c.control);
    EXPECT_STREQ(errs[0].message, c.message);
    EXPECT_EQ(s.mocStr[c.control], c.text);
  }
  EXPECT_EQ(Bytes(s.scmStr.begin(), s.scmStr.begin() + 200), before);
  EXPECT_EQ(s.ccsdsCtr, 1);
  EXPECT_EQ(s.cv.size(), 1u);

  // A refused field left on the panel blocks the commit of another field too.
  Fields g = f;
  g[scmctl::kFacility] = "VANT";
  g[scmctl::kSpacecraft] = "EB";
  auto errs = MocHeaderCommit(s, scmctl::kSpacecraft, g, kCfgTime);
  ASSERT_EQ(errs.size(), 1u);
  EXPECT_EQ(errs[0].control, scmctl::kFacility);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.scmStr.data()) + 25, 2), "EA");

  // An accepted commit copies the panel and abandons the SCM being built.
  f[scmctl::kSpacecraft] = "EB";
  f[scmctl::kDelta] = "86400";
  EXPECT_TRUE(MocHeaderCommit(s, scmctl::kSpacecraft, f, kCfgTime).empty());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.scmStr.data()) + 25, 2), "EB");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.scmStr.data()) + 55, 5), "86400");
  EXPECT_EQ(s.ccsdsCtr, 0);
  EXPECT_EQ(s.scmPtr, 0u);
  EXPECT_TRUE(s.cv.empty());
  EXPECT_EQ(s.scmStr[133], 0);
}

TEST_F(Scm, LinesTooLongForTheBuffersAreRefusedWithoutCounting) {
  EXPECT_EQ(Send("/systemnop \"" + std::string(70000, 'a') + "\""), Encoded::TooLong);
  EXPECT_EQ(Send("/systemnop \"" + std::string(120000, 'a') + "\""), Encoded::TooLong);
  f[scmctl::kPackets] = "02";
  Commit();
  ASSERT_EQ(Send("/systemnop \"" + std::string(60000, 'a') + "\""), Encoded::Collected);
  EXPECT_EQ(Send("/systemnop \"" + std::string(60000, 'b') + "\""), Encoded::TooLong);
  EXPECT_EQ(s.ccsdsCtr, 1);
  EXPECT_EQ(s.ccsdsSC, 1u);
  EXPECT_EQ(s.seqinc[0], 1);
  EXPECT_EQ(s.cv.size(), 1u);
  // A short second packet still completes the SCM.
  ASSERT_EQ(Send("/systemnop"), Encoded::Complete);
  EXPECT_EQ(s.sizeScm, 133u + 60008u + 8u);
}

TEST_F(Scm, CountersStepBackByTheirTallies) {
  s.ccsdsSC = 1;
  s.ccsdsRSC = 5;
  s.seqinc = {3, 0, 2, 0};
  StepCountersBack(s);
  EXPECT_EQ(s.ccsdsSC, 0u);
  EXPECT_EQ(s.ccsdsRSC, 3u);
  EXPECT_EQ(s.seqinc, (std::array<int, 4>{0, 0, 0, 0}));
}

// A stored SCM gets the station's counts: each packet the next value of the counter of its kind,
// its checksum made again, a pending entry each; a message whose packet runs past its end moves
// nothing.
TEST(StampScm, CountersChecksumsAndPendingEntries) {
  ScmState s;
  s.ccsdsSC = 7;
  s.ccsdsRSC = 16383;
  std::vector<std::uint8_t> scm(133, ' ');
  scm[27] = '0';
  scm[28] = '2';
  scm[29] = '-';  // not time-tagged
  // One packet without secondary header, one with; sequence counts and checksums as found.
  std::vector<std::uint8_t> a{0x12, 0x00, 0xC5, 0x55, 0x00, 0x01, 0x99, 0x42};
  std::vector<std::uint8_t> b{0x12 | 0x08, 0x00, 0xC0, 0x01, 0x00, 0x07, 1, 2, 3, 4, 5, 6, 0x77, 0x42};
  scm.insert(scm.end(), a.begin(), a.end());
  scm.insert(scm.end(), b.begin(), b.end());
  ASSERT_TRUE(StampScm(s, scm.data(), scm.size(), 0));
  const std::uint8_t* p1 = scm.data() + 133;
  const std::uint8_t* p2 = p1 + a.size();
  EXPECT_EQ(p1[2], 0xC0);  // count 7 from the counter without secondary header
  EXPECT_EQ(p1[3], 7);
  EXPECT_EQ(p2[3], 0xFF);  // 16383 from the secondary-header counter, which then wraps
  EXPECT_EQ(p2[2], 0xC0 | 0x3F);
  EXPECT_EQ(s.ccsdsSC, 8u);
  EXPECT_EQ(s.ccsdsRSC, 0u);
  EXPECT_EQ(s.seqinc[0], 1);
  EXPECT_EQ(s.seqinc[2], 1);
  for (const std::uint8_t* p : {p1, p2}) {
    std::size_t len = (p[4] << 8 | p[5]) + 7u;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    EXPECT_EQ(sum, 0);
  }
  ASSERT_EQ(s.cv.size(), 2u);
  EXPECT_EQ(s.cv[1].seq, 16383u);

  ScmState t;
  std::vector<std::uint8_t> cut(scm.begin(), scm.end() - 1);
  EXPECT_FALSE(StampScm(t, cut.data(), cut.size(), 0));
  // Bytes past the counted packets (here: the header counts one of the two) would leave
  // unstamped, and a message that counts no packet has nothing to stamp.
  std::vector<std::uint8_t> extra = scm;
  extra[28] = '1';
  EXPECT_FALSE(StampScm(t, extra.data(), extra.size(), 0));
  extra[28] = '0';
  EXPECT_FALSE(StampScm(t, extra.data(), extra.size(), 0));
  EXPECT_EQ(t.ccsdsSC, 0u);
  EXPECT_TRUE(t.cv.empty());
}
