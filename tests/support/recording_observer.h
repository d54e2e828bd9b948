#pragma once
// Records what a session reports, one line of text per event, so that a test compares
// whole sequences: "Talk x|hi|16|50", statuses as "kind:code text", errors as "code text".

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/session_events.h"

namespace corvane::test {

class TRecordingObserver final : public TSessionObserver {
 public:
  std::vector<std::string> statuses, errors, events;
  std::vector<std::pair<std::string, TColor>> lines;
  TBNETUserProfStats user;
  TBNETClanProfStats clan;

  bool Has(const std::string& prefix) const {
    return std::any_of(events.begin(), events.end(),
                       [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
  void Clear() {
    statuses.clear();
    errors.clear();
    events.clear();
    lines.clear();
  }

  void SessionStatus(TSessionStatus status, const std::string& text) override {
    statuses.push_back(std::to_string(static_cast<int>(KindOf(status))) + ":" +
                       std::to_string(static_cast<int>(status)) + " " + text);
  }
  void SessionError(TSessionError error, const std::string& text) override {
    errors.push_back(std::to_string(static_cast<int>(error)) + " " + text);
  }
  void SessionLine(const std::string& text, TColor color) override {
    lines.push_back({text, color});
  }
  void EnteredChat(const std::string& name, const std::string& stat) override {
    Add("EnteredChat", name + "|" + stat);
  }
  void MemberShown(const TChatEventInfo& e) override { Add("Shown", e); }
  void MemberJoined(const TChatEventInfo& e) override { Add("Joined", e); }
  void MemberLeft(const TChatEventInfo& e) override { Add("Left", e); }
  void MemberFlagsChanged(const TChatEventInfo& e) override { Add("Flags", e); }
  void ChannelEntered(const TChatEventInfo& e) override { Add("Channel", e); }
  void ChannelFull() override { Add("Full", ""); }
  void ChannelRestricted() override { Add("Restricted", ""); }
  void WhisperReceived(const TChatEventInfo& e) override { Add("Whisper", e); }
  void WhisperDelivered(const TChatEventInfo& e) override { Add("WhisperSent", e); }
  void TalkReceived(const TChatEventInfo& e) override { Add("Talk", e); }
  void EmoteReceived(const TChatEventInfo& e) override { Add("Emote", e); }
  void BroadcastReceived(const TChatEventInfo& e) override { Add("Broadcast", e); }
  void InfoReceived(const std::string& text) override { Add("Info", text); }
  void ErrorReceived(const std::string& text) override { Add("Error", text); }
  void MessageBoxReceived(const std::string& text, const std::string& caption,
                          std::uint32_t style) override {
    Add("MessageBox", text + "|" + caption + "|" + std::to_string(style));
  }
  void FriendsListReceived() override { Add("Friends", ""); }
  void ClanInfoReceived() override { Add("ClanInfo", ""); }
  void ClanListReceived() override { Add("ClanList", ""); }
  void ClanMemberChanged(const std::string& name, std::uint8_t rank, std::uint8_t online) override {
    Add("ClanMember", name + "|" + std::to_string(rank) + "|" + std::to_string(online));
  }
  void ClanInvitationAnswered(const std::string& name, std::uint32_t result) override {
    Add("InvitationAnswer", name + "|" + std::to_string(result));
  }
  void ClanInvitationReceived(const std::string& tag, const std::string& clan_name,
                              const std::string& inviter, std::uint32_t cookie) override {
    Add("Invited", tag + "|" + clan_name + "|" + inviter + "|" + std::to_string(cookie));
  }
  void UserProfileReceived(const TBNETUserProfStats& u) override {
    user = u;
    Add("UserProfile", u.UserName);
  }
  void ClanProfileReceived(const TBNETClanProfStats& c) override {
    clan = c;
    Add("ClanProfile", c.ClanTag);
  }

 private:
  void Add(const char* name, const std::string& fields) {
    events.push_back(fields.empty() ? std::string(name) : std::string(name) + " " + fields);
  }
  void Add(const char* name, const TChatEventInfo& e) {
    Add(name, e.user + "|" + e.text + "|" + std::to_string(e.flags) + "|" + std::to_string(e.ping));
  }
};

}  // namespace corvane::test
