// tallox: with a batch verb (scan, burst, timing, hk, packet) it works without a display and
// prints what the panels would show; otherwise it starts with its panels (or --headless).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/batch.h"

#ifdef TALLOX_WITH_GUI
int RunTalloxGui(int argc, char** argv);
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << tallox::BatchUsage();
    return 0;
  }
  if (tallox::IsBatchCommand(args)) return tallox::RunBatch(args, std::cout, std::cerr);
#ifdef TALLOX_WITH_GUI
  return RunTalloxGui(argc, argv);
#else
  std::cerr << "tallox: this build has no panels; use a batch command\n" << tallox::BatchUsage();
  return 2;
#endif
}
