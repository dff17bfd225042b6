// The one processing path for the live link, a replayed ".pbf" and a ".tlm" file: bytes go into
// the receive buffer with Receive, whole records come out of it with Pkt, and each decoded product
// is handed to a Sink (the panels, or the headless printer).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/science.h"

namespace drev {

class Sink {
 public:
  virtual ~Sink() = default;
  // The spacecraft of the stream changed (aorb 1 = A, 2 = B).
  virtual void spacecraft(DrevState&) {}
  // A record whose packet bytes do not add up to 0 (already counted in checksumErrors).
  virtual void checksumError(DrevState&) {}
  virtual void suiteHk(DrevState&) {}
  // Every numbered distribution packet; refresh is true on the fifth (pktflg already reset).
  virtual void distribution(DrevState&, bool refresh) {}
  virtual void pitch(DrevState&) {}
  virtual void moments(DrevState&) {}
  virtual void analyzerHk(DrevState&, int part) {}
};

// Appends bytes to the receive buffer. The buffer never overflows: when the bytes would not fit,
// the held bytes are moved to the front and, if that is not enough, the whole records held are
// processed first. Then the usual compaction after 524288 processed bytes applies.
// The bytes are also kept as the last read (tcpBuff) for the hex view.
void Receive(DrevState& s, const std::uint8_t* data, std::size_t n, Sink& sink);

// Processes every whole record held. Returns the number of records taken.
int Pkt(DrevState& s, Sink& sink);

// One record, as Pkt does it (useful to feed a record without the buffer).
void ProcessRecord(DrevState& s, const std::uint8_t* record, Sink& sink);

}  // namespace drev
