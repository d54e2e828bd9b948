#include "bnet/bnet.h"

#include <algorithm>

#include "bnet/sid.h"
#include "config/Operations.h"
#include "config/codepage.h"
#include "net/timeouts.h"

namespace corvane {
namespace {

constexpr std::uint8_t kFrameStart = 0xFF;
constexpr std::uint8_t kProtocolByte = 0x01;
constexpr int kHeaderSize = 4;
constexpr std::uint32_t kNlsRevision = 2;
constexpr std::uint32_t kJoinRetryFlags = 2;
constexpr int kBnlsRestartDelayMs = 400;
constexpr int kBnlsIdlePollMs = 50;
constexpr std::uint32_t kLogonNeedsEmail = 0x0E;  // accepted; the server asks for an e-mail
constexpr std::uint32_t kPlatformIx86 = 0x49583836;
constexpr std::uint32_t kLanguageRuRu = 0x52757255;
constexpr std::uint32_t kProductCodeWar3 = 0x57415233;
constexpr std::uint32_t kProductCodeW3xp = 0x57335850;
constexpr int kLogonServerDataSize = 64;  // salt and server key
constexpr int kServerProofSize = 20;
constexpr std::uint8_t kMaxClanRank = 4;  // leader

// Four-character codes arrive in reverse reading order; control bytes are padding.
std::string ReadReversedCode(TBuffer& m) {
  return ReversedPrintable(m.GetString(4));
}

// A clan tag as the server expects it: padded in front with zeros to four characters,
// then reversed.
std::string WireTag(const std::string& tag) {
  std::string t = tag.size() < 4 ? std::string(4 - tag.size(), '\0') + tag : tag.substr(0, 4);
  return std::string(t.rbegin(), t.rend());
}

std::string FourBytes(const std::string& s) {
  std::string t = s.substr(0, 4);
  t.resize(4, '\0');
  return t;
}

}  // namespace

TBNET::TBNET(TEventLoop& loop, TSessionConfig config)
    : config_(std::move(config)),
      chat_(loop),
      bnls_(loop),
      bnls_wait_(loop, [this] { StartBnls(); }),
      logon_timeout_(loop, [this] { LogonTimedOut(); }),
      bnls_timeout_(loop, [this] { BnlsTimedOut(); }),
      keep_alive_(loop, [this] { SendKeepAlive(); }) {
  chat_.OnConnect = [this](TCustomClient&, int code) { ChatConnected(code); };
  chat_.OnRead = [this](TCustomClient&, const std::uint8_t* bytes, int count) {
    ReceiveData(bytes, count);
  };
  chat_.OnDisconnect = [this](TCustomClient&) { ChatDisconnected(); };
  bnls_.OnConnect = [this](TBNLS&, int code) { BnlsConnected(code); };
  bnls_.OnDisconnect = [this](TBNLS&) { BnlsDisconnected(); };
  bnls_.OnVersionByte = [this](TBNLS&, std::uint32_t v) { BnlsVersionByte(v); };
  bnls_.OnChooseNLSRevision = [this](TBNLS&, std::uint32_t) { BnlsRevisionChosen(); };
  bnls_.OnLogonChallenge = [this](TBNLS&, std::unique_ptr<TBuffer> a) { BnlsLogonChallenge(*a); };
  bnls_.OnLogonProof = [this](TBNLS&, std::unique_ptr<TBuffer> a) { BnlsLogonProof(*a); };
  bnls_.OnHashData = [this](TBNLS&, std::unique_ptr<TBuffer> a) { BnlsHashData(*a); };
}

TBNET::~TBNET() {
  observer_ = nullptr;
  Disconnect();
  chat_.OnConnect = nullptr;
  chat_.OnRead = nullptr;
  chat_.OnDisconnect = nullptr;
  bnls_.OnConnect = nullptr;
  bnls_.OnDisconnect = nullptr;
}

void TBNET::Connect(const TSessionConfig& config) {
  if (Active()) return;
  config_ = config;
  logged_on_ = false;
  chat_.Connect(config_.Host, config_.Port);
  // Whatever step a silent server stops at, the logon ends within this time.
  logon_timeout_.StartSingleShot(kLogonTimeoutMs);
  Status(TSessionStatus::Connecting, "Connecting...");
}

void TBNET::Disconnect() {
  logged_on_ = false;
  bnls_logon_ = false;
  bnls_wait_.Stop();
  logon_timeout_.Stop();
  bnls_timeout_.Stop();
  keep_alive_.Stop();
  chat_.Disconnect();
  bnls_.Disconnect();
}

void TBNET::LogonTimedOut() {
  Error(TSessionError::LogonTimedOut, "The server did not complete the logon in time.");
  Disconnect();
}

void TBNET::AwaitBnlsAnswer() {
  bnls_timeout_.StartSingleShot(kBnlsAnswerTimeoutMs);
}

void TBNET::BnlsTimedOut() {
  if (!bnls_logon_) return;
  Error(TSessionError::BnlsTimedOut, "The BNLS server did not answer in time.");
  Disconnect();
}

void TBNET::SendKeepAlive() {
  SendMessage(SID_NULL, TBuffer());
}

// ---- Callbacks to the owner ----

TStatusKind KindOf(TSessionStatus status) {
  switch (status) {
    case TSessionStatus::BnlsVersionByte:
    case TSessionStatus::BnlsRevisionChosen:
      return TStatusKind::Detail;
    case TSessionStatus::FirstByteNotFF:
    case TSessionStatus::UnknownMessage:
      return TStatusKind::Oddity;
    default:
      return TStatusKind::Step;
  }
}

void TBNET::Status(TSessionStatus status, const std::string& text) {
  Notify([&](TSessionObserver& o) { o.SessionStatus(status, text); });
}

void TBNET::Error(TSessionError error, const std::string& text) {
  Notify([&](TSessionObserver& o) { o.SessionError(error, text); });
}

void TBNET::ChatLine(const std::string& text, TColor color) {
  Notify([&](TSessionObserver& o) { o.SessionLine(text, color); });
}

// ---- Sending ----

bool TBNET::SendMessage(std::uint8_t id, const TBuffer& body) {
  const int length = kHeaderSize + body.Length();
  if (length > 0xFFFF) return false;  // its length field would lie and derail the server
  TBuffer m;
  m.AddByte(kFrameStart);
  m.AddByte(id);
  m.AddWord(0);
  m.AddData(body.Data(), body.Length());
  m.PatchChatLength();
  return chat_.Send(m.Data(), m.Length());
}

void TBNET::SendRaw(const TBuffer& bytes) {
  chat_.Send(bytes.Data(), bytes.Length());
}

// ---- The logon sequence ----

void TBNET::ChatConnected(int code) {
  if (code != 0) {
    logon_timeout_.Stop();
    Error(TSessionError::ChatConnectFailed, "Connect error! (" + std::to_string(code) + ")");
    return;
  }
  // A new stream: bytes left from a dropped connection must not frame it.
  receive_.Clear();
  Status(TSessionStatus::Connected, "Connected!");
  if (bnls_.Connected()) {
    // Give the old BNLS connection time to close, without stalling the main thread; its
    // notices belong to an earlier logon and must not act on this one.
    bnls_logon_ = false;
    bnls_.Disconnect();
    bnls_wait_.StartSingleShot(kBnlsRestartDelayMs);
    return;
  }
  StartBnls();
}

void TBNET::StartBnls() {
  if (!Active()) return;  // the chat connection went away meanwhile
  if (bnls_.Client().Active()) {
    // A connection of an earlier logon is still closing, or was still being made when that
    // logon ended and has come up since: it is closed (again) and awaited, never waited for
    // as if it would close by itself.
    bnls_.Disconnect();
    bnls_wait_.StartSingleShot(kBnlsIdlePollMs);
    return;
  }
  bnls_logon_ = true;
  bnls_.Connect(config_.BnlsServer, config_.BnlsPort);
  Status(TSessionStatus::BnlsConnecting, "Connecting...");
}

void TBNET::ChatDisconnected() {
  // The logon this BNLS connection served is over: nothing it says may reach the next one.
  bnls_logon_ = false;
  bnls_wait_.Stop();
  logon_timeout_.Stop();
  bnls_timeout_.Stop();
  keep_alive_.Stop();
  if (chat_.OutputOverflowed()) {
    Error(TSessionError::OutputBackedUp, "The server stopped reading what the bot sends.");
  }
  Status(TSessionStatus::Disconnected, "Disconnected.");
}

void TBNET::BnlsConnected(int code) {
  if (!bnls_logon_) return;  // an attempt that Disconnect abandoned
  if (code != 0) {
    Error(TSessionError::BnlsConnectFailed, "Connect error! (" + std::to_string(code) + ")");
    chat_.Disconnect();
    return;
  }
  Status(TSessionStatus::BnlsConnected, "Connected!");
  bnls_.RequestVersionByte(config_.Product);
  AwaitBnlsAnswer();
}

void TBNET::BnlsDisconnected() {
  Status(TSessionStatus::BnlsDisconnected, "Disconnected.");
  // A BNLS server that drops out during the logon ends it; a late notice of a connection
  // closed on purpose, arriving while a new one is being made, does not.
  if (bnls_logon_ && !logged_on_ && !bnls_.Client().Active()) Disconnect();
}

void TBNET::BnlsVersionByte(std::uint32_t version_byte) {
  if (!bnls_logon_) return;
  bnls_timeout_.Stop();
  Status(TSessionStatus::BnlsVersionByte, "Version byte received.");
  version_byte_ = version_byte;
  bnls_.ChooseNLSRevision(kNlsRevision);
  AwaitBnlsAnswer();
}

void TBNET::BnlsRevisionChosen() {
  if (!bnls_logon_) return;
  bnls_timeout_.Stop();
  Status(TSessionStatus::BnlsRevisionChosen, "Revision choosed.");
  TBuffer b;
  b.AddByte(kProtocolByte);
  b.AddByte(kFrameStart);
  b.AddByte(SID_AUTH_INFO);
  b.AddWord(0);
  b.AddDWord(0);  // protocol id
  b.AddDWord(kPlatformIx86);
  b.AddDWord(config_.Product == kProductWar3   ? kProductCodeWar3
             : config_.Product == kProductW3xp ? kProductCodeW3xp
                                               : 0);
  b.AddDWord(version_byte_);
  b.AddDWord(kLanguageRuRu);
  b.AddDWord(0);  // local address
  b.AddDWord(0);  // time zone bias
  b.AddDWord(0);  // locale id
  b.AddDWord(0);  // language id
  b.AddNTString("RUS");
  b.AddNTString("Russia");
  b.PatchFirstMessageLength();
  SendRaw(b);
}

void TBNET::HandleAuthInfo(TBuffer& m) {
  // Logon type, server token, a value, a file time, the version-check file and formula:
  // the BNLS server does the arithmetic, so none of it is needed here.
  m.GetDWord();
  m.GetDWord();
  m.GetDWord();
  m.Skip(8);
  m.GetNTString();
  m.GetNTString();
  bnls_.LogonChallenge(config_.Username, config_.Password);
  AwaitBnlsAnswer();
}

void TBNET::BnlsLogonChallenge(const TBuffer& answer) {
  if (!bnls_logon_) return;
  bnls_timeout_.Stop();
  TBuffer b(answer);
  b.AddNTString(config_.Username);
  SendMessage(SID_AUTH_ACCOUNTLOGON, b);
}

void TBNET::HandleAuthAccountLogon(TBuffer& m) {
  if (m.GetDWord() != 0) {
    Error(TSessionError::AccountUnknown, "Account not exist or need upgrade.");
    Disconnect();
    StopFraming();
    return;
  }
  if (m.Length() < kLogonServerDataSize)
    Error(TSessionError::Internal, "[BNET] Internal bot error.");
  if (config_.IsPvPgn) {
    // These servers keep the hash of the password in lower case.
    bnls_.HashData(LowerCase(config_.Password));
  } else {
    bnls_.LogonProof(m);
  }
  AwaitBnlsAnswer();
  m.Skip(kLogonServerDataSize);
}

void TBNET::BnlsLogonProof(const TBuffer& answer) {
  if (!bnls_logon_) return;  // the answer of an abandoned logon
  bnls_timeout_.Stop();
  SendMessage(SID_AUTH_ACCOUNTLOGONPROOF, answer);
}

void TBNET::BnlsHashData(const TBuffer& answer) {
  if (!bnls_logon_) return;
  bnls_timeout_.Stop();
  if (config_.IsPvPgn) SendMessage(SID_AUTH_ACCOUNTLOGONPROOF, answer);
}

void TBNET::HandleAuthAccountLogonProof(TBuffer& m) {
  const std::uint32_t status = m.GetDWord();
  m.Skip(kServerProofSize);
  if (status != 0 && status != kLogonNeedsEmail) {
    Error(TSessionError::WrongPassword, "Username or password incorrect.");
    Disconnect();
    StopFraming();
    return;
  }
  Status(TSessionStatus::LoggedOn, "Logged succesfully!");
  if (status == kLogonNeedsEmail) {
    ChatLine("[BNET] The server asks for an e-mail address to be registered for this account.",
             kYellow);
  }
  // SID_NETGAMEPORT (port 6112) and SID_ENTERCHAT in one send.
  static const std::uint8_t kEnter[] = {0xFF, SID_NETGAMEPORT, 0x06, 0x00, 0xE0, 0x17,
                                        0xFF, SID_ENTERCHAT,   0x06, 0x00, 0x00, 0x00};
  chat_.Send(kEnter, sizeof kEnter);
}

// ---- Framing ----

const std::array<TBNET::THandler, 256>& TBNET::Handlers() {
  static const std::array<THandler, 256> table = [] {
    std::array<THandler, 256> t{};
    t[SID_NULL] = &TBNET::HandleIgnored;
    t[SID_ENTERCHAT] = &TBNET::HandleEnterChat;
    t[SID_CHATEVENT] = &TBNET::HandleChatEvent;
    t[SID_FLOODDETECTED] = &TBNET::HandleFloodDetected;
    t[SID_MESSAGEBOX] = &TBNET::HandleMessageBox;
    t[SID_PING] = &TBNET::HandlePing;
    t[SID_GETICONDATA] = &TBNET::HandleIgnored;
    t[SID_REQUIREDWORK] = &TBNET::HandleIgnored;
    t[SID_WARCRAFTGENERAL] = &TBNET::HandleWarcraftGeneral;
    t[SID_AUTH_INFO] = &TBNET::HandleAuthInfo;
    t[SID_AUTH_ACCOUNTLOGON] = &TBNET::HandleAuthAccountLogon;
    t[SID_AUTH_ACCOUNTLOGONPROOF] = &TBNET::HandleAuthAccountLogonProof;
    t[SID_FRIENDSLIST] = &TBNET::HandleFriendsList;
    for (const std::uint8_t id :
         {SID_FRIENDSUPDATE, SID_FRIENDSADD, SID_FRIENDSREMOVE, SID_FRIENDSPOSITION}) {
      t[id] = &TBNET::HandleFriendsChanged;
    }
    t[SID_CLANINFO] = &TBNET::HandleClanInfo;
    t[SID_CLANINVITATION] = &TBNET::HandleClanInvitation;
    t[SID_CLANINVITATIONRESPONSE] = &TBNET::HandleClanInvitationResponse;
    t[SID_CLANMEMBERLIST] = &TBNET::HandleClanMemberList;
    t[SID_CLANMEMBERSTATUSCHANGE] = &TBNET::HandleClanMemberStatusChange;
    return t;
  }();
  return table;
}

void TBNET::ReceiveData(const std::uint8_t* bytes, int count) {
  if (count > 0) receive_.AddData(bytes, count);
  if (in_receive_) return;  // the loop below, further up the stack, takes it
  in_receive_ = true;
  stop_framing_ = false;
  std::weak_ptr<bool> alive = alive_;
  while (receive_.Length() >= kHeaderSize) {
    if (receive_.Data()[0] != kFrameStart) {
      Status(TSessionStatus::FirstByteNotFF, "First byte is not FF.");
      if (alive.expired()) return;
      if (receive_.Length() < kHeaderSize) break;  // the owner reconnected meanwhile
    }
    const std::uint8_t* p = receive_.Data();
    const std::uint8_t id = p[1];
    const int length = p[2] | (p[3] << 8);
    if (length > receive_.Length()) break;  // wait for the rest
    // Each handler gets exactly its own message: what it leaves unread goes with it, and
    // reading past its end gives zeros, so no message can shift the ones behind it. A
    // length below the header still moves on by the header.
    const int size = std::max(length, kHeaderSize);
    message_.Clear();
    message_.AddData(p + kHeaderSize, size - kHeaderSize);
    receive_.Skip(size);
    if (THandler handler = Handlers()[id]) {
      (this->*handler)(message_);
    } else {
      Status(TSessionStatus::UnknownMessage,
             "Unknown message ID: " + std::to_string(id) + ", Size: " + std::to_string(length));
    }
    if (alive.expired()) return;
    if (stop_framing_) {
      receive_.Clear();
      break;
    }
  }
  in_receive_ = false;
}

void TBNET::HandleIgnored(TBuffer&) {}

// ---- Chat ----

void TBNET::HandleEnterChat(TBuffer& m) {
  unique_name_ = m.GetNTString();
  const std::string statstring = m.GetNTString();
  m.GetNTString();  // account name
  Notify([&](TSessionObserver& o) { o.EnteredChat(unique_name_, statstring); });
  SendMessage(SID_GETICONDATA, TBuffer());
  logged_on_ = true;
  const std::string& home = config_.HomeChannel;
  JoinChannel(!home.empty() ? home : clan_info_.InClan ? "Clan " + clan_info_.Tag : "The Void", 0);
  RequestClanMemberList();
  RequestFriendsList();
  bnls_timeout_.Stop();
  bnls_.Disconnect();  // BNLS is needed no more
  keep_alive_.Start(kKeepAliveMs);
}

int TBNET::JoinChannel(const std::string& channel, std::uint32_t flags) {
  last_result_ = 2100;
  if (!logged_on_) return 1;
  last_channel_ = channel;
  TBuffer b;
  b.AddDWord(flags);
  b.AddNTString(channel);
  SendMessage(SID_JOINCHANNEL, b);
  last_result_ = 0;
  return 0;
}

void TBNET::SendChat(const std::string& text) {
  last_result_ = 2100;
  if (!logged_on_) return;
  if (!Active()) return;
  TBuffer b;
  b.AddNTString(config_.UTF8 ? ProcessCodePage().ToUtf8(text) : text);
  if (SendMessage(SID_CHATCOMMAND, b)) last_result_ = 0;
}

void TBNET::HandleChatEvent(TBuffer& m) {
  const std::uint32_t event = m.GetDWord();
  const std::uint32_t flags = m.GetDWord();
  const std::uint32_t ping = m.GetDWord();
  m.Skip(12);
  const std::string user = m.GetNTString();
  if (user == unique_name_) {
    my_ping_ = ping;
    my_flags_ = flags;
  }
  std::string text = m.GetNTString();
  if (config_.UTF8) text = ProcessCodePage().FromUtf8(text);
  // In chat and told about a channel (joined, full, refused...): the logon has ended.
  if (logged_on_) logon_timeout_.Stop();
  const TChatEventInfo info{user, std::move(text), flags, ping};
  switch (event) {
    case EID_SHOWUSER:
      Notify([&](TSessionObserver& o) { o.MemberShown(info); });
      break;
    case EID_JOIN:
      Notify([&](TSessionObserver& o) { o.MemberJoined(info); });
      break;
    case EID_LEAVE:
      Notify([&](TSessionObserver& o) { o.MemberLeft(info); });
      break;
    case EID_WHISPER:
      Notify([&](TSessionObserver& o) { o.WhisperReceived(info); });
      break;
    case EID_TALK:
      Notify([&](TSessionObserver& o) { o.TalkReceived(info); });
      break;
    case EID_BROADCAST:
      Notify([&](TSessionObserver& o) { o.BroadcastReceived(info); });
      break;
    case EID_CHANNEL:
      Notify([&](TSessionObserver& o) { o.ChannelEntered(info); });
      break;
    case EID_USERFLAGS:
      Notify([&](TSessionObserver& o) { o.MemberFlagsChanged(info); });
      break;
    case EID_WHISPERSENT:
      Notify([&](TSessionObserver& o) { o.WhisperDelivered(info); });
      break;
    case EID_CHANNELFULL:
      Notify([&](TSessionObserver& o) { o.ChannelFull(); });
      break;
    case EID_CHANNELDOESNOTEXIST:  // ask again, allowed to create it
      JoinChannel(last_channel_, kJoinRetryFlags);
      break;
    case EID_CHANNELRESTRICTED:
      Notify([&](TSessionObserver& o) { o.ChannelRestricted(); });
      break;
    case EID_INFO:
      Notify([&](TSessionObserver& o) { o.InfoReceived(info.text); });
      break;
    case EID_ERROR:
      Notify([&](TSessionObserver& o) { o.ErrorReceived(info.text); });
      break;
    case EID_EMOTE:
      Notify([&](TSessionObserver& o) { o.EmoteReceived(info); });
      break;
    default:
      break;  // nothing the bot acts on
  }
}

void TBNET::HandleMessageBox(TBuffer& m) {
  const std::uint32_t style = m.GetDWord();
  const std::string text = m.GetNTString();
  const std::string caption = m.GetNTString();
  Notify([&](TSessionObserver& o) { o.MessageBoxReceived(text, caption, style); });
}

void TBNET::HandleFloodDetected(TBuffer&) {
  Error(TSessionError::Flooded, "You disconnected for flooding.");
}

void TBNET::HandlePing(TBuffer& m) {
  const std::uint32_t value = m.GetDWord();
  if (config_.PingSpoofing) return;
  TBuffer b;
  b.AddDWord(value);
  SendMessage(SID_PING, b);
}

void TBNET::HandleWarcraftGeneral(TBuffer& m) {
  switch (m.GetByte()) {
    case 2: {
      m.GetDWord();
      m.GetByte();
      m.GetDWord();
      m.GetDWord();
      const std::uint16_t a = m.GetWord();
      const std::uint16_t b = m.GetWord();
      ChatLine("DC " + std::to_string(a), kRed);
      ChatLine("C " + std::to_string(b), kRed);
      if (!config_.DumpFileName.empty()) m.SaveToFile(config_.DumpFileName);
      m.Skip(b + 1);
      break;
    }
    case 4:
      DecodeUserProfile(m);
      break;
    case 8:
      DecodeClanProfile(m);
      break;
    default:
      break;
  }
}

// ---- friends_ ----

void TBNET::RequestFriendsList() {
  last_result_ = 2100;
  if (!logged_on_) return;
  SendMessage(SID_FRIENDSLIST, TBuffer());
  last_result_ = 0;
}

void TBNET::HandleFriendsList(TBuffer& m) {
  const std::uint8_t count = m.GetByte();
  friends_.clear();
  for (int i = 0; i < count; ++i) {
    TUser f;
    f.Name = m.GetNTString();
    f.Status = m.GetByte();
    f.LocationType = m.GetByte();
    f.Product = ReadReversedCode(m);
    f.Location = m.GetNTString();
    friends_.push_back(std::move(f));
  }
  Notify([](TSessionObserver& o) { o.FriendsListReceived(); });
}

void TBNET::HandleFriendsChanged(TBuffer&) {
  SendMessage(SID_FRIENDSLIST, TBuffer());
}

// ---- Clan ----

void TBNET::HandleClanInfo(TBuffer& m) {
  m.Skip(1);
  const std::string tag = ReadReversedCode(m);
  const std::uint8_t rank = m.GetByte();
  // A rank the protocol does not have is no rank: the message is ignored.
  if (rank > kMaxClanRank) return;
  clan_info_.InClan = true;
  clan_info_.Tag = tag;
  clan_info_.Rank = rank;
  Notify([](TSessionObserver& o) { o.ClanInfoReceived(); });
}

void TBNET::RequestClanMemberList() {
  last_result_ = 2100;
  if (!logged_on_) return;
  if (!clan_info_.InClan) {
    last_result_ = 2101;
    return;
  }
  TBuffer b;
  b.AddDWord(1);  // cookie
  SendMessage(SID_CLANMEMBERLIST, b);
  last_result_ = 0;
}

void TBNET::HandleClanMemberList(TBuffer& m) {
  m.GetDWord();  // cookie
  clan_members_.clear();
  const std::uint8_t count = m.GetByte();
  clan_info_.MemberCount = count;
  for (int i = 0; i < count; ++i) {
    TUser u;
    u.Name = m.GetNTString();
    u.Clan = clan_info_.Tag;
    u.Rank = m.GetByte();
    u.Status = m.GetByte();
    m.GetNTString();  // location, not kept
    clan_members_.push_back(std::move(u));
  }
  // Highest rank first, by exchanges, exactly as the member list has always been ordered.
  for (std::size_t i = 0; i < clan_members_.size(); ++i) {
    for (std::size_t j = i; j < clan_members_.size(); ++j) {
      if (clan_members_[j].Rank > clan_members_[i].Rank)
        std::swap(clan_members_[i], clan_members_[j]);
    }
  }
  Notify([](TSessionObserver& o) { o.ClanListReceived(); });
}

void TBNET::HandleClanMemberStatusChange(TBuffer& m) {
  const std::string name = m.GetNTString();
  const std::uint8_t rank = m.GetByte();
  const std::uint8_t status = m.GetByte();
  m.GetNTString();  // location, not kept
  if (name == config_.Username && rank <= kMaxClanRank) clan_info_.Rank = rank;
  for (TUser& u : clan_members_) {
    if (EqualsNoCase(u.Name, name)) {
      u.Rank = rank;
      u.Status = status;
      break;
    }
  }
  Notify([&](TSessionObserver& o) { o.ClanMemberChanged(name, rank, status); });
}

void TBNET::InviteToClan(const std::string& user) {
  last_result_ = 2100;
  if (!logged_on_) return;
  if (!clan_info_.InClan) {
    last_result_ = 2101;
    return;
  }
  if (clan_info_.Rank < 3) {
    last_result_ = 2102;
    return;
  }
  TBuffer b;
  b.AddDWord(AddCookie(user, {}));
  b.AddNTString(user);
  SendMessage(SID_CLANINVITATION, b);
  last_result_ = 0;
}

void TBNET::HandleClanInvitation(TBuffer& m) {
  const std::uint32_t cookie = m.GetDWord();
  const std::uint8_t result = m.GetByte();
  const bool known = FindCookie(cookie) != nullptr;
  const std::string name = known ? TakeCookie(cookie).UserName : "Unknown";
  RequestClanMemberList();
  Notify([&](TSessionObserver& o) { o.ClanInvitationAnswered(name, result); });
}

void TBNET::HandleClanInvitationResponse(TBuffer& m) {
  const std::uint32_t cookie = m.GetDWord();
  const std::string tag = ReadReversedCode(m);
  const std::string clan_name = m.GetNTString();
  const std::string inviter = m.GetNTString();
  Notify([&](TSessionObserver& o) { o.ClanInvitationReceived(tag, clan_name, inviter, cookie); });
}

void TBNET::AnswerClanInvitation(const std::string& tag, const std::string& inviter,
                                 std::uint8_t response, std::uint32_t cookie) {
  last_result_ = 2100;
  if (!logged_on_ || config_.IsPvPgn) return;
  TBuffer b;
  b.AddDWord(cookie);
  b.AddString(WireTag(tag));
  b.AddNTString(inviter);
  b.AddByte(response);
  SendMessage(SID_CLANINVITATIONRESPONSE, b);
  last_result_ = 0;
}

std::string TBNET::ClanInvitationResultText(std::uint32_t result) {
  switch (result) {
    case 0:
      return "Invitation accepted!";
    case 4:
      return "User decline to join.";
    case 5:
      return "Failed to invite user.";
    case 9:
      return "Clan is full.";
    default:
      return "Unknown clan invitation result [" + std::to_string(result) + "]";
  }
}

const TBotCookie* TBNET::FindCookie(std::uint32_t number) const {
  for (const TBotCookie& c : cookies_) {
    if (c.Number == number) return &c;
  }
  return nullptr;
}

std::uint32_t TBNET::AddCookie(std::string user, std::string clan_tag) {
  if (cookies_.size() >= kMaxCookies) cookies_.erase(cookies_.begin());
  cookies_.push_back({++last_cookie_, std::move(user), std::move(clan_tag)});
  return last_cookie_;
}

TBotCookie TBNET::TakeCookie(std::uint32_t number) {
  TBotCookie taken;
  const auto it = std::find_if(cookies_.begin(), cookies_.end(),
                               [&](const TBotCookie& c) { return c.Number == number; });
  if (it != cookies_.end()) {
    taken = std::move(*it);
    cookies_.erase(it);
  }
  return taken;
}

// ---- Profiles ----

void TBNET::RequestUserProfile(const std::string& account, const std::string& product) {
  last_result_ = 2100;
  if (!logged_on_) return;
  TBuffer b;
  b.AddByte(4);
  b.AddDWord(AddCookie(account, {}));
  b.AddNTString(account);
  b.AddString(FourBytes(product));
  SendMessage(SID_WARCRAFTGENERAL, b);
  last_result_ = 0;
}

void TBNET::RequestClanProfile(const std::string& tag, const std::string& product) {
  last_result_ = 2100;
  if (!logged_on_ || product.size() > 4) return;
  TBuffer b;
  b.AddByte(8);
  b.AddDWord(AddCookie({}, tag));
  b.AddString(WireTag(tag));
  b.AddString(FourBytes(product));
  SendMessage(SID_WARCRAFTGENERAL, b);
  last_result_ = 0;
}

namespace {

// Races arrive as random, human, orc, undead, night elf, tournament; records keep them
// as human, orc, undead, night elf, random, tournament.
constexpr std::size_t kRaceSlot[6] = {4, 0, 1, 2, 3, 5};

}  // namespace

void TBNET::DecodeUserProfile(TBuffer& m) {
  TBNETUserProfStats p;
  p.Cookie = m.GetDWord();
  p.UserName = TakeCookie(p.Cookie).UserName;
  p.IconId = m.GetString(4);
  const std::uint8_t ladders = m.GetByte();
  for (int i = 0; i < ladders; ++i) {
    const std::string type = m.GetString(4);
    TBNETProfLadder l;
    l.Present = 1;
    l.Wins = m.GetWord();
    l.Losses = m.GetWord();
    l.Level = m.GetByte();
    l.Hours = m.GetByte();
    l.Experience = m.GetWord();
    l.Rank = static_cast<std::uint16_t>(m.GetDWord());
    if (type == "OLOS") {
      p.Solo = l;
    } else if (type == "MAET") {
      p.Team = l;
    } else if (type == " AFF") {
      p.Ffa = l;
    } else if (type == "1ORP") {
      p.Season = l;
    }  // other ladders are read past and dropped
  }
  const std::uint8_t races = m.GetByte();
  for (int i = 0; i < races; ++i) {
    TBNETProfRace r;
    r.Wins = m.GetWord();
    r.Losses = m.GetWord();
    if (i < 6) p.Races[kRaceSlot[i]] = r;
  }
  const std::uint8_t teams = m.GetByte();
  // Teams past the eighth are read and dropped; the count says how many slots hold one.
  p.TeamCount = static_cast<std::uint8_t>(std::min<int>(teams, static_cast<int>(p.Teams.size())));
  for (int i = 0; i < teams; ++i) {
    TBNETProfTeamRecord t;
    t.TeamType = m.GetString(4);
    t.Wins = m.GetWord();
    t.Losses = m.GetWord();
    t.Level = m.GetByte();
    t.Hours = m.GetByte();
    t.Experience = m.GetWord();
    t.Rank = static_cast<std::uint16_t>(m.GetDWord());
    m.Skip(8);
    const std::uint8_t partners = m.GetByte();
    for (int k = 0; k < partners; ++k) {
      std::string name = m.GetNTString();
      if (k == 0) t.Partner1 = std::move(name);
      if (k == 1) t.Partner2 = std::move(name);
      if (k == 2) t.Partner3 = std::move(name);
    }
    if (i < static_cast<int>(p.Teams.size())) p.Teams[static_cast<std::size_t>(i)] = std::move(t);
  }
  Notify([&](TSessionObserver& o) { o.UserProfileReceived(p); });
}

void TBNET::DecodeClanProfile(TBuffer& m) {
  TBNETClanProfStats p;
  p.Cookie = m.GetDWord();
  p.ClanTag = TakeCookie(p.Cookie).ClanTag;
  const std::uint8_t ladders = m.GetByte();
  for (int i = 0; i < ladders; ++i) {
    const std::string type = m.GetString(4);
    TBNETClanProfLadder l;
    l.Present = 1;
    l.Wins = m.GetDWord();
    l.Losses = m.GetDWord();
    l.Level = m.GetByte();
    l.Hours = m.GetByte();
    l.Experience = m.GetDWord();
    l.Rank = m.GetDWord();
    if (type == "SNLC") {
      p.Solo = l;
    } else if (type == "2NLC") {
      p.Team2 = l;
    } else if (type == "3NLC") {
      p.Team3 = l;
    } else if (type == "4NLC") {
      p.Team4 = l;
    }
  }
  const std::uint8_t races = m.GetByte();
  for (int i = 0; i < races; ++i) {
    TBNETClanProfRace r;
    r.Wins = m.GetDWord();
    r.Losses = m.GetDWord();
    if (i < 6) p.Races[kRaceSlot[i]] = r;
  }
  Notify([&](TSessionObserver& o) { o.ClanProfileReceived(p); });
}

}  // namespace corvane
