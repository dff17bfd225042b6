// Panels, controls, lists, text boxes, graphs and strip charts over the in-memory model, and the
// dispatch of events to the programs' callbacks.
#include "model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unordered_map>

#include "rte/app.h"

namespace rte::model {

Model& Model::get() {
  static Model m;
  return m;
}

int Model::add(std::unique_ptr<Panel> p) {
  int h = static_cast<int>(panels_.size());
  p->handle = h;
  panels_.push_back(std::move(p));
  for (auto* o : observers_) o->panelAdded(h);
  return h;
}

void Model::remove(int handle) {
  Panel* p = panel(handle);
  if (!p) return;
  // Children go with their parent.
  for (auto& q : panels_)
    if (q && q->parent == handle) remove(q->handle);
  for (auto* o : observers_) o->panelRemoved(handle);
  if (activePanel == handle) activePanel = 0;
  panels_[handle].reset();
}

void Model::clear() {
  for (int h : handles()) remove(h);
  panels_.clear();
  panels_.resize(1);
  activePanel = 0;
}

std::vector<int> Model::handles() const {
  std::vector<int> out;
  for (std::size_t i = 1; i < panels_.size(); ++i)
    if (panels_[i]) out.push_back(static_cast<int>(i));
  return out;
}

void Model::addObserver(Observer* o) {
  if (std::find(observers_.begin(), observers_.end(), o) == observers_.end()) observers_.push_back(o);
}
void Model::removeObserver(Observer* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void Model::setActive(int panel, int control) {
  activePanel = panel;
  if (Panel* p = this->panel(panel); p && control > 0) p->activeCtrl = control;
  for (auto* o : observers_) o->activeChanged(panel, control);
}

// ---- dispatch --------------------------------------------------------------------------------

namespace {
int g_depth = 0;
int g_popups = 0;
std::deque<std::function<void()>> g_deferred;
std::function<void()> g_waker;
std::vector<std::function<void()>> g_releaseHooks;

struct DepthGuard {
  DepthGuard() { ++g_depth; }
  ~DepthGuard() { --g_depth; }
};
}  // namespace

int CallbackDepth() { return g_depth; }

int Invoke(CtrlCallbackPtr fn, int panel, int control, int event, void* data, int d1, int d2) {
  if (!fn) return 0;
  DepthGuard g;
  try {
    return fn(panel, control, event, data, d1, d2);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rte: callback of panel %d control %d failed: %s\n", panel, control, e.what());
  } catch (...) {
    std::fprintf(stderr, "rte: callback of panel %d control %d failed\n", panel, control);
  }
  return 0;
}

void InvokeMenu(MenuCallbackPtr fn, int menuBar, int item, void* data, int panel) {
  if (!fn) return;
  DepthGuard g;
  try {
    fn(menuBar, item, data, panel);
  } catch (...) {
    std::fprintf(stderr, "rte: menu callback of item %d failed\n", item);
  }
}

void InvokeFn(const std::function<void()>& fn) {
  if (!fn) return;
  DepthGuard g;
  try {
    fn();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rte: callback failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "rte: callback failed\n");
  }
}

void Defer(std::function<void()> fn) {
  g_deferred.push_back(std::move(fn));
  if (g_waker) g_waker();
}
void SetDeferWaker(std::function<void()> waker) { g_waker = std::move(waker); }
bool HasDeferred() { return !g_deferred.empty(); }

bool RunOneDeferred() {
  if (g_deferred.empty()) return false;
  auto fn = std::move(g_deferred.front());
  g_deferred.pop_front();
  InvokeFn(fn);
  return true;
}

int PopupsOpen() { return g_popups; }

void PopupEntered() { ++g_popups; }
void PopupLeft() {
  if (g_popups > 0) --g_popups;
  if (g_popups == 0) {
    auto hooks = g_releaseHooks;  // a hook may add hooks
    for (auto& h : hooks) h();
    if (!g_deferred.empty() && g_waker) g_waker();
  }
}
void AddPopupReleaseHook(std::function<void()> hook) { g_releaseHooks.push_back(std::move(hook)); }

}  // namespace rte::model

using rte::model::Control;
using rte::model::Model;
using rte::model::Panel;

namespace {

Model& M() { return Model::get(); }

Control* Ctl(int panel, int control) { return M().control(panel, control); }

int CtlErr(int panel) { return M().panel(panel) ? RTE_ERR_BAD_CONTROL : RTE_ERR_BAD_PANEL; }

// The control when it is of the given type; else nullptr with the code in *err.
Control* TypedCtl(int panel, int control, CtrlType type, int* err) {
  Control* c = Ctl(panel, control);
  if (c && c->type == type) return c;
  *err = c ? RTE_ERR_TYPE : CtlErr(panel);
  return nullptr;
}

void Touch(int panel, Control* c) {
  if (Panel* p = M().panel(panel)) M().touch(p, c);
}

bool IsList(const Control* c) { return c->type == CTRL_RING || c->type == CTRL_LIST_BOX; }

std::string FormatNumber(const Control* c, double v) {
  char buf[64];
  if (c->dataType == VAL_INTEGER) {
    long long i = static_cast<long long>(std::llround(v));
    if (c->format == VAL_HEX_FORMAT)
      std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(i));
    else
      std::snprintf(buf, sizeof buf, "%lld", i);
  } else {
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(c->precision, 0, 15), v);
  }
  return buf;
}

