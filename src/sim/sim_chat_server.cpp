#include "sim/sim_chat_server.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "bnet/sid.h"
#include "sim/sim_bnls_server.h"

namespace corvane::sim {
namespace {

constexpr std::uint8_t kProtocolByte = 0x01;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kMaxFrameSize = 0xFFFF;
constexpr std::size_t kChallengeSize = 32;  // what the BNLS logon challenge gives
constexpr std::size_t kProofSize = 20;
constexpr std::uint32_t kWrongProofStatus = 2;
constexpr std::uint32_t kProofStatusEmailWanted = 0x0E;
constexpr std::uint32_t kLogonTypeNls = 2;
constexpr std::uint32_t kServerToken = 0x5EED1234;
constexpr std::uint32_t kFileTimeLow = 0xD53B0000;
constexpr std::uint32_t kFileTimeHigh = 0x01D9A1B2;
constexpr char kStatString[] = "PX3W 1R3W 0";

std::string NtString(const std::string& s) {
  std::string out = s;
  out.push_back('\0');
  return out;
}

std::string Byte(std::uint8_t v) {
  return std::string(1, static_cast<char>(v));
}

// Reads a u32 at pos; 0 when the body is too short.
std::uint32_t ReadDword(const std::string& body, std::size_t pos) {
  if (body.size() < pos + 4) return 0;
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(body[pos + i])) << (8 * i);
  return v;
}

// Reads a null-terminated string at pos (up to the end of the body when it lacks the 0),
// cut to the longest name the server echoes.
std::string ReadName(const std::string& body, std::size_t pos) {
  if (pos >= body.size()) return {};
  const std::size_t end = body.find('\0', pos);
  const std::size_t length = end == std::string::npos ? body.size() - pos : end - pos;
  return body.substr(pos, std::min(length, TSimChatServer::kMaxNameLength));
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string FileTime() {
  return TSimChatServer::Dword(kFileTimeLow) + TSimChatServer::Dword(kFileTimeHigh);
}

std::string ServerSignature() {
  std::string s(128, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return s;
}

std::string ServerProof() {
  std::string s(kProofSize, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(0xA0 + i);
  return s;
}

// A clan tag as it travels: four bytes in reverse reading order, padded at the end with 0.
std::string WireTag(const std::string& tag) {
  std::string t = tag.substr(0, 4);
  std::reverse(t.begin(), t.end());
  t.resize(4, '\0');
  return t;
}

std::string ChatEvent(std::uint32_t event, const std::string& user, const std::string& text,
                      std::uint32_t flags, std::uint32_t ping) {
  using S = TSimChatServer;
  return S::Frame(SID_CHATEVENT, S::Dword(event) + S::Dword(flags) + S::Dword(ping) + S::Dword(0) +
                                     S::Dword(0) + S::Dword(0) + NtString(user) + NtString(text));
}

}  // namespace

TSimChatServer::TSimChatServer(std::uint16_t port)
    : TSimChatServer(std::make_unique<TSimTcpServer>(port)) {}

TSimChatServer::TSimChatServer(std::unique_ptr<TSimTcpServer> tcp) : tcp_(std::move(tcp)) {
  tcp_->SetDataHandler([this](TSimTcpServer&, std::string& inbox) { OnData(inbox); });
  tcp_->SetAcceptHandler([this](TSimTcpServer&) { OnAccept(); });
}

TSimChatServer::~TSimChatServer() {
  tcp_->Stop();
}

void TSimChatServer::SetAccount(const std::string& username, const std::string& password) {
  std::lock_guard lock(mutex_);
  account_user_ = username;
  account_password_ = password;
}

void TSimChatServer::SetAccountLogonStatus(std::uint32_t status) {
  std::lock_guard lock(mutex_);
  account_logon_status_ = status;
}

void TSimChatServer::SetProofStatus(std::uint32_t status) {
  std::lock_guard lock(mutex_);
  proof_status_ = status;
}

void TSimChatServer::SetPvPgn(bool on) {
  std::lock_guard lock(mutex_);
  pvpgn_ = on;
}

void TSimChatServer::SetProofExtraString(const std::string& s) {
  std::lock_guard lock(mutex_);
  has_proof_extra_ = true;
  proof_extra_ = s;
}

void TSimChatServer::SetPingBeforeAuthInfo(bool on, std::uint32_t value) {
  std::lock_guard lock(mutex_);
  ping_before_auth_info_ = on;
  ping_value_ = value;
}

void TSimChatServer::SetUniqueName(const std::string& name) {
  std::lock_guard lock(mutex_);
  has_unique_name_ = true;
  unique_name_ = name;
}

void TSimChatServer::SetClan(const std::string& tag, std::uint8_t rank) {
  std::lock_guard lock(mutex_);
  has_clan_ = true;
  clan_tag_ = tag;
  clan_rank_ = rank;
}

void TSimChatServer::SetMissingChannel(const std::string& channel) {
  std::lock_guard lock(mutex_);
  missing_channels_.push_back(channel);
}

void TSimChatServer::SetChannelMembers(const std::vector<TSimChannelMember>& members) {
  std::lock_guard lock(mutex_);
  channel_members_ = members;
}

void TSimChatServer::SetChannelMembers(const std::string& channel,
                                       const std::vector<TSimChannelMember>& members) {
  std::lock_guard lock(mutex_);
  members_by_channel_[Lower(channel)] = members;
}

void TSimChatServer::SetFriends(const std::vector<TSimFriend>& friends) {
  std::lock_guard lock(mutex_);
  friends_ = friends;
}

void TSimChatServer::SetClanMembers(const std::vector<TSimClanMember>& members) {
  std::lock_guard lock(mutex_);
  clan_members_ = members;
}

void TSimChatServer::SetMessageHandler(TMessageHandler handler) {
  std::lock_guard lock(mutex_);
  on_message_ = std::move(handler);
}

void TSimChatServer::SetCloseHandler(TCloseHandler handler) {
  if (handler) {
    tcp_->SetCloseHandler([handler = std::move(handler)](TSimTcpServer&) { handler(); });
  } else {
    tcp_->SetCloseHandler({});
  }
}

bool TSimChatServer::ProtocolByteSeen() const {
  std::lock_guard lock(mutex_);
  return protocol_byte_seen_;
}

bool TSimChatServer::LoggedOn() const {
  std::lock_guard lock(mutex_);
  return logged_on_;
}

std::string TSimChatServer::Channel() const {
  std::lock_guard lock(mutex_);
  return channel_;
}

void TSimChatServer::SendChatEvent(std::uint32_t event, const std::string& user,
                                   const std::string& text, std::uint32_t flags,
                                   std::uint32_t ping) {
  Write(ChatEvent(event, user, text, flags, ping));
}

void TSimChatServer::SendMessage(std::uint8_t id, const std::string& body) {
  Write(Frame(id, body));
}

std::string TSimChatServer::Frame(std::uint8_t id, const std::string& body) {
  const std::size_t len = body.size() + kHeaderSize;
  if (len > kMaxFrameSize) throw std::length_error("chat server: message too long for its frame");
  std::string s;
  s.push_back(static_cast<char>(0xFF));
  s.push_back(static_cast<char>(id));
  s += Word(static_cast<std::uint16_t>(len));
  return s + body;
}

std::string TSimChatServer::Dword(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string TSimChatServer::Word(std::uint16_t v) {
  std::string s(2, '\0');
  s[0] = static_cast<char>(v & 0xFF);
  s[1] = static_cast<char>((v >> 8) & 0xFF);
  return s;
}

std::string TSimChatServer::SaltAndServerKey() {
  std::string s(64, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((0x11 + i * 13) & 0xFF);
  return s;
}

void TSimChatServer::Write(const std::string& bytes) {
  if (!bytes.empty()) tcp_->Write(bytes);
}

void TSimChatServer::OnAccept() {
  {
    std::lock_guard lock(mutex_);
    first_byte_done_ = false;
    protocol_byte_seen_ = false;
    broken_ = false;
    logon_user_.clear();
    challenge_.clear();
    account_accepted_ = false;
    proof_right_ = false;
    logged_on_ = false;
    channel_.clear();
  }
  OnConnection();
}

void TSimChatServer::OnData(std::string& inbox) {
  {
    std::lock_guard lock(mutex_);
    if (broken_) {
      inbox.clear();
      return;
    }
    if (!first_byte_done_) {
      if (inbox.empty()) return;
      first_byte_done_ = true;
      protocol_byte_seen_ = static_cast<std::uint8_t>(inbox[0]) == kProtocolByte;
      if (protocol_byte_seen_) {
        inbox.erase(0, 1);
      } else {
        broken_ = true;
        inbox.clear();
        tcp_->CloseConnection();
        return;
      }
    }
  }
  // Every round consumes a whole message of at least four bytes, or stops.
  while (inbox.size() >= kHeaderSize) {
    const auto first = static_cast<std::uint8_t>(inbox[0]);
    const auto len = static_cast<std::size_t>(static_cast<unsigned char>(inbox[2]) |
                                              (static_cast<unsigned char>(inbox[3]) << 8));
    if (first != 0xFF || len < kHeaderSize) {  // not the protocol: drop the client
      {
        std::lock_guard lock(mutex_);
        broken_ = true;
      }
      inbox.clear();
      tcp_->CloseConnection();
      return;
    }
    if (inbox.size() < len) return;
    TClientMessage m;
    m.id = static_cast<std::uint8_t>(inbox[1]);
    m.body = inbox.substr(kHeaderSize, len - kHeaderSize);
    inbox.erase(0, len);
    if (OnClientMessage(m)) {
      Write(Answer(m));
    } else {
      tcp_->CloseConnection();
    }
    TMessageHandler on_message;
    {
      std::lock_guard lock(mutex_);
      on_message = on_message_;
    }
    if (on_message) on_message(m);
  }
}

std::string TSimChatServer::Answer(const TClientMessage& m) {
  std::lock_guard lock(mutex_);
  const std::string unique = has_unique_name_ ? unique_name_ : logon_user_;
  switch (m.id) {
    case SID_AUTH_INFO: {
      std::string out;
      if (ping_before_auth_info_) out += Frame(SID_PING, Dword(ping_value_));
      return out + Frame(SID_AUTH_INFO, Dword(kLogonTypeNls) + Dword(kServerToken) + Dword(0) +
                                            FileTime() + NtString("ver-IX86-1.mpq") +
                                            NtString("A=1 B=2 C=3 4 A=A^S B=B-C C=C+A A=A^B") +
                                            ServerSignature());
    }
    case SID_AUTH_ACCOUNTLOGON:
      challenge_ = m.body.substr(0, kChallengeSize);
      logon_user_ = ReadName(m.body, kChallengeSize);
      account_accepted_ = account_logon_status_ == 0;
      return Frame(SID_AUTH_ACCOUNTLOGON,
                   Dword(account_logon_status_) + (account_accepted_ ? SaltAndServerKey() : ""));
    case SID_AUTH_ACCOUNTLOGONPROOF: {
      bool right;
      if (pvpgn_) {
        right = m.body == TSimBnlsServer::HashAnswer(Lower(account_password_));
      } else {
        right = m.body == TSimBnlsServer::ProofAnswer(SaltAndServerKey()) &&
                challenge_ == TSimBnlsServer::ChallengeAnswer(account_user_, account_password_);
      }
      right = right && account_accepted_;
      proof_right_ = right;
      const std::uint32_t status = right ? proof_status_ : kWrongProofStatus;
      std::string out =
          Frame(SID_AUTH_ACCOUNTLOGONPROOF,
                Dword(status) + ServerProof() + (has_proof_extra_ ? NtString(proof_extra_) : ""));
      if (right && (status == 0 || status == kProofStatusEmailWanted) && has_clan_)
        out += Frame(SID_CLANINFO, Byte(0) + WireTag(clan_tag_) + Byte(clan_rank_));
      return out;
    }
    case SID_ENTERCHAT:
      if (proof_right_) logged_on_ = true;
      return Frame(SID_ENTERCHAT, NtString(unique) + NtString(kStatString) + NtString(logon_user_));
    case SID_GETICONDATA:
      return Frame(SID_GETICONDATA, FileTime() + NtString("icons-WAR3.bni"));
    case SID_JOINCHANNEL: {
      const std::uint32_t flags = ReadDword(m.body, 0);
      const std::string name = ReadName(m.body, 4);
      const bool missing = std::find(missing_channels_.begin(), missing_channels_.end(), name) !=
                           missing_channels_.end();
      if (missing && flags == 0) return ChatEvent(EID_CHANNELDOESNOTEXIST, "", name, 0, 0);
      channel_ = name;
      std::string out = ChatEvent(EID_CHANNEL, unique, name, 0, 0);
      const auto listed = members_by_channel_.find(Lower(name));
      const std::vector<TSimChannelMember>& members =
          listed != members_by_channel_.end() ? listed->second : channel_members_;
      for (const TSimChannelMember& member : members)
        out += ChatEvent(EID_SHOWUSER, member.name, member.statstring, member.flags, member.ping);
      return out + ChatEvent(EID_SHOWUSER, unique, kStatString, 0, 0);
    }
    case SID_FRIENDSLIST: {
      const std::size_t count = std::min<std::size_t>(friends_.size(), 0xFF);
      std::string body = Byte(static_cast<std::uint8_t>(count));
      for (std::size_t i = 0; i < count; ++i) {
        const TSimFriend& f = friends_[i];
        std::string product = f.product.substr(0, 4);
        product.resize(4, '\0');
        std::reverse(product.begin(), product.end());
        body += NtString(f.name) + Byte(f.status) + Byte(f.location_type) + product +
                NtString(f.location);
      }
      return Frame(SID_FRIENDSLIST, body);
    }
    case SID_CLANMEMBERLIST: {
      const std::size_t count = std::min<std::size_t>(clan_members_.size(), 0xFF);
      std::string body = Dword(ReadDword(m.body, 0)) + Byte(static_cast<std::uint8_t>(count));
      for (std::size_t i = 0; i < count; ++i) {
        const TSimClanMember& c = clan_members_[i];
        body += NtString(c.name) + Byte(c.rank) + Byte(c.online) + NtString(c.location);
      }
      return Frame(SID_CLANMEMBERLIST, body);
    }
    default:  // SID_PING, SID_NETGAMEPORT, SID_CHATCOMMAND and the rest: no answer
      return {};
  }
}

}  // namespace corvane::sim
