#pragma once
// The one seam between the core and the loop that runs the main thread: the Qt event
// loop in the desktop program, TMainLoop in headless mode and in the tests. Everything
// above the socket threads runs on the main thread and needs no lock.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace corvane {

using TTimerId = std::uint64_t;

class TEventLoop {
 public:
  virtual ~TEventLoop() = default;

  // Any thread: queues `fn` to run on the main thread and returns at once.
  virtual void Post(std::function<void()> fn) = 0;
  // True on the thread that runs the loop.
  virtual bool IsMainThread() const = 0;

  // Timers, main thread only. A new timer is stopped. StartTimer (re)arms it: the first
  // firing comes interval_ms from now, then every interval_ms unless it is single-shot,
  // in which case it stops before it fires.
  virtual TTimerId CreateTimer(std::function<void()> on_timeout) = 0;
  virtual void StartTimer(TTimerId id, std::uint32_t interval_ms, bool single_shot) = 0;
  virtual void StopTimer(TTimerId id) = 0;
  virtual bool TimerActive(TTimerId id) const = 0;
  virtual void DestroyTimer(TTimerId id) = 0;

  // The millisecond tick counter; it wraps at 2^32 like the system tick it stands for.
  virtual std::uint32_t TickMs() const = 0;
};

// A timer owned by the core: a handle over the loop's timers that is destroyed with its
// owner. Main thread only.
class TTimer {
 public:
  TTimer(TEventLoop& loop, std::function<void()> on_timeout);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  void Start(std::uint32_t interval_ms);            // repeating
  void StartSingleShot(std::uint32_t interval_ms);  // fires once
  void Stop();
  bool Active() const;
  std::uint32_t Interval() const { return interval_; }

 private:
  TEventLoop& loop_;
  TTimerId id_;
  std::uint32_t interval_ = 0;
};

// A synchronous hand-off from a worker thread to the main thread: Call runs a function on
// the main thread and returns only when it has run. Cancel (main thread) releases a
// worker that waits and refuses every later call, so that an owner can join its worker
// without waiting for a hand-off the main thread will never run.
class TSyncCall {
 public:
  explicit TSyncCall(TEventLoop& loop);
  ~TSyncCall();
  TSyncCall(const TSyncCall&) = delete;
  TSyncCall& operator=(const TSyncCall&) = delete;

  // True when `fn` has run; false when the hand-off was cancelled (fn then has not run,
  // or has not finished yet and will finish on the main thread).
  bool Call(std::function<void()> fn);
  void Cancel();
  bool Cancelled() const;

 private:
  struct State {
    mutable std::mutex mutex;
    std::condition_variable done_cv;
    bool cancelled = false;
    std::uint64_t issued = 0;
    std::uint64_t finished = 0;
  };
  TEventLoop& loop_;
  std::shared_ptr<State> state_;
};

}  // namespace corvane
