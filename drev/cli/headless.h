// Headless drev: one line per decoded analyzer product on stdout, from a recorded file or (in
// the program) from the live stream; both go through Receive and Pkt like the panels.
#pragma once

#include <cstdio>
#include <iosfwd>
#include <string>

#include "core/stream.h"

namespace drev {

// Prints the products:
//   DIST <time> apid=0x210 total=N E=e0,..,e15 D=d0,..,d5 A=a0,..,a15    (every fifth packet)
//   PITCH <time> az=.. el=.. total=N rows=r0,..,r6                        (block 2; angles of 3 blocks)
//   MOM <time> status=0xNN set8=m0,..,m13
//   HKPG <time> part=336|208|80 ch0=v .. ch15=v  (the newest sample of each channel in the packet)
//   SUITE <time> 12V=v DVCC1=v D5VD=v
// Spacecraft changes and checksum errors are reported as "SC A|B" and "CHECKSUM n" lines.
class LinePrinter : public Sink {
 public:
  explicit LinePrinter(std::FILE* out) : out_(out) {}
  void spacecraft(DrevState& s) override;
  void checksumError(DrevState& s) override;
  void suiteHk(DrevState& s) override;
  void distribution(DrevState& s, bool refresh) override;
  void pitch(DrevState& s) override;
  void moments(DrevState& s) override;
  void analyzerHk(DrevState& s, int part) override;
  long long lines = 0;

 private:
  std::FILE* out_;
};

// Reads cfg/drev.cfg of the working directory into s.cfg. False after a message on err.
bool LoadConfig(DrevState& s, const std::string& path, std::FILE* err);

// Processes a ".pbf" or ".tlm" file. Exit status: 0, or 1 when the file cannot be read.
int RunFile(DrevState& s, const std::string& path, std::FILE* out, std::FILE* err);

}  // namespace drev
