// The station's database readers on any text: slots are never overrun and every index stays in
// its table.
#include <cstdint>
#include <string>
#include <vector>

#include "telemetry/dbfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(data[i]));
    }
  }
  lines.push_back(cur);
  // Many copies exercise the capacities.
  if (!lines.empty() && (data[0] & 1))
    for (int k = 0; k < 8; ++k) lines.insert(lines.end(), lines.begin(), lines.begin() + std::min<std::size_t>(lines.size(), 64));

  static korvex::ErrDb err;
  err = korvex::ErrDb{};
  korvex::ReadErrDb(lines, err);
  if (err.errCount < 0 || err.errCount > korvex::kErrSlots) __builtin_trap();
  for (int i = 0; i < err.errCount; ++i)
    if (err.errdb[i].text[sizeof err.errdb[i].text - 1] != 0) __builtin_trap();

  korvex::ApdResult apd = korvex::ReadApd(lines);
  for (const auto& l : apd.labels)
    if (l.panel < 0 || l.panel > korvex::kGroupPanels) __builtin_trap();

  static korvex::CmdDb cmd;
  cmd = korvex::CmdDb{};
  korvex::ReadCmdDb(lines, cmd);
  for (int key = -1; key < 0x400; key += 37) cmd.DecodeCommand(key);
  return 0;
}
