#pragma once
// Our own main loop: runs the core in headless mode and in the tests. Its clock is either
// the system's monotonic clock or a manual one that tests move forward by hand, so that
// a 20-minute timer is checked without waiting 20 minutes.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "net/event_loop.h"

namespace corvane {

class TMainLoop final : public TEventLoop {
 public:
  enum class TClock { Steady, Manual };

  // The manual clock starts at `manual_start_ms` (tests of the wrapping tick start it
  // just below 2^32). The loop's main thread is the thread that creates it.
  explicit TMainLoop(TClock clock = TClock::Steady, std::uint64_t manual_start_ms = 0);
  ~TMainLoop() override;
  TMainLoop(const TMainLoop&) = delete;
  TMainLoop& operator=(const TMainLoop&) = delete;

  void Post(std::function<void()> fn) override;
  bool IsMainThread() const override;
  TTimerId CreateTimer(std::function<void()> on_timeout) override;
  void StartTimer(TTimerId id, std::uint32_t interval_ms, bool single_shot) override;
  void StopTimer(TTimerId id) override;
  bool TimerActive(TTimerId id) const override;
  void DestroyTimer(TTimerId id) override;
  std::uint32_t TickMs() const override;

  // Calls on_ready on the loop's thread whenever fd is readable, hung up or in error (the
  // console front end's stdin and signals). One watch per descriptor; a later call
  // replaces it. The callback may unwatch any descriptor, its own included.
  void WatchFd(int fd, std::function<void()> on_ready);
  void UnwatchFd(int fd);

  // Milliseconds of the loop's clock, unwrapped.
  std::uint64_t NowMs() const;

  // Runs until Quit (which any thread may call); returns the code given to Quit.
  int Run();
  void Quit(int code = 0);
  // Waits at most wait_ms (-1: until something arrives) for a posted call or a due timer,
  // then runs every posted call and every due timer.
  void ProcessEvents(int wait_ms);
  // Processes events until done() holds or timeout_ms of real time have passed.
  bool RunUntil(const std::function<bool()>& done, int timeout_ms);
  // Manual clock only: moves the clock forward by ms, firing every timer that falls due on
  // the way at its own due time, in order.
  void Advance(std::uint64_t ms);

 private:
  struct Timer {
    std::shared_ptr<std::function<void()>> fn;
    std::uint32_t interval = 0;
    bool single_shot = false;
    bool active = false;
    std::uint64_t due = 0;
  };

  void RunPosted();
  void FireDueTimers(std::uint64_t now);
  void Fire(TTimerId id, std::uint64_t now);
  bool NextDue(std::uint64_t& due, TTimerId& id) const;

  const TClock clock_;
  std::uint64_t manual_now_;
  const std::thread::id main_thread_;
  int wake_fd_ = -1;

  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;

  std::map<int, std::shared_ptr<std::function<void()>>> watches_;
  std::map<TTimerId, Timer> timers_;
  TTimerId next_timer_id_ = 1;

  std::atomic<bool> quit_{false};
  std::atomic<int> quit_code_{0};
};

}  // namespace corvane
