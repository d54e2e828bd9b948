#include "support/program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

extern char** environ;

namespace corvane::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadStepMs = 50;
// After the program's end, how long its output may take to reach the end of the pipes: a
// child of its own that keeps them open holds Wait up no longer than this.
constexpr int kDrainMs = 2000;

void CloseAll(std::initializer_list<int> fds) {
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

}  // namespace

TProgram::TProgram(const std::string& path, const std::vector<std::string>& args) {
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    const int error = errno;
    CloseAll({in[0], in[1], out[0], out[1], err[0], err[1]});
    throw std::runtime_error(std::string("pipe: ") + std::strerror(error));
  }
  std::vector<std::string> words{path};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // The copies on 0, 1 and 2 lose close-on-exec; every other end closes at the exec.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  CloseAll({in[0], out[1], err[1]});
  if (rc != 0) {
    CloseAll({in[1], out[0], err[0]});
    throw std::runtime_error("cannot start " + path + ": " + std::strerror(rc));
  }
  stdin_ = in[1];
  stdout_ = out[0];
  stderr_ = err[0];
}

TProgram::~TProgram() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  CloseAll({stdin_, stdout_, stderr_});
}

bool TProgram::Type(const std::string& line) {
  if (stdin_ < 0) return false;
  const std::string s = line + "\n";
  // A program that has gone gives EPIPE here, not a SIGPIPE that ends the test.
  sigset_t pipe_signal;
  sigset_t old;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &old);
  const ssize_t n = write(stdin_, s.data(), s.size());
  if (n < 0 && errno == EPIPE) {
    const timespec zero{};
    sigtimedwait(&pipe_signal, nullptr, &zero);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return n == static_cast<ssize_t>(s.size());
}

void TProgram::CloseStdin() {
  CloseAll({stdin_});
  stdin_ = -1;
}

void TProgram::Signal(int sig) {
  if (pid_ > 0 && !exited_) kill(pid_, sig);
}

bool TProgram::ReadUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};  // -1: not asked
    if (poll(p, 2, static_cast<int>(std::min<long>(left, kReadStepMs))) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (p[i].revents == 0) continue;
      char block[4096];
      const ssize_t n = read(p[i].fd, block, sizeof block);
      if (n > 0) {
        (i == 0 ? out_ : err_).append(block, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        int& fd = i == 0 ? stdout_ : stderr_;
        close(fd);
        fd = -1;
      }
    }
  }
  return true;
}

bool TProgram::Shows(const std::string& line) const {
  return out_.find(line + "\n") != std::string::npos;
}

bool TProgram::WaitFor(const std::string& line) {
  return ReadUntil([&] { return Shows(line); });
}

int TProgram::Wait(int timeout_ms) {
  const bool ended = ReadUntil(
      [&] {
        if (exited_) return true;
        exited_ = waitpid(pid_, &status_, WNOHANG) == pid_;
        return exited_;
      },
      timeout_ms);
  if (!ended) return -1;
  ReadUntil([&] { return stdout_ < 0 && stderr_ < 0; }, kDrainMs);
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

}  // namespace corvane::test
