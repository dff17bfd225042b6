#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "links/sepscm.h"

using namespace korvex;

namespace {

// An SCM of the given packets: 133-byte header ("SCM-", length, count, name fields), packets after.
std::vector<std::uint8_t> Scm(const std::vector<std::vector<std::uint8_t>>& packets,
                              const std::string& store = "", const std::string& name = "NAME") {
  std::vector<std::uint8_t> s(kScmHeader, ' ');
  std::memcpy(s.data(), "SCM-", 4);
  s[132] = 0x0C;
  std::string count = (packets.size() < 10 ? "0" : "") + std::to_string(packets.size());
  std::memcpy(s.data() + 27, count.data(), 2);
  std::memcpy(s.data() + 68 + 32 - store.size(), store.data(), store.size());
  std::memcpy(s.data() + 100, name.data(), name.size());
  for (const auto& p : packets) s.insert(s.end(), p.begin(), p.end());
  char len[8];
  std::snprintf(len, sizeof len, "%06zu", s.size() - 14);
  std::memcpy(s.data() + 4, len, 6);
  return s;
}

std::vector<std::uint8_t> Packet(std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> p(7 + data.size(), 0);
  const std::uint8_t head[7] = {0x1A, 0x40, 0xC0, 0x00, 0, static_cast<std::uint8_t>(data.size()), 0};
  std::copy(head, head + 7, p.begin());
  std::copy(data.begin(), data.end(), p.begin() + 7);
  std::uint8_t sum = 0;
  for (auto b : p) sum = static_cast<std::uint8_t>(sum + b);
  p[6] = static_cast<std::uint8_t>(-sum);
  return p;
}

}  // namespace

TEST(SepAssembly, PartsCompleteOnceAndExcessOrOversizeIsRefused) {
  auto scm = Scm({Packet({1, 2, 3})});
  SepAssembly a;
  EXPECT_EQ(AppendSepPart(a, scm.data(), 50), SepStep::NeedMore);
  EXPECT_EQ(AppendSepPart(a, scm.data() + 50, 50), SepStep::NeedMore);
  EXPECT_EQ(AppendSepPart(a, scm.data() + 100, scm.size() - 100), SepStep::Complete);
  EXPECT_TRUE(a.buf == scm);

  a.reset();
  std::vector<std::uint8_t> more = scm;
  more.push_back(0);  // one byte too many
  EXPECT_EQ(AppendSepPart(a, more.data(), more.size()), SepStep::TooMany);

  // A length field announcing more than the buffer holds never gets to write past it.
  a.reset();
  auto huge = scm;
  std::memcpy(huge.data() + 4, "999999", 6);
  EXPECT_EQ(AppendSepPart(a, huge.data(), huge.size()), SepStep::TooMany);
  EXPECT_TRUE(a.buf.empty());
  a.reset();
  auto junk = scm;
  std::memcpy(junk.data() + 4, "00x119", 6);
  EXPECT_EQ(AppendSepPart(a, junk.data(), junk.size()), SepStep::TooMany);
}

TEST(SepAssembly, StoreFileNamesStayInTheScmFolder) {
  auto ok = Scm({}, "SEQ 01");
  EXPECT_EQ(StoreFilePath(ok.data(), ok.size()), std::optional<std::string>("scm/SEQ01.SCM"));
  for (const char* bad : {"../etc/x", "a/b", "c:\\x", "..", ""}) {
    auto s = Scm({}, bad);
    EXPECT_FALSE(StoreFilePath(s.data(), s.size())) << bad;
  }
  auto named = Scm({}, "", "PWRON SEQ");
  EXPECT_EQ(ScmName(named.data(), named.size()), "PWRON");
  auto right = Scm({}, "", "                      PWRON SEQ");
  EXPECT_EQ(ScmName(right.data(), right.size()), "PWRON");
}

TEST(SepAssembly, EveryPacketMustSumToZeroInsideTheMessage) {
  auto good = Scm({Packet({1, 2}), Packet({3, 4, 5})});
  EXPECT_TRUE(PacketsSumToZero(good.data(), good.size(), 0));
  auto bad = good;
  bad[kScmHeader + 7] ^= 1;
  EXPECT_FALSE(PacketsSumToZero(bad.data(), bad.size(), 0));
  auto cut = good;
  cut.resize(cut.size() - 1);  // the last packet runs past the message
  EXPECT_FALSE(PacketsSumToZero(cut.data(), cut.size(), 0));
  // Length fields with their pairs exchanged.
  auto sw = good;
  for (std::size_t at : {kScmHeader, kScmHeader + 9}) std::swap(sw[at + 4], sw[at + 5]);
  EXPECT_FALSE(PacketsSumToZero(sw.data(), sw.size(), 0));
  EXPECT_TRUE(PacketsSumToZero(sw.data(), sw.size(), 1));
}

TEST(SepScm, PacketLengthsFollowTheCountAndStayInsideTheMessage) {
  auto s = Scm({Packet({1, 2}), Packet({3, 4, 5})});
  auto l = PacketLengths(s.data(), s.size(), 0);
  ASSERT_TRUE(l.has_value());
  EXPECT_EQ(*l, (std::vector<std::size_t>{9, 10}));
  s[28] = '3';  // one packet more than there is
  EXPECT_FALSE(PacketLengths(s.data(), s.size(), 0).has_value());
  s[28] = 'x';
  EXPECT_FALSE(PacketLengths(s.data(), s.size(), 0).has_value());
  // With exchanged pairs the length field is read low byte first: 0x0200 + 7 runs past.
  s = Scm({Packet({1, 2})});
  EXPECT_FALSE(PacketLengths(s.data(), s.size(), 1).has_value());
}

TEST(SepScm, OnlyAStoredScmSendIsALineTheCommandServerRuns) {
  EXPECT_EQ(CheckSepLine("SEND TEST1"), SepLine::Send);
  EXPECT_EQ(CheckSepLine("send test1.scm"), SepLine::Send);
  // Lines the keyword table reads as another command, however they begin.
  for (const char* l : {"SEND START X", "send set moc off", "send savecmd", "SENDSCM OFF",
                        "send scm1", "send schedule x", "sendstartsequence ram 1 f",
                        "send /idpunoop"})
    EXPECT_NE(CheckSepLine(l), SepLine::Send) << l;
  for (const char* l : {"send ../cfg/korvex", "send /etc/passwd", "send a\\b", "send c:x", "send ",
                        "send"})
    EXPECT_NE(CheckSepLine(l), SepLine::Send) << l;
  EXPECT_EQ(SendLinePath("SEND TEST1"), "scm/TEST1.SCM");
  EXPECT_EQ(SendLinePath("send test1.scm  "), "scm/test1.scm");
}
