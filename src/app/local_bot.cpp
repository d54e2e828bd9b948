#include "app/local_bot.h"

#include <utility>

namespace corvane {

TLocalBot::TLocalBot(TEventLoop& loop, std::string home, TFrontEnd& front, std::string shared)
    : hub_(std::make_unique<TControlHub>(loop, front)),
      core_(std::make_unique<TBotCore>(loop, std::move(home), *hub_, std::move(shared))) {
  hub_->Attach(*core_, *this);
}

bool TLocalBot::Listen(std::string& error) {
  return hub_->Listen(core_->Profiles().Home(), error);
}

void TLocalBot::Start() {
  core_->Start();
}

bool TLocalBot::Close() {
  const bool saved = core_->Close();
  hub_->StopListening();
  return saved;
}

const TSettings& TLocalBot::Settings() const {
  return core_->Settings();
}

const TMemberViews& TLocalBot::Views() const {
  return core_->Views();
}

const TLanguage& TLocalBot::Language() const {
  return core_->Language();
}

const TBotCommandControl& TLocalBot::Database() const {
  return core_->Database();
}

bool TLocalBot::Connected() const {
  return core_->Connected();
}

std::string TLocalBot::CurrentProfile() const {
  return core_->Profiles().Current();
}

std::vector<std::string> TLocalBot::ListProfiles() const {
  return core_->Profiles().ListProfiles();
}

std::vector<std::string> TLocalBot::LangDirs() const {
  return core_->Profiles().LangDirs();
}

std::string TLocalBot::LocalHome() const {
  return core_->Profiles().Home();
}

void TLocalBot::ConnectClicked() {
  core_->ConnectClicked();
}

void TLocalBot::DisconnectClicked() {
  core_->DisconnectClicked();
}

void TLocalBot::ExitClicked() {
  core_->ExitClicked();
}

void TLocalBot::ToggleUtf8() {
  core_->ToggleUtf8();
}

void TLocalBot::ToggleJoinNotify() {
  core_->ToggleJoinNotify();
}

void TLocalBot::RestartPlugins() {
  core_->RestartPlugins();
}

void TLocalBot::ChooseView(TViewMode mode) {
  core_->ChooseView(mode);
}

bool TLocalBot::TypeLine(const std::string& prefix, const std::string& input) {
  return core_->TypeLine(prefix, input);
}

void TLocalBot::AnswerClanInvitation(bool accept) {
  core_->AnswerClanInvitation(accept);
}

void TLocalBot::AddChatLine(const std::string& text, TColor color) {
  core_->AddChatLine(text, color);
}

void TLocalBot::ApplySettings(const TSettings& settings) {
  core_->ApplySettings(settings);
  core_->SaveChanges();
}

void TLocalBot::SetUser(const std::string& name, std::int32_t access, const std::string& flags) {
  core_->Database().SetUser(name, access, flags);
}

void TLocalBot::DeleteUser(const std::string& name) {
  core_->Database().DeleteUser(name);
}

void TLocalBot::AddCommand(const std::string& name, const std::string& text, std::int32_t access,
                           const std::string& flags) {
  TBotCommandControl& db = core_->Database();
  db.AddCustomCommand(name, text, false, true, access, flags);
  db.SortCommands();
}

bool TLocalBot::UpdateCommand(const TCommandEdit& edit) {
  TBotCommandControl& db = core_->Database();
  for (const auto& c : db.Commands()) {
    if (c->Name != edit.name || c->Text != edit.text || c->CmdType != edit.kind) continue;
    const bool updated =
        db.UpdateCommand(c.get(), edit.new_name.value_or(c->Name), edit.new_text.value_or(c->Text),
                         edit.enabled.value_or(c->Enabled), edit.access.value_or(c->Access),
                         edit.flags.value_or(c->Flags));
    db.SortCommands();
    return updated;
  }
  return false;
}

bool TLocalBot::DeleteCommand(const std::string& name) {
  TBotCommandControl& db = core_->Database();
  const TBotCommand* custom = db.FindCommand(name, TCmdType::Custom);
  if (custom == nullptr) return false;
  db.RemoveCommand(custom);
  db.SortCommands();
  return true;
}

void TLocalBot::ResetCommandsToDefaults() {
  core_->ResetCommandsToDefaults();
}

TLocalBot::TChoice TLocalBot::ChooseProfile(const std::string& name, const TProfiles::TAsk& ask) {
  return core_->ChooseProfile(name, ask);
}

TProfiles::TCreateResult TLocalBot::CreateProfile(const std::string& typed_name,
                                                  const std::string& parent,
                                                  const TProfiles::TAsk& ask) {
  return core_->CreateProfile(typed_name, parent, ask);
}

TProfileMessage TLocalBot::DeleteProfile(const std::string& name, const TProfiles::TAsk& confirm) {
  return core_->DeleteProfile(name, confirm);
}

TProfileMessage TLocalBot::RenameRefusal(const std::string& name) const {
  return core_->Profiles().RenameRefusal(name);
}

TProfileMessage TLocalBot::RenameProfile(const std::string& name, const std::string& new_name) {
  return core_->RenameProfile(name, new_name);
}

bool TLocalBot::ChooseLanguage(const std::string& display) {
  return core_->ChooseLanguage(display);
}

}  // namespace corvane
