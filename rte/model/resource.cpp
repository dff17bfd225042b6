// Resource files: JSON documents of panels (by resource number) and their controls (by id).
// Callbacks are bound by name through the registry; a name that does not resolve fails the load.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "model.h"

using json = nlohmann::json;

namespace rte {
namespace {
std::map<std::string, CtrlCallbackPtr>& Callbacks() {
  static std::map<std::string, CtrlCallbackPtr> m;
  return m;
}
std::map<std::string, MenuCallbackPtr>& MenuCallbacks() {
  static std::map<std::string, MenuCallbackPtr> m;
  return m;
}
std::vector<std::string>& ResourceDirs() {
  static std::vector<std::string> d;
  return d;
}
std::string& LastError() {
  static std::string e;
  return e;
}
// Resource documents read once and kept: a program loads many panels from the same file. A file
// that changed since (size or time) is read again.
struct CachedDoc {
  std::shared_ptr<json> doc;
  long long size = -1;
  long long mtime = -1;
};
std::map<std::string, CachedDoc>& DocCache() {
  static std::map<std::string, CachedDoc> c;
  return c;
}
bool Stamp(const std::string& path, long long* size, long long* mtime) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  *size = static_cast<long long>(st.st_size);
  *mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}
}  // namespace

void RegisterCallback(const std::string& name, CtrlCallbackPtr fn) { Callbacks()[name] = fn; }
void RegisterMenuCallback(const std::string& name, MenuCallbackPtr fn) { MenuCallbacks()[name] = fn; }
CtrlCallbackPtr FindCallback(const std::string& name) {
  auto it = Callbacks().find(name);
  return it == Callbacks().end() ? nullptr : it->second;
}
MenuCallbackPtr FindMenuCallback(const std::string& name) {
  auto it = MenuCallbacks().find(name);
  return it == MenuCallbacks().end() ? nullptr : it->second;
}
void AddResourceDir(const std::string& dir) {
  auto& d = ResourceDirs();
  if (std::find(d.begin(), d.end(), dir) == d.end()) d.push_back(dir);
}
const std::string& LastLoadError() { return LastError(); }

}  // namespace rte

namespace rte::model {
namespace {

struct TypeName {
  const char* name;
  CtrlType type;
};
constexpr TypeName kTypes[] = {
    {"numeric", CTRL_NUMERIC},   {"string", CTRL_STRING},          {"textbox", CTRL_TEXT_BOX},
    {"textmsg", CTRL_TEXT_MSG},  {"led", CTRL_LED},                {"switch", CTRL_BINARY_SWITCH},
    {"button", CTRL_COMMAND_BUTTON}, {"ring", CTRL_RING},          {"listbox", CTRL_LIST_BOX},
    {"timer", CTRL_TIMER},       {"graph", CTRL_GRAPH},            {"stripchart", CTRL_STRIP_CHART},
};

// Default sizes of the automatic layout.
void DefaultSize(Control& c) {
  int w = 160, h = 22;
  switch (c.type) {
    case CTRL_TEXT_BOX: w = 420; h = 160; break;
    case CTRL_LIST_BOX: w = 320; h = 160; break;
    case CTRL_GRAPH:
    case CTRL_STRIP_CHART: w = 420; h = 240; break;
    case CTRL_LED: w = 18; h = 18; break;
    case CTRL_TIMER: w = 0; h = 0; break;
    case CTRL_COMMAND_BUTTON: w = 120; h = 26; break;
    case CTRL_STRING: w = 260; break;
    default: break;
  }
  if (c.width < 0) c.width = w;
  if (c.height < 0) c.height = h;
}

int ParseColor(const json& v) {
  if (v.is_number_integer()) return v.get<int>();
  if (v.is_string()) {
    std::string s = v.get<std::string>();
    if (s.rfind("#", 0) == 0) s = s.substr(1);
    if (s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0) s = s.substr(2);
    return static_cast<int>(std::strtol(s.c_str(), nullptr, 16));
  }
  throw std::runtime_error("colour must be a number or a hex text");
}

// A whole number from the document, clamped to what the engine can use; anything else is def.
int IntOf(const json& j, const char* key, int def, int lo = -1, int hi = 100000) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return def;
  double v = it->get<double>();
  if (!(v == v)) return def;  // NaN
  return static_cast<int>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}

double NumOf(const json& j, const char* key, double def) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return def;
  double v = it->get<double>();
  return std::isfinite(v) ? v : def;
}

