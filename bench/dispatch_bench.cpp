// Command dispatch at the size of a busy channel's bot: 1,000 users and 200 commands (the
// 20 internal ones and 180 custom ones). Most chat is not a command and must cost next to
// nothing; a command line pays for the speaker's rights, the walk over the list and the
// command itself.

#include <benchmark/benchmark.h>

#include <string>

#include "support/fake_bot_host.h"

namespace {

using corvane::test::TFakeBotHost;

constexpr int kUsers = 1000;
constexpr int kCustom = 180;

void Fill(TFakeBotHost& host) {
  for (int i = 0; i < kUsers; ++i) {
    host.db->SetUser("User" + std::to_string(i), i % 120, i % 7 == 0 ? "S" : "");
  }
  for (int i = 0; i < kCustom; ++i) {
    host.db->AddCustomCommand("cmd" + std::to_string(i), "%user asked for %1: %text", false, true,
                              i % 100, i % 5 == 0 ? "C" : "");
  }
  host.db->SortCommands();
}

void BM_TalkLines(benchmark::State& state) {
  TFakeBotHost host;
  Fill(host);
  const std::string lines[] = {"hello everyone, how is the channel today?", "lol",
                               "anyone up for a 2v2 on Lost Temple?",
                               "\"quoted\" words and a trigger. later in the line"};
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(host.Say("User500", lines[i++ % 4]));
  }
  if (!host.queued.empty()) state.SkipWithError("talk ran a command");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TalkLines);

// The whole way to the handler, the flood gate opened before every line as if the
// anti-flood timer had ticked. Arg 0: the internal "whoami"; arg 1: a custom command.
void BM_CommandLines(benchmark::State& state) {
  TFakeBotHost host;
  Fill(host);
  const std::string line = state.range(0) == 0 ? ".whoami" : ".cmd21 map Lost Temple";
  for (auto _ : state) {
    host.Tick();
    if (!host.Say("User999", line)) state.SkipWithError("the command did not run");
    host.queued.clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommandLines)->Arg(0)->Arg(1);

}  // namespace
