#include <gtest/gtest.h>

#include <string>

#include "arr.h"
#include "scm_helpers.h"

using namespace mocsim;
using mocsimtest::scm;
using mocsimtest::telecommand;

TEST(MocsimArr, BuiltFromTheAnsweredScm) {
  auto s = scm({telecommand(0x200, 77, {8, 1})});
  Arr a = buildArr(s.data(), s.size(), 13, "2006032120000");
  std::string text(reinterpret_cast<const char*>(a.data()), 30);
  EXPECT_EQ(text, "ARR-0000550042" "2006032120000" "013");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.data()) + 30, 32), std::string(s.begin() + 100, s.begin() + 132));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(a[62 + i], s[133 + i]) << i;
  EXPECT_EQ(a[68], 0);
  EXPECT_EQ(arrCode(a), 13);
}

TEST(MocsimArr, HeartbeatAndTimeField) {
  Arr h = buildHeartbeat(arrTime(1138795200));  // 2006-02-01 12:00:00 UTC
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.data()), 30), "ARR-0000550000" "2006032120000" "004");
  EXPECT_EQ(arrCode(h), kArrHeartbeat);
  // Short input: fields that are not there stay blank or zero rather than reading past the end.
  uint8_t few[12] = {'S', 'C', 'M', '-', '0', '0', '0', '1', '1', '9', '1', '2'};
  Arr a = buildArr(few, sizeof few, 7, "2006032120000");
  EXPECT_EQ(a[10], '1');
  EXPECT_EQ(a[12], '0');
  EXPECT_EQ(a[30], ' ');
  EXPECT_EQ(a[62], 0);
}

TEST(MocsimScm, FramingByLengthField) {
  auto s = scm({telecommand(0x200, 1, {1})});
  size_t total = 0;
  EXPECT_EQ(scmFrame(s.data(), 9, total), Frame::NeedMore);
  EXPECT_EQ(scmFrame(s.data(), 140, total), Frame::NeedMore);
  EXPECT_EQ(total, s.size());
  EXPECT_EQ(scmFrame(s.data(), s.size(), total), Frame::Complete);
  std::string junk = "HELLO WORLD";
  EXPECT_EQ(scmFrame(reinterpret_cast<const uint8_t*>(junk.data()), junk.size(), total), Frame::Invalid);
}

TEST(MocsimScm, WellFormedMessageIsAcceptedAndDecoded) {
  auto s = scm({telecommand(0x200, 77, {8, 1}), telecommand(0x305, 3, {2, 0x10, 0x20}, true)}, "0042");
  ScmInfo i = parseScm(s.data(), s.size(), false);
  EXPECT_EQ(i.code, kArrChecksum) << i.problem;  // the second packet's bytes add up to 1
  EXPECT_EQ(i.msgNumber, "0042");
  ASSERT_EQ(i.packets.size(), 2u);
  EXPECT_EQ(i.packets[0].apid, 0x200);
  EXPECT_EQ(i.packets[0].seq, 77);
  EXPECT_TRUE(i.packets[0].checksumOk);
  EXPECT_EQ(i.packets[0].data, (std::vector<uint8_t>{8, 1}));
  EXPECT_EQ(i.packets[0].commandId, 0x00);
  EXPECT_EQ(i.packets[1].apid, 0x305);
  EXPECT_EQ(i.packets[1].commandId, 0x85);
  EXPECT_FALSE(i.packets[1].checksumOk);
  auto fine = scm({telecommand(0x200, 77, {8, 1}), telecommand(0x305, 3, {2, 0x10, 0x20})}, "0042");
  EXPECT_EQ(parseScm(fine.data(), fine.size(), false).code, kArrSuccess);
}

// Each malformation's code with the exact ARR is shown over loopback (test_loopback.cpp); here the
// checks that need no server: precedence, and any cut of a message never reading past its end.
TEST(MocsimScm, MocChecksGiveTheirCodes) {
  auto good = scm({telecommand(0x200, 1, {1})});
  auto fac = scm({telecommand(0x200, 1, {1})}, "0001", "EA", "NOBODY");
  EXPECT_EQ(parseScm(fac.data(), fac.size(), false).code, kArrBadFacility);
  // A secondary-header packet too short to hold its secondary header.
  auto sh = good;
  sh[133] |= 0x08;
  EXPECT_EQ(parseScm(sh.data(), sh.size(), false).code, kArrPacketTooShort);
  // Bad checksum, but a structural fault is what the MOC reports first.
  auto both = scm({telecommand(0x200, 1, {1}, true)}, "0001", "EA", "VANTIS", 2);
  EXPECT_EQ(parseScm(both.data(), both.size(), false).code, kArrPacketCountMismatch);
  auto endAndCount = scm({telecommand(0x200, 1, {1})}, "0001", "EA", "VANTIS", 2);
  endAndCount[132] = ' ';
  EXPECT_EQ(parseScm(endAndCount.data(), endAndCount.size(), false).code, kArrHeaderEndMissing);
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
    EXPECT_NE(parseScm(cut.data(), cut.size(), false).code, kArrSuccess) << n;
  }
  EXPECT_EQ(parseScm(good.data(), 100, false).code, kArrBadHeader);
}

TEST(MocsimScm, HeaderPairsExchangedByTheStation) {
  auto pk = telecommand(0x212, 300, {5, 6});
  bytswp(pk.data(), 3);  // the six header bytes before the checksum byte leave in exchanged pairs
  auto s = scm({pk});
  ScmInfo i = parseScm(s.data(), s.size(), true);
  EXPECT_EQ(i.code, kArrSuccess) << i.problem;
  ASSERT_EQ(i.packets.size(), 1u);
  EXPECT_EQ(i.packets[0].apid, 0x212);
  EXPECT_EQ(i.packets[0].seq, 300);
  EXPECT_NE(parseScm(s.data(), s.size(), false).code, kArrSuccess);
}