// Text box lines: appended text continues the last line until a line feed.
void AppendText(Control* c, const std::string& text) {
  std::size_t start = 0;
  if (c->lines.empty()) c->lines.emplace_back();
  // A previous append that ended with a line feed left an empty line open at the end.
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      c->lines.back().append(text, start, std::string::npos);
      break;
    }
    c->lines.back().append(text, start, nl - start);
    c->lines.emplace_back();
    start = nl + 1;
  }
}

int SetNumeric(int panel, int control, double v) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  switch (c->type) {
    case CTRL_NUMERIC:
      c->num = c->dataType == VAL_INTEGER ? std::round(v) : v;
      break;
    case CTRL_LED:
    case CTRL_BINARY_SWITCH:
      c->num = v != 0 ? 1 : 0;
      break;
    case CTRL_STRING:
    case CTRL_TEXT_MSG:
      c->str = FormatNumber(c, v);
      break;
    case CTRL_TEXT_BOX:
      AppendText(c, FormatNumber(c, v));
      break;
    case CTRL_RING:
    case CTRL_LIST_BOX: {
      // Selects the first item with that value.
      for (std::size_t i = 0; i < c->items.size(); ++i)
        if (!c->items[i].textValue && c->items[i].value == v) {
          c->index = static_cast<int>(i);
          c->picked = true;
          Touch(panel, c);
          return 0;
        }
      return RTE_ERR_BAD_VALUE;
    }
    case CTRL_TIMER:
    case CTRL_COMMAND_BUTTON:
    case CTRL_GRAPH:
    case CTRL_STRIP_CHART:
      c->num = v;
      break;
  }
  Touch(panel, c);
  return 0;
}

int SetText(int panel, int control, const char* s) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!s) s = "";
  switch (c->type) {
    case CTRL_TEXT_BOX:
      AppendText(c, s);
      break;
    case CTRL_STRING:
    case CTRL_TEXT_MSG:
      c->str = s;
      c->textSelected = false;
      if (c->maxEntryLength > 0 && static_cast<int>(c->str.size()) > c->maxEntryLength)
        c->str.resize(c->maxEntryLength);
      break;
    case CTRL_RING:
    case CTRL_LIST_BOX:
      for (std::size_t i = 0; i < c->items.size(); ++i)
        if (c->items[i].textValue && c->items[i].text == s) {
          c->index = static_cast<int>(i);
          c->picked = true;
          Touch(panel, c);
          return 0;
        }
      return RTE_ERR_BAD_VALUE;
    case CTRL_NUMERIC: {
      char* end = nullptr;
      double v = std::strtod(s, &end);
      if (end == s) return RTE_ERR_TYPE;
      return SetNumeric(panel, control, v);
    }
    default:
      c->str = s;
      break;
  }
  Touch(panel, c);
  return 0;
}

double NumericValue(const Control* c) {
  if (IsList(c)) {
    if (c->index < 0 || c->index >= static_cast<int>(c->items.size())) return 0;
    const auto& it = c->items[c->index];
    return it.textValue ? std::strtod(it.text.c_str(), nullptr) : it.value;
  }
  if (c->type == CTRL_STRING || c->type == CTRL_TEXT_MSG) return std::strtod(c->str.c_str(), nullptr);
  return c->num;
}

std::string TextValue(const Control* c) {
  switch (c->type) {
    case CTRL_TEXT_BOX: {
      std::string out;
      for (std::size_t i = 0; i < c->lines.size(); ++i) {
        if (i) out += '\n';
        out += c->lines[i];
      }
      return out;
    }
    case CTRL_STRING:
    case CTRL_TEXT_MSG:
      return c->str;
    case CTRL_RING:
    case CTRL_LIST_BOX: {
      if (c->index < 0 || c->index >= static_cast<int>(c->items.size())) return "";
      const auto& it = c->items[c->index];
      return it.textValue ? it.text : FormatNumber(c, it.value);
    }
    default:
      return FormatNumber(c, c->num);
  }
}

}  // namespace

// ---- panels ------------------------------------------------------------------------------------

int DisplayPanel(int panel) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  p->visible = true;
  M().touch(p);
  return 0;
}

int HidePanel(int panel) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  p->visible = false;
  M().touch(p);
  return 0;
}

int DiscardPanel(int panel) {
  if (!M().panel(panel)) return RTE_ERR_BAD_PANEL;
  M().remove(panel);
  return 0;
}

