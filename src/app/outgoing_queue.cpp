#include "app/outgoing_queue.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "config/Operations.h"

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

bool TOutgoingQueue::IsModeration(const std::string& line) {
  // The server takes its commands in any case.
  for (const std::string_view prefix : {"/kick ", "/ban ", "/unban ", "/designate "}) {
    if (line.size() >= prefix.size() &&
        EqualsNoCase(std::string_view(line).substr(0, prefix.size()), prefix)) {
      return true;
    }
  }
  return false;
}

bool TOutgoingQueue::Push(TQueuedLine line, std::uint32_t now) {
  const bool moderation = IsModeration(line.text);
  if (line.owner || moderation) {
    // A kick or ban already on its way needs no second one (a member who keeps rejoining).
    if (!line.owner && std::any_of(urgent_.begin(), urgent_.end(), [&](const TWaiting& w) {
          return w.moderation && w.line.text == line.text;
        })) {
      return true;
    }
    urgent_.push_back({std::move(line), now, moderation});
    return true;
  }
  if (line.greeting && !Empty()) return false;
  if (Size() >= kQueueReplyBound) {
    // Full: a line of a higher level takes the place of the newest line of the lowest.
    auto victim = waiting_.end();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
      if (victim == waiting_.end() || it->line.worth <= victim->line.worth) victim = it;
    }
    if (victim == waiting_.end() || victim->line.worth >= line.worth) {
      Drop();
      return false;
    }
    waiting_.erase(victim);
    Drop();
  }
  waiting_.push_back({std::move(line), now, false});
  return true;
}

void TOutgoingQueue::Clear() {
  urgent_.clear();
  waiting_.clear();
  turns_.clear();
  in_burst_ = false;
}

void TOutgoingQueue::Drop() {
  ++dropped_;
  if (!in_burst_) notice_ = true;
  in_burst_ = true;
}

bool TOutgoingQueue::TakeDropNotice() {
  return std::exchange(notice_, false);
}

void TOutgoingQueue::DropExpired(std::uint32_t now) {
  const auto expired = std::remove_if(waiting_.begin(), waiting_.end(), [&](const TWaiting& w) {
    return now - w.queued_at > kReplyMaxWaitMs;
  });
  for (auto it = expired; it != waiting_.end(); ++it) Drop();
  waiting_.erase(expired, waiting_.end());
}

std::uint64_t TOutgoingQueue::LastTurn(const std::string& speaker) const {
  for (const TTurn& t : turns_) {
    if (t.speaker == speaker) return t.serial;
  }
  return 0;
}

const std::string& TOutgoingQueue::Next(std::size_t& waiting_index) const {
  waiting_index = waiting_.size();
  if (!urgent_.empty()) return urgent_.front().line.text;
  std::size_t best = 0;
  std::uint64_t best_turn = LastTurn(waiting_[0].line.speaker);
  for (std::size_t i = 1; i < waiting_.size(); ++i) {
    const TQueuedLine& l = waiting_[i].line;
    const TQueuedLine& b = waiting_[best].line;
    if (l.worth < b.worth) continue;
    const std::uint64_t turn = LastTurn(l.speaker);
    if (l.worth > b.worth || turn < best_turn) {
      best = i;
      best_turn = turn;
    }
  }
  waiting_index = best;
  return waiting_[best].line.text;
}

std::uint32_t TOutgoingQueue::QuotaWaitMs(std::uint32_t now, int units) {
  while (!sent_.empty() && now - sent_.front().at >= kFloodWindowMs) sent_.pop_front();
  int used = 0;
  for (const TSent& s : sent_) used += s.units;
  // A line longer than the quota itself still leaves, alone in an empty window, rather
  // than blocking the queue for good.
  if (used == 0 || used + units <= kFloodMaxUnits) return 0;
  for (const TSent& s : sent_) {
    used -= s.units;
    if (used == 0 || used + units <= kFloodMaxUnits) return s.at + kFloodWindowMs - now;
  }
  return 0;
}

std::optional<std::uint32_t> TOutgoingQueue::WaitMs(std::uint32_t now) {
  DropExpired(now);
  if (Empty()) {
    in_burst_ = false;
    return std::nullopt;
  }
  std::size_t index = 0;
  const std::string& text = Next(index);
  std::uint32_t wait = 0;
  if (sent_any_ && now - last_send_ <= kQueueMinGapMs)
    wait = kQueueMinGapMs + 1 - (now - last_send_);
  if (!IsLocalCommand(text)) wait = std::max(wait, QuotaWaitMs(now, Units(text)));
  return wait;
}

std::optional<std::string> TOutgoingQueue::Take(std::uint32_t now) {
  const std::optional<std::uint32_t> wait = WaitMs(now);
  if (!wait || *wait != 0) return std::nullopt;
  std::size_t index = 0;
  Next(index);
  std::string text;
  if (index == waiting_.size()) {
    text = std::move(urgent_.front().line.text);
    urgent_.pop_front();
  } else {
    const std::string speaker = waiting_[index].line.speaker;
    text = std::move(waiting_[index].line.text);
    waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(index));
    std::erase_if(turns_, [&](const TTurn& t) { return t.speaker == speaker; });
    turns_.push_back({speaker, ++serial_});
  }
  // A turn is remembered only while its speaker has replies waiting.
  std::erase_if(turns_, [&](const TTurn& t) {
    return std::none_of(waiting_.begin(), waiting_.end(),
                        [&](const TWaiting& w) { return w.line.speaker == t.speaker; });
  });
  if (!IsLocalCommand(text)) sent_.push_back({now, Units(text)});
  last_send_ = now;
  sent_any_ = true;
  ++taken_;
  if (Empty()) in_burst_ = false;
  return text;
}

}  // namespace corvane
