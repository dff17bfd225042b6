#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "links/arr.h"

using namespace korvex;

namespace {
ArrBytes MakeArr(const char* code, const char* number = "0042") {
  ArrBytes a{};
  std::string text = std::string("ARR-000055") + number + "2026343101500" + code;
  text += std::string(32 - 9, ' ') + "systemnop";
  std::memcpy(a.data(), text.data(), text.size());
  const std::uint8_t head[6] = {0x12, 0x00, 0xC0, 0x05, 0x00, 0x01};
  std::memcpy(a.data() + 62, head, 6);
  return a;
}
}  // namespace

TEST(Arr, CodeFieldReadsLeadingDigitsAndGarbageAsSuccess) {
  EXPECT_EQ(ArrCode(MakeArr("004").data()), 4);
  EXPECT_EQ(ArrCode(MakeArr("013").data()), 13);
  EXPECT_EQ(ArrCode(MakeArr("107").data()), 107);
  EXPECT_EQ(ArrCode(MakeArr("abc").data()), 0);
  EXPECT_EQ(ArrCode(MakeArr("1x3").data()), 1);
  EXPECT_EQ(ArrCode(MakeArr(" 22").data()), 22);
}

TEST(Arr, CodesMapToTableRows) {
  for (int c = 0; c <= 19; ++c) EXPECT_EQ(ArrRow(c), c);
  EXPECT_EQ(ArrRow(104), 20);
  EXPECT_EQ(ArrRow(108), 24);
  EXPECT_EQ(ArrRow(20), 23);
  EXPECT_EQ(ArrRow(103), 23);
  EXPECT_EQ(ArrRow(109), 23);
  EXPECT_EQ(ArrRow(-3), 23);
  EXPECT_STREQ(ArrRowText(ArrRow(13)), " 13  End of MOC control header missing");
  EXPECT_STREQ(ArrRowText(ArrRow(106)), " 22  Checksum error");
  EXPECT_STREQ(ArrRowText(ArrRow(999)), " 23  Unknown error");
  EXPECT_STREQ(ArrRowText(0), "  0  Success");
}

TEST(Arr, DisplayLinesForSuccessAndError) {
  ArrBytes ok = MakeArr("000");
  std::string text(reinterpret_cast<const char*>(ok.data()), 62);
  EXPECT_EQ(ArrLine(ok.data(), true), text + "1200C0050001" "00" "\r");
  ArrBytes bad = MakeArr("013");
  std::string badText(reinterpret_cast<const char*>(bad.data()), 62);
  EXPECT_EQ(ArrLine(bad.data(), false), badText + "^00C0050001" "00" "\r");
  EXPECT_EQ(ArrLine(bad.data(), false).size(), 62u + 1 + 12 + 1);
  EXPECT_EQ(ArrLine(ok.data(), true).size(), 62u + 14 + 1);
}

TEST(Arr, StationArrFromAnScm) {
  std::string scm(133, ' ');
  std::memcpy(&scm[0], "SCM-000127", 10);
  std::memcpy(&scm[10], "0815", 4);
  std::string desc = "sep reset";
  std::memcpy(&scm[132 - desc.size()], desc.data(), desc.size());
  scm[132] = 0x0C;
  scm += std::string("\x24\x40\xC0\x07\x00\x01\x55\x01", 8);
  auto a = BuildStationArr(reinterpret_cast<const std::uint8_t*>(scm.data()), scm.size(), "107",
                           "2026343101500");
  std::string head(reinterpret_cast<const char*>(a.data()), 62);
  EXPECT_EQ(head, "ARR-000055" "0815" "2026343101500" "107" + std::string(23, ' ') + "sep reset");
  const std::uint8_t tail[7] = {0x24, 0x40, 0xC0, 0x07, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(a.data() + 62, tail, 7), 0);

  // An SCM cut short: what is missing counts as zero bytes.
  auto shortArr = BuildStationArr(reinterpret_cast<const std::uint8_t*>("SCM-0001"), 8, "109",
                                  "2026343101500");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(shortArr.data()), 14),
            std::string("ARR-000055") + std::string(4, '\0'));
  EXPECT_EQ(ArrCode(shortArr.data()), 109);
  EXPECT_EQ(shortArr[30], 0);
}

TEST(Arr, AssemblerJoinsSplitRecordsAndResynchronises) {
  ArrBytes a = MakeArr("004"), b = MakeArr("013");
  ArrAssembler as;
  ArrBytes out{};
  as.Add(a.data(), 30);
  EXPECT_FALSE(as.Next(&out));
  as.Add(a.data() + 30, 39);
  ASSERT_TRUE(as.Next(&out));
  EXPECT_EQ(out, a);
  EXPECT_FALSE(as.Next(&out));

  // Garbage ahead of a record, then two records in one read.
  std::string chunk = "xyzAR";
  chunk += std::string(reinterpret_cast<const char*>(a.data()), 69);
  chunk += std::string(reinterpret_cast<const char*>(b.data()), 69);
  as.Add(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size());
  ASSERT_TRUE(as.Next(&out));
  EXPECT_EQ(out, a);
  ASSERT_TRUE(as.Next(&out));
  EXPECT_EQ(out, b);
  EXPECT_EQ(as.TakeSkipped(), 5u);

  // A record cut short and followed by a whole one: the whole one is read unharmed.
  as.Add(a.data(), 20);
  as.Add(b.data(), 69);
  ASSERT_TRUE(as.Next(&out));
  EXPECT_EQ(out, b);
  EXPECT_EQ(as.TakeSkipped(), 20u);
  EXPECT_EQ(as.held(), 0u);
}