int SetPanelPos(int panel, int top, int left) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  p->top = top;
  p->left = left;
  M().touch(p);
  return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  switch (attribute) {
    case ATTR_VISIBLE: p->visible = value != 0; break;
    case ATTR_TOP: p->top = value; break;
    case ATTR_LEFT: p->left = value; break;
    case ATTR_WIDTH: p->width = value; break;
    case ATTR_HEIGHT: p->height = value; break;
    case ATTR_BACKCOLOR: p->bgColor = value; break;
    case ATTR_WINDOW_ZOOM: p->zoom = value; break;
    default: return RTE_ERR_BAD_ATTRIBUTE;
  }
  M().touch(p);
  return 0;
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  if (attribute != ATTR_TITLE) return RTE_ERR_BAD_ATTRIBUTE;
  p->title = value ? value : "";
  M().touch(p);
  return 0;
}

int GetPanelAttribute(int panel, int attribute, int* value) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  if (!value) return RTE_ERR_BAD_VALUE;
  switch (attribute) {
    case ATTR_VISIBLE: *value = p->visible; break;
    case ATTR_TOP: *value = p->top; break;
    case ATTR_LEFT: *value = p->left; break;
    case ATTR_WIDTH: *value = p->width; break;
    case ATTR_HEIGHT: *value = p->height; break;
    case ATTR_BACKCOLOR: *value = p->bgColor; break;
    case ATTR_WINDOW_ZOOM: *value = p->zoom; break;
    case ATTR_PANEL_PARENT: *value = p->parent; break;
    default: return RTE_ERR_BAD_ATTRIBUTE;
  }
  return 0;
}

int GetPanelAttribute(int panel, int attribute, std::string* value) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  if (attribute != ATTR_TITLE || !value) return RTE_ERR_BAD_ATTRIBUTE;
  *value = p->title;
  return 0;
}

// ---- values ------------------------------------------------------------------------------------

int SetCtrlVal(int panel, int control, int value) { return SetNumeric(panel, control, value); }
int SetCtrlVal(int panel, int control, unsigned value) { return SetNumeric(panel, control, value); }
int SetCtrlVal(int panel, int control, long value) { return SetNumeric(panel, control, double(value)); }
int SetCtrlVal(int panel, int control, unsigned long value) {
  return SetNumeric(panel, control, double(value));
}
int SetCtrlVal(int panel, int control, long long value) {
  return SetNumeric(panel, control, double(value));
}
int SetCtrlVal(int panel, int control, double value) { return SetNumeric(panel, control, value); }
int SetCtrlVal(int panel, int control, const char* value) { return SetText(panel, control, value); }
int SetCtrlVal(int panel, int control, const std::string& value) {
  return SetText(panel, control, value.c_str());
}

int GetCtrlVal(int panel, int control, double* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!value) return RTE_ERR_BAD_VALUE;
  *value = NumericValue(c);
  return 0;
}

namespace {
// Whole-number reads of a control's value, rounded.
template <class T>
int GetRounded(int panel, int control, T* value) {
  double d;
  int r = GetCtrlVal(panel, control, &d);
  if (r < 0) return r;
  if (!value) return RTE_ERR_BAD_VALUE;
  *value = static_cast<T>(std::llround(d));
  return 0;
}
}  // namespace

int GetCtrlVal(int panel, int control, int* value) { return GetRounded(panel, control, value); }
int GetCtrlVal(int panel, int control, unsigned* value) { return GetRounded(panel, control, value); }

int GetCtrlVal(int panel, int control, std::string* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!value) return RTE_ERR_BAD_VALUE;
  *value = TextValue(c);
  return 0;
}

int GetCtrlVal(int panel, int control, char* value, std::size_t size) {
  std::string s;
  int r = GetCtrlVal(panel, control, &s);
  if (r < 0) return r;
  if (!value || size == 0) return RTE_ERR_BAD_VALUE;
  std::size_t n = std::min(s.size(), size - 1);
  std::memcpy(value, s.data(), n);
  value[n] = 0;
  return 0;
}

