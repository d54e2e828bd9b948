// The demo server program, run as a child process, with a session of the bot's own classes
// logging on against it over 127.0.0.1.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bnet/bnet.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"

extern char** environ;

namespace corvane {
namespace {

using namespace std::string_literals;

constexpr int kWait = 10000;  // the longest any step may take

// The demo server as a child process, its stdout kept line by line and its stderr whole.
class TDemoProcess {
 public:
  explicit TDemoProcess(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> argv_strings = {CORVANE_DEMO_BIN};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argv_strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, CORVANE_DEMO_BIN, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
      close(out[0]);
      close(err[0]);
      throw std::runtime_error("cannot start " CORVANE_DEMO_BIN);
    }
    // Each reader ends at the end of its pipe, when the program has gone.
    out_reader_ = std::thread([this, fd = out[0]] { Read(fd, true); });
    err_reader_ = std::thread([this, fd = err[0]] { Read(fd, false); });
  }

  ~TDemoProcess() {
    if (!exit_status_) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    JoinReaders();
  }

  // Once the program has ended: waits until everything it wrote has been read.
  void JoinReaders() {
    if (out_reader_.joinable()) out_reader_.join();
    if (err_reader_.joinable()) err_reader_.join();
  }

  pid_t Pid() const { return pid_; }

  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::string Err() const {
    std::lock_guard lock(mutex_);
    return err_;
  }
  bool HasLine(const std::string& line) const {
    std::lock_guard lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }
  // Waits (at most timeout_ms) until stdout has at least n lines.
  bool WaitForLines(std::size_t n, int timeout_ms = kWait) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return lines_.size() >= n; });
  }
  // Waits (at most timeout_ms) until the program has read both its port lines; the ports.
  bool ReadPorts(int& chat, int& bnls) {
    if (!WaitForLines(2)) return false;
    const std::vector<std::string> lines = Lines();
    return ParsePortLine(lines[0], "chat", chat) && ParsePortLine(lines[1], "bnls", bnls);
  }

  // Waits (at most timeout_ms) for the program to end; its exit code, or nothing when it
  // still runs or a signal ended it.
  std::optional<int> WaitExit(int timeout_ms = kWait) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!exit_status_) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exit_status_ = status;
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!WIFEXITED(*exit_status_)) return std::nullopt;
    return WEXITSTATUS(*exit_status_);
  }

  // CPU time the program has used so far, in clock ticks.
  long CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close_paren = all.rfind(')');
    if (close_paren == std::string::npos) return -1;
    std::istringstream fields(all.substr(close_paren + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) utime = std::stol(field);
      if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
  }

 private:
  static bool ParsePortLine(const std::string& line, const std::string& kind, int& port) {
    const std::string head = kind + " 127.0.0.1 ";
    if (line.rfind(head, 0) != 0) return false;
    const std::string digits = line.substr(head.size());
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    port = std::stoi(digits);
    return port > 0 && port <= 65535;
  }

  void Read(int fd, bool lines) {
    char block[4096];
    std::string partial;
    for (;;) {
      const ssize_t n = read(fd, block, sizeof block);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::lock_guard lock(mutex_);
      if (!lines) {
        err_.append(block, static_cast<std::size_t>(n));
        continue;
      }
      partial.append(block, static_cast<std::size_t>(n));
      for (std::size_t end = partial.find('\n'); end != std::string::npos;
           end = partial.find('\n')) {
        lines_.push_back(partial.substr(0, end));
        partial.erase(0, end + 1);
      }
      changed_.notify_all();
    }
    close(fd);
  }

  pid_t pid_ = -1;
  std::optional<int> exit_status_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::string err_;
  std::thread out_reader_;
  std::thread err_reader_;
};

// Runs the program to its end (at most kWait); its exit code, stdout and stderr.
struct TRunResult {
  std::optional<int> code;
  std::vector<std::string> lines;
  std::string err;
};
TRunResult RunToEnd(const std::vector<std::string>& args) {
  TDemoProcess demo(args);
  TRunResult r;
  r.code = demo.WaitExit();
  if (r.code) demo.JoinReaders();
  r.lines = demo.Lines();
  r.err = demo.Err();
  return r;
}

struct TEvent {
  std::int32_t id;
  std::string user;
  std::string text;
  std::uint32_t flags;
  std::uint32_t ping;
};

// A session of the bot's own classes against the demo server.
class DemoServer : public ::testing::Test {
 protected:
  void SetUp() override { SocketStartup(); }
  void TearDown() override {
    bnet.reset();
    SocketCleanup();
  }

