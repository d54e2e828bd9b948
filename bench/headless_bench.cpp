// The headless program against the local fake servers: the time from the start of the
// chat connection to the bot being logged on and in its channel, and then the processor
// time and resident memory of the bot idling in its channel. Prints its figures.
//   headless_bench [idle seconds, default 60]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "config/get_settings.h"
#include "config/ini_file.h"
#include "proc_stats.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/test_home.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using Clock = std::chrono::steady_clock;
using bench::CpuNs;
using bench::ResidentKb;

}  // namespace

int main(int argc, char** argv) {
  const int idle_seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  chat.SetChannelMembers({{"Boss", 2, 30}, {"Bob", 0, 60}, {"Carol", 0, 90}});
  const fs::path home = fs::temp_directory_path() / ("corvane-hbench-" + std::to_string(getpid()));
  if (!test::WriteTestHome(home, "bench", chat, bnls, "Bencher", true)) return 1;

  int status = 0;
  {
    test::TProgram bot(CORVANE_BIN, {"--headless", "--home", home.string()});
    // The connection begins when the bot says so; it is done when the channel is entered.
    if (!bot.WaitFor("[BNET] Connecting...")) {
      std::fprintf(stderr, "the bot did not start connecting\n%s", bot.Err().c_str());
      return 1;
    }
    const auto begun = Clock::now();
    if (!bot.ReadUntil([&] { return bot.Out().find("The Void\n") != std::string::npos; })) {
      std::fprintf(stderr, "the bot did not enter its channel\n%s", bot.Out().c_str());
      return 1;
    }
    const double logon_ms = std::chrono::duration<double, std::milli>(Clock::now() - begun).count();

    bot.ReadUntil([] { return false; }, 500);  // lets the friends and clan answers settle
    const long long ns_before = CpuNs(bot.Pid());
    const auto idle_start = Clock::now();
    bot.ReadUntil([] { return false; }, idle_seconds * 1000);
    const double wall_s = std::chrono::duration<double>(Clock::now() - idle_start).count();
    const double cpu_s = static_cast<double>(CpuNs(bot.Pid()) - ns_before) / 1e9;
    const long rss_kb = ResidentKb(bot.Pid());

    std::printf("connection begun to logged on and in the channel: %.1f ms\n", logon_ms);
    std::printf("idle in the channel for %.0f s: %.4f %% of one core (%.2f ms), %ld KB resident\n",
                wall_s, 100.0 * cpu_s / wall_s, cpu_s * 1000.0, rss_kb);
    bot.Signal(SIGTERM);
    status = bot.Wait();
  }
  fs::remove_all(home);
  return status == 0 ? 0 : 1;
}
