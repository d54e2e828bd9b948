// A headless bot with clients on its control socket: what they see, what they change, the
// command line on a running bot, and the ssh bridge with the window's link over it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/bot_channel.h"
#include "app/control_client.h"
#include "app/remote_bot.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/test_home.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace control;
using test::TProgram;

// One client of the bot, with what it has been sent.
class TClient {
 public:
  explicit TClient(const fs::path& home) {
    std::string error;
    const int fd = ConnectToBot(home.string(), error);
    EXPECT_GE(fd, 0) << error;
    connection_.emplace(fd);
  }
  // Reads until a message satisfies `done`; false at the time-out.
  bool Until(const std::function<bool(const TBotMessage&)>& done, int timeout_ms = 8000) {
    for (const TBotMessage& m : seen_) {
      if (done(m)) return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
      std::string error;
      std::optional<TBotMessage> m = connection_->Read(200, error);
      if (!m) {
        if (error.find("within") == std::string::npos) return false;  // ended, not slow
        continue;
      }
      seen_.push_back(*m);
      if (done(*m)) return true;
    }
    return false;
  }
  bool Line(const std::string& text) {
    return Until([&](const TBotMessage& m) {
      const auto* line = std::get_if<TPaneLine>(&m);
      return line != nullptr && line->Text().find(text) != std::string::npos;
    });
  }
  bool Call(const TRequest& request) {
    std::string error;
    const bool ok = connection_->Call(
        request, 8000, [&](const TBotMessage& m) { seen_.push_back(m); }, error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }
  const std::vector<TBotMessage>& Seen() const { return seen_; }

 private:
  std::optional<TControlConnection> connection_;
  std::vector<TBotMessage> seen_;
};

bool HasUser(const TBotMessage& m, const std::string& name, std::int32_t access) {
  const auto* users = std::get_if<TUserList>(&m);
  if (users == nullptr) return false;
  for (const TUserList::TEntry& u : users->users) {
    if (u.name == name && u.access == access) return true;
  }
  return false;
}

class ControlSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::path(mkdtemp(dir_)) / "home";
    ASSERT_TRUE(test::WriteTestHome(home_, "test", chat_, bnls_, "Tester", true));
    chat_.SetChannelMembers({{"Boss", 0, 30}, {"Bob", 0, 60}});
    bot_.emplace(CORVANE_BIN, std::vector<std::string>{"--headless", "--home", home_.string()});
    ASSERT_TRUE(bot_->ReadUntil([&] {
      return bot_->Out().find("Joined to channel") != std::string::npos;
    })) << bot_->Out()
        << bot_->Err();
  }
  void TearDown() override {
    bot_->Signal(SIGTERM);
    EXPECT_EQ(bot_->Wait(), 0) << bot_->Err();
    fs::remove_all(dir_);
  }
  // `corvane --home HOME words...`: its exit code and stdout.
  std::pair<int, std::string> Command(const std::vector<std::string>& words) {
    std::vector<std::string> args = {"--home", home_.string()};
    args.insert(args.end(), words.begin(), words.end());
    TProgram command(CORVANE_BIN, args);
    command.CloseStdin();
    const int code = command.Wait();
    return {code, command.Out() + command.Err()};
  }

  char dir_[40] = "/tmp/corvane-socket-XXXXXX";
  fs::path home_;
  test::TFakeBnlsServer bnls_;
  test::TFakeChatServer chat_;
  std::optional<TProgram> bot_;
};