void Fail(std::string* err, const std::string& file, int panel, int control, const std::string& what) {
  std::ostringstream o;
  o << file << ": panel " << panel;
  if (control >= 0) o << ": control " << control;
  o << ": " << what;
  *err = o.str();
}

}  // namespace

void AutoLayout(Panel& p) {
  // Controls without a position flow down in columns beside those that have one; a column is
  // full at 640 pixels. Labels sit above the control, so each row takes the label's height too.
  const int kLabel = 16, kGap = 8, kColumnHeight = 640;
  int maxRight = 0, maxBottom = 0;
  for (auto& c : p.controls) {
    if (c->type == CTRL_TIMER) continue;
    DefaultSize(*c);
    if (c->top >= 0 && c->left >= 0) {
      maxRight = std::max(maxRight, c->left + c->width);
      maxBottom = std::max(maxBottom, c->top + c->height);
    }
  }
  int x = maxRight > 0 ? maxRight + 2 * kGap : kGap, y = kGap + kLabel, colWidth = 0;
  for (auto& c : p.controls) {
    if (c->type == CTRL_TIMER || (c->top >= 0 && c->left >= 0)) continue;
    if (y + c->height > kColumnHeight && y > kGap + kLabel) {
      x += colWidth + 2 * kGap;
      y = kGap + kLabel;
      colWidth = 0;
    }
    c->left = x;
    c->top = y;
    y += c->height + kLabel + kGap;
    colWidth = std::max(colWidth, c->width);
    maxRight = std::max(maxRight, c->left + c->width);
    maxBottom = std::max(maxBottom, c->top + c->height);
  }
  if (p.width < 0) p.width = std::max(200, maxRight + kGap);
  if (p.height < 0) p.height = std::max(80, maxBottom + kGap);
}