// ---- control attributes ------------------------------------------------------------------------

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  switch (attribute) {
    case ATTR_DIMMED: c->dimmed = value != 0; break;
    case ATTR_VISIBLE: c->visible = value != 0; break;
    case ATTR_TEXT_COLOR: c->textColor = value; break;
    case ATTR_TEXT_BGCOLOR: c->bgColor = value; break;
    case ATTR_ON_COLOR: c->onColor = value; break;
    case ATTR_OFF_COLOR: c->offColor = value; break;
    case ATTR_FRAME_COLOR: c->frameColor = value; break;
    case ATTR_DATA_TYPE:
      if (value != VAL_INTEGER && value != VAL_DOUBLE && value != VAL_STRING) return RTE_ERR_BAD_VALUE;
      c->dataType = value;
      break;
    case ATTR_CTRL_MODE: c->mode = value; break;
    case ATTR_FORMAT: c->format = value; break;
    case ATTR_PRECISION: c->precision = std::clamp(value, 0, 15); break;
    case ATTR_MAX_ENTRY_LENGTH: c->maxEntryLength = std::max(0, value); break;
    case ATTR_FIRST_VISIBLE_LINE: c->firstVisibleLine = std::max(0, value); break;
    case ATTR_TEXT_SELECTED:
      if (c->type != CTRL_STRING) return RTE_ERR_TYPE;
      c->textSelected = value != 0;
      break;
    case ATTR_TOP: c->top = value; break;
    case ATTR_LEFT: c->left = value; break;
    case ATTR_WIDTH: c->width = value; break;
    case ATTR_HEIGHT: c->height = value; break;
    case ATTR_ENABLED: c->enabled = value != 0; break;
    case ATTR_INTERVAL: return SetCtrlAttribute(panel, control, attribute, double(value));
    case ATTR_POINTS_PER_SCREEN:
      if (value < 1) return RTE_ERR_BAD_VALUE;
      c->pointsPerScreen = value;
      for (auto& t : c->traces)
        while (static_cast<int>(t.points.size()) > value) t.points.pop_front();
      break;
    case ATTR_NUM_TRACES:
      if (value < 1 || value > 64) return RTE_ERR_BAD_VALUE;
      c->traces.resize(value);
      break;
    default: return RTE_ERR_BAD_ATTRIBUTE;
  }
  Touch(panel, c);
  return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (attribute == ATTR_INTERVAL) {
    if (!(value > 0)) return RTE_ERR_BAD_VALUE;
    c->interval = value;
    Touch(panel, c);
    return 0;
  }
  return SetCtrlAttribute(panel, control, attribute, static_cast<int>(value));
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  std::string v = value ? value : "";
  switch (attribute) {
    case ATTR_LABEL_TEXT: c->label = v; break;
    case ATTR_XNAME: c->xaxis.name = v; break;
    case ATTR_YNAME: c->yaxis.name = v; break;
    default: return RTE_ERR_BAD_ATTRIBUTE;
  }
  Touch(panel, c);
  return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!value) return RTE_ERR_BAD_VALUE;
  switch (attribute) {
    case ATTR_DIMMED: *value = c->dimmed; break;
    case ATTR_VISIBLE: *value = c->visible; break;
    case ATTR_TEXT_COLOR: *value = c->textColor; break;
    case ATTR_TEXT_BGCOLOR: *value = c->bgColor; break;
    case ATTR_ON_COLOR: *value = c->onColor; break;
    case ATTR_OFF_COLOR: *value = c->offColor; break;
    case ATTR_FRAME_COLOR: *value = c->frameColor; break;
    case ATTR_DATA_TYPE: *value = c->dataType; break;
    case ATTR_CTRL_MODE: *value = c->mode; break;
    case ATTR_FORMAT: *value = c->format; break;
    case ATTR_PRECISION: *value = c->precision; break;
    case ATTR_MAX_ENTRY_LENGTH: *value = c->maxEntryLength; break;
    case ATTR_TEXT_SELECTED: *value = c->textSelected ? 1 : 0; break;
    case ATTR_FIRST_VISIBLE_LINE: *value = c->firstVisibleLine; break;
    case ATTR_TOP: *value = c->top; break;
    case ATTR_LEFT: *value = c->left; break;
    case ATTR_WIDTH: *value = c->width; break;
    case ATTR_HEIGHT: *value = c->height; break;
    case ATTR_ENABLED: *value = c->enabled; break;
    case ATTR_CTRL_TYPE: *value = c->type; break;
    case ATTR_POINTS_PER_SCREEN: *value = c->pointsPerScreen; break;
    case ATTR_NUM_TRACES: *value = static_cast<int>(c->traces.size()); break;
    default: return RTE_ERR_BAD_ATTRIBUTE;
  }
  return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, double* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!value) return RTE_ERR_BAD_VALUE;
  if (attribute == ATTR_INTERVAL) {
    *value = c->interval;
    return 0;
  }
  int i = 0;
  int r = GetCtrlAttribute(panel, control, attribute, &i);
  if (r == 0) *value = i;
  return r;
}

int GetCtrlAttribute(int panel, int control, int attribute, std::string* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!value) return RTE_ERR_BAD_VALUE;
  switch (attribute) {
    case ATTR_LABEL_TEXT: *value = c->label; break;
    case ATTR_CALLBACK_NAME: *value = c->callbackName; break;
    case ATTR_XNAME: *value = c->xaxis.name; break;
    case ATTR_YNAME: *value = c->yaxis.name; break;
    default: return RTE_ERR_BAD_ATTRIBUTE;
  }
  return 0;
}

int SetCtrlIndex(int panel, int control, int index) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!IsList(c)) return RTE_ERR_TYPE;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return RTE_ERR_BAD_INDEX;
  c->index = index;
  c->picked = true;
  Touch(panel, c);
  return 0;
}

