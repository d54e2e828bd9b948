// The desktop window's figures against the local fake servers. Prints them.
//   window_bench start [runs]      start to the window's first paint, in a fresh process each
//                                  run; then the real program from exec to its window mapped
//   window_bench flood [lines]     a flood of chat lines: lines a second, the event loop's
//                                  worst lateness, a key's round trip, resident memory
//   window_bench members [ops]     leaves and joins in a channel of 1,000
//   window_bench settings [runs]   the settings dialog opened on 10,000 users, 1,000 commands
//   window_bench idle [seconds]    the real program logged on and idle: processor, memory
//   window_bench attach [runs]     the window attached to a headless bot with 1,000 members
//                                  and 20,000 lines of scrollback, to its first paint
//   window_bench                   all of them, idle for 60 s
// In-process runs are offscreen unless DISPLAY is set; the real program runs under X, on
// an Xvfb of its own when DISPLAY is not set.

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/bot_channel.h"
#include "app/local_bot.h"
#include "app/remote_bot.h"
#include "bnet/sid.h"
#include "control_rig.h"
#include "net/NetObjs.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"
#include "support/program.h"
#include "support/session_feed.h"
#include "support/test_home.h"
#include "ui/main_wnd.h"
#include "ui/pane_view.h"
#include "ui/qt_event_loop.h"
#include "ui/settings_dlg.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using Clock = std::chrono::steady_clock;

// The bot the window runs in this process.
TBotCore& Core(TMainWnd& wnd) {
  return dynamic_cast<TLocalBot&>(wnd.Link()).Core();
}

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

long ResidentKb(const std::string& pid = "self") {
  std::ifstream in("/proc/" + pid + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

long long SchedNs(const fs::path& task) {
  std::ifstream in(task / "schedstat");
  long long ns = 0;
  return in >> ns ? ns : 0;
}

// Nanoseconds on a processor of all the threads of a process (finer than clock ticks).
long long CpuNs(pid_t pid) {
  long long total = 0;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    total += SchedNs(task.path());
  }
  return total;
}

// This process's main thread, which runs the window.
long long MainThreadNs() {
  return SchedNs("/proc/self/task/" + std::to_string(getpid()));
}

// Sleeps while nothing happens (processEvents with a time limit would spin instead).
bool RunUntil(const std::function<bool()>& done, int timeout_ms) {
  QTimer wake;  // the wait ends at least this often
  wake.start(10);
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeout_ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return done();
}

fs::path Home(const char* what) {
  return fs::temp_directory_path() /
         ("corvane-wbench-" + std::string(what) + "-" + std::to_string(getpid()));
}

// The X display the real program runs on: DISPLAY, or an Xvfb of our own, ended with us.
class TXDisplay {
 public:
  bool Ensure() {
    if (!display_.empty()) return true;
    if (const char* d = std::getenv("DISPLAY"); d != nullptr && *d != '\0') {
      display_ = d;
      return true;
    }
    try {
      xvfb_.emplace("/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0",
                                                              "1280x1024x24", "-nolisten", "tcp"});
    } catch (const std::exception&) {
      return false;
    }
    if (!xvfb_->ReadUntil([&] { return xvfb_->Out().find('\n') != std::string::npos; }, 10000)) {
      return false;
    }
    display_ = ":" + xvfb_->Out().substr(0, xvfb_->Out().find('\n'));
    return true;
  }
  // For the programs started next: this display, the platform Qt picks for it.
  void Export() const {
    setenv("DISPLAY", display_.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
  }
  pid_t XvfbPid() const { return xvfb_ ? xvfb_->Pid() : -1; }

 private:
  std::string display_;
  std::optional<test::TProgram> xvfb_;
};

// ---- Start ----

class TPaintWatch final : public QObject {
 public:
  explicit TPaintWatch(const QWidget& wnd) : wnd_(wnd) {}
  bool painted = false;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && o->isWidgetType() &&
        static_cast<QWidget*>(o)->window() == &wnd_) {
      painted = true;
    }
    return false;
  }

 private:
  const QWidget& wnd_;
};

