#include "core/stream.h"

#include <algorithm>
#include <cstring>

namespace drev {

namespace {

void Compact(DrevState& s) {
  const long held = s.addFlag - s.readFlag;
  if (s.readFlag > 0 && held > 0) std::memmove(s.cirBuf.data(), s.cirBuf.data() + s.readFlag, static_cast<std::size_t>(held));
  s.addFlag = held;
  s.readFlag = 0;
}

}  // namespace

void Receive(DrevState& s, const std::uint8_t* data, std::size_t n, Sink& sink) {
  const std::size_t keep = std::min<std::size_t>(n, kTcpBuffSize);
  if (keep > 0) {
    std::memcpy(s.tcpBuff.data(), data, keep);
    s.tcpLen = static_cast<int>(keep);
  }
  while (n > 0) {
    const std::size_t cap = s.cirBuf.size();
    if (s.addFlag + n > cap) Compact(s);
    if (s.addFlag + n > cap && s.addFlag - s.readFlag >= kRecordSize) {
      Pkt(s, sink);
      Compact(s);
    }
    const std::size_t room = cap - static_cast<std::size_t>(s.addFlag);
    const std::size_t chunk = std::min(n, room);
    std::memcpy(s.cirBuf.data() + s.addFlag, data, chunk);
    s.addFlag += static_cast<long>(chunk);
    data += chunk;
    n -= chunk;
    if (s.readFlag > kCompactAt) Compact(s);
    if (n > 0 && chunk == 0) {
      // Only a partial record is held and the buffer is full: cannot happen with a 1 MiB buffer
      // and 298-byte records, but never loop for ever.
      Pkt(s, sink);
      Compact(s);
      if (static_cast<std::size_t>(s.addFlag) >= cap) break;
    }
  }
}

void ProcessRecord(DrevState& s, const std::uint8_t* rec, Sink& sink) {
  ++s.recordsProcessed;
  // The spacecraft comes from every record's own header.
  const std::uint8_t sc = rec[6];
  if (sc == kSpacecraftB && s.aorb != 2) {
    s.aorb = 2;
    sink.spacecraft(s);
  } else if (sc == kSpacecraftA && s.aorb != 1) {
    s.aorb = 1;
    sink.spacecraft(s);
  }
  const std::uint8_t* pkt = rec + kHeaderSize;
  const PacketKind kind = Identify(pkt[0], pkt[1], s.whichApid);
  if (kind == PacketKind::Skipped) return;
  ++s.recordsUsed;
  if (Sum8(pkt, kPacketSize) != 0) {
    ++s.checksumErrors;
    sink.checksumError(s);
  }
  std::memcpy(s.useBuf.data(), pkt, kPacketSize);
  if (s.cfg.cfgswp) bytswp(s.useBuf.data(), kPacketSize / 2);
  switch (kind) {
    case PacketKind::SuiteHk:
      SuiteVoltages(s);
      sink.suiteHk(s);
      break;
    case PacketKind::Distribution:
      if (Distribution(s)) {
        const bool refresh = s.pktflg >= 5;
        if (refresh) s.pktflg = 0;
        sink.distribution(s, refresh);
      }
      break;
    case PacketKind::Pitch:
      Pitch(s);
      sink.pitch(s);
      break;
    case PacketKind::Moments:
      Mom(s);
      sink.moments(s);
      break;
    case PacketKind::AnalyzerHk: {
      const int part = Hkpg(s);
      if (part > 0) sink.analyzerHk(s, part);
      break;
    }
    default: break;
  }
}

int Pkt(DrevState& s, Sink& sink) {
  int n = 0;
  while (s.addFlag - s.readFlag >= kRecordSize) {
    ProcessRecord(s, s.cirBuf.data() + s.readFlag, sink);
    s.readFlag += kRecordSize;
    ++n;
  }
  return n;
}

}  // namespace drev
