#include <gtest/gtest.h>

#include <cstring>

#include "links/logfmt.h"

using namespace korvex;

TEST(LogFormat, UpperCaseDateTimeAndColour) {
  LogState s;
  LogLine l = FormatLog(s, "Telemetry resumed!", kGreen, "01-04-2006", "12:30:05");
  EXPECT_EQ(l.line, "01-04-2006 12:30:05 TELEMETRY RESUMED!");
  EXPECT_EQ(l.listEntry, std::string("\033fg007a00") + l.line);
  std::string text;
  EXPECT_EQ(EntryColour(l.listEntry, &text), 0x007A00);
  EXPECT_EQ(text, l.line);
  EXPECT_EQ(EntryColour("plain", &text), -1);
}

TEST(LogFormat, ScriptColourAppliesOnceAndLongLinesAreCutInTheListOnly) {
  LogState s;
  s.scrcol = 1;
  EXPECT_EQ(EntryColour(FormatLog(s, "a", kRed, "d", "t").listEntry, nullptr), 0x0000FF);
  EXPECT_EQ(s.scrcol, 0);
  EXPECT_EQ(EntryColour(FormatLog(s, "a", kRed, "d", "t").listEntry, nullptr), 0xFF0000);

  LogLine l = FormatLog(s, std::string(2000, 'x'), kBlack, "01-04-2006", "12:30:05");
  EXPECT_EQ(l.listEntry.size(), kListEntryMax);
  EXPECT_EQ(l.line.size(), 20u + 2000u);
}

TEST(LogFormat, GetTimeIsThirteenDigits) {
  std::tm t{};
  t.tm_year = 106;
  t.tm_yday = 3;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 9;
  EXPECT_EQ(GetTime(t), "2006004070509");
}

namespace {
// Event packet in the station's byte order with cfgtswap 0: time bytes big-endian as they are.
struct EventPacket {
  std::uint8_t p[272] = {};
  void entry(int k, std::uint8_t type, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
             std::uint32_t t) {
    std::uint8_t* e = p + kEventFirst + 8 * k;
    e[0] = type;
    e[1] = b1;
    e[2] = b2;
    e[3] = b3;
    e[4] = static_cast<std::uint8_t>(t >> 24);
    e[5] = static_cast<std::uint8_t>(t >> 16);
    e[6] = static_cast<std::uint8_t>(t >> 8);
    e[7] = static_cast<std::uint8_t>(t);
  }
};
const long kJan4 = 1136377805;  // 2006-01-04 12:30:05 UTC
}  // namespace

TEST(EventPacket, EntryKindsAndLookups) {
  std::vector<std::string> errdb = {"E1\t5\tPower fault", "E2\t17\tHeater stuck\tX"};
  std::vector<std::string> cmds = {"HEADER line", "IDPUNoop 0x200 ; 0", "SEPReset 0x240 ; 1",
                                   "BRMReset 0x305 ; 0"};
  EventPacket e;
  e.entry(0, 1, 0x01, 17, 0x03, 100);
  e.entry(1, 1, 0x01, 99, 0x03, 100);
  e.entry(2, 2, 0x00, 0x40, 0x00, 100);
  e.entry(3, 2, 0x00, 0x85, 0x00, 100);  // 0x85 + 0x280 = 0x305
  e.entry(4, 2, 0x00, 0x7F, 0x00, 100);  // 0x27F: none, last examined stands
  e.entry(5, 3, 0x00, 0x1C, 0x00, 100);
  e.entry(6, 9, 0xAA, 0xBB, 0xCC, 100);
  auto lines = DecodeEventPacket(e.p, 0, kJan4 - 100, errdb, cmds);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "2006 JAN 04 12:30:05 ERR 01 11 03 E2 17 Heater stuck X");
  EXPECT_EQ(lines[1], "2006 JAN 04 12:30:05 ERR 01 63 03 Unrecognized error!");
  EXPECT_EQ(lines[2], "2006 JAN 04 12:30:05 CMD 00 40 00 SEPReset");
  EXPECT_EQ(lines[3], "2006 JAN 04 12:30:05 CMD 00 85 00 BRMReset");
  EXPECT_EQ(lines[4], "2006 JAN 04 12:30:05 CMD 00 7F 00 BRMReset");
  EXPECT_EQ(lines[5], "2006 JAN 04 12:30:05 SEQ 1C ");
  EXPECT_EQ(lines[6], "2006 JAN 04 12:30:05 09 AA BB CC ");
}

