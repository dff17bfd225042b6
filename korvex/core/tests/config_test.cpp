#include <gtest/gtest.h>

#include "core/config.h"

using namespace korvex;

namespace {
std::vector<std::string> SampleCfg() {
  return {
      "CmdServer = 10.1.2.3      ; MOC command server",
      "TlmPort = 5001",
      "CmdPort = 5002",
      "CmdSwap = 1",
      "TimeOffset = -378691200",
      "TlmSwap = 0",
      "FwdPort = 6001",
      "CmdFile = CMD1.cfg",
      "ArrWait = 10",
      "ScmPort = 6002",
      "SepSwap = 1",
      "Vantis = 1",
      "TlmServer = moc.example.org",
      "SepWait = 5",
      "Wlim = 3",
      "Alim = 200",
      "EmServer = mail.example.org",
      "EmSender = station@example.org",
      "EmRecvr = a@example.org,b@example.org",
      "EE0 = 0x1000",
      "EE1 = 0x2000",
      "EE2 = 0x3000",
      "EE3 = 0x4000",
      "RAM = 0x8000",
      "Ofs = 0x40",
      "Recon = 1",
      "Spare = 9",
  };
}
}  // namespace

TEST(ConfigValue, ValueRules) {
  EXPECT_EQ(CfgValue("Port = 5001"), "5001");
  EXPECT_EQ(CfgValue("Port=5001;comment here"), "5001");
  EXPECT_EQ(CfgValue("Port =   val ue"), "val");
  EXPECT_EQ(CfgValue("Port\t=\t42\tx"), "42");
  EXPECT_EQ(CfgValue("no equals sign 5001"), "");
  EXPECT_EQ(CfgValue("  = 5001"), "");
  EXPECT_EQ(CfgValue("Port = ;only comment"), "");
  EXPECT_EQ(CfgValue("Name = " + std::string(300, 'x')).size(), kCfgValueMax);
}

TEST(ConfigFile, SettingsComeFromPositions) {
  Config c = ParseConfig(SampleCfg());
  EXPECT_EQ(c.serverName, "10.1.2.3");
  EXPECT_EQ(c.portTlm, 5001u);
  EXPECT_EQ(c.portCmd, 5002u);
  EXPECT_EQ(c.cfgcswap, 1);
  EXPECT_EQ(c.cfgtime, -378691200L);
  EXPECT_EQ(c.cfgtfwd, 6001u);
  EXPECT_EQ(c.cmdFile, "CMD1.cfg");
  EXPECT_EQ(c.cfgarrd, 10);
  EXPECT_EQ(c.telemServ, "moc.example.org");
  EXPECT_EQ(c.wlim, 3u);
  EXPECT_EQ(c.alim, 60u);  // 200 is clamped
  EXPECT_EQ(c.emrecvr, "a@example.org,b@example.org");
  EXPECT_EQ(c.csram, "0x8000");
  EXPECT_EQ(c.csofs, 0x40u);
  EXPECT_EQ(c.recon, 1);

  // The same lines with their labels shuffled: positions still decide.
  std::vector<std::string> lines = SampleCfg();
  std::swap(lines[1], lines[2]);  // "CmdPort" label now on line 2
  lines[12] = "CmdServer = tlm.host";  // a misleading label on the telemetry-server line
  Config d = ParseConfig(lines);
  EXPECT_EQ(d.portTlm, 5002u);
  EXPECT_EQ(d.portCmd, 5001u);
  EXPECT_EQ(d.telemServ, "tlm.host");
  EXPECT_EQ(d.serverName, "10.1.2.3");
}

TEST(ConfigFile, MissingAndMalformedLinesGiveZero) {
  std::vector<std::string> lines = SampleCfg();
  lines[1] = "TlmPort 5001";      // no "="
  lines[2] = "CmdPort = abc";     // not a number
  lines[24] = "Ofs = 7F";         // hex without 0x
  lines.resize(25);               // lines 26 and 27 missing
  Config c = ParseConfig(lines);
  EXPECT_EQ(c.portTlm, 0u);
  EXPECT_EQ(c.portCmd, 0u);
  EXPECT_EQ(c.csofs, 0x7Fu);
  EXPECT_EQ(c.recon, 0);
  Config e = ParseConfig({});
  EXPECT_EQ(e.serverName, "");
  EXPECT_EQ(e.alim, 0u);
}
