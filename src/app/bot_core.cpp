#include "app/bot_core.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "app/profile_display.h"
#include "bnet/statstring.h"
#include "bot/ChEvents.h"
#include "bot/great_idle_msgs.h"
#include "bot/internal_commands.h"
#include "config/Operations.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

constexpr char kProfSection[] = "BOT_INTERFACE_OPTIONSWND_PROF";
constexpr char kEventsSection[] = "BNET_EVENTS";
constexpr char kBnlsSection[] = "BNET_BNLS";
constexpr char kErrorsSection[] = "BNET_ERRORS";
constexpr char kClanInviteSection[] = "BNET_CLAN_INVITE";
constexpr char kSubmessagesSection[] = "CHAT_SUBMESSAGES";
constexpr char kBotSection[] = "BOT_MESSAGES";
constexpr char kConsole[] = "*";
constexpr std::int32_t kNoSessionValue = -10;

}  // namespace

TBotCore::TBotCore(TEventLoop& loop, std::string home, TFrontEnd& front)
    : loop_(loop),
      front_(front),
      profiles_(std::move(home)),
      session_(std::make_unique<TBNET>(loop)),
      database_(std::make_unique<TBotCommandControl>()),
      watch_ini_(profiles_.ProfilesIni()),
      queue_timer_(loop, [this] { QueueTick(); }),
      anti_flood_(loop, [this] { database_->SetReady(loop_.TickMs()); }),
      idle_timer_(loop, [this] { SendIdleMessage(*this); }),
      autoconnect_(loop, [this] { ConnectBot(); }),
      shutdown_watch_(loop, [this] { ShutdownWatch(); }),
      save_timer_(loop, [this] { SaveChanges(); }) {
  // Written into the home, not wherever the program happened to be started.
  session_->DumpFileName = profiles_.Home() + "/bottest0x02.bin";
}

TBotCore::~TBotCore() {
  Close();
}

void TBotCore::Start() {
  profiles_.CreateFolders();
  {
    TIniFile ini(profiles_.ProfilesIni());
    ini.WriteBool(kShutdownSection, kKillKey, false);
    front_.ReadWindowKeys(ini);
  }
  LoadProfile();
  if (!profiles_.Current().empty()) {
    std::string text = LangText(kProfSection, "profmsgload", "Loaded profile: %p");
    ReplaceAll(text, "%p", profiles_.Current());
    AddChatLine("[BOT] " + text, kCaptionGradient);
  } else {
    AddChatLine("[BOT] " + language_.Text(kProfSection, "profmsgloaderr"), kRed);
  }
  if (settings_.ConnectAtStartup) StartAutoconnect(kStartupConnectMs);
  anti_flood_.Start(kAntiFloodMs);
  shutdown_watch_.Start(kShutdownWatchMs);
  // Plug-ins last: they find the database, the profile and the language in place.
  plugins_ = std::make_unique<TBotPluginSystem>(plugin_host_);
  plugins_->StartPlugins(profiles_.PluginsDir());
}

void TBotCore::RestartPlugins() {
  if (closed_) return;
  plugins_.reset();
  plugins_ = std::make_unique<TBotPluginSystem>(plugin_host_);
  plugins_->StartPlugins(profiles_.PluginsDir());
}

void TBotCore::PluginEvent(std::int32_t event, const std::string& user, const std::string& text,
                           std::uint32_t flags, std::uint32_t ping) const {
  if (plugins_) {
    plugins_->BroadcastChatEvent(event, user, text, flags, static_cast<std::int32_t>(ping));
  }
}

void TBotCore::PluginMessage(std::int32_t message) const {
  if (plugins_) plugins_->BroadcastMessage(message, 0, 0);
}

void TBotCore::LoadProfile() {
  profiles_.LoadProfile(settings_);
  ApplySettings();
  ResetDatabase();
  // Another profile's commands: the plug-ins add theirs again.
  PluginMessage(CORVANE_MSG_PROFILE_SWITCHED);
}

