// Resource documents of any content: refused with a message or loaded, never a crash.
#include <cstdint>
#include <string>

#include "model.h"

namespace {
int Cb(int, int, int, void*, int, int) { return 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool once = [] {
    rte::RegisterCallback("Cb", &Cb);
    return true;
  }();
  (void)once;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string err;
  for (int res = 0; res < 3; ++res) {
    auto p = rte::model::ParsePanel(text, "fuzz.uir", res, &err);
    if (!p && err.empty()) __builtin_trap();
    if (p) {
      int h = rte::model::Model::get().add(std::move(p));
      SetCtrlVal(h, 2, 1.5);
      SetCtrlVal(h, 3, "text\nmore");
      InsertListItem(h, 4, -1, "x", 1.0);
      double v[4] = {1, 2, 3, 4};
      PlotStripChart(h, 5, v, 4);
      PlotY(h, 6, v, 4);
      DiscardPanel(h);
    }
  }
  return 0;
}
