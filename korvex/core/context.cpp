#include "core/context.h"

namespace korvex {

namespace {
std::unique_ptr<Program>& Holder() {
  static std::unique_ptr<Program> p = std::make_unique<Program>();
  return p;
}
}  // namespace

Program& Ctx() { return *Holder(); }

Program& NewContext() {
  auto& h = Holder();
  if (h) {
    CloseArchive(h->arc.datafile);
    CloseArchive(h->arc.arcfile);
    CloseArchive(h->arc.arrFile);
    CloseArchive(h->arc.svcmdfp);
  }
  h = std::make_unique<Program>();
  return *h;
}

}  // namespace korvex
