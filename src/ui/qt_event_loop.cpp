#include "ui/qt_event_loop.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>

namespace corvane {

TQtEventLoop::TQtEventLoop() = default;

TQtEventLoop::~TQtEventLoop() {
  for (auto& [id, timer] : timers_) timer->stop();
}

void TQtEventLoop::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(receiver_.get(), std::move(fn), Qt::QueuedConnection);
}

bool TQtEventLoop::IsMainThread() const {
  return QThread::currentThread() == receiver_->thread();
}

TTimerId TQtEventLoop::CreateTimer(std::function<void()> on_timeout) {
  const TTimerId id = next_id_++;
  auto timer = std::make_unique<QTimer>();
  timer->setTimerType(Qt::PreciseTimer);
  // The callback may destroy its own timer: it runs from a copy.
  auto callback = std::make_shared<std::function<void()>>(std::move(on_timeout));
  QObject::connect(timer.get(), &QTimer::timeout, receiver_.get(), [callback] {
    const auto keep = callback;
    (*keep)();
  });
  timers_.emplace(id, std::move(timer));
  return id;
}

void TQtEventLoop::StartTimer(TTimerId id, std::uint32_t interval_ms, bool single_shot) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->setSingleShot(single_shot);
  // QTimer takes an int; a longer interval than it holds is the longest it holds.
  it->second->start(static_cast<int>(std::min<std::uint32_t>(interval_ms, INT32_MAX)));
}

void TQtEventLoop::StopTimer(TTimerId id) {
  const auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

bool TQtEventLoop::TimerActive(TTimerId id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void TQtEventLoop::DestroyTimer(TTimerId id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  // Possibly from inside its own timeout: Qt deletes it once that has returned.
  it->second->stop();
  it->second->disconnect();
  it->second.release()->deleteLater();
  timers_.erase(it);
}

std::uint32_t TQtEventLoop::TickMs() const {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace corvane
