#pragma once
// The core's event loop in the desktop program: posting, timers and the tick over the Qt
// event loop of the thread that made it, which a QCoreApplication (or QApplication) runs.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include "net/event_loop.h"

namespace corvane {

class TQtEventLoop final : public TEventLoop {
 public:
  // On the thread that runs the Qt event loop, after the application object exists.
  TQtEventLoop();
  ~TQtEventLoop() override;
  TQtEventLoop(const TQtEventLoop&) = delete;
  TQtEventLoop& operator=(const TQtEventLoop&) = delete;

  void Post(std::function<void()> fn) override;
  bool IsMainThread() const override;

  TTimerId CreateTimer(std::function<void()> on_timeout) override;
  void StartTimer(TTimerId id, std::uint32_t interval_ms, bool single_shot) override;
  void StopTimer(TTimerId id) override;
  bool TimerActive(TTimerId id) const override;
  void DestroyTimer(TTimerId id) override;

  std::uint32_t TickMs() const override;

 private:
  // Posted calls are delivered to this object; those still queued when it goes are dropped
  // with it, so none runs against a destroyed loop.
  std::unique_ptr<QObject> receiver_ = std::make_unique<QObject>();
  std::unordered_map<TTimerId, std::unique_ptr<QTimer>> timers_;
  TTimerId next_id_ = 1;
};

}  // namespace corvane
