#include "app/control_hub.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "app/bot_core.h"
#include "config/Operations.h"
#include "version.h"

namespace corvane {
namespace {

using control::EncodeMessage;

// Questions a dialog would put to the person: a client's request is its answer already.
bool Yes(const TProfileMessage&) {
  return true;
}

std::string NoProfile(const std::string& name) {
  return "no profile named '" + name + "'";
}

template <class... F>
struct TOverloaded : F... {
  using F::operator()...;
};
template <class... F>
TOverloaded(F...) -> TOverloaded<F...>;

}  // namespace

TControlHub::TControlHub(TEventLoop& loop, TFrontEnd& front) : loop_(loop), front_(front) {}

TControlHub::~TControlHub() {
  *alive_ = false;
}

void TControlHub::Attach(TBotCore& core, TBotLink& link) {
  core_ = &core;
  link_ = &link;
}

bool TControlHub::Listen(const std::string& home, std::string& error) {
  auto server =
      std::make_unique<TControlServer>(loop_, static_cast<TControlServer::THandler&>(*this));
  if (!server->Listen(home, error)) return false;
  server_ = std::move(server);
  return true;
}

void TControlHub::StopListening() {
  clients_.clear();
  server_.reset();
}

// ---- What the bot shows ----

void TControlHub::ShowLine(const TPaneLine& line) {
  front_.ShowLine(line);
  if (!server_) return;  // nobody can attach: nothing to keep
  std::deque<TPaneLine>& pane = line.pane == TPane::Whisper ? whispers_ : chat_;
  pane.push_back(line);
  if (pane.size() > kScrollbackLines) pane.pop_front();
  if (HasClients()) SendAll(EncodeMessage(line));
}

void TControlHub::ViewChanged(const TViewChange& change) {
  front_.ViewChanged(change);
  if (!HasClients() || core_ == nullptr) return;
  SendAll(EncodeMessage(control::ViewChangeOf(core_->Views(), change)));
  ScheduleFlush();  // the connection or the channel may have changed with it
}

void TControlHub::ProfileRefused(const TProfileMessage& message) {
  front_.ProfileRefused(message);
  if (HasClients() && core_ != nullptr) {
    SendAll(EncodeMessage(
        TPaneLine{TPane::Chat, {{"[BOT] " + message.Text(core_->Language()), kRed}}}));
  }
}

void TControlHub::ClanInvitation(const std::string& tag, const std::string& inviter,
                                 std::uint32_t cookie, const std::string& text) {
  front_.ClanInvitation(tag, inviter, cookie, text);
  if (HasClients()) SendAll(EncodeMessage(control::TClanInvitation{tag, inviter, text}));
}

void TControlHub::LanguageApplied() {
  front_.LanguageApplied();
  ScheduleFlush();
}

void TControlHub::SettingsChanged() {
  front_.SettingsChanged();
  ScheduleFlush();
}

void TControlHub::DatabaseChanged() {
  front_.DatabaseChanged();
  database_changed_ = true;
  ScheduleFlush();
}

void TControlHub::ProfilesChanged() {
  front_.ProfilesChanged();
  ScheduleFlush();
}

void TControlHub::SendAll(const std::string& bytes) {
  for (const auto& [id, client] : clients_) server_->Send(id, bytes);
}

void TControlHub::ScheduleFlush() {
  if (flush_scheduled_ || !HasClients()) return;
  flush_scheduled_ = true;
  loop_.Post([this, alive = alive_] {
    if (!*alive) return;
    flush_scheduled_ = false;
    Flush();
  });
}

void TControlHub::Flush() {
  if (!HasClients() || core_ == nullptr) return;
  for (auto [message, sent] : {std::pair<control::TBotMessage, std::string*>{State(), &sent_state_},
                               {Profiles(), &sent_profiles_},
                               {core_->Settings(), &sent_settings_}}) {
    std::string line = EncodeMessage(message);
    if (line == *sent) continue;
    SendAll(line);
    *sent = std::move(line);
  }
  if (!std::exchange(database_changed_, false)) return;
  for (const auto& [id, client] : clients_) {
    if (client.wants_database) SendDatabase(id);
  }
}

control::TState TControlHub::State() const {
  return {core_->Connected(), core_->LoggedOn(), core_->CurrentChannel(),
          core_->Profiles().Current()};
}

control::TProfileList TControlHub::Profiles() const {
  return {core_->Profiles().Current(), core_->Profiles().ListProfiles()};
}

void TControlHub::SendStatus(TClientId id) {
  for (const control::TBotMessage& message :
       {control::TBotMessage(State()), control::TBotMessage(Profiles()),
        control::TBotMessage(core_->Settings()),
        control::TBotMessage(control::ViewOf(core_->Views()))}) {
    server_->Send(id, EncodeMessage(message));
  }
}

void TControlHub::SendDatabase(TClientId id) {
  server_->Send(id, EncodeMessage(control::UsersOf(core_->Database())));
  server_->Send(id, EncodeMessage(control::CommandsOf(core_->Database())));
}

// ---- The clients ----

void TControlHub::ClientConnected(TClientId id) {
  clients_[id] = TClient{};
  if (core_ == nullptr) return;
  server_->Send(id, EncodeMessage(control::TBotHello{kControlProtocol, kVersion}));
  SendStatus(id);
  // The scrollback in one write: a few megabytes at most.
  std::string lines;
  for (const std::deque<TPaneLine>* pane : {&whispers_, &chat_}) {
    for (const TPaneLine& line : *pane) lines += EncodeMessage(line);
  }
  server_->Send(id, lines);
}

void TControlHub::ClientGone(TClientId id, const std::string& why) {
  clients_.erase(id);
  if (!why.empty() && core_ != nullptr) {
    core_->AddChatLine("[BOT] A control client was dropped: " + why, kRed);
  }
}

void TControlHub::ClientRefused(uid_t uid) {
  if (core_ == nullptr) return;
  core_->AddChatLine(
      "[BOT] A control connection of user id " + std::to_string(uid) + " was refused", kRed);
}

void TControlHub::ClientLine(TClientId id, std::string line) {
  if (core_ == nullptr || core_->Closed() || !clients_.contains(id)) return;
  const control::TDecodedRequest decoded = control::DecodeRequest(line);
  if (!decoded.request) {
    server_->Send(id, EncodeMessage(control::TError{decoded.id, decoded.error}));
    return;
  }
  const std::string error = Carry(id, *decoded.request);
  if (!clients_.contains(id)) return;  // the request closed the bot
  // What a client changed is in the files when it is told so: a script's change survives
  // a crash a moment later.
  core_->SaveChanges();
  // What the request changed goes out before its answer.
  Flush();
  if (!decoded.id.Empty()) {
    server_->Send(id, EncodeMessage(control::TResult{decoded.id, error.empty(), error}));
  }
  if (std::holds_alternative<control::TDetach>(*decoded.request)) server_->CloseAfterOutput(id);
}

std::string TControlHub::Carry(TClientId id, const control::TRequest& request) {
  using namespace control;
  TBotLink& link = *link_;
  const TLanguage& lang = core_->Language();
  const auto listed = [&](const std::string& name) {
    const std::vector<std::string> names = core_->Profiles().ListProfiles();
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  // A message box's text when it is an error, else nothing.
  const auto failure = [&](const TProfileMessage& message) {
    return message.icon == TMsgIcon::Error || message.icon == TMsgIcon::Warning ? message.Text(lang)
                                                                                : std::string();
  };
  return std::visit(
      TOverloaded{
          [](const THello&) { return std::string(); },
          [&](const TTypeLine& r) {
            return link.TypeLine(r.prefix, r.text) ? "" : std::string("the line was not taken");
          },
          [&](const TSay& r) {
            return core_->Say(r.text) ? "" : std::string("the line may not be said");
          },
          [&](const TMenu& r) {
            switch (r.action) {
              case TMenuAction::Connect:
                link.ConnectClicked();
                break;
              case TMenuAction::Disconnect:
                link.DisconnectClicked();
                break;
              case TMenuAction::Exit:
                link.ExitClicked();
                break;
              case TMenuAction::Utf8:
                link.ToggleUtf8();
                break;
              case TMenuAction::JoinNotify:
                link.ToggleJoinNotify();
                break;
              case TMenuAction::RestartPlugins:
                link.RestartPlugins();
                break;
            }
            return std::string();
          },
          [&](const TChooseView& r) {
            link.ChooseView(r.mode);
            return std::string();
          },
          [&](const TClanAnswer& r) {
            link.AnswerClanInvitation(r.accept);
            return std::string();
          },
          [&](const TSettingsSet& r) { return SetSettings(r); },
          [&](const TUserSet& r) {
            link.SetUser(r.name, r.access, r.flags.value_or("?"));
            return std::string();
          },
          [&](const TUserDelete& r) {
            std::int32_t access = 0;
            std::string flags;
            // "*" is the console, whose rights are no user's.
            if (r.name == "*" || !core_->Database().GetUserRights(r.name, access, flags)) {
              return "no user named '" + r.name + "'";
            }
            link.DeleteUser(r.name);
            return std::string();
          },
          [&](const TCommandAdd& r) {
            link.AddCommand(r.name, r.text, r.access, r.flags);
            return std::string();
          },
          [&](const TCommandUpdate& r) {
            const bool done = link.UpdateCommand(r);
            return done ? std::string() : "no such command '" + r.name + "'";
          },
          [&](const TCommandDelete& r) {
            return link.DeleteCommand(r.name) ? std::string()
                                              : "no custom command named '" + r.name + "'";
          },
          [&](const TCommandsReset&) {
            link.ResetCommandsToDefaults();
            return std::string();
          },
          [&](const TProfileCreate& r) {
            if (r.parent && !listed(*r.parent)) return NoProfile(*r.parent);
            const TProfiles::TCreateResult result =
                link.CreateProfile(r.name, r.parent.value_or(kDefaultProfileItem), Yes);
            if (result.created) return std::string();
            return result.message.Empty() ? "no profile was created" : result.message.Text(lang);
          },
          [&](const TProfileUse& r) {
            if (!listed(r.name)) return NoProfile(r.name);
            link.ChooseProfile(r.name, Yes);
            return r.name == core_->Profiles().Current() ? std::string()
                                                         : "cannot switch to '" + r.name + "'";
          },
          [&](const TProfileDelete& r) {
            if (!listed(r.name)) return NoProfile(r.name);
            const TProfileMessage message = link.DeleteProfile(r.name, Yes);
            return message.Empty() ? NoProfile(r.name) : failure(message);
          },
          [&](const TProfileRename& r) {
            if (!listed(r.name)) return NoProfile(r.name);
            TProfileMessage message = link.RenameRefusal(r.name);
            if (message.Empty() && r.new_name != r.name) {
              message = link.RenameProfile(r.name, r.new_name);
            }
            return failure(message);
          },
          [&](const TLanguageChoice& r) {
            return link.ChooseLanguage(r.display) ? std::string()
                                                  : "no language file reads '" + r.display + "'";
          },
          [&](const TStatusRequest&) {
            SendStatus(id);
            return std::string();
          },
          [&](const TUsersList&) {
            clients_[id].wants_database = true;
            SendDatabase(id);
            return std::string();
          },
          [](const TDetach&) { return std::string(); },
      },
      request);
}

std::string TControlHub::SetSettings(const control::TSettingsSet& request) {
  const TProfiles& profiles = core_->Profiles();
  if (!request.profile || *request.profile == profiles.Current()) {
    TSettings settings = core_->Settings();
    for (const TSettingValue& value : request.values) value.ApplyTo(settings);
    link_->ApplySettings(settings);
    return {};
  }
  // Another profile: its file alone, which the bot does not hold.
  const std::vector<std::string> names = profiles.ListProfiles();
  if (std::find(names.begin(), names.end(), *request.profile) == names.end()) {
    return NoProfile(*request.profile);
  }
  const std::string path = profiles.ProfilesDir() + "/" + *request.profile + "/" + kProfileFileName;
  TSettings settings;
  settings.Load(path);
  for (const TSettingValue& value : request.values) value.ApplyTo(settings);
  return settings.Save(path) ? std::string() : "cannot write " + path;
}

}  // namespace corvane
