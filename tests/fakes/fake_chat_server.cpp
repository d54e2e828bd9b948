#include "fakes/fake_chat_server.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "bnet/sid.h"
#include "fakes/fake_bnls_server.h"

namespace corvane::test {
namespace {

constexpr std::uint8_t kProtocolByte = 0x01;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kChallengeSize = 32;  // what the BNLS logon challenge gives
constexpr std::size_t kProofSize = 20;
constexpr std::uint32_t kWrongProofStatus = 2;
constexpr std::uint32_t kLogonTypeNls = 2;
constexpr std::uint32_t kServerToken = 0x5EED1234;
constexpr std::uint32_t kFileTimeLow = 0xD53B0000;
constexpr std::uint32_t kFileTimeHigh = 0x01D9A1B2;
constexpr char kStatString[] = "PX3W 1R3W 0";

// Chat event ids this server sends by itself.
constexpr std::uint32_t kEventShowUser = 1;
constexpr std::uint32_t kEventChannel = 7;
constexpr std::uint32_t kEventChannelDoesNotExist = 14;

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

// Reads a null-terminated string at pos (up to the end of the body when it lacks the 0).
std::string ReadString(const std::string& body, std::size_t pos) {
  if (pos >= body.size()) return {};
  const std::size_t end = body.find('\0', pos);
  return body.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string FileTime() {
  return TFakeChatServer::Dword(kFileTimeLow) + TFakeChatServer::Dword(kFileTimeHigh);
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
  using S = TFakeChatServer;
  return S::Frame(SID_CHATEVENT, S::Dword(event) + S::Dword(flags) + S::Dword(ping) + S::Dword(0) +
                                     S::Dword(0) + S::Dword(0) + NtString(user) + NtString(text));
}

}  // namespace

TFakeChatServer::TFakeChatServer(std::uint16_t port) : tcp_(port) {
  tcp_.SetDataHandler([this](TFakeTcpServer&, std::string& inbox) { OnData(inbox); });
  tcp_.SetAcceptHandler([this](TFakeTcpServer& tcp) {
    std::lock_guard lock(mutex_);
    if (drop_on_ == kDropOnAccept) tcp.CloseConnection();
    first_byte_done_ = false;
    protocol_byte_seen_ = false;
    broken_ = false;
    logon_user_.clear();
    challenge_.clear();
    account_accepted_ = false;
    proof_right_ = false;
    logged_on_ = false;
    channel_.clear();
  });
}

TFakeChatServer::~TFakeChatServer() {
  tcp_.Stop();
}

void TFakeChatServer::SetAccount(const std::string& username, const std::string& password) {
  std::lock_guard lock(mutex_);
  account_user_ = username;
  account_password_ = password;
}

void TFakeChatServer::SetAccountLogonStatus(std::uint32_t status) {
  std::lock_guard lock(mutex_);
  account_logon_status_ = status;
}

void TFakeChatServer::SetProofStatus(std::uint32_t status) {
  std::lock_guard lock(mutex_);
  proof_status_ = status;
}

void TFakeChatServer::SetPvPgn(bool on) {
  std::lock_guard lock(mutex_);
  pvpgn_ = on;
}

void TFakeChatServer::SetProofExtraString(const std::string& s) {
  std::lock_guard lock(mutex_);
  has_proof_extra_ = true;
  proof_extra_ = s;
}

void TFakeChatServer::SetPingBeforeAuthInfo(bool on, std::uint32_t value) {
  std::lock_guard lock(mutex_);
  ping_before_auth_info_ = on;
  ping_value_ = value;
}

void TFakeChatServer::SetUniqueName(const std::string& name) {
  std::lock_guard lock(mutex_);
  has_unique_name_ = true;
  unique_name_ = name;
}

void TFakeChatServer::SetClan(const std::string& tag, std::uint8_t rank) {
  std::lock_guard lock(mutex_);
  has_clan_ = true;
  clan_tag_ = tag;
  clan_rank_ = rank;
}

void TFakeChatServer::SetDropOn(std::uint8_t id) {
  std::lock_guard lock(mutex_);
  drop_on_ = id;
}

void TFakeChatServer::SetMissingChannel(const std::string& channel) {
  std::lock_guard lock(mutex_);
  missing_channels_.push_back(channel);
}

void TFakeChatServer::SetChannelMembers(const std::vector<TFakeChannelMember>& members) {
  std::lock_guard lock(mutex_);
  channel_members_ = members;
}

void TFakeChatServer::SetChannelMembers(const std::string& channel,
                                        const std::vector<TFakeChannelMember>& members) {
  std::lock_guard lock(mutex_);
  members_by_channel_[Lower(channel)] = members;
}

void TFakeChatServer::SetMessageHandler(TMessageHandler handler) {
  std::lock_guard lock(mutex_);
  on_message_ = std::move(handler);
}

void TFakeChatServer::SetCloseHandler(TCloseHandler handler) {
  if (handler) {
    tcp_.SetCloseHandler([handler = std::move(handler)](TFakeTcpServer&) { handler(); });
  } else {
    tcp_.SetCloseHandler({});
  }
}

void TFakeChatServer::SetFriends(const std::vector<TFakeFriend>& friends) {
  std::lock_guard lock(mutex_);
  friends_ = friends;
}

void TFakeChatServer::SetClanMembers(const std::vector<TFakeClanMember>& members) {
  std::lock_guard lock(mutex_);
  clan_members_ = members;
}

std::vector<TChatMessage> TFakeChatServer::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void TFakeChatServer::ClearMessages() {
  std::lock_guard lock(mutex_);
  messages_.clear();
  tcp_.ClearReceived();
}

std::vector<TChatMessage> TFakeChatServer::MessagesWithId(std::uint8_t id) const {
  std::lock_guard lock(mutex_);
  std::vector<TChatMessage> out;
  for (const TChatMessage& m : messages_) {
    if (m.id == id) out.push_back(m);
  }
  return out;
}

bool TFakeChatServer::ProtocolByteSeen() const {
  std::lock_guard lock(mutex_);
  return protocol_byte_seen_;
}

bool TFakeChatServer::LoggedOn() const {
  std::lock_guard lock(mutex_);
  return logged_on_;
}

std::string TFakeChatServer::Channel() const {
  std::lock_guard lock(mutex_);
  return channel_;
}

void TFakeChatServer::SendChatEvent(std::uint32_t event, const std::string& user,
                                    const std::string& text, std::uint32_t flags,
                                    std::uint32_t ping) {
  Write(ChatEvent(event, user, text, flags, ping));
}

void TFakeChatServer::SendMessage(std::uint8_t id, const std::string& body) {
  Write(Frame(id, body));
}

void TFakeChatServer::SendRaw(const std::string& bytes) {
  Write(bytes);
}

void TFakeChatServer::SendSplit(const std::string& bytes, std::size_t at) {
  // Long enough for the client to take the first part in a read of its own.
  tcp_.WriteSplit(bytes, at, std::chrono::milliseconds(30));
}

void TFakeChatServer::DropConnection() {
  tcp_.CloseConnection();
}

std::string TFakeChatServer::Frame(std::uint8_t id, const std::string& body) {
  const std::size_t len = body.size() + kHeaderSize;
  if (len > 0xFFFF) throw std::length_error("fake chat server: message too long for its frame");
  std::string s;
  s.push_back(static_cast<char>(0xFF));
  s.push_back(static_cast<char>(id));
  s += Word(static_cast<std::uint16_t>(len));
  return s + body;
}

std::string TFakeChatServer::Dword(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string TFakeChatServer::Word(std::uint16_t v) {
  std::string s(2, '\0');
  s[0] = static_cast<char>(v & 0xFF);
  s[1] = static_cast<char>((v >> 8) & 0xFF);
  return s;
}

std::string TFakeChatServer::SaltAndServerKey() {
  std::string s(64, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((0x11 + i * 13) & 0xFF);
  return s;
}

void TFakeChatServer::Write(const std::string& bytes) {
  if (!bytes.empty()) tcp_.Write(bytes);
}

void TFakeChatServer::OnData(std::string& inbox) {
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
      }
    }
    if (broken_) {
      tcp_.CloseConnection();
      return;
    }
  }
  // Every round consumes a whole message of at least four bytes, or stops.
  while (inbox.size() >= kHeaderSize) {
    const auto first = static_cast<std::uint8_t>(inbox[0]);
    const auto len = static_cast<std::size_t>(static_cast<unsigned char>(inbox[2]) |
                                              (static_cast<unsigned char>(inbox[3]) << 8));
    if (first != 0xFF || len < kHeaderSize) {  // nonsense from the client: drop it
      std::lock_guard lock(mutex_);
      broken_ = true;
      inbox.clear();
      tcp_.CloseConnection();
      return;
    }
    if (inbox.size() < len) return;
    TChatMessage m;
    m.id = static_cast<std::uint8_t>(inbox[1]);
    m.body = inbox.substr(kHeaderSize, len - kHeaderSize);
    m.when = std::chrono::steady_clock::now();
    inbox.erase(0, len);
    TMessageHandler on_message;
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(m);
      on_message = on_message_;
    }
    Handle(m);
    if (on_message) on_message(m);
  }
}

