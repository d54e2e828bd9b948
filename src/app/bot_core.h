#pragma once
// The application core that the main window owns: the session, the settings, the database,
// the language, the roster, the outgoing queue and the timers; the start, connect and close
// sequences; the routing of the session's events to the panes and the bot logic. It holds
// no widget: a front end shows what it hands over.

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/bot_link.h"
#include "app/front_end.h"
#include "app/member_views.h"
#include "app/outgoing_queue.h"
#include "app/roster.h"
#include "bnet/bnet.h"
#include "bot/bot_host.h"
#include "bot/bot_plugins.h"
#include "bot/command_processor.h"
#include "config/get_settings.h"
#include "config/ini_file.h"
#include "config/language.h"
#include "config/profiles.h"
#include "net/event_loop.h"

namespace corvane {

// Intervals of the automatic connection. After a failed attempt the bot waits
// kReconnectMs, twice that after the next, and so on up to kMaxReconnectMs, each with up
// to a fifth more at random, so that a refused account does not knock at the server's
// door every five seconds for ever (a server may ban the address for that).
inline constexpr std::uint32_t kStartupConnectMs = 1000;
inline constexpr std::uint32_t kReconnectMs = 5000;
inline constexpr std::uint32_t kMaxReconnectMs = 10 * 60 * 1000;
inline constexpr std::uint32_t kFloodReconnectMs = 20 * 60 * 1000;
inline constexpr std::uint32_t kShutdownWatchMs = 1000;
inline constexpr std::uint32_t kAntiFloodMs = 1000;
// Changes to the users and commands or to the settings are written this soon after.
inline constexpr std::uint32_t kSaveDelayMs = 2000;

class TBotCore final : public TBotHost, private TSessionObserver {
 public:
  // `shared`: where the language files shipped with the program lie (none: the home's only).
  TBotCore(TEventLoop& loop, std::string home, TFrontEnd& front, std::string shared = {});
  ~TBotCore() override;
  TBotCore(const TBotCore&) = delete;
  TBotCore& operator=(const TBotCore&) = delete;

  // The creation sequence: folders, profiles.ini, the profile, its report line, the
  // automatic connection one second later when the profile asks for it.
  void Start();
  // The close and destroy sequences: database, window keys, profile and settings saved,
  // the session closed. Safe to call twice. False when something could not be saved (it
  // was reported); the program should then end with a failure status.
  bool Close();
  bool Closed() const { return closed_; }

  // Menu actions.
  void ConnectClicked();
  void DisconnectClicked();
  void ExitClicked() { front_.RequestClose(); }
  void ToggleUtf8();
  void ToggleJoinNotify();
  // Writes what changed since the last save now rather than in a moment.
  void SaveChanges();
  bool ChooseView(TViewMode mode);

  // Enter on the input line with this prefix and text; true when the line was taken (the
  // input line is then cleared and the text is in the history).
  bool TypeLine(const std::string& prefix, const std::string& input);
  const std::vector<std::string>& History() const { return history_; }
  // The owner's line said in the channel as it stands, never taken for a console command;
  // false when it is not allowed (see TypeLine).
  bool Say(const std::string& text);

  void ConnectBot();
  void DisconnectBot();
  // Loads the current profile again and applies it (after a profile switch).
  void LoadProfile();

  // The settings dialog's operations on profiles, languages and the command database. The
  // dialog shows what they return and asks through `ask`; the rules are here.
  //
  // Makes `name` current and loads it when it is a profile other than the current one;
  // says which profile is current in the chat pane either way.
  bool SwitchProfile(const std::string& name);
  using TChoice = TBotLink::TChoice;
  // The user picked `name` as the current profile: nothing for the current one or a
  // folder without a profile; while connected the user is asked first (Refused: he said
  // no, and the dialog shows the current name again).
  TChoice ChooseProfile(const std::string& name, const TProfiles::TAsk& ask);
  // A new profile from `parent` (a name or kDefaultProfileItem), switched to when made.
  TProfiles::TCreateResult CreateProfile(const std::string& typed_name, const std::string& parent,
                                         const TProfiles::TAsk& ask);
  // The settings dialog's delete and rename, with their messages (empty: nothing done).
  TProfileMessage DeleteProfile(const std::string& name, const TProfiles::TAsk& confirm);
  TProfileMessage RenameProfile(const std::string& name, const std::string& new_name);
  // The language whose "Languige (LanguigeLocal)" reads `display` (the last one listed so):
  // kept in the settings and applied at once. False when no file reads so.
  bool ChooseLanguage(const std::string& display);
  // Every user and custom command gone, the internal commands at their defaults, written
  // at once; the plug-ins are told to add theirs again.
  void ResetCommandsToDefaults();
  // Sends or handles one line as it leaves the queue.
  void ProcessOutgoingLine(const std::string& line);
  // "Restart plugin system": every plug-in unloaded, then the plugins/ folder loaded anew.
  void RestartPlugins();
  const TBotPluginSystem* PluginSystem() const { return plugins_.get(); }

