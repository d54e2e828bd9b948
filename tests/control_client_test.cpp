// The client end of the control socket: the blocking client, the command line while a bot
// runs on the home, and the --control-stdio bridge, against a fake bot that the test runs
// on the control socket of a temporary home. It greets each client as the bot does and
// answers from a model of a bot: its state, its profiles and its users.

#include "app/control_client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "bot/command_processor.h"
#include "config/codepage.h"
#include "config/profiles.h"
#include "support/program.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace control;
using Args = std::vector<std::string>;

// What the fake bot is and was asked; the test reads it under the lock.
struct TBotModel {
  TState state{true, true, "Op Corvane", "main"};
  std::vector<std::string> profiles{"main", "second"};
  TBotCommandControl users;
  std::string refusal;  // every change is refused with it, when set
  std::vector<TRequest> requests;
};

class TFakeBot {
 public:
  explicit TFakeBot(const fs::path& home) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string error;
    const auto bind_to = [&](const sockaddr_un& address, socklen_t length) {
      return bind(listener_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    };
    if (!WithSocketAddress(home.string(), kControlSocketName, bind_to, error) ||
        listen(listener_, 4) != 0) {
      close(listener_);
      throw std::runtime_error("cannot listen in " + home.string() + ": " + error);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~TFakeBot() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }

  template <class F>
  auto With(F f) {
    std::lock_guard lock(mutex_);
    return f(model_);
  }

 private:
  // Waits a short while for input, so that the thread sees stop_ soon.
  static bool Ready(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 20) > 0;
  }
  static void Send(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return;
      at += static_cast<std::size_t>(n);
    }
  }

  void Run() {
    while (!stop_) {
      if (!Ready(listener_)) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      Send(fd, EncodeMessage(TBotHello{kControlProtocol, "test"}) +
                   With([](TBotModel& m) { return Status(m); }));
      TLineReader lines;
      char buffer[4096];
      for (ssize_t n = 1; n > 0 && !stop_;) {
        if (!Ready(fd)) continue;
        n = read(fd, buffer, sizeof buffer);
        if (n > 0) lines.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        while (const std::optional<std::string> line = lines.Next()) Send(fd, Answer(*line));
      }
      close(fd);
    }
  }

  static std::string Status(const TBotModel& m) {
    TSettings settings;
    settings.Load("");
    return EncodeMessage(m.state) + EncodeMessage(TView{}) + EncodeMessage(settings) +
           EncodeMessage(TProfileList{m.state.profile, m.profiles});
  }

  std::string Answer(const std::string& line) {
    const TDecodedRequest decoded = DecodeRequest(line);
    if (!decoded.request) return EncodeMessage(TError{decoded.id, decoded.error});
    std::lock_guard lock(mutex_);
    TBotModel& m = model_;
    const TRequest& request = *decoded.request;
    m.requests.push_back(request);
    std::string out;
    std::string refusal;
    if (std::holds_alternative<TStatusRequest>(request)) {
      out = Status(m);
    } else if (std::holds_alternative<TUsersList>(request)) {
      out = EncodeMessage(UsersOf(m.users)) + EncodeMessage(CommandsOf(m.users));
    } else {
      refusal = m.refusal;
    }
    const auto* set = std::get_if<TUserSet>(&request);
    if (set != nullptr && refusal.empty()) {
      m.users.SetUser(set->name, set->access, set->flags.value_or("?"));
    }
    if (!decoded.id.Empty()) out += EncodeMessage(TResult{decoded.id, refusal.empty(), refusal});
    return out;
  }

  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  TBotModel model_;
  std::thread thread_;
};

// A command line: words split at blanks, or given one by one.
struct TLine : Args {
  TLine(std::initializer_list<std::string> words) : Args(words) {}
  TLine(const char* line) {  // NOLINT: implicit on purpose
    std::istringstream in(line);
    for (std::string w; in >> w;) push_back(w);
  }
};

