#include "plan.h"

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "database.h"

namespace mocsim {

std::string apidText(int apid) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%03X", apid);
  return b;
}

static std::optional<long> toLong(const std::string& s) {
  auto v = parseInt(s);
  if (!v) return std::nullopt;
  // The end pointer must point into a string that still lives when it is read.
  const std::string t = trim(s);
  char* e = nullptr;
  std::strtol(t.c_str(), &e, 0);
  if (*e) return std::nullopt;
  return v;
}

static std::optional<int> hexApid(const std::string& s0) {
  std::string s = trim(s0);
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
  if (s.empty() || s.size() > 3) return std::nullopt;
  char* e = nullptr;
  long v = std::strtol(s.c_str(), &e, 16);
  if (*e || v < 0 || v > 0x7FF) return std::nullopt;
  return int(v);
}

std::optional<Fault> parseFault(const std::string& spec, std::string& err) {
  Fault f;
  f.spec = spec;
  size_t at = spec.find('@');
  if (at == std::string::npos) {
    err = "fault \"" + spec + "\": expected KIND@RECORD";
    return std::nullopt;
  }
  std::string kind = spec.substr(0, at);
  std::string rest = spec.substr(at + 1);
  std::string arg;
  size_t eq = rest.find('=');
  if (eq != std::string::npos) {
    arg = rest.substr(eq + 1);
    rest = rest.substr(0, eq);
  }
  auto rec = toLong(rest);
  if (!rec || *rec < 0) {
    err = "fault \"" + spec + "\": bad record number";
    return std::nullopt;
  }
  f.record = *rec;
  if (kind == "badck") {
    f.kind = Fault::BadChecksum;
  } else if (kind == "apid") {
    f.kind = Fault::IllegalApid;
    auto a = hexApid(arg);
    if (!a) {
      err = "fault \"" + spec + "\": expected apid@N=HEX";
      return std::nullopt;
    }
    f.apid = *a;
  } else if (kind == "gap") {
    f.kind = Fault::SeqGap;
    if (!arg.empty()) {
      auto n = toLong(arg);
      if (!n || *n < 1 || *n >= kSeqModulo) {
        err = "fault \"" + spec + "\": gap must skip 1..16383 counts";
        return std::nullopt;
      }
      f.count = int(*n);
    }
  } else if (kind == "limit") {
    f.kind = Fault::Limit;
    size_t e2 = arg.find('=');
    f.item = arg.substr(0, e2);
    if (e2 != std::string::npos) {
      auto v = parseNumber(arg.substr(e2 + 1));
      if (!v) {
        err = "fault \"" + spec + "\": bad value";
        return std::nullopt;
      }
      f.value = v;
    }
    if (f.item.empty()) {
      err = "fault \"" + spec + "\": expected limit@N=ITEM[=VALUE]";
      return std::nullopt;
    }
  } else if (kind == "split") {
    f.kind = Fault::Split;
    std::stringstream ss(arg);
    std::string p;
    int sum = 0;
    while (std::getline(ss, p, '+')) {
      auto n = toLong(p);
      if (!n || *n <= 0) {
        err = "fault \"" + spec + "\": pieces must be positive";
        return std::nullopt;
      }
      f.pieces.push_back(int(*n));
      sum += int(*n);
    }
    if (sum != kRecordSize || f.pieces.size() < 2) {
      err = "fault \"" + spec + "\": pieces must add up to 298 (e.g. 100+150+48)";
      return std::nullopt;
    }
  } else if (kind == "short") {
    f.kind = Fault::Short;
    auto n = toLong(arg);
    if (!n || *n < 0 || *n >= kRecordSize) {
      err = "fault \"" + spec + "\": expected short@N=BYTES with 0..297 bytes";
      return std::nullopt;
    }
    f.count = int(*n);
  } else if (kind == "error") {
    f.kind = Fault::ProcessorError;
    size_t colon = arg.find(':');
    auto code = toLong(arg.substr(0, colon));
    auto data = colon == std::string::npos ? std::optional<long>(0) : toLong(arg.substr(colon + 1));
    if (!code || *code < 0 || *code > 255 || !data || *data < 0 || *data > 255) {
      err = "fault \"" + spec + "\": expected error@N=CODE[:DATA], bytes 0-255";
      return std::nullopt;
    }
    f.errorCode = int(*code);
    f.errorData = int(*data);
  } else {
    err = "fault \"" + spec + "\": unknown kind (badck, apid, gap, limit, split, short, error)";
    return std::nullopt;
  }
  return f;
}

