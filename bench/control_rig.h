#pragma once
// A headless bot for the control socket's benchmarks: logged on at the local fakes in a
// channel of `members` members, with `lines` lines of talk in its chat pane, so that a
// client attaching gets a full scrollback and a long member list.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/test_home.h"

namespace corvane::bench {

class TControlRig {
 public:
  TControlRig(int members, int lines)
      : home_(std::filesystem::temp_directory_path() /
              ("corvane-cbench-" + std::to_string(getpid()))) {
    std::vector<sim::TSimChannelMember> list;
    for (int i = 0; i < members; ++i)
      list.push_back({"Member" + std::to_string(i), 0, 40, "PX3W 1R3W 0"});
    chat_.SetChannelMembers(list);
    if (!test::WriteTestHome(home_, "bench", chat_, bnls_, "Bencher", true)) return;
    bot_.emplace(CORVANE_BIN, std::vector<std::string>{"--headless", "--home", home_.string()});
    if (!bot_->ReadUntil([&] { return bot_->Out().find("The Void\n") != std::string::npos; },
                         30000)) {
      std::fprintf(stderr, "the bot did not enter its channel\n%s", bot_->Err().c_str());
      return;
    }
    for (int i = 0; i < lines; ++i) {
      chat_.SendChatEvent(5, "Member" + std::to_string(i % std::max(members, 1)),
                          "line " + std::to_string(i) + " of what was said before anyone came");
    }
    const std::string last = "line " + std::to_string(lines - 1) + " of";
    ready_ = lines == 0 ||
             bot_->ReadUntil([&] { return bot_->Out().find(last) != std::string::npos; }, 120000);
    if (!ready_) std::fprintf(stderr, "the bot did not show every line\n");
  }
  ~TControlRig() {
    if (bot_) {
      bot_->Signal(SIGTERM);
      bot_->Wait(15000);
    }
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }

  bool Ready() const { return ready_; }
  const std::filesystem::path& Home() const { return home_; }
  test::TFakeChatServer& Chat() { return chat_; }
  test::TProgram& Bot() { return *bot_; }
  // Reads the bot's stdout, so that it never waits on a full pipe.
  void Drain(int ms) {
    bot_->ReadUntil([] { return false; }, ms);
  }

 private:
  std::filesystem::path home_;
  test::TFakeBnlsServer bnls_;
  test::TFakeChatServer chat_;
  std::optional<test::TProgram> bot_;
  bool ready_ = false;
};

}  // namespace corvane::bench
