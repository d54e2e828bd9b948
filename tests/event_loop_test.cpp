#include "net/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/main_loop.h"

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
using LoopTypes = ::testing::Types<TMainLoop>;

template <class Loop>
class EventLoopTest : public ::testing::Test {
 protected:
  using Driver = TLoopDriver<Loop>;
  bool RunUntil(const std::function<bool()>& done, int ms = 5000) {
    return Driver::RunUntil(*owned_, done, ms);
  }
  void Advance(std::uint32_t ms) { Driver::Advance(*owned_, ms); }
  const std::unique_ptr<Loop> owned_ = Driver::Make();
  TEventLoop& loop_ = *owned_;
};
TYPED_TEST_SUITE(EventLoopTest, LoopTypes);

TYPED_TEST(EventLoopTest, PostedCallsRunOnTheMainThreadInOrder) {
  TEventLoop& loop = this->loop_;
  std::vector<int> order;
  std::atomic<bool> off_main{false};
  std::thread worker([&] {
    off_main = !loop.IsMainThread();
    for (int i = 0; i < 100; ++i) {
      loop.Post([&order, &loop, i] {
        EXPECT_TRUE(loop.IsMainThread());
        order.push_back(i);
      });
    }
  });
  worker.join();
  ASSERT_TRUE(this->RunUntil([&] { return order.size() == 100; }));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(off_main);
  EXPECT_TRUE(loop.IsMainThread());
}

TYPED_TEST(EventLoopTest, TimersFireOnceOrRepeatAndSurviveTheirCallbacks) {
  std::string fired;
  TTimer reconnect(this->loop_, [&] { fired += 'r'; });
  TTimer gate(this->loop_, [&] { fired += 'g'; });
  reconnect.StartSingleShot(100);
  gate.Start(100);
  this->Advance(50);
  gate.Start(500);  // re-armed from now with the pause after a command
  this->Advance(100);
  EXPECT_EQ(fired, "r");
  EXPECT_FALSE(reconnect.Active());
  this->Advance(300);
  EXPECT_EQ(fired, "r") << "a single-shot timer fires once";
  this->Advance(150);
  EXPECT_EQ(fired, "rg");
  EXPECT_TRUE(gate.Active());
  gate.Stop();
  this->Advance(600);
  EXPECT_EQ(fired, "rg");

  // The owner goes away from inside the callback; a timer restarts itself with a new interval.
  std::unique_ptr<TTimer> self;
  self = std::make_unique<TTimer>(this->loop_, [&] {
    fired += 's';
    self.reset();
  });
  self->Start(10);
  TTimer* again_ptr = nullptr;
  int again_fired = 0;
  TTimer again(this->loop_, [&] {
    if (++again_fired == 1) again_ptr->Start(100);
  });
  again_ptr = &again;
  again.Start(10);
  this->Advance(150);
  EXPECT_EQ(self, nullptr);
  EXPECT_EQ(fired, "rgs");
  EXPECT_EQ(again_fired, 2) << "at 10, then 100 after it";
}

