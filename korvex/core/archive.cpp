#include "core/archive.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace korvex {

std::string ArchiveName(const std::string& sCraft, const std::tm& t, const std::string& ext) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%2.2d%2.2d%2.2d%2.2d%2.2d", (t.tm_year + 1900 - 2000) % 100,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
  return "log/" + sCraft + stamp + ext;
}

void CloseArchive(ArchiveFile& f) {
  if (f.fp) {
    FlushTlmRecords(f);
    std::fclose(f.fp);
  }
  f.fp = nullptr;
  f.pending.clear();
}

ArchiveFile* StartArchive(Archives& a, ArchiveContext& c, const std::string& ext, std::time_t,
                          const std::tm& local) {
  ArchiveFile* slot = nullptr;
  if (ext == ".tlm") {
    if (c.aorb == 1) c.sCraft = "A";
    else if (c.aorb == 2) c.sCraft = "B";
    else {
      a.recon = 1;
      return nullptr;
    }
    slot = &a.datafile;
  } else if (ext == ".log") {
    slot = &a.arcfile;
  } else if (ext == ".arr") {
    slot = &a.arrFile;
  } else if (ext == ".svc") {
    slot = &a.svcmdfp;
  } else {
    return nullptr;
  }
  c.dayofyear = local.tm_yday;
  std::string name = ArchiveName(c.sCraft, local, ext);
  a.fname = name;
  if (ext == ".log") a.logfn = name;
  else if (ext == ".arr") a.arrfn = name;
  else if (ext == ".svc") a.svcfn = name;
  CloseArchive(*slot);
  slot->name = name;
  if (ext == ".tlm") {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(a.root + name, ec);
    if (!ec && size % kRecordSize != 0)
      std::filesystem::resize_file(a.root + name, size - size % kRecordSize, ec);
  }
  slot->fp = std::fopen((a.root + name).c_str(), "ab");
  return slot->fp ? slot : nullptr;
}

bool QueueTlmRecord(ArchiveFile& f, const std::uint8_t* record) {
  if (!f.fp) return false;
  f.pending.insert(f.pending.end(), record, record + kRecordSize);
  return f.pending.size() < kTlmQueueBytes || FlushTlmRecords(f);
}

bool FlushTlmRecords(ArchiveFile& f) {
  if (f.pending.empty()) return true;
  if (!f.fp) {
    f.pending.clear();
    return false;
  }
  std::fflush(f.fp);
  const int fd = ::fileno(f.fp);
  const off_t before = ::lseek(fd, 0, SEEK_END);
  const std::uint8_t* at = f.pending.data();
  std::size_t left = f.pending.size();
  bool ok = before >= 0;
  while (ok && left > 0) {
    ssize_t n = ::write(fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  if (!ok && before >= 0) {
    // Keep the file a whole number of records: drop what part of a record got out.
    std::size_t out = f.pending.size() - left;
    (void)!::ftruncate(fd, before + static_cast<off_t>(out - out % kRecordSize));
  }
  f.pending.clear();
  return ok;
}

bool WriteTlmRecord(ArchiveFile& f, const std::string&, const std::uint8_t* record) {
  return QueueTlmRecord(f, record) && FlushTlmRecords(f);
}

void WriteArchiveText(ArchiveFile& f, const std::string& text) {
  if (!f.fp) return;
  std::fwrite(text.data(), 1, text.size(), f.fp);
  std::fflush(f.fp);
}

std::string BaseName(const std::string& path) {
  std::size_t s = path.find_last_of("/\\");
  return s == std::string::npos ? path : path.substr(s + 1);
}

void PrefixArchive(ArchiveFile& f, const std::string& root, const std::string& letter) {
  if (!f.fp) return;
  CloseArchive(f);
  std::string dir = f.name.substr(0, f.name.size() - BaseName(f.name).size());
  std::string to = dir + letter + BaseName(f.name);
  std::error_code ec;
  if (std::filesystem::exists(root + to, ec)) {
    // A lettered archive of the same minute exists already (an earlier run): a rename would
    // overwrite it, so this file's lines are added to its end instead, as a second opening of
    // that name would have done.
    std::FILE* in = std::fopen((root + f.name).c_str(), "rb");
    std::FILE* out = in ? std::fopen((root + to).c_str(), "ab") : nullptr;
    bool ok = in && out;
    char buf[8192];
    std::size_t n;
    while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0)
      ok = std::fwrite(buf, 1, n, out) == n;
    if (in) std::fclose(in);
    if (out && std::fclose(out) != 0) ok = false;
    if (ok) {
      std::filesystem::remove(root + f.name, ec);
      f.name = to;
    }
  } else {
    std::filesystem::rename(root + f.name, root + to, ec);
    if (!ec) f.name = to;
  }
  f.fp = std::fopen((root + f.name).c_str(), "ab+");
}

}  // namespace korvex

namespace korvex {
void PrefixOpenArchives(Archives& a, const std::string& letter) {
  PrefixArchive(a.arcfile, a.root, letter);
  if (a.arcfile.open()) a.logfn = a.arcfile.name;
  PrefixArchive(a.arrFile, a.root, letter);
  if (a.arrFile.open()) a.arrfn = a.arrFile.name;
  PrefixArchive(a.svcmdfp, a.root, letter);
  if (a.svcmdfp.open()) a.svcfn = a.svcmdfp.name;
}
}  // namespace korvex
