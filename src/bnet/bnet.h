#pragma once
// The session with one chat server: logs on through the BNLS client, frames the server's
// messages and hands each to its handler, answers pings, keeps the friends and clan lists
// and reports everything to its observer.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bnet/bnls.h"
#include "bnet/session_events.h"
#include "bnet/user.h"
#include "config/colors.h"
#include "net/Buffer.h"
#include "net/NetObjs.h"
#include "net/event_loop.h"

namespace corvane {

struct TBNETClanInfo {
  bool InClan = false;
  std::string Tag;
  std::uint8_t Rank = 0;  // 0-4
  std::int32_t MemberCount = 0;
};

// A request that waits for its answer.
struct TBotCookie {
  std::uint32_t Number = 0;
  std::string UserName;
  std::string ClanTag;
};

struct TBNETProfLadder {
  std::uint8_t Present = 0;
  std::uint16_t Wins = 0, Losses = 0, Experience = 0, Level = 0, Hours = 0, Rank = 0;
};

struct TBNETProfTeamRecord {
  std::string TeamType;  // the four bytes as they arrive
  std::uint16_t Wins = 0, Losses = 0, Experience = 0, Level = 0, Hours = 0, Rank = 0;
  std::string Partner1, Partner2, Partner3;
};

struct TBNETProfRace {
  std::uint16_t Wins = 0, Losses = 0;
};

// Race results are kept in the order human, orc, undead, night elf, random, tournament.
struct TBNETUserProfStats {
  std::uint32_t Cookie = 0;
  std::string UserName;
  std::string Unused;
  std::string IconId;
  TBNETProfLadder Solo, Team, Ffa, Season;
  std::array<TBNETProfRace, 6> Races{};
  std::uint8_t TeamCount = 0;
  std::array<TBNETProfTeamRecord, 8> Teams{};
};

struct TBNETClanProfLadder {
  std::uint8_t Present = 0;
  std::uint32_t Wins = 0, Losses = 0, Experience = 0, Level = 0, Hours = 0, Rank = 0;
};

struct TBNETClanProfRace {
  std::uint32_t Wins = 0, Losses = 0;
};

struct TBNETClanProfStats {
  std::uint32_t Cookie = 0;
  std::string ClanTag;
  TBNETClanProfLadder Solo, Team2, Team3, Team4;
  std::array<TBNETClanProfRace, 6> Races{};
};

// Answers to a clan invitation.
inline constexpr std::uint8_t kClanInvitationAccept = 6;
inline constexpr std::uint8_t kClanInvitationDecline = 9;

// Product numbers of the BNLS server (the profile's Game setting).
inline constexpr std::uint32_t kProductWar3 = 7;
inline constexpr std::uint32_t kProductW3xp = 8;

// What a logon needs; given to Connect.
struct TSessionConfig {
  std::string Host;
  int Port = 0;
  std::string BnlsServer;
  int BnlsPort = 0;
  std::uint32_t Product = 0;  // kProductWar3 or kProductW3xp
  bool IsPvPgn = false;
  std::string Username;
  std::string Password;
  bool UTF8 = false;
  bool PingSpoofing = false;
  std::string HomeChannel;
  // Where the payload of SID_WARCRAFTGENERAL sub-command 2 is written; empty: nowhere.
  std::string DumpFileName;
};

class TBNET {
 public:
  // The configuration holds until the first Connect (a session that only decodes uses it).
  explicit TBNET(TEventLoop& loop, TSessionConfig config = {});
  ~TBNET();
  TBNET(const TBNET&) = delete;
  TBNET& operator=(const TBNET&) = delete;

  // Where the events go; none until set. The observer outlives the session's use of it.
  void SetObserver(TSessionObserver* observer) { observer_ = observer; }

  // Only when not Active: the outcome arrives as events.
  void Connect(const TSessionConfig& config);
  void Disconnect();
  bool Active() const { return chat_.Active(); }
  const TSessionConfig& Config() const { return config_; }
  // The one setting that changes during a session: chat text to and from UTF-8.
  void SetUtf8(bool utf8) { config_.UTF8 = utf8; }

  // Chat: 0 sent, 1 not logged on.
  int JoinChannel(const std::string& channel, std::uint32_t flags);
  void SendChat(const std::string& text);

  // Friends, clan and profiles; each is sent only while logged on.
  void RequestFriendsList();
  void RequestClanMemberList();
  void RequestUserProfile(const std::string& account, const std::string& product);
  void RequestClanProfile(const std::string& tag, const std::string& product);
  void InviteToClan(const std::string& user);
  void AnswerClanInvitation(const std::string& tag, const std::string& inviter,
                            std::uint8_t response, std::uint32_t cookie);
  static std::string ClanInvitationResultText(std::uint32_t result);
  const TBotCookie* FindCookie(std::uint32_t number) const;
  // Requests waiting for an answer are forgotten past this many, oldest first: a server
  // that never answers must not grow the table.
  static constexpr std::size_t kMaxCookies = 64;