// The message as a T, when it is one (the settings in a message cannot be compared).
template <class T>
std::optional<T> As(const TBotMessage& message) {
  const T* t = std::get_if<T>(&message);
  return t != nullptr ? std::optional(*t) : std::nullopt;
}

TSettingValue Setting(const std::string& name, const std::string& typed) {
  std::string error;
  const TSettingField* field = FindSetting(name, error);
  return *ParseSettingValue(*field, ProcessCodePage().FromUtf8(typed), error);
}

class ControlClient : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = mkdtemp(dir_name_);
    home_ = dir_ / "home";
    fs::create_directories(home_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // corvane --home HOME line...: the exit code and stdout, then stderr.
  static std::pair<int, std::string> Run(const fs::path& home, const TLine& line) {
    Args words{"--home", home.string()};
    words.insert(words.end(), line.begin(), line.end());
    test::TProgram program(CORVANE_BIN, words);
    program.CloseStdin();
    return {program.Wait(), program.Out() + program.Err()};  // in that order
  }

  char dir_name_[40] = "/tmp/corvane-client-XXXXXX";
  fs::path dir_, home_;
};

// Scripts see no difference: each command prints the same for a bot as for the files of a
// home like the bot's, and asks the bot for the change (after a status, which tells it the
// profiles and the settings). The bot's profiles follow the files' after each command.
TEST_F(ControlClient, CommandsThroughARunningBotPrintWhatTheFilesPrint) {
  const fs::path files = dir_ / "files";
  for (const char* line : {"profile create second", "profile create main"}) {
    ASSERT_EQ(Run(files, line).first, 0);
  }
  TFakeBot bot(home_);
  const auto follow_the_files = [&](TBotModel& m) {
    TProfiles profiles(files.string());
    TSettings settings;
    profiles.LoadProfile(settings);
    m.profiles = profiles.ListProfiles();
    m.state.profile = profiles.Current();
    m.requests.clear();
  };
  const std::string zhora = ProcessCodePage().FromUtf8("Жора");
  struct TCase {
    TLine line;
    std::vector<TRequest> asked;  // after the status
  };
  const TCase cases[] = {
      {"users add Bob 20 S", {TUserSet{"Bob", 20, "S"}, TUsersList{}}},
      {"users add bob 30", {TUserSet{"bob", 30, std::nullopt}, TUsersList{}}},
      {"users add Жора 7", {TUserSet{zhora, 7, std::nullopt}, TUsersList{}}},
      {"users list", {TUsersList{}}},
      {"profile list", {}},
      {"profile set main Main.Trigger=! Main.Game=8",
       {TSettingsSet{std::nullopt, {Setting("Main.Trigger", "!"), Setting("Main.Game", "8")}}}},
      {{"profile", "set", "second", "Main.HomeChannel=Op Жора"},
       {TSettingsSet{"second", {Setting("Main.HomeChannel", "Op Жора")}}}},
      // Refused or done already before the bot is asked.
      {"profile use main", {}},
      {"profile delete main", {}},
      {"profile rename main x", {}},
      {"profile rename second second", {}},
      {"profile use nope", {}},
      {"profile create third --from nope", {}},
      {"profile use second", {TProfileUse{"second"}}},
      {"profile create ..third --from main", {TProfileCreate{"..third", "main"}}},
      {"profile rename second other", {TProfileRename{"second", "other"}}},
      {"profile delete main", {TProfileDelete{"main"}}},
      {"profile list", {}},
  };
  for (const TCase& c : cases) {
    const std::string what = ::testing::PrintToString(c.line);
    bot.With(follow_the_files);
    const auto by_files = Run(files, c.line);
    EXPECT_EQ(Run(home_, c.line), by_files) << what;
    std::vector<TRequest> asked{TStatusRequest{}};
    asked.insert(asked.end(), c.asked.begin(), c.asked.end());
    EXPECT_EQ(bot.With([](TBotModel& m) { return m.requests; }), asked) << what;
  }
}