std::unique_ptr<Panel> ParsePanelDoc(const json& doc, const std::string& file, int resourceId,
                                     std::string* err) {
  if (!doc.is_object() || !doc.contains("panels") || !doc["panels"].is_array()) {
    Fail(err, file, resourceId, -1, "no \"panels\" list");
    return nullptr;
  }
  const json* pj = nullptr;
  for (const auto& p : doc["panels"]) {
    // A panel whose resource number is not a number is not the one asked for.
    if (!p.is_object() || !p.contains("resource") || !p["resource"].is_number_integer()) continue;
    if (p["resource"].get<int>() == resourceId) pj = &p;
  }
  if (!pj) {
    Fail(err, file, resourceId, -1, "no such panel");
    return nullptr;
  }
  auto panel = std::make_unique<Panel>();
  panel->file = file;
  panel->resourceId = resourceId;
  int cid = -1;
  try {
    const json& p = *pj;
    panel->title = p.value("title", "");
    panel->width = IntOf(p, "width", -1);
    panel->height = IntOf(p, "height", -1);
    panel->top = IntOf(p, "top", 40, -100000);
    panel->left = IntOf(p, "left", 40, -100000);
    if (p.contains("bgcolor")) panel->bgColor = ParseColor(p["bgcolor"]);
    panel->callbackName = p.value("callback", "");
    if (!panel->callbackName.empty()) {
      panel->callback = FindCallback(panel->callbackName);
      if (!panel->callback) {
        Fail(err, file, resourceId, -1, "unknown callback \"" + panel->callbackName + "\"");
        return nullptr;
      }
    }
    if (p.contains("menubar")) {
      for (const auto& mj : p["menubar"]) {
        Menu m;
        m.label = mj.value("label", "");
        for (const auto& ij : mj.value("items", json::array())) {
          MenuItem it;
          it.id = IntOf(ij, "id", -1, -1, 1000000);
          if (it.id < 0) throw std::runtime_error("menu item without a numeric id");
          it.label = ij.value("label", "");
          it.callbackName = ij.value("callback", "");
          if (!it.callbackName.empty()) {
            it.callback = FindMenuCallback(it.callbackName);
            if (!it.callback) {
              Fail(err, file, resourceId, -1,
                   "menu item " + std::to_string(it.id) + ": unknown callback \"" + it.callbackName + "\"");
              return nullptr;
            }
          }
          m.items.push_back(std::move(it));
        }
        panel->menus.push_back(std::move(m));
      }
    }
    for (const auto& cj : p.value("controls", json::array())) {
      cid = -1;
      if (!cj.is_object() || !cj.contains("id") || !cj["id"].is_number_integer()) {
        Fail(err, file, resourceId, -1, "a control without a numeric \"id\"");
        return nullptr;
      }
      cid = cj["id"].get<int>();
      if (cid <= 0 || cid > 100000) {
        Fail(err, file, resourceId, cid, "id out of range");
        return nullptr;
      }
      if (panel->find(cid)) {
        Fail(err, file, resourceId, cid, "id used twice");
        return nullptr;
      }
      auto c = std::make_unique<Control>();
      c->id = cid;
      std::string type = cj.value("type", "");
      bool known = false;
      for (const auto& t : kTypes)
        if (type == t.name) {
          c->type = t.type;
          known = true;
        }
      if (!known) {
        Fail(err, file, resourceId, cid, "unknown type \"" + type + "\"");
        return nullptr;
      }
      c->label = cj.value("label", "");
      c->callbackName = cj.value("callback", "");
      if (!c->callbackName.empty()) {
        c->callback = FindCallback(c->callbackName);
        if (!c->callback) {
          Fail(err, file, resourceId, cid, "unknown callback \"" + c->callbackName + "\"");
          return nullptr;
        }
      }
      c->top = IntOf(cj, "top", -1);
      c->left = IntOf(cj, "left", -1);
      c->width = IntOf(cj, "width", -1);
      c->height = IntOf(cj, "height", -1);
      c->visible = cj.value("visible", true);
      c->dimmed = cj.value("dimmed", false);
      std::string mode = cj.value("mode", "");
      if (mode == "indicator") c->mode = VAL_INDICATOR;
      else if (mode == "hot") c->mode = VAL_HOT;
      std::string dt = cj.value("datatype", "");
      if (c->type == CTRL_NUMERIC) c->dataType = dt == "double" ? VAL_DOUBLE : VAL_INTEGER;
      else if (c->type == CTRL_LED || c->type == CTRL_BINARY_SWITCH) c->dataType = VAL_INTEGER;
      else c->dataType = VAL_STRING;
      if (dt == "double") c->dataType = VAL_DOUBLE;
      if (cj.value("format", "") == "hex") c->format = VAL_HEX_FORMAT;
      c->precision = IntOf(cj, "precision", c->dataType == VAL_DOUBLE ? 2 : 0, 0, 15);
      c->maxEntryLength = IntOf(cj, "maxlength", 0, 0, 1 << 24);
      if (cj.contains("textcolor")) c->textColor = ParseColor(cj["textcolor"]);
      if (cj.contains("bgcolor")) c->bgColor = ParseColor(cj["bgcolor"]);
      if (cj.contains("oncolor")) c->onColor = ParseColor(cj["oncolor"]);
      if (cj.contains("offcolor")) c->offColor = ParseColor(cj["offcolor"]);
      if (cj.contains("value")) {
        const auto& v = cj["value"];
        if (v.is_number()) c->num = v.get<double>();
        else if (v.is_string()) c->str = v.get<std::string>();
        else if (v.is_boolean()) c->num = v.get<bool>() ? 1 : 0;
        if (c->type == CTRL_TEXT_BOX && v.is_string()) c->lines = {v.get<std::string>()};
      }
      for (const auto& ij : cj.value("items", json::array())) {
        ListItem it;
        it.label = ij.value("label", "");
        if (ij.contains("value") && ij["value"].is_string()) {
          it.textValue = true;
          it.text = ij["value"].get<std::string>();
        } else {
          it.value = NumOf(ij, "value", 0.0);
        }
        c->items.push_back(std::move(it));
      }
      if (!c->items.empty()) c->index = 0;
      c->interval = NumOf(cj, "interval", 1.0);
      c->enabled = cj.value("enabled", true);
      if (c->type == CTRL_TIMER && !(c->interval > 0)) {
        Fail(err, file, resourceId, cid, "timer interval must be positive");
        return nullptr;
      }
      if (c->type == CTRL_STRIP_CHART) {
        c->traces.resize(IntOf(cj, "traces", 1, 1, 64));
        c->pointsPerScreen = IntOf(cj, "points", 100, 1, 1000000);
        static const int kColors[] = {VAL_RED, VAL_BLUE, 0x00A000, VAL_MAGENTA, VAL_CYAN, 0xFF8000};
        for (std::size_t i = 0; i < c->traces.size(); ++i) c->traces[i].color = kColors[i % 6];
      }
      if (cj.contains("ymin") && cj.contains("ymax")) {
        c->yaxis.mode = VAL_MANUAL;
        c->yaxis.min = cj["ymin"].get<double>();
        c->yaxis.max = cj["ymax"].get<double>();
      }
      if (static_cast<int>(panel->idToIndex.size()) <= cid) panel->idToIndex.resize(cid + 1, -1);
      panel->idToIndex[cid] = static_cast<int>(panel->controls.size());
      panel->controls.push_back(std::move(c));
    }
  } catch (const std::exception& e) {
    Fail(err, file, resourceId, cid, std::string("malformed: ") + e.what());
    return nullptr;
  }
  AutoLayout(*panel);
  return panel;
}

