// The plug-in broadcast of one chat event, with no plug-in and with ten plug-ins loaded
// that export ChatEvent (copies of a test plug-in); the difference is what plug-ins add
// per chat event.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "bot/bot_plugins.h"
#include "support/fake_bot_host.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;

class TBenchPluginHost final : public TPluginHost {
 public:
  TBotHost& Bot() override { return bot; }
  void AddChatMessage(const std::string&, TColor, const std::string&, TColor) override {}
  std::intptr_t MainWindowId() const override { return 0; }
  std::string ProfileName() const override { return {}; }
  std::string LastWhisperer() const override { return {}; }
  std::string CurrentChannel() const override { return {}; }
  void ProcessOutgoingLine(const std::string&) override {}
  test::TFakeBotHost bot;
};

void BM_BroadcastChatEvent(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / ("corvane-pbench-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (int i = 0; i < count; ++i) {
    fs::copy_file(fs::path(CORVANE_TEST_PLUGINS) / "commands.so",
                  dir / ("copy" + std::to_string(i) + ".so"));
  }
  TBenchPluginHost host;
  {
    TBotPluginSystem system(host);
    if (system.StartPlugins(dir.string()) != count) state.SkipWithError("plug-ins not loaded");
    const std::string user = "SomeMember";
    const std::string text = "hello there, how is the channel today?";
    for (auto _ : state) {
      system.BroadcastChatEvent(CORVANE_EVENT_TALK, user, text, 0x10, 120);
    }
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_BroadcastChatEvent)->Arg(0)->Arg(10);

}  // namespace