int GetCtrlIndex(int panel, int control, int* index) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!IsList(c)) return RTE_ERR_TYPE;
  if (!index) return RTE_ERR_BAD_VALUE;
  *index = c->items.empty() ? -1 : c->index;
  return 0;
}

int SetActivePanel(int panel) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  M().setActive(panel, 0);
  return 0;
}

int GetActivePanel() { return M().activePanel; }

int SetActiveCtrl(int panel, int control) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  if (!p->find(control)) return RTE_ERR_BAD_CONTROL;
  p->activeCtrl = control;
  for (auto* o : M().observers()) o->activeChanged(panel, control);
  return 0;
}

int GetActiveCtrl(int panel) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  return p->activeCtrl;
}

int FakeKeystroke(int key) {
  rte::model::Defer([key] {
    int panel = M().activePanel;
    Panel* p = M().panel(panel);
    if (!p || !p->find(p->activeCtrl)) return;
    rte::SendEvent(panel, p->activeCtrl, EVENT_KEYPRESS, key, 0);
  });
  return 0;
}

// ---- lists -------------------------------------------------------------------------------------

namespace {

int Insert(int panel, int control, int index, rte::model::ListItem item) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!IsList(c)) return RTE_ERR_TYPE;
  int n = static_cast<int>(c->items.size());
  if (index < -1 || index > n) return RTE_ERR_BAD_INDEX;
  if (index == -1) index = n;
  c->items.insert(c->items.begin() + index, std::move(item));
  if (c->index < 0)
    c->index = 0;
  else if (index <= c->index && n > 0)
    ++c->index;
  Touch(panel, c);
  return 0;
}

int Replace(int panel, int control, int index, rte::model::ListItem item) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!IsList(c)) return RTE_ERR_TYPE;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return RTE_ERR_BAD_INDEX;
  item.checked = c->items[index].checked;
  c->items[index] = std::move(item);
  Touch(panel, c);
  return 0;
}

rte::model::ListItem Item(const char* label, double v) {
  rte::model::ListItem it;
  it.label = label ? label : "";
  it.value = v;
  return it;
}

rte::model::ListItem Item(const char* label, const char* v) {
  rte::model::ListItem it;
  it.label = label ? label : "";
  it.textValue = true;
  it.text = v ? v : "";
  return it;
}

Control* ListCtl(int panel, int control, int* err) {
  Control* c = Ctl(panel, control);
  if (c && (c->type == CTRL_RING || c->type == CTRL_LIST_BOX)) return c;
  *err = c ? RTE_ERR_TYPE : CtlErr(panel);
  return nullptr;
}

}  // namespace

int InsertListItem(int panel, int control, int index, const char* label, double value) {
  return Insert(panel, control, index, Item(label, value));
}
int InsertListItem(int panel, int control, int index, const char* label, const char* value) {
  return Insert(panel, control, index, Item(label, value));
}
int ReplaceListItem(int panel, int control, int index, const char* label, double value) {
  return Replace(panel, control, index, Item(label, value));
}
int ReplaceListItem(int panel, int control, int index, const char* label, const char* value) {
  return Replace(panel, control, index, Item(label, value));
}

int DeleteListItem(int panel, int control, int index, int count) {
  int err = 0;
  Control* c = ListCtl(panel, control, &err);
  if (!c) return err;
  int n = static_cast<int>(c->items.size());
  if (index < 0 || index >= n) return RTE_ERR_BAD_INDEX;
  if (count < 0 || index + count > n) count = n - index;
  c->items.erase(c->items.begin() + index, c->items.begin() + index + count);
  n -= count;
  if (n == 0) {
    c->index = -1;
    c->picked = false;
  } else if (c->index >= index + count)
    c->index -= count;
  else if (c->index >= n)
    c->index = n - 1;
  Touch(panel, c);
  return 0;
}

int ClearListCtrl(int panel, int control) {
  int err = 0;
  Control* c = ListCtl(panel, control, &err);
  if (!c) return err;
  c->items.clear();
  c->index = -1;
  c->picked = false;
  Touch(panel, c);
  return 0;
}

int GetNumListItems(int panel, int control, int* count) {
  int err = 0;
  Control* c = ListCtl(panel, control, &err);
  if (!c) return err;
  if (!count) return RTE_ERR_BAD_VALUE;
  *count = static_cast<int>(c->items.size());
  return 0;
}

namespace {
// The item at index of a list control; nullptr with the code in *err when there is none.
rte::model::ListItem* ItemAt(int panel, int control, int index, Control** ctl, int* err) {
  Control* c = ListCtl(panel, control, err);
  if (!c) return nullptr;
  if (index < 0 || index >= static_cast<int>(c->items.size())) {
    *err = RTE_ERR_BAD_INDEX;
    return nullptr;
  }
  if (ctl) *ctl = c;
  return &c->items[index];
}
}  // namespace