TYPED_TEST(EventLoopTest, SyncCallWaitsForTheMainThreadAndCancelReleasesIt) {
  TEventLoop& loop = this->loop_;
  auto hand_off = std::make_unique<TSyncCall>(loop);
  std::atomic<int> value{0};
  std::atomic<bool> returned{false}, result{false};
  std::thread worker([&] {
    result = hand_off->Call([&] {
      EXPECT_TRUE(loop.IsMainThread());
      value = 42;
    });
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned) << "nothing ran the main loop yet";
  ASSERT_TRUE(this->RunUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(value, 42);
  bool inline_ran = false;  // on the main thread itself the call runs in place
  EXPECT_TRUE(hand_off->Call([&] { inline_ran = true; }));
  EXPECT_TRUE(inline_ran);

  // Cancel while the main thread runs no loop: the worker is released, its call dropped.
  hand_off = std::make_unique<TSyncCall>(loop);
  std::atomic<bool> ran{false};
  worker = std::thread([&] { result = hand_off->Call([&] { ran = true; }); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  hand_off->Cancel();
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(hand_off->Call([&] { ran = true; })) << "refused after Cancel";
  hand_off.reset();
  this->RunUntil([] { return false; }, 20);  // the queued call must do nothing
  EXPECT_FALSE(ran);
}

// What only TMainLoop has: the manual clock's exact times, Run and Quit, watched descriptors.
constexpr std::uint32_t kMinute = 60 * 1000;

TEST(MainLoop, ManualClockFiresEachTimerAtItsOwnDueTimeInOrderAcrossTheTickWrap) {
  TMainLoop loop(TMainLoop::TClock::Manual, (1ull << 32) - 20 * kMinute);
  const std::uint32_t start = loop.TickMs();
  const std::uint64_t t = loop.NowMs() + 20 * kMinute - 300;
  std::vector<std::pair<char, std::uint64_t>> log;
  const auto logger = [&](char c) {
    return [&log, &loop, t, c] { log.emplace_back(c, loop.NowMs() - t); };
  };
  TTimer reconnect(loop, logger('r'));
  TTimer queue(loop, logger('q'));
  TTimer flood(loop, logger('f'));
  reconnect.StartSingleShot(20 * kMinute);
  loop.Advance(20 * kMinute - 300);
  queue.Start(100);
  flood.Start(250);
  loop.Advance(500);  // timers due at the same time fire in the order they were made
  const std::vector<std::pair<char, std::uint64_t>> want = {{'q', 100}, {'q', 200}, {'f', 250},
                                                            {'r', 300}, {'q', 300}, {'q', 400},
                                                            {'q', 500}, {'f', 500}};
  EXPECT_EQ(log, want);
  // The tick wraps at 2^32 like the system tick; differences work across the wrap.
  EXPECT_EQ(loop.TickMs(), 200u);
  EXPECT_EQ(static_cast<std::uint32_t>(loop.TickMs() - start), 20 * kMinute + 200);
}

TEST(MainLoop, RunEndsOnQuitFromAnotherThreadAndSteadyTimersFire) {
  TMainLoop loop;
  int fired = 0;
  std::thread quitter;
  TTimer timer(loop, [&] {
    if (++fired == 3) quitter = std::thread([&loop] { loop.Quit(7); });
  });
  timer.Start(5);
  EXPECT_EQ(loop.Run(), 7);
  quitter.join();
  EXPECT_GE(fired, 3);
}

TEST(MainLoop, WatchedDescriptorsWakeTheLoopAndMayBeUnwatchedFromACallback) {
  TMainLoop loop;
  int a[2], b[2];
  ASSERT_EQ(pipe(a), 0);
  ASSERT_EQ(pipe(b), 0);
  std::string got;
  int b_calls = 0;
  loop.WatchFd(a[0], [&] {
    char buf[16];
    const ssize_t n = read(a[0], buf, sizeof buf);
    if (n <= 0) {
      loop.UnwatchFd(a[0]);  // end of input: level-triggered, so it must go
      loop.UnwatchFd(b[0]);  // and another one, due in this same round
      return;
    }
    got.append(buf, static_cast<std::size_t>(n));
  });
  loop.WatchFd(b[0], [&] { ++b_calls; });
  ASSERT_EQ(write(a[1], "hi", 2), 2);
  ASSERT_TRUE(loop.RunUntil([&] { return got == "hi"; }, 2000));
  // Both ends closed: a's end of input and b's hang-up arrive in one round; a's callback
  // removes both, so b's is not called after it was unwatched.
  close(a[1]);
  close(b[1]);
  loop.ProcessEvents(1000);
  EXPECT_EQ(b_calls, 0);
  // Nothing is watched any more: the loop sleeps the whole wait instead of spinning.
  const auto t0 = std::chrono::steady_clock::now();
  loop.ProcessEvents(50);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(40));
  close(a[0]);
  close(b[0]);
}

}  // namespace
}  // namespace corvane