  // Result of the last request: 2100 not logged on, 2101 not in a clan, 2102 rank too
  // low, 0 sent.
  int LastResult() const { return last_result_; }

  // The chat client's receive handler: frames the stream and handles each message.
  void ReceiveData(const std::uint8_t* bytes, int count);

  TBNLS& Bnls() { return bnls_; }
  TCustomClient& ChatClient() { return chat_; }

  // What the session knows; read by the owner.
  bool LoggedOn() const { return logged_on_; }
  const std::string& UniqueName() const { return unique_name_; }
  const std::string& LastChannel() const { return last_channel_; }
  const TBNETClanInfo& ClanInfo() const { return clan_info_; }
  const std::vector<TUser>& Friends() const { return friends_; }
  const std::vector<TUser>& ClanMembers() const { return clan_members_; }
  std::uint32_t MyPing() const { return my_ping_; }
  std::uint32_t MyFlags() const { return my_flags_; }
  std::size_t CookieCount() const { return cookies_.size(); }
  std::uint32_t LastCookie() const { return last_cookie_; }

 private:
  using THandler = void (TBNET::*)(TBuffer& message);
  static const std::array<THandler, 256>& Handlers();

  // Chat and BNLS client events.
  void ChatConnected(int code);
  void ChatDisconnected();
  void StartBnls();
  void BnlsConnected(int code);
  void BnlsDisconnected();
  void BnlsVersionByte(std::uint32_t version_byte);
  void BnlsRevisionChosen();
  void BnlsLogonChallenge(const TBuffer& answer);
  void BnlsLogonProof(const TBuffer& answer);
  void BnlsHashData(const TBuffer& answer);
  // A server that stops answering: the logon is abandoned, the owner's rules reconnect.
  void LogonTimedOut();
  void BnlsTimedOut();
  void AwaitBnlsAnswer();
  void SendKeepAlive();

  // One handler per message id.
  void HandleIgnored(TBuffer& m);
  void HandleEnterChat(TBuffer& m);
  void HandleChatEvent(TBuffer& m);
  void HandleFloodDetected(TBuffer& m);
  void HandleMessageBox(TBuffer& m);
  void HandlePing(TBuffer& m);
  void HandleWarcraftGeneral(TBuffer& m);
  void HandleAuthInfo(TBuffer& m);
  void HandleAuthAccountLogon(TBuffer& m);
  void HandleAuthAccountLogonProof(TBuffer& m);
  void HandleFriendsList(TBuffer& m);
  // An update, addition, removal or move only says the list changed: it is asked again.
  void HandleFriendsChanged(TBuffer& m);
  void HandleClanInfo(TBuffer& m);
  void HandleClanInvitation(TBuffer& m);
  void HandleClanInvitationResponse(TBuffer& m);
  void HandleClanMemberList(TBuffer& m);
  void HandleClanMemberStatusChange(TBuffer& m);
  void DecodeUserProfile(TBuffer& m);
  void DecodeClanProfile(TBuffer& m);

  void Status(TSessionStatus status, const std::string& text);
  void Error(TSessionError error, const std::string& text);
  void ChatLine(const std::string& text, TColor color);
  // Runs fn on the observer, if there is one.
  template <typename Fn>
  void Notify(Fn&& fn) {
    if (observer_ != nullptr) fn(*observer_);
  }
  std::uint32_t AddCookie(std::string user, std::string clan_tag);
  // Takes the cookie of an answer out of the table; an empty one when it is unknown.
  TBotCookie TakeCookie(std::uint32_t number);
  // Frames and sends a chat message; one longer than the 16-bit length allows is dropped.
  bool SendMessage(std::uint8_t id, const TBuffer& body);
  void SendRaw(const TBuffer& bytes);
  // Ends the handling of the current block (after a refused logon).
  void StopFraming() { stop_framing_ = true; }

  TSessionObserver* observer_ = nullptr;
  TSessionConfig config_;
  bool logged_on_ = false;
  std::string unique_name_;
  std::string last_channel_;
  TBNETClanInfo clan_info_;
  std::vector<TUser> friends_;
  std::vector<TUser> clan_members_;
  std::uint32_t my_ping_ = 0;
  std::uint32_t my_flags_ = 0;
  std::vector<TBotCookie> cookies_;
  std::uint32_t last_cookie_ = 0;
  TCustomClient chat_;
  TBNLS bnls_;
  TTimer bnls_wait_;
  TTimer logon_timeout_;
  TTimer bnls_timeout_;
  TTimer keep_alive_;
  TBuffer receive_;
  TBuffer message_;  // the message being handled, reused to spare allocations
  std::uint32_t version_byte_ = 0;
  int last_result_ = 0;
  bool in_receive_ = false;
  // The BNLS connection belongs to the logon under way. Set when it is opened; cleared by
  // Disconnect, by the loss of the chat connection and when a new logon closes an old BNLS
  // connection: the notices and answers of an abandoned one never touch a newer logon.
  bool bnls_logon_ = false;
  bool stop_framing_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
