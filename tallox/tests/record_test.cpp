#include <gtest/gtest.h>

#include <cstring>

#include "core/record.h"
#include "test_util.h"

using namespace tallox;
using tallox::test::MakeRecord;
using tallox::test::Pkt;

TEST(TalloxUncompress, LawIsContinuousAndReachesTheTop) {
  EXPECT_EQ(Uncompress(0x00), 0u);
  EXPECT_EQ(Uncompress(0x1F), 31u);
  EXPECT_EQ(Uncompress(0x20), 32u);
  EXPECT_EQ(Uncompress(0x2F), 62u);
  EXPECT_EQ(Uncompress(0x30), 64u);
  EXPECT_EQ(Uncompress(0xFF), 507904u);
  // Monotonic over the whole byte range: every code stands for more than the one before.
  for (unsigned b = 1; b < 256; ++b) EXPECT_GT(Uncompress(b), Uncompress(b - 1)) << b;
}

TEST(TalloxTimeConversions, GetUTCInvertsGetTime1AcrossDecades) {
  for (std::uint64_t t = 0; t < 0xFFFFFFFFull; t += 7919ull * 3600 + 1234) {
    const std::string text = GetTime1(static_cast<std::uint32_t>(t));
    ASSERT_EQ(text.size(), 20u) << text;
    auto back = GetUTC(text);
    ASSERT_TRUE(back.has_value()) << text;
    ASSERT_EQ(*back, static_cast<std::int64_t>(t)) << text;
  }
}

TEST(TalloxTimeConversions, KnownInstantsAndLayouts) {
  EXPECT_EQ(GetTime1(0), "1958 JAN  1 00:00:00");
  // 2006-01-04 12:30:00 UTC is Unix 1136377800.
  const std::uint32_t t = 1136377800u + kMissionToUnix;
  EXPECT_EQ(GetTime1(t), "2006 JAN  4 12:30:00");
  EXPECT_EQ(GetTime2(t), " 12:30:00");
  EXPECT_EQ(GetTimeX(t), "JAN/ 4/2006 12:30:00");
  EXPECT_EQ(GetTime1(t + 86400 * 300), "2006 OCT 31 12:30:00");
  // Leap day and the end of a leap year.
  EXPECT_EQ(GetTime1(*GetUTC32("2008 FEB 29 23:59:59") + 1), "2008 MAR  1 00:00:00");
  EXPECT_EQ(GetTime1(*GetUTC32("2000 DEC 31 00:00:00")), "2000 DEC 31 00:00:00");
}

TEST(TalloxTimeConversions, MonthWordsAndUnreadableTexts) {
  // Month words in any case, abbreviated or whole; a word that is no month is refused, not
  // read as some month.
  const std::int64_t jan = *GetUTC("2006 JAN 4 12:30:00");
  for (const char* t : {"2006 Jan 4 12:30:00", "2006 jan 4 12:30:00", "2006 JANUARY 4 12:30:00",
                        "2006 january 4 12:30:00"})
    EXPECT_EQ(GetUTC(t), jan) << t;
  EXPECT_EQ(*GetUTC("2006 sep 4 12:30:00") - jan, 243 * 86400);
  std::string why;
  for (const char* t : {"2006 Foo 4 12:30:00", "2006 JANX 4 12:30:00", "2006 JA 4 12:30:00"}) {
    EXPECT_FALSE(GetUTC(t, &why).has_value()) << t;
    EXPECT_NE(why.find("is no month"), std::string::npos) << why;
  }
  EXPECT_FALSE(GetUTC("").has_value());
  EXPECT_FALSE(GetUTC("yesterday").has_value());
  EXPECT_FALSE(GetUTC("2006 JAN 4").has_value());
  EXPECT_EQ(*GetUTC32("1900 JAN 1 00:00:00"), 0u);  // before 1958 clamps
}

TEST(TalloxTimeConversions, FractionsOfTheSwappedRecord) {
  Pkt p;
  p.sec = 1136377800u + kMissionToUnix;
  p.frac = 128;  // half a second
  p.frac2 = 64;  // 64/65536
  auto r = MakeRecord(p);
  SwapTelemetryBytes(r.data(), true);
  EXPECT_EQ(GetTime(r.data()), "2006 JAN  4 12:30:00.50");
  EXPECT_EQ(GetTimeL(r.data()), "2006 JAN  4 12:30:00.5010");
}