// One start, in this process, as the program starts its window; prints the milliseconds
// from before the application object to it, to the window made, started and painted.
int StartOnce(const std::string& home) {
  const auto begun = Clock::now();
  SocketStartup();
  int argc = 1;
  char name[] = "corvane";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  const double app_ms = MsSince(begun);
  TQtEventLoop loop;
  double made_ms = 0, started_ms = 0, painted_ms = 0;
  {
    TMainWnd wnd(loop, home, CORVANE_SHARED_DIR);
    made_ms = MsSince(begun);
    wnd.Start();
    started_ms = MsSince(begun);
    TPaintWatch watch(wnd);
    app.installEventFilter(&watch);
    wnd.show();
    // The whole first paint pass and its flush run within the call that saw the first paint.
    if (!RunUntil([&] { return watch.painted; }, 10000)) return 1;
    painted_ms = MsSince(begun);
    app.removeEventFilter(&watch);
  }
  std::printf("%.2f %.2f %.2f %.2f\n", app_ms, made_ms, started_ms, painted_ms);
  std::fflush(stdout);
  SocketCleanup();
  return 0;
}

void Start(int runs, TXDisplay& x) {
  const fs::path home = Home("start");
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  if (!test::WriteTestHome(home, "bench", chat, bnls, "Bencher", false)) return;
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::vector<double> phase[4], exec_ms;
  for (int i = 0; i < runs; ++i) {
    const auto spawned = Clock::now();
    test::TProgram child(self, {"start-once", home.string()});
    if (!child.ReadUntil([&] { return child.Out().find('\n') != std::string::npos; }, 10000)) {
      std::fprintf(stderr, "start-once failed: %s\n", child.Err().c_str());
      return;
    }
    exec_ms.push_back(MsSince(spawned));
    std::istringstream in(child.Out());
    for (auto& p : phase) {
      double ms = 0;
      in >> ms;
      p.push_back(ms);
    }
    child.Wait();
  }
  std::printf(
      "start to first paint (%s), median of %d: %.1f ms from exec, %.1f ms in process "
      "(application %.1f, window made %.1f, started %.1f)\n",
      qEnvironmentVariable("QT_QPA_PLATFORM", "xcb").toUtf8().constData(), runs, Median(exec_ms),
      Median(phase[3]), Median(phase[0]), Median(phase[1]), Median(phase[2]));

  if (!x.Ensure() || !fs::exists("/usr/bin/xev")) {
    std::printf("the real program under X: skipped (no Xvfb or xev)\n");
  } else {
    x.Export();
    // xev reports each top-level window the moment the server maps it.
    test::TProgram xev("/usr/bin/xev", {"-root", "-event", "substructure"});
    xev.ReadUntil([] { return false; }, 300);  // connected and listening
    std::vector<double> mapped;
    std::string each;
    for (int i = 0; i < runs; ++i) {
      const std::size_t seen = xev.Out().size();
      const auto spawned = Clock::now();
      test::TProgram bot(CORVANE_BIN, {"--home", home.string()});
      xev.ReadUntil([&] { return xev.Out().find("MapNotify", seen) != std::string::npos; }, 10000);
      mapped.push_back(MsSince(spawned));
      each += " " + std::to_string(static_cast<int>(mapped.back()));
      bot.Signal(SIGTERM);
      bot.Wait();
    }
    std::printf(
        "the real program under X, exec to its window mapped, median of %d: %.1f ms "
        "(each:%s)\n",
        runs, Median(mapped), each.c_str());
  }
  fs::remove_all(home);
}

// ---- In process: the flood and the big channel ----

struct TWindowRig {
  explicit TWindowRig(const char* what, const std::vector<sim::TSimChannelMember>& members)
      : home(Home(what)) {
    ok = test::WriteTestHome(home, "bench", chat, bnls, "Bencher", true);
    chat.SetChannelMembers(members);
    wnd.emplace(loop, home.string(), CORVANE_SHARED_DIR);
    wnd->Start();
    wnd->show();
    const int rows = static_cast<int>(members.size()) + 1;  // and the bot itself
    ok = ok && RunUntil([&] { return wnd->MemberList().model()->rowCount() == rows; }, 15000);
    RunUntil([] { return false; }, 500);  // the friends and clan answers settle
  }
  ~TWindowRig() {
    wnd.reset();
    fs::remove_all(home);
  }
  fs::path home;
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  TQtEventLoop loop;
  std::optional<TMainWnd> wnd;
  bool ok = false;
};