std::optional<ArrAnswer> parseArrAnswer(const std::string& text) {
  ArrAnswer a;
  std::string s = text;
  if (s.rfind("delay:", 0) == 0) s = "auto@" + s.substr(6);
  size_t at = s.find('@');
  if (at != std::string::npos) {
    char* end = nullptr;
    std::string d = s.substr(at + 1);
    double v = std::strtod(d.c_str(), &end);
    if (d.empty() || *end != 0 || !(v >= 0) || v > 3600) return std::nullopt;
    a.delay = v;
    s = s.substr(0, at);
  }
  if (s == "auto") a.mode = ArrMode::Auto;
  else if (s == "ok" || s == "success") a.mode = ArrMode::Success;
  else if (s == "silent" || s == "none") a.mode = ArrMode::Silent;
  else {
    auto v = toLong(s.rfind("code:", 0) == 0 ? s.substr(5) : s);
    if (!v || *v < 0 || *v > 999) return std::nullopt;
    a.mode = *v == 0 ? ArrMode::Success : ArrMode::Code;
    a.code = int(*v);
  }
  return a;
}

std::string usage() {
  return R"(mocsim - operations-centre and instrument simulator

Servers
  --station DIR        working directory with database/ (default .)
  --bind ADDR          listen address (default 127.0.0.1)
  --tlm-port N         telemetry port (default 52001; 0 = any free port; off = none)
  --cmd-port N         command port (default 52002; 0 = any free port; off = none)
                       the chosen ports are printed first: "TLM PORT <n>", "CMD PORT <n>"
Telemetry stream
  --sc A|B             spacecraft (default A)
  --switch-at N        switch to the other spacecraft from record N on
  --order tx|swapped   transmission order (default) or byte pairs exchanged; --swapped = --order swapped
  --rate R             records per second (default 20; 0 = as fast as the client reads)
  --count N            stop after N records      --duration S   stop after S seconds
  --apids LIST         APIDs to cycle through, hex, comma-separated (default: every APID, mixed)
  --start-time T       packet time of record 0, unix seconds (default now)
  --step S             simulated seconds per record (default 1/rate, 0.01 when unthrottled)
  --value NAME=V       item value in engineering units (processor/SEP items, spacecraft keys),
                       raw byte for companion items; repeatable
  --fault LIST         faults, comma-separated, records numbered from 0; repeatable:
                         badck@N            bad checksum (bytes add up to 1)
                         apid@N=HEX         record N carries this (illegal) APID instead
                         gap@N[=K]          skip K (default 1) sequence counts before record N
                         limit@N=ITEM[=V]   from record N on ITEM is V (default: beyond its limits)
                         split@N=A+B+C      record N written in pieces (sum 298), 50 ms apart
                         short@N=K          only the first K bytes of record N are written
                         error@N=C[:D]      the processor reports error code C (data D): counters
                                            and an error event from record N on
  --replay FILE        send the records of a .tlm file instead (--loop to repeat it)
  --write FILE         write the stream to FILE instead of serving it, then exit
  --manifest FILE      write what was sent as JSON (also printed as "MANIFEST {...}")
  --exit-when-done     quit once --count/--duration is reached and the data is written
  --script FILE        more options from FILE, one a line ("fault badck@40"), # comments
Command server
  --arr MODE           answer to each SCM: auto (MOC checks, default), ok, CODE or code:CODE, silent;
                       MODE@S sends that answer S seconds late, delay:S = auto@S
  --arr-plan LIST      answers for the first SCMs in order, e.g. "ok,13@2,silent"; then --arr
  --arr-delay S        every ARR goes out S seconds after its SCM (default 0)
  --heartbeat S        heartbeat ARR (code 4) every S seconds (default 0 = off)
  --scm-timeout S      an SCM still incomplete after S seconds gets code 7 (default 3)
  --cmd-swapped        telecommand headers arrive with byte pairs exchanged
Other
  --quiet              do not log every SCM in full
  --help, --version
Exit status: 0 when done or stopped (SIGTERM/SIGINT), 1 when a file or port fails, 2 for a usage error.
)";
}

static bool readScript(const std::string& path, std::vector<std::string>& out, std::string& err) {
  std::string text;
  if (!readFileText(path, text)) {
    err = "cannot read script " + path;
    return false;
  }
  for (auto& raw : textLines(text)) {
    std::string l = raw;
    size_t h = l.find('#');
    if (h != std::string::npos) l = l.substr(0, h);
    l = trim(l);
    if (l.empty()) continue;
    size_t sp = l.find_first_of(" \t=");
    std::string key = l.substr(0, sp);
    if (key.rfind("--", 0) != 0) key = "--" + key;
    out.push_back(key);
    if (sp != std::string::npos) {
      std::string val = trim(l.substr(sp + 1));
      if (!val.empty()) out.push_back(val);
    }
  }
  return true;
}

