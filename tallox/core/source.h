// The record source every scan and extraction reads through (`GetData`), and the buffered file
// reader under it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "record.h"

namespace tallox {

// Reads whole 298-byte records through a large buffer; a trailing partial record is ignored.
class RecordReader {
 public:
  // About 128 KB a read: large enough that system calls cost little, small enough that the
  // bytes just read are still in the processor cache when the scan looks at them.
  static constexpr std::size_t kDefaultChunkRecords = 440;

  explicit RecordReader(std::size_t chunkRecords = kDefaultChunkRecords);
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;
  RecordReader(RecordReader&& o) noexcept
      : fp_(o.fp_), buf_(std::move(o.buf_)), pos_(o.pos_), len_(o.len_), records_(o.records_),
        size_(o.size_), readError_(o.readError_) {
    o.fp_ = nullptr;
  }

  bool open(const std::string& path, std::string* error);
  void close();
  bool isOpen() const { return fp_ != nullptr; }
  // The next whole record, or nullptr at the end (or on a read error).
  const std::uint8_t* next() {
    if (pos_ + kRecordSize > len_ && !refill()) return nullptr;
    const std::uint8_t* r = buf_.data() + pos_;
    pos_ += kRecordSize;
    ++records_;
    return r;
  }
  std::uint64_t recordsRead() const { return records_; }
  std::int64_t fileSize() const { return size_; }
  bool readError() const { return readError_; }

 private:
  bool refill();
  std::FILE* fp_ = nullptr;
  std::vector<std::uint8_t> buf_;
  std::size_t pos_ = 0, len_ = 0;
  std::uint64_t records_ = 0;
  std::int64_t size_ = 0;
  bool readError_ = false;
};

// The main-panel settings GetData reads on every call, and the two time fields it writes.
struct SourceControls {
  bool swap = true;        // byte-order toggle: the file holds transmission order
  bool wholeFile = true;   // whole-file toggle
  std::string startText;   // start-time field
  std::string endText;     // end-time field
};

// Progress report of a long scan: return false to cancel it.
using Progress = std::function<bool(std::uint64_t bytesDone, std::uint64_t bytesTotal)>;

class RecordSource {
 public:
  explicit RecordSource(std::size_t chunkRecords = RecordReader::kDefaultChunkRecords)
      : reader_(chunkRecords) {}

  // The next delivered record (not swapped) or nullptr at the end, after closing. The next call
  // after the end starts again at the beginning of the file (or of the window).
  const std::uint8_t* GetData(const std::string& fileName, SourceControls& ctl);
  void close() { reader_.close(); }
  bool isOpen() const { return reader_.isOpen(); }
  // Why the last GetData delivered nothing at its first call (file not opened, time field not
  // readable); empty when it simply reached the end.
  const std::string& error() const { return error_; }
  std::uint32_t currentTime() const { return currentTime_; }
  // Records delivered by the last read (kept after its end until the next one starts).
  std::uint64_t delivered() const { return delivered_; }
  // Records read so far and those among them that hold no telemetry packet header.
  std::uint64_t recordsRead() const { return reader_.recordsRead(); }
  std::uint64_t notTelemetry() const { return notTelemetry_; }
  // True when most records read hold no telemetry packet: the file is probably something else
  // (or its byte order is the other one).
  bool mostlyNotTelemetry() const {
    return reader_.recordsRead() > 0 && 2 * notTelemetry_ > reader_.recordsRead();
  }
  std::uint64_t bytesDone() const { return reader_.recordsRead() * kRecordSize; }
  std::uint64_t bytesTotal() const {
    return reader_.fileSize() > 0 ? static_cast<std::uint64_t>(reader_.fileSize()) : 0;
  }

 private:
  bool parseWindow(SourceControls& ctl);
  const std::uint8_t* nextInWindow(const SourceControls& ctl);
  void countHeader(const std::uint8_t* rec, bool swap) {
    if (!LooksLikeTelemetry(rec, swap)) ++notTelemetry_;
  }
  RecordReader reader_;
  std::string error_;
  std::uint32_t currentTime_ = 0, windowStart_ = 0, windowEnd_ = 0;
  std::uint64_t delivered_ = 0, notTelemetry_ = 0;
};

// Drives a scan: calls onRecord for every delivered record until the end, reporting progress
// every few thousand records. Returns false when the progress callback cancelled the scan (the
// source is then closed, so the next scan starts afresh).
template <typename F>
bool RunSource(RecordSource& src, const std::string& fileName, SourceControls& ctl,
               const Progress& progress, F&& onRecord) {
  std::uint32_t tick = 0;
  while (const std::uint8_t* rec = src.GetData(fileName, ctl)) {
    if (!onRecord(rec)) {
      src.close();
      return true;
    }
    if (progress && ++tick == 8192) {
      tick = 0;
      if (!progress(src.bytesDone(), src.bytesTotal())) {
        src.close();
        return false;
      }
    }
  }
  if (progress) progress(src.bytesTotal(), src.bytesTotal());
  return true;
}

}  // namespace tallox
