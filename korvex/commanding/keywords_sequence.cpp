// "startsequence DEST N FILE" ... "endsequence": while a sequence is recorded, spacecraft
// commands are encoded as usual but written as memory-load lines into a script under cmd/
// instead of being sent.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/rte.h"

namespace korvex {

namespace {

SequenceBanks Banks() {
  const Config& c = Ctx().core.cfg;
  return SequenceBanks{{c.csee0, c.csee1, c.csee2, c.csee3}, c.csram, c.csofs};
}

const char* SequenceErrorText(SequenceError e) {
  switch (e) {
    case SequenceError::MissingWords: return msg::kSeqNeedsWords;
    case SequenceError::BadNumber: return msg::kSeqBadNumber;
    case SequenceError::UnknownBank: return msg::kSeqUnknownBank;
    case SequenceError::BadBase: return msg::kSeqBadBase;
    case SequenceError::BadFileName: return msg::kSeqBadFile;
    case SequenceError::None: break;
  }
  return "";
}

void SequenceLamp(bool on) {
  Program& p = Ctx();
  SetCtrlAttribute(p.ui.eventLog, ids::kEvSequence, ATTR_ON_COLOR, on ? 0xFFFF00 : 0xC0C0C0);
  SetCtrlAttribute(p.ui.eventLog, ids::kEvSequence, ATTR_OFF_COLOR, on ? 0 : 0xC0C0C0);
}

// One line of the sequence file, flushed so that what was recorded survives whatever follows.
bool WriteLine(const std::string& text) {
  ScriptState& s = Ctx().script;
  if (!s.seqfp) return false;
  errno = 0;
  bool ok = std::fputs(text.c_str(), s.seqfp) >= 0 && std::fputc('\n', s.seqfp) != EOF &&
            std::fflush(s.seqfp) == 0;
  if (!ok)
    LogMessage(std::string(msg::kSeqWriteFailed) + s.seq.path + ": " +
                   (errno ? std::strerror(errno) : "write error"),
               kRed);
  return ok;
}

}  // namespace

void HoldScript() {
  if (QueueCount() > 0) {
    QueueInsert(0, msg::kWaitLine);
    EnableSend(false);
    Ctx().script.held = 1;
  }
}

void KwStartSequence() {
  Program& p = Ctx();
  ScriptState& s = p.script;
  CmdState& c = p.cmd;
  if (s.doCmdseq) {
    // Two recordings at once would interleave their records; the first one stays.
    LogMessage(msg::kSeqAlreadyOn + s.seq.path, kRed);
    return;
  }
  SequenceRecording rec;
  SequenceError e = ParseStartSequence(c.glbcmd, Banks(), &rec);
  if (e != SequenceError::None) {
    LogMessage(c.glbcmd + SequenceErrorText(e), kRed);
    return;
  }
  std::filesystem::path path = rte::ResolvePath(rec.path);
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    LogMessage(std::string(msg::kSeqNotCreated) + rec.path + ": " + std::strerror(errno), kRed);
    return;
  }
  s.doCmdseq = 1;
  s.seqfp = f;
  s.seq = rec;
  ListAndArchive(MessagePrefix() + msg::kSeqOn, kYellow);
  SequenceLamp(true);
  auto head = SequenceHeader(rec, DateStr(), TimeStr(), s.scrflg ? s.macfile : std::string());
  for (const std::string& l : head) WriteLine(l);
  c.txflag = 1;
}

void KwEndSequence() {
  Program& p = Ctx();
  ScriptState& s = p.script;
  s.doCmdseq = 0;
  ListAndArchive(MessagePrefix() + msg::kSeqOff, kYellow);
  SequenceLamp(false);
  if (s.seqfp) {
    WriteLine(SequenceEndLine(s.seq));
    std::fclose(s.seqfp);
    s.seqfp = nullptr;
  }
  s.seq = SequenceRecording{};
  p.cmd.txflag = 1;
}

void RecordPacket(const std::string& line, const std::vector<std::uint8_t>& packet) {
  Program& p = Ctx();
  ScriptState& s = p.script;
  std::string load;
  if (!SequencePacketLine(s.seq, packet.data(), packet.size(), &load)) {
    // A record holds at most 127 data bytes; a command cut short would load garbage.
    LogMessage(line + msg::kSeqTooLong, kRed);
    ShowCommandLineMessage(msg::kCommandNotSent);
    HoldScript();
    return;
  }
  WriteLine("REM " + line);
  WriteLine(load);
}

}  // namespace korvex