TEST_F(ControlClient, StatusAndSayNeedABotAStaleSocketIsNone) {
  const std::string none = "corvane: no bot is running on " + home_.string() + "\n";
  const auto expect_none = [&] {
    EXPECT_EQ(Run(home_, "status"), std::make_pair(3, std::string("running: no\n")));
    EXPECT_EQ(Run(home_, "say hi"), std::make_pair(1, none));
  };
  expect_none();
  {
    TFakeBot bot(home_);
    EXPECT_EQ(Run(home_, "status"),
              std::make_pair(0, std::string("running: yes\nconnected: yes\nlogged on: yes\n"
                                            "channel: Op Corvane\nprofile: main\n")));
    bot.With([](TBotModel& m) { m.requests.clear(); });
    EXPECT_EQ(Run(home_, {"say", "hello", "Жора", "/quit"}), std::make_pair(0, std::string()));
    EXPECT_EQ(bot.With([](TBotModel& m) { return m.requests; }),
              (std::vector<TRequest>{TStatusRequest{},
                                     TSay{ProcessCodePage().FromUtf8("hello Жора /quit")}}));
    bot.With([](TBotModel& m) { m.refusal = "not logged on"; });
    for (const char* refused : {"say hi", "users add Bob 20", "profile use second"}) {
      EXPECT_EQ(Run(home_, refused), std::make_pair(1, std::string("corvane: not logged on\n")));
    }
  }
  // The bot has gone and left its socket behind: nobody listens there.
  ASSERT_TRUE(fs::is_socket(home_ / kControlSocketName));
  expect_none();
  ASSERT_EQ(Run(home_, "profile create main").first, 0);
  EXPECT_EQ(Run(home_, "users add Bob 20 S").first, 0);
  EXPECT_EQ(Run(home_, "users list"), std::make_pair(0, std::string("Bob\t20\tS\n")));
}

// sun_path holds 108 bytes; the home is reached through its descriptor instead, which is
// closed again.
TEST_F(ControlClient, AHomeWhosePathIsLongerThanASocketAddressIsReached) {
  const fs::path home = home_ / std::string(60, 'a') / std::string(60, 'b');
  fs::create_directories(home);
  ASSERT_GT(ControlSocketPath(home.string()).size(), sizeof(sockaddr_un{}.sun_path));
  const auto descriptors = [] {
    const auto entries = fs::directory_iterator("/proc/self/fd");
    return std::distance(fs::begin(entries), fs::end(entries));
  };
  const auto before = descriptors();
  std::string error;
  bool no_bot = false;
  EXPECT_EQ(ConnectToBot(home.string(), error, &no_bot), -1);
  EXPECT_TRUE(no_bot) << error;
  EXPECT_EQ(descriptors(), before);
  TFakeBot bot(home);
  EXPECT_EQ(Run(home, "status").first, 0);
  EXPECT_EQ(Run(home, "say hi").first, 0);
}