void TBotCore::ApplySettings() {
  if (settings_.IdleEnable) {
    // An interval of 0 would queue lines as fast as the loop runs; a huge one would wrap.
    const std::int64_t minutes =
        std::clamp<std::int64_t>(settings_.IdleInterval, kMinIdleMinutes, kMaxIdleMinutes);
    idle_timer_.Start(static_cast<std::uint32_t>(minutes * 60'000));
  } else {
    idle_timer_.Stop();
  }
  language_.Apply(profiles_.LangDir(), settings_.Language);
  front_.LanguageApplied();
}

void TBotCore::ResetDatabase() {
  const std::string path = profiles_.DatabasePath();
  TDatabaseFileReport report;
  database_ = ResetCommandDatabase(
      false, path, [this](const std::string& name) { return InternalHandler(*this, name); },
      &report);
  database_->OnChanged = [this] { DatabaseChanged(); };
  database_dirty_ = false;
  database_writable_ = !report.unreadable || !report.set_aside.empty();
  if (report.unreadable) {
    std::string text;
    if (report.set_aside.empty()) {
      text = language_.Text(kBotSection, "db_unreadable_kept");
      ReplaceAll(text, "%reason", std::strerror(report.save_errno));
    } else {
      text = language_.Text(kBotSection, "db_unreadable");
      ReplaceAll(text, "%aside", report.set_aside);
    }
    ReplaceAll(text, "%file", path);
    AddChatLine("[BOT] " + text, kRed);
    front_.ReportFailure(text);
  } else if (!report.saved) {
    ReportSaveFailure(path, report.save_errno);
  }
}

void TBotCore::DatabaseChanged() {
  database_dirty_ = true;
  if (!closed_ && !save_timer_.Active()) save_timer_.StartSingleShot(kSaveDelayMs);
}

void TBotCore::SettingsChanged() {
  settings_dirty_ = true;
  if (!closed_ && !save_timer_.Active()) save_timer_.StartSingleShot(kSaveDelayMs);
}

void TBotCore::SaveChanges() {
  save_timer_.Stop();
  if (database_dirty_) SaveDatabase();
  if (settings_dirty_) SaveSettings();
}

bool TBotCore::SaveDatabase() {
  if (!database_writable_) return false;
  const std::string path = profiles_.DatabasePath();
  database_dirty_ = false;
  if (database_->SaveToFile(path)) {
    std::erase(failing_, path);
    return true;
  }
  // Kept as changed: the next change or the close tries again.
  database_dirty_ = true;
  ReportSaveFailure(path, errno);
  return false;
}

bool TBotCore::SaveSettings() {
  settings_dirty_ = false;
  std::string failed;
  if (profiles_.SaveProfile(settings_, &failed)) {
    std::erase(failing_, profiles_.ProfilesIni());
    std::erase(failing_, profiles_.SettingsPath());
    return true;
  }
  settings_dirty_ = true;
  ReportSaveFailure(failed, errno);
  return false;
}

void TBotCore::ReportSaveFailure(const std::string& path, int error) {
  // A full disk would otherwise repeat the line at every change.
  if (std::find(failing_.begin(), failing_.end(), path) != failing_.end()) return;
  failing_.push_back(path);
  std::string text = language_.Text(kBotSection, "save_failed");
  ReplaceAll(text, "%reason", std::strerror(error));
  ReplaceAll(text, "%file", path);
  AddChatLine("[BOT] " + text, kRed);
  front_.ReportFailure(text);
}

bool TBotCore::Close() {
  if (closed_) return close_saved_;
  closed_ = true;
  queue_timer_.Stop();
  anti_flood_.Stop();
  idle_timer_.Stop();
  autoconnect_.Stop();
  shutdown_watch_.Stop();
  save_timer_.Stop();
  // Close: the database, then the window keys. What fails now is lost unless the owner
  // learns it, so every failure counts, reported or not before.
  failing_.clear();
  close_saved_ = SaveDatabase();
  // The plug-ins are unloaded while the database they mark is still there.
  plugins_.reset();
  {
    TIniFile ini(profiles_.ProfilesIni());
    front_.WriteWindowKeys(ini);
  }
  // Destroy: the profile and its settings, then the session.
  close_saved_ = SaveSettings() && close_saved_;
  roster_.Clear();
  queue_.Clear();
  session_->OnStatus = nullptr;
  session_->OnError = nullptr;
  session_->OnChatEvent = nullptr;
  session_->OnProfile = nullptr;
  session_->OnChatLine = nullptr;
  session_->Disconnect();
  return close_saved_;
}

void TBotCore::Quit() {
  // Asked from inside a running command: the program ends from the loop, after it returns.
  std::weak_ptr<bool> alive = alive_;
  loop_.Post([this, alive] {
    if (!alive.expired()) front_.RequestClose();
  });
}

std::time_t TBotCore::Now() const {
  return std::time(nullptr);
}

// ---- Panes ----

void TBotCore::ShowLine(TPane pane, std::vector<TTextRun> runs) {
  front_.ShowLine(TPaneLine{pane, std::move(runs)});
}

void TBotCore::AddChatLine(const std::string& text, TColor color) {
  ShowLine(TPane::Chat, {{text, color}});
}

void TBotCore::AddChatMessage(const std::string& head, TColor head_color, const std::string& body,
                              TColor body_color, TPane pane) {
  ShowLine(pane, {{head + ":", head_color}, {" " + body, body_color}});
}

void TBotCore::RefreshList(int kind, const TUser* entry) {
  views_.Refresh(kind, entry, TViewSource{roster_.Members(), session_.get(), current_channel_});
  front_.ViewChanged();
}

bool TBotCore::ChooseView(TViewMode mode) {
  const bool changed =
      views_.Choose(mode, TViewSource{roster_.Members(), session_.get(), current_channel_});
  if (changed) front_.ViewChanged();
  return changed;
}

// ---- Connecting ----

void TBotCore::ConnectClicked() {
  // The user asks for a fresh start: the next failure waits the shortest time again.
  failed_attempts_ = 0;
  ConnectBot();
  user_disconnected_ = false;
}

void TBotCore::DisconnectClicked() {
  user_disconnected_ = true;
  DisconnectBot();
}

void TBotCore::StartAutoconnect(std::uint32_t interval_ms) {
  autoconnect_.StartSingleShot(interval_ms);
}

std::uint32_t TBotCore::BackOff() {
  constexpr int kMaxDoublings = 16;  // far past the longest wait; keeps the shift defined
  const std::uint64_t base = std::min<std::uint64_t>(
      std::uint64_t{kReconnectMs} << std::min(failed_attempts_, kMaxDoublings), kMaxReconnectMs);
  if (failed_attempts_ < kMaxDoublings) ++failed_attempts_;
  std::uniform_int_distribution<std::uint64_t> jitter(0, base / 5);
  return static_cast<std::uint32_t>(base + jitter(jitter_));
}

void TBotCore::ConnectBot() {
  autoconnect_.Stop();
  TProfileMessage refusal;
  if (!profiles_.CheckProfile(&refusal)) {
    front_.ProfileRefused(refusal);
    return;
  }
  TBNET& s = *session_;
  s.SetProduct(static_cast<std::uint32_t>(settings_.Game));
  s.BnlsServer = settings_.BnlsServer;
  s.BnlsPort = settings_.BnlsPort;
  s.IsPvPgn = settings_.IsPvPgn;
  s.Username = settings_.Username;
  s.Password = settings_.Password;
  s.UTF8 = settings_.UTF8;
  s.HomeChannel = settings_.HomeChannel;
  s.PingSpoofing = settings_.PingSpoofing;
  s.OnStatus = [this](TBNET&, std::int32_t kind, std::int32_t code, const std::string& text) {
    OnStatus(kind, code, text);
  };
  s.OnError = [this](TBNET&, std::int32_t code, const std::string& text) { OnError(code, text); };
  s.OnChatEvent = [this](TBNET&, std::int32_t id, const std::string& s1, const std::string& s2,
                         const std::string& s3, std::uint32_t n1,
                         std::uint32_t n2) { OnChatEvent(id, s1, s2, s3, n1, n2); };
  s.OnProfile = [this](TBNET&, std::int32_t kind, const TBNETUserProfStats* user,
                       const TBNETClanProfStats* clan) { OnProfile(kind, user, clan); };
  s.OnChatLine = [this](const std::string& text, TColor color) { AddChatLine(text, color); };
  s.Connect(settings_.BnetServer, settings_.BnetPort);
}

void TBotCore::DisconnectBot() {
  session_->Disconnect();
  autoconnect_.Stop();
}

void TBotCore::ShutdownWatch() {
  // The store reads the file again only when it changed (or has just changed).
  if (watch_ini_.ReadBool(kShutdownSection, kKillKey, false)) {
    shutdown_watch_.Stop();
    front_.RequestClose();
  }
}

// ---- The outgoing queue ----

void TBotCore::QueueLine(const std::string& line, TLineKind kind) {
  TQueuedLine q;
  q.text = line;
  q.greeting = kind == TLineKind::Greeting;
  if (kind == TLineKind::Reply) {
    q.owner = queue_context_.owner;
    q.speaker = queue_context_.speaker;
    // Looked up only for what a command says, not for every line of talk.
    std::string flags;
    if (!q.owner && !q.speaker.empty()) database_->GetUserRights(q.speaker, q.worth, flags);
  }
  queue_.Push(std::move(q), loop_.TickMs());
  NoteDrops();
  ScheduleQueue();
}

void TBotCore::NoteDrops() {
  if (!queue_.TakeDropNotice()) return;
  AddChatLine("[BOT] " + language_.Text(kBotSection, "queue_full"), kYellow);
}

void TBotCore::ScheduleQueue() {
  // The consumer runs exactly when the next line may leave, and not at all while nothing
  // waits: a kick on an idle queue leaves at once, and an idle bot is never woken.
  const std::optional<std::uint32_t> wait = closed_ ? std::nullopt : queue_.WaitMs(loop_.TickMs());
  NoteDrops();
  if (wait) {
    queue_timer_.StartSingleShot(*wait);
  } else {
    queue_timer_.Stop();
  }
}

void TBotCore::QueueTick() {
  if (auto line = queue_.Take(loop_.TickMs())) ProcessOutgoingLine(*line);
  ScheduleQueue();
}

void TBotCore::ProcessOutgoingLine(const std::string& line) {
  if (line.empty()) return;
  TBNET& s = *session_;
  const auto rest = [&](std::size_t n) { return line.substr(n); };
  if (line.rfind("/profile ", 0) == 0) {
    AddChatLine("Getting profile of: " + rest(9), kLime);
    s.RequestUserProfile(rest(9), "PX3W");
  } else if (line.rfind("/clanprofile ", 0) == 0) {
    const std::string tag = rest(13);
    if (tag.size() < 5) {
      AddChatLine("Getting clan profile of: " + tag, kLime);
      s.RequestClanProfile(tag, "PX3W");
    } else {
      AddChatLine("Invalid clan tag: " + tag, kLime);
    }
  } else if (line.rfind("/join ", 0) == 0) {
    s.JoinChannel(rest(6), 0);
  } else if (line.rfind("/j ", 0) == 0) {
    s.JoinChannel(rest(3), 0);
  } else if (s.Active()) {
    s.SendChat(line);
    if (line[0] != '/') AddChatMessage(s.UniqueName, kSilver, line, kWhite);
  }
}

// ---- The input line ----

bool TBotCore::TypeLine(const std::string& prefix, const std::string& input) {
  if (input.empty()) return false;
  const std::string line = prefix + input;
  // What the owner types, and what his console commands say, is his.
  const TContextScope owner(*this, TQueueContext{true, {}});
  if (input[0] == '/') {
    const std::uint32_t flags =
        session_ ? session_->MyFlags : static_cast<std::uint32_t>(kNoSessionValue);
    const std::int32_t ping =
        session_ ? static_cast<std::int32_t>(session_->MyPing) : kNoSessionValue;
    if (database_->ProcessCommand(*this, kConsole, line, "/", "L", flags, ping, kSourceConsole)) {
      history_.insert(history_.begin(), input);
      return true;
    }
  }
  if (!AllowTypedLine(*this, line)) return false;
  QueueLine(line);
  history_.insert(history_.begin(), input);
  return true;
}

// ---- Menu toggles ----

void TBotCore::ToggleUtf8() {
  settings_.UTF8 = !settings_.UTF8;
  session_->UTF8 = settings_.UTF8;
  SettingsChanged();
}

void TBotCore::ToggleJoinNotify() {
  settings_.JoinNotify = !settings_.JoinNotify;
  SettingsChanged();
}

// ---- The session's events ----

void TBotCore::OnStatus(std::int32_t kind, std::int32_t code, const std::string& text) {
  const TColor color = kind == 1 ? kLime : kind == 2 ? kGreen : kind == 3 ? kYellow : kWhite;
  if (code == 3) {
    views_.Clear();
    roster_.Clear();
    views_.SetCaption("Not connected");
    front_.ViewChanged();
    if (settings_.Autoreconnect && !user_disconnected_ && !autoconnect_.Active()) {
      StartAutoconnect(BackOff());
    }
  }
  const std::string key = std::to_string(code);
  if (code >= 1 && code <= 3) {
    AddChatLine("[BNET] " + LangText(kEventsSection, key, text), color);
  } else if (code >= 300 && code <= 306) {
    AddChatLine("[BNLS] " + LangText(kBnlsSection, key, text), color);
  } else {
    AddChatLine("[BNET] " + LangText(kBnlsSection, key, text), color);
  }
}

void TBotCore::OnError(std::int32_t code, const std::string& text) {
  if (code >= 1000 && code <= 1010) {
    AddChatLine("[BNLS] " + LangText(kBnlsSection, "1000", text), kRed);
  } else if (code >= 2000 && code <= 2010) {
    AddChatLine("[BNET] " + LangText(kErrorsSection, "2000", text), kRed);
    if (settings_.Autoreconnect) StartAutoconnect(BackOff());
  } else if (code == 3012) {
    AddChatLine("[BNET] " + LangText(kErrorsSection, "3012", text), kRed);
    if (settings_.Autoreconnect) {
      AddChatLine("[BNET] " + language_.Text(kErrorsSection, "flood_autorec"), kYellow);
      StartAutoconnect(kFloodReconnectMs);
    }
  } else {
    AddChatLine("[BNET] " + LangText(kErrorsSection, std::to_string(code), text), kRed);
  }
}

void TBotCore::Dispatch(const std::string& speaker, const std::string& text, std::uint32_t flags,
                        std::uint32_t ping, std::uint8_t source) {
  const TContextScope member(*this, TQueueContext{false, speaker});
  database_->ProcessCommand(*this, speaker, text, settings_.Trigger,
                            "L" + UserAttributes(session_.get(), speaker), flags,
                            static_cast<std::int32_t>(ping), source);
}

void TBotCore::OnChatEvent(std::int32_t id, const std::string& s1, const std::string& s2,
                           const std::string& s3, std::uint32_t n1, std::uint32_t n2) {
  switch (id) {
    case 101:  // a member already in the channel
      if (roster_.Find(s1) != nullptr) return;
      RefreshList(kAddMember, &roster_.Add(s1, n1, n2, s2, language_.Lookup()));
      OnUserInChannel(*this, s1);
      PluginEvent(CORVANE_EVENT_SHOW_USER, s1, "", n1, n2);
      break;
    case 102:  // a member joined
      if (s1 == session_->UniqueName) return;
      RefreshList(kAddMember, &roster_.Add(s1, n1, n2, s2, language_.Lookup()));
      OnUserJoin(*this, s1, s2, n1, n2);
      PluginEvent(CORVANE_EVENT_JOIN, s1, "", n1, n2);
      if (settings_.JoinNotify) {
        AddChatLine(s1 + " " + language_.Text(kSubmessagesSection, "102"), kSilver);
      }
      break;
    case 103:  // a member left
      if (const TUser* gone = roster_.Find(s1)) {
        const TUser copy = *gone;
        roster_.Remove(s1);  // first, so that the caption no longer counts him
        RefreshList(kRemoveMember, &copy);
        PluginEvent(CORVANE_EVENT_LEAVE, s1, "", n1, n2);
        OnUserLeave(*this, s1);
      }
      if (settings_.JoinNotify) {
        AddChatLine(s1 + " " + language_.Text(kSubmessagesSection, "103"), kSilver);
      }
      break;
    case 104: {  // a whisper to the bot
      last_whisperer_ = s1;
      std::string head = language_.Text(kEventsSection, "11");
      ReplaceAll(head, "%u", s1);
      AddChatMessage(head, kGreen, s2, kWhite);
      AddChatMessage(head, kGreen, s2, kWhite, TPane::Whisper);
      OnUserWhisper(*this, s1, s2);
      PluginEvent(CORVANE_EVENT_WHISPER, s1, s2, n1, n2);
      Dispatch(s1, s2, n1, n2, kSourceWhisper);
      break;
    }
    case 105:  // talk
      AddChatMessage(s1, kYellow, s2, kWhite);
      PluginEvent(CORVANE_EVENT_TALK, s1, s2, n1, n2);
      OnUserTalk(*this, s1, s2);
      Dispatch(s1, s2, n1, n2, kSourceTalk);
      break;
    case 106:
      AddChatMessage("[BNET BROADCAST] " + s1, kRed, s2, kWhite);
      break;
    case 107: {  // the bot entered a channel
      roster_.Clear();
      RefreshList(kRefreshChannel);
      AddChatLine(language_.Text(kEventsSection, "10") + " " + s2, kYellow);
      current_channel_ = s2;
      failed_attempts_ = 0;  // the logon got all the way: the next failure waits least
      OnChannelJoined(*this, s2);
      PluginEvent(CORVANE_EVENT_CHANNEL, s1, "", n1, n2);
      // The caption counts the new channel's members (none yet), not the old channel's.
      if (views_.Mode() == TViewMode::Channel) {
        views_.SetCaption(s2 + "(" + std::to_string(roster_.Size()) + ")");
        front_.ViewChanged();
      }
      break;
    }
    case 109:  // flags changed
      if (roster_.SetFlags(s1, n1)) {
        RefreshList(kRefreshChannel);
        PluginEvent(CORVANE_EVENT_USER_FLAGS, s1, "", n1, n2);
      }
      break;
    case 110: {  // a whisper the bot sent was delivered
      std::string head = language_.Text(kEventsSection, "12");
      ReplaceAll(head, "%u", s1);
      AddChatMessage(head, kGreen, s2, kWhite);
      AddChatMessage(head, kGreen, s2, kWhite, TPane::Whisper);
      PluginEvent(CORVANE_EVENT_WHISPER_SENT, s1, s2, n1, n2);
      break;
    }
    case 113:
      PluginEvent(CORVANE_EVENT_CHANNEL_FULL, "", "", 0, 0);
      AddChatLine(language_.Text(kEventsSection, "13"), kRed);
      break;
    case 115:
      PluginEvent(CORVANE_EVENT_CHANNEL_RESTRICTED, "", "", 0, 0);
      AddChatLine(language_.Text(kEventsSection, "14"), kRed);
      break;
    case 118:
      PluginEvent(CORVANE_EVENT_INFO, s2, "", 0, 0);  // the text goes in the user's place
      OnServerInfo(*this, s2);
      AddChatLine(s2, kInactiveGradient);
      break;
    case 119:
      PluginEvent(CORVANE_EVENT_ERROR, s2, "", 0, 0);
      OnServerError(*this, s2);
      AddChatLine(s2, kRed);
      break;
    case 123:  // an emote
      PluginEvent(CORVANE_EVENT_EMOTE, s1, s2, n1, n2);
      OnUserEmote(*this, s1, s2);
      AddChatMessage(s1, kOlive, s2, kOlive);
      Dispatch(s1, s2, n1, n2, kSourceEmote);
      break;
    case 200:
      AddChatLine("[BNET] " + s1, kRed);
      break;
    case 6: {  // the answer to the bot's clan invitation
      std::string text =
          LangText(kClanInviteSection, std::to_string(n1), TBNET::ClanInvitationResultText(n1));
      ReplaceAll(text, "%user", s1);
      AddChatLine("[CLAN] " + text, kYellow);
      QueueLine(text);
      if (plugins_) plugins_->BroadcastClanInvitationResult(n1, s1, text);
      break;
    }
    case 7: {  // the bot is invited to a clan
      AddChatLine("[CLAN] User " + s3 + " invite you to clan " + s2 + " (" + s1 + ")", kYellow);
      std::string text = language_.Text(kClanInviteSection, "cimsg");
      ReplaceAll(text, "%1", s3);
      ReplaceAll(text, "%2", s1);
      if (settings_.IsPvPgn) {
        AddChatLine("[CLAN] PvPgn clan invitation now not supported.", kRed);
      } else {
        front_.ClanInvitation(s1, s3, n1, text);
      }
      break;
    }
    case 300:
      RefreshList(kRefreshClan);
      PluginMessage(CORVANE_MSG_CLAN_LIST);
      break;
    case 310:
      RefreshList(kRefreshFriends);
      PluginMessage(CORVANE_MSG_FRIENDS_LIST);
      break;
    case 320:
      OnClanMemberStatus(*this, s1);
      RefreshList(kRefreshClan);
      AddChatLine("[CLAN] " + s1 + " status changed (Rank: " + ClanRankName(static_cast<int>(n1)) +
                      ", Online: " + std::to_string(n2) + ")",
                  kYellow);
      if (plugins_) {
        plugins_->BroadcastClanMemberStatus(static_cast<std::uint8_t>(n1),
                                            static_cast<std::uint8_t>(n2), s1);
      }
      break;
    default:
      break;
  }
}

void TBotCore::OnProfile(std::int32_t kind, const TBNETUserProfStats* user,
                         const TBNETClanProfStats* clan) {
  OnProfileReceived(*this);
  TColoredLines lines;
  if (kind == 1 && user != nullptr) lines = UserProfileLines(*user);
  if (kind == 2 && clan != nullptr) lines = ClanProfileLines(*clan);
  for (const auto& [text, color] : lines) AddChatLine(text, color);
}

}  // namespace corvane
