#include "support/program.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace corvane::test {

static void Close(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

TProgram::TProgram(const std::string& path, const std::vector<std::string>& args) {
  // A program that has gone gives Type an EPIPE, not a SIGPIPE that ends the test.
  signal(SIGPIPE, SIG_IGN);
  int p[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int rc = 0;
  for (int i = 0; i < 3 && rc == 0; ++i) {
    rc = pipe2(p[i], O_CLOEXEC) == 0 ? 0 : errno;
    // The copies on 0, 1 and 2 lose close-on-exec; every other end closes at the exec.
    posix_spawn_file_actions_adddup2(&actions, p[i][i == 0 ? 0 : 1], i);
  }
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attr, &signals);  // none blocked
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &signals);  // nor SIGPIPE ignored as here
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (rc == 0) rc = posix_spawn(&pid_, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; i < 3; ++i) {
    Close(p[i][i == 0 ? 0 : 1]);  // the child's ends
    fd_[i] = p[i][i == 0 ? 1 : 0];
  }
  if (rc != 0) {
    for (int& fd : fd_) Close(fd);
    throw std::runtime_error("cannot start " + path + ": " + std::strerror(rc));
  }
}

TProgram::~TProgram() {
  Signal(SIGKILL);
  if (pid_ > 0 && !exited_) waitpid(pid_, nullptr, 0);
  for (int& fd : fd_) Close(fd);
}

bool TProgram::Type(const std::string& line) {
  const std::string s = line + "\n";
  return fd_[0] >= 0 && write(fd_[0], s.data(), s.size()) == static_cast<ssize_t>(s.size());
}

void TProgram::CloseStdin() {
  Close(fd_[0]);
}

bool TProgram::ReadUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pollfd p[2] = {{fd_[1], POLLIN, 0}, {fd_[2], POLLIN, 0}};  // -1: not asked
    if (poll(p, 2, 50) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      char block[4096];
      const ssize_t n = p[i].revents == 0 ? -2 : read(p[i].fd, block, sizeof block);
      if (n > 0) (i == 0 ? out_ : err_).append(block, static_cast<std::size_t>(n));
      if (n == 0 || (n == -1 && errno != EINTR)) Close(fd_[i + 1]);
    }
  }
  return true;
}

int TProgram::Wait(int timeout_ms) {
  const auto gone = [&] { return exited_ || (exited_ = waitpid(pid_, &status_, WNOHANG) == pid_); };
  if (!ReadUntil(gone, timeout_ms)) return -1;
  // What it left in the pipes; a child of its own that keeps them open holds this up no
  // longer than two seconds.
  ReadUntil([&] { return fd_[1] < 0 && fd_[2] < 0; }, 2000);
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

}  // namespace corvane::test
