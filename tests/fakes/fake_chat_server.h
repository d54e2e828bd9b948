#pragma once
// A Battle.net-protocol chat server for the tests: checks the protocol byte, runs the
// account logon (verifying the values computed by TFakeBnlsServer), enters chat, joins
// channels, answers the friends and clan requests, records every message the client sends
// with its arrival time (and hands each to a handler, if set), and lets a test push chat
// events, clan, friends and profile messages, raw bytes, split writes and a dropped
// connection.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fakes/fake_tcp_server.h"

namespace corvane::test {

// One message the client sent: id and the bytes after the 4-byte header.
struct TChatMessage {
  std::uint8_t id = 0;
  std::string body;
  std::chrono::steady_clock::time_point when;
};

struct TFakeFriend {
  std::string name;
  std::uint8_t status = 0;
  std::uint8_t location_type = 0;
  std::string product = "WAR3";  // reading order; sent reversed
  std::string location;
};

struct TFakeClanMember {
  std::string name;
  std::uint8_t rank = 0;
  std::uint8_t online = 0;
  std::string location;  // sent as a null-terminated string
};

struct TFakeChannelMember {
  std::string name;
  std::uint32_t flags = 0;
  std::uint32_t ping = 0;
  std::string statstring = "PX3W 1R3W 0";
};

class TFakeChatServer {
 public:
  // Run on the server thread after a client message has been recorded and answered.
  using TMessageHandler = std::function<void(const TChatMessage& message)>;
  // Run on the server thread after the client's connection has ended.
  using TCloseHandler = std::function<void()>;

  // Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TFakeChatServer(std::uint16_t port = 0);
  ~TFakeChatServer();

  std::uint16_t Port() const { return tcp_.Port(); }
  TFakeTcpServer& Tcp() { return tcp_; }

  // --- Logon behaviour (set before the client connects) ---
  // The password the account has; the proof must match it.
  void SetAccount(const std::string& username, const std::string& password);
  // Status of the SID_AUTH_ACCOUNTLOGON answer (0: accepted).
  void SetAccountLogonStatus(std::uint32_t status);
  // Status of the SID_AUTH_ACCOUNTLOGONPROOF answer when the proof is right (0 or 0x0E);
  // a wrong proof is always answered with status 2.
  void SetProofStatus(std::uint32_t status);
  // PvPGN mode: the proof is the BNLS hash of the lower-cased password instead of the
  // BNLS logon proof of the salt and server key.
  void SetPvPgn(bool on);
  // Appends a string after the server proof of the proof answer, as official servers do.
  void SetProofExtraString(const std::string& s);
  // Sends a SID_PING before the SID_AUTH_INFO answer.
  void SetPingBeforeAuthInfo(bool on, std::uint32_t value = 0x1234);
  // Drops the connection instead of answering the client's message with this id
  // (kDropOnAccept: as soon as a connection is accepted; 0: never).
  static constexpr std::uint8_t kDropOnAccept = 0xFF;
  void SetDropOn(std::uint8_t id);
  // The unique name given in the SID_ENTERCHAT answer (default: the user name).
  void SetUniqueName(const std::string& name);
  // Sends SID_CLANINFO after a successful proof, before the SID_ENTERCHAT answer.
  void SetClan(const std::string& tag, std::uint8_t rank);
  // Channels that do not exist: joining one with flags 0 answers chat event 14; flags 2
  // creates it.
  void SetMissingChannel(const std::string& channel);
  // Members shown (chat event 1) after the bot joins any channel.
  void SetChannelMembers(const std::vector<TFakeChannelMember>& members);
  // Members shown after the bot joins this channel (name compared ignoring case), instead
  // of the list for any channel.
  void SetChannelMembers(const std::string& channel,
                         const std::vector<TFakeChannelMember>& members);
  void SetFriends(const std::vector<TFakeFriend>& friends);
  void SetClanMembers(const std::vector<TFakeClanMember>& members);
  // The handlers may call anything of this server but Tcp().Stop().
  void SetMessageHandler(TMessageHandler handler);
  void SetCloseHandler(TCloseHandler handler);

  // --- What happened ---
  std::vector<TChatMessage> Messages() const;  // every message the client sent, in order
  std::vector<TChatMessage> MessagesWithId(std::uint8_t id) const;
  void ClearMessages();  // forgets the record (long runs keep memory flat)
  bool ProtocolByteSeen() const;  // the first byte of the connection was 0x01
  bool LoggedOn() const;          // the client sent a right proof and entered chat
  std::string Channel() const;    // the channel the client is in

  // --- Pushing to the client (any thread) ---
  void SendChatEvent(std::uint32_t event, const std::string& user, const std::string& text,
                     std::uint32_t flags = 0, std::uint32_t ping = 0);
  void SendMessage(std::uint8_t id, const std::string& body);  // framed with 0xFF, id, length
  void SendRaw(const std::string& bytes);                      // one write, as it stands
  void SendSplit(const std::string& bytes, std::size_t at);    // two writes, a pause apart
  void DropConnection();

  // A whole message: 0xFF, id, u16 length, body.
  static std::string Frame(std::uint8_t id, const std::string& body);
  static std::string Dword(std::uint32_t v);
  static std::string Word(std::uint16_t v);
  // Fixed salt and server key of the SID_AUTH_ACCOUNTLOGON answer (64 bytes).
  static std::string SaltAndServerKey();

 private:
  void OnData(std::string& inbox);
  void Handle(const TChatMessage& m);
  void Write(const std::string& bytes);

  // Settings, kept across connections.
  mutable std::mutex mutex_;  // guards every member below but tcp_
  std::string account_user_;
  std::string account_password_;
  std::uint32_t account_logon_status_ = 0;
  std::uint32_t proof_status_ = 0;
  bool pvpgn_ = false;
  std::uint8_t drop_on_ = 0;
  bool has_proof_extra_ = false;
  std::string proof_extra_;
  bool ping_before_auth_info_ = false;
  std::uint32_t ping_value_ = 0x1234;
  bool has_unique_name_ = false;
  std::string unique_name_;
  bool has_clan_ = false;
  std::string clan_tag_;
  std::uint8_t clan_rank_ = 0;
  std::vector<std::string> missing_channels_;
  std::vector<TFakeChannelMember> channel_members_;
  std::map<std::string, std::vector<TFakeChannelMember>> members_by_channel_;  // lower case
  TMessageHandler on_message_;
  std::vector<TFakeFriend> friends_;
  std::vector<TFakeClanMember> clan_members_;

  // Everything the client sent, across connections.
  std::vector<TChatMessage> messages_;

  // The current connection; reset when a new one is accepted.
  bool first_byte_done_ = false;  // the protocol byte has been looked at
  bool protocol_byte_seen_ = false;
  bool broken_ = false;  // the client sent nonsense; the connection is being closed
  std::string logon_user_;
  std::string challenge_;  // the challenge payload of SID_AUTH_ACCOUNTLOGON
  bool account_accepted_ = false;
  bool proof_right_ = false;
  bool logged_on_ = false;
  std::string channel_;

  TFakeTcpServer tcp_;  // last: its thread stops before the members above go
};

}  // namespace corvane::test
