#include "ui/run_window.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/local_bot.h"
#include "app/remote_bot.h"
#include "config/home_lock.h"
#include "net/NetObjs.h"
#include "ui/main_wnd.h"
#include "ui/qt_event_loop.h"

namespace corvane {
namespace {

constexpr int kExitFailed = 1;

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  // Without a display the toolkit would abort with a message of its own.
  std::fputs("corvane: no display for the window; run corvane --headless\n", stderr);
  return false;
}

// The window on the link `make_link` gives, until it closes; `ready` runs once the bot has
// started (false: end at once). SIGINT and SIGTERM close the window as Exit does; they are
// blocked before any thread starts so that they wait for the descriptor the loop watches.
int Run(const std::string& shared,
        const std::function<std::unique_ptr<TBotLink>(TEventLoop&, TFrontEnd&)>& make_link,
        const std::function<bool(TBotLink&)>& ready = {}, const std::string& attached_to = {}) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  const int signal_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);

  SocketStartup();
  int code = 0;
  {
    int argc = 1;
    char name[] = "corvane";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the window may be hidden in the tray
    TQtEventLoop loop;
    TMainWnd wnd([&](TFrontEnd& front) { return make_link(loop, front); }, shared);
    // A window on a bot elsewhere says whose it is: one may have several open.
    if (!attached_to.empty()) {
      wnd.setWindowTitle(wnd.windowTitle() + " - " + QString::fromStdString(attached_to));
    }
    std::optional<QSocketNotifier> notifier;
    if (signal_fd >= 0) {
      notifier.emplace(signal_fd, QSocketNotifier::Read);
      QObject::connect(&*notifier, &QSocketNotifier::activated, &wnd, [&] {
        signalfd_siginfo info{};
        while (read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        wnd.close();
      });
    }
    wnd.OnClosed([] { QCoreApplication::quit(); });
    wnd.Start();
    if (ready && !ready(wnd.Link())) {
      code = kExitFailed;
    } else {
      wnd.show();
      code = app.exec();
    }
    if (!wnd.Link().Close() && code == 0) code = kExitFailed;
  }
  if (signal_fd >= 0) close(signal_fd);
  SocketCleanup();
  return code;
}

}  // namespace

int RunWindow(const THomePaths& paths) {
  if (!HasDisplay()) return kExitFailed;
  std::string home;
  std::string refusal;
  const std::optional<THomeLock> lock = THomeLock::EnterForBot(paths.home, home, refusal);
  if (!lock) {
    std::fprintf(stderr, "corvane: %s\n", refusal.c_str());
    return kExitFailed;
  }
  return Run(paths.shared, [&](TEventLoop& loop, TFrontEnd& front) {
    auto bot = std::make_unique<TLocalBot>(loop, home, front, paths.shared);
    std::string error;
    // The bot runs on without it; only attaching is lost.
    if (!bot->Listen(error)) std::fprintf(stderr, "corvane: %s\n", error.c_str());
    return bot;
  });
}

int RunAttachedWindow(const TAttachTarget& target, const std::string& shared) {
  if (!HasDisplay()) return kExitFailed;
  std::string error;
  std::optional<TBotChannel> channel = TBotChannel::Open(target, error);
  if (!channel) {
    std::fprintf(stderr, "corvane: %s\n", error.c_str());
    return kExitFailed;
  }
  return Run(
      shared,
      [&](TEventLoop& loop, TFrontEnd& front) {
        return std::make_unique<TRemoteBot>(loop, front, std::move(*channel), shared);
      },
      [](TBotLink& link) {
        // Nobody answered (no bot on the host, or ssh failed): say so rather than show an
        // empty window.
        if (static_cast<TRemoteBot&>(link).Attached()) return true;
        std::fputs("corvane: there is no bot to attach to there\n", stderr);
        return false;
      },
      channel->Describe());
}

}  // namespace corvane
