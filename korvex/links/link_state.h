// State of the MOC links: the telemetry connection and record intake, the APID handler table the
// decoding modules fill, and the command connection with its ARR wait.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "links/arr.h"
#include "links/localserver_cfg.h"
#include "links/reconnect.h"
#include "links/record.h"
#include "links/sepscm.h"

namespace korvex {

struct Program;

// A packet's decoder. It gets the whole record as the station reads it: the 26-byte header and
// the packet with its byte pairs exchanged as configured (cfgtswap).
using ApidHandler = std::function<void(Program&, const std::uint8_t* decoded)>;

// Decoders keyed by APID, filled by the modules at start-up (their Install functions). Several
// handlers for one APID run in the order they were added. Illegal APIDs arrive as APID 0.
class ApidHandlers {
 public:
  static constexpr int kApids = 2048;  // 11-bit APIDs
  void add(int apid, ApidHandler h) {
    if (apid >= 0 && apid < kApids) byApid_[static_cast<std::size_t>(apid)].push_back(std::move(h));
  }
  // Runs the handlers of apid; false when it has none.
  bool dispatch(Program& p, int apid, const std::uint8_t* decoded) const {
    if (apid < 0 || apid >= kApids) return false;
    const auto& hs = byApid_[static_cast<std::size_t>(apid)];
    for (const auto& h : hs) h(p, decoded);
    return !hs.empty();
  }
  bool has(int apid) const {
    return apid >= 0 && apid < kApids && !byApid_[static_cast<std::size_t>(apid)].empty();
  }

 private:
  std::array<std::vector<ApidHandler>, kApids> byApid_;
};

// Telemetry link and intake.
struct LinkState {
  int tHandle = -1;
  std::string telemServ;
  std::string serverName;
  unsigned portTlm = 0, portCmd = 0;
  unsigned cfgtport = 0, cfgcport = 0;
  int cfgtlm = 0;
  int cfgcmd = 0;
  int nomocset = 0;
  int displayOnOff = 0;
  Assembler rx;
  std::array<std::uint8_t, kRecordSize> decode{};
  // What each hex display last showed, so that a redraw (swap, start, length) shows the same
  // packet and not whatever came in last: the link panel and the two APID display panels.
  std::array<std::uint8_t, kRecordSize> linkShown{};
  std::array<std::array<std::uint8_t, kRecordSize>, 2> apidShown{};
  Counters counters;
  ApdIndex apdIndex;
  ApidHandlers handlers;
  // Each complete record goes out to the local telemetry clients through this hook.
  std::function<void(const std::uint8_t* record)> forward;
  std::uint64_t records = 0;  // complete records handled
  // Set while one socket event's records are handled: their recording is flushed once at the
  // end instead of record by record.
  bool batching = false;
  // Automatic reconnection of both MOC links (cfg/reconnect.cfg).
  ReconnectState reconnect;
};

// The station's local telemetry server: up to 20 clients get every record as it came.
struct LocalServerState {
  static constexpr int kTlmSlots = 20;
  std::array<int, kTlmSlots> fHandle;          // -1 = free
  std::array<std::string, kTlmSlots> fName;    // shown and logged name of each client
  unsigned tport = 0;          // port of the running telemetry server, 0 = stopped
  bool tRunning = false;
  unsigned lastTport = 0;      // the port the next start offers
  bool tStartedOnce = false;   // later starts ask for the port
  LocalServerConfig cfg;
  // Bytes a client may have waiting before it counts as one that stopped reading (about 14000
  // records): it is dropped rather than holding the station or its memory.
  std::size_t maxQueued = 4u << 20;

  // The local command server: up to 10 clients (the SEP's ground equipment), one served at a time.
  static constexpr int kCmdSlots = 10;
  std::array<int, kCmdSlots> rHandle;          // -1 = free
  std::array<std::string, kCmdSlots> rName;
  std::array<bool, kCmdSlots> rQueued{};       // told "107" while another one is served
  int rx = -1;                 // slot being served
  int rbusy = 0;               // 1 while a client is served (assembling, or its SCM's ARR awaited)
  unsigned sport = 0;          // port of the running command server, 0 = stopped
  bool sRunning = false;
  unsigned lastSport = 0;
  bool sStartedOnce = false;
  SepAssembly sep;             // the served client's SCM, part by part
  bool sepLine = false;        // the served client's "send" line is running
  bool sepAnswered = false;    // ... and it has been answered already
  bool sepSent = false;        // the served client's SCM is at the MOC, its ARR awaited
  std::vector<std::uint8_t> sepErrArr;  // an error ARR from the MOC for the served client's SCM
  LocalServerState() {
    fHandle.fill(-1);
    rHandle.fill(-1);
  }
};

// Command connection to the MOC command server and the wait for the ARR of the last SCM.
struct CmdLinkState {
  int gHandle = -1;
  int flagArr = 0;  // 0 idle, 1 ARR awaited, 2 success ARR in, 3 error ARR in
  int lcvCnt = 0;   // verification entries the last SCM added
  int sepFlg = 0;   // the last SCM came from a local SEP client
  ArrAssembler arrIn;
};

}  // namespace korvex
