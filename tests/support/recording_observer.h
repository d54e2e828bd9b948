#pragma once
// Records what a session reports, one line of text per event, so that a test compares
// whole sequences: "Talk x|hi|16|50", "Line text|colour"; statuses as "kind:code text",
// errors as "code text".

#include <algorithm>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/session_events.h"

namespace corvane::test {

class TRecordingObserver final : public TSessionObserver {
  using Str = const std::string&;

 public:
  std::vector<std::string> statuses, errors, events;
  TBNETUserProfStats user;
  TBNETClanProfStats clan;

  bool Has(Str prefix) const {
    return std::any_of(events.begin(), events.end(), [&](Str e) { return e.starts_with(prefix); });
  }
  void Clear() { *this = {}; }

  void SessionStatus(TSessionStatus status, Str text) override {
    statuses.push_back(Text(KindOf(status)) + ":" + Text(status) + " " + text);
  }
  void SessionError(TSessionError e, Str text) override { errors.push_back(Text(e) + " " + text); }
  void SessionLine(Str text, TColor color) override { Add("Line", text, color); }
  void EnteredChat(Str name, Str stat) override { Add("EnteredChat", name, stat); }
  void MemberShown(const TChatEventInfo& e) override { Add("Shown", e); }
  void MemberJoined(const TChatEventInfo& e) override { Add("Joined", e); }
  void MemberLeft(const TChatEventInfo& e) override { Add("Left", e); }
  void MemberFlagsChanged(const TChatEventInfo& e) override { Add("Flags", e); }
  void ChannelEntered(const TChatEventInfo& e) override { Add("Channel", e); }
  void ChannelFull() override { Add("Full"); }
  void ChannelRestricted() override { Add("Restricted"); }
  void WhisperReceived(const TChatEventInfo& e) override { Add("Whisper", e); }
  void WhisperDelivered(const TChatEventInfo& e) override { Add("WhisperSent", e); }
  void TalkReceived(const TChatEventInfo& e) override { Add("Talk", e); }
  void EmoteReceived(const TChatEventInfo& e) override { Add("Emote", e); }
  void BroadcastReceived(const TChatEventInfo& e) override { Add("Broadcast", e); }
  void InfoReceived(Str text) override { Add("Info", text); }
  void ErrorReceived(Str text) override { Add("Error", text); }
  void MessageBoxReceived(Str text, Str caption, std::uint32_t style) override {
    Add("MessageBox", text, caption, style);
  }
  void FriendsListReceived() override { Add("Friends"); }
  void ClanInfoReceived() override { Add("ClanInfo"); }
  void ClanListReceived() override { Add("ClanList"); }
  void ClanMemberChanged(Str n, std::uint8_t r, std::uint8_t o) override {
    Add("ClanMember", n, r, o);
  }
  void ClanInvitationAnswered(Str n, std::uint32_t r) override { Add("InvitationAnswer", n, r); }
  void ClanInvitationReceived(Str tag, Str name, Str inviter, std::uint32_t cookie) override {
    Add("Invited", tag, name, inviter, cookie);
  }
  void UserProfileReceived(const TBNETUserProfStats& u) override { user = u; }
  void ClanProfileReceived(const TBNETClanProfStats& c) override { clan = c; }

 private:
  static std::string Text(Str s) { return s; }
  static std::string Text(auto v) { return std::to_string(static_cast<std::uint32_t>(v)); }
  // "Name a|b|c"; numbers in decimal.
  void Add(const char* name, const auto&... fields) {
    std::string line = name;
    ((line += (line == name ? " " : "|") + Text(fields)), ...);
    events.push_back(line);
  }
  void Add(const char* name, const TChatEventInfo& e) {
    Add(name, e.user, e.text, e.flags, e.ping);
  }
};

}  // namespace corvane::test