  // The connection as a window shows it: connected (connecting or logged on) or not.
  bool Connected() const { return session_->Active(); }
  bool LoggedOn() const { return session_->LoggedOn(); }
  // The answer to the clan invitation the front end was last shown; nothing when none is
  // open.
  void AnswerClanInvitation(bool accept);

  TBNET& Bnet() { return *session_; }
  TProfiles& Profiles() { return profiles_; }
  TSettings& MutableSettings() { return settings_; }
  // Takes edited settings (from a settings dialog): applied at once, saved shortly.
  void ApplySettings(const TSettings& settings);
  const TMemberViews& Views() const { return views_; }
  const TRoster& ChannelRoster() const { return roster_; }
  const TOutgoingQueue& Queue() const { return queue_; }
  bool UserDisconnected() const { return user_disconnected_; }
  bool AutoconnectPending() const { return autoconnect_.Active(); }
  std::uint32_t AutoconnectInterval() const { return autoconnect_.Interval(); }
  // Failed connection attempts since the bot last reached a channel.
  int FailedAttempts() const { return failed_attempts_; }
  const std::string& CurrentChannel() const { return current_channel_; }
  const std::string& LastWhisperer() const { return last_whisperer_; }

  // TBotHost.
  void QueueLine(const std::string& line, TLineKind kind = TLineKind::Reply) override;
  void AddChatLine(const std::string& text, TColor color) override;
  TBNET* Session() override { return session_.get(); }
  const TSettings& Settings() const override { return settings_; }
  TBotCommandControl& Database() override { return *database_; }
  const TLanguage& Language() const override { return language_; }
  const std::vector<TUser>& Roster() const override { return roster_.Members(); }
  const TUser* FindChannelUser(const std::string& name) const override {
    return roster_.Find(name);
  }
  TProtectMode ProtectMode() const override { return protect_mode_; }
  void SetProtectMode(TProtectMode mode) override { protect_mode_ = mode; }
  std::uint32_t TickMs() const override { return loop_.TickMs(); }
  void Quit() override;
  std::time_t Now() const override;

 private:
  // What plug-ins reach of the core.
  class TCorePluginHost final : public TPluginHost {
   public:
    explicit TCorePluginHost(TBotCore& core) : core_(core) {}
    TBotHost& Bot() override { return core_; }
    void AddChatMessage(const std::string& head, TColor head_color, const std::string& body,
                        TColor body_color) override {
      core_.AddChatMessage(head, head_color, body, body_color);
    }
    std::intptr_t MainWindowId() const override { return core_.front_.WindowId(); }
    std::string ProfileName() const override { return core_.profiles_.Current(); }
    std::string LastWhisperer() const override { return core_.last_whisperer_; }
    std::string CurrentChannel() const override { return core_.current_channel_; }
    void ProcessOutgoingLine(const std::string& line) override { core_.ProcessOutgoingLine(line); }

   private:
    TBotCore& core_;
  };

  void PluginEvent(std::int32_t event, const std::string& user, const std::string& text,
                   std::uint32_t flags, std::uint32_t ping) const;
  void PluginMessage(std::int32_t message) const;
  void ResetDatabase();
  void SayCurrentProfile(const std::string& name);
  void ShowLine(TPane pane, std::vector<TTextRun> runs);
  void AddChatMessage(const std::string& head, TColor head_color, const std::string& body,
                      TColor body_color, TPane pane = TPane::Chat);
  void RefreshList(int kind, const TUser* entry = nullptr);
  void StartAutoconnect(std::uint32_t interval_ms);
  // The next wait after a failed attempt, counting it.
  std::uint32_t BackOff();
  void QueueTick();
  void ScheduleQueue();
  void NoteDrops();
  void ShutdownWatch();
  void DatabaseChanged();
  void SettingsChanged();
  bool SaveDatabase();
  bool SaveSettings();
  void ReportSaveFailure(const std::string& path, int error);
  std::string LangText(const std::string& section, const std::string& key,
                       const std::string& default_text) const {
    return language_.LangText(section, key, default_text);
  }

