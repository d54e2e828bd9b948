#pragma once
// A bot running in another process, reached through its control socket: a TBotLink for the
// window, so that the window attached to a running bot is the window of a local one. It
// keeps a copy of what the bot shows (settings, member list, profiles, users and commands),
// updated from the bot's messages, and turns what the person does into requests.
//
// A thread of its own reads the bot's lines; they are decoded there and handed to the main
// thread in order. The calls whose answer the window needs at once (a profile created or
// not) wait for it, bounded, applying what arrives meanwhile, so that the copy is up to date
// when they return.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/bot_channel.h"
#include "app/bot_link.h"
#include "app/control_protocol.h"
#include "app/front_end.h"
#include "net/event_loop.h"

namespace corvane {

class TRemoteBot final : public TBotLink {
 public:
  // How long a call waits for the bot's answer.
  static constexpr int kCallTimeoutMs = 10'000;

  // `shared`: where this program's language files lie (the bot's own are elsewhere).
  TRemoteBot(TEventLoop& loop, TFrontEnd& front, TBotChannel channel, std::string shared);
  ~TRemoteBot() override;
  TRemoteBot(const TRemoteBot&) = delete;
  TRemoteBot& operator=(const TRemoteBot&) = delete;

  // Waits for the bot's greeting (its state, views, scrollback) and asks for its users.
  void Start() override;
  // Detaches: the bot runs on.
  bool Close() override;
  bool Remote() const override { return true; }
  // False once the stream to the bot has ended.
  bool Attached() const { return !ended_seen_; }

  const TSettings& Settings() const override { return settings_; }
  const TMemberViews& Views() const override { return views_; }
  const TLanguage& Language() const override { return language_; }
  const TBotCommandControl& Database() const override { return database_; }
  bool Connected() const override { return state_.connected; }
  std::string CurrentProfile() const override { return state_.profile; }
  std::vector<std::string> ListProfiles() const override { return profiles_; }
  std::vector<std::string> LangDirs() const override;
  std::string LocalHome() const override { return {}; }

  void ConnectClicked() override;
  void DisconnectClicked() override;
  void ExitClicked() override;
  void ToggleUtf8() override;
  void ToggleJoinNotify() override;
  void RestartPlugins() override;
  void ChooseView(TViewMode mode) override;
  bool TypeLine(const std::string& prefix, const std::string& input) override;
  void AnswerClanInvitation(bool accept) override;
  void AddChatLine(const std::string& text, TColor color) override;

  void ApplySettings(const TSettings& settings) override;
  void SetUser(const std::string& name, std::int32_t access, const std::string& flags) override;
  void DeleteUser(const std::string& name) override;
  void AddCommand(const std::string& name, const std::string& text, std::int32_t access,
                  const std::string& flags) override;
  bool UpdateCommand(const TCommandEdit& edit) override;
  bool DeleteCommand(const std::string& name) override;
  void ResetCommandsToDefaults() override;

  TChoice ChooseProfile(const std::string& name, const TProfiles::TAsk& ask) override;
  TProfiles::TCreateResult CreateProfile(const std::string& typed_name, const std::string& parent,
                                         const TProfiles::TAsk& ask) override;
  TProfileMessage DeleteProfile(const std::string& name, const TProfiles::TAsk& confirm) override;
  TProfileMessage RenameRefusal(const std::string&) const override { return {}; }
  TProfileMessage RenameProfile(const std::string& name, const std::string& new_name) override;
  bool ChooseLanguage(const std::string& display) override;

 private:
  // A request that needs no answer: a refusal comes as an error line.
  void Send(const control::TRequest& request, const control::TRequestId& id = {});
  // A request and its answer: empty when carried out, else why not.
  std::string Call(const control::TRequest& request);
  void ReadLoop();
  // Main thread: every message that has arrived, in order.
  void Drain();
  void Apply(control::TBotMessage message);
  void Ended();
  void RebuildDatabase();
  void ShowError(const std::string& text);

  TEventLoop& loop_;
  TFrontEnd& front_;
  TBotChannel channel_;
  std::string shared_;

  // The copy of the bot's views.
  TSettings settings_;
  TMemberViews views_;
  TLanguage language_;
  std::string language_file_;
  TBotCommandControl database_;
  control::TUserList users_;
  control::TCommandList commands_;
  control::TState state_;
  std::vector<std::string> profiles_;

  // Handed from the reading thread to the main thread.
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<control::TBotMessage> inbox_;
  bool ended_ = false;         // the stream ended (guarded by mutex_)
  bool drain_posted_ = false;  // guarded by mutex_
  bool ended_seen_ = false;    // main thread
  bool exit_asked_ = false;    // main thread: the person stopped the bot
  bool closed_ = false;
  // Answers to calls, by id: main thread.
  std::int64_t next_id_ = 1;
  std::int64_t awaited_id_ = 0;
  std::optional<std::string> answer_;
  int wake_fd_ = -1;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::thread reader_;
};

}  // namespace corvane
