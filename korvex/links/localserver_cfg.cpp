#include "links/localserver_cfg.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "core/text.h"

namespace korvex {

namespace {
std::string Plain(std::string a) {
  if (Lower(a).rfind("::ffff:", 0) == 0 && a.find('.') != std::string::npos) a = a.substr(7);
  return Lower(a);
}
}  // namespace

bool LocalServerConfig::anyPeer() const {
  return std::find(allow.begin(), allow.end(), "*") != allow.end();
}

bool LocalServerConfig::allows(const std::string& peerAddress) const {
  if (anyPeer()) return true;
  std::string p = Plain(peerAddress);
  for (const std::string& a : allow)
    if (Plain(a) == p) return true;
  return false;
}

LocalServerConfig ParseLocalServerConfig(const std::vector<std::string>& lines, LoadNotes* notes) {
  LocalServerConfig c;
  bool allowSeen = false;
  int at = 0;
  for (const std::string& raw : lines) {
    ++at;
    std::string line = raw.substr(0, raw.find('#'));
    if (Trim(line).empty()) continue;
    std::size_t eq = line.find('=');
    std::string key = eq == std::string::npos ? std::string() : Lower(Trim(line.substr(0, eq)));
    std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
    if (key == "listen" && !value.empty() && value.find(' ') == std::string::npos) {
      c.listen = value == "*" ? std::string() : value;
    } else if (key == "allow") {
      if (!allowSeen) c.allow.clear();
      allowSeen = true;
      std::istringstream words(value);
      for (std::string w; words >> w;) c.allow.push_back(w);
    } else if (notes) {
      notes->add(at, "not a \"listen = ADDRESS\" or \"allow = ADDRESS ...\" line; skipped");
    }
  }
  return c;
}

}  // namespace korvex