  void Start(const std::vector<std::string>& args = {}) {
    demo = std::make_unique<TDemoProcess>(args);
    ASSERT_TRUE(demo->ReadPorts(chat_port, bnls_port)) << ::testing::PrintToString(demo->Lines());
  }

  void MakeSession(const std::string& account = "DemoBot", const std::string& password = "demo",
                   const std::string& home = "Corvane Demo") {
    bnet = std::make_unique<TBNET>(loop, kProductW3xp);
    bnet->OnChatEvent = [this](TBNET&, std::int32_t id, const std::string& s1,
                               const std::string& s2, const std::string&, std::uint32_t n1,
                               std::uint32_t n2) {
      events.push_back({id, s1, s2, n1, n2});
    };
    bnet->OnError = [this](TBNET&, std::int32_t code, const std::string&) {
      errors.push_back(code);
    };
    bnet->BnlsServer = "127.0.0.1";
    bnet->BnlsPort = bnls_port;
    bnet->Username = account;
    bnet->Password = password;
    bnet->HomeChannel = home;
  }

  // Logs on and waits until the bot is in a channel.
  bool LogOn() {
    if (!bnet) MakeSession();
    bnet->Connect("127.0.0.1", chat_port);
    return loop.RunUntil([&] { return bnet->LoggedOn && Find(107) >= 0; }, kWait);
  }

  // Index of the first event with that id (and user and text, unless empty) at or after
  // `from`; -1 when there is none.
  int Find(std::int32_t id, const std::string& user = {}, const std::string& text = {},
           int from = 0) const {
    for (int i = std::max(from, 0); i < static_cast<int>(events.size()); ++i) {
      const TEvent& e = events[static_cast<std::size_t>(i)];
      if (e.id == id && (user.empty() || e.user == user) && (text.empty() || e.text == text))
        return i;
    }
    return -1;
  }
  int WaitEvent(std::int32_t id, const std::string& user = {}, const std::string& text = {},
                int from = 0) {
    loop.RunUntil([&] { return Find(id, user, text, from) >= 0; }, kWait);
    return Find(id, user, text, from);
  }
  // Runs the session until the program has printed that line.
  bool WaitLine(const std::string& line) {
    return loop.RunUntil([&] { return demo->HasLine(line); }, kWait);
  }

  TMainLoop loop;
  std::unique_ptr<TDemoProcess> demo;
  int chat_port = 0;
  int bnls_port = 0;
  std::unique_ptr<TBNET> bnet;
  std::vector<TEvent> events;
  std::vector<std::int32_t> errors;
};

// ---- The script ----

TEST_F(DemoServer, ABotThatLogsOnSeesTheMembersAndTheScriptWithinSeconds) {
  Start();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(LogOn()) << ::testing::PrintToString(errors);
  EXPECT_EQ(events[static_cast<std::size_t>(Find(107))].text, "Corvane Demo");
  EXPECT_TRUE(WaitLine("demo: bot logged on as DemoBot"));
  EXPECT_TRUE(WaitLine("demo: bot joined \"Corvane Demo\" with Mira, Tovan"));

  // The members already there come with the channel.
  const int mira = Find(101, "Mira");
  ASSERT_GE(mira, 0);
  EXPECT_EQ(events[static_cast<std::size_t>(mira)].text, "PX3W 2N3W 14");
  EXPECT_EQ(events[static_cast<std::size_t>(mira)].ping, 32u);
  EXPECT_GE(Find(101, "Tovan"), 0);
  EXPECT_GE(Find(101, "DemoBot"), 0);
  EXPECT_LT(Find(101, "Alice"), 0) << "Alice arrives later";

  // Then Alice joins, talks, whispers to the bot and uses a command, in that order.
  const int join = WaitEvent(102, "Alice");
  ASSERT_GE(join, 0);
  EXPECT_EQ(events[static_cast<std::size_t>(join)].text, "PX3W 3H3W 21");
  EXPECT_EQ(events[static_cast<std::size_t>(join)].ping, 47u);
  const int talk = WaitEvent(105, "Alice", "Hi all! Is the new bot awake?");
  const int whisper = WaitEvent(104, "Alice", "psst, DemoBot, can you hear me?");
  const int command = WaitEvent(105, "Alice", ".whoami");
  ASSERT_GE(talk, 0);
  ASSERT_GE(whisper, 0);
  ASSERT_GE(command, 0);
  EXPECT_LT(join, talk);
  EXPECT_LT(talk, whisper);
  EXPECT_LT(whisper, command);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_GE(WaitEvent(105, "Mira", "Welcome, DemoBot!"), 0);
  EXPECT_TRUE(WaitLine("demo: Alice joins"));
  EXPECT_TRUE(WaitLine("demo: Alice whispers to DemoBot: psst, DemoBot, can you hear me?"));
  EXPECT_TRUE(WaitLine("demo: <Alice> .whoami"));
  EXPECT_TRUE(errors.empty());

  // The opening is played once: then the channel is quiet for several seconds.
  const std::size_t seen = events.size();
  loop.RunUntil([] { return false; }, 1500);
  for (std::size_t i = seen; i < events.size(); ++i) {
    EXPECT_NE(events[i].id, 105) << events[i].user << ": " << events[i].text;
    EXPECT_NE(events[i].id, 102) << events[i].user;
  }
}

