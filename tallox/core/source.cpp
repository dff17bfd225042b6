#include "source.h"

#include <cerrno>
#include <cstring>

namespace tallox {

RecordReader::RecordReader(std::size_t chunkRecords)
    : buf_((chunkRecords ? chunkRecords : 1) * kRecordSize) {}

RecordReader::~RecordReader() { close(); }

bool RecordReader::open(const std::string& path, std::string* error) {
  close();
  if (path.empty()) {
    if (error) *error = "No telemetry file chosen";
    return false;
  }
  fp_ = std::fopen(path.c_str(), "rb");
  if (!fp_) {
    if (error) *error = "Cannot open file " + path + ": " + std::strerror(errno);
    return false;
  }
  // Our own buffer is large; a second one inside stdio would only add a copy.
  std::setvbuf(fp_, nullptr, _IONBF, 0);
  size_ = -1;
  if (std::fseek(fp_, 0, SEEK_END) == 0) {
    long long s = std::ftell(fp_);
    if (s >= 0) size_ = s;
  }
  std::fseek(fp_, 0, SEEK_SET);
  pos_ = len_ = 0;
  records_ = 0;
  readError_ = false;
  return true;
}

void RecordReader::close() {
  if (fp_) std::fclose(fp_);
  fp_ = nullptr;
  pos_ = len_ = 0;
}

bool RecordReader::refill() {
  if (!fp_) return false;
  // Keep the partial record that is left, then fill the rest of the buffer.
  const std::size_t keep = len_ - pos_;
  if (keep) std::memmove(buf_.data(), buf_.data() + pos_, keep);
  pos_ = 0;
  len_ = keep;
  while (len_ < buf_.size()) {
    const std::size_t n = std::fread(buf_.data() + len_, 1, buf_.size() - len_, fp_);
    if (n == 0) {
      if (std::ferror(fp_)) readError_ = true;
      break;
    }
    len_ += n;
    if (len_ >= kRecordSize && len_ % kRecordSize == 0) break;
  }
  return len_ >= kRecordSize;
}

bool RecordSource::parseWindow(SourceControls& ctl) {
  std::string why;
  auto s = GetUTC32(ctl.startText, &why);
  if (!s) {
    error_ = "Start time \"" + ctl.startText + "\" cannot be read" + why;
    return false;
  }
  auto e = GetUTC32(ctl.endText, &why);
  if (!e) {
    error_ = "End time \"" + ctl.endText + "\" cannot be read" + why;
    return false;
  }
  if (*s > *e) {
    error_ = "Start time " + ctl.startText + " is after the end time " + ctl.endText +
             ": the window holds no time";
    return false;
  }
  windowStart_ = *s;
  windowEnd_ = *e;
  return true;
}

// A windowed read delivers the suite and companion records whose own time lies in the window,
// wherever they sit in the file: a record just past the start, a late companion record after the
// end or a clock that steps back cannot bring in a record from outside.
const std::uint8_t* RecordSource::nextInWindow(const SourceControls& ctl) {
  while (const std::uint8_t* rec = reader_.next()) {
    countHeader(rec, ctl.swap);
    const unsigned a = PacketApid(rec, ctl.swap);
    if (a < 0x200 || a > 0x37E) continue;
    currentTime_ = PacketSeconds(rec, ctl.swap);
    if (currentTime_ >= windowStart_ && currentTime_ <= windowEnd_) {
      ++delivered_;
      return rec;
    }
  }
  return nullptr;
}

const std::uint8_t* RecordSource::GetData(const std::string& fileName, SourceControls& ctl) {
  if (!reader_.isOpen()) {
    error_.clear();
    delivered_ = notTelemetry_ = 0;
    currentTime_ = 0;
    if (!ctl.wholeFile && !parseWindow(ctl)) return nullptr;
    if (!reader_.open(fileName, &error_)) return nullptr;
    if (ctl.wholeFile) {
      const std::uint8_t* rec = reader_.next();
      if (!rec) {
        reader_.close();
        return nullptr;
      }
      countHeader(rec, ctl.swap);
      ++delivered_;
      currentTime_ = PacketSeconds(rec, ctl.swap);
      ctl.startText = GetTime1(currentTime_);
      return rec;
    }
    const std::uint8_t* rec = nextInWindow(ctl);
    if (!rec) reader_.close();
    return rec;
  }

  if (ctl.wholeFile) {
    const std::uint8_t* rec = reader_.next();
    if (!rec) {
      ctl.endText = GetTime1(currentTime_);
      reader_.close();
      return nullptr;
    }
    countHeader(rec, ctl.swap);
    ++delivered_;
    const unsigned a = PacketApid(rec, ctl.swap);
    if (a >= 0x200 && a <= 0x37E) currentTime_ = PacketSeconds(rec, ctl.swap);
    return rec;
  }

  const std::uint8_t* rec = nextInWindow(ctl);
  if (!rec) reader_.close();
  return rec;
}

}  // namespace tallox
