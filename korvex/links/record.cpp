#include "links/record.h"

#include <algorithm>
#include <cstring>

namespace korvex {

void bytswp(std::uint8_t* buf, int pairs) {
  for (int k = 0; k < pairs; ++k) std::swap(buf[2 * k], buf[2 * k + 1]);
}

std::size_t WantBytes(Assembler& a) {
  if (a.wanted == 0) a.wanted = kRecordSize - a.held;
  return a.wanted;
}

std::size_t AppendBytes(Assembler& a, const std::uint8_t* data, std::size_t n, bool* complete) {
  std::size_t room = kRecordSize - a.held;
  std::size_t take = std::min({n, room, a.wanted == 0 ? room : a.wanted});
  std::memcpy(a.tcpbuf.data() + a.held, data, take);
  a.held += take;
  a.wanted = a.held < kRecordSize ? kRecordSize - a.held : 0;
  *complete = a.held == kRecordSize;
  return take;
}

void ResetAssembler(Assembler& a) {
  a.tcpbuf.fill(0);
  a.held = 0;
  a.wanted = 0;
}

ApidClass ClassOf(int apid) {
  if (apid >= 0 && apid <= 0x0FF) return ApidClass::Spacecraft;
  if (apid >= 0x200 && apid <= 0x27F) return ApidClass::Suite;
  if (apid >= 0x300 && apid <= 0x37F) return ApidClass::Companion;
  return ApidClass::Illegal;
}

bool NeedsDataSwap(int apid) {
  return apid == 0x241 || apid == 0x00B || apid == 0x00C || apid == 0x00D || apid == 0x01C ||
         apid == 0x01E;
}

std::uint8_t PacketSum(const std::uint8_t* p) {
  unsigned s = 0;
  for (std::size_t i = 0; i < kPacketSize; ++i) s += p[i];
  return static_cast<std::uint8_t>(s);
}

ApidResult GetApid(const std::uint8_t* record, int cfgtswap, std::uint8_t* decode) {
  std::memcpy(decode, record, kRecordSize);
  std::uint8_t* pkt = decode + kHeaderSize;
  if (cfgtswap) bytswp(pkt, kPacketSize / 2);
  ApidResult r;
  r.rawApid = (pkt[1] & 0x07) * 256 + pkt[0];
  r.apid = r.rawApid;
  if (NeedsDataSwap(r.apid)) bytswp(pkt + 10, 131);
  if (ClassOf(r.apid) == ApidClass::Illegal) {
    r.illegal = true;
    r.apid = 0;
  }
  // An illegal APID goes on as APID 0, which carries no checksum.
  if (r.apid >= 0x080 && PacketSum(pkt) != 0) r.badChecksum = true;
  return r;
}

int SpacecraftChange(std::uint8_t b, int aorb) {
  if (b == kSpacecraftB && aorb != 2) return 2;
  if (b == kSpacecraftA && aorb != 1) return 1;
  return 0;
}

CountResult CountPacket(Counters& c, const ApdIndex& idx, int apid) {
  CountResult r;
  if (apid < 0 || apid > 0xFFF) return r;
  c.perApid[apid]++;
  ApidClass cls = ClassOf(apid);
  if (cls == ApidClass::Suite) {
    c.range200[apid & 0x7F]++;
    r.rangePanel = 0x200;
  } else if (cls == ApidClass::Companion) {
    c.range300[apid & 0x7F]++;
    r.rangePanel = 0x300;
  }
  if (const ApdEntry* e = idx.find(apid)) {
    if (e->summaryCtrl >= kSummaryCtrlMin && e->summaryCtrl <= kSummaryCtrlMax) {
      c.summary[e->summaryCtrl]++;
      r.summaryCtrl = e->summaryCtrl;
    }
    if (e->groupPanel <= kGroupPanels && e->groupCtrl >= 0 && e->groupCtrl <= kGroupCtrlMax) {
      r.lastCount = ++c.group[e->groupPanel][e->groupCtrl];
      r.groupPanel = e->groupPanel;
      r.groupCtrl = e->groupCtrl;
    }
    return r;
  }
  int ctrl = cls == ApidClass::Spacecraft ? kSumSpacecraft
             : (cls == ApidClass::Suite || cls == ApidClass::Companion) ? kSumInstrument
                                                                        : kSumOther;
  r.lastCount = ++c.summary[ctrl];
  r.summaryCtrl = ctrl;
  return r;
}

void CountIllegal(Counters& c) {
  c.illegal++;
  c.summary[kSumIllegal] = c.illegal;
}

long CountChecksumError(Counters& c, int apid, int filter) {
  if (apid < 0 || apid >= kChksumTotal) return -1;
  if (filter == apid) {
    c.chksum[apid]++;
    c.chksum[kChksumTotal]++;
    return c.chksum[apid];
  }
  if (filter == kApidAll) {
    c.chksum[apid]++;
    c.chksum[kChksumTotal]++;
    return c.chksum[kChksumTotal];
  }
  return -1;
}

RecordStep StepRecord(Counters& c, const ApdIndex& idx, const std::uint8_t* record,
                      const RecordStepIn& in, std::uint8_t* decode) {
  RecordStep st;
  st.spacecraft = SpacecraftChange(record[6], in.aorb);
  st.check = GetApid(record, in.cfgtswap, decode);
  if (st.check.illegal) CountIllegal(c);
  const int apid = st.check.apid;
  if (st.check.badChecksum) st.checksumShown = CountChecksumError(c, apid, in.filter);
  st.suite = apid >= 0x200;
  st.passesFilter = apid == in.filter || in.filter == kApidAll;
  st.count = CountPacket(c, idx, apid);
  return st;
}

}  // namespace korvex
