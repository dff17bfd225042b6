// Headless model speed: the station sets thousands of values a second from telemetry.
#include <benchmark/benchmark.h>

#include <string>

#include "model.h"
#include "rte/app.h"
#include "rte/rte.h"

namespace {

int MakePanel() {
  rte::ResetModel();
  std::string doc = R"({"panels":[{"resource":1,"controls":[
      {"id":2,"type":"numeric","datatype":"double"},{"id":3,"type":"listbox"},
      {"id":4,"type":"textbox"},{"id":5,"type":"stripchart","traces":3,"points":300}]}]})";
  std::string err;
  auto p = rte::model::ParsePanel(doc, "bench", 1, &err);
  return rte::model::Model::get().add(std::move(p));
}

void BM_SetCtrlValNumeric(benchmark::State& state) {
  int p = MakePanel();
  double v = 0;
  for (auto _ : state) {
    SetCtrlVal(p, 2, v);
    v += 0.5;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetCtrlValNumeric);

void BM_InsertListItem(benchmark::State& state) {
  int p = MakePanel();
  int n = 0;
  for (auto _ : state) {
    // An event list keeps its newest lines at the end and is cut back now and then.
    InsertListItem(p, 3, -1, "\033fg007a0012-08-2026 04:57:01 TELEMETRY RESUMED!", 0.0);
    if (++n == 2000) {
      state.PauseTiming();
      ClearListCtrl(p, 3);
      n = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InsertListItem);

void BM_TextBoxAppend(benchmark::State& state) {
  int p = MakePanel();
  int n = 0;
  for (auto _ : state) {
    SetCtrlVal(p, 4, "2026 DEC 08 04:57:01.500 SEP REPLY TEXT\n");
    if (++n == 1000) {
      state.PauseTiming();
      ResetTextBox(p, 4, "");
      n = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextBoxAppend);

void BM_PlotStripChart(benchmark::State& state) {
  int p = MakePanel();
  double v[3] = {1, 2, 3};
  for (auto _ : state) PlotStripChart(p, 5, v, 3);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlotStripChart);

}  // namespace
