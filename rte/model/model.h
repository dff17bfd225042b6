// The in-memory model of panels and controls. No Qt here: this is what the programs change,
// what the tests read and what the view mirrors.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rte/rte.h"

namespace rte::model {

struct ListItem {
  std::string label;
  bool textValue = false;  // value is `text` instead of `value`
  double value = 0;
  std::string text;
  bool checked = false;
};

struct Plot {
  int handle = 0;
  std::vector<double> x, y;  // x empty for PlotY (index is x)
  int style = VAL_THIN_LINE;
  int color = VAL_RED;
  bool visible = true;
  std::string legend;
};

struct AxisItem {
  std::string label;
  double value = 0;
};

struct Axis {
  int mode = VAL_AUTOSCALE;
  double min = 0, max = 10;
  int scale = VAL_LINEAR_SCALE;
  std::string name;
  std::vector<AxisItem> items;
};

struct StripTrace {
  std::deque<double> points;  // at most pointsPerScreen kept
  int color = VAL_RED;
  bool visible = true;
  std::string legend;
};

struct Control {
  int id = 0;
  CtrlType type = CTRL_NUMERIC;
  std::string label;
  std::string callbackName;
  CtrlCallbackPtr callback = nullptr;
  void* callbackData = nullptr;
  int top = -1, left = -1, width = -1, height = -1;  // -1 until laid out
  bool dimmed = false;
  bool visible = true;
  int textColor = VAL_BLACK;
  int bgColor = VAL_WHITE;
  int onColor = VAL_RED;
  int offColor = VAL_DK_GRAY;
  int frameColor = VAL_PANEL_GRAY;
  int dataType = VAL_DOUBLE;  // numeric: VAL_INTEGER or VAL_DOUBLE; others VAL_STRING
  int mode = VAL_NORMAL;
  int format = VAL_DECIMAL_FORMAT;
  int precision = 2;
  int maxEntryLength = 0;  // 0 = unlimited
  bool textSelected = false;  // string: the text is selected, the next key typed replaces it
  int firstVisibleLine = 0;

  // value of numeric, LED, binary switch (0/1), string, text message
  double num = 0;
  std::string str;
  // text box
  std::vector<std::string> lines;
  // ring, list box
  std::vector<ListItem> items;
  int index = -1;
  // The index was chosen (by the program or the operator), rather than only following the first
  // line inserted: a view marks the current line only then, so a log does not show its first
  // line as picked.
  bool picked = false;
  // timer
  double interval = 1.0;
  bool enabled = true;
  // graph
  std::vector<Plot> plots;
  int nextPlot = 1;
  Axis xaxis, yaxis;
  double cursorX = 0, cursorY = 0;
  // strip chart
  std::vector<StripTrace> traces;
  int pointsPerScreen = 100;

  std::uint64_t version = 0;  // bumped on every change; the view repaints what moved
};

struct MenuItem {
  int id = 0;
  std::string label;
  std::string callbackName;
  MenuCallbackPtr callback = nullptr;
  bool checked = false;
  bool dimmed = false;
};

struct Menu {
  std::string label;
  std::vector<MenuItem> items;
};

struct Panel {
  int handle = 0;
  int parent = 0;  // 0 = top level
  std::string file;
  int resourceId = 0;
  std::string title;
  bool visible = false;
  int top = 40, left = 40, width = -1, height = -1;
  int bgColor = VAL_PANEL_GRAY;
  int zoom = VAL_NO_ZOOM;
  std::string callbackName;
  PanelCallbackPtr callback = nullptr;
  std::vector<std::unique_ptr<Control>> controls;  // in resource order
  std::vector<int> idToIndex;                       // control id -> index in controls, -1 = none
  int activeCtrl = 0;
  std::vector<Menu> menus;
  std::uint64_t version = 0;

  Control* find(int id) {
    if (id < 0 || id >= static_cast<int>(idToIndex.size())) return nullptr;
    int i = idToIndex[id];
    return i < 0 ? nullptr : controls[i].get();
  }
};

// Told about every change; the view and the loop (timer controls) listen.
class Observer {
 public:
  virtual ~Observer() = default;
  virtual void panelAdded(int panel) {}
  virtual void panelRemoved(int panel) {}
  virtual void panelChanged(int panel) {}  // panel attributes (title, visible, position, ...)
  virtual void controlChanged(int panel, int control) {}
  virtual void activeChanged(int panel, int control) {}
};

class Model {
 public:
  static Model& get();

  Panel* panel(int handle) {
    if (handle <= 0 || handle >= static_cast<int>(panels_.size())) return nullptr;
    return panels_[handle].get();
  }
  Control* control(int handle, int id) {
    Panel* p = panel(handle);
    return p ? p->find(id) : nullptr;
  }
  // Takes ownership, gives the panel its handle.
  int add(std::unique_ptr<Panel> p);
  void remove(int handle);
  void clear();
  std::vector<int> handles() const;

  void addObserver(Observer* o);
  void removeObserver(Observer* o);

  // Notifications (cheap when nobody listens).
  void touch(Panel* p) {
    ++p->version;
    for (auto* o : observers_) o->panelChanged(p->handle);
  }
  void touch(Panel* p, Control* c) {
    ++c->version;
    for (auto* o : observers_) o->controlChanged(p->handle, c->id);
  }

  int activePanel = 0;
  void setActive(int panel, int control);

  const std::vector<Observer*>& observers() const { return observers_; }

 private:
  std::vector<std::unique_ptr<Panel>> panels_{1};  // slot 0 unused: handles start at 1
  std::vector<Observer*> observers_;
};

// ---- event dispatch -------------------------------------------------------------------------

// Depth of callbacks now running (0 = the loop is idle).
int CallbackDepth();
// Calls a control/panel callback, tracking depth and swallowing exceptions (reported on stderr).
int Invoke(CtrlCallbackPtr fn, int panel, int control, int event, void* data, int d1, int d2);
void InvokeMenu(MenuCallbackPtr fn, int menuBar, int item, void* data, int panel);
// Runs fn as a callback (depth tracked, exceptions swallowed).
void InvokeFn(const std::function<void()>& fn);

// Deferred work (simulated keystrokes): queued here, run by DrainDeferred when no callback runs
// and no pop-up is open. The loop installs a waker that schedules a drain.
void Defer(std::function<void()> fn);
void SetDeferWaker(std::function<void()> waker);
bool HasDeferred();
bool RunOneDeferred();  // false when nothing was queued
int PopupsOpen();

// Pop-ups: counting how many are open (the Qt dialogs run a nested loop).
void PopupEntered();
void PopupLeft();
// Set when the program is told to stop (SIGTERM/SIGINT): pop-ups answer cancel unseen.
void SetStopRequested(bool on);
// Called whenever the last pop-up closes: the loop and TCP re-deliver what they held back.
void AddPopupReleaseHook(std::function<void()> hook);

// A numeric control's value as it is shown (format, data type, precision).
std::string NumericText(const Control& c);

// Layout of controls that have no position (fills top/left/width/height); sizes the panel.
void AutoLayout(Panel& p);

// Parses a resource document; on failure returns nullptr and sets err to
// "file: panel N: control M: what".
std::unique_ptr<Panel> ParsePanel(const std::string& fileText, const std::string& fileName,
                                  int resourceId, std::string* err);

}  // namespace rte::model
