#include "app/bot_channel.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "app/control_client.h"

extern char** environ;

namespace corvane {

std::optional<TAttachTarget> ParseAttachTarget(const std::string& text, std::string& error) {
  TAttachTarget target;
  const std::size_t colon = text.find(':');
  const std::size_t slash = text.find('/');
  if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) {
    target.host = text.substr(0, colon);
    target.home = text.substr(colon + 1);
    // ssh would take a host that starts with '-' for an option.
    if (target.host.empty() || target.host.front() == '-' || target.host.back() == '@') {
      error = "'" + text + "' names no host before the ':'";
      return std::nullopt;
    }
  } else {
    target.home = text;
  }
  // "host:" alone is the bot of the host's own default home.
  if (target.home.empty() && target.host.empty()) {
    error = "'" + text + "' names no home folder";
    return std::nullopt;
  }
  return target;
}

std::string TBotChannel::SshProgram() {
  const char* ssh = std::getenv("CORVANE_SSH");
  return ssh != nullptr && *ssh != '\0' ? ssh : "ssh";
}

std::optional<TBotChannel> TBotChannel::Open(const TAttachTarget& target, std::string& error) {
  TBotChannel channel;
  if (target.host.empty()) {
    const int fd = ConnectToBot(target.home, error);
    if (fd < 0) return std::nullopt;
    channel.read_fd_ = channel.write_fd_ = fd;
    channel.description_ = target.home;
    return channel;
  }
  int to_child[2] = {-1, -1};
  int from_child[2] = {-1, -1};
  if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    for (const int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) {
      if (fd >= 0) close(fd);
    }
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
  const std::string program = SshProgram();
  // The remote shell reads the command as one line: the home is quoted for it.
  std::string quoted = "'";
  for (const char c : target.home) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  std::vector<std::string> words = {program, "-T", "--", target.host, "corvane"};
  if (!target.home.empty()) words.insert(words.end(), {"--home", quoted});
  words.push_back("--control-stdio");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(to_child[0]);
  close(from_child[1]);
  if (spawned != 0) {
    close(to_child[1]);
    close(from_child[0]);
    error = "cannot run " + program + ": " + std::strerror(spawned);
    return std::nullopt;
  }
  channel.read_fd_ = from_child[0];
  channel.write_fd_ = to_child[1];
  channel.child_ = pid;
  channel.description_ = target.host + ":" + target.home;
  return channel;
}

TBotChannel::TBotChannel(TBotChannel&& other) noexcept
    : read_fd_(std::exchange(other.read_fd_, -1)),
      write_fd_(std::exchange(other.write_fd_, -1)),
      child_(std::exchange(other.child_, -1)),
      description_(std::move(other.description_)) {}

TBotChannel& TBotChannel::operator=(TBotChannel&& other) noexcept {
  if (this != &other) {
    Release();
    read_fd_ = std::exchange(other.read_fd_, -1);
    write_fd_ = std::exchange(other.write_fd_, -1);
    child_ = std::exchange(other.child_, -1);
    description_ = std::move(other.description_);
  }
  return *this;
}

TBotChannel::~TBotChannel() {
  Release();
}

void TBotChannel::EndWriting() {
  if (write_fd_ < 0) return;
  if (write_fd_ == read_fd_) {
    shutdown(write_fd_, SHUT_WR);
  } else {
    close(write_fd_);
  }
  write_fd_ = -1;
}

void TBotChannel::Release() {
  if (write_fd_ >= 0 && write_fd_ != read_fd_) close(write_fd_);
  if (read_fd_ >= 0) close(read_fd_);
  read_fd_ = write_fd_ = -1;
  if (child_ <= 0) return;
  // ssh ends once its input closes; one that hangs on a dead network is ended after a while.
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + seconds(2);
  while (waitpid(child_, nullptr, WNOHANG) == 0) {
    if (steady_clock::now() > deadline) {
      kill(child_, SIGTERM);
      waitpid(child_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  child_ = -1;
}

}  // namespace corvane
