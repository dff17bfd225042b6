// The panels of tallox: callbacks bound by name from TALLOX.uir, thin glue between the controls
// and tallox_core.
#pragma once

#include <optional>
#include <string>

#include "core/browse.h"
#include "core/hkdb.h"
#include "core/scans.h"
#include "core/science.h"

namespace tallox::gui {

// Everything the panels work on: one instance for the program, a fresh one for each test.
struct State {
  int panelMain = 0, panelScan = 0, panelPacket = 0, panelHkp = 0, panelMag = 0;
  int panelTiming = 0, panelBurst = 0, panelRates = 0, panelHkPlot = 0, panelSepPlot = 0;
  int panelFhk = 0, panelHkStats = 0, panelProgress = 0;
  int panelMagFit = 0, panelMagPlot = 0, panelSteRates = 0, panelSteSpec = 0, panelSteFit = 0,
      panelSteFitP = 0, panelDrevRates = 0, panelBurstHk = 0;

  ScanInput in;         // FileName, main-panel settings, record source
  DumpFile dump;        // `DumpFile`: the packet panel's own position
  Tables tables;        // Database and SEPDatabase
  SampleStore store;    // UTC and Samples
  FastHkWave wave;
  // The MAG packet last shown: what SaveMag writes and MAGIFCFit fits.
  std::optional<MagView> magShown;
  int magPacket = 0;
  double magInterval = 0;  // its sample interval (s)
  SteAccumulation acc;     // `Spectra`, `AccTime`, `Mode0`, `NumEnergy0`
  std::vector<std::uint32_t> burstTimes;  // the burst plot's sample times (cursor read-out)
  bool busy = false;    // a long scan is running: other actions wait for it
  bool cancel = false;  // the progress panel's Cancel was pressed
  std::string lastMessage;  // last message shown (for the batch-less tests)
};

State& S();
// Registers every callback, loads every panel (resource file found beside the program or in
// uiDir), shows the main panel. Returns false with the reason when a panel cannot be loaded.
bool LoadPanels(const std::string& uiDir, std::string* error);
// Reads the two tables below dbDir; shows "ERROR" and the message on a missing file.
void InitDatabase(const std::string& dbDir);
// Opens path as SelectFile does after its dialog.
void UseFile(const std::string& path);
// Discards every panel and starts a fresh state (tests).
void Reset();

}  // namespace tallox::gui

// The program with its panels (or --headless).
int RunTalloxGui(int argc, char** argv);