// The client end of a socket pair, with the bot's end written by the test.
class ControlConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    client_.emplace(ends[0]);
    bot_ = ends[1];
  }
  void TearDown() override {
    client_.reset();
    if (bot_ >= 0) close(bot_);
  }
  void Say(const std::string& lines) {
    ASSERT_EQ(write(bot_, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  }

  std::optional<TControlConnection> client_;
  int bot_ = -1;
};

TEST_F(ControlConnection, ReadSkipsNewerMessagesAndReportsBadLinesAndSilence) {
  const TState state{true, false, "Op X", ""};
  Say("{\"type\":\"frob\",\"x\":1}\n" + EncodeMessage(state) + "{\"type\":\"state\",\n");
  std::string error;
  const std::optional<TBotMessage> read = client_->Read(1000, error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(As<TState>(*read), state);
  EXPECT_FALSE(client_->Read(1000, error));
  EXPECT_EQ(error.rfind("the bot sent a malformed line: ", 0), 0u) << error;

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client_->Read(150, error));
  EXPECT_EQ(error, "the bot did not answer within 150 ms");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  shutdown(bot_, SHUT_WR);
  EXPECT_FALSE(client_->Read(1000, error));
  EXPECT_EQ(error, "the bot closed the connection");
}

// The messages before the answer go to on_message, an answer to another id among them;
// the bot's refusal is the error. Ids count from 1.
TEST_F(ControlConnection, CallWaitsForItsOwnAnswerAndNoLonger) {
  const TResult other{TRequestId::Number(2), true, ""};
  const TState state{true, false, "", ""};
  Say(EncodeMessage(other) + EncodeMessage(state) +
      EncodeMessage(TResult{TRequestId::Number(1), false, "no such user"}) +
      EncodeMessage(TError{TRequestId::Number(2), "user_set: name holds a blank"}));
  std::vector<TBotMessage> before;
  const auto keep = [&](const TBotMessage& m) { before.push_back(m); };
  std::string error;
  EXPECT_FALSE(client_->Call(TUserDelete{"x"}, 1000, keep, error));
  EXPECT_EQ(error, "no such user");
  ASSERT_EQ(before.size(), 2u);
  EXPECT_EQ(As<TResult>(before[0]), other);
  EXPECT_EQ(As<TState>(before[1]), state);
  EXPECT_FALSE(client_->Call(TUserSet{"x y", 1, std::nullopt}, 1000, keep, error));
  EXPECT_EQ(error, "user_set: name holds a blank");

  // A bot that reads the request and never answers.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client_->Call(TStatusRequest{}, 200, keep, error));
  EXPECT_EQ(error, "the bot did not answer within 200 ms");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  char sent[256];
  const ssize_t n = read(bot_, sent, sizeof sent);
  EXPECT_EQ(std::string(sent, static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
            EncodeRequest(TUserDelete{"x"}, TRequestId::Number(1)) +
                EncodeRequest(TUserSet{"x y", 1, std::nullopt}, TRequestId::Number(2)) +
                EncodeRequest(TStatusRequest{}, TRequestId::Number(3)));
}

// A window elsewhere speaks to the bot through ssh and this bridge: the request goes in,
// the greeting and the answer come out as the bot sent them; at the end of its input the
// bridge still passes on what the bot says until the bot closes.
TEST_F(ControlClient, ControlStdioBridgesARequestAndItsAnswer) {
  test::TProgram alone(CORVANE_BIN, {"--home", home_.string(), "--control-stdio"});
  EXPECT_EQ(alone.Wait(), 1);
  EXPECT_EQ(alone.Err(), "corvane: no bot is running on " + home_.string() + "\n");

  TFakeBot bot(home_);
  bot.With([](TBotModel& m) { m.users.SetUser("Bob", 20, "S"); });
  test::TProgram bridge(CORVANE_BIN, {"--home", home_.string(), "--control-stdio"});
  const std::string request = EncodeRequest(TUsersList{}, TRequestId::Text("u1"));
  ASSERT_TRUE(bridge.Type(request.substr(0, request.size() - 1)));
  bridge.CloseStdin();
  EXPECT_EQ(bridge.Wait(), 0) << bridge.Err();
  // hello, state, view, settings and profiles; users, commands and the result.
  std::vector<TBotMessage> said;
  std::istringstream lines(bridge.Out());
  for (std::string line; std::getline(lines, line);) {
    const TDecodedMessage m = DecodeMessage(line);
    ASSERT_TRUE(m.message) << line;
    said.push_back(*m.message);
  }
  ASSERT_EQ(said.size(), 8u) << bridge.Out();
  EXPECT_TRUE(std::holds_alternative<TBotHello>(said[0]));
  EXPECT_EQ(As<TUserList>(said[5]), (TUserList{{{"Bob", 20, "S"}}}));
  EXPECT_EQ(As<TResult>(said[7]), TResult(TRequestId::Text("u1"), true, ""));
  EXPECT_EQ(bot.With([](TBotModel& m) { return m.requests; }), std::vector<TRequest>{TUsersList{}});
}

}  // namespace
}  // namespace corvane