TEST_F(ControlSocket, ClientsSeeTheSameEditsAndAReturningClientGetsTheScrollback) {
  struct stat st {};
  ASSERT_EQ(stat(ControlSocketPath(home_.string()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  TClient a(home_);
  TClient b(home_);
  for (TClient* c : {&a, &b}) {
    // The greeting: the state, the member list and what was said before the client came.
    ASSERT_TRUE(c->Until([](const TBotMessage& m) {
      const auto* s = std::get_if<TState>(&m);
      return s != nullptr && s->logged_on && s->channel == "The Void" && s->profile == "test";
    }));
    ASSERT_TRUE(c->Until([](const TBotMessage& m) {
      const auto* v = std::get_if<TView>(&m);
      return v != nullptr && v->rows.size() == 3;  // the bot, Boss and Bob
    }));
    ASSERT_TRUE(c->Line("Joined to channel"));
  }
  b.Call(TUsersList{});

  // Both see a member's talk and a join.
  chat_.SendChatEvent(5, "Boss", "hello both");
  chat_.SendChatEvent(2, "Carol", "PX3W 1R3W 3");
  for (TClient* c : {&a, &b}) {
    EXPECT_TRUE(c->Line("hello both"));
    EXPECT_TRUE(c->Until([](const TBotMessage& m) {
      const auto* r = std::get_if<TRowChange>(&m);
      return r != nullptr && r->row && r->row->name == "Carol";
    }));
  }
  // One edits a user, the other (which asked for the users) sees it.
  a.Call(TUserSet{"Carol", 100, "S"});
  EXPECT_TRUE(b.Until([](const TBotMessage& m) { return HasUser(m, "Carol", 100); }));
  // And the bot acts on it at once: Carol may now make it talk.
  chat_.SendChatEvent(5, "Carol", ".say carol may");
  EXPECT_TRUE(bot_->WaitFor("Tester: carol may")) << bot_->Out();

  // Lines that are no requests are answered with errors, and the connection stays.
  {
    std::string error;
    const int raw = ConnectToBot(home_.string(), error);
    ASSERT_GE(raw, 0) << error;
    const std::string junk =
        "not json\n{\"type\":\"frob\",\"id\":3}\n{\"type\":\"status\",\"id\":4}\n";
    ASSERT_EQ(write(raw, junk.data(), junk.size()), static_cast<ssize_t>(junk.size()));
    TControlConnection c(raw);
    std::vector<std::string> errors;
    bool answered = false;
    for (int i = 0; i < 200 && !answered; ++i) {
      const std::optional<TBotMessage> m = c.Read(5000, error);
      ASSERT_TRUE(m) << error;
      if (const auto* e = std::get_if<TError>(&*m)) errors.push_back(e->id.json + " " + e->error);
      if (const auto* r = std::get_if<TResult>(&*m)) answered = r->ok && r->id.json == "4";
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(errors,
              (std::vector<std::string>{" malformed JSON at byte 2", "3 unknown type 'frob'"}));
  }

  // A client that leaves and comes back finds what was said meanwhile.
  a.Call(TDetach{});
  chat_.SendChatEvent(5, "Bob", "while you were away");
  EXPECT_TRUE(b.Line("while you were away"));
  TClient again(home_);
  EXPECT_TRUE(again.Line("while you were away"));
  EXPECT_TRUE(again.Line("hello both"));
}

TEST_F(ControlSocket, TheCommandLineChangesTheRunningBot) {
  // No rights yet: the command is not answered.
  chat_.SendChatEvent(5, "Dave", ".say not yet");
  auto [code, out] = Command({"users", "add", "Dave", "100"});
  EXPECT_EQ(code, 0) << out;
  chat_.SendChatEvent(5, "Dave", ".say now you may");
  ASSERT_TRUE(bot_->WaitFor("Tester: now you may")) << bot_->Out();
  EXPECT_EQ(bot_->Out().find("Tester: not yet"), std::string::npos);

  // A changed trigger is used by the next line (once Dave's flood gate, shut by his last
  // command, opens within a second).
  std::tie(code, out) = Command({"profile", "set", "test", "Main.Trigger=!"});
  EXPECT_EQ(code, 0) << out;
  bot_->ReadUntil([] { return false; }, 1100);
  chat_.SendChatEvent(5, "Dave", "!say bang");
  EXPECT_TRUE(bot_->WaitFor("Tester: bang")) << bot_->Out();

  std::tie(code, out) = Command({"say", "from", "cron"});
  EXPECT_EQ(code, 0) << out;
  EXPECT_TRUE(bot_->WaitFor("Tester: from cron")) << bot_->Out();
  std::tie(code, out) = Command({"status"});
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("channel: The Void"), std::string::npos) << out;
  // What the command line changed is in the running bot's files at its end.
  std::tie(code, out) = Command({"users", "list"});
  EXPECT_NE(out.find("Dave\t100\t"), std::string::npos) << out;
}

TEST_F(ControlSocket, TheWindowsLinkOverTheSshBridgeDetachesAndLeavesTheBotRunning) {
  // ssh stands in for a host that is this machine: it runs the remote command as a shell
  // would, with the program under test for "corvane".
  const fs::path ssh = fs::path(dir_) / "ssh";
  std::ofstream(ssh) << "#!/bin/sh\n"
                        "# ssh -T -- HOST corvane --home 'HOME' --control-stdio\n"
                        "[ \"$1 $2 $3 $4\" = \"-T -- bothost corvane\" ] || exit 9\n"
                        "shift 4\n"
                        "eval \"exec '" CORVANE_BIN "' $*\"\n";
  fs::permissions(ssh, fs::perms::owner_all);
  setenv("CORVANE_SSH", ssh.c_str(), 1);
  // A home whose name the remote shell must be given quoted.
  const fs::path odd = fs::path(dir_) / "it's a home; rm -rf x";
  fs::create_directory_symlink(home_, odd);
  std::string error;
  std::optional<TBotChannel> channel = TBotChannel::Open({"bothost", odd.string()}, error);
  unsetenv("CORVANE_SSH");
  ASSERT_TRUE(channel) << error;

  struct TFront final : TFrontEnd {
    void ShowLine(const TPaneLine& line) override { lines.push_back(line.Text()); }
    void RequestClose() override { close_requested = true; }
    std::vector<std::string> lines;
    bool close_requested = false;
  } front;
  SocketStartup();
  TMainLoop loop;
  {
    TRemoteBot remote(loop, front, std::move(*channel), "");
    remote.Start();
    ASSERT_TRUE(remote.Attached());
    EXPECT_EQ(remote.Settings().Username, "Tester");
    EXPECT_EQ(remote.CurrentProfile(), "test");
    EXPECT_TRUE(remote.Connected());
    EXPECT_EQ(remote.Views().Rows().size(), 3u);
    EXPECT_EQ(remote.ListProfiles(), std::vector<std::string>{"test"});
    // The commands came with the users.
    EXPECT_NE(remote.Database().FindCommand("say", TCmdType::Internal), nullptr);

    remote.SetUser("Erin", 40, "");
    std::int32_t access = 0;
    std::string flags;
    EXPECT_TRUE(remote.Database().GetUserRights("Erin", access, flags));
    EXPECT_EQ(access, 40);
    EXPECT_FALSE(remote.DeleteCommand("nosuch"));
    EXPECT_TRUE(remote.TypeLine("", "typed far away"));
    EXPECT_TRUE(bot_->WaitFor("Tester: typed far away")) << bot_->Out();
    loop.RunUntil(
        [&] {
          return !front.lines.empty() && front.lines.back().find("typed far") != std::string::npos;
        },
        5000);
    EXPECT_NE(front.lines.back().find("typed far away"), std::string::npos);
    EXPECT_TRUE(remote.Close());
  }
  SocketCleanup();
  EXPECT_FALSE(front.close_requested) << "a detach ends nothing";
  const auto [code, out] = Command({"status"});
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("running: yes"), std::string::npos) << out;
}

TEST(AttachTarget, AHostComesBeforeTheFirstColonWhenNoSlashDoes) {
  const struct {
    const char* text;
    std::optional<TAttachTarget> target;
  } cases[] = {
      {"/srv/bot", TAttachTarget{"", "/srv/bot"}},
      {"box:/srv/bot", TAttachTarget{"box", "/srv/bot"}},
      {"bob@box:bots/main", TAttachTarget{"bob@box", "bots/main"}},
      {"box:", TAttachTarget{"box", ""}},  // the host's default home
      {"./odd:name", TAttachTarget{"", "./odd:name"}},
      {"bots/a:b", TAttachTarget{"", "bots/a:b"}},
      {":home", std::nullopt},
      {"-oProxyCommand=x:home", std::nullopt},  // ssh would read an option
      {"bob@:home", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(ParseAttachTarget(c.text, error), c.target) << c.text;
    EXPECT_EQ(error.empty(), c.target.has_value()) << c.text << ": " << error;
  }
}

}  // namespace
}  // namespace corvane
