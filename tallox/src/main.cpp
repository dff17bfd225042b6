// tallox: a batch verb runs here, on the core alone, without loading any of the GUI libraries;
// without a verb this program becomes tallox-gui (the panels), which sits beside it.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/batch.h"

namespace fs = std::filesystem;

namespace {

// The folder of this program: from the system's link to the running program where there is one,
// else from argv[0] (a path, or a name looked up in PATH).
fs::path ProgramDir(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !self.empty()) return self.parent_path();
  const std::string a = argv0 ? argv0 : "";
  if (a.find('/') != std::string::npos) return fs::absolute(a, ec).parent_path();
  if (const char* path = std::getenv("PATH")) {
    std::string p = path;
    for (std::size_t b = 0; b <= p.size();) {
      std::size_t e = p.find(':', b);
      if (e == std::string::npos) e = p.size();
      const fs::path cand = fs::path(p.substr(b, e - b)) / a;
      if (fs::exists(cand, ec)) return cand.parent_path();
      b = e + 1;
    }
  }
  return fs::current_path(ec);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int rc = tallox::RunCommandLine(args, std::cout, std::cerr);
  if (rc >= 0) return rc;
#ifdef TALLOX_WITH_GUI
  // The same process goes on as the panel program (same process id, so signals sent to tallox
  // reach the panels).
  const std::string gui = (ProgramDir(argv[0]) / "tallox-gui").string();
  std::vector<char*> gargv;
  gargv.push_back(const_cast<char*>(gui.c_str()));
  for (int i = 1; i < argc; ++i) gargv.push_back(argv[i]);
  gargv.push_back(nullptr);
  std::cout.flush();
  execv(gui.c_str(), gargv.data());
  std::cerr << "tallox: cannot start the panels: " << gui << ": " << std::strerror(errno) << "\n";
  return 1;
#else
  std::cerr << "tallox: this build has no panels; use a batch verb (try --help)\n";
  return 1;
#endif
}
