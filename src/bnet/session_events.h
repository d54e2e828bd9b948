#pragma once
// What the chat-server session tells its owner, one handler per event. The owner overrides
// the ones it cares about; the rest do nothing.

#include <cstdint>
#include <string>

#include "config/colors.h"

namespace corvane {

struct TBNETUserProfStats;
struct TBNETClanProfStats;

// Progress of the connections and the logon. The values are the keys of their texts in the
// language files.
enum class TSessionStatus : std::int32_t {
  Connecting = 1,
  Connected = 2,
  Disconnected = 3,
  BnlsConnecting = 300,
  BnlsConnected = 301,
  BnlsDisconnected = 302,
  BnlsVersionByte = 303,
  BnlsRevisionChosen = 304,
  LoggedOn = 308,
  FirstByteNotFF = 10000,  // the chat stream lost its framing
  UnknownMessage = 10001,
};

// How a status line is shown: the steps of a connection, the BNLS details of the logon,
// and oddities of the stream.
enum class TStatusKind : std::uint8_t { Step = 1, Detail = 2, Oddity = 3 };
TStatusKind KindOf(TSessionStatus status);

// What went wrong. The values are the keys of their texts in the language files (the two
// connect failures share one text).
enum class TSessionError : std::int32_t {
  Internal = -2,
  BnlsConnectFailed = 1000,
  ChatConnectFailed = 2000,
  AccountUnknown = 3009,
  WrongPassword = 3011,
  Flooded = 3012,
  LogonTimedOut = 3013,
  BnlsTimedOut = 3014,
  OutputBackedUp = 3015,
};

// A chat event of the server about a member, or about the bot itself.
struct TChatEventInfo {
  std::string user;
  std::string text;  // the line, the member's status string, or the channel's name
  std::uint32_t flags = 0;
  std::uint32_t ping = 0;
  bool operator==(const TChatEventInfo&) const = default;
};

class TSessionObserver {
 public:
  virtual ~TSessionObserver() = default;

  virtual void SessionStatus(TSessionStatus, const std::string& /*text*/) {}
  virtual void SessionError(TSessionError, const std::string& /*text*/) {}
  // Lines the session writes to the chat pane itself.
  virtual void SessionLine(const std::string& /*text*/, TColor) {}
  // The server took the bot into chat under this name.
  virtual void EnteredChat(const std::string& /*unique_name*/, const std::string& /*stat*/) {}

  // The channel.
  virtual void MemberShown(const TChatEventInfo&) {}  // already there when the bot came
  virtual void MemberJoined(const TChatEventInfo&) {}
  virtual void MemberLeft(const TChatEventInfo&) {}
  virtual void MemberFlagsChanged(const TChatEventInfo&) {}
  virtual void ChannelEntered(const TChatEventInfo&) {}  // text: the channel's name
  virtual void ChannelFull() {}
  virtual void ChannelRestricted() {}

  // Lines.
  virtual void WhisperReceived(const TChatEventInfo&) {}
  virtual void WhisperDelivered(const TChatEventInfo&) {}  // a whisper the bot sent
  virtual void TalkReceived(const TChatEventInfo&) {}
  virtual void EmoteReceived(const TChatEventInfo&) {}
  virtual void BroadcastReceived(const TChatEventInfo&) {}
  virtual void InfoReceived(const std::string& /*text*/) {}
  virtual void ErrorReceived(const std::string& /*text*/) {}
  virtual void MessageBoxReceived(const std::string& /*text*/, const std::string& /*caption*/,
                                  std::uint32_t /*style*/) {}

  // Friends and clan.
  virtual void FriendsListReceived() {}
  virtual void ClanInfoReceived() {}
  virtual void ClanListReceived() {}
  virtual void ClanMemberChanged(const std::string& /*name*/, std::uint8_t /*rank*/,
                                 std::uint8_t /*online*/) {}
  // The answer to an invitation the bot sent.
  virtual void ClanInvitationAnswered(const std::string& /*user*/, std::uint32_t /*result*/) {}
  // The bot is invited into a clan.
  virtual void ClanInvitationReceived(const std::string& /*tag*/, const std::string& /*clan*/,
                                      const std::string& /*inviter*/, std::uint32_t /*cookie*/) {}

  // Profiles; each record lives only during the call.
  virtual void UserProfileReceived(const TBNETUserProfStats&) {}
  virtual void ClanProfileReceived(const TBNETClanProfStats&) {}
};

}  // namespace corvane
