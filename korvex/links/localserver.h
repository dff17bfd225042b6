// Inside the links module: what the local telemetry server and the local command server share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

struct Program;

// Peer name, or its address when no name can be had, in upper case.
std::string ClientName(unsigned handle);
// The slot of a client table that holds handle h (h = -1: the first free slot), or -1.
template <std::size_t N>
int SlotIndex(const std::array<int, N>& slots, int h) {
  for (std::size_t k = 0; k < N; ++k)
    if (slots[k] == h) return static_cast<int>(k);
  return -1;
}
// A new connection's peer is on the allowed list of cfg/localserver.cfg; one that is not is
// closed and logged in red.
bool AdmitPeer(unsigned handle);
// Reads cfg/localserver.cfg into the local server state (the defaults without the file); what it
// skipped is logged in yellow.
void ReadLocalServerConfig();
// The port a server start listens on: the configured one at the first start, later the answer to
// the port question (an empty answer keeps the last port).
unsigned ServerPort(bool startedOnce, unsigned configured, unsigned last);
// The port a registered server really listens on (the requested one may be 0).
unsigned ListeningPort(unsigned requested);

// The command server's callbacks and timer duty (cmdserver.cpp).
void InstallCmdServer(Program& p);
// A whole SEP SCM from the served client: kept as a store file, relayed to the MOC, or refused
// with the station's own ARR.
void DoSep(std::vector<std::uint8_t> scm);

}  // namespace korvex
