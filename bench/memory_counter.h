// Counts heap allocations through the global operator new replaced in
// core_bench.cpp, and reports them per benchmark iteration.
#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>

namespace bench {

extern std::atomic<std::size_t> g_allocations;
extern std::atomic<std::size_t> g_bytes;

class MemoryCounter {
 public:
  explicit MemoryCounter(benchmark::State& state)
      : state_(state), allocations_(g_allocations.load()), bytes_(g_bytes.load()) {}
  MemoryCounter(const MemoryCounter&) = delete;
  MemoryCounter& operator=(const MemoryCounter&) = delete;
  ~MemoryCounter() {
    const auto iterations = static_cast<double>(state_.iterations());
    state_.counters["allocs/iter"] =
        static_cast<double>(g_allocations.load() - allocations_) / iterations;
    state_.counters["bytes/iter"] = static_cast<double>(g_bytes.load() - bytes_) / iterations;
  }

 private:
  benchmark::State& state_;
  std::size_t allocations_;
  std::size_t bytes_;
};

}  // namespace bench
