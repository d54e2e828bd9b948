// The control socket's listener on its own: lines in order, answers, the close after a
// detach, the bounds that keep a bad client from hurting the bot, the owner-only rule.

#include "app/control_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/control_client.h"
#include "net/main_loop.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using TClientId = TControlServer::TClientId;

// Answers every line with "re:" and the line; "bye" is answered and closes the client.
struct TEcho final : TControlServer::THandler {
  void ClientConnected(TClientId id) override { connected.push_back(id); }
  void ClientLine(TClientId id, std::string line) override {
    lines.emplace_back(id, line);
    server->Send(id, "re:" + line + "\n");
    if (line == "bye") server->CloseAfterOutput(id);
  }
  void ClientGone(TClientId id, const std::string& why) override { gone.emplace_back(id, why); }
  void ClientRefused(uid_t uid) override { refused.push_back(uid); }

  TControlServer* server = nullptr;
  std::vector<TClientId> connected;
  std::vector<std::pair<TClientId, std::string>> lines;
  std::vector<std::pair<TClientId, std::string>> gone;
  std::vector<uid_t> refused;
};

class ControlServer : public ::testing::Test {
 protected:
  void SetUp() override { home_ = mkdtemp(dir_); }
  void TearDown() override { fs::remove_all(home_); }

