#include "cli/headless.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace drev {

namespace {

template <typename T, std::size_t N>
void List(std::string& line, const char* key, const std::array<T, N>& v) {
  line += ' ';
  line += key;
  line += '=';
  char b[32];
  for (std::size_t i = 0; i < N; ++i) {
    if constexpr (std::is_floating_point_v<T>) std::snprintf(b, sizeof b, i ? ",%.6g" : "%.6g", v[i]);
    else std::snprintf(b, sizeof b, i ? ",%lld" : "%lld", static_cast<long long>(v[i]));
    line += b;
  }
}

}  // namespace

void LinePrinter::spacecraft(DrevState& s) {
  std::fprintf(out_, "SC %c\n", s.aorb == 2 ? 'B' : 'A');
  ++lines;
}

void LinePrinter::checksumError(DrevState& s) {
  std::fprintf(out_, "CHECKSUM %d\n", s.checksumErrors);
  ++lines;
}

void LinePrinter::suiteHk(DrevState& s) {
  std::fprintf(out_, "SUITE %s 12V=%.6g DVCC1=%.6g D5VD=%.6g\n", GetEpoc(s.useBuf.data()).c_str(),
               s.IDREVSTE12V, s.IDREVSTEDVCC1, s.IDREVSTED5VD);
  ++lines;
}

void LinePrinter::distribution(DrevState& s, bool refresh) {
  if (!refresh) return;
  const DistSums sums = SumDistribution(s);
  std::string line = "DIST " + s.distTime;
  char b[64];
  std::snprintf(b, sizeof b, " apid=0x2%02X total=%lld", s.whichApid, sums.total);
  line += b;
  List(line, "E", sums.e);
  List(line, "D", sums.d);
  List(line, "A", sums.a);
  line += '\n';
  std::fputs(line.c_str(), out_);
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
  std::string line = "PITCH " + s.pitchTime;
  char b[128];
  std::snprintf(b, sizeof b, " az=%.4g,%.4g,%.4g el=%.4g,%.4g,%.4g total=%lld", s.magAzEl[0], s.magAzEl[2],
                s.magAzEl[4], s.magAzEl[1], s.magAzEl[3], s.magAzEl[5], total);
  line += b;
  List(line, "rows", rows);
  line += '\n';
  std::fputs(line.c_str(), out_);
  ++lines;
}

void LinePrinter::moments(DrevState& s) {
  std::array<double, kMomentValues> set8{};
  for (int m = 0; m < kMomentValues; ++m) set8[m] = s.moment[8][m];
  std::string line = "MOM " + s.momTime;
  char b[32];
  std::snprintf(b, sizeof b, " status=0x%02X", s.drevDhkp);
  line += b;
  List(line, "set8", set8);
  line += '\n';
  std::fputs(line.c_str(), out_);
  ++lines;
}

void LinePrinter::analyzerHk(DrevState& s, int part) {
  std::string line = "HKPG " + GetEpoc(s.useBuf.data());
  char b[48];
  std::snprintf(b, sizeof b, " part=%d", part);
  line += b;
  for (int c = 0; c < kHkChannels; ++c) {
    if (s.hkLastIndex[c] < 0) continue;
    std::snprintf(b, sizeof b, " ch%d=%.6g", c, s.hkpg[c][s.hkLastIndex[c]]);
    line += b;
  }
  line += '\n';
  std::fputs(line.c_str(), out_);
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
