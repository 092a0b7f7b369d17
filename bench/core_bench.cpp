// Speed and memory of the core's file work: reading catalogues, looking up
// codes and preparing the settings file. Memory is counted by replacing the
// global allocator here, for every benchmark of the program: each reports
// heap allocations and bytes per iteration.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/memory_counter.h"
#include "core/catalogue.h"
#include "core/ini_file.h"

namespace bench {

std::atomic<std::size_t> g_allocations{0};
std::atomic<std::size_t> g_bytes{0};

}  // namespace bench

void* operator new(std::size_t size) {
  bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
  bench::g_bytes.fetch_add(size, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using vellum::AsciiTextRules;
using vellum::BookList;
using vellum::IniFile;

// A catalogue of n books: "[Bookfiles]" with codes B0000.. in reverse order.
std::string Catalogue(int n) {
  std::string text = "[INFO]\r\nShortName=Bench\r\n[Bookfiles]\r\n";
  for (int i = n - 1; i >= 0; --i) {
    text += "  b" + std::to_string(i) + " = book" + std::to_string(i) + ".htm\r\n";
  }
  return text;
}

void BM_ParseCatalogue(benchmark::State& state) {
  const std::string text = Catalogue(static_cast<int>(state.range(0)));
  const AsciiTextRules rules;
  bench::MemoryCounter memory(state);
  for (auto _ : state) {
    IniFile ini = IniFile::Parse(text, rules);
    benchmark::DoNotOptimize(ini.SectionLines("Bookfiles").size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseCatalogue)->Arg(10)->Arg(100)->Arg(1000);

void BM_SortCatalogue(benchmark::State& state) {
  const AsciiTextRules rules;
  const IniFile ini = IniFile::Parse(Catalogue(static_cast<int>(state.range(0))), rules);
  bench::MemoryCounter memory(state);
  for (auto _ : state) {
    BookList list(ini.SectionLines("Bookfiles"), rules);
    list.Sort();
    benchmark::DoNotOptimize(list.Lines().data());
  }
}
BENCHMARK(BM_SortCatalogue)->Arg(10)->Arg(100)->Arg(1000);

// The worst lookup: the code sorts last, so every line is compared.
void BM_LookupLastCode(benchmark::State& state) {
  const AsciiTextRules rules;
  const int n = static_cast<int>(state.range(0));
  BookList list(IniFile::Parse(Catalogue(n), rules).SectionLines("Bookfiles"), rules);
  list.Sort();
  std::string code = "b";
  code += std::to_string(n - 1);
  bench::MemoryCounter memory(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(list.Lookup(code));
}
BENCHMARK(BM_LookupLastCode)->Arg(10)->Arg(100)->Arg(1000);

void BM_PrepareSettingsFile(benchmark::State& state) {
  const std::string current =
      "; notes\r\n[Form1]\r\nleft=100\r\ntop=100\r\nwidth=600\r\nheight=400\r\n"
      "[Misc]\r\nAlwaysOnTop=0\r\n[Other]\r\nkey=value\r\n";
  const std::vector<vellum::IniUpdate> updates = {{"Form1", "left", "120"},
                                                  {"Form1", "top", "80"},
                                                  {"Form1", "width", "640"},
                                                  {"Form1", "height", "480"},
                                                  {"Misc", "AlwaysOnTop", "1"}};
  const AsciiTextRules rules;
  bench::MemoryCounter memory(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(vellum::ApplyIniUpdates(current, updates, "\r\n", rules));
  }
}
BENCHMARK(BM_PrepareSettingsFile);

}  // namespace
