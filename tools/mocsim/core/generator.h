// The simulated instruments: one packet builder per APID, the housekeeping values in engineering
// units and the state that executed commands change.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "arr.h"
#include "database.h"
#include "packet.h"

namespace mocsim {

struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// How the station converts one housekeeping item.
enum class ItemKind { Raw, Linear, LinearAB, Ysi, Rtd, Mag, Ucur, Dcur, Jitter, SampleTime, Time, LogT, Checksum };
ItemKind tlmItemKind(const ItemDef& d);

// Where a wanted value ended up: the count written and the value the station computes back.
struct Encoded {
  uint32_t raw = 0;
  double shown = 0;
};

// Event entry as the instrument reports it (type 1 error, 2 command, 3 sequence).
struct EventEntry {
  uint8_t type = 0, p1 = 0, p2 = 0, p3 = 0;
  uint32_t secs1958 = 0;
};

class Generator {
public:
  explicit Generator(const Databases& db);

  int spacecraftIndex = 1;  // 1 = A, 2 = B: which coefficient pair the A/B items use

  // Sequence count for the next packet of `apid` (14 bits, wrapping 16383 -> 0).
  int takeSeq(int apid);
  int peekSeq(int apid) const;
  void skipSeq(int apid, int n);
  void setSeq(int apid, int seq);

  // Builds the whole packet (header, data, checksum) for `apid` at simulated time `unixSecs`.
  void build(int apid, double unixSecs, PacketWriter& w, bool corruptChecksum = false);

  // Engineering-unit override for a processor or SEP item, a spacecraft key, or a raw byte of a
  // companion item. Returns false when the name is in no table.
  bool setValue(const std::string& name, double value);
  void clearValue(const std::string& name);
  // A value beyond the item's red (else yellow) high limit that the item's counts can still carry.
  std::optional<double> valueBeyondLimits(const std::string& name, std::string& why) const;

  // Engineering value the station will show for a processor item in the packet built at `unixSecs`.
  std::optional<double> shownValue(const std::string& name, double unixSecs);

  // A telecommand the MOC passed on: updates the command counters and queues its event.
  void execute(const ScmPacket& p, double unixSecs);
  void queueEvent(const EventEntry& e) { events_.push_back(e); }
  // The processor reports an error: error code, data and count in the housekeeping, and an event.
  void raiseError(uint8_t code, uint8_t data, double unixSecs);
  void queueSepText(const std::string& t) { sepTexts_.push_back(t); }

  struct CommandState {
    uint32_t count = 0, lastId = 0, lastSeq = 0;
    uint32_t pCount = 0, pLastId = 0, pLastSeq = 0;
    uint32_t rejected = 0;
    uint64_t executed = 0;  // not wrapped
    uint32_t errCode = 0, errData = 0, errCount = 0;  // the processor's last error
  };
  const CommandState& commands() const { return cmd_; }
  size_t pendingEvents() const { return events_.size(); }

private:
  const Databases& db_;
  std::map<int, int> seq_;
  std::map<std::string, double, NoCaseLess> overrides_;
  CommandState cmd_;
  std::deque<EventEntry> events_;
  std::deque<std::string> sepTexts_;
  uint64_t stateVersion_ = 1;

  // Pre-parsed item lines in file order.
  std::vector<ItemDef> tlmItems_, sepItems_;
  std::vector<CommandTemplate> commands_;
  std::vector<uint8_t> dist_;  // 1280-byte analyzer distribution stream
  // Shapes computed once; packets only move them in time.
  std::array<uint8_t, 256> spectra_{};
  std::array<uint8_t, 84> pitch_{};
  std::array<std::array<int16_t, 16>, 336> hkWave_{};
  std::array<double, 13> moments_{};
  uint32_t counter_ = 0;       // packets built, drives slow variations
  std::map<int, int> part_;    // per-APID sub-packet counters (distribution number, hk part)

  struct HkCache {
    int64_t second = INT64_MIN;
    uint64_t version = 0;
    int sc = 0;
    PacketWriter w;
  } hkCache_, sepCache_;
  struct BrmItem {
    std::string name;
    int offset;
    bool time;
  };
  std::vector<BrmItem> brmItems_;
  std::vector<double> lastShown_;  // per tlmItems_ entry, NaN when not in the packet
  std::vector<bool> tlmDup_;       // an earlier line has the same name
  int vIdx_[6] = {-1, -1, -1, -1, -1, -1};  // STE-U 12V, VCC1, 5VD; STE-D 12V, VCC1, 5VD

  double nominal(const ItemDef& d, double unixSecs, bool raw) const;
  Encoded encodeTlm(const ItemDef& d, ItemKind k, double value, double v12, double vcc1, double v5d) const;
  void buildHk(PacketWriter& w, double t);
  void buildTableDump(PacketWriter& w, double t);
  void buildEvents(PacketWriter& w, double t);
  void buildBurst(PacketWriter& w, double t);
  void buildMag(PacketWriter& w, double t, bool burst);
  void buildDistribution(PacketWriter& w, int apid);
  void buildPitch(PacketWriter& w, double t);
  void buildMoments(PacketWriter& w, double t);
  void buildAnalyzerHk(PacketWriter& w, double t);
  void buildSteRates(PacketWriter& w, double t);
  void buildSteSpectra(PacketWriter& w);
  void buildSepText(PacketWriter& w);
  void buildSepHk(PacketWriter& w, double t);
  void buildCompanion(PacketWriter& w, double t);
  void buildSpacecraft(PacketWriter& w, int apid, double t);
  void buildFiller(PacketWriter& w);
};

std::vector<int> defaultMix();
// Writes `raw` into the bit field the station's spacecraft decoder reads for (ndx, bofs, numb).
// False when the combination is one the decoder does not read.
bool writeSpacecraftBits(PacketWriter& w, int ndx, int bofs, int numb, uint32_t raw);
std::optional<uint32_t> readSpacecraftBits(const PacketWriter& w, int ndx, int bofs, int numb);

}  // namespace mocsim
