#include "links/reconnect.h"

#include <cctype>
#include <cstdlib>

#include "core/text.h"

namespace korvex {

namespace {

// "on"/"off" and their usual spellings; -1 for anything else.
int Switch(const std::string& v) {
  std::string l = Lower(v);
  if (l == "on" || l == "yes" || l == "true" || l == "1") return 1;
  if (l == "off" || l == "no" || l == "false" || l == "0") return 0;
  return -1;
}

}  // namespace

ReconnectConfig ParseReconnectConfig(const std::vector<std::string>& lines, LoadNotes* notes) {
  ReconnectConfig c;
  auto note = [&](int at, const std::string& text) {
    if (notes) notes->add(at, text);
  };
  int at = 0;
  for (const std::string& raw : lines) {
    ++at;
    std::string line = Trim(raw.substr(0, raw.find('#')));
    if (line.empty()) continue;
    std::size_t eq = line.find('=');
    std::string key = eq == std::string::npos ? std::string() : Lower(Trim(line.substr(0, eq)));
    std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
    if (key == "telemetry" || key == "command") {
      int on = Switch(value);
      if (on < 0) {
        note(at, "\"" + value + "\" is not on or off; " + key + " reconnection stays off");
        on = 0;
      }
      (key == "telemetry" ? c.telemetry : c.command) = on == 1;
    } else if (key == "interval") {
      char* end = nullptr;
      long n = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end || n < 1 || n > ReconnectConfig::kMaxInterval) {
        note(at, "interval \"" + value + "\" is not 1-3600 seconds; " +
                     std::to_string(ReconnectConfig::kDefaultInterval) + " used");
        c.interval = ReconnectConfig::kDefaultInterval;
      } else {
        c.interval = static_cast<int>(n);
      }
    } else {
      note(at,
           "not a \"telemetry = on|off\", \"command = on|off\" or \"interval = SECONDS\" line; "
           "skipped");
    }
  }
  return c;
}

void LinkRetry::enable(bool on, int intervalSeconds) {
  enabled_ = on;
  interval_ = intervalSeconds < 1 ? 1 : intervalSeconds;
  if (!on && state_ == LinkLamp::Retrying) off();
}

LinkRetry::Down LinkRetry::down(std::uint64_t now, const std::string& reason) {
  Down d;
  if (!enabled_) {
    state_ = LinkLamp::Off;
    d.log = true;
    return d;
  }
  d.retrying = true;
  if (state_ == LinkLamp::Retrying) {
    // A retry that failed: said again only when the cause changed, so that an hour of a
    // server being down is one line, not 360.
    ++failed_;
    d.log = reason != reason_;
  } else {
    state_ = LinkLamp::Retrying;
    since_ = now;
    failed_ = 0;
    d.log = true;
  }
  reason_ = reason;
  next_ = now + static_cast<std::uint64_t>(interval_);
  return d;
}

bool LinkRetry::up() {
  bool recovered = state_ == LinkLamp::Retrying;
  state_ = LinkLamp::Connected;
  reason_.clear();
  return recovered;
}

void LinkRetry::off() {
  state_ = LinkLamp::Off;
  reason_.clear();
  failed_ = 0;
}

}  // namespace korvex
