// Automatic reconnection of the two MOC links, for stations that run unattended. It is off unless
// "cfg/reconnect.cfg" switches it on, a small file of its own so that the positions of
// cfg/korvex.cfg stay as they are:
//
//   telemetry = on        retry the telemetry link when it is lost or refused (on/off)
//   command   = off       the same for the command link
//   interval  = 10        seconds between two attempts (1-3600)
//
// Without the file both links behave as before: a loss or refusal is told in a pop-up and the
// link stays down until the operator connects it again.
//
// This part holds no engine calls: the settings reader and one small state machine per link
// (connected / retrying / off, when the next attempt is due, what is worth a log line). The glue
// in reconnect_glue.cpp drives it from the connection events and the one-second timer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/loadnote.h"

namespace korvex {

struct ReconnectConfig {
  static constexpr int kDefaultInterval = 10;
  static constexpr int kMaxInterval = 3600;
  bool telemetry = false;
  bool command = false;
  int interval = kDefaultInterval;
};

ReconnectConfig ParseReconnectConfig(const std::vector<std::string>& lines,
                                     LoadNotes* notes = nullptr);

// What the link's lamp shows.
enum class LinkLamp { Off, Connected, Retrying };

// One link. Time is counted in timer seconds by the caller (any monotonic count will do).
class LinkRetry {
 public:
  // What a loss or a refusal means for the caller.
  struct Down {
    bool retrying = false;  // the timer will try again: no pop-up, the link stays wanted
    bool log = false;       // worth a log line (the first loss, or a new reason while retrying)
  };

  void enable(bool on, int intervalSeconds);
  bool enabled() const { return enabled_; }
  int interval() const { return interval_; }

  // The connection was lost, refused, or a retry failed, for `reason`.
  Down down(std::uint64_t now, const std::string& reason);
  // The connection is up (the operator's, or a retry): true when it recovers from retrying.
  bool up();
  // The operator does not want the link any more (switched it off, declined a resend).
  void off();
  // Time for the next attempt.
  bool due(std::uint64_t now) const { return state_ == LinkLamp::Retrying && now >= next_; }

  LinkLamp lamp() const { return state_; }
  // Attempts that failed since the link went down, and the seconds it has been down.
  int failedAttempts() const { return failed_; }
  std::uint64_t downFor(std::uint64_t now) const { return now >= since_ ? now - since_ : 0; }

 private:
  bool enabled_ = false;
  int interval_ = ReconnectConfig::kDefaultInterval;
  LinkLamp state_ = LinkLamp::Off;
  std::uint64_t next_ = 0, since_ = 0;
  int failed_ = 0;
  std::string reason_;
};

// Both links, the settings and the seconds counted by the timer.
struct ReconnectState {
  static constexpr int kTlm = 0, kCmd = 1;
  bool loaded = false;  // cfg/reconnect.cfg read (once, at the first need)
  ReconnectConfig cfg;
  LinkRetry link[2];
  std::uint64_t seconds = 0;
  bool tlmMocset = true;  // what the last telemetry connection sent: a retry sends the same
  bool busy = false;      // an attempt is running (the engine serves events meanwhile)
};

}  // namespace korvex
