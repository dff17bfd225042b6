// Files: handles over stdio, and path resolution that forgives letter case.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "model.h"

namespace rte {

namespace {
bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

// Finds `name` inside `dir` ignoring case; empty when absent.
std::string FindInDir(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}
}  // namespace

std::string ResolvePath(const std::string& path) {
  std::string p = path;
  for (auto& c : p)
    if (c == '\\') c = '/';
  if (p.empty() || Exists(p)) return p;
  // Walk the components; each one not found as written is looked up without regard to case.
  std::string out;
  std::size_t i = 0;
  if (p[0] == '/') {
    out = "/";
    i = 1;
  }
  while (i <= p.size()) {
    std::size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string comp = p.substr(i, j - i);
    i = j + 1;
    if (comp.empty()) continue;
    std::string dir = out.empty() ? "." : out;
    std::string cand = out.empty() ? comp : (out == "/" ? "/" + comp : out + "/" + comp);
    if (!Exists(cand) && comp != "." && comp != "..") {
      std::string alt = FindInDir(dir, comp);
      if (!alt.empty()) cand = out.empty() ? alt : (out == "/" ? "/" + alt : out + "/" + alt);
    }
    out = cand;
  }
  return out;
}

}  // namespace rte

namespace {
std::map<int, std::FILE*>& Files() {
  static std::map<int, std::FILE*> f;
  return f;
}
int g_nextFile = 1;

std::FILE* F(int h) {
  auto it = Files().find(h);
  return it == Files().end() ? nullptr : it->second;
}
}  // namespace

int OpenFile(const char* path, const char* mode) {
  if (!path || !mode || !*path) return RTE_ERR_FILE;
  std::FILE* f = std::fopen(rte::ResolvePath(path).c_str(), mode);
  if (!f) return RTE_ERR_FILE;
  int h = g_nextFile++;
  Files()[h] = f;
  return h;
}

int CloseFile(int file) {
  std::FILE* f = F(file);
  if (!f) return RTE_ERR_FILE;
  Files().erase(file);
  return std::fclose(f) == 0 ? 0 : RTE_ERR_FILE;
}

int WriteFile(int file, const void* data, std::size_t n) {
  std::FILE* f = F(file);
  if (!f || (!data && n)) return RTE_ERR_FILE;
  if (n == 0) return 0;
  std::size_t w = std::fwrite(data, 1, n, f);
  return w == n ? static_cast<int>(n) : RTE_ERR_FILE;
}

int ReadFile(int file, void* data, std::size_t n) {
  std::FILE* f = F(file);
  if (!f || (!data && n)) return RTE_ERR_FILE;
  return static_cast<int>(std::fread(data, 1, n, f));
}

int ReadLine(int file, std::string* line) {
  std::FILE* f = F(file);
  if (!f || !line) return RTE_ERR_FILE;
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    line->push_back(static_cast<char>(c));
  }
  if (!any) return -1;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return static_cast<int>(line->size());
}

int FlushFile(int file) {
  std::FILE* f = F(file);
  if (!f) return RTE_ERR_FILE;
  return std::fflush(f) == 0 ? 0 : RTE_ERR_FILE;
}

int SetFilePtr(int file, long long offset, int origin) {
  std::FILE* f = F(file);
  if (!f) return RTE_ERR_FILE;
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  return fseeko(f, static_cast<off_t>(offset), whence) == 0 ? 0 : RTE_ERR_FILE;
}

long long GetFilePtr(int file) {
  std::FILE* f = F(file);
  if (!f) return RTE_ERR_FILE;
  return static_cast<long long>(ftello(f));
}

int GetFileInfo(const char* path, long long* size) {
  if (!path) return 0;
  struct stat st;
  if (::stat(rte::ResolvePath(path).c_str(), &st) != 0) return 0;
  if (size) *size = static_cast<long long>(st.st_size);
  return 1;
}

int RenameFile(const char* from, const char* to) {
  if (!from || !to) return RTE_ERR_FILE;
  std::string src = rte::ResolvePath(from);
  std::string dst = to;
  for (auto& c : dst)
    if (c == '\\') c = '/';
  // The destination's directory may differ in case from what the caller wrote.
  std::size_t slash = dst.rfind('/');
  if (slash != std::string::npos) dst = rte::ResolvePath(dst.substr(0, slash)) + dst.substr(slash);
  return std::rename(src.c_str(), dst.c_str()) == 0 ? 0 : RTE_ERR_FILE;
}

int DeleteFile(const char* path) {
  if (!path) return RTE_ERR_FILE;
  return std::remove(rte::ResolvePath(path).c_str()) == 0 ? 0 : RTE_ERR_FILE;
}
