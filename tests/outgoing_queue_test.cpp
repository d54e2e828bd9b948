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

TQueuedLine Reply(const std::string& text, const std::string& speaker = "", int worth = 0) {
  return {.text = text, .speaker = speaker, .worth = worth};
}
TQueuedLine Owner(const std::string& text) {
  TQueuedLine l = Reply(text);
  l.owner = true;
  return l;
}

// Lets every line leave at the moment the queue names, from `start` until it is empty.
std::vector<Sent> Drain(TOutgoingQueue& q, std::uint32_t start) {
  std::vector<Sent> sent;
  std::uint32_t now = start;
  for (int step = 0; step < 10000; ++step) {
    const auto wait = q.WaitMs(now);
    if (!wait) break;
    now += *wait;
    const auto line = q.Take(now);
    EXPECT_TRUE(line) << "the line leaves when the queue said it may";
    if (line) sent.push_back({now, *line});
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
    EXPECT_LE(units, std::max(kFloodMaxUnits, TOutgoingQueue::Units(sent[i].line)))
        << "window starting at line " << i;
  }
}

TEST(OutgoingQueue, BurstsLeaveInOrderPacedAndUnderTheQuota) {
  for (const std::size_t length : {20u, 60u, 120u}) {
    TOutgoingQueue q;
    for (int i = 0; i < 10; ++i) q.Push(Owner(std::to_string(i) + std::string(length - 1, 'x')), 0);
    const auto sent = Drain(q, 5000);
    ASSERT_EQ(sent.size(), 10u) << length;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sent[static_cast<std::size_t>(i)].line[0], '0' + i);
    ExpectWithinLimits(sent);
    EXPECT_EQ(sent[0].at, 5000u) << "the first line leaves at once";
    if (length == 20) {
      EXPECT_EQ(sent[1].at, 5000u + kQueueMinGapMs + 1) << "as soon as it may";
    }
  }
  // Ten short lines take 13 s instead of 9: four in any six seconds.
  TOutgoingQueue q;
  for (int i = 0; i < 10; ++i) q.Push(Owner("short line"), 0);
  const auto sent = Drain(q, 5000);
  EXPECT_EQ(sent.back().at - sent.front().at, 13001u);
}

TEST(OutgoingQueue, UnitsLocalCommandsOverlongLinesAndTheWrappingTick) {
  EXPECT_EQ(TOutgoingQueue::Units(""), 1);
  EXPECT_EQ(TOutgoingQueue::Units(std::string(40, 'a')), 1);
  EXPECT_EQ(TOutgoingQueue::Units(std::string(41, 'a')), 2);
  EXPECT_TRUE(TOutgoingQueue::IsLocalCommand("/j Clan ABC"));
  EXPECT_FALSE(TOutgoingQueue::IsLocalCommand("/profile"));  // no blank: ordinary chat
  EXPECT_TRUE(TOutgoingQueue::IsModeration("/KICK eve spam"));
  EXPECT_FALSE(TOutgoingQueue::IsModeration("/kickme"));

  // Local commands keep the one-second gap but cost no units.
  TOutgoingQueue q;
  for (int i = 0; i < 4; ++i) q.Push(Owner(std::string(40, 'a')), 0);
  for (int i = 0; i < 3; ++i) q.Push(Owner("/join somewhere"), 0);
  q.Push(Owner("after"), 0);
  auto sent = Drain(q, 5000);
  ASSERT_EQ(sent.size(), 8u);
  ExpectWithinLimits(sent);
  EXPECT_LT(sent[6].at - sent[0].at, 8000u) << "the joins did not wait for the quota";

  // A line longer than the whole quota still leaves, alone.
  q.Push(Owner(std::string(200, 'b')), 60000);
  q.Push(Owner("next"), 60000);
  sent = Drain(q, 60000);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_GE(sent[1].at - sent[0].at, kFloodWindowMs);

  // The tick wraps at 2^32 without stalling the queue.
  TOutgoingQueue wrapped;
  const std::uint32_t near_end = 0xFFFFFFFFu - 2500;
  for (int i = 0; i < 5; ++i) wrapped.Push(Reply("w"), near_end);
  sent = Drain(wrapped, near_end);
  ASSERT_EQ(sent.size(), 5u);
  ExpectWithinLimits(sent);
}

// What leaves first and what may wait, under loads that members can drive.
TEST(OutgoingQueue, TheOwnersLinesFirstRepliesBoundedAndFair) {
  struct Case {
    const char* name;
    std::vector<TQueuedLine> pushed;  // all at tick 0
    std::vector<std::string> sent;    // in the order they leave
    int notices;
  };
  std::vector<TQueuedLine> flood;
  for (int i = 0; i < 25; ++i) flood.push_back(Reply("r" + std::to_string(i), "Eve"));
  std::vector<TQueuedLine> flood_then_op = flood;
  flood_then_op.push_back(Reply("for the op", "Op", 100));
  flood_then_op.push_back(Owner("typed"));
  flood_then_op.push_back(Reply("/ban Eve spam", "Op", 100));
  flood_then_op.push_back(Reply("/ban Eve spam", "Op", 100));  // the same ban once
  std::vector<std::string> first_of_flood;
  for (int i = 0; i < 20; ++i) first_of_flood.push_back("r" + std::to_string(i));
  std::vector<std::string> op_case = {"typed", "/ban Eve spam", "for the op"};
  op_case.insert(op_case.end(), first_of_flood.begin(), first_of_flood.end() - 1);

  TQueuedLine greeting = Reply("welcome");
  greeting.greeting = true;
  const std::vector<Case> cases = {
      {"a full queue drops the rest, with one notice", flood, first_of_flood, 1},
      {"the owner, bans and higher levels go first; a higher level displaces the lowest",
       flood_then_op, op_case, 1},
      {"speakers of one level take turns",
       {Reply("a1", "A"), Reply("a2", "A"), Reply("a3", "A"), Reply("b1", "B"), Reply("c1", "C"),
        Reply("b2", "B")},
       {"a1", "b1", "c1", "a2", "b2", "a3"},
       0},
      {"a greeting only on an empty queue", {greeting, Reply("x"), greeting}, {"welcome", "x"}, 0},
  };
  for (const Case& c : cases) {
    TOutgoingQueue q;
    int notices = 0;
    for (const TQueuedLine& l : c.pushed) {
      q.Push(l, 0);
      notices += q.TakeDropNotice();
    }
    std::vector<std::string> sent;
    for (const Sent& s : Drain(q, 0)) sent.push_back(s.line);
    EXPECT_EQ(sent, c.sent) << c.name;
    EXPECT_EQ(notices, c.notices) << c.name;
  }

  // Replies that would leave more than a minute after their command are dropped; the
  // owner's lines never are. A new burst after the queue emptied gets a new notice.
  TOutgoingQueue q;
  for (int i = 0; i < 5; ++i) q.Push(Reply(std::string(120, 'r')), 0);
  for (int i = 0; i < 30; ++i) q.Push(Owner(std::string(60, 'o')), 0);  // 90 s of lines
  const auto sent = Drain(q, 0);
  ASSERT_EQ(sent.size(), 30u) << "the five replies waited too long behind the owner's lines";
  EXPECT_TRUE(q.TakeDropNotice());
  for (int i = 0; i < 21; ++i) q.Push(Reply("again"), 100000);
  EXPECT_TRUE(q.TakeDropNotice());
  EXPECT_EQ(q.Dropped(), 6u);
}

}  // namespace
}  // namespace corvane
