#include "cli/headless.h"

#include <charconv>
#include <cerrno>
#include <cstring>
#include <vector>

namespace drev {

namespace {

// A line built in place: numbers through to_chars, which reads like "%.6g" / "%lld".
class Line {
 public:
  Line& text(const char* s) {
    while (*s && n_ < kMax) buf_[n_++] = *s++;
    return *this;
  }
  Line& text(const std::string& s) { return text(s.c_str()); }
  Line& num(long long v) {
    n_ = static_cast<std::size_t>(std::to_chars(buf_ + n_, buf_ + kMax, v).ptr - buf_);
    return *this;
  }
  Line& num(double v, int precision = 6) {
    n_ = static_cast<std::size_t>(std::to_chars(buf_ + n_, buf_ + kMax, v, std::chars_format::general, precision).ptr - buf_);
    return *this;
  }
  template <typename T, std::size_t N>
  Line& list(const char* key, const std::array<T, N>& v) {
    text(" ").text(key).text("=");
    for (std::size_t i = 0; i < N; ++i) {
      if (i) text(",");
      if constexpr (std::is_floating_point_v<T>) num(static_cast<double>(v[i]));
      else num(static_cast<long long>(v[i]));
    }
    return *this;
  }
  void put(std::FILE* out) {
    buf_[n_++] = '\n';
    std::fwrite(buf_, 1, n_, out);
  }

 private:
  static constexpr std::size_t kMax = 1000;
  char buf_[kMax + 1];
  std::size_t n_ = 0;
};

}  // namespace

void LinePrinter::spacecraft(DrevState& s) {
  Line().text("SC ").text(s.aorb == 2 ? "B" : "A").put(out_);
  ++lines;
}

void LinePrinter::checksumError(DrevState& s) {
  Line().text("CHECKSUM ").num(static_cast<long long>(s.checksumErrors)).put(out_);
  ++lines;
}

void LinePrinter::suiteHk(DrevState& s) {
  Line()
      .text("SUITE ")
      .text(GetEpoc(s.useBuf.data()))
      .text(" 12V=")
      .num(s.IDREVSTE12V)
      .text(" DVCC1=")
      .num(s.IDREVSTEDVCC1)
      .text(" D5VD=")
      .num(s.IDREVSTED5VD)
      .put(out_);
  ++lines;
}

void LinePrinter::distribution(DrevState& s, bool refresh) {
  if (!refresh) return;
  const DistSums sums = SumDistribution(s);
  char apid[8];
  std::snprintf(apid, sizeof apid, "0x2%02X", s.whichApid & 0xFF);
  Line()
      .text("DIST ")
      .text(s.distTime)
      .text(" apid=")
      .text(apid)
      .text(" total=")
      .num(sums.total)
      .list("E", sums.e)
      .list("D", sums.d)
      .list("A", sums.a)
      .put(out_);
  ++lines;
}

void LinePrinter::pitch(DrevState& s) {
  std::array<long long, kPitchRows> rows{};
  long long total = 0;
  for (int r = 0; r < kPitchRows; ++r)
    for (int c = 0; c < kPitchCols; ++c) {
      rows[r] += s.pitchData[2][r][c];
      total += s.pitchData[2][r][c];
    }
  Line l;
  l.text("PITCH ").text(s.pitchTime).text(" az=");
  for (int b = 0; b < 3; ++b) (b ? l.text(",") : l).num(s.magAzEl[2 * b], 4);
  l.text(" el=");
  for (int b = 0; b < 3; ++b) (b ? l.text(",") : l).num(s.magAzEl[2 * b + 1], 4);
  l.text(" total=").num(total).list("rows", rows).put(out_);
  ++lines;
}

void LinePrinter::moments(DrevState& s) {
  std::array<double, kMomentValues> set8{};
  for (int m = 0; m < kMomentValues; ++m) set8[m] = s.moment[8][m];
  char status[8];
  std::snprintf(status, sizeof status, "0x%02X", s.drevDhkp);
  Line().text("MOM ").text(s.momTime).text(" status=").text(status).list("set8", set8).put(out_);
  ++lines;
}

void LinePrinter::analyzerHk(DrevState& s, int part) {
  Line l;
  l.text("HKPG ").text(GetEpoc(s.useBuf.data())).text(" part=").num(static_cast<long long>(part));
  for (int c = 0; c < kHkChannels; ++c) {
    if (s.hkLastIndex[c] < 0) continue;
    l.text(" ch").num(static_cast<long long>(c)).text("=").num(s.hkpg[c][s.hkLastIndex[c]]);
  }
  l.put(out_);
  ++lines;
}

bool LoadConfig(DrevState& s, const std::string& path, std::FILE* err) {
  std::string reason, note;
  if (!ReadCfgFile(path, s.cfg, &reason, &note)) {
    std::fprintf(err, "drev: cannot open %s: %s\n", path.c_str(), reason.c_str());
    return false;
  }
  if (!note.empty()) std::fprintf(err, "drev: %s\n", note.c_str());
  return true;
}

int RunFile(DrevState& s, const std::string& path, std::FILE* out, std::FILE* err) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    std::fprintf(err, "drev: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  LinePrinter printer(out);
  std::vector<std::uint8_t> buf(1 << 16);
  std::size_t got;
  while ((got = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
    Receive(s, buf.data(), got, printer);
    Pkt(s, printer);
  }
  const bool failed = std::ferror(f);
  const int e = errno;
  std::fclose(f);
  if (failed) {
    std::fprintf(err, "drev: cannot read %s: %s\n", path.c_str(), std::strerror(e));
    return 1;
  }
  const long held = s.addFlag - s.readFlag;
  if (held > 0)
    std::fprintf(err, "drev: %s: %ld bytes at the end do not make a whole record; not processed\n",
                 path.c_str(), held);
  std::fflush(out);
  return 0;
}

}  // namespace drev
