#include "browse.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tallox {

bool DumpFile::open(const std::string& path, std::string* error) {
  close();
  fp_ = std::fopen(path.c_str(), "rb");
  if (!fp_) {
    if (error) *error = "Cannot open file " + path + ": " + std::strerror(errno);
    return false;
  }
  // Searches read record after record: a large stdio buffer keeps that cheap.
  std::setvbuf(fp_, nullptr, _IOFBF, 1 << 20);
  std::fseek(fp_, 0, SEEK_END);
  size_ = std::ftell(fp_);
  std::fseek(fp_, 0, SEEK_SET);
  pos_ = 0;
  packetNumber_ = 0;
  shown_ = false;
  std::memset(data_, 0, sizeof data_);
  return true;
}

void DumpFile::close() {
  if (fp_) std::fclose(fp_);
  fp_ = nullptr;
  pos_ = size_ = 0;
  shown_ = false;
}

bool DumpFile::seek(long long pos) {
  if (!fp_ || pos < 0) return false;
  if (std::fseek(fp_, static_cast<long>(pos), SEEK_SET) != 0) return false;
  pos_ = pos;
  return true;
}

bool DumpFile::readRaw(std::uint8_t* out) {
  if (!fp_) return false;
  const std::size_t n = std::fread(out, 1, kRecordSize, fp_);
  if (n != static_cast<std::size_t>(kRecordSize)) {
    std::clearerr(fp_);
    seek(pos_);  // stay before the partial record
    return false;
  }
  pos_ += kRecordSize;
  return true;
}

void DumpFile::finish(const std::uint8_t* raw, bool swap) {
  std::memcpy(data_, raw, kRecordSize);
  SwapTelemetryBytes(data_, swap);
  packetNumber_ = static_cast<int>(pos_ / kRecordSize - 1);
  shown_ = true;
}

bool DumpFile::showLastWhole(bool swap) {
  if (!fp_) return false;
  std::fseek(fp_, 0, SEEK_END);
  const long long end = std::ftell(fp_);
  if (end < kRecordSize) {
    seek(0);
    return false;  // no whole record in the file: nothing new to show
  }
  // The start of the last whole record. (end - 297) / 298 records would land on a trailing
  // partial record of 297 bytes and show nothing; end / 298 - 1 is right for every tail.
  seek((end / kRecordSize - 1) * kRecordSize);
  std::uint8_t raw[kDataBufSize];
  if (!readRaw(raw)) return false;
  finish(raw, swap);
  return true;
}

bool DumpFile::NextPacket(bool swap) {
  std::uint8_t raw[kDataBufSize];
  if (readRaw(raw)) {
    finish(raw, swap);
    return true;
  }
  return showLastWhole(swap);
}

bool DumpFile::BackPacket(bool swap) {
  if (!fp_) return false;
  if (!shown_) return NextPacket(swap);
  if (packetNumber_ == 0) return true;  // record 0 stays shown
  if (!seek(pos_ - 2 * kRecordSize)) return false;
  std::uint8_t raw[kDataBufSize];
  if (!readRaw(raw)) return false;
  finish(raw, swap);
  return true;
}

bool DumpFile::PacketNum(long long n, bool swap) {
  if (!fp_) return false;
  if (n < 0) n = 0;
  if (!seek(n * kRecordSize)) return showLastWhole(swap);
  std::uint8_t raw[kDataBufSize];
  if (readRaw(raw)) {
    finish(raw, swap);
    return true;
  }
  return showLastWhole(swap);
}

bool DumpFile::FindNext(int kind, bool swap, bool* found, const Progress& progress) {
  if (found) *found = false;
  if (!fp_) return false;
  std::uint8_t raw[kDataBufSize];
  std::array<unsigned, 256> last{};
  int mode0 = -1;
  unsigned tick = 0;
  while (readRaw(raw)) {
    if (progress && ++tick == 8192) {
      tick = 0;
      if (!progress(static_cast<std::uint64_t>(pos_), static_cast<std::uint64_t>(size_))) {
        finish(raw, swap);
        return true;
      }
    }
    const unsigned a = PacketApid(raw, swap);
    bool hit = false;
    switch (kind) {
      case 0:
        hit = a >= 256 && PacketChecksum(raw) != 0;
        break;
      case 1:
        hit = !IsKnownApid(a);
        break;
      case 2:
        if (a >= 0x200 && a <= 0x27F) {
          const unsigned slot = a - 0x200, s = PacketSeqCount(raw, swap);
          if (last[slot] != 0 && s != (last[slot] + 1) % 16384) hit = true;
          last[slot] = s;
        }
        break;
      case 3:
        if (a == 0x208) {
          const int m = static_cast<int>(GetByteSwapped(raw, 42, swap) & 0x40);
          if (mode0 < 0)
            mode0 = m;
          else if (m != mode0)
            hit = true;
        }
        break;
      default:
        hit = a == static_cast<unsigned>(kind);
    }
    if (hit) {
      if (found) *found = true;
      finish(raw, swap);
      return true;
    }
  }
  return showLastWhole(swap);
}

