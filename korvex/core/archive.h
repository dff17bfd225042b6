// Archive files under "log/": telemetry recording (".tlm"), event log (".log"), ARR log (".arr")
// and sent-command log (".svc"). Names carry the spacecraft letter and the local time of opening.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "links/record.h"

namespace korvex {

// "log/" + letter + YYMMDDhhmm + extension (the year as year - 2000).
std::string ArchiveName(const std::string& sCraft, const std::tm& local, const std::string& ext);

// One open archive: its stdio handle and the name it was opened under (relative to the
// working directory, e.g. "log/A0601041230.tlm").
struct ArchiveFile {
  std::FILE* fp = nullptr;
  std::string name;
  std::vector<std::uint8_t> pending;  // telemetry records queued, not yet handed to the system
  bool open() const { return fp != nullptr; }
};

struct Archives {
  std::string root;        // prefix of every path ("" = the working directory); tests set it
  ArchiveFile datafile;    // ".tlm", open only while recording
  ArchiveFile arcfile;     // ".log"
  ArchiveFile arrFile;     // ".arr"
  ArchiveFile svcmdfp;     // ".svc"
  std::string fname;       // the last name opened
  std::string logfn, arrfn, svcfn;
  int saveToDisk = 0;      // recording switch state
  int recon = 0;           // 0 none pending, 1 requested before the spacecraft was known, 2 served
};

// What the archive code needs of the station state.
struct ArchiveContext {
  int& aorb;             // 0 unknown, 1 A, 2 B
  std::string& sCraft;   // "A", "B" or ""
  int& dayofyear;
};

// Opens a new archive of the given extension for appending. For ".tlm" the spacecraft must be
// known: otherwise recon becomes 1 and nothing is opened; a ".tlm" of the same name left with a
// torn last record (a station killed while writing) is cut back to its whole records first. Returns the slot that was filled, or
// nullptr when nothing was opened (a file that cannot be opened is silently left closed).
ArchiveFile* StartArchive(Archives& a, ArchiveContext& c, const std::string& ext, std::time_t now,
                          const std::tm& local);

// Hands queued records to the system first.
void CloseArchive(ArchiveFile& f);

// Queues one telemetry record; the queue goes out whole with FlushTlmRecords (and by itself
// when it reaches kTlmQueueBytes). The station queues every record of one socket event and
// flushes once before it returns to its loop.
constexpr std::size_t kTlmQueueBytes = 1024 * kRecordSize;
bool QueueTlmRecord(ArchiveFile& f, const std::uint8_t* record);

// Writes the queued records with as few system calls as the system allows. What could not be
// written is cut back to the last whole record, so the file never holds a torn one. Returns
// false when not all of them got out (they are given up: the queue is empty afterwards).
bool FlushTlmRecords(ArchiveFile& f);

// Queues one record and flushes at once (a record that must be on disk before the call returns).
bool WriteTlmRecord(ArchiveFile& f, const std::string& root, const std::uint8_t* record);

// Appends text (a log or ARR line) and flushes it.
void WriteArchiveText(ArchiveFile& f, const std::string& text);

// Puts the spacecraft letter in front of an open archive's file name: closes it, renames
// "log/NAME" to "log/" + letter + "NAME" and reopens it for appending ("ab+").
void PrefixArchive(ArchiveFile& f, const std::string& root, const std::string& letter);

// The file name without its directory.
std::string BaseName(const std::string& path);

}  // namespace korvex

namespace korvex {
// The spacecraft just became known: the open ".log", ".arr" and ".svc" archives get its letter in
// front of their names (the remembered names follow).
void PrefixOpenArchives(Archives& a, const std::string& letter);
}  // namespace korvex