int GetValueFromIndex(int panel, int control, int index, double* value) {
  int err = 0;
  auto* it = ItemAt(panel, control, index, nullptr, &err);
  if (!it) return err;
  if (!value) return RTE_ERR_BAD_VALUE;
  *value = it->textValue ? std::strtod(it->text.c_str(), nullptr) : it->value;
  return 0;
}

int GetValueFromIndex(int panel, int control, int index, std::string* value) {
  int err = 0;
  Control* c = nullptr;
  auto* it = ItemAt(panel, control, index, &c, &err);
  if (!it) return err;
  if (!value) return RTE_ERR_BAD_VALUE;
  *value = it->textValue ? it->text : FormatNumber(c, it->value);
  return 0;
}

int GetLabelFromIndex(int panel, int control, int index, std::string* label) {
  int err = 0;
  auto* it = ItemAt(panel, control, index, nullptr, &err);
  if (!it) return err;
  if (!label) return RTE_ERR_BAD_VALUE;
  *label = it->label;
  return 0;
}

int GetIndexFromValue(int panel, int control, int* index, double value) {
  int err = 0;
  Control* c = ListCtl(panel, control, &err);
  if (!c) return err;
  if (!index) return RTE_ERR_BAD_VALUE;
  for (std::size_t i = 0; i < c->items.size(); ++i)
    if (!c->items[i].textValue && c->items[i].value == value) {
      *index = static_cast<int>(i);
      return 0;
    }
  *index = -1;
  return RTE_ERR_BAD_VALUE;
}

int IsListItemChecked(int panel, int control, int index, int* checked) {
  int err = 0;
  auto* it = ItemAt(panel, control, index, nullptr, &err);
  if (!it) return err;
  if (!checked) return RTE_ERR_BAD_VALUE;
  *checked = it->checked;
  return 0;
}

int CheckListItem(int panel, int control, int index, int checked) {
  int err = 0;
  Control* c = nullptr;
  auto* it = ItemAt(panel, control, index, &c, &err);
  if (!it) return err;
  it->checked = checked != 0;
  Touch(panel, c);
  return 0;
}

// ---- text boxes --------------------------------------------------------------------------------

namespace {
Control* BoxCtl(int panel, int control, int* err) { return TypedCtl(panel, control, CTRL_TEXT_BOX, err); }
// Lines as the user sees them: an open empty line after a final line feed does not count.
int VisibleLines(const Control* c) {
  int n = static_cast<int>(c->lines.size());
  if (n > 0 && c->lines.back().empty()) --n;
  return n;
}
}  // namespace

int InsertTextBoxLine(int panel, int control, int index, const char* text) {
  int err = 0;
  Control* c = BoxCtl(panel, control, &err);
  if (!c) return err;
  int n = VisibleLines(c);
  if (index < -1 || index > n) return RTE_ERR_BAD_INDEX;
  if (index == -1) index = n;
  std::string t = text ? text : "";
  if (index == n && static_cast<int>(c->lines.size()) > n) {
    // Fill the open line left by a trailing line feed.
    c->lines[n] = t;
    c->lines.emplace_back();
  } else {
    c->lines.insert(c->lines.begin() + index, t);
  }
  Touch(panel, c);
  return 0;
}

int ReplaceTextBoxLine(int panel, int control, int index, const char* text) {
  int err = 0;
  Control* c = BoxCtl(panel, control, &err);
  if (!c) return err;
  if (index < 0 || index >= VisibleLines(c)) return RTE_ERR_BAD_INDEX;
  c->lines[index] = text ? text : "";
  Touch(panel, c);
  return 0;
}

int DeleteTextBoxLine(int panel, int control, int index) {
  int err = 0;
  Control* c = BoxCtl(panel, control, &err);
  if (!c) return err;
  if (index < 0 || index >= VisibleLines(c)) return RTE_ERR_BAD_INDEX;
  c->lines.erase(c->lines.begin() + index);
  Touch(panel, c);
  return 0;
}

int GetNumTextBoxLines(int panel, int control, int* count) {
  int err = 0;
  Control* c = BoxCtl(panel, control, &err);
  if (!c) return err;
  if (!count) return RTE_ERR_BAD_VALUE;
  *count = VisibleLines(c);
  return 0;
}

int GetTextBoxLine(int panel, int control, int index, std::string* text) {
  int err = 0;
  Control* c = BoxCtl(panel, control, &err);
  if (!c) return err;
  if (index < 0 || index >= VisibleLines(c)) return RTE_ERR_BAD_INDEX;
  if (!text) return RTE_ERR_BAD_VALUE;
  *text = c->lines[index];
  return 0;
}

int ResetTextBox(int panel, int control, const char* text) {
  int err = 0;
  Control* c = BoxCtl(panel, control, &err);
  if (!c) return err;
  c->lines.clear();
  if (text && *text) AppendText(c, text);
  Touch(panel, c);
  return 0;
}