std::unique_ptr<Panel> ParsePanel(const std::string& text, const std::string& file, int resourceId,
                                  std::string* err) {
  json doc;
  try {
    doc = json::parse(text);
  } catch (const std::exception& e) {
    Fail(err, file, resourceId, -1, std::string("not a resource document: ") + e.what());
    return nullptr;
  }
  return ParsePanelDoc(doc, file, resourceId, err);
}

}  // namespace rte::model

int LoadPanel(int parent, const char* resourceFile, int resourceId) {
  using namespace rte::model;
  std::string err;
  std::string name = resourceFile ? resourceFile : "";
  if (parent != 0 && !Model::get().panel(parent)) {
    rte::LastError() = name + ": panel " + std::to_string(resourceId) + ": parent panel does not exist";
    return RTE_ERR_BAD_PANEL;
  }
  auto& cache = rte::DocCache();
  std::shared_ptr<json> doc;
  std::vector<std::string> candidates{name};
  for (const auto& d : rte::ResourceDirs()) candidates.push_back(d + "/" + name);
  for (const auto& c : candidates) {
    std::string path = rte::ResolvePath(c);
    long long size = -1, mtime = -1;
    if (!rte::Stamp(path, &size, &mtime)) continue;
    if (auto it = cache.find(path); it != cache.end() && it->second.size == size &&
                                    it->second.mtime == mtime) {
      doc = it->second.doc;
      break;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    std::ostringstream ss;
    ss << in.rdbuf();
    try {
      doc = std::make_shared<json>(json::parse(ss.str()));
    } catch (const std::exception& e) {
      rte::LastError() = name + ": panel " + std::to_string(resourceId) +
                         ": not a resource document: " + e.what();
      std::fprintf(stderr, "rte: %s\n", rte::LastError().c_str());
      return RTE_ERR_RESOURCE;
    }
    cache[path] = {doc, size, mtime};
    break;
  }
  if (!doc) {
    rte::LastError() = name + ": panel " + std::to_string(resourceId) + ": resource file not found";
    std::fprintf(stderr, "rte: %s\n", rte::LastError().c_str());
    return RTE_ERR_RESOURCE;
  }
  auto panel = ParsePanelDoc(*doc, name, resourceId, &err);
  if (!panel) {
    rte::LastError() = err;
    std::fprintf(stderr, "rte: %s\n", err.c_str());
    return RTE_ERR_RESOURCE;
  }
  panel->parent = parent;
  return Model::get().add(std::move(panel));
}
