// The offline tool's point tables from any text, and every point converted on any record:
// warnings, never a read outside the record or a crash.
#include <cstdint>
#include <cstring>
#include <string>

#include "hkdb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::uint8_t rec[298];
  for (std::size_t i = 0; i < sizeof rec; ++i) rec[i] = size ? data[(i * 7) % size] : 0;
  for (bool sep : {false, true}) {
    tallox::Database db = tallox::ParseTable(text, sep, "fuzz.txt");
    for (int i = 0; i < static_cast<int>(db.entries.size()); ++i) {
      tallox::RawValue(db.entries[i], rec);
      tallox::Convert(db, i, rec);
    }
  }
  return 0;
}
