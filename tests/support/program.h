#pragma once
// Runs a program (the bot, the demo server, a shell) for the tests and the benchmarks, with
// pipes on its stdin, stdout and stderr, and reads its output with bounded waits. The output
// is read on the caller's thread, inside ReadUntil and Wait. Every pipe end this side keeps
// is close-on-exec, so a program started later never holds another one's pipe open.

#include <signal.h>  // for the callers of Signal
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace corvane::test {

inline constexpr int kWaitMs = 8000;

class TProgram {
 public:
  // Starts `path` with `args` (its argv[0] is `path`), no signal blocked or ignored. Throws
  // std::runtime_error when it cannot.
  TProgram(const std::string& path, const std::vector<std::string>& args);
  ~TProgram();  // kills the program if it still runs
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  pid_t Pid() const { return pid_; }
  bool Type(const std::string& line);  // the line and a newline on its stdin
  void CloseStdin();
  void Signal(int sig) {  // nothing once the program has been waited for
    if (pid_ > 0 && !exited_) kill(pid_, sig);
  }

  // Reads the program's output until done() holds or the time is up.
  bool ReadUntil(const std::function<bool()>& done, int timeout_ms = kWaitMs);
  bool Shows(const std::string& line) const {  // a line of stdout ends with `line`
    return out_.find(line + "\n") != std::string::npos;
  }
  bool WaitFor(const std::string& line) {  // reads until it Shows(line)
    return ReadUntil([&] { return Shows(line); });
  }
  // Waits for the end of the program and reads what it left in the pipes: its exit code,
  // or -1 when it still runs after timeout_ms or a signal ended it.
  int Wait(int timeout_ms = kWaitMs);
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  int fd_[3] = {-1, -1, -1};  // its stdin, stdout and stderr; -1 once closed or at its end
  std::string out_;
  std::string err_;
};

}  // namespace corvane::test
