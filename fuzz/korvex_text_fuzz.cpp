// Event packets and command lines from anywhere: decoding never reads past the packet, and the
// command-line helpers take any text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "commanding/cmdline.h"
#include "links/logfmt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::string> errdb = {"Err\t1\tBad length", "Err\t2\tBad\tchecksum"};
  static const std::vector<std::string> cmds = {"IDPUReset  IDPUcmd 1 ;1", "X", ""};
  std::uint8_t packet[272] = {};
  std::memcpy(packet, data, std::min<std::size_t>(size, sizeof packet));
  korvex::DecodeEventPacket(packet, size & 1, static_cast<long>(size) * 977 - 400000, errdb, cmds);
  korvex::DecodeEventPacket(packet, 0, -2000000000L, errdb, {});

  std::string line(reinterpret_cast<const char*>(data), size);
  std::string compact = korvex::CompactForm(line);
  korvex::ClassifyLine(compact, line);
  korvex::MatchKeyword(compact);
  korvex::MatchSet(compact, line);
  std::string host;
  unsigned port = 0;
  korvex::ParseTsrv(line, &host, &port);
  korvex::MocText(line);
  static korvex::History h;
  korvex::HistoryStore(h, line);
  korvex::HistoryRecall(h);
  korvex::LogState st;
  korvex::LogLine l = korvex::FormatLog(st, line, "\033fgff0000", "12-08-2026", "06:00:00");
  if (l.listEntry.size() > 1024) __builtin_trap();
  std::string text;
  korvex::EntryColour(line, &text);
  return 0;
}
