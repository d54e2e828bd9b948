#include "net/main_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <utility>
#include <vector>

namespace corvane {
namespace {

std::uint64_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void DrainEventFd(int fd) {
  std::uint64_t value;
  while (read(fd, &value, sizeof value) > 0) {
  }
}

}  // namespace

TMainLoop::TMainLoop(TClock clock, std::uint64_t manual_start_ms)
    : clock_(clock), manual_now_(manual_start_ms), main_thread_(std::this_thread::get_id()) {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) throw std::runtime_error("eventfd");
}

TMainLoop::~TMainLoop() {
  if (wake_fd_ >= 0) close(wake_fd_);
}

void TMainLoop::Post(std::function<void()> fn) {
  {
    std::lock_guard lock(posted_mutex_);
    posted_.push_back(std::move(fn));
  }
  std::uint64_t one = 1;
  // A full counter (it never gets there) would still leave the descriptor readable.
  [[maybe_unused]] auto n = write(wake_fd_, &one, sizeof one);
}

bool TMainLoop::IsMainThread() const {
  return std::this_thread::get_id() == main_thread_;
}

TTimerId TMainLoop::CreateTimer(std::function<void()> on_timeout) {
  TTimerId id = next_timer_id_++;
  timers_[id].fn = std::make_shared<std::function<void()>>(std::move(on_timeout));
  return id;
}

void TMainLoop::StartTimer(TTimerId id, std::uint32_t interval_ms, bool single_shot) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second.interval = interval_ms;
  it->second.single_shot = single_shot;
  it->second.active = true;
  it->second.due = NowMs() + interval_ms;
}

void TMainLoop::StopTimer(TTimerId id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second.active = false;
}

bool TMainLoop::TimerActive(TTimerId id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.active;
}

void TMainLoop::DestroyTimer(TTimerId id) {
  timers_.erase(id);
}

std::uint32_t TMainLoop::TickMs() const {
  return static_cast<std::uint32_t>(NowMs());
}

std::uint64_t TMainLoop::NowMs() const {
  return clock_ == TClock::Manual ? manual_now_ : SteadyMs();
}

int TMainLoop::Run() {
  quit_ = false;
  while (!quit_) ProcessEvents(-1);
  return quit_code_;
}

void TMainLoop::Quit(int code) {
  quit_code_ = code;
  quit_ = true;
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(wake_fd_, &one, sizeof one);
}

void TMainLoop::ProcessEvents(int wait_ms) {
  int timeout = wait_ms;
  {
    std::lock_guard lock(posted_mutex_);
    if (!posted_.empty()) timeout = 0;
  }
  std::uint64_t due = 0;
  TTimerId id = 0;
  if (timeout != 0 && NextDue(due, id)) {
    std::uint64_t now = NowMs();
    // A manual clock never moves by itself: only timers already due shorten the wait.
    if (due <= now) {
      timeout = 0;
    } else if (clock_ == TClock::Steady) {
      auto left = static_cast<int>(std::min<std::uint64_t>(due - now, 1u << 30));
      timeout = timeout < 0 ? left : std::min(timeout, left);
    }
  }
  std::vector<pollfd> fds{{wake_fd_, POLLIN, 0}};
  for (const auto& [fd, fn] : watches_) fds.push_back({fd, POLLIN, 0});
  if (poll(fds.data(), fds.size(), timeout) > 0) {
    if (fds[0].revents != 0) DrainEventFd(wake_fd_);
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      // Looked up again: an earlier callback of this round may have unwatched it.
      auto it = watches_.find(fds[i].fd);
      if (it == watches_.end()) continue;
      auto fn = it->second;
      (*fn)();
    }
  }
  RunPosted();
  FireDueTimers(NowMs());
}

bool TMainLoop::RunUntil(const std::function<bool()>& done, int timeout_ms) {
  const std::uint64_t deadline = SteadyMs() + static_cast<std::uint64_t>(std::max(timeout_ms, 0));
  while (!done()) {
    std::uint64_t now = SteadyMs();
    if (now >= deadline) return done();
    // Short slices: the condition may depend on other threads that post nothing.
    ProcessEvents(static_cast<int>(std::min<std::uint64_t>(deadline - now, 5)));
  }
  return true;
}

void TMainLoop::Advance(std::uint64_t ms) {
  if (clock_ != TClock::Manual) return;
  const std::uint64_t target = manual_now_ + ms;
  std::uint64_t due = 0;
  TTimerId id = 0;
  while (NextDue(due, id) && due <= target) {
    manual_now_ = std::max(manual_now_, due);
    Fire(id, manual_now_);
  }
  manual_now_ = target;
}

void TMainLoop::WatchFd(int fd, std::function<void()> on_ready) {
  watches_[fd] = std::make_shared<std::function<void()>>(std::move(on_ready));
}

void TMainLoop::UnwatchFd(int fd) {
  watches_.erase(fd);
}

void TMainLoop::RunPosted() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(posted_mutex_);
    batch.swap(posted_);
  }
  for (auto& fn : batch) fn();
}

void TMainLoop::FireDueTimers(std::uint64_t now) {
  // Each due timer fires once per round, earliest first; a callback may start, stop or
  // destroy any timer, itself included.
  std::vector<std::pair<std::uint64_t, TTimerId>> due;
  for (const auto& [id, t] : timers_) {
    if (t.active && t.due <= now) due.emplace_back(t.due, id);
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second.active || it->second.due > now) continue;
    Fire(id, now);
  }
}

void TMainLoop::Fire(TTimerId id, std::uint64_t now) {
  Timer& t = timers_.at(id);
  if (t.single_shot) {
    t.active = false;
  } else {
    // Keep the period exact, but never fire a burst to catch up after a stall.
    const std::uint64_t step = std::max<std::uint32_t>(t.interval, 1);
    t.due = t.due + step > now ? t.due + step : now + step;
  }
  auto fn = t.fn;  // the callback may destroy the timer
  if (*fn) (*fn)();
}

bool TMainLoop::NextDue(std::uint64_t& due, TTimerId& id) const {
  bool found = false;
  for (const auto& [tid, t] : timers_) {
    if (t.active && (!found || t.due < due)) {
      due = t.due;
      id = tid;
      found = true;
    }
  }
  return found;
}

}  // namespace corvane