void Flood(int lines) {
  TWindowRig rig("flood", {{"Bob", 0, 60}});
  if (!rig.ok) {
    std::fprintf(stderr, "flood: the bot did not log on\n");
    return;
  }
  const QTextDocument& doc = *rig.wnd->ChatPane().document();
  const long rss_before = ResidentKb();
  std::vector<std::pair<int, long>> rss_at;  // lines shown, resident KB
  int shown = -1;
  double worst_late_ms = 0, worst_key_ms = 0;
  Clock::time_point last_tick = Clock::now(), key_posted{};
  bool key_pending = false;

  // Every 10 ms: how late the timer is, and the newest line the pane shows.
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    worst_late_ms = std::max(worst_late_ms, MsSince(last_tick) - 10);
    last_tick = Clock::now();
    const QString last = doc.lastBlock().text();
    if (last.startsWith("Bob: line ")) shown = last.section(' ', 2, 2).toInt();
    for (const int mark : {20'000, 40'000, 60'000, 80'000, lines}) {
      if (shown + 1 >= mark && (rss_at.empty() || rss_at.back().first < mark)) {
        rss_at.emplace_back(mark, ResidentKb());
      }
    }
  });
  // Every 25 ms a key for the input line, queued behind whatever waits: until it is typed.
  QLineEdit& edit = *rig.wnd->InputLine().lineEdit();
  QTimer key;
  QObject::connect(&key, &QTimer::timeout, [&] {
    if (key_pending) return;
    key_pending = true;
    key_posted = Clock::now();
    QCoreApplication::postEvent(&edit,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
  });
  QObject::connect(&edit, &QLineEdit::textChanged, [&](const QString& text) {
    if (!key_pending || text.isEmpty()) return;
    worst_key_ms = std::max(worst_key_ms, MsSince(key_posted));
    key_pending = false;
    edit.clear();
  });

  const auto begun = Clock::now();
  const long long main_ns = MainThreadNs();
  std::thread sender([&] {
    std::string chunk;
    for (int i = 0; i < lines; ++i) {
      chunk += test::ChatEventFrame(
          EID_TALK, "Bob", "line " + std::to_string(i) + " of the flood, a line of usual length");
      if (chunk.size() >= 64 * 1024 || i == lines - 1) {
        rig.chat.SendRaw(chunk);
        chunk.clear();
      }
    }
  });
  tick.start(10);
  key.start(25);
  const bool done = RunUntil([&] { return shown == lines - 1; }, 180'000);
  const double flood_ms = MsSince(begun);
  const double main_ms = static_cast<double>(MainThreadNs() - main_ns) / 1e6;
  sender.join();
  tick.stop();
  key.stop();
  if (!done) {
    std::fprintf(stderr, "flood: only %d lines shown\n", shown + 1);
    return;
  }
  std::printf(
      "flood of %d lines (%s): %.0f lines/s (%.0f ms), the pane keeps %d; worst timer "
      "lateness %.1f ms, worst key round trip %.1f ms\n",
      lines, QGuiApplication::platformName().toUtf8().constData(), lines / (flood_ms / 1000),
      flood_ms, doc.blockCount(), worst_late_ms, worst_key_ms);
  std::printf("  the window's thread was busy %.0f ms of them: %.0f lines a second of its time\n",
              main_ms, lines / (main_ms / 1000));
  std::printf("  resident: %ld KB before", rss_before);
  for (const auto& [mark, kb] : rss_at) std::printf(", %ld KB at %d lines", kb, mark);
  std::printf("\n");
}

void Members(int ops) {
  std::vector<sim::TSimChannelMember> members;
  for (int i = 0; i < 1000; ++i) {
    members.push_back({"Member" + std::to_string(i), i % 50 == 0 ? 2u : 0u,
                       static_cast<std::uint32_t>(i), "PX3W 1R3W " + std::to_string(i % 40)});
  }
  TWindowRig rig("members", members);
  if (!rig.ok) {
    std::fprintf(stderr, "members: the bot did not log on with 1,000 in its channel\n");
    return;
  }
  // Fed to the session on this thread as the connection's reads are, then the repaint.
  TBNET& bnet = Core(*rig.wnd).Bnet();
  const auto event = [](int i) {  // a member leaves, then comes back at the end
    const std::string name = "Member" + std::to_string((i / 2 * 37 + 1) % 1000);
    return i % 2 == 0 ? test::ChatEventFrame(EID_LEAVE, name, "")
                      : test::ChatEventFrame(EID_JOIN, name, "PX3W 1R3W 5");
  };
  std::vector<double> core_us, all_us;
  for (int i = 0; i < ops; ++i) {
    const std::string frame = event(i);
    const auto t = Clock::now();
    test::Feed(bnet, frame);
    core_us.push_back(MsSince(t) * 1000);
    QCoreApplication::processEvents();
    all_us.push_back(MsSince(t) * 1000);
  }
  // The same in one read, as a channel's joins come at its start: one repaint for them all.
  std::string burst;
  for (int i = 0; i < ops; ++i) burst += event(i);
  const auto t = Clock::now();
  test::Feed(bnet, burst);
  QCoreApplication::processEvents();
  const double burst_us = MsSince(t) * 1000 / ops;
  const auto stats = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    char s[96];
    std::snprintf(s, sizeof s, "median %.0f us, 99th %.0f us, worst %.0f us", v[v.size() / 2],
                  v[v.size() * 99 / 100], v.back());
    return std::string(s);
  };
  std::printf("%d leaves and joins in a channel of 1,000 (%d rows at the end):\n", ops,
              rig.wnd->MemberList().model()->rowCount());
  std::printf("  session to list model: %s\n", stats(core_us).c_str());
  std::printf("  with the repaint:      %s\n", stats(all_us).c_str());
  std::printf("  all %d in one read, repainted once: %.1f us each\n", ops, burst_us);
}

