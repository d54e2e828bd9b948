#pragma once
// The one queue through which every line the bot says leaves, paced so that the server
// does not drop the bot for flooding: at most one line per consumer tick, consecutive
// lines more than a second apart, and chat lines kept under the server's message quota.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace corvane {

// The consumer runs every 100 ms; two lines leave more than 1000 ms apart.
inline constexpr std::uint32_t kQueueTickMs = 100;
inline constexpr std::uint32_t kQueueMinGapMs = 1000;
// Chat servers count a line as one unit per started 40 bytes and allow a few units in a
// few seconds; they count whole seconds and the network adds jitter, so the window here
// is a second longer than theirs.
inline constexpr std::size_t kFloodUnitBytes = 40;
inline constexpr int kFloodMaxUnits = 4;
inline constexpr std::uint32_t kFloodWindowMs = 6000;

class TOutgoingQueue {
 public:
  void Push(std::string line) { lines_.push_back(std::move(line)); }
  std::size_t Size() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  void Clear() { lines_.clear(); }

  // One consumer tick at the millisecond tick `now` (which wraps at 2^32): the line that
  // may leave now, if any.
  std::optional<std::string> Tick(std::uint32_t now);

  // Units a chat line costs: one per started 40 bytes, an empty line one.
  static int Units(const std::string& line);
  // Lines that the bot handles itself rather than sending as chat.
  static bool IsLocalCommand(const std::string& line);

 private:
  struct TSent {
    std::uint32_t at;
    int units;
  };
  int UnitsInWindow(std::uint32_t now);

  std::deque<std::string> lines_;
  std::uint32_t last_send_ = 0;
  std::deque<TSent> sent_;
};

}  // namespace corvane
