// From the bot's Connect to its home channel's join event, through the application core,
// against the local fake chat and BNLS servers: the whole logon on the loopback interface.
// Prints the median and the slowest of a series of logons.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/bot_core.h"
#include "config/ini_file.h"
#include "net/main_loop.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/test_home.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;

// Counts the lines announcing that the bot entered a channel (they end with its name).
struct JoinCounter : TFrontEnd {
  void ShowLine(const TPaneLine& line) override {
    const std::string text = line.Text();
    joins += text.size() > 9 && text.compare(text.size() - 9, 9, " The Void") == 0;
  }
  void RequestClose() override {}
  int joins = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  SocketStartup();
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  chat.SetChannelMembers({{"Boss", 2, 30}, {"Bob", 0, 60}});
  const fs::path home = fs::temp_directory_path() / ("corvane-bench-" + std::to_string(getpid()));
  if (!test::WriteTestHome(home, "bench", chat, bnls, "Bencher", false)) return 1;

  std::vector<double> ms;
  {
    TMainLoop loop;
    JoinCounter front;
    TBotCore core(loop, home.string(), front);
    core.Start();
    for (int i = 0; i < rounds; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      const int joins = front.joins;
      core.ConnectClicked();
      if (!loop.RunUntil([&] { return front.joins > joins; }, 5000)) {
        std::fprintf(stderr, "round %d: no join within 5 s\n", i);
        return 1;
      }
      ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      core.DisconnectClicked();
      loop.RunUntil([&] { return !core.Connected(); }, 5000);
    }
    core.Close();
  }
  fs::remove_all(home);
  SocketCleanup();

  std::sort(ms.begin(), ms.end());
  std::printf("connect to join: %d logons, median %.2f ms, 95th %.2f ms, slowest %.2f ms\n", rounds,
              ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
  return 0;
}
