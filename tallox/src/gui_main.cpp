// tallox-gui: the panels of tallox (tallox starts it when no batch verb is given). The command
// line is checked the same way as tallox's own.
#include <iostream>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "gui.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int rc = tallox::RunCommandLine(args, std::cout, std::cerr);
  if (rc >= 0) return rc;
  return RunTalloxGui(argc, argv);
}
