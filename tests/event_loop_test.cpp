#include "net/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/main_loop.h"

namespace corvane {
namespace {

constexpr std::uint32_t kMinute = 60 * 1000;

TEST(ManualClock, TwentyMinuteTimerFiresOnTimeWithoutWaiting) {
  TMainLoop loop(TMainLoop::TClock::Manual);
  std::vector<std::uint64_t> fired_at;
  TTimer reconnect(loop, [&] { fired_at.push_back(loop.NowMs()); });
  reconnect.StartSingleShot(20 * kMinute);
  loop.Advance(20 * kMinute - 1);
  EXPECT_TRUE(fired_at.empty());
  loop.Advance(1);
  EXPECT_EQ(fired_at, std::vector<std::uint64_t>{20 * kMinute});
  EXPECT_FALSE(reconnect.Active());
  loop.Advance(60 * kMinute);
  EXPECT_EQ(fired_at.size(), 1u) << "a single-shot timer fires once";
}

TEST(ManualClock, RepeatingTimersKeepTheirPeriodAndOrder) {
  TMainLoop loop(TMainLoop::TClock::Manual);
  std::vector<std::pair<char, std::uint64_t>> log;
  TTimer queue(loop, [&] { log.emplace_back('q', loop.NowMs()); });
  TTimer flood(loop, [&] { log.emplace_back('f', loop.NowMs()); });
  queue.Start(100);
  flood.Start(250);
  loop.Advance(500);  // timers due at the same time fire in the order they were made
  const std::vector<std::pair<char, std::uint64_t>> want = {
      {'q', 100}, {'q', 200}, {'f', 250}, {'q', 300}, {'q', 400}, {'q', 500}, {'f', 500}};
  EXPECT_EQ(log, want);
}

TEST(ManualClock, RestartStopAndDestroyFromInsideACallback) {
  TMainLoop loop(TMainLoop::TClock::Manual);
  int flood_fired = 0;
  TTimer flood(loop, [&] { ++flood_fired; });
  flood.Start(1000);
  loop.Advance(900);
  flood.Start(5000);  // re-armed from now with the pause after a command
  loop.Advance(4000);
  EXPECT_EQ(flood_fired, 0);
  loop.Advance(1000);
  EXPECT_EQ(flood_fired, 1);
  EXPECT_EQ(flood.Interval(), 5000u);
  flood.Stop();
  loop.Advance(60000);
  EXPECT_EQ(flood_fired, 1);

  int self_fired = 0;
  auto self = std::make_unique<TTimer>(loop, [] {});
  self = std::make_unique<TTimer>(loop, [&] {
    ++self_fired;
    self.reset();  // the owner goes away from inside the callback
  });
  self->Start(10);
  loop.Advance(100);
  EXPECT_EQ(self_fired, 1);
  EXPECT_EQ(self, nullptr);

  // A timer that restarts itself from its own callback with a new interval.
  std::vector<std::uint64_t> at;
  TTimer* again_ptr = nullptr;
  TTimer again(loop, [&] {
    at.push_back(loop.NowMs());
    if (at.size() == 1) again_ptr->Start(30);
  });
  again_ptr = &again;
  const std::uint64_t t0 = loop.NowMs();
  again.Start(10);
  loop.Advance(75);
  EXPECT_EQ(at, (std::vector<std::uint64_t>{t0 + 10, t0 + 40, t0 + 70}));
}

TEST(ManualClock, TickWrapsAtTwoToTheThirtyTwo) {
  TMainLoop loop(TMainLoop::TClock::Manual, (1ull << 32) - 400);
  const std::uint32_t before = loop.TickMs();
  EXPECT_EQ(before, 0xFFFFFFFFu - 399);
  loop.Advance(1000);
  const std::uint32_t after = loop.TickMs();
  EXPECT_EQ(after, 600u);
  EXPECT_EQ(static_cast<std::uint32_t>(after - before), 1000u)
      << "differences work across the wrap";
}

TEST(MainLoop, PostedCallsRunOnTheMainThreadInOrder) {
  TMainLoop loop;
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
  ASSERT_TRUE(loop.RunUntil([&] { return order.size() == 100; }, 5000));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(off_main);
  EXPECT_TRUE(loop.IsMainThread());
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

TEST(SyncCall, WorkerWaitsUntilTheCallHasRunOnTheMainThread) {
  TMainLoop loop;
  TSyncCall hand_off(loop);
  std::atomic<int> value{0};
  std::atomic<bool> returned{false}, result{false};
  std::thread worker([&] {
    result = hand_off.Call([&] {
      EXPECT_TRUE(loop.IsMainThread());
      value = 42;
    });
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned) << "nothing ran the main loop yet";
  ASSERT_TRUE(loop.RunUntil([&] { return returned.load(); }, 5000));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(value, 42);

  // On the main thread itself the call runs in place.
  bool inline_ran = false;
  EXPECT_TRUE(hand_off.Call([&] { inline_ran = true; }));
  EXPECT_TRUE(inline_ran);
}

TEST(SyncCall, CancelReleasesAWaitingWorkerAndDropsItsCall) {
  TMainLoop loop;
  auto hand_off = std::make_unique<TSyncCall>(loop);
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = hand_off->Call([&] { ran = true; }) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  hand_off->Cancel();  // the main thread never ran the loop
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(hand_off->Call([&] { ran = true; })) << "refused after Cancel";
  hand_off.reset();
  loop.ProcessEvents(0);  // the queued call is still in the loop: it must do nothing
  EXPECT_FALSE(ran);
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
