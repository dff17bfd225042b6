// Where the station's local servers listen and whom they serve: "cfg/localserver.cfg", a small
// file of its own so that the positions of cfg/korvex.cfg stay as they are.
//
//   listen = 127.0.0.1            address the local servers listen on ("*" = every address)
//   allow  = 127.0.0.1 10.0.0.7   peers that may connect ("*" = any)
//
// Without the file the servers listen on the loopback address and serve loopback peers only.
#pragma once

#include <string>
#include <vector>

#include "core/loadnote.h"

namespace korvex {

struct LocalServerConfig {
  std::string listen = "127.0.0.1";
  std::vector<std::string> allow{"127.0.0.1", "::1"};
  bool anyPeer() const;
  // An IPv4 peer seen through an IPv6 socket ("::ffff:a.b.c.d") counts as a.b.c.d.
  bool allows(const std::string& peerAddress) const;
};

LocalServerConfig ParseLocalServerConfig(const std::vector<std::string>& lines,
                                         LoadNotes* notes = nullptr);

}  // namespace korvex
