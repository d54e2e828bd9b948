// From a member's command leaving the chat server to the bot's reply arriving there, through
// the session, dispatch and the outgoing queue, against the local fake servers: what an
// operator waits for a kick when nothing else is waiting to be sent. Prints the median and
// the slowest of a series of commands, each given when the queue's pacing lets a line go.
//   command_reply_bench [commands, default 30]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/bot_core.h"
#include "bnet/sid.h"
#include "net/main_loop.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/test_home.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;

struct QuietFront : TFrontEnd {
  void ShowLine(const TPaneLine&) override {}
  void RequestClose() override {}
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  SocketStartup();
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  chat.SetChannelMembers({{"Boss", 0, 30}, {"Bob", 0, 60}});
  const fs::path home = fs::temp_directory_path() / ("corvane-bench-" + std::to_string(getpid()));
  if (!test::WriteTestHome(home, "bench", chat, bnls, "Bencher", false)) return 1;

  std::vector<double> ms;
  {
    TMainLoop loop;
    QuietFront front;
    TBotCore core(loop, home.string(), front);
    core.Start();
    core.ConnectClicked();
    if (!loop.RunUntil([&] { return core.ChannelRoster().Size() >= 3; }, 5000)) {
      std::fprintf(stderr, "no logon within 5 s\n");
      return 1;
    }
    core.Database().SetUser("Boss", 100, "");
    for (int i = 0; i < rounds; ++i) {
      // Past the one-second gap after the last reply and the member's own flood gate.
      loop.RunUntil([] { return false; }, 1600);
      const std::size_t before = chat.MessagesWithId(SID_CHATCOMMAND).size();
      const auto t0 = std::chrono::steady_clock::now();
      chat.SendChatEvent(5, "Boss", ".kick Bob");
      if (!loop.RunUntil([&] { return chat.MessagesWithId(SID_CHATCOMMAND).size() > before; },
                         5000)) {
        std::fprintf(stderr, "command %d: no reply within 5 s\n", i);
        return 1;
      }
      const auto reply = chat.MessagesWithId(SID_CHATCOMMAND).back();
      ms.push_back(std::chrono::duration<double, std::milli>(reply.when - t0).count());
    }
    core.Close();
  }
  fs::remove_all(home);
  SocketCleanup();

  std::sort(ms.begin(), ms.end());
  std::printf(
      "command to reply on the wire: %d commands, median %.2f ms, 95th %.2f ms, "
      "slowest %.2f ms\n",
      rounds, ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
  return 0;
}
