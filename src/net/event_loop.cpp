#include "net/event_loop.h"

#include <utility>

namespace corvane {

TTimer::TTimer(TEventLoop& loop, std::function<void()> on_timeout)
    : loop_(loop), id_(loop.CreateTimer(std::move(on_timeout))) {}

TTimer::~TTimer() {
  loop_.DestroyTimer(id_);
}

void TTimer::Start(std::uint32_t interval_ms) {
  interval_ = interval_ms;
  loop_.StartTimer(id_, interval_ms, false);
}

void TTimer::StartSingleShot(std::uint32_t interval_ms) {
  interval_ = interval_ms;
  loop_.StartTimer(id_, interval_ms, true);
}

void TTimer::Stop() {
  loop_.StopTimer(id_);
}

bool TTimer::Active() const {
  return loop_.TimerActive(id_);
}

TSyncCall::TSyncCall(TEventLoop& loop) : loop_(loop), state_(std::make_shared<State>()) {}

TSyncCall::~TSyncCall() {
  Cancel();
}

bool TSyncCall::Call(std::function<void()> fn) {
  if (loop_.IsMainThread()) {
    // Waiting for ourselves would never end: run it in place.
    if (Cancelled()) return false;
    fn();
    return true;
  }
  std::uint64_t ticket;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled) return false;
    ticket = ++state_->issued;
  }
  // The posted call holds the shared state, not this object, so it stays harmless when it
  // is run (or dropped) after the owner is gone.
  loop_.Post([state = state_, ticket, fn = std::move(fn)] {
    {
      std::lock_guard lock(state->mutex);
      if (state->cancelled) return;
    }
    fn();
    {
      std::lock_guard lock(state->mutex);
      state->finished = ticket;
    }
    state->done_cv.notify_all();
  });
  std::unique_lock lock(state_->mutex);
  state_->done_cv.wait(lock, [&] { return state_->finished >= ticket || state_->cancelled; });
  return state_->finished >= ticket;
}

void TSyncCall::Cancel() {
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
  }
  state_->done_cv.notify_all();
}

bool TSyncCall::Cancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

}  // namespace corvane
