// A long mixed stream from the station's databases, in both byte orders: every record 298 bytes with
// a 272-byte packet, checksums right wherever they are required and wrong only where injected,
// sequence counts advancing per APID with gaps only where asked, illegal APIDs only where asked.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "database.h"
#include "generator.h"
#include "plan.h"

using namespace mocsim;

TEST(MocsimLongStream, MixedStreamCarriesExactlyTheInjectedFaults) {
  Databases db;
  loadStation(MOCSIM_STATION_DIR, db);
  const long kCount = 24000;
  const std::set<long> badAt = {5, 777, 4099, 15001, 23999};
  const std::map<long, int> illegalAt = {{13, 0x1A3}, {9000, 0x150}, {20000, 0x3FF}};
  const std::map<long, int> gapAt = {{100, 1}, {12345, 7}, {22222, 300}};
  std::string faults;
  for (long r : badAt) faults += "badck@" + std::to_string(r) + ",";
  for (auto [r, a] : illegalAt) {
    char b[32];
    std::snprintf(b, sizeof b, "apid@%ld=%X,", r, a);
    faults += b;
  }
  for (auto [r, k] : gapAt) faults += "gap@" + std::to_string(r) + "=" + std::to_string(k) + ",";
  faults.pop_back();
  for (bool swapped : {false, true}) {
    SCOPED_TRACE(swapped ? "swapped order" : "transmission order");
    Generator g(db);
    Options o;
    std::string err;
    std::vector<std::string> args = {"--count", std::to_string(kCount), "--switch-at", "12000", "--start-time",
                                     "1800000000", "--step", "0.01", "--fault", faults};
    if (swapped) args.push_back("--swapped");
    ASSERT_TRUE(parseOptions(args, o, err)) << err;
    Stream s(g, o);
    ASSERT_TRUE(s.open(err)) << err;
    std::map<int, int> last;
    std::map<int, long> perApid;
    std::set<long> badSeen, gapSeen;
    std::map<long, int> illegalSeen;
    Emitted e;
    long i = 0;
    for (; s.next(e); ++i) {
      ASSERT_EQ(e.length, kRecordSize) << i;
      ASSERT_TRUE(e.pieces.empty());
      EXPECT_EQ(e.rec[6], i < 12000 ? kSpacecraftA : kSpacecraftB) << i;
      uint8_t p[kPacketSize];
      std::memcpy(p, e.rec.data() + kHeaderSize, kPacketSize);
      if (swapped) bytswp(p, kPacketSize / 2);
      int apid = ((p[0] & 7) << 8) | p[1], seq = ((p[2] & 0x3F) << 8) | p[3];
      ASSERT_EQ((p[4] << 8) | p[5], kPacketSize - 7) << i << " length field";
      EXPECT_EQ(apid, e.apid) << i;
      ++perApid[apid];
      ApidClass c = apidClass(apid);
      if (c == ApidClass::Illegal) {
        illegalSeen[i] = apid;
        continue;  // the record stands in for another APID's packet; no count of its own to follow
      }
      if (apid >= 0x080 && sum8(p, kPacketSize) != 0) badSeen.insert(i);
      if (last.count(apid) && seq != (last[apid] + 1) % kSeqModulo) {
        gapSeen.insert(i);
        auto it = gapAt.find(i);
        if (it != gapAt.end()) {
          EXPECT_EQ(seq, (last[apid] + 1 + it->second) % kSeqModulo) << i;
        }
      }
      last[apid] = seq;
    }
    EXPECT_EQ(i, kCount);
    // A bad checksum asked for on a spacecraft packet (no checksum below 0x080) cannot show as one;
    // the manifest marks it unchecked.
    std::set<long> badChecked;
    auto m = s.manifest();
    for (auto& f : m["faults"])
      if (f["kind"] == "bad_checksum") {
        long r = f["record"].get<long>();
        EXPECT_TRUE(badAt.count(r)) << r;
        if (f["checked"].get<bool>()) badChecked.insert(r);
        else EXPECT_EQ(r, 15001) << "record 15001 is the spacecraft APID 0x01C of the mix";
      }
    EXPECT_EQ(badChecked.size(), badAt.size() - 1);
    EXPECT_EQ(badSeen, badChecked);
    EXPECT_EQ(illegalSeen, illegalAt);
    std::set<long> gapsWanted;
    for (auto [r, k] : gapAt) gapsWanted.insert(r);
    EXPECT_EQ(gapSeen, gapsWanted);
    // Every APID the station decodes is in the mix.
    for (int a : {0x200, 0x201, 0x202, 0x203, 0x208, 0x209, 0x210, 0x211, 0x212, 0x213, 0x214, 0x220, 0x222, 0x240,
                  0x241, 0x313, 0x00B, 0x00C, 0x00D, 0x01C, 0x01E})
      EXPECT_GT(perApid[a], 0) << std::hex << a;
    EXPECT_EQ(m["bad_checksum_total"], long(badAt.size()));
    EXPECT_EQ(m["per_class"]["illegal"], long(illegalAt.size()));
  }
}
