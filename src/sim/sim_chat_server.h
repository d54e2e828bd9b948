#pragma once
// A chat server of the bot's protocol on 127.0.0.1, enough for a bot to log on and chat:
// it checks the protocol byte, runs the account logon (verifying the values that
// TSimBnlsServer computes), enters chat, joins channels and shows their members, answers
// the friends and clan requests, and pushes chat events its owner sends. The demo server
// plays a channel with it; the tests build their fault injection on top of it.
//
// It keeps no record of what the client sends, so it runs as long as it is left to. Names
// a client gives are cut to kMaxNameLength before they are echoed, so every answer fits
// its frame; a client that sends something that is not the protocol loses its connection.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_tcp_server.h"

namespace corvane::sim {

// One message the client sent: id and the bytes after the 4-byte header.
struct TClientMessage {
  std::uint8_t id = 0;
  std::string body;
};

struct TSimChannelMember {
  std::string name;
  std::uint32_t flags = 0;
  std::uint32_t ping = 0;
  std::string statstring = "PX3W 1R3W 0";
};

struct TSimFriend {
  std::string name;
  std::uint8_t status = 0;
  std::uint8_t location_type = 0;
  std::string product = "WAR3";  // reading order; sent reversed
  std::string location;
};

struct TSimClanMember {
  std::string name;
  std::uint8_t rank = 0;
  std::uint8_t online = 0;
  std::string location;  // sent as a null-terminated string
};

class TSimChatServer {
 public:
  // The longest account, unique or channel name the server echoes; longer ones are cut.
  static constexpr std::size_t kMaxNameLength = 255;

  // Run on the server thread after a client message has been answered.
  using TMessageHandler = std::function<void(const TClientMessage& message)>;
  // Run on the server thread after the client's connection has ended.
  using TCloseHandler = std::function<void()>;

  // Listens on 127.0.0.1 (port 0: any free port) and serves from Start. Throws
  // std::runtime_error when it cannot listen.
  explicit TSimChatServer(std::uint16_t port = 0);
  virtual ~TSimChatServer();
  TSimChatServer(const TSimChatServer&) = delete;
  TSimChatServer& operator=(const TSimChatServer&) = delete;

  std::uint16_t Port() const { return tcp_->Port(); }
  void Start() { tcp_->Start(); }
  // Stops serving; the owner calls it before anything its handlers use goes.
  void Stop() { tcp_->Stop(); }

  // --- Logon behaviour (kept across connections) ---
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
  // Sends a SID_PING before the SID_AUTH_INFO answer, as official servers do.
  void SetPingBeforeAuthInfo(bool on, std::uint32_t value = 0x1234);
  // The unique name given in the SID_ENTERCHAT answer (default: the user name).
  void SetUniqueName(const std::string& name);
  // Sends SID_CLANINFO after a successful proof, before the SID_ENTERCHAT answer.
  void SetClan(const std::string& tag, std::uint8_t rank);
  // Channels that do not exist: joining one with flags 0 answers chat event 14; flags 2
  // creates it.
  void SetMissingChannel(const std::string& channel);
  // Members shown (chat event 1) after the bot joins any channel.
  void SetChannelMembers(const std::vector<TSimChannelMember>& members);
  // Members shown after the bot joins this channel (name compared ignoring case), instead
  // of the list for any channel.
  void SetChannelMembers(const std::string& channel, const std::vector<TSimChannelMember>& members);
  void SetFriends(const std::vector<TSimFriend>& friends);
  void SetClanMembers(const std::vector<TSimClanMember>& members);
  // The handlers may call anything of this server.
  void SetMessageHandler(TMessageHandler handler);
  void SetCloseHandler(TCloseHandler handler);

  // --- The current connection ---
  bool ProtocolByteSeen() const;  // the first byte of the connection was 0x01
  bool LoggedOn() const;          // the client sent a right proof and entered chat
  std::string Channel() const;    // the channel the client is in

  // --- Pushing to the client (any thread; nothing happens without a connection) ---
  void SendChatEvent(std::uint32_t event, const std::string& user, const std::string& text,
                     std::uint32_t flags = 0, std::uint32_t ping = 0);
  // Framed with 0xFF, id, length; throws std::length_error when the body does not fit.
  void SendMessage(std::uint8_t id, const std::string& body);

  // --- The wire ---
  // A whole message: 0xFF, id, u16 length, body. Throws std::length_error past 0xFFFF.
  static std::string Frame(std::uint8_t id, const std::string& body);
  static std::string Dword(std::uint32_t v);
  static std::string Word(std::uint16_t v);
  // Fixed salt and server key of the SID_AUTH_ACCOUNTLOGON answer (64 bytes).
  static std::string SaltAndServerKey();

 protected:
  // For a subclass that serves through a TCP server of its own kind (not started yet).
  explicit TSimChatServer(std::unique_ptr<TSimTcpServer> tcp);
  TSimTcpServer& Tcp() { return *tcp_; }

  // Hooks for a subclass, run on the server thread without a lock held: a connection was
  // accepted (after its state was reset); a whole message arrived, before it is answered:
  // false closes the connection instead of answering.
  virtual void OnConnection() {}
  virtual bool OnClientMessage(const TClientMessage& /*message*/) { return true; }

 private:
  void OnAccept();
  void OnData(std::string& inbox);
  std::string Answer(const TClientMessage& m);
  void Write(const std::string& bytes);

  // Settings, kept across connections.
  mutable std::mutex mutex_;  // guards every member below but tcp_
  std::string account_user_;
  std::string account_password_;
  std::uint32_t account_logon_status_ = 0;
  std::uint32_t proof_status_ = 0;
  bool pvpgn_ = false;
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
  std::vector<TSimChannelMember> channel_members_;
  std::map<std::string, std::vector<TSimChannelMember>> members_by_channel_;  // lower case
  std::vector<TSimFriend> friends_;
  std::vector<TSimClanMember> clan_members_;
  TMessageHandler on_message_;

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

  std::unique_ptr<TSimTcpServer> tcp_;  // last: its thread stops before the members above go
};

}  // namespace corvane::sim
