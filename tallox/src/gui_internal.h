// What the panel families of tallox share: the glue between the controls and the core, and
// each family's callback registration.
#pragma once

#include <string>

#include "gui.h"
#include "rte/rte.h"
#include "uir_ids.h"

namespace tallox::gui {

constexpr int kGreen = 0x00A000;

// The byte-order toggle of the main panel.
int Swap();
// The main-panel settings GetData reads, taken just before a scan, and the time fields it writes.
void SyncIn();
void SyncOut();
void Message(const std::string& title, const std::string& text);
// The value of a ring control's chosen item (-1 when none).
int RingValue(int panel, int control);
// A long scan: the progress panel with a bar and Cancel, events served while it runs.
void BeginLong(const std::string& what);
void EndLong();
void AfterScan(const std::string& error, bool cancelled);
// One long pass over the input: the main panel's settings in, the progress panel while extract
// runs, the settings (which the pass may move) back out, and its error or cancellation said.
template <typename Extract>
auto RunScan(const std::string& what, Extract extract) {
  SyncIn();
  BeginLong(what);
  auto r = extract();
  EndLong();
  SyncOut();
  AfterScan(r.error, r.cancelled);
  return r;
}
void SetText(int panel, int control, const std::string& text);
void ClearGraph(int panel, int control);
void SetRange(int panel, int control, int axis, double lo, double hi);
int TraceColour(int rgb);
// A file is open and no scan runs.
bool Ready();
// `DisplayPacket`: the record shown by the packet panel and its APID-specific displays.
void ShowPacket();
void FillSelectors(int panel, int first, const Database& db);
// The housekeeping plots: extraction, limits, one curve a selector, two time labels.
void PlotHousekeeping(bool sep);

}  // namespace tallox::gui

// Each panel family registers its callbacks by the names TALLOX.uir binds.
void RegisterGeneralCallbacks();
void RegisterFileCallbacks();
void RegisterHousekeepingCallbacks();
void RegisterMagCallbacks();
void RegisterSteCallbacks();
void RegisterBurstCallbacks();

#define COMMIT_ONLY \
  if (event != EVENT_COMMIT) return 0

using tallox::gui::S;
