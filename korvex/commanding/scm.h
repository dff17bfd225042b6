// SCM encoding: the MOC control header and its checks, the command database lookup, token
// encoding and the assembly of telecommand packets into SCMs. Pure functions over ScmState; the
// panels, pop-ups and the connection are the caller's (commanding/scmglue.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex {

constexpr std::size_t kScmBufferSize = 110000;  // packet and SCM buffers
constexpr std::size_t kScmHeaderSize = 133;
constexpr std::uint8_t kHeaderEnd = 0x0C;
constexpr int kPendingMax = 100;             // pending verification entries
constexpr std::size_t kPendingTextMax = 4095;  // characters of one entry's hex text
constexpr std::uint32_t kSeqMax = 16383;
constexpr int kScriptSlots = 11;
constexpr std::size_t kExpansionMax = 2047;  // db1, db2, db3 hold 2048 bytes each

// SCM panel (scm.uir) field controls.
namespace scmctl {
constexpr int kDelta = 2, kTimeout = 3, kEnable = 24, kPackets = 25, kSpareByte = 26,
              kSpacecraft = 27, kSubsystem = 28, kSecTime = 29, kErsc = 30, kRsc = 31, kEsc = 32,
              kSc = 33, kSecHdr = 34, kType = 35, kVersion = 36, kSeqFlags = 37, kMsgType = 38,
              kSpare = 39, kCmdMode = 40, kFacility = 41;
constexpr int kFirst = 2, kLast = 41;
}  // namespace scmctl

struct PendingEntry {
  std::string hex;  // packet bytes as sent, upper-case hex
  std::uint32_t seq = 0;
};

struct ScmScriptFields {
  int line = 0;
  std::string vers = "0000";
  std::string name = "NO SCRIPT";
};

struct ScmState {
  std::vector<std::uint8_t> scmStr = std::vector<std::uint8_t>(kScmBufferSize);
  std::vector<std::uint8_t> ccsds = std::vector<std::uint8_t>(kScmBufferSize);
  std::size_t ccsdsPtr = 0;  // index of the last packet byte written
  std::size_t scmPtr = 0;    // packet bytes already collected after the header
  int ccsdsCtr = 0;          // packets in the SCM being built
  std::uint32_t ccsdsVN = 0, ccsdsT = 0, ccsdsSH = 0, ccsdsSF = 0;
  std::uint32_t ccsdsSC = 0, ccsdsESC = 0, ccsdsRSC = 0, ccsdsERSC = 0;
  std::uint32_t ccsdsSE = 0, ccsdsSS = 0, ccsdsSP = 0, ccsdsXSC = 0;
  int wsq = 0;
  std::array<int, 4> seqinc{};          // SC, ESC, RSC, ERSC advanced since the last accepted SCM
  std::array<std::uint32_t, 5> cmdlsh{};
  std::array<std::string, scmctl::kLast + 1> mocStr{};  // field texts by control
  std::vector<PendingEntry> cv;         // pending verification entries (at most 100)
  std::string cmdDescript;
  int badCks = 0;
  int sremFlg = 0;
  int qflg = 0;
  int canceled = 0;
  std::string ident;
  std::string scmstr;                   // printable form of the last SCM
  std::vector<std::uint8_t> saveScm;    // the last SCM built, for the send and a resend
  std::size_t sizeScm = 0;
  std::array<ScmScriptFields, kScriptSlots> scripts{};
  int scf = 0;                          // script level whose fields go into the header
};

// Start-up: empty buffers and the blank header ("0000" message number, "000119" length, 0x0C).
// The caller then commits the SCM panel (MocHeaderCommit with control 0).
void ScmInit(ScmState& s);

// One field check of the SCM panel: nullptr when the text is accepted, else the message of the
// "Error!" pop-up. Control 29 also sets ccsdsSE, even when refused; a counter also sets cmdlsh.
const char* CheckField(ScmState& s, int control, const std::string& text, long cfgtime);

// The packet count the header may hold: exactly two digits, 01 to 99.
bool ValidPacketCount(const std::string& text);

