#include "ui/run_window.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <optional>

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
  return false;
}

}  // namespace

int RunWindow(const THomePaths& paths) {
  // Without a display the toolkit would abort with a message of its own.
  if (!HasDisplay()) {
    std::fputs("corvane: no display for the window; run corvane --headless\n", stderr);
    return kExitFailed;
  }
  std::string home;
  std::string refusal;
  const std::optional<THomeLock> lock = THomeLock::EnterForBot(paths.home, home, refusal);
  if (!lock) {
    std::fprintf(stderr, "corvane: %s\n", refusal.c_str());
    return kExitFailed;
  }
  // SIGINT and SIGTERM close the window as Exit does; blocked before any thread starts so
  // that they wait for the descriptor the window's loop watches.
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
    TMainWnd wnd(loop, home, paths.shared);
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
    wnd.show();
    code = app.exec();
    if (!wnd.Core().Close() && code == 0) code = kExitFailed;
  }
  if (signal_fd >= 0) close(signal_fd);
  SocketCleanup();
  return code;
}

}  // namespace corvane