bool DumpFile::NextHKP(bool swap, bool* found) {
  if (found) *found = false;
  std::uint8_t raw[kDataBufSize];
  while (readRaw(raw)) {
    if (PacketApid(raw, swap) == 0x200) {
      if (found) *found = true;
      finish(raw, swap);
      return true;
    }
  }
  return showLastWhole(swap);
}

bool DumpFile::BackHKP(bool swap) {
  if (!fp_) return false;
  if (!shown_) return NextHKP(swap);
  std::uint8_t raw[kDataBufSize];
  bool any = false;
  while (pos_ > kRecordSize) {
    if (!seek(pos_ - 2 * kRecordSize) || !readRaw(raw)) break;
    any = true;
    if (PacketApid(raw, swap) == 0x200) break;
  }
  if (any) finish(raw, swap);
  return true;
}

bool DumpFile::FindNextHKP(int kind, bool swap, bool* found, const Progress& progress) {
  if (found) *found = false;
  if (!fp_) return false;
  const unsigned b0 = GetByte(data_, kind == 1 ? 47 : 46);
  std::uint8_t raw[kDataBufSize];
  unsigned tick = 0;
  while (readRaw(raw)) {
    if (progress && ++tick == 8192) {
      tick = 0;
      if (!progress(static_cast<std::uint64_t>(pos_), static_cast<std::uint64_t>(size_))) {
        finish(raw, swap);
        return true;
      }
    }
    if (PacketApid(raw, swap) != 0x200) continue;
    bool hit;
    if (kind == 0)
      hit = GetByteSwapped(raw, 46, swap) != b0;
    else if (kind == 1)
      hit = GetByteSwapped(raw, 47, swap) != b0;
    else
      hit = GetByteSwapped(raw, 46, swap) != b0 && GetByteSwapped(raw, 44, swap) != 12;
    if (hit) {
      if (found) *found = true;
      finish(raw, swap);
      return true;
    }
  }
  return showLastWhole(swap);
}

// ---- displays ----------------------------------------------------------------------------------
std::string HexDump(const std::uint8_t* rec) {
  std::string out;
  out.reserve(17 * 60);
  char hx[4];
  for (int i = 0; i < kPacketSize; ++i) {
    std::snprintf(hx, sizeof hx, "%02X", rec[kHeaderSize + i]);
    out += hx;
    const int j = i % 16;
    if (j == 15)
      out += '\n';
    else if ((j + 1) % 4 == 0)
      out += "  ";
    else
      out += ' ';
  }
  return out;
}

HkView MakeHkView(const std::uint8_t* d) {
  HkView h;
  h.word42 = GetWord(d, 42) * 32 / 1000000.0;
  h.word44 = GetWord(d, 44) * 32 / 1000000.0;
  h.byte46 = Uncompress(GetByte(d, 46)) / 65536.0;
  h.clock = [&] {
    const unsigned k = GetWord(d, 38);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2d:%02d:%02d", (k >> 12) & 0xF, (k >> 6) & 0x3F, k & 0x3F);
    return std::string(buf);
  }();
  h.byte49 = GetByte(d, 49);
  h.byte47 = GetByte(d, 47);
  h.byte48 = GetByte(d, 48);
  h.word50 = GetWord(d, 50);
  h.byte52 = GetByte(d, 52);
  h.byte53 = GetByte(d, 53);
  return h;
}

MagView MakeMagView(const std::uint8_t* d, bool meanRemoval) {
  MagView m;
  m.meanRemoved = meanRemoval;
  double sx = 0, sy = 0, sz = 0;
  for (int i = 0; i < 42; ++i) {
    m.x[i] = static_cast<double>(GetWord(d, 44 + 6 * i)) - 32768.0;
    m.y[i] = static_cast<double>(GetWord(d, 46 + 6 * i)) - 32768.0;
    m.z[i] = static_cast<double>(GetWord(d, 48 + 6 * i)) - 32768.0;
    sx += m.x[i];
    sy += m.y[i];
    sz += m.z[i];
  }
  if (meanRemoval) {
    for (int i = 0; i < 42; ++i) {
      m.x[i] -= sx / 42;
      m.y[i] -= sy / 42;
      m.z[i] -= sz / 42;
    }
  }
  m.timeL = GetTimeL(d);
  return m;
}