void TFakeChatServer::Handle(const TChatMessage& m) {
  std::string out;
  {
    std::lock_guard lock(mutex_);
    if (drop_on_ != 0 && m.id == drop_on_) {
      tcp_.CloseConnection();
      return;
    }
    const std::string unique = has_unique_name_ ? unique_name_ : logon_user_;
    switch (m.id) {
      case SID_AUTH_INFO:
        if (ping_before_auth_info_) out += Frame(SID_PING, Dword(ping_value_));
        out += Frame(SID_AUTH_INFO, Dword(kLogonTypeNls) + Dword(kServerToken) + Dword(0) +
                                        FileTime() + NtString("ver-IX86-1.mpq") +
                                        NtString("A=1 B=2 C=3 4 A=A^S B=B-C C=C+A A=A^B") +
                                        ServerSignature());
        break;
      case SID_AUTH_ACCOUNTLOGON:
        challenge_ = m.body.substr(0, kChallengeSize);
        logon_user_ = ReadString(m.body, kChallengeSize);
        account_accepted_ = account_logon_status_ == 0;
        out = Frame(SID_AUTH_ACCOUNTLOGON,
                    Dword(account_logon_status_) + (account_accepted_ ? SaltAndServerKey() : ""));
        break;
      case SID_AUTH_ACCOUNTLOGONPROOF: {
        bool right;
        if (pvpgn_) {
          right = m.body == TFakeBnlsServer::HashAnswer(Lower(account_password_));
        } else {
          right = m.body == TFakeBnlsServer::ProofAnswer(SaltAndServerKey()) &&
                  challenge_ == TFakeBnlsServer::ChallengeAnswer(account_user_, account_password_);
        }
        right = right && account_accepted_;
        proof_right_ = right;
        const std::uint32_t status = right ? proof_status_ : kWrongProofStatus;
        out =
            Frame(SID_AUTH_ACCOUNTLOGONPROOF,
                  Dword(status) + ServerProof() + (has_proof_extra_ ? NtString(proof_extra_) : ""));
        if (right && (status == 0 || status == 0x0E) && has_clan_)
          out += Frame(SID_CLANINFO, Byte(0) + WireTag(clan_tag_) + Byte(clan_rank_));
        break;
      }
      case SID_ENTERCHAT:
        out =
            Frame(SID_ENTERCHAT, NtString(unique) + NtString(kStatString) + NtString(logon_user_));
        if (proof_right_) logged_on_ = true;
        break;
      case SID_GETICONDATA:
        out = Frame(SID_GETICONDATA, FileTime() + NtString("icons-WAR3.bni"));
        break;
      case SID_JOINCHANNEL: {
        const std::uint32_t flags = ReadDword(m.body, 0);
        const std::string name = ReadString(m.body, 4);
        const bool missing = std::find(missing_channels_.begin(), missing_channels_.end(), name) !=
                             missing_channels_.end();
        if (missing && flags == 0) {
          out = ChatEvent(kEventChannelDoesNotExist, "", name, 0, 0);
          break;
        }
        channel_ = name;
        out = ChatEvent(kEventChannel, unique, name, 0, 0);
        const auto listed = members_by_channel_.find(Lower(name));
        const std::vector<TFakeChannelMember>& members =
            listed != members_by_channel_.end() ? listed->second : channel_members_;
        for (const TFakeChannelMember& member : members)
          out +=
              ChatEvent(kEventShowUser, member.name, member.statstring, member.flags, member.ping);
        out += ChatEvent(kEventShowUser, unique, kStatString, 0, 0);
        break;
      }
      case SID_FRIENDSLIST: {
        const std::size_t count = std::min<std::size_t>(friends_.size(), 0xFF);
        std::string body = Byte(static_cast<std::uint8_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
          const TFakeFriend& f = friends_[i];
          std::string product = f.product.substr(0, 4);
          product.resize(4, '\0');
          std::reverse(product.begin(), product.end());
          body += NtString(f.name) + Byte(f.status) + Byte(f.location_type) + product +
                  NtString(f.location);
        }
        out = Frame(SID_FRIENDSLIST, body);
        break;
      }
      case SID_CLANMEMBERLIST: {
        const std::size_t count = std::min<std::size_t>(clan_members_.size(), 0xFF);
        std::string body = Dword(ReadDword(m.body, 0)) + Byte(static_cast<std::uint8_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
          const TFakeClanMember& c = clan_members_[i];
          body += NtString(c.name) + Byte(c.rank) + Byte(c.online) + NtString(c.location);
        }
        out = Frame(SID_CLANMEMBERLIST, body);
        break;
      }
      default:  // SID_PING, SID_NETGAMEPORT, SID_CHATCOMMAND and the rest: recorded only
        break;
    }
  }
  Write(out);
}

}  // namespace corvane::test
