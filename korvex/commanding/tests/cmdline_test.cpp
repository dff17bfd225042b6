#include <gtest/gtest.h>

#include "commanding/cmdline.h"

using namespace korvex;

TEST(History, ElevenLinesKeepTheLastTenNewestFirst) {
  History h;
  for (int i = 1; i <= 11; ++i) HistoryStore(h, "line" + std::to_string(i));
  EXPECT_EQ(HistoryRecall(h), "line11");
  EXPECT_EQ(HistoryRecall(h), "line10");
  for (int i = 9; i >= 2; --i) EXPECT_EQ(HistoryRecall(h), "line" + std::to_string(i));
  EXPECT_EQ(HistoryRecall(h), "line11");  // walks round
  HistoryClear(h);
  EXPECT_EQ(HistoryRecall(h), "");
  EXPECT_EQ(HistoryRecall(h), "");  // nothing typed: stays in the table
}

TEST(History, ShortHistoryCycles) {
  History h;
  HistoryStore(h, "a");
  HistoryStore(h, "b");
  EXPECT_EQ(HistoryRecall(h), "b");
  EXPECT_EQ(HistoryRecall(h), "a");
  EXPECT_EQ(HistoryRecall(h), "b");
}

TEST(CommandLine, CompactFormAndClasses) {
  EXPECT_EQ(CompactForm("  Set MOC (start) ; comment"), "setmocstart)");
  EXPECT_EQ(CompactForm("\tREC\tON"), "recon");
  auto cls = [](const std::string& l) { return ClassifyLine(CompactForm(l), l); };
  EXPECT_EQ(cls("/IDPUNoop"), LineClass::Spacecraft);
  EXPECT_EQ(cls("cmd IDPUNoop"), LineClass::Spacecraft);
  EXPECT_EQ(cls("xcmd IDPUNoop"), LineClass::Spacecraft);
  EXPECT_EQ(cls("/systemnop \"abc"), LineClass::SpacecraftOddQuote);
  EXPECT_EQ(cls("/systemnop \"abc\""), LineClass::Spacecraft);
  EXPECT_EQ(cls("REM hello"), LineClass::Remark);
  EXPECT_EQ(cls("srem to moc"), LineClass::ScmRemark);
  EXPECT_EQ(cls("echo off"), LineClass::Text);
  EXPECT_EQ(cls("   ; only comment"), LineClass::Empty);
}

TEST(CommandLine, KeywordsInTableOrder) {
  auto kw = [](const std::string& l) { return MatchKeyword(CompactForm(l)); };
  EXPECT_EQ(kw("REC ON"), Keyword::Rec);
  EXPECT_EQ(kw("rec off"), Keyword::Rec);
  EXPECT_EQ(kw("log off"), Keyword::Log);
  EXPECT_EQ(kw("echo off"), Keyword::Echo);
  EXPECT_EQ(kw("quit"), Keyword::Quit);
  EXPECT_EQ(kw("set moc hello"), Keyword::Set);
  EXPECT_EQ(kw("set tsrv 127.0.0.1 5000"), Keyword::Set);
  EXPECT_EQ(kw("START MOCSET"), Keyword::Start);
  // Arguments of a setting never turn it into another keyword.
  EXPECT_EQ(kw("set moc start x"), Keyword::Set);
  EXPECT_EQ(kw("set moc sendscm"), Keyword::Set);
  EXPECT_EQ(kw("set moc savecmd"), Keyword::Set);
  EXPECT_EQ(kw("set moc startsequence ram"), Keyword::Set);
  EXPECT_EQ(kw("start mocset"), Keyword::Start);
  EXPECT_EQ(kw("wait until x > 3"), Keyword::WaitUntil);
  EXPECT_EQ(kw("wait 5"), Keyword::Wait);
  EXPECT_EQ(kw("startsequence ram 1 f"), Keyword::StartSequence);
  EXPECT_EQ(kw("endsequence"), Keyword::EndSequence);
  EXPECT_EQ(kw("sendscm off"), Keyword::SendScm);
  EXPECT_EQ(kw("send abc"), Keyword::Send);
  EXPECT_EQ(kw("hello"), Keyword::None);
  EXPECT_EQ(kw("xrec"), Keyword::None);  // contains but does not start with the keyword
}

TEST(CommandLine, SetArguments) {
  EXPECT_EQ(MatchSet("setmochello", "set moc hello"), SetKind::Moc);
  EXPECT_EQ(MatchSet("settsrvh1", "set tsrv h 1"), SetKind::Tsrv);
  EXPECT_EQ(MatchSet("setscmpack02", "set SCM pack 02"), SetKind::Scm);
  EXPECT_EQ(MatchSet("setfoo", "set foo"), SetKind::None);
  std::string host;
  unsigned port = 0;
  ASSERT_TRUE(ParseTsrv("SET TSRV 127.0.0.1 5123", &host, &port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 5123u);
  EXPECT_FALSE(ParseTsrv("set tsrv", &host, &port));
  EXPECT_EQ(MocText("set moc start mocset"), "START MOCSET");
  EXPECT_EQ(MocText("SET MOC"), "");
}
