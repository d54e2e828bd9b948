// Reading a buffer field by field must cost the same per field whatever lies behind it.

#include <benchmark/benchmark.h>

#include <chrono>

#include "net/Buffer.h"

namespace {

void BM_ReadDWordFields(benchmark::State& state) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  corvane::TBuffer source;
  for (std::size_t i = 0; i < bytes / 4; ++i) source.AddDWord(static_cast<std::uint32_t>(i));
  const auto fields = static_cast<std::int64_t>(bytes / 4);
  for (auto _ : state) {
    corvane::TBuffer b(source);  // the copy is not timed: only the reads are
    const auto start = std::chrono::steady_clock::now();
    while (b.Length() >= 4) benchmark::DoNotOptimize(b.GetDWord());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations() * fields);
  state.counters["ns_per_field"] =
      benchmark::Counter(static_cast<double>(state.iterations() * fields),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadDWordFields)->Arg(1 << 10)->Arg(1 << 20)->UseManualTime();

void BM_ReceivePattern(benchmark::State& state) {
  // Blocks appended, small messages read off the front: the receive buffer's life.
  const auto backlog = static_cast<std::size_t>(state.range(0));
  corvane::TBuffer b;
  for (std::size_t i = 0; i < backlog / 4; ++i) b.AddDWord(1);
  for (auto _ : state) {
    b.AddDWord(2);
    b.AddWord(3);
    b.AddNTString("hello");
    benchmark::DoNotOptimize(b.GetDWord());
    benchmark::DoNotOptimize(b.GetWord());
    benchmark::DoNotOptimize(b.GetNTString());
  }
}
BENCHMARK(BM_ReceivePattern)->Arg(1 << 10)->Arg(1 << 20);

}  // namespace
