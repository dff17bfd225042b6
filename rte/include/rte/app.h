// Program start-up for the engine: chooses headless or view, sets up pop-ups, stdin lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rte/rte.h"

namespace rte {

struct AppOptions {
  bool headless = false;       // --headless, or no display available
  std::string answersFile;     // --answers FILE: scripted pop-up answers
  std::string screenshot;      // --screenshot PREFIX: after --screenshot-delay seconds (default 3)
  double screenshotDelay = 3;  // every visible top-level panel is saved as PREFIX-<title>.png
  std::vector<std::string> rest;  // arguments the engine did not take
};

// Reads and removes the engine's own options (--headless, --answers FILE) from argv.
// Without a display (no DISPLAY/WAYLAND_DISPLAY and no QT_QPA_PLATFORM) headless is chosen.
AppOptions ParseAppOptions(int& argc, char** argv);

// Creates the Qt application object: QCoreApplication headless, QApplication with the view.
// With the view, panels are shown as widgets; headless, the model alone is kept.
// Pop-ups: scripted (answers from opts.answersFile) when headless, Qt dialogs otherwise.
// Call once, before loading panels.
void StartApp(int& argc, char** argv, const AppOptions& opts);

bool IsHeadless();

// Makes sure a QCoreApplication exists (for tests and tools that only need the loop and TCP).
void EnsureCoreApp();

// Calls onLine for every line read from standard input (without the line feed), from the event
// loop, like any other callback (held back while a pop-up is open); onEof once at the end.
void WatchStdinLines(std::function<void(const std::string&)> onLine, std::function<void()> onEof);

// Delivers an event to a control's (or, with control 0, a panel's) callback as if the user had
// caused it; used by the view and by tests. Key presses go to EVENT_KEYPRESS with the key code in
// eventData1. Returns the callback's result, or a negative code for a wrong handle.
int SendEvent(int panel, int control, int event, int eventData1 = 0, int eventData2 = 0);
// The user typed a new value into a control (and pressed Enter / clicked): the value is set and
// EVENT_COMMIT delivered.
int UserSetValue(int panel, int control, const std::string& value);
int UserSetValue(int panel, int control, double value);
// The user chose a menu item.
int UserMenu(int panel, int menuItemId);

// Runs deferred events (simulated keystrokes) now, if no callback is running and no pop-up is
// open. The loop does this by itself; tests without a loop call it.
void DrainDeferred();

// Renders a panel as the view shows it (children included) to a PNG file; needs the view
// (StartApp without headless). 0, or a negative code.
int SavePanelImage(int panel, const std::string& pngPath);

// SIGTERM and SIGINT end the program the way its own quit does. From the loop (within about a
// tenth of a second, also inside a pop-up's or Delay's nested loop): any open modal pop-up is
// closed as if cancelled, every later pop-up answers cancel/no without showing, Delay returns at
// once, and onStop runs (by default QuitUserInterface(0)), so RunUserInterface returns and the
// program closes its files. Start-up code that runs before the loop checks StopRequested().
void WatchStopSignals(std::function<void()> onStop = {});
// Only notes SIGTERM/SIGINT from now on (no Qt needed): a program calls it first thing, so that a
// signal that comes while it is still starting up ends it cleanly once WatchStopSignals runs.
void CatchStopSignals();
bool StopRequested();

// Every loaded panel with its controls as JSON: panel handle, title, resource file and number,
// visibility; per control its id, label, type, value, the text shown, colours, dimmed/visible,
// list items and text-box lines. WriteSnapshot writes it whole or not at all (0, or -1 with
// the file and the reason in err).
std::string SnapshotJson();
int WriteSnapshot(const std::string& path, std::string* err = nullptr);

// Removes every panel and forgets the active panel (for tests that build a fresh program state).
void ResetModel();

}  // namespace rte
