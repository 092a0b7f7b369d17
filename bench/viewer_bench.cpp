// Speed and memory of a page's anchor table: building it from a large page's
// anchor names, and showing another location in the same book.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/memory_counter.h"
#include "core/anchors.h"
#include "tests/core/viewer_harness.h"

namespace {

using vellum::AnchorTable;
using vellum::testing::Harness;
using vellum::testing::Loc;

constexpr int kAnchors = 31'000;

// 31,000 anchors: a "top" anchor and chapters of 250 verses each.
std::vector<std::string> LargePage() {
  std::vector<std::string> names = {"top"};
  for (int i = 0; static_cast<int>(names.size()) < kAnchors; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "CV%03d%03d", 1 + i / 250, 1 + i % 250);
    names.emplace_back(name);
  }
  return names;
}

void BM_BuildAnchorTable(benchmark::State& state) {
  const std::vector<std::string> names = LargePage();
  AnchorTable table;
  bench::MemoryCounter memory(state);
  for (auto _ : state) {
    table.Build(names);
    benchmark::DoNotOptimize(table.Count());
  }
  state.SetItemsProcessed(state.iterations() * kAnchors);
}
BENCHMARK(BM_BuildAnchorTable);

// The worst choice: the location lies past the page's last anchor.
void BM_ChooseAnchor(benchmark::State& state) {
  AnchorTable table;
  table.Build(LargePage());
  bench::MemoryCounter memory(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(table.Choose(250, 1));
}
BENCHMARK(BM_ChooseAnchor);

// The whole path of a host location in the book already loaded: debounce
// tick, name lookup, caption, dwell timer, anchor choice and one scroll.
void BM_SameBookLocation(benchmark::State& state) {
  Harness h;
  h.browser.pages[h.Path("alpha.htm")].anchors = LargePage();
  h.Start();
  h.ShowNow(Loc("ALP", 1, 1));
  const int loads = h.Loads();
  int verse = 0;
  bench::MemoryCounter memory(state);
  for (auto _ : state) {
    h.ShowNow(Loc("ALP", 124, 1 + (verse++ % 250)));
  }
  if (h.Loads() != loads) state.SkipWithError("a same-book location loaded a page");
}
BENCHMARK(BM_SameBookLocation);

}  // namespace
