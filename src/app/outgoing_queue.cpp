#include "app/outgoing_queue.h"

namespace corvane {

int TOutgoingQueue::Units(const std::string& line) {
  if (line.empty()) return 1;
  return static_cast<int>((line.size() + kFloodUnitBytes - 1) / kFloodUnitBytes);
}

bool TOutgoingQueue::IsLocalCommand(const std::string& line) {
  for (const char* prefix : {"/profile ", "/clanprofile ", "/join ", "/j "}) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

int TOutgoingQueue::UnitsInWindow(std::uint32_t now) {
  while (!sent_.empty() && static_cast<std::uint32_t>(now - sent_.front().at) >= kFloodWindowMs) {
    sent_.pop_front();
  }
  int units = 0;
  for (const TSent& s : sent_) units += s.units;
  return units;
}

std::optional<std::string> TOutgoingQueue::Tick(std::uint32_t now) {
  if (lines_.empty()) return std::nullopt;
  if (static_cast<std::uint32_t>(now - last_send_) <= kQueueMinGapMs) return std::nullopt;
  const std::string& line = lines_.front();
  if (!IsLocalCommand(line)) {
    const int units = Units(line);
    const int used = UnitsInWindow(now);
    // A line longer than the quota itself still leaves, alone in an empty window, rather
    // than blocking the queue for good.
    if (used > 0 && used + units > kFloodMaxUnits) return std::nullopt;
    sent_.push_back({now, units});
  }
  last_send_ = now;
  std::string out = std::move(lines_.front());
  lines_.pop_front();
  return out;
}

}  // namespace corvane
