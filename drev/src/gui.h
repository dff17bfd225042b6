// The program context of drev with its panels, and the two ways to run it with the engine.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "core/playback.h"
#include "core/stream.h"
#include "rte/app.h"

namespace drev {

// The live stream without panels: connects to the configured server and prints product lines.
int RunLiveHeadless(int argc, char** argv, const rte::AppOptions& opts);

// With panels (the view, or the model alone when the engine is headless).
int RunDrevGui(int argc, char** argv, const rte::AppOptions& opts);

namespace gui {

constexpr int kNumPanels = 23;
// Resource numbers in the order they are loaded.
constexpr int kLoadOrder[kNumPanels] = {1, 12, 17, 18, 19, 20, 21, 22, 23, 2, 3, 4,
                                        5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16};

struct Program {
  std::unique_ptr<DrevState> s = std::make_unique<DrevState>();
  int panel[24] = {};  // panel handle by resource number
  int gHandle = -1;
  bool firstConnect = true;
  bool quitting = false;
  // playback and recording (one file for both, as the operator sees it)
  std::FILE* pbfp = nullptr;
  bool pbOn = false, stpOn = false, recOn = false, recOK = false;
  std::string pbfPath;
  StepCollector step;
  int panInit = 0;
  std::array<std::uint8_t, kSrdBytes> SRD{};
  // y limits of every graph, by limit family
  AxisLimits lim[16];
  bool toggleD = false, toggleA = false;
  long long refreshes = 0;
  std::string lastMessage;
};

Program& P();
// Builds a fresh context, registers the callbacks and loads the 23 panels; < 0 on a load failure.
int Start();
// Reads cfg/drev.cfg (with the file dialog when it is missing). False when nothing was read.
bool ReadCfg();
// Processes what the receive buffer holds and updates the panels (the link timer's work).
int ProcessHeld();
// Feeds bytes as a TCP read would (used by the link, the replay and tests).
void Incoming(const std::uint8_t* data, std::size_t n);
// One step of a running replay (the replay timer's work); false when the replay ended.
bool PlayTick();
void Shutdown();

}  // namespace gui
}  // namespace drev
