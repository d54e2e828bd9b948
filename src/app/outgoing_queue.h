#pragma once
// The one queue through which every line the bot says leaves, paced so that the server
// does not drop the bot for flooding: consecutive lines more than a second apart, and chat
// lines kept under the server's message quota. It is bounded and ordered by worth, so that
// a few members who keep the bot talking can neither grow it without end nor bury the
// owner's lines under theirs.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// Two lines leave more than 1000 ms apart.
inline constexpr std::uint32_t kQueueMinGapMs = 1000;
// Chat servers count a line as one unit per started 40 bytes and allow a few units in a
// few seconds; they count whole seconds and the network adds jitter, so the window here
// is a second longer than theirs.
inline constexpr std::size_t kFloodUnitBytes = 40;
inline constexpr int kFloodMaxUnits = 4;
inline constexpr std::uint32_t kFloodWindowMs = 6000;
// Replies, greetings and idle lines wait only while fewer lines than this wait, and a reply
// that would leave later than this after its command is dropped.
inline constexpr std::size_t kQueueReplyBound = 20;
inline constexpr std::uint32_t kReplyMaxWaitMs = 60'000;

struct TQueuedLine {
  std::string text;
  // The owner's lines (typed, or asked for by his console commands) and moderation lines
  // are never dropped and leave before every reply.
  bool owner = false;
  bool greeting = false;  // queued only when nothing else waits
  // Whose command asked for the line (empty: nobody's) and his access level: of waiting
  // replies, the higher level leaves first, and speakers of one level take turns.
  std::string speaker;
  std::int32_t worth = 0;
};

class TOutgoingQueue {
 public:
  // Queues the line at the millisecond tick `now` unless it may not wait; false when it
  // was dropped. A moderation line already waiting is not queued twice.
  bool Push(TQueuedLine line, std::uint32_t now);
  std::size_t Size() const { return urgent_.size() + waiting_.size(); }
  bool Empty() const { return Size() == 0; }
  void Clear();

  // Milliseconds from `now` until the next line may leave (0: now); nothing when no line
  // waits. Replies that waited too long are dropped on the way.
  std::optional<std::uint32_t> WaitMs(std::uint32_t now);
  // The next line, when the pacing lets it leave at `now`.
  std::optional<std::string> Take(std::uint32_t now);

  // True at the first line dropped since the queue was last empty: one notice per burst.
  bool TakeDropNotice();
  std::uint64_t Dropped() const { return dropped_; }
  // Lines taken so far, and the tick of the last one.
  std::uint64_t Taken() const { return taken_; }
  std::uint32_t LastTaken() const { return last_send_; }

  // Units a chat line costs: one per started 40 bytes, an empty line one.
  static int Units(const std::string& line);
  // Lines that the bot handles itself rather than sending as chat.
  static bool IsLocalCommand(const std::string& line);
  // "/kick ", "/ban ", "/unban ", "/designate ": what keeps the channel in order.
  static bool IsModeration(const std::string& line);

 private:
  struct TWaiting {
    TQueuedLine line;
    std::uint32_t queued_at = 0;
    bool moderation = false;
  };
  struct TSent {
    std::uint32_t at;
    int units;
  };

  void Drop();
  void DropExpired(std::uint32_t now);
  // The line that leaves next: the front of urgent_, else the best of waiting_ (its index).
  const std::string& Next(std::size_t& waiting_index) const;
  std::uint32_t QuotaWaitMs(std::uint32_t now, int units);
  // A speaker's turn: the serial of his last line taken, 0 for none waiting.
  std::uint64_t LastTurn(const std::string& speaker) const;

  std::deque<TWaiting> urgent_;    // the owner's and moderation lines, oldest first
  std::vector<TWaiting> waiting_;  // the rest, oldest first
  struct TTurn {
    std::string speaker;
    std::uint64_t serial;
  };
  std::vector<TTurn> turns_;  // speakers with replies waiting, and when they last had one
  std::uint64_t serial_ = 0;
  bool sent_any_ = false;
  std::uint32_t last_send_ = 0;
  std::deque<TSent> sent_;
  std::uint64_t dropped_ = 0;
  std::uint64_t taken_ = 0;
  bool in_burst_ = false;
  bool notice_ = false;
};

}  // namespace corvane
