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
#include "config/language_sections.h"

namespace corvane {
namespace {

constexpr char kConsole[] = "*";
constexpr std::int32_t kNoSessionValue = -10;

}  // namespace

TBotCore::TBotCore(TEventLoop& loop, std::string home, TFrontEnd& front, std::string shared)
    : loop_(loop),
      front_(front),
      profiles_(std::move(home), std::move(shared)),
      session_(std::make_unique<TBNET>(loop)),
      database_(std::make_unique<TBotCommandControl>()),
      watch_ini_(profiles_.ProfilesIni()),
      queue_timer_(loop, [this] { QueueTick(); }),
      anti_flood_(loop, [this] { database_->SetReady(loop_.TickMs()); }),
      idle_timer_(loop, [this] { SendIdleMessage(*this); }),
      autoconnect_(loop, [this] { ConnectBot(); }),
      shutdown_watch_(loop, [this] { ShutdownWatch(); }),
      save_timer_(loop, [this] { SaveChanges(); }) {
  session_->SetObserver(this);
}

TBotCore::~TBotCore() {
  Close();
}

void TBotCore::Start() {
  profiles_.CreateFolders();
  {
    TIniFile ini(profiles_.ProfilesIni());
    ini.WriteBool(kShutdownSection, kKillKey, false);
    ReadGeometry(ini);
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
  front_.SettingsChanged();
  front_.DatabaseChanged();
  front_.ProfilesChanged();
}

bool TBotCore::SwitchProfile(const std::string& name) {
  SaveChanges();  // what changed in the profile being left is written there first
  const bool switched = profiles_.SwitchProfile(name);
  if (switched) LoadProfile();
  SayCurrentProfile(name);
  return switched;
}

void TBotCore::SayCurrentProfile(const std::string& name) {
  std::string line = language_.Text(kProfSection, "curprofmsg");
  ReplaceAll(line, "%p", name);
  AddChatLine("[BOT] " + line, kCaptionGradient);
}

TBotCore::TChoice TBotCore::ChooseProfile(const std::string& name, const TProfiles::TAsk& ask) {
  if (name == profiles_.Current() || !profiles_.Exists(name)) return TChoice::Unchanged;
  if (Connected()) {
    if (!ask({"choseprofile", "caution", TMsgIcon::Question, "", "", ""})) return TChoice::Refused;
    DisconnectBot();
  }
  return SwitchProfile(name) ? TChoice::Switched : TChoice::Unchanged;
}

TProfiles::TCreateResult TBotCore::CreateProfile(const std::string& typed_name,
                                                 const std::string& parent,
                                                 const TProfiles::TAsk& ask) {
  SaveChanges();
  TProfiles::TCreateResult result =
      profiles_.CreateProfile(typed_name, parent, Connected(), ask, [this] { DisconnectBot(); });
  if (result.created) {  // made current already
    LoadProfile();
    SayCurrentProfile(result.name);
  }
  return result;
}

TProfileMessage TBotCore::DeleteProfile(const std::string& name, const TProfiles::TAsk& confirm) {
  TProfileMessage message = profiles_.DeleteProfile(name, confirm);
  front_.ProfilesChanged();
  return message;
}

TProfileMessage TBotCore::RenameProfile(const std::string& name, const std::string& new_name) {
  TProfileMessage message = profiles_.RenameProfile(name, new_name);
  front_.ProfilesChanged();
  return message;
}

bool TBotCore::ChooseLanguage(const std::string& display) {
  const std::string file = FileForDisplay(profiles_.LangDirs(), display);
  if (file.empty()) return false;
  settings_.Language = file;
  ApplySettings();
  SettingsChanged();
  return true;
}

void TBotCore::ResetCommandsToDefaults() {
  const std::string path = profiles_.DatabasePath();
  database_ = ResetCommandDatabase(
      true, path, [this](const std::string& name) { return InternalHandler(*this, name); });
  database_->OnChanged = [this] { DatabaseChanged(); };
  database_dirty_ = false;
  database_writable_ = true;
  front_.DatabaseChanged();
  if (!SaveDatabase()) return;
  PluginMessage(CORVANE_MSG_COMMANDS_RESET);
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
  language_.Apply(LanguageFolder(profiles_.LangDirs(), settings_.Language), settings_.Language);
  front_.LanguageApplied();
}

void TBotCore::ApplySettings(const TSettings& settings) {
  settings_ = settings;
  ApplySettings();
  SettingsChanged();
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
  front_.DatabaseChanged();
}

void TBotCore::SettingsChanged() {
  settings_dirty_ = true;
  if (!closed_ && !save_timer_.Active()) save_timer_.StartSingleShot(kSaveDelayMs);
  front_.SettingsChanged();
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
    WriteGeometry(ini);
  }
  // Destroy: the profile and its settings, then the session.
  close_saved_ = SaveSettings() && close_saved_;
  roster_.Clear();
  queue_.Clear();
  session_->SetObserver(nullptr);
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
  front_.ViewChanged(views_.Refresh(
      kind, entry, TViewSource{roster_.Members(), session_.get(), current_channel_}));
}

void TBotCore::AddMemberRow(const TUser& member) {
  RefreshList(kAddMember, &member);
}

void TBotCore::ReadGeometry(const TIniFile& ini) {
  const std::optional<TWindowGeometry> current = front_.Geometry();
  if (!current) return;
  TWindowGeometry g = *current;
  g.left = ini.ReadInteger(kUiSection, "Left", g.left);
  g.top = ini.ReadInteger(kUiSection, "Top", g.top);
  g.width = ini.ReadInteger(kUiSection, "Width", g.width);
  g.height = ini.ReadInteger(kUiSection, "Height", g.height);
  front_.ApplyGeometry(g);
}

void TBotCore::WriteGeometry(TIniFile& ini) const {
  const std::optional<TWindowGeometry> g = front_.Geometry();
  if (!g) return;
  ini.WriteInteger(kUiSection, "Left", g->left);
  ini.WriteInteger(kUiSection, "Top", g->top);
  ini.WriteInteger(kUiSection, "Width", g->width);
  ini.WriteInteger(kUiSection, "Height", g->height);
}

bool TBotCore::ChooseView(TViewMode mode) {
  const bool changed =
      views_.Choose(mode, TViewSource{roster_.Members(), session_.get(), current_channel_});
  if (changed) front_.ViewChanged(TViewChange::Reset());
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
  TSessionConfig config;
  config.Host = settings_.BnetServer;
  config.Port = settings_.BnetPort;
  config.BnlsServer = settings_.BnlsServer;
  config.BnlsPort = settings_.BnlsPort;
  config.Product = static_cast<std::uint32_t>(settings_.Game);
  config.IsPvPgn = settings_.IsPvPgn;
  config.Username = settings_.Username;
  config.Password = settings_.Password;
  config.UTF8 = settings_.UTF8;
  config.PingSpoofing = settings_.PingSpoofing;
  config.HomeChannel = settings_.HomeChannel;
  // Written into the home, not wherever the program happened to be started.
  config.DumpFileName = profiles_.Home() + "/bottest0x02.bin";
  session_->Connect(config);
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
    if (line[0] != '/') AddChatMessage(s.UniqueName(), kSilver, line, kWhite);
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
        session_ ? session_->MyFlags() : static_cast<std::uint32_t>(kNoSessionValue);
    const std::int32_t ping =
        session_ ? static_cast<std::int32_t>(session_->MyPing()) : kNoSessionValue;
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

bool TBotCore::Say(const std::string& text) {
  if (text.empty()) return false;
  const TContextScope owner(*this, TQueueContext{true, {}});
  if (!AllowTypedLine(*this, text)) return false;
  QueueLine(text);
  return true;
}

// ---- Menu toggles ----

void TBotCore::ToggleUtf8() {
  settings_.UTF8 = !settings_.UTF8;
  session_->SetUtf8(settings_.UTF8);
  SettingsChanged();
}

void TBotCore::ToggleJoinNotify() {
  settings_.JoinNotify = !settings_.JoinNotify;
  SettingsChanged();
}

// ---- The session's events ----

void TBotCore::Dispatch(const TChatEventInfo& e, std::uint8_t source) {
  const TContextScope member(*this, TQueueContext{false, e.user});
  database_->ProcessCommand(*this, e.user, e.text, settings_.Trigger,
                            "L" + UserAttributes(session_.get(), e.user), e.flags,
                            static_cast<std::int32_t>(e.ping), source);
}

void TBotCore::SessionStatus(TSessionStatus status, const std::string& text) {
  const TStatusKind kind = KindOf(status);
  const TColor color = kind == TStatusKind::Step     ? kLime
                       : kind == TStatusKind::Detail ? kGreen
                                                     : kYellow;
  if (status == TSessionStatus::Disconnected) {
    views_.Clear();
    roster_.Clear();
    views_.SetCaption("Not connected");
    front_.ViewChanged(TViewChange::Reset());
    if (settings_.Autoreconnect && !user_disconnected_ && !autoconnect_.Active()) {
      StartAutoconnect(BackOff());
    }
  }
  const auto code = static_cast<std::int32_t>(status);
  const std::string key = std::to_string(code);
  if (code <= static_cast<std::int32_t>(TSessionStatus::Disconnected)) {
    AddChatLine("[BNET] " + LangText(kEventsSection, key, text), color);
  } else if (code >= static_cast<std::int32_t>(TSessionStatus::BnlsConnecting) &&
             code < static_cast<std::int32_t>(TSessionStatus::LoggedOn)) {
    AddChatLine("[BNLS] " + LangText(kBnlsSection, key, text), color);
  } else {
    AddChatLine("[BNET] " + LangText(kBnlsSection, key, text), color);
  }
}

void TBotCore::SessionError(TSessionError error, const std::string& text) {
  const std::string key = std::to_string(static_cast<std::int32_t>(error));
  switch (error) {
    case TSessionError::BnlsConnectFailed:
      AddChatLine("[BNLS] " + LangText(kBnlsSection, key, text), kRed);
      break;
    case TSessionError::ChatConnectFailed:
      AddChatLine("[BNET] " + LangText(kErrorsSection, key, text), kRed);
      if (settings_.Autoreconnect) StartAutoconnect(BackOff());
      break;
    case TSessionError::Flooded:
      AddChatLine("[BNET] " + LangText(kErrorsSection, key, text), kRed);
      if (settings_.Autoreconnect) {
        AddChatLine("[BNET] " + language_.Text(kErrorsSection, "flood_autorec"), kYellow);
        StartAutoconnect(kFloodReconnectMs);
      }
      break;
    default:
      AddChatLine("[BNET] " + LangText(kErrorsSection, key, text), kRed);
      break;
  }
}

void TBotCore::SessionLine(const std::string& text, TColor color) {
  AddChatLine(text, color);
}

void TBotCore::MemberShown(const TChatEventInfo& e) {
  if (roster_.Find(e.user) != nullptr) return;
  AddMemberRow(roster_.Add(e.user, e.flags, e.ping, e.text, language_.Lookup()));
  OnUserInChannel(*this, e.user);
  PluginEvent(CORVANE_EVENT_SHOW_USER, e.user, "", e.flags, e.ping);
}

void TBotCore::MemberJoined(const TChatEventInfo& e) {
  if (e.user == session_->UniqueName()) return;
  AddMemberRow(roster_.Add(e.user, e.flags, e.ping, e.text, language_.Lookup()));
  OnUserJoin(*this, e.user, e.text, e.flags, e.ping);
  PluginEvent(CORVANE_EVENT_JOIN, e.user, "", e.flags, e.ping);
  if (settings_.JoinNotify) {
    AddChatLine(e.user + " " + language_.Text(kSubmessagesSection, "102"), kSilver);
  }
}

void TBotCore::MemberLeft(const TChatEventInfo& e) {
  if (const TUser* gone = roster_.Find(e.user)) {
    const TUser copy = *gone;
    roster_.Remove(e.user);  // first, so that the caption no longer counts him
    RefreshList(kRemoveMember, &copy);
    PluginEvent(CORVANE_EVENT_LEAVE, e.user, "", e.flags, e.ping);
    OnUserLeave(*this, e.user);
  }
  if (settings_.JoinNotify) {
    AddChatLine(e.user + " " + language_.Text(kSubmessagesSection, "103"), kSilver);
  }
}

void TBotCore::MemberFlagsChanged(const TChatEventInfo& e) {
  if (roster_.SetFlags(e.user, e.flags)) {
    RefreshList(kRefreshChannel);
    PluginEvent(CORVANE_EVENT_USER_FLAGS, e.user, "", e.flags, e.ping);
  }
}

void TBotCore::ChannelEntered(const TChatEventInfo& e) {
  roster_.Clear();
  RefreshList(kRefreshChannel);
  AddChatLine(language_.Text(kEventsSection, "10") + " " + e.text, kYellow);
  current_channel_ = e.text;
  failed_attempts_ = 0;  // the logon got all the way: the next failure waits least
  OnChannelJoined(*this, e.text);
  PluginEvent(CORVANE_EVENT_CHANNEL, e.user, "", e.flags, e.ping);
  // The caption counts the new channel's members (none yet), not the old channel's.
  if (views_.Mode() == TViewMode::Channel) {
    views_.SetCaption(e.text + "(" + std::to_string(roster_.Size()) + ")");
    front_.ViewChanged(TViewChange::Caption());
  }
}

void TBotCore::ChannelFull() {
  PluginEvent(CORVANE_EVENT_CHANNEL_FULL, "", "", 0, 0);
  AddChatLine(language_.Text(kEventsSection, "13"), kRed);
}

void TBotCore::ChannelRestricted() {
  PluginEvent(CORVANE_EVENT_CHANNEL_RESTRICTED, "", "", 0, 0);
  AddChatLine(language_.Text(kEventsSection, "14"), kRed);
}

void TBotCore::WhisperReceived(const TChatEventInfo& e) {
  last_whisperer_ = e.user;
  std::string head = language_.Text(kEventsSection, "11");
  ReplaceAll(head, "%u", e.user);
  AddChatMessage(head, kGreen, e.text, kWhite);
  AddChatMessage(head, kGreen, e.text, kWhite, TPane::Whisper);
  OnUserWhisper(*this, e.user, e.text);
  PluginEvent(CORVANE_EVENT_WHISPER, e.user, e.text, e.flags, e.ping);
  Dispatch(e, kSourceWhisper);
}

void TBotCore::WhisperDelivered(const TChatEventInfo& e) {
  std::string head = language_.Text(kEventsSection, "12");
  ReplaceAll(head, "%u", e.user);
  AddChatMessage(head, kGreen, e.text, kWhite);
  AddChatMessage(head, kGreen, e.text, kWhite, TPane::Whisper);
  PluginEvent(CORVANE_EVENT_WHISPER_SENT, e.user, e.text, e.flags, e.ping);
}

void TBotCore::TalkReceived(const TChatEventInfo& e) {
  AddChatMessage(e.user, kYellow, e.text, kWhite);
  PluginEvent(CORVANE_EVENT_TALK, e.user, e.text, e.flags, e.ping);
  OnUserTalk(*this, e.user, e.text);
  Dispatch(e, kSourceTalk);
}

void TBotCore::EmoteReceived(const TChatEventInfo& e) {
  PluginEvent(CORVANE_EVENT_EMOTE, e.user, e.text, e.flags, e.ping);
  OnUserEmote(*this, e.user, e.text);
  AddChatMessage(e.user, kOlive, e.text, kOlive);
  Dispatch(e, kSourceEmote);
}

void TBotCore::BroadcastReceived(const TChatEventInfo& e) {
  AddChatMessage("[BNET BROADCAST] " + e.user, kRed, e.text, kWhite);
}

void TBotCore::InfoReceived(const std::string& text) {
  PluginEvent(CORVANE_EVENT_INFO, text, "", 0, 0);  // the text goes in the user's place
  OnServerInfo(*this, text);
  AddChatLine(text, kInactiveGradient);
}

void TBotCore::ErrorReceived(const std::string& text) {
  PluginEvent(CORVANE_EVENT_ERROR, text, "", 0, 0);
  OnServerError(*this, text);
  AddChatLine(text, kRed);
}

void TBotCore::MessageBoxReceived(const std::string& text, const std::string&, std::uint32_t) {
  AddChatLine("[BNET] " + text, kRed);
}

void TBotCore::FriendsListReceived() {
  RefreshList(kRefreshFriends);
  PluginMessage(CORVANE_MSG_FRIENDS_LIST);
}

void TBotCore::ClanListReceived() {
  RefreshList(kRefreshClan);
  PluginMessage(CORVANE_MSG_CLAN_LIST);
}

void TBotCore::ClanMemberChanged(const std::string& name, std::uint8_t rank, std::uint8_t online) {
  OnClanMemberStatus(*this, name);
  RefreshList(kRefreshClan);
  AddChatLine("[CLAN] " + name + " status changed (Rank: " + ClanRankName(rank) +
                  ", Online: " + std::to_string(online) + ")",
              kYellow);
  if (plugins_) plugins_->BroadcastClanMemberStatus(rank, online, name);
}

void TBotCore::ClanInvitationAnswered(const std::string& user, std::uint32_t result) {
  std::string text =
      LangText(kClanInviteSection, std::to_string(result), TBNET::ClanInvitationResultText(result));
  ReplaceAll(text, "%user", user);
  AddChatLine("[CLAN] " + text, kYellow);
  QueueLine(text);
  if (plugins_) plugins_->BroadcastClanInvitationResult(result, user, text);
}

void TBotCore::ClanInvitationReceived(const std::string& tag, const std::string& clan,
                                      const std::string& inviter, std::uint32_t cookie) {
  AddChatLine("[CLAN] User " + inviter + " invite you to clan " + clan + " (" + tag + ")", kYellow);
  std::string text = language_.Text(kClanInviteSection, "cimsg");
  ReplaceAll(text, "%1", inviter);
  ReplaceAll(text, "%2", tag);
  if (settings_.IsPvPgn) {
    AddChatLine("[CLAN] PvPgn clan invitation now not supported.", kRed);
    return;
  }
  invitation_ = TClanInvitation{tag, inviter, cookie};
  front_.ClanInvitation(tag, inviter, cookie, text);
}

void TBotCore::AnswerClanInvitation(bool accept) {
  if (!invitation_) return;
  const TClanInvitation invitation = std::move(*invitation_);
  invitation_.reset();
  session_->AnswerClanInvitation(invitation.tag, invitation.inviter,
                                 accept ? kClanInvitationAccept : kClanInvitationDecline,
                                 invitation.cookie);
}

void TBotCore::UserProfileReceived(const TBNETUserProfStats& user) {
  OnProfileReceived(*this);
  for (const auto& [text, color] : UserProfileLines(user)) AddChatLine(text, color);
}

void TBotCore::ClanProfileReceived(const TBNETClanProfStats& clan) {
  OnProfileReceived(*this);
  for (const auto& [text, color] : ClanProfileLines(clan)) AddChatLine(text, color);
}

}  // namespace corvane
