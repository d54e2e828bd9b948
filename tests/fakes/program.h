#pragma once
// Runs a program (the bot, the demo server) for the tests and the benchmarks, and reads
// its output with bounded waits.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace corvane::test {

inline constexpr int kWaitMs = 8000;

// A program run by a test or a benchmark, with pipes on its stdin, stdout and stderr.
class TProgram {
 public:
  TProgram(const std::string& path, const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      std::vector<char*> argv{const_cast<char*>(path.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
  }
  ~TProgram() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : {stdin_, stdout_, stderr_}) {
      if (fd >= 0) close(fd);
    }
  }

  bool Type(const std::string& line) {
    const std::string s = line + "\n";
    return write(stdin_, s.data(), s.size()) == static_cast<ssize_t>(s.size());
  }
  void CloseStdin() {
    close(stdin_);
    stdin_ = -1;
  }
  void Signal(int sig) { kill(pid_, sig); }
  pid_t Pid() const { return pid_; }

  // Reads the program's output until done() holds or the time is up.
  bool ReadUntil(const std::function<bool()>& done, int timeout_ms = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return false;
      pollfd p[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};
      if (poll(p, 2, static_cast<int>(std::min<long>(left, 50))) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (p[i].revents == 0) continue;
        char block[4096];
        const ssize_t n = read(p[i].fd, block, sizeof block);
        if (n > 0) (i == 0 ? out_ : err_).append(block, static_cast<std::size_t>(n));
      }
    }
    return true;
  }
  bool Shows(const std::string& line) const { return out_.find(line + "\n") != std::string::npos; }
  bool WaitFor(const std::string& line) {
    return ReadUntil([&] { return Shows(line); });
  }
  // Waits for the end of the program; its exit code, or -1.
  int Wait(int timeout_ms = kWaitMs) {
    int status = 0;
    const bool ended = ReadUntil(
        [&] {
          if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
          exited_ = true;
          return true;
        },
        timeout_ms);
    if (!ended || !WIFEXITED(status)) return -1;
    ReadUntil([] { return false; }, 20);  // what was left in the pipes
    return WEXITSTATUS(status);
  }
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
  std::string out_, err_;
};

}  // namespace corvane::test
