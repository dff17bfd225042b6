// SCMs from the local SEP client: assembling them from the parts the command server reads, and
// the checks the station makes before it keeps or relays one. Pure: bytes in, verdicts out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

constexpr std::size_t kSepBufMax = 110000;
constexpr std::size_t kScmHeader = 133;

struct SepAssembly {
  std::vector<std::uint8_t> buf;  // sepbuf; its size is addsep
  std::size_t sepfull = 0;        // expected total (0 = not known yet)
  bool partSaid = false;          // "SEP SCM PART RECEIVED" logged for this SCM
  std::uint32_t septimer = 0;     // seconds waited for the rest (0 = not waiting)
  void reset() {
    buf.clear();
    sepfull = 0;
    partSaid = false;
    septimer = 0;
  }
};

enum class SepStep {
  NeedMore,  // held; more parts to come
  Complete,  // exactly the announced length
  TooMany,   // more bytes than announced, or an announced length the buffer cannot hold
};

// Appends one part. The total comes from the first part's bytes 4-9 (six decimal digits) + 14;
// a length field that is not decimal or that announces more than the buffer holds is refused
// at once, before anything is copied.
SepStep AppendSepPart(SepAssembly& a, const std::uint8_t* data, std::size_t n);

// The store file of a store-file SCM: "scm/" + bytes 68-99 without their blanks + ".SCM".
// nullopt for a name that is empty or could leave the scm folder ("/", "\", "..", ":").
std::optional<std::string> StoreFilePath(const std::uint8_t* scm, std::size_t size);

// The SCM's name for log lines: the first word of bytes 100-131 (the field is right-aligned).
std::string ScmName(const std::uint8_t* scm, std::size_t size);

// Every packet of the SCM (count from bytes 27-28, the first at byte 133, each its length field +
// 7 bytes, the length field read with the pairs exchanged when sswap is set) sums to 0 and lies
// inside the message.
bool PacketsSumToZero(const std::uint8_t* scm, std::size_t size, int sswap);

// Length (length field + 7) of each packet the header counts, read as PacketsSumToZero reads
// them; nullopt when the count is not two digits or a packet runs past the message.
std::optional<std::vector<std::size_t>> PacketLengths(const std::uint8_t* scm, std::size_t size,
                                                      int sswap);

// What a line from the local command server may be: a stored-SCM "send" and nothing else. The
// line is judged as the command line would read it (its compact form through the keyword table),
// so "send start x", "send set moc", "send savecmd", "sendscm" or "send schedule x" are not
// sends; the file named must stay inside the scm folder.
enum class SepLine {
  Send,      // runs as "send FILE"
  NotSend,   // the keyword table would run something else
  BadName,   // a file name that is empty or could leave the scm folder
};
SepLine CheckSepLine(const std::string& line);
// The stored SCM a "send" line names, as the send command opens it: "scm/" + the line from its
// sixth character (trailing blanks cut), ".SCM" added without ".scm" in it.
std::string SendLinePath(const std::string& line);

}  // namespace korvex