// ---- graphs ------------------------------------------------------------------------------------

namespace {
Control* GraphCtl(int panel, int control, int* err, CtrlType type = CTRL_GRAPH) {
  return TypedCtl(panel, control, type, err);
}

rte::model::Axis* AxisOf(Control* c, int axis) {
  if (axis == VAL_XAXIS) return &c->xaxis;
  if (axis == VAL_LEFT_YAXIS) return &c->yaxis;
  return nullptr;
}
}  // namespace

int PlotXY(int panel, int control, const double* x, const double* y, int n, int style, int color) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err);
  if (!c) return err;
  if (n < 0 || (n > 0 && (!x || !y))) return RTE_ERR_BAD_VALUE;
  rte::model::Plot p;
  p.handle = c->nextPlot++;
  p.x.assign(x, x + n);
  p.y.assign(y, y + n);
  p.style = style;
  p.color = color;
  c->plots.push_back(std::move(p));
  Touch(panel, c);
  return c->plots.back().handle;
}

int PlotY(int panel, int control, const double* y, int n, int style, int color) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err);
  if (!c) return err;
  if (n < 0 || (n > 0 && !y)) return RTE_ERR_BAD_VALUE;
  rte::model::Plot p;
  p.handle = c->nextPlot++;
  p.y.assign(y, y + n);
  p.style = style;
  p.color = color;
  c->plots.push_back(std::move(p));
  Touch(panel, c);
  return c->plots.back().handle;
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err);
  if (!c) return err;
  if (plotHandle == VAL_DELETE_ALL) {
    c->plots.clear();
  } else {
    auto it = std::find_if(c->plots.begin(), c->plots.end(),
                           [&](const rte::model::Plot& p) { return p.handle == plotHandle; });
    if (it == c->plots.end()) return RTE_ERR_BAD_VALUE;
    c->plots.erase(it);
  }
  Touch(panel, c);
  return 0;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (c->type != CTRL_GRAPH && c->type != CTRL_STRIP_CHART) return RTE_ERR_TYPE;
  auto* a = AxisOf(c, axis);
  if (!a) return RTE_ERR_BAD_VALUE;
  if (mode == VAL_MANUAL && !(max > min)) return RTE_ERR_BAD_VALUE;
  a->mode = mode;
  if (mode == VAL_MANUAL) {
    a->min = min;
    a->max = max;
  }
  Touch(panel, c);
  return 0;
}

int SetAxisScale(int panel, int control, int axis, int linearOrLog) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  auto* a = AxisOf(c, axis);
  if (!a) return RTE_ERR_BAD_VALUE;
  a->scale = linearOrLog;
  Touch(panel, c);
  return 0;
}

int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  auto* a = AxisOf(c, axis);
  if (!a) return RTE_ERR_BAD_VALUE;
  if (mode) *mode = a->mode;
  if (min) *min = a->min;
  if (max) *max = a->max;
  return 0;
}

int InsertAxisItem(int panel, int control, int axis, int index, const char* label, double value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  auto* a = AxisOf(c, axis);
  if (!a) return RTE_ERR_BAD_VALUE;
  int n = static_cast<int>(a->items.size());
  if (index < -1 || index > n) return RTE_ERR_BAD_INDEX;
  a->items.insert(a->items.begin() + (index == -1 ? n : index), {label ? label : "", value});
  Touch(panel, c);
  return 0;
}

int ClearAxisItems(int panel, int control, int axis) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  auto* a = AxisOf(c, axis);
  if (!a) return RTE_ERR_BAD_VALUE;
  a->items.clear();
  Touch(panel, c);
  return 0;
}

int GetGraphCursor(int panel, int control, int cursor, double* x, double* y) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err);
  if (!c) return err;
  if (cursor != 1) return RTE_ERR_BAD_INDEX;
  if (x) *x = c->cursorX;
  if (y) *y = c->cursorY;
  return 0;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err);
  if (!c) return err;
  if (cursor != 1) return RTE_ERR_BAD_INDEX;
  c->cursorX = x;
  c->cursorY = y;
  Touch(panel, c);
  return 0;
}

