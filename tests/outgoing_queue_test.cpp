#include "app/outgoing_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

struct Sent {
  std::uint32_t at;
  std::string line;
};

// Runs the consumer every 100 ms from `start` until the queue is empty (bounded).
std::vector<Sent> Drain(TOutgoingQueue& q, std::uint32_t start) {
  std::vector<Sent> sent;
  std::uint32_t now = start;
  for (int tick = 0; tick < 10000 && !q.Empty(); ++tick, now += kQueueTickMs) {
    if (auto line = q.Tick(now)) sent.push_back({now, *line});
  }
  return sent;
}

// Never more than the quota in any window, and never two lines a second or less apart.
void ExpectWithinLimits(const std::vector<Sent>& sent) {
  for (std::size_t i = 0; i < sent.size(); ++i) {
    if (i > 0) {
      EXPECT_GT(static_cast<std::uint32_t>(sent[i].at - sent[i - 1].at), kQueueMinGapMs);
    }
    int units = 0;
    for (std::size_t j = i; j < sent.size(); ++j) {
      if (static_cast<std::uint32_t>(sent[j].at - sent[i].at) >= kFloodWindowMs) break;
      if (!TOutgoingQueue::IsLocalCommand(sent[j].line))
        units += TOutgoingQueue::Units(sent[j].line);
    }
    EXPECT_LE(units, kFloodMaxUnits) << "window starting at line " << i;
  }
}

TEST(OutgoingQueue, BurstsLeaveInOrderPacedAndUnderTheQuota) {
  for (const std::size_t length : {20u, 60u, 120u}) {
    TOutgoingQueue q;
    for (int i = 0; i < 10; ++i) q.Push(std::to_string(i) + std::string(length - 1, 'x'));
    const auto sent = Drain(q, 5000);
    ASSERT_EQ(sent.size(), 10u) << length;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sent[static_cast<std::size_t>(i)].line[0], '0' + i);
    ExpectWithinLimits(sent);
    EXPECT_EQ(sent[0].at, 5000u) << "the first line leaves on the first tick";
  }
  // Ten short lines take about 13 s instead of 10.
  TOutgoingQueue q;
  for (int i = 0; i < 10; ++i) q.Push("short line");
  const auto sent = Drain(q, 5000);
  EXPECT_GE(sent.back().at - sent.front().at, 12000u);
  EXPECT_LE(sent.back().at - sent.front().at, 14500u);
}

TEST(OutgoingQueue, UnitsLocalCommandsOverlongLinesAndTheWrappingTick) {
  EXPECT_EQ(TOutgoingQueue::Units(""), 1);
  EXPECT_EQ(TOutgoingQueue::Units(std::string(40, 'a')), 1);
  EXPECT_EQ(TOutgoingQueue::Units(std::string(41, 'a')), 2);
  EXPECT_TRUE(TOutgoingQueue::IsLocalCommand("/j Clan ABC"));
  EXPECT_FALSE(TOutgoingQueue::IsLocalCommand("/profile"));  // no blank: ordinary chat

  // Local commands keep the one-second gap but cost no units.
  TOutgoingQueue q;
  for (int i = 0; i < 4; ++i) q.Push(std::string(40, 'a'));
  for (int i = 0; i < 3; ++i) q.Push("/join somewhere");
  q.Push("after");
  auto sent = Drain(q, 5000);
  ASSERT_EQ(sent.size(), 8u);
  ExpectWithinLimits(sent);
  EXPECT_LT(sent[6].at - sent[0].at, 8000u) << "the joins did not wait for the quota";

  // A line longer than the whole quota still leaves, alone.
  q.Push(std::string(200, 'b'));
  q.Push("next");
  sent = Drain(q, 60000);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_GE(sent[1].at - sent[0].at, kFloodWindowMs);

  // The tick wraps at 2^32 without stalling the queue.
  TOutgoingQueue wrapped;
  for (int i = 0; i < 5; ++i) wrapped.Push("w");
  sent = Drain(wrapped, 0xFFFFFFFFu - 2500);
  ASSERT_EQ(sent.size(), 5u);
  ExpectWithinLimits(sent);
}

}  // namespace
}  // namespace corvane
