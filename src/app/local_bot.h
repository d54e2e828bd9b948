#pragma once
// The link to a bot that runs in this process: every call goes to the TBotCore it owns.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/bot_core.h"
#include "app/bot_link.h"
#include "app/control_hub.h"

namespace corvane {

class TLocalBot final : public TBotLink {
 public:
  // `front` is told what changes; `shared` as for TBotCore.
  TLocalBot(TEventLoop& loop, std::string home, TFrontEnd& front, std::string shared = {});

  TBotCore& Core() { return *core_; }
  // Opens the control socket in the home, for the owner's clients. False and why when it
  // cannot be.
  bool Listen(std::string& error);
  const TControlHub& Hub() const { return *hub_; }

  void Start() override;
  bool Close() override;

  const TSettings& Settings() const override;
  const TMemberViews& Views() const override;
  const TLanguage& Language() const override;
  const TBotCommandControl& Database() const override;
  bool Connected() const override;
  std::string CurrentProfile() const override;
  std::vector<std::string> ListProfiles() const override;
  std::vector<std::string> LangDirs() const override;
  std::string LocalHome() const override;

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
  TProfileMessage RenameRefusal(const std::string& name) const override;
  TProfileMessage RenameProfile(const std::string& name, const std::string& new_name) override;
  bool ChooseLanguage(const std::string& display) override;

 private:
  // Between the core and the front end: the control socket's clients see what it sees.
  std::unique_ptr<TControlHub> hub_;
  // Held by pointer: the core's accessors are not const, and this link's readers are.
  std::unique_ptr<TBotCore> core_;
};

}  // namespace corvane