// Seconds of a 13-character YYYYDOYHHMMSS text as local time, minus cfgtime; a first
// character "0" gives 0.
std::uint32_t SecondaryTime(const std::string& text, long cfgtime);

// The commit of the SCM panel: fields[c] is the text of control c (2-41). Each field is checked
// (the committed control first, then the others); refused ones are returned in order as
// {control, message}. With none refused the whole panel goes into the header and the CCSDS
// settings, and an SCM being built is abandoned (packets and pending entries).
struct FieldError {
  int control;
  const char* message;
};
std::vector<FieldError> MocHeaderCommit(ScmState& s, int control,
                                        const std::array<std::string, scmctl::kLast + 1>& fields,
                                        long cfgtime);

// Abandons the SCM being built: collected packets and pending verification entries.
void AbandonScm(ScmState& s);

// Command database lookup. Returns the position of word's first token in the matched mnemonic
// and the template in *out, or -1. askCancel(token) is asked for a hazardous line unless the
// line was just confirmed within a running script; true = cancel (sets canceled).
int SearchDB(ScmState& s, const std::vector<std::string>& db, const std::string& word,
             std::string* out, bool scrflg, const std::function<bool(const std::string&)>& askCancel);

// "%i" of a token: sign, then 0x hexadecimal, leading-0 octal or decimal. False when no number.
bool ScanInt(const std::string& token, int* value);

// Appends one token's bytes to the packet. false when the packet buffer would overflow.
bool EvalCmd(ScmState& s, const std::string& token, bool first, int value);

// Environment of one command line.
struct CommandEnv {
  const std::vector<std::string>* db = nullptr;
  bool scrflg = false;
  int cfgcswap = 0;
  std::function<bool(const std::string&)> askCancel;  // hazardous: true = cancel
  bool record = false;  // a sequence is being recorded: the packet is handed back, not sent
};

enum class Encoded {
  NotValid,    // header words in the first 12 characters
  Refused,     // unknown mnemonic, a line without ";", or a cancelled hazardous command
  TooDeep,     // a name nested deeper than three levels
  TooLong,     // the packet or the SCM would not fit its buffer
  Collected,   // one packet more; the SCM waits for the next
  Complete,    // the SCM is complete in saveScm / sizeScm, scmstr made
  Recorded,    // recording: the packet (counted, no checksum) is in packet; no SCM is built
};
struct EncodeResult {
  Encoded what = Encoded::Refused;
  std::string name;  // the name that failed (Refused, TooDeep)
  std::vector<std::uint8_t> packet;  // Recorded
};

// "vantis" or "identifier" within the first 12 characters of the line.
bool HeaderWordsInLine(const std::string& line);

// Encodes the line as one packet and adds it to the SCM (the numbered steps of a command line up
// to the finished SCM; sending is the caller's).
EncodeResult EncodeCommand(ScmState& s, const std::string& line, const CommandEnv& env);

// Header completion of a finished SCM (length, message number, script or remark fields) and its
// printable text. Used by EncodeCommand; exposed for the tests.
void IncrementMessageNumber(std::uint8_t* header);
std::string ScmText(const std::uint8_t* scm, std::size_t n);

// After the SCM went out: the pending entries to move to the verification list; the collected
// packets are cleared.
std::vector<PendingEntry> TakePending(ScmState& s);

// A ready-made SCM (a stored one, or one from the local SEP client) stamped with the station's
// counters: each packet (count from header bytes 27-28, the first at byte 133, its length field +
// 7 bytes; primary header, and the secondary header when the packet has one, in exchanged pairs
// when sswap is set) gets the next value of the counter its kind uses (time-tagged when header
// byte 29 is "2"; secondary header from the packet itself), its checksum made again, and a pending
// verification entry. False, with nothing changed, when a packet runs past the message, when
// the packets do not fill it exactly, or when it counts none.
bool StampScm(ScmState& s, std::uint8_t* scm, std::size_t size, int sswap);

// A bad ARR declined: each counter steps back by its tally (not below 0), tallies to 0.
void StepCountersBack(ScmState& s);

// Upper-case hex of bytes.
std::string HexText(const std::uint8_t* b, std::size_t n);

}  // namespace korvex
