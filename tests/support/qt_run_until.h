#pragma once
// Runs the Qt event loop until `done` or the time-out, sleeping between events and looking
// again every 10 ms; true when done. For the tests of the window's parts.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace corvane::test {

inline bool RunQtUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  QTimer wake;
  wake.start(10);
  while (!done() && clock.elapsed() < timeout_ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return done();
}

}  // namespace corvane::test
