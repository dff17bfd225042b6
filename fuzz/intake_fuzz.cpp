// The telemetry intake on an arbitrary stream cut into arbitrary reads: the assembler never holds
// more than a record, every 298 bytes make exactly one record, and checking and counting any
// record stays inside its tables.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "links/record.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the read sizes and the byte order; the rest is the stream.
  const std::uint8_t mode = data[0];
  const int cfgtswap = mode & 1;
  const int filter = (mode & 2) ? korvex::kApidAll : data[1] << 3;
  const std::uint8_t* s = data + 2;
  std::size_t n = size - 2;

  static korvex::Assembler a;
  static korvex::Counters c;
  static korvex::ApdIndex idx;
  korvex::ResetAssembler(a);
  std::uint8_t decode[korvex::kHeaderSize + korvex::kPacketSize];
  std::size_t pos = 0, records = 0, step = 1 + (mode >> 2);
  int aorb = 0;
  while (pos < n) {
    std::size_t want = korvex::WantBytes(a);
    Check(want >= 1 && want <= korvex::kHeaderSize + korvex::kPacketSize);
    std::size_t chunk = std::min<std::size_t>(n - pos, step + (pos % 7) * 41);
    bool complete = false;
    std::size_t took = korvex::AppendBytes(a, s + pos, chunk, &complete);
    Check(took <= want && took <= chunk && took > 0);
    Check(a.held <= korvex::kHeaderSize + korvex::kPacketSize);
    pos += took;
    if (complete) {
      ++records;
      const std::uint8_t* rec = a.tcpbuf.data();
      if (int ch = korvex::SpacecraftChange(rec[6], aorb)) aorb = ch;
      korvex::ApidResult r = korvex::GetApid(rec, cfgtswap, decode);
      Check(r.apid >= 0 && r.apid < 0x800);
      if (r.illegal) korvex::CountIllegal(c);
      korvex::CountPacket(c, idx, r.apid);
      if (r.badChecksum) korvex::CountChecksumError(c, r.apid, filter);
      korvex::ResetAssembler(a);
    }
  }
  Check(records == n / (korvex::kHeaderSize + korvex::kPacketSize));
  return 0;
}
