#include "headless/headless.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "app/local_bot.h"
#include "config/Operations.h"
#include "config/codepage.h"
#include "config/home_lock.h"
#include "config/profiles.h"
#include "headless/cli.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"

namespace corvane {
namespace {

class TConsoleFrontEnd final : public TFrontEnd {
 public:
  TConsoleFrontEnd(TMainLoop& loop, bool colour) : loop_(loop), colour_(colour) {}
  void SetBot(TLocalBot* bot) {
    bot_ = bot;
    core_ = &bot->Core();
  }

  void ShowLine(const TPaneLine& line) override {
    std::string out = line.pane == TPane::Whisper ? "[whisper] " : "";
    for (const TTextRun& run : line.runs) {
      if (colour_) {
        char esc[32];
        std::snprintf(esc, sizeof esc, "\x1b[38;2;%u;%u;%um", (run.color >> 16) & 0xFF,
                      (run.color >> 8) & 0xFF, run.color & 0xFF);
        out += esc;
      }
      // Text of the code page, sent by servers and members: shown as UTF-8, and no line
      // break or escape sequence of theirs acts here.
      out += DisplayText(run.text);
    }
    if (colour_) out += "\x1b[0m";
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }

  // The Kill key, the quit command: close as the window does, then end the loop.
  void RequestClose() override {
    loop_.Post([this] { Close(); });
  }

  void ProfileRefused(const TProfileMessage& refusal) override {
    if (core_ == nullptr) return;
    ShowLine({TPane::Chat,
              {{"[BOT] " + refusal.Text(core_->Language()) +
                    " (corvane profile create NAME, then corvane profile use NAME)",
                kRed}}});
  }

  // Shown on stdout already; stderr is where a service's failures are looked for.
  void ReportFailure(const std::string& text) override {
    const std::string line = "corvane: " + DisplayText(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }

  void ClanInvitation(const std::string&, const std::string&, std::uint32_t,
                      const std::string& text) override {
    // A console cannot answer: the invitation is shown and lapses unanswered.
    ShowLine({TPane::Chat, {{"[CLAN] " + text, kYellow}}});
  }

  void Close() {
    if (bot_ != nullptr) bot_->Close();
    loop_.Quit(0);
  }
  void RestartPlugins() {
    if (core_ != nullptr) core_->RestartPlugins();
  }

 private:
  TMainLoop& loop_;
  TLocalBot* bot_ = nullptr;
  TBotCore* core_ = nullptr;
  const bool colour_;
};

// Lines typed on stdin go to the input line; the end of stdin leaves the bot running.
class TStdinReader {
 public:
  TStdinReader(TMainLoop& loop, TBotCore& core) : loop_(loop), core_(core) {
    const int flags = fcntl(STDIN_FILENO, F_GETFL);
    if (flags < 0) return;  // no stdin at all
    fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
    loop_.WatchFd(STDIN_FILENO, [this] { Read(); });
  }
  ~TStdinReader() { loop_.UnwatchFd(STDIN_FILENO); }

 private:
  // A line longer than this is cut: a stream without line breaks must not grow memory.
  static constexpr std::size_t kMaxLine = 64 * 1024;

  void Read() {
    char block[4096];
    const ssize_t n = read(STDIN_FILENO, block, sizeof block);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      loop_.UnwatchFd(STDIN_FILENO);
      if (!pending_.empty()) Type(std::exchange(pending_, {}));
      return;
    }
    pending_.append(block, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t nl; (nl = pending_.find('\n', start)) != std::string::npos; start = nl + 1) {
      Type(pending_.substr(start, nl - start));
    }
    pending_.erase(0, start);
    if (pending_.size() > kMaxLine) Type(std::exchange(pending_, {}));
  }

  void Type(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLine) line.resize(kMaxLine);
    // The terminal speaks UTF-8; the bot keeps its text in the code page.
    if (!core_.Closed()) core_.TypeLine("", ProcessCodePage().FromUtf8(line));
  }

  TMainLoop& loop_;
  TBotCore& core_;
  std::string pending_;
};

// SIGINT and SIGTERM close the bot; SIGHUP restarts the plug-in system (and a closed
// terminal does not end the bot). Taken through a descriptor so that they are handled on the loop's
// thread.
class TSignalWatch {
 public:
  TSignalWatch(TMainLoop& loop, TConsoleFrontEnd& front) : loop_(loop) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) return;
    loop_.WatchFd(fd_, [this, &front] {
      signalfd_siginfo info{};
      while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGINT || info.ssi_signo == SIGTERM) front.Close();
        if (info.ssi_signo == SIGHUP) front.RestartPlugins();
      }
    });
  }
  ~TSignalWatch() {
    if (fd_ < 0) return;
    loop_.UnwatchFd(fd_);
    close(fd_);
  }

 private:
  TMainLoop& loop_;
  int fd_ = -1;
};

}  // namespace

int RunHeadless(const THomePaths& paths) {
  std::string home;
  std::string refusal;
  // Before the signals are blocked: Ctrl-C still ends a wait for a command-line writer.
  const std::optional<THomeLock> lock = THomeLock::EnterForBot(paths.home, home, refusal);
  if (!lock) {
    std::fprintf(stderr, "corvane: %s\n", refusal.c_str());
    return kExitFailed;
  }

  // Blocked before any thread starts, so that every thread inherits the mask and the
  // signals wait for the descriptor.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  SocketStartup();
  int code = 0;
  {
    TMainLoop loop;
    TConsoleFrontEnd front(loop, isatty(STDOUT_FILENO) == 1);
    TLocalBot bot(loop, home, front, paths.shared);
    TBotCore& core = bot.Core();
    front.SetBot(&bot);
    std::string error;
    // The bot runs on without it; only attaching to it is lost.
    if (!bot.Listen(error)) std::fprintf(stderr, "corvane: %s\n", error.c_str());
    TSignalWatch signals(loop, front);
    core.Start();
    TStdinReader input(loop, core);
    code = loop.Run();
    // What could not be saved is lost: a service manager must see it.
    if (!bot.Close() && code == 0) code = kExitFailed;
  }
  SocketCleanup();
  return code;
}

}  // namespace corvane