bool parseOptions(const std::vector<std::string>& argsIn, Options& o, std::string& err) {
  std::vector<std::string> args;
  for (auto& a : argsIn) {
    size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos && a.substr(0, eq) != "--value") {
      args.push_back(a.substr(0, eq));
      args.push_back(a.substr(eq + 1));
    } else if (a.rfind("--value=", 0) == 0) {
      args.push_back("--value");
      args.push_back(a.substr(8));
    } else {
      args.push_back(a);
    }
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto val = [&](std::string& v) {
      if (i + 1 >= args.size()) {
        err = a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    auto port = [&](int& p) {
      std::string v;
      if (!val(v)) return false;
      if (v == "off" || v == "none") {
        p = -1;
        return true;
      }
      auto n = toLong(v);
      if (!n || *n < 0 || *n > 65535) {
        err = a + ": bad port " + v;
        return false;
      }
      p = int(*n);
      return true;
    };
    auto num = [&](double& d) {
      std::string v;
      if (!val(v)) return false;
      auto n = parseNumber(v);
      if (!n) {
        err = a + ": bad number " + v;
        return false;
      }
      d = *n;
      return true;
    };
    auto integer = [&](long& l) {
      std::string v;
      if (!val(v)) return false;
      auto n = toLong(v);
      if (!n) {
        err = a + ": bad integer " + v;
        return false;
      }
      l = *n;
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") o.help = true;
    else if (a == "--station") { if (!val(o.station)) return false; }
    else if (a == "--bind") { if (!val(o.bind)) return false; }
    else if (a == "--tlm-port") { if (!port(o.tlmPort)) return false; }
    else if (a == "--cmd-port") { if (!port(o.cmdPort)) return false; }
    else if (a == "--sc") {
      if (!val(v)) return false;
      if (v != "A" && v != "B" && v != "a" && v != "b") { err = "--sc: A or B"; return false; }
      o.spacecraft = char(std::toupper((unsigned char)v[0]));
    } else if (a == "--switch-at") { if (!integer(o.switchAt)) return false; }
    else if (a == "--order") {
      if (!val(v)) return false;
      if (v == "tx" || v == "transmission") o.swapped = false;
      else if (v == "swapped") o.swapped = true;
      else { err = "--order: tx or swapped"; return false; }
    } else if (a == "--swapped") o.swapped = true;
    else if (a == "--rate") { if (!num(o.rate)) return false; if (o.rate < 0) { err = "--rate must be >= 0"; return false; } }
    else if (a == "--count") { if (!integer(o.count)) return false; }
    else if (a == "--duration") { if (!num(o.duration)) return false; }
    else if (a == "--apids") {
      if (!val(v)) return false;
      std::stringstream ss(v);
      std::string p;
      o.mix.clear();
      while (std::getline(ss, p, ',')) {
        auto ap = hexApid(p);
        if (!ap) { err = "--apids: bad APID " + p; return false; }
        o.mix.push_back(*ap);
      }
      if (o.mix.empty()) { err = "--apids: empty list"; return false; }
    } else if (a == "--start-time") { double d; if (!num(d)) return false; o.startUnix = d; }
    else if (a == "--step") { double d; if (!num(d)) return false; if (d < 0) { err = "--step must be >= 0"; return false; } o.step = d; }
    else if (a == "--value") {
      if (!val(v)) return false;
      size_t eq = v.rfind('=');
      auto n = eq == std::string::npos ? std::nullopt : parseNumber(v.substr(eq + 1));
      if (!n || eq == 0) { err = "--value: expected NAME=VALUE"; return false; }
      o.values.emplace_back(v.substr(0, eq), *n);
    } else if (a == "--fault") {
      if (!val(v)) return false;
      std::stringstream ss(v);
      std::string p;
      while (std::getline(ss, p, ',')) {
        p = trim(p);
        if (p.empty()) continue;
        auto f = parseFault(p, err);
        if (!f) return false;
        o.faults.push_back(*f);
      }
    } else if (a == "--replay") { if (!val(o.replay)) return false; }
    else if (a == "--loop") o.loop = true;
    else if (a == "--write") { if (!val(o.write)) return false; }
    else if (a == "--manifest") { if (!val(o.manifest)) return false; }
    else if (a == "--exit-when-done") o.exitWhenDone = true;
    else if (a == "--script") {
      if (!val(v)) return false;
      std::vector<std::string> more;
      if (!readScript(v, more, err)) return false;
      for (auto& m : more)
        if (m == "--script") { err = "scripts do not nest"; return false; }
      if (!parseOptions(more, o, err)) return false;
    } else if (a == "--arr") {
      if (!val(v)) return false;
      auto r = parseArrAnswer(v);
      if (!r) { err = "--arr: auto, ok, silent or a code 0-999"; return false; }
      o.arr = *r;
    } else if (a == "--arr-plan") {
      if (!val(v)) return false;
      std::stringstream ss(v);
      std::string p;
      while (std::getline(ss, p, ',')) {
        auto r = parseArrAnswer(trim(p));
        if (!r) { err = "--arr-plan: bad answer " + p; return false; }
        o.arrPlan.push_back(*r);
      }
    } else if (a == "--arr-delay") {
      if (!num(o.arrDelay)) return false;
      if (!(o.arrDelay >= 0)) { err = "--arr-delay must be >= 0"; return false; }
    } else if (a == "--heartbeat") { if (!num(o.heartbeat)) return false; }
    else if (a == "--scm-timeout") {
      if (!num(o.scmTimeout)) return false;
      if (o.scmTimeout <= 0) { err = "--scm-timeout must be > 0"; return false; }
    }
    else if (a == "--cmd-swapped") o.cmdSwapped = true;
    else if (a == "--quiet") o.quiet = true;
    else {
      err = "unknown option '" + a + "'";
      return false;
    }
  }
  for (auto& f : o.faults)
    if (o.count >= 0 && f.record >= o.count) {
      err = "fault " + f.spec + " lies beyond --count";
      return false;
    }
  return true;
}

Stream::Stream(Generator& gen, const Options& o) : gen_(gen), opts_(o) {
  mix_ = o.mix.empty() ? defaultMix() : o.mix;
  for (auto& f : o.faults) faults_.emplace(f.record, f);
  if (o.startUnix) t0_ = *o.startUnix;
  else
    t0_ = std::floor(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
  step_ = o.step ? *o.step : (o.rate > 0 ? 1.0 / o.rate : 0.01);
}

bool Stream::open(std::string& err) {
  if (opts_.replay.empty()) return true;
  replay_.reset(std::fopen(opts_.replay.c_str(), "rb"));
  if (!replay_) {
    err = "cannot open " + opts_.replay + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool Stream::replayNext(Record& rec) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (std::fread(rec.data(), 1, kRecordSize, replay_.get()) == size_t(kRecordSize)) return true;
    if (!opts_.loop || std::ftell(replay_.get()) < kRecordSize) return false;
    std::rewind(replay_.get());
  }
  return false;
}

bool Stream::next(Emitted& out) {
  if (countReached()) return false;
  long i = index_;
  double t = t0_ + i * step_;
  char sc = opts_.spacecraft;
  if (opts_.switchAt >= 0 && i >= opts_.switchAt) sc = sc == 'A' ? 'B' : 'A';
  gen_.spacecraftIndex = sc == 'A' ? 1 : 2;

  bool corrupt = false;
  std::optional<int> illegal;
  out.pieces.clear();
  out.length = kRecordSize;
  auto range = faults_.equal_range(i);
  for (auto it = range.first; it != range.second; ++it) {
    const Fault& f = it->second;
    switch (f.kind) {
      case Fault::BadChecksum: corrupt = true; break;
      case Fault::IllegalApid: illegal = f.apid; break;
      case Fault::Split: out.pieces = f.pieces; break;
      case Fault::Short: out.length = f.count; break;
      case Fault::Limit:
      case Fault::SeqGap:
      case Fault::ProcessorError: break;  // below
    }
  }

  PacketWriter w;
  int apid;
  GroundTime gt = groundTimeFromUnixMs(int64_t(std::llround(t * 1000.0)));
  if (replay_) {
    Record rec;
    if (!replayNext(rec)) return false;
    // Work on the packet in transmission order; keep the recorded header.
    for (int k = 0; k < kPacketSize; ++k) w.tx[k] = rec[kHeaderSize + k];
    if (opts_.swapped) bytswp(w.tx.data(), kPacketSize / 2);
    apid = illegal ? *illegal : w.apid();
    if (illegal) w.setApid(*illegal);
    if (illegal || corrupt) {
      if (apidHasChecksum(apid)) w.seal(checksumOffset(apid), corrupt);
      else if (corrupt) w.tx[271] ^= 1;
    }
    buildRecord(out.rec, w, rec[6], gt, opts_.swapped);
    for (int k = 0; k < kHeaderSize; ++k) out.rec[k] = rec[k];
    if (opts_.switchAt >= 0 && i >= opts_.switchAt)
      out.rec[6] = sc == 'A' ? kSpacecraftA : kSpacecraftB;
    sc = out.rec[6] == kSpacecraftB ? 'B' : out.rec[6] == kSpacecraftA ? 'A' : '?';
  } else {
    apid = illegal ? *illegal : mix_[size_t(i % long(mix_.size()))];
    for (auto it = range.first; it != range.second; ++it) {
      const Fault& f = it->second;
      if (f.kind == Fault::SeqGap) gen_.skipSeq(apid, f.count);
      if (f.kind == Fault::ProcessorError) gen_.raiseError(uint8_t(f.errorCode), uint8_t(f.errorData), t);
      if (f.kind == Fault::Limit) {
        std::string why;
        auto v = f.value ? f.value : gen_.valueBeyondLimits(f.item, why);
        if (!v) warnings.push_back("fault " + f.spec + ": " + why);
        else if (!gen_.setValue(f.item, *v)) warnings.push_back("fault " + f.spec + ": no item " + f.item);
      }
    }
    gen_.build(apid, t, w, corrupt);
    buildRecord(out.rec, w, sc == 'A' ? kSpacecraftA : kSpacecraftB, gt, opts_.swapped);
  }
  out.apid = apid;

  for (auto it = range.first; it != range.second; ++it) {
    const Fault& f = it->second;
    nlohmann::json j = {{"record", i}, {"spec", f.spec}, {"apid", apidText(apid)}};
    switch (f.kind) {
      case Fault::BadChecksum:
        j["kind"] = "bad_checksum";
        j["checked"] = apidHasChecksum(apid);
        break;
      case Fault::IllegalApid: j["kind"] = "illegal_apid"; break;
      case Fault::SeqGap:
        j["kind"] = "sequence_gap";
        j["skipped"] = f.count;
        break;
      case Fault::Limit: {
        j["kind"] = "limit";
        j["item"] = f.item;
        std::string why;
        auto v = f.value ? f.value : gen_.valueBeyondLimits(f.item, why);
        if (v) j["value"] = *v;
        else j["error"] = why;
        break;
      }
      case Fault::Split:
        j["kind"] = "split";
        j["pieces"] = f.pieces;
        break;
      case Fault::Short:
        j["kind"] = "short_write";
        j["bytes"] = f.count;
        break;
      case Fault::ProcessorError:
        j["kind"] = "processor_error";
        j["code"] = f.errorCode;
        j["data"] = f.errorData;
        break;
    }
    applied_.push_back(j);
  }
  if (corrupt) ++badChecksums_[apid];
  ++perApid_[apid];
  ++perClass_[apidClassName(apidClass(apid))];
  ++perSc_[sc];
  bytes_ += out.length;
  ++index_;
  return true;
}

nlohmann::json Stream::manifest() const {
  nlohmann::json j;
  j["records"] = index_;
  j["bytes"] = bytes_;
  j["first_record"] = 0;
  j["order"] = opts_.swapped ? "swapped" : "transmission";
  nlohmann::json pa = nlohmann::json::object();
  for (auto& [a, n] : perApid_) pa[apidText(a)] = n;
  j["per_apid"] = pa;
  nlohmann::json pc = {{"spacecraft", 0}, {"suite", 0}, {"companion", 0}, {"illegal", 0}};
  for (auto& [c, n] : perClass_) pc[c] = n;
  j["per_class"] = pc;
  nlohmann::json ps = {{"A", 0}, {"B", 0}};
  for (auto& [c, n] : perSc_) ps[std::string(1, c)] = n;
  j["per_spacecraft"] = ps;
  nlohmann::json bc = nlohmann::json::object();
  long total = 0;
  for (auto& [a, n] : badChecksums_) {
    bc[apidText(a)] = n;
    total += n;
  }
  j["bad_checksums"] = bc;
  j["bad_checksum_total"] = total;
  j["faults"] = applied_;
  const auto& c = gen_.commands();
  j["commands"] = {{"executed", c.executed}, {"count_byte", c.count}, {"last_id", c.lastId}, {"last_seq", c.lastSeq}, {"rejected", c.rejected}};
  if (!warnings.empty()) j["warnings"] = warnings;
  return j;
}

}  // namespace mocsim