TEST_F(DemoServer, AReconnectingBotGetsTheMembersAndTheScriptAgain) {
  Start();
  ASSERT_TRUE(LogOn());
  ASSERT_GE(WaitEvent(102, "Alice"), 0);
  bnet->Disconnect();
  EXPECT_TRUE(WaitLine("demo: bot disconnected"));

  events.clear();
  ASSERT_TRUE(LogOn());
  EXPECT_GE(Find(101, "Mira"), 0);
  EXPECT_LT(Find(101, "Alice"), 0) << "the new visit starts without her";
  EXPECT_GE(WaitEvent(102, "Alice"), 0);
  EXPECT_GE(WaitEvent(105, "Alice", ".whoami"), 0);
  // Nothing of the first visit reached the second one twice.
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const TEvent& e) { return e.id == 102 && e.user == "Alice"; }),
            1);
}

TEST_F(DemoServer, NothingTheBotSendsBringsItDown) {
  Start();
  ASSERT_TRUE(LogOn());
  for (const char* line : {"/w", "/w ", "/w    ", "/whisper Nobody", "/m Mira", "", "%bot %bot"})
    bnet->SendChat(line);
  bnet->SendChat("/w Mira " + std::string(300, 'x'));
  bnet->SendChat(std::string(2000, '/'));
  // A whisper without a text is confirmed empty; a long one is cut as a server cuts it.
  ASSERT_GE(WaitEvent(110, "Mira", std::string(255, 'x')), 0);  // comes after the empty one
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const TEvent& e) {
    return e.id == 110 && e.user == "Mira" && e.text.empty();
  }));
  EXPECT_EQ(Find(110, "Mira", std::string(256, 'x')), -1);
  ASSERT_TRUE(WaitLine("demo: DemoBot says: %bot %bot"));

  // Bytes that are no protocol at all: the server drops that connection and goes on.
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(chat_port));
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string junk = "\x01\xFF\x0E\x02\x00garbage"s;
  ASSERT_EQ(send(fd, junk.data(), junk.size(), MSG_NOSIGNAL), static_cast<ssize_t>(junk.size()));
  close(fd);

  EXPECT_FALSE(demo->WaitExit(300).has_value()) << "it still runs";
  bnet.reset();
  events.clear();
  ASSERT_TRUE(LogOn()) << "a new logon still works";
  EXPECT_GE(WaitEvent(102, "Alice"), 0);
}

// ---- Accounts and ports ----

TEST_F(DemoServer, BadOptionsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},        {"--chat-port"},        {"--chat-port", "abc"}, {"--chat-port", "65536"},
      {"--bnls-port=-1"}, {"--bnls-port", "12x"}, {"--account", ""},      {"--channel="},
      {"stray"},          {"--password"}};
  for (const std::vector<std::string>& args : cases) {
    const TRunResult r = RunToEnd(args);
    EXPECT_EQ(r.code, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find(args[0].substr(0, args[0].find('='))), std::string::npos) << r.err;
    EXPECT_TRUE(r.lines.empty()) << ::testing::PrintToString(r.lines);
  }
}

TEST_F(DemoServer, SigtermAndSigintEndItWithExitZero) {
  for (const int sig : {SIGTERM, SIGINT}) {
    Start();
    EXPECT_EQ(kill(demo->Pid(), sig), 0);
    EXPECT_EQ(demo->WaitExit(), 0) << sig;
    demo->WaitForLines(4, 1000);
    EXPECT_TRUE(demo->HasLine("demo: stopping"));
  }

  // With a bot logged on and the script playing, too; the bot sees the server go.
  Start();
  ASSERT_TRUE(LogOn());
  ASSERT_GE(WaitEvent(102, "Alice"), 0);
  EXPECT_EQ(kill(demo->Pid(), SIGTERM), 0);
  EXPECT_EQ(demo->WaitExit(), 0);
  EXPECT_TRUE(loop.RunUntil([&] { return !bnet->Active(); }, kWait));
}

}  // namespace
}  // namespace corvane