namespace {
// On a graph a trace is a plot handle; on a strip chart a 1-based trace number.
int TraceSet(int panel, int control, int trace, int attribute, int iv, const char* sv) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (c->type == CTRL_GRAPH) {
    auto it = std::find_if(c->plots.begin(), c->plots.end(),
                           [&](const rte::model::Plot& p) { return p.handle == trace; });
    if (it == c->plots.end()) return RTE_ERR_BAD_INDEX;
    switch (attribute) {
      case ATTR_TRACE_COLOR: it->color = iv; break;
      case ATTR_TRACE_VISIBLE: it->visible = iv != 0; break;
      case ATTR_PLOT_STYLE: it->style = iv; break;
      case ATTR_TRACE_LG_TEXT: it->legend = sv ? sv : ""; break;
      default: return RTE_ERR_BAD_ATTRIBUTE;
    }
  } else if (c->type == CTRL_STRIP_CHART) {
    if (trace < 1 || trace > static_cast<int>(c->traces.size())) return RTE_ERR_BAD_INDEX;
    auto& t = c->traces[trace - 1];
    switch (attribute) {
      case ATTR_TRACE_COLOR: t.color = iv; break;
      case ATTR_TRACE_VISIBLE: t.visible = iv != 0; break;
      case ATTR_TRACE_LG_TEXT: t.legend = sv ? sv : ""; break;
      default: return RTE_ERR_BAD_ATTRIBUTE;
    }
  } else {
    return RTE_ERR_TYPE;
  }
  Touch(panel, c);
  return 0;
}
}  // namespace

int SetTraceAttribute(int panel, int control, int trace, int attribute, int value) {
  return TraceSet(panel, control, trace, attribute, value, nullptr);
}
int SetTraceAttribute(int panel, int control, int trace, int attribute, const char* value) {
  return TraceSet(panel, control, trace, attribute, 0, value);
}

int GetTraceAttribute(int panel, int control, int trace, int attribute, int* value) {
  Control* c = Ctl(panel, control);
  if (!c) return CtlErr(panel);
  if (!value) return RTE_ERR_BAD_VALUE;
  if (c->type == CTRL_GRAPH) {
    for (const auto& p : c->plots)
      if (p.handle == trace) {
        if (attribute == ATTR_TRACE_COLOR) *value = p.color;
        else if (attribute == ATTR_TRACE_VISIBLE) *value = p.visible;
        else if (attribute == ATTR_PLOT_STYLE) *value = p.style;
        else return RTE_ERR_BAD_ATTRIBUTE;
        return 0;
      }
    return RTE_ERR_BAD_INDEX;
  }
  if (c->type == CTRL_STRIP_CHART) {
    if (trace < 1 || trace > static_cast<int>(c->traces.size())) return RTE_ERR_BAD_INDEX;
    const auto& t = c->traces[trace - 1];
    if (attribute == ATTR_TRACE_COLOR) *value = t.color;
    else if (attribute == ATTR_TRACE_VISIBLE) *value = t.visible;
    else return RTE_ERR_BAD_ATTRIBUTE;
    return 0;
  }
  return RTE_ERR_TYPE;
}

int PlotStripChart(int panel, int control, const double* values, int n) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err, CTRL_STRIP_CHART);
  if (!c) return err;
  if (c->traces.empty()) c->traces.resize(1);
  int k = static_cast<int>(c->traces.size());
  if (n < 0 || (n > 0 && !values) || n % k != 0) return RTE_ERR_BAD_VALUE;
  for (int i = 0; i < n; ++i) {
    auto& t = c->traces[i % k];
    t.points.push_back(values[i]);
    if (static_cast<int>(t.points.size()) > c->pointsPerScreen) t.points.pop_front();
  }
  Touch(panel, c);
  return 0;
}

int ClearStripChart(int panel, int control) {
  int err = 0;
  Control* c = GraphCtl(panel, control, &err, CTRL_STRIP_CHART);
  if (!c) return err;
  for (auto& t : c->traces) t.points.clear();
  Touch(panel, c);
  return 0;
}

// ---- events from the user (view) and from tests ------------------------------------------------

namespace rte {

int SendEvent(int panel, int control, int event, int d1, int d2) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  if (control == 0) return model::Invoke(p->callback, panel, 0, event, nullptr, d1, d2);
  Control* c = p->find(control);
  if (!c) return RTE_ERR_BAD_CONTROL;
  return model::Invoke(c->callback, panel, control, event, c->callbackData, d1, d2);
}

int UserSetValue(int panel, int control, const std::string& value) {
  int r = SetText(panel, control, value.c_str());
  if (r < 0) return r;
  return SendEvent(panel, control, EVENT_COMMIT);
}

int UserSetValue(int panel, int control, double value) {
  int r = SetNumeric(panel, control, value);
  if (r < 0) return r;
  return SendEvent(panel, control, EVENT_COMMIT);
}

int UserMenu(int panel, int menuItemId) {
  Panel* p = M().panel(panel);
  if (!p) return RTE_ERR_BAD_PANEL;
  for (const auto& m : p->menus)
    for (const auto& it : m.items)
      if (it.id == menuItemId) {
        model::InvokeMenu(it.callback, panel, menuItemId, nullptr, panel);
        return 0;
      }
  return RTE_ERR_BAD_CONTROL;
}

void DrainDeferred() {
  // Only from the idle loop: a simulated key reaches its control after the callback that made it.
  while (model::CallbackDepth() == 0 && !PopupOpen() && model::RunOneDeferred()) {
  }
}

void ResetModel() { M().clear(); }

}  // namespace rte
