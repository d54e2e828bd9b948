#include "net/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "net/main_loop.h"

#ifdef CORVANE_QT_LOOP
#include <QCoreApplication>

#include "support/qt_run_until.h"
#include "ui/qt_event_loop.h"
#endif

namespace corvane {
namespace {

// How the shared cases drive one implementation of TEventLoop. Another implementation runs
// them all with a TLoopDriver of its own here and its type added to LoopTypes.
template <class Loop>
struct TLoopDriver;

template <>
struct TLoopDriver<TMainLoop> {
  static auto Make() { return std::make_unique<TMainLoop>(TMainLoop::TClock::Manual); }
  // Processes events until done() holds or timeout_ms of real time have passed.
  static bool RunUntil(TMainLoop& loop, const std::function<bool()>& done, int timeout_ms) {
    return loop.RunUntil(done, timeout_ms);
  }
  // Lets ms of the loop's time pass, firing the timers due on the way. (A loop on the real
  // clock runs for that long: the shared cases leave room for that.)
  static void Advance(TMainLoop& loop, std::uint32_t ms) { loop.Advance(ms); }
};
#ifdef CORVANE_QT_LOOP
// The desktop program's loop, driven by processing the Qt events of this thread.
template <>
struct TLoopDriver<TQtEventLoop> {
  static auto Make() {
    static int argc = 1;
    static char name[] = "event_loop_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
    return std::make_unique<TQtEventLoop>();
  }
  static bool RunUntil(TQtEventLoop&, const std::function<bool()>& done, int timeout_ms) {
    return test::RunQtUntil(done, timeout_ms);
  }
  static void Advance(TQtEventLoop& loop, std::uint32_t ms) {
    RunUntil(
        loop, [] { return false; }, static_cast<int>(ms));
  }
};
using LoopTypes = ::testing::Types<TQtEventLoop>;
#else
using LoopTypes = ::testing::Types<TMainLoop>;
#endif

template <class Loop>
class EventLoopTest : public ::testing::Test {
 protected:
  bool RunUntil(const std::function<bool()>& done, int ms = 5000) {
    return TLoopDriver<Loop>::RunUntil(*owned_, done, ms);
  }
  void Advance(std::uint32_t ms) { TLoopDriver<Loop>::Advance(*owned_, ms); }
  const std::unique_ptr<Loop> owned_ = TLoopDriver<Loop>::Make();
  TEventLoop& loop_ = *owned_;
};
TYPED_TEST_SUITE(EventLoopTest, LoopTypes);

TYPED_TEST(EventLoopTest, PostedCallsRunOnTheMainThreadInOrder) {
  std::vector<int> order, want(100);
  std::iota(want.begin(), want.end(), 0);
  std::thread worker([&] {
    EXPECT_FALSE(this->loop_.IsMainThread());
    for (int i : want)
      this->loop_.Post([&, i] { order.push_back(this->loop_.IsMainThread() ? i : -1); });
  });
  worker.join();
  ASSERT_TRUE(this->RunUntil([&] { return order.size() == want.size(); }));
  EXPECT_EQ(order, want);
}

// Single-shot and repeating timers, re-armed, stopped, restarted or destroyed from their
// own callbacks.
TYPED_TEST(EventLoopTest, TimersFireOnceOrRepeatAndSurviveTheirCallbacks) {
  std::string fired;
  TTimer reconnect(this->loop_, [&] { fired += 'r'; }), gate(this->loop_, [&] { fired += 'g'; });
  TTimer again(this->loop_, [&] { fired += 'a', again.Start(300); });
  std::unique_ptr<TTimer> self =
      std::make_unique<TTimer>(this->loop_, [&] { fired += 's', self.reset(); });
  reconnect.StartSingleShot(100);
  gate.Start(100);
  again.Start(10);
  self->Start(20);
  this->Advance(50);
  gate.Start(500);     // re-armed from now with the pause after a command
  this->Advance(500);  // r at 100, a at 310, g at 550
  gate.Stop();
  this->Advance(600);  // a at 610, 910
  EXPECT_EQ(fired, "asragaa");
}

TYPED_TEST(EventLoopTest, SyncCallWaitsForTheMainThreadAndCancelReleasesIt) {
  auto hand_off = std::make_unique<TSyncCall>(this->loop_);
  std::atomic<bool> result{false}, ran{false};
  std::thread worker([&] { result = hand_off->Call([&] { ran = this->loop_.IsMainThread(); }); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(ran || result) << "nothing ran the main loop yet";
  ASSERT_TRUE(this->RunUntil([&] { return ran.load(); }));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_TRUE(hand_off->Call([&] { ran = false; }) && !ran) << "on the main thread: in place";

  // Cancel while the main thread runs no loop: the worker is released, its call dropped.
  hand_off = std::make_unique<TSyncCall>(this->loop_);
  worker = std::thread([&] { result = hand_off->Call([&] { ran = true; }); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  hand_off->Cancel();
  worker.join();
  EXPECT_FALSE(result || hand_off->Call([&] { ran = true; })) << "released; refused after Cancel";
  hand_off.reset();
  this->RunUntil([] { return false; }, 20);  // the queued call must do nothing
  EXPECT_FALSE(ran);
}

// What only TMainLoop has: the manual clock's exact times, Run and Quit, watched descriptors.

#ifndef CORVANE_QT_LOOP
TEST(MainLoop, ManualClockFiresEachTimerAtItsOwnDueTimeInOrderAcrossTheTickWrap) {
  TMainLoop loop(TMainLoop::TClock::Manual, (1ull << 32) - 1200000);
  std::string log;
  const auto logger = [&](char c) {
    return [&log, &loop, c] { log += c + std::to_string(loop.TickMs()) + " "; };
  };
  TTimer reconnect(loop, logger('r')), queue(loop, logger('q')), flood(loop, logger('f'));
  reconnect.StartSingleShot(1200000);  // 20 minutes
  loop.Advance(1200000 - 300);
  queue.Start(100);
  flood.Start(250);
  loop.Advance(500);  // timers due at the same time fire in the order they were made; the
                      // tick wraps at 2^32 like the system tick
  EXPECT_EQ(log, "q4294967096 q4294967196 f4294967246 r0 q0 q100 q200 f200 ");
}

TEST(MainLoop, RunEndsOnQuitFromAnotherThread) {
  TMainLoop loop;
  std::thread quitter;
  loop.Post([&] { quitter = std::thread([&loop] { loop.Quit(7); }); });
  EXPECT_EQ(loop.Run(), 7);
  quitter.join();
}

TEST(MainLoop, WatchedDescriptorsWakeTheLoopAndMayBeUnwatchedFromACallback) {
  TMainLoop loop;
  int a[2], b[2];
  ASSERT_EQ(pipe(a) | pipe(b), 0);
  std::string got;
  loop.WatchFd(a[0], [&] {
    char buf[16];
    const ssize_t n = read(a[0], buf, sizeof buf);
    if (n > 0) return got.append(buf, static_cast<std::size_t>(n)), void();
    loop.UnwatchFd(a[0]);  // end of input: level-triggered, so it must go
    loop.UnwatchFd(b[0]);  // and another one, due in this same round
  });
  loop.WatchFd(b[0], [&] { got += "b called after it was unwatched"; });
  ASSERT_EQ(write(a[1], "hi", 2), 2);
  ASSERT_TRUE(loop.RunUntil([&] { return got == "hi"; }, 2000));
  // Both ends closed: a's end of input and b's hang-up arrive in one round; a's callback
  // removes both, so b's is not called after it was unwatched.
  for (int fd : {a[1], b[1]}) close(fd);
  loop.ProcessEvents(1000);
  EXPECT_EQ(got, "hi");
  // Nothing is watched any more: the loop sleeps the whole wait instead of spinning.
  const auto t0 = std::chrono::steady_clock::now();
  loop.ProcessEvents(50);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(40));
  for (int fd : {a[0], b[0]}) close(fd);
}

#endif

}  // namespace
}  // namespace corvane
