// The user and command database at the size of a busy channel's bot: the file's round trip
// and the user look-up that every chat line costs.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bot/command_processor.h"

namespace {

void Fill(corvane::TBotCommandControl& db, int users, int commands) {
  for (int i = 0; i < users; ++i) {
    db.SetUser("User" + std::to_string(i), i % 200, i % 7 == 0 ? "S" : "");
  }
  for (int i = 0; i < commands; ++i) {
    const std::string name = "cmd" + std::to_string(i);
    switch (i % 3) {
      case 0:
        db.AddInternalCommand(name, "", i % 100, true, {}, false);
        break;
      case 1:
        db.AddCustomCommand(name, "reply to %user", false, true, i % 100, "L");
        break;
      default:
        db.AddPluginCommand("plugin.so", name, 0, nullptr, true, i % 100, "");
        break;
    }
  }
}

void BM_SaveAndLoad(benchmark::State& state) {
  corvane::TBotCommandControl db;
  Fill(db, 10000, 1000);
  const std::string path = "/tmp/corvane_db_bench_" + std::to_string(getpid()) + ".bin";
  for (auto _ : state) {
    db.SaveToFile(path);
    corvane::TBotCommandControl loaded;
    benchmark::DoNotOptimize(loaded.LoadFromFile(path));
    if (loaded.Users().size() != db.Users().size()) state.SkipWithError("users lost");
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_SaveAndLoad)->Unit(benchmark::kMillisecond);

// A usrcmd.bin of 120,000 custom commands (about 3.4 MB) read and sorted, as every start
// does.
void BM_LoadAndSortLargeFile(benchmark::State& state) {
  corvane::TBotCommandControl db;
  for (int i = 0; i < 120000; ++i) {
    db.AddCustomCommand("cmd" + std::to_string(i % 5000), "reply to %user with %1", false, true,
                        (i * 7919) % 101, "");
  }
  const std::string path = "/tmp/corvane_db_bench_" + std::to_string(getpid()) + ".bin";
  db.SaveToFile(path);
  for (auto _ : state) {
    corvane::TBotCommandControl loaded;
    loaded.LoadFromFile(path);
    loaded.SortCommands();
    if (loaded.Commands().size() != db.Commands().size()) state.SkipWithError("commands lost");
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadAndSortLargeFile)->Unit(benchmark::kMillisecond);

void BM_GetUserRights(benchmark::State& state) {
  corvane::TBotCommandControl db;
  Fill(db, 1000, 0);
  // Names spread over the list, in other case, and one stranger that scans all of it.
  const std::string names[] = {"USER0", "user250", "uSeR999", "User500", "Stranger"};
  std::int32_t access = 0;
  std::string flags;
  for (auto _ : state) {
    for (const auto& name : names) benchmark::DoNotOptimize(db.GetUserRights(name, access, flags));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(std::size(names)));
}
BENCHMARK(BM_GetUserRights);

}  // namespace