TEST(EventPacket, FullEmptyOverrunAndSwappedTime) {
  EventPacket full;
  for (int k = 0; k < kEventEntries; ++k) full.entry(k, 3, 0, static_cast<std::uint8_t>(k), 0, 0);
  // A stray entry past the 26th is never read.
  full.p[kEventFirst + 8 * kEventEntries] = 3;
  EXPECT_EQ(DecodeEventPacket(full.p, 0, 0, {}, {}).size(), 26u);

  EventPacket empty;
  empty.entry(1, 3, 0, 1, 0, 0);  // after a type 0 entry: not read
  EXPECT_TRUE(DecodeEventPacket(empty.p, 0, 0, {}, {}).empty());

  EventPacket over;
  over.entry(0, 3, 0, 1, 0, 0);
  over.p[kEventOverrunByte] = 1;
  auto lines = DecodeEventPacket(over.p, 0, 0, {}, {});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Event Packet Overrun");

  EventPacket sw;
  sw.entry(0, 3, 0, 1, 0, 0);
  std::uint8_t* t = sw.p + kEventFirst + 4;
  std::uint32_t secs = 100;
  t[1] = static_cast<std::uint8_t>(secs >> 24);  // pairs exchanged
  t[0] = static_cast<std::uint8_t>(secs >> 16);
  t[3] = static_cast<std::uint8_t>(secs >> 8);
  t[2] = static_cast<std::uint8_t>(secs);
  EXPECT_EQ(DecodeEventPacket(sw.p, 1, kJan4 - 100, {}, {})[0].substr(0, 21),
            "2006 JAN 04 12:30:05 ");
}

TEST(EventPacket, TimeStampsAcrossDates) {
  EXPECT_EQ(EventTimeStamp(0), "1970 JAN 01 00:00:00 ");
  EXPECT_EQ(EventTimeStamp(951782400), "2000 FEB 29 00:00:00 ");
  EXPECT_EQ(EventTimeStamp(1767225599), "2025 DEC 31 23:59:59 ");
  EXPECT_EQ(EventTimeStamp(-1), "1969 DEC 31 23:59:59 ");
}

// A SEP text reply: the packet time with its fraction, then the text; the same whether the
// station exchanged the packet's pairs or not.
TEST(SepText, TimeFractionAndTextInBothByteOrders) {
  std::uint8_t tx[272] = {};
  tx[0] = 0x0A;
  tx[1] = 0x40;
  // 2006-01-04 12:30:05 UTC is 1136377805 s after 1970; the packet counts from 1958.
  const long cfgtime = -378691200;
  std::uint32_t secs = static_cast<std::uint32_t>(1136377805LL - cfgtime);
  tx[6] = secs >> 24;
  tx[7] = (secs >> 16) & 0xFF;
  tx[8] = (secs >> 8) & 0xFF;
  tx[9] = secs & 0xFF;
  tx[10] = 128;  // half a second
  const char* text = "SEP OK\001";
  for (int i = 0; text[i]; ++i) tx[11 + i] = static_cast<std::uint8_t>(text[i]);
  tx[271] = 0x55;  // checksum: never part of the text
  EXPECT_EQ(SepTextLine(tx, 0, cfgtime), "2006 JAN 04 12:30:05.500SEP OK ");
  std::uint8_t sw[272];
  for (int i = 0; i < 272; i += 2) {
    sw[i] = tx[i + 1];
    sw[i + 1] = tx[i];
  }
  EXPECT_EQ(SepTextLine(sw, 1, cfgtime), "2006 JAN 04 12:30:05.500SEP OK ");
  // Text running to the packet's end stops before the checksum byte.
  for (int i = 11; i < 271; ++i) tx[i] = 'x';
  EXPECT_EQ(SepTextLine(tx, 0, cfgtime).size(), std::string("2006 JAN 04 12:30:05.500").size() + 260);
}