bool FastHkWave::update(const std::uint8_t* d, int pn) {
  const int s = 336 - static_cast<int>(GetWord(d, 38));
  if (s < 0 || s > 336) return false;
  packetNumber = pn;
  mode = static_cast<int>(GetWord(d, 40) >> 12);
  for (int i = 0; i < 128 && s + i < 336; ++i) {
    int v = static_cast<int>(GetWord(d, 40 + 2 * i) & 0xFFF);
    if (mode < 8) v = 2048 - v;
    samples[s + i] = v;
  }
  yMin = 5000;
  yMax = -5000;
  for (int v : samples) {
    yMin = std::min(yMin, v);
    yMax = std::max(yMax, v);
  }
  return true;
}

PacketView DisplayPacket(const std::uint8_t* d, int packetNumber, bool meanRemoval,
                         FastHkWave* wave) {
  PacketView v;
  v.packetNumber = packetNumber;
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "%04X %02X %02X %02X %04X %04X %08X %04X %02X\n"
                "%02X %02X %02X %02X %02X %02X %02X %02X %02X %02X",
                GetWord21(d, 0), d[2], d[3], d[4], GetWord21(d, 5), GetWord21(d, 7),
                GetLong4321(d, 9), GetWord21(d, 13), d[15], d[16], d[17], d[18], d[19], d[20],
                d[21], d[22], d[23], d[24], d[25]);
  v.header = buf;
  std::snprintf(buf, sizeof buf, "%04X %04X %04X %08X.%02X", GetWord(d, 26), GetWord(d, 28),
                GetWord(d, 30), GetLong3412(d, 32), GetByte(d, 37));
  v.primary = buf;
  v.apid = GetApID(d);
  v.time = GetTime(d);
  v.hexDump = HexDump(d);
  v.checksum = PacketChecksum(d);
  if (v.apid == 0x200) v.hk = MakeHkView(d);
  if ((v.apid & 0xFFE) == 0x208) v.mag = MakeMagView(d, meanRemoval);
  if ((v.apid & 0xFFF) == 0x214 && wave) v.fastHk = wave->update(d, packetNumber);
  return v;
}

// Labelled like the packet panel's controls (and the housekeeping, MAG and fast-housekeeping
// panels' for their values). The record header keeps its two lines together, as displayed.
std::string FormatPacket(const PacketView& v, const FastHkWave* wave) {
  std::string out;
  char buf[512];
  std::snprintf(buf, sizeof buf, "Packet number: %d\n", v.packetNumber);
  out += buf;
  out += "Record header: " + v.header + "\n";
  out += "Packet header: " + v.primary + "\n";
  std::snprintf(buf, sizeof buf, "ApID: %03X\n", v.apid);
  out += buf;
  out += "Time: " + v.time + "\n";
  std::snprintf(buf, sizeof buf, "Checksum: %u (%s)\n", v.checksum, v.checksum ? "red" : "green");
  out += buf;
  out += "Packet bytes:\n" + v.hexDump;
  if (v.hk) {
    const HkView& h = *v.hk;
    std::snprintf(buf, sizeof buf,
                  "Word 42 x 32e-6: %.6f\nWord 44 x 32e-6: %.6f\nByte 46 expanded / 65536: %.6f\n"
                  "Clock: %s\nByte 49: %u\nByte 47: %u\nByte 48: %u\nWord 50: %u\n"
                  "Byte 52: %u\nByte 53: %u\n",
                  h.word42, h.word44, h.byte46, h.clock.c_str(), h.byte49, h.byte47, h.byte48,
                  h.word50, h.byte52, h.byte53);
    out += buf;
  }
  if (v.mag) {
    // The 42 vectors in the layout of the MAG text export.
    out += "MAG time: " + v.mag->timeL + "\n";
    out += "Sample\tX\tY\tZ\n";
    for (int i = 0; i < 42; ++i) {
      std::snprintf(buf, sizeof buf, "%2d\t%8.1f\t%8.1f\t%8.1f\n", i, v.mag->x[i], v.mag->y[i],
                    v.mag->z[i]);
      out += buf;
    }
  }
  if (v.fastHk && wave) {
    std::snprintf(buf, sizeof buf, "Mode: %d\nWaveform range: %d %d\nWaveform:", wave->mode,
                  wave->yMin, wave->yMax);
    out += buf;
    for (int x : wave->samples) out += " " + std::to_string(x);
    out += "\n";
  }
  return out;
}

}  // namespace tallox