// ---- The settings dialog on a big profile ----

// Opening the dialog (its texts, controls, lists and profile lists, then shown and painted)
// on a profile of 10,000 users and 1,000 custom commands.
void Settings(int runs) {
  const fs::path home = Home("settings");
  fs::create_directories(home / "profiles/big");
  TSettings settings;
  settings.Load("");
  settings.Save((home / "profiles/big/profile.ini").string());
  TIniFile(home / "profiles.ini").WriteString("Profiles", "CurrentProfile", "big");
  {
    TQtEventLoop loop;
    TMainWnd wnd(loop, home.string(), "");
    wnd.Start();
    TBotCommandControl& db = Core(wnd).Database();
    for (int i = 0; i < 10'000; ++i) db.SetUser("User" + std::to_string(i), i % 100, "S");
    for (int i = 0; i < 1000; ++i) {
      db.AddCustomCommand("cmd" + std::to_string(i), "reply %user " + std::to_string(i), false,
                          true, i % 100, "");
    }
    TSettingsDlg& dlg = wnd.SettingsDialog();
    // Until painted after `act`, in milliseconds.
    const auto painted_after = [&dlg](const std::function<void()>& act) {
      TPaintWatch watch(dlg);
      qApp->installEventFilter(&watch);
      const auto t = Clock::now();
      act();
      RunUntil([&] { return watch.painted; }, 5000);
      qApp->removeEventFilter(&watch);
      return MsSince(t);
    };
    std::vector<double> open, users, commands;
    for (int run = 0; run < runs; ++run) {
      open.push_back(painted_after([&] {
        dlg.Prepare();
        dlg.show();
      }));
      users.push_back(painted_after([&] { dlg.PageList().setCurrentRow(TSettingsDlg::kUsers); }));
      commands.push_back(
          painted_after([&] { dlg.PageList().setCurrentRow(TSettingsDlg::kCommands); }));
      dlg.hide();
      QCoreApplication::processEvents();
    }
    std::printf("settings dialog on %zu users and %zu commands, median of %d (first run):\n",
                db.Users().size(), db.Commands().size(), runs);
    std::printf(
        "  opened and painted: %.1f ms (%.1f); then the user list shown: %.1f ms (%.1f); "
        "the command list: %.1f ms (%.1f)\n",
        Median(open), open.front(), Median(users), users.front(), Median(commands),
        commands.front());
  }
  fs::remove_all(home);
}

// ---- The real program, idle under X ----

void Idle(int seconds, TXDisplay& x) {
  if (!x.Ensure()) {
    std::printf("idle: skipped (no X display and no Xvfb)\n");
    return;
  }
  x.Export();
  const fs::path home = Home("idle");
  test::TFakeBnlsServer bnls;
  test::TFakeChatServer chat;
  chat.SetChannelMembers({{"Boss", 2, 30}, {"Bob", 0, 60}, {"Carol", 0, 90}});
  if (!test::WriteTestHome(home, "bench", chat, bnls, "Bencher", true)) return;
  {
    test::TProgram bot(CORVANE_BIN, {"--home", home.string()});
    if (!bot.ReadUntil([&] { return chat.LoggedOn() && !chat.Channel().empty(); }, 15000)) {
      std::fprintf(stderr, "idle: the window did not log on\n%s", bot.Err().c_str());
      return;
    }
    bot.ReadUntil([] { return false; }, 1500);  // the friends and clan answers settle
    const long long ns = CpuNs(bot.Pid());
    const long long x_ns = x.XvfbPid() > 0 ? CpuNs(x.XvfbPid()) : 0;
    const auto idle_start = Clock::now();
    bot.ReadUntil([] { return false; }, seconds * 1000);
    const double wall_s = MsSince(idle_start) / 1000;
    const double cpu_s = static_cast<double>(CpuNs(bot.Pid()) - ns) / 1e9;
    std::printf(
        "the window logged on and idle for %.0f s under X: %.4f %% of one core "
        "(%.2f ms), %ld KB resident",
        wall_s, 100 * cpu_s / wall_s, cpu_s * 1000, ResidentKb(std::to_string(bot.Pid())));
    if (x.XvfbPid() > 0) {
      std::printf("; Xvfb meanwhile %.2f ms", static_cast<double>(CpuNs(x.XvfbPid()) - x_ns) / 1e6);
    }
    std::printf("\n");
    bot.Signal(SIGTERM);
    bot.Wait();
  }
  fs::remove_all(home);
}

// The window attached to a running headless bot: from opening the socket to the window
// painted with every line of the scrollback and every member.
void Attach(int runs) {
  constexpr int kMembers = 1000;
  constexpr int kLines = 20000;
  bench::TControlRig rig(kMembers, kLines);
  if (!rig.Ready()) return;
  TQtEventLoop loop;
  std::vector<double> ms;
  int blocks = 0;
  int rows = 0;
  for (int run = 0; run < runs; ++run) {
    const auto begun = Clock::now();
    std::string error;
    std::optional<TBotChannel> channel = TBotChannel::Open({"", rig.Home().string()}, error);
    if (!channel) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return;
    }
    TMainWnd wnd(
        [&](TFrontEnd& front) {
          return std::make_unique<TRemoteBot>(loop, front, std::move(*channel), CORVANE_SHARED_DIR);
        },
        CORVANE_SHARED_DIR);
    wnd.Start();  // returns once the greeting is in the panes and the list
    TPaintWatch watch(wnd);
    qApp->installEventFilter(&watch);
    wnd.show();
    if (!RunUntil([&] { return watch.painted; }, 10000)) return;
    ms.push_back(MsSince(begun));
    qApp->removeEventFilter(&watch);
    blocks = wnd.ChatPane().document()->blockCount();
    rows = wnd.MemberList().model()->rowCount();
    wnd.Link().Close();
    rig.Drain(200);
  }
  std::sort(ms.begin(), ms.end());
  std::printf(
      "attach to a bot with %d members and %d lines (%d lines in the chat pane, %d rows "
      "in the list): median %.1f ms, worst %.1f ms over %d runs\n",
      kMembers, kLines, blocks, rows, ms[ms.size() / 2], ms.back(), runs);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "all";
  const auto count = [&](int fallback) {
    return argc > 2 ? std::max(1, std::atoi(argv[2])) : fallback;
  };
  if (mode == "start-once" && argc > 2) return StartOnce(argv[2]);
  const bool all = mode == "all";
  if (!all && mode != "start" && mode != "flood" && mode != "members" && mode != "settings" &&
      mode != "idle" && mode != "attach") {
    std::fprintf(stderr,
                 "usage: window_bench [start [runs] | flood [lines] | members [ops] | "
                 "settings [runs] | idle [seconds] | attach [runs]]\n");
    return 2;
  }
  // What runs in this process and its start-once children: offscreen without a display.
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    unsetenv("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  TXDisplay x;
  if (all || mode == "flood" || mode == "members" || mode == "settings" || mode == "attach") {
    int qargc = 1;
    char name[] = "window_bench";
    char* qargv[] = {name, nullptr};
    QApplication app(qargc, qargv);
    SocketStartup();
    if (all || mode == "flood") Flood(all ? 100'000 : count(100'000));
    if (all || mode == "members") Members(all ? 2000 : count(2000));
    if (all || mode == "settings") Settings(all ? 5 : count(5));
    if (all || mode == "attach") Attach(all ? 5 : count(5));
    SocketCleanup();
  }
  // Last: the real program's runs point the environment at X.
  if (all || mode == "start") Start(all ? 7 : count(7), x);
  if (all || mode == "idle") Idle(all ? 60 : count(60), x);
  return 0;
}