TEST(TalloxAccessors, ByteOrderToggleReadsBothStorageForms) {
  Pkt p;
  p.apid = 0x241;
  p.seq = 0x1234;
  p.be16(20, 0xBEEF);
  auto trans = MakeRecord(p);
  auto swapped = trans;
  SwapPairs(swapped.data());
  EXPECT_EQ(PacketApid(trans.data(), true), 0x241u);
  EXPECT_EQ(PacketApid(swapped.data(), false), 0x241u);
  EXPECT_EQ(PacketSeqCount(trans.data(), true), 0x1234u);
  EXPECT_EQ(PacketSeqCount(swapped.data(), false), 0x1234u);
  EXPECT_EQ(SwapWord(trans.data(), 10, true), 0xBEEFu);
  EXPECT_EQ(SwapWord(swapped.data(), 10, false), 0xBEEFu);
  EXPECT_EQ(GetByteSwapped(trans.data(), 46, true), GetByte(swapped.data(), 46));
  EXPECT_EQ(PacketSeconds(trans.data(), true), PacketSeconds(swapped.data(), false));
  // After SwapTelemetryBytes both are the same in-memory form.
  SwapTelemetryBytes(trans.data(), true);
  SwapTelemetryBytes(swapped.data(), false);
  EXPECT_EQ(0, std::memcmp(trans.data(), swapped.data(), kRecordSize));
  EXPECT_EQ(GetApID(trans.data()), 0x241u);
  EXPECT_EQ(GetWord(trans.data(), 46), 0xBEEFu);
  EXPECT_EQ(GetLong3412(trans.data(), 32), p.sec);
  // The header is never swapped.
  EXPECT_EQ(GetByte(trans.data(), 6), 0xEAu);
}

TEST(TalloxAccessors, WideReadsAndApidClasses) {
  std::uint8_t d[kDataBufSize] = {};
  d[40] = 0x11, d[41] = 0x22, d[42] = 0x33, d[43] = 0x44;
  EXPECT_EQ(GetWord(d, 40), 0x2211u);
  EXPECT_EQ(GetWord21(d, 40), 0x1122u);
  EXPECT_EQ(GetLong(d, 40), 0x44332211u);
  EXPECT_EQ(GetLong3412(d, 40), 0x22114433u);
  EXPECT_EQ(GetLong4321(d, 40), 0x11223344u);
  EXPECT_TRUE(IsKnownApid(0));
  EXPECT_TRUE(IsKnownApid(255));
  EXPECT_FALSE(IsKnownApid(256));
  EXPECT_FALSE(IsKnownApid(0x1FF));
  EXPECT_TRUE(IsKnownApid(0x27F));
  EXPECT_FALSE(IsKnownApid(0x280));
  EXPECT_TRUE(IsKnownApid(0x37F));
  EXPECT_FALSE(IsKnownApid(0x380));
}

TEST(TalloxChecksum, GoodPacketsSumToZeroAndOneBitBreaksIt) {
  Pkt p;
  for (int i = 12; i < 200; ++i) p.byte(i, static_cast<unsigned>(i * 37));
  auto r = MakeRecord(p);
  EXPECT_EQ(PacketChecksum(r.data()), 0u);
  // Same sum in either storage order.
  SwapPairs(r.data());
  EXPECT_EQ(PacketChecksum(r.data()), 0u);
  r[kHeaderSize + 150] ^= 0x01;
  EXPECT_NE(PacketChecksum(r.data()), 0u);
  // Against a plain byte sum on arbitrary data.
  for (int seed = 1; seed < 50; ++seed) {
    unsigned plain = 0;
    for (int i = kHeaderSize; i < kRecordSize; ++i) {
      r[i] = static_cast<std::uint8_t>(seed * 131 + i * i);
      plain += r[i];
    }
    EXPECT_EQ(PacketChecksum(r.data()), plain & 0xFF);
    EXPECT_EQ(PacketChecksumPortable(r.data()), plain & 0xFF);
  }
}
