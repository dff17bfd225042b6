#include "core/playback.h"

#include <algorithm>

namespace drev {

std::string RecordingPath(const std::string& name) {
  return "pbf/" + (name.find('.') == std::string::npos ? name + ".pbf" : name);
}

bool ReadRecord(std::FILE* f, std::uint8_t* record) {
  return f && std::fread(record, 1, kRecordSize, f) == static_cast<std::size_t>(kRecordSize);
}

bool StepCollector::feed(const std::uint8_t* record, std::vector<std::uint8_t>* out) {
  bool released = false;
  if (StepFilterPass(record[kHeaderSize], record[kHeaderSize + 1], filter)) {
    collected.insert(collected.end(), record, record + kRecordSize);
    if (++count >= std::max(1, spacket)) {
      if (out) out->swap(collected);
      collected.clear();
      count = 0;
      released = true;
    }
  }
  if (next > 0) --next;
  return released;
}

std::array<std::uint8_t, kSrdBytes> PackSrd(const std::vector<int>& values) {
  std::array<std::uint8_t, kSrdBytes> b{};
  for (int i = 0; i < kSrdInts && i < static_cast<int>(values.size()); ++i) {
    const auto v = static_cast<std::uint32_t>(values[i]);
    for (int k = 0; k < 4; ++k) b[4 * i + k] = static_cast<std::uint8_t>(v >> (8 * k));
  }
  return b;
}

std::vector<int> UnpackSrd(const std::uint8_t* bytes) {
  std::vector<int> v(kSrdInts);
  for (int i = 0; i < kSrdInts; ++i) {
    std::uint32_t u = 0;
    for (int k = 0; k < 4; ++k) u |= static_cast<std::uint32_t>(bytes[4 * i + k]) << (8 * k);
    v[i] = static_cast<int>(u);
  }
  return v;
}

}  // namespace drev
