// What one run of the simulator sends: the options, the injected faults, the record stream they
// produce and the manifest of what went out.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "generator.h"
#include "packet.h"

namespace mocsim {

struct Fault {
  enum Kind { BadChecksum, IllegalApid, SeqGap, Limit, Split, Short, ProcessorError } kind = BadChecksum;
  long record = 0;  // records are numbered from 0 in the order they are sent
  int apid = 0;     // IllegalApid: the APID written
  int count = 1;    // SeqGap: sequence counts skipped; Short: bytes written
  std::string item; // Limit
  std::optional<double> value;
  std::vector<int> pieces;  // Split
  int errorCode = 0, errorData = 0;  // ProcessorError
  std::string spec;         // as given
};
// "badck@40", "apid@17=1A3", "gap@100=3", "limit@200=ISTEUTemp[=99.5]", "split@60=100+150+48",
// "short@70=150", "error@80=5[:17]".
std::optional<Fault> parseFault(const std::string& spec, std::string& err);

enum class ArrMode { Auto, Success, Code, Silent };
struct ArrAnswer {
  ArrMode mode = ArrMode::Auto;
  int code = 0;
  double delay = -1;  // seconds before the ARR goes out; -1 = the --arr-delay of the run
};
// "auto", "ok", "silent", "13", "code:13", each optionally with "@S" (answer after S seconds);
// "delay:S" is "auto@S".
std::optional<ArrAnswer> parseArrAnswer(const std::string& s);

struct Options {
  std::string station = ".";
  std::string bind = "127.0.0.1";
  int tlmPort = 52001;  // -1 = no telemetry server (default: the sample station configuration)
  int cmdPort = 52002;  // -1 = no command server
  char spacecraft = 'A';
  long switchAt = -1;
  bool swapped = false;
  double rate = 20;  // records per second, 0 = as fast as the connection takes them
  long count = -1;
  double duration = -1;
  std::vector<int> mix;
  std::optional<double> startUnix;
  std::optional<double> step;
  std::vector<Fault> faults;
  std::vector<std::pair<std::string, double>> values;
  std::string replay;
  bool loop = false;
  std::string write;
  std::string manifest;
  bool exitWhenDone = false;
  ArrAnswer arr;
  std::vector<ArrAnswer> arrPlan;
  double arrDelay = 0;  // seconds every ARR is held back (an answer's own "@S" wins)
  double heartbeat = 0;
  double scmTimeout = 3;  // seconds a partial SCM may wait for the rest before code 7
  bool cmdSwapped = false;
  bool quiet = false;
  bool help = false;
};

// Parses the command line (without the program name). "--script FILE" reads further options from
// FILE: one option a line, with or without the leading "--", "#" starts a comment.
bool parseOptions(const std::vector<std::string>& args, Options& o, std::string& err);
std::string usage();

struct Emitted {
  Record rec{};
  int apid = 0;              // APID written into the packet
  int length = kRecordSize;  // bytes to send (short write)
  std::vector<int> pieces;   // split into these writes
};

class Stream {
public:
  Stream(Generator& gen, const Options& o);
  // Opens the replay file if any. False with a reason when it cannot be read.
  bool open(std::string& err);
  // Next record; false when the count is reached or the replay file ended.
  bool next(Emitted& out);
  bool countReached() const { return opts_.count >= 0 && index_ >= opts_.count; }
  long index() const { return index_; }
  long bytes() const { return bytes_; }
  nlohmann::json manifest() const;
  std::vector<std::string> warnings;

private:
  Generator& gen_;
  const Options& opts_;
  std::vector<int> mix_;
  std::multimap<long, Fault> faults_;
  long index_ = 0;
  long bytes_ = 0;
  double t0_ = 0, step_ = 0.01;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> replay_{nullptr, &std::fclose};
  // what went out
  std::map<int, long> perApid_;
  std::map<std::string, long> perClass_;
  std::map<char, long> perSc_;
  std::map<int, long> badChecksums_;
  nlohmann::json applied_ = nlohmann::json::array();
  bool replayNext(Record& rec);
};

std::string apidText(int apid);

}  // namespace mocsim
