// The panels as JSON: every loaded panel with its controls, as the model holds them. Operators
// feed monitoring from it; tests read panel contents from outside the program.
#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "model.h"

namespace rte {
namespace model {

std::string NumericText(const Control& c) {
  char buf[64];
  double v = c.num;
  if (!std::isfinite(v)) return std::isnan(v) ? "NaN" : (v > 0 ? "Inf" : "-Inf");
  if (c.format == VAL_HEX_FORMAT) {
    long long n = std::llround(v);
    // Negative values show as the 32-bit word the instrument would hold.
    unsigned long long u = n < 0 && n >= INT32_MIN ? static_cast<std::uint32_t>(n)
                                                   : static_cast<unsigned long long>(n);
    std::snprintf(buf, sizeof buf, "%llX", u);
  } else if (c.dataType == VAL_INTEGER) {
    std::snprintf(buf, sizeof buf, "%lld", std::llround(v));
  } else {
    int prec = std::clamp(c.precision, 0, 15);
    std::snprintf(buf, sizeof buf, "%.*f", prec, v);
  }
  return buf;
}

}  // namespace model

namespace {

const char* TypeName(CtrlType t) {
  switch (t) {
    case CTRL_NUMERIC: return "numeric";
    case CTRL_STRING: return "string";
    case CTRL_TEXT_BOX: return "textbox";
    case CTRL_TEXT_MSG: return "textmsg";
    case CTRL_LED: return "led";
    case CTRL_BINARY_SWITCH: return "switch";
    case CTRL_COMMAND_BUTTON: return "button";
    case CTRL_RING: return "ring";
    case CTRL_LIST_BOX: return "listbox";
    case CTRL_TIMER: return "timer";
    case CTRL_GRAPH: return "graph";
    case CTRL_STRIP_CHART: return "stripchart";
  }
  return "unknown";
}

std::string Colour(int rgb) {
  char b[8];
  std::snprintf(b, sizeof b, "#%06X", static_cast<unsigned>(rgb) & 0xFFFFFFu);
  return b;
}

bool ValidUtf8(const std::string& s) {
  std::size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int more = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (more < 0 || i + more >= n + (more == 0 ? 1 : 0)) return false;
    for (int k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

// Texts come from telemetry and files: one that is not UTF-8 is kept byte for byte as Latin-1
// rather than failing the whole snapshot.
std::string Utf8(const std::string& s) {
  if (ValidUtf8(s)) return s;
  std::string out;
  out.reserve(s.size() + 8);
  for (unsigned char ch : s) {
    if (ch < 0x80) {
      out += static_cast<char>(ch);
    } else {
      out += static_cast<char>(0xC0 | (ch >> 6));
      out += static_cast<char>(0x80 | (ch & 0x3F));
    }
  }
  return out;
}

nlohmann::json ControlJson(const model::Control& c) {
  nlohmann::json j;
  j["id"] = c.id;
  j["label"] = Utf8(c.label);
  j["type"] = TypeName(c.type);
  j["dimmed"] = c.dimmed;
  j["visible"] = c.visible;
  j["textColor"] = Colour(c.textColor);
  j["bgColor"] = Colour(c.bgColor);
  switch (c.type) {
    case CTRL_NUMERIC:
      j["value"] = std::isfinite(c.num) ? nlohmann::json(c.num) : nlohmann::json(nullptr);
      j["text"] = model::NumericText(c);
      break;
    case CTRL_LED:
    case CTRL_BINARY_SWITCH:
      j["value"] = c.num != 0 ? 1 : 0;
      if (c.type == CTRL_LED) j["onColor"] = Colour(c.onColor);
      break;
    case CTRL_STRING:
    case CTRL_TEXT_MSG:
    case CTRL_COMMAND_BUTTON:
      j["value"] = Utf8(c.str);
      j["text"] = Utf8(c.str);
      break;
    case CTRL_TEXT_BOX: {
      auto& lines = j["lines"] = nlohmann::json::array();
      for (const auto& l : c.lines) lines.push_back(Utf8(l));
      break;
    }
    case CTRL_RING:
    case CTRL_LIST_BOX: {
      j["index"] = c.index;
      auto& items = j["items"] = nlohmann::json::array();
      for (const auto& it : c.items) {
        nlohmann::json i;
        i["label"] = Utf8(it.label);
        // A label that starts with a colour escape shows in that colour, without the escape.
        const std::string& l = it.label;
        if (l.size() >= 9 && l[0] == '\033' && (l[1] == 'f' || l[1] == 'F') &&
            (l[2] == 'g' || l[2] == 'G') &&
            std::all_of(l.begin() + 3, l.begin() + 9, [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)); })) {
          i["text"] = Utf8(l.substr(9));
          i["color"] = "#" + l.substr(3, 6);
        }
        if (it.textValue)
          i["value"] = Utf8(it.text);
        else
          i["value"] = it.value;
        i["checked"] = it.checked;
        items.push_back(std::move(i));
      }
      if (c.index >= 0 && c.index < static_cast<int>(c.items.size()))
        j["text"] = Utf8(c.items[static_cast<std::size_t>(c.index)].label);
      break;
    }
    case CTRL_TIMER:
      j["enabled"] = c.enabled;
      j["interval"] = c.interval;
      break;
    case CTRL_GRAPH: {
      auto& plots = j["plots"] = nlohmann::json::array();
      for (const auto& p : c.plots) plots.push_back({{"points", p.y.size()}, {"visible", p.visible}});
      break;
    }
    case CTRL_STRIP_CHART: {
      auto& traces = j["traces"] = nlohmann::json::array();
      for (const auto& t : c.traces) {
        nlohmann::json tj;
        tj["points"] = t.points.size();
        if (!t.points.empty()) tj["last"] = std::isfinite(t.points.back()) ? nlohmann::json(t.points.back()) : nlohmann::json(nullptr);
        traces.push_back(std::move(tj));
      }
      break;
    }
  }
  return j;
}

}  // namespace

std::string SnapshotJson() {
  auto& m = model::Model::get();
  nlohmann::json doc;
  doc["panels"] = nlohmann::json::array();
  for (int h : m.handles()) {
    const model::Panel* p = m.panel(h);
    if (!p) continue;
    nlohmann::json pj;
    pj["handle"] = h;
    pj["parent"] = p->parent;
    pj["title"] = Utf8(p->title);
    pj["resourceFile"] = p->file;
    pj["resource"] = p->resourceId;
    pj["visible"] = p->visible;
    auto& cs = pj["controls"] = nlohmann::json::array();
    for (const auto& c : p->controls) cs.push_back(ControlJson(*c));
    doc["panels"].push_back(std::move(pj));
  }
  return doc.dump(1);
}

int WriteSnapshot(const std::string& path, std::string* err) {
  // Written beside the target and renamed over it, so that a reader never sees half a file.
  std::string tmp = path + ".part";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) {
      if (err) *err = tmp + ": " + std::strerror(errno);
      return -1;
    }
    out << SnapshotJson() << '\n';
    out.flush();
    if (!out) {
      if (err) *err = tmp + ": " + std::strerror(errno);
      std::error_code ec;
      std::filesystem::remove(tmp, ec);
      return -1;
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    if (err) *err = path + ": " + ec.message();
    std::filesystem::remove(tmp, ec);
    return -1;
  }
  return 0;
}

}  // namespace rte
