#include "app/outgoing_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace std::string_literals;
using Q = TOutgoingQueue;
using Lines = std::vector<std::string>;
using Sent = std::pair<std::uint32_t, std::string>;  // when a line left, and the line

// A reply to a command of `speaker` at his access level `worth`, and a line of the owner.
TQueuedLine Reply(const std::string& text, const std::string& speaker = "", int worth = 0) {
  return {text, false, false, speaker, worth};
}
TQueuedLine Owner(const std::string& text) {
  return {text, true, false, "", 0};
}

// Lets every line leave at the moment the queue names, from `now` until it is empty; checks
// that never two lines leave a second or less apart, nor more than the quota in a window.
std::vector<Sent> Drain(Q& q, std::uint32_t now) {
  std::vector<Sent> s;
  for (auto wait = q.WaitMs(now); wait && s.size() < 10000; wait = q.WaitMs(now)) {
    now += *wait;
    const auto line = q.Take(now);
    EXPECT_TRUE(line) << "the line leaves when the queue said it may";
    EXPECT_TRUE(s.empty() || static_cast<std::uint32_t>(now - s.back().first) > kQueueMinGapMs)
        << "two lines a second apart or less, at " << now;
    s.push_back({now, line.value_or("")});
  }
  for (std::size_t i = 0; i < s.size(); ++i) {
    int units = 0;
    for (std::size_t j = i; j < s.size() && s[j].first - s[i].first < kFloodWindowMs; ++j) {
      if (!Q::IsLocalCommand(s[j].second)) units += Q::Units(s[j].second);
    }
    EXPECT_LE(units, std::max(kFloodMaxUnits, Q::Units(s[i].second))) << "window at line " << i;
  }
  return s;
}

// In order, paced and under the quota: bursts of lines of several lengths (a unit is 40
// bytes; ten short lines take 13 s instead of 9: four in any six seconds); local commands, which
// keep the gap but cost no units; a line longer than the whole quota, which still leaves, alone;
// and the tick wrapping at 2^32, which stalls nothing.
TEST(OutgoingQueue, PacingQuotaBoundsAndPriorities) {
  // Ten lines of each length: when the second and the last leave, the first at once.
  const std::tuple<std::size_t, std::uint32_t, std::uint32_t> bursts[] = {
      {40, 6001, 18001}, {41, 6001, 30001}, {120, 5000 + kFloodWindowMs, 59000}};
  for (const auto& [length, second, last] : bursts) {
    Q q;
    for (int i = 0; i < 10; ++i) q.Push(Owner(std::to_string(i) + std::string(length - 1, 'x')), 0);
    const auto sent = Drain(q, 5000);
    ASSERT_EQ(sent.size(), 10u) << length;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sent[static_cast<std::size_t>(i)].second[0], '0' + i);
    EXPECT_EQ(std::vector({sent[0].first, sent[1].first, sent[9].first}),
              std::vector({5000u, second, last}))
        << length;
  }

  Q q;
  for (int i = 0; i < 4; ++i) q.Push(Owner(std::string(40, 'a')), 0);
  for (int i = 0; i < 3; ++i) q.Push(Owner("/join somewhere"), 0);
  for (const std::string& l : {"after"s, std::string(200, 'b'), "next"s}) q.Push(Owner(l), 0);
  auto sent = Drain(q, 5000);
  ASSERT_EQ(sent.size(), 10u);
  EXPECT_LT(sent[6].first - sent[0].first, 8000u) << "the joins did not wait for the quota";
  EXPECT_GE(sent[9].first - sent[8].first, kFloodWindowMs) << "the long line left alone";

  for (int i = 0; i < 5; ++i) q.Push(Reply("w"), 0xFFFFFFFFu - 2500);
  EXPECT_EQ(Drain(q, 0xFFFFFFFFu - 2500).size(), 5u);

  // What leaves first and what may wait, under loads that members can drive.
  std::vector<TQueuedLine> flood;
  Lines first = {"notices:*"}, op = {"notices:*", "typed", "/ban Eve spam", "for the op"};
  for (int i = 0; i < 25; ++i) {
    flood.push_back(Reply("r" + std::to_string(i), "Eve"));
    if (i < 20) first.push_back(flood.back().text);
    if (i < 19) op.push_back(flood.back().text);
  }
  std::vector<TQueuedLine> with_op = flood;
  with_op.insert(with_op.end(),
                 {Reply("for the op", "Op", 100), Owner("typed"), Reply("/ban Eve spam", "Op", 100),
                  Reply("/ban Eve spam", "Op", 100)});  // the same ban once
  const TQueuedLine greeting{"welcome", false, true, "", 0};
  const auto run = [](const std::vector<TQueuedLine>& pushed) {  // the lines as they leave
    Q fresh;
    Lines out = {"notices:"};
    for (const TQueuedLine& l : pushed) {
      fresh.Push(l, 0);
      if (fresh.TakeDropNotice()) out[0] += "*";
    }
    for (const Sent& s : Drain(fresh, 0)) out.push_back(s.second);
    return out;
  };
  EXPECT_EQ(run(flood), first) << "a full queue drops the rest, with one notice";
  EXPECT_EQ(run(with_op), op)
      << "the owner, bans and higher levels go first; a higher level displaces the lowest";
  EXPECT_EQ(run({Reply("a1", "A"), Reply("a2", "A"), Reply("a3", "A"), Reply("b1", "B"),
                 Reply("c1", "C"), Reply("b2", "B")}),
            (Lines{"notices:", "a1", "b1", "c1", "a2", "b2", "a3"}))
      << "speakers of one level take turns";
  EXPECT_EQ(run({greeting, Reply("x"), greeting}), (Lines{"notices:", "welcome", "x"}))
      << "a greeting only on an empty queue";

  // Replies that would leave more than a minute after their command are dropped; the
  // owner's lines never are. A new burst after the queue emptied gets a new notice.
  Q late;
  for (int i = 0; i < 5; ++i) late.Push(Reply(std::string(120, 'r')), 0);
  for (int i = 0; i < 30; ++i) late.Push(Owner(std::string(60, 'o')), 0);  // 90 s of lines
  ASSERT_EQ(Drain(late, 0).size(), 30u) << "the five replies waited too long behind the owner's";
  EXPECT_TRUE(late.TakeDropNotice());
  for (int i = 0; i < 21; ++i) late.Push(Reply("again"), 100000);
  EXPECT_TRUE(late.TakeDropNotice());
  EXPECT_EQ(late.Dropped(), 6u);
}

}  // namespace
}  // namespace corvane
