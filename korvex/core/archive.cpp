#include "core/archive.h"

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
  if (f.fp) std::fclose(f.fp);
  f.fp = nullptr;
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
  slot->fp = std::fopen((a.root + name).c_str(), "ab");
  return slot->fp ? slot : nullptr;
}

bool WriteTlmRecord(ArchiveFile& f, const std::string& root, const std::uint8_t* record) {
  if (!f.fp) return false;
  long before = std::ftell(f.fp);
  std::size_t n = std::fwrite(record, 1, kRecordSize, f.fp);
  bool ok = n == kRecordSize && std::fflush(f.fp) == 0;
  if (!ok && before >= 0) {
    // Keep the file a whole number of records: drop what part of this one got out.
    std::clearerr(f.fp);
    std::fflush(f.fp);
    std::error_code ec;
    std::filesystem::resize_file(root + f.name, static_cast<std::uintmax_t>(before), ec);
    std::fseek(f.fp, 0, SEEK_END);
  }
  return ok;
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