  void ApplySettings();
  void AddMemberRow(const TUser& member);
  void ReadGeometry(const TIniFile& ini);
  void WriteGeometry(TIniFile& ini) const;

  // TSessionObserver: what the session reports.
  void SessionStatus(TSessionStatus status, const std::string& text) override;
  void SessionError(TSessionError error, const std::string& text) override;
  void SessionLine(const std::string& text, TColor color) override;
  void MemberShown(const TChatEventInfo& e) override;
  void MemberJoined(const TChatEventInfo& e) override;
  void MemberLeft(const TChatEventInfo& e) override;
  void MemberFlagsChanged(const TChatEventInfo& e) override;
  void ChannelEntered(const TChatEventInfo& e) override;
  void ChannelFull() override;
  void ChannelRestricted() override;
  void WhisperReceived(const TChatEventInfo& e) override;
  void WhisperDelivered(const TChatEventInfo& e) override;
  void TalkReceived(const TChatEventInfo& e) override;
  void EmoteReceived(const TChatEventInfo& e) override;
  void BroadcastReceived(const TChatEventInfo& e) override;
  void InfoReceived(const std::string& text) override;
  void ErrorReceived(const std::string& text) override;
  void MessageBoxReceived(const std::string& text, const std::string& caption,
                          std::uint32_t style) override;
  void FriendsListReceived() override;
  void ClanListReceived() override;
  void ClanMemberChanged(const std::string& name, std::uint8_t rank, std::uint8_t online) override;
  void ClanInvitationAnswered(const std::string& user, std::uint32_t result) override;
  void ClanInvitationReceived(const std::string& tag, const std::string& clan,
                              const std::string& inviter, std::uint32_t cookie) override;
  void UserProfileReceived(const TBNETUserProfStats& user) override;
  void ClanProfileReceived(const TBNETClanProfStats& clan) override;
  void Dispatch(const TChatEventInfo& e, std::uint8_t source);

  // Whose lines QueueLine is given while a command runs: the owner's at the console, a
  // member's in the channel (his access level is what his replies are worth), nobody's
  // otherwise.
  struct TQueueContext {
    bool owner = false;
    std::string speaker;
  };
  class TContextScope {
   public:
    TContextScope(TBotCore& core, TQueueContext context)
        : core_(core), saved_(std::exchange(core.queue_context_, std::move(context))) {}
    ~TContextScope() { core_.queue_context_ = std::move(saved_); }
    TContextScope(const TContextScope&) = delete;
    TContextScope& operator=(const TContextScope&) = delete;

   private:
    TBotCore& core_;
    TQueueContext saved_;
  };

  TEventLoop& loop_;
  TFrontEnd& front_;
  TProfiles profiles_;
  std::unique_ptr<TBNET> session_;
  TRoster roster_;
  TSettings settings_;
  TOutgoingQueue queue_;
  TLanguage language_;
  std::unique_ptr<TBotCommandControl> database_;
  TMemberViews views_;
  TProtectMode protect_mode_ = kProtectOff;
  bool user_disconnected_ = false;
  bool closed_ = false;
  bool close_saved_ = true;
  TQueueContext queue_context_;
  int failed_attempts_ = 0;
  std::minstd_rand jitter_{std::random_device{}()};
  bool database_dirty_ = false;
  bool settings_dirty_ = false;
  // An unreadable usrcmd.bin that could not be moved aside is never written over.
  bool database_writable_ = true;
  // Files whose last save failed: a failure is reported once until a save succeeds.
  std::vector<std::string> failing_;
  // profiles.ini as the shutdown watch reads it: kept open so that an unchanged file is
  // not read again every second.
  TIniFile watch_ini_;
  struct TClanInvitation {
    std::string tag;
    std::string inviter;
    std::uint32_t cookie = 0;
  };
  std::optional<TClanInvitation> invitation_;  // shown and not yet answered
  std::string current_channel_;
  std::string last_whisperer_;
  TCorePluginHost plugin_host_{*this};
  std::unique_ptr<TBotPluginSystem> plugins_;
  std::vector<std::string> history_;
  TTimer queue_timer_;
  TTimer anti_flood_;
  TTimer idle_timer_;
  TTimer autoconnect_;
  TTimer shutdown_watch_;
  TTimer save_timer_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
