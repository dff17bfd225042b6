// A station started in-process in a scratch working directory, headless, with scripted pop-ups
// and the engine clock fixed. Each test gets a fresh program context.
#pragma once

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/ids.h"
#include "core/station.h"
#include "links/tests/child_process.h"  // Slurp
#include "rte/app.h"
#include "rte/rte.h"

namespace korvex::testing {

namespace fs = std::filesystem;

inline std::vector<std::string> CfgLines(unsigned tlmPort = 5001, unsigned wlim = 0,
                                         int cfgtswap = 1) {
  return {
      "CmdServer = 127.0.0.1",
      "TlmPort = " + std::to_string(tlmPort),
      "CmdPort = 5002",
      "CmdSwap = 0",
      "TimeOffset = -378691200",
      "TlmSwap = " + std::to_string(cfgtswap),
      "FwdPort = 6001",
      "CmdFile = CMD1.cfg",
      "ArrWait = 10",
      "ScmPort = 6002",
      "SepSwap = 0",
      "Vantis = 1",
      "TlmServer = 127.0.0.1",
      "SepWait = 5",
      "Wlim = " + std::to_string(wlim),
      "Alim = 10",
      "EmServer = mail",
      "EmSender = station",
      "EmRecvr = ops",
      "EE0 = 0x1000",
      "EE1 = 0x2000",
      "EE2 = 0x3000",
      "EE3 = 0x4000",
      "RAM = 0x8000",
      "Ofs = 0x40",
      "Recon = 0",
      "Spare = 0",
  };
}

inline const char* kErrText =
    "error list\n0x01\t1\tCMD_CHECKSUM\tTelecommand checksum error\n"
    "0x11\t17\tHEATER\tHeater stuck\nTotal Bytes\n";
inline const char* kApdText =
    "APID list\n200-20F\tProcessor\n200\tHousekeeping\n202\tEvents\n"
    "240-26F\tSEP\n241\tSEP housekeeping\n300-37F\tBrimlet\n313\tBrimlet HK\n";

inline std::string CtmText() {
  std::string t;
  for (int i = 0; i < 16; ++i) t += "header line " + std::to_string(i) + "\n";
  t += "IDPUNoop 0x200 0 ; 0\nSEPReset 0x240 1 ; 1\nBRMReset 0x305 ; 0\n";
  for (int i = 0; i < 16; ++i) t += "trailer line " + std::to_string(i) + "\n";
  return t;
}

inline void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

inline std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (auto& l : lines) s += l + "\n";
  return s;
}

// Local time of a calendar date, for the engine clock.
inline std::time_t LocalAt(int y, int mon, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mon - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

// Serves the loop (sockets, timers, deferred keys) until pred holds or ms have passed.
template <typename Pred>
bool Pump(Pred pred, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    rte::DrainDeferred();
  }
  return pred();
}

class StationTest : public ::testing::Test {
 protected:
  fs::path dir;
  fs::path oldCwd;
  rte::ScriptedPopups popups;
  std::vector<std::string> out;  // what a headless station prints

  void SetUp() override {
    rte::EnsureCoreApp();
    rte::ResetModel();
    rte::AddResourceDir(KORVEX_UI_DIR);
    popups.quiet = true;
    rte::SetPopupBackend(&popups);
    rte::SetClock(LocalAt(2026, 3, 10, 12, 30, 0));
    static int n = 0;
    dir = fs::temp_directory_path() /
          ("korvex_station_" + std::to_string(::getpid()) + "_" + std::to_string(++n));
    fs::remove_all(dir);
    fs::create_directories(dir / "log");
    WriteFile(dir / "cfg/korvex.cfg", Join(CfgLines()));
    WriteFile(dir / "cfg/CMD1.cfg", "rem button one\nrem button two\n");
    WriteFile(dir / "database/VANTIS_err.txt", kErrText);
    WriteFile(dir / "database/VANTIS_apd.txt", kApdText);
    WriteFile(dir / "database/VANTIS_ctm.prn", CtmText());
    // The telemetry database files come from the sample station.
    for (const char* f : {"VANTIS_tlm.txt", "VANTIS_seq.txt", "VANTIS_tbl.txt", "sep_hkg.txt",
                          "BRIMLET_dhk.txt", "basis.txt", "basin.txt"})
      fs::copy_file(fs::path(STATION_DIR) / "database" / f, dir / "database" / f);
    oldCwd = fs::current_path();
    fs::current_path(dir);
    Program& p = NewContext();
    p.headless = true;
    p.echoOut = [this](const std::string& l) { out.push_back(l); };
    InstallStation(p);
  }

  void TearDown() override {
    StopStation();
    NewContext();
    rte::ResetModel();
    rte::SetPopupBackend(nullptr);
    rte::SetClock(-1);
    fs::current_path(oldCwd);
    fs::remove_all(dir);
  }

  int Start() { return StartStation(); }
  // Stops the station's one-second timer, for tests that step DoTick() themselves: a real tick
  // between two checks would otherwise move states such as an accepted ARR on.
  void HoldTicks() { SetCtrlAttribute(Ctx().ui.eventLog, ids::kEvTimer, ATTR_ENABLED, 0); }
  // Start() for those tests: the timer is held once the station is up.
  int StartHeld() {
    int r = Start();
    if (r == kStarted) HoldTicks();
    return r;
  }
  Program& P() { return Ctx(); }

  int CountOut(const std::string& text) const {
    int n = 0;
    for (auto& l : out) n += l.find(text) != std::string::npos;
    return n;
  }
  // Archive files in log/ with the given extension.
  std::vector<std::string> Logs(const std::string& ext) const {
    std::vector<std::string> v;
    for (auto& e : fs::directory_iterator(dir / "log"))
      if (e.path().extension() == ext) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }
  int CountIn(const fs::path& file, const std::string& text) const {
    std::string s = Slurp(file);
    int n = 0;
    for (std::size_t p = s.find(text); p != std::string::npos; p = s.find(text, p + 1)) ++n;
    return n;
  }
};

}  // namespace korvex::testing