  void Listen(std::size_t max_output = TControlServer::kMaxClientOutput) {
    server_ = std::make_unique<TControlServer>(loop_, echo_, max_output);
    echo_.server = server_.get();
    std::string error;
    ASSERT_TRUE(server_->Listen(home_, error)) << error;
  }
  int Connect() {
    std::string error;
    const int fd = ConnectToBot(home_, error);
    EXPECT_GE(fd, 0) << error;
    const std::size_t before = echo_.connected.size();
    loop_.RunUntil([&] { return echo_.connected.size() > before; }, 5000);
    return fd;
  }
  // Reads until `text` has arrived or the peer closed; what arrived.
  std::string ReadUntil(int fd, const std::string& text, bool* closed = nullptr) {
    std::string got;
    for (int round = 0; round < 500 && got.find(text) == std::string::npos; ++round) {
      loop_.ProcessEvents(0);
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char block[65536];
      const ssize_t n = read(fd, block, sizeof block);
      if (n <= 0) {
        if (closed != nullptr) *closed = true;
        break;
      }
      got.append(block, static_cast<std::size_t>(n));
    }
    return got;
  }
  static void Write(int fd, const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  char dir_[40] = "/tmp/corvane-control-XXXXXX";
  std::string home_;
  TMainLoop loop_;
  TEcho echo_;
  std::unique_ptr<TControlServer> server_;
};

TEST_F(ControlServer, LinesInOrderAnswersAndTheCloseAfterTheLastAnswer) {
  Listen();
  struct stat st {};
  ASSERT_EQ(lstat(server_->Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the owner's alone";

  const int a = Connect();
  const int b = Connect();
  // Split anywhere, "\r\n" or "\n", empty lines skipped.
  Write(a, "one\ntw");
  Write(a, "o\r\n\n");
  EXPECT_NE(ReadUntil(a, "re:two\n").find("re:one\nre:two\n"), std::string::npos);
  // A burst far past the lines the main thread may owe a client is read on as they are
  // carried out.
  std::string burst;
  for (int i = 0; i < 1000; ++i) burst += std::to_string(i) + "\n";
  Write(b, burst);
  const std::string answers = ReadUntil(b, "re:999\n");
  EXPECT_EQ(answers.find("re:0\n"), 0u);
  EXPECT_NE(answers.find("re:998\nre:999\n"), std::string::npos);

  // A client that shuts its side after its requests (a script's pipe) gets every answer,
  // then the end.
  Write(a, "last\n");
  shutdown(a, SHUT_WR);
  bool closed = false;
  EXPECT_NE(ReadUntil(a, "\n\n", &closed).find("re:last\n"), std::string::npos);
  EXPECT_TRUE(closed);
  // "bye" (a detach) is answered, then the connection ends; nobody else's does.
  Write(b, "bye\n");
  closed = false;
  EXPECT_NE(ReadUntil(b, "\n\n", &closed).find("re:bye\n"), std::string::npos);
  EXPECT_TRUE(closed);
  loop_.RunUntil([&] { return echo_.gone.size() == 2; }, 5000);
  ASSERT_EQ(echo_.gone.size(), 2u);
  EXPECT_EQ(echo_.gone[0].second, "");
  EXPECT_EQ(echo_.gone[1].second, "");
  EXPECT_EQ(server_->ClientCount(), 0u);
  close(a);
  close(b);

  // The file goes with the server; a socket left behind by a bot that died is replaced, a
  // file of somebody else's is not.
  server_.reset();
  EXPECT_FALSE(fs::exists(ControlSocketPath(home_)));
  std::ofstream(ControlSocketPath(home_)) << "notes";
  server_ = std::make_unique<TControlServer>(loop_, echo_);
  std::string error;
  EXPECT_FALSE(server_->Listen(home_, error));
  EXPECT_NE(error.find("no socket"), std::string::npos) << error;
}

TEST_F(ControlServer, AClientThatStopsReadingOrSendsAHugeLineIsDroppedAndOthersGoOn) {
  Listen(64 * 1024);
  const int idle = Connect();
  const int busy = Connect();
  const int huge = Connect();
  const TClientId idle_id = echo_.connected[0];
  // The bot sends, the idle client never reads: past the bound it is dropped, with why.
  const std::string block(4096, 'x');
  for (int i = 0; i < 200 && server_->ClientCount() == 3; ++i) {
    server_->Send(idle_id, block + "\n");
    loop_.ProcessEvents(1);
  }
  loop_.RunUntil([&] { return !echo_.gone.empty(); }, 5000);
  ASSERT_EQ(echo_.gone.size(), 1u);
  EXPECT_EQ(echo_.gone[0].first, idle_id);
  EXPECT_NE(echo_.gone[0].second.find("did not read"), std::string::npos) << echo_.gone[0].second;

  // Lines before a line over the bound are carried out, then the client goes.
  Write(huge, "before\n");
  const std::string over(kMaxControlLine + 1, 'y');
  std::size_t written = 0;
  for (int i = 0; i < 1000 && written < over.size(); ++i) {
    const ssize_t n = send(huge, over.data() + written, over.size() - written, MSG_DONTWAIT);
    if (n > 0) written += static_cast<std::size_t>(n);
    loop_.ProcessEvents(1);
  }
  loop_.RunUntil([&] { return echo_.gone.size() == 2; }, 5000);
  ASSERT_EQ(echo_.gone.size(), 2u);
  EXPECT_NE(echo_.gone[1].second.find("longer than"), std::string::npos) << echo_.gone[1].second;
  ASSERT_FALSE(echo_.lines.empty());
  EXPECT_EQ(echo_.lines[0].second, "before");

  Write(busy, "still here\n");
  EXPECT_NE(ReadUntil(busy, "re:still here\n").find("re:still here\n"), std::string::npos);
  for (const int fd : {idle, busy, huge}) close(fd);
}

TEST_F(ControlServer, AnotherUserIsRefusedEvenWhereTheFileLetsHimIn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  Listen();
  // As if the owner had opened his home and socket to everybody.
  chmod(home_.c_str(), 0755);
  chmod(server_->Path().c_str(), 0666);
  const pid_t child = fork();
  if (child == 0) {
    if (setuid(65534) != 0) _exit(10);
    std::string error;
    const int fd = ConnectToBot(home_, error);
    if (fd < 0) _exit(11);
    const char line[] = "status\n";
    [[maybe_unused]] const ssize_t w = send(fd, line, sizeof line - 1, MSG_NOSIGNAL);
    char byte = 0;
    pollfd p{fd, POLLIN, 0};
    // The connection ends unanswered.
    _exit(poll(&p, 1, 5000) == 1 && read(fd, &byte, 1) <= 0 ? 0 : 12);
  }
  loop_.RunUntil([&] { return !echo_.refused.empty(); }, 5000);
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(echo_.refused.size(), 1u);
  EXPECT_EQ(echo_.refused[0], 65534u);
  EXPECT_TRUE(echo_.lines.empty());
  EXPECT_TRUE(echo_.connected.empty());
}

}  // namespace
}  // namespace corvane
