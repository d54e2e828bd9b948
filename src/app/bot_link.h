#pragma once
// What a front end reaches of a bot: what it shows and what the person does, the same
// whether the bot runs in this process (TLocalBot) or elsewhere and is reached through its
// control socket (TRemoteBot). The window and its dialogs are written against this alone,
// so an attached window is the window of a local bot, not a second one. The bot tells the
// front end what changed through TFrontEnd either way.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/member_views.h"
#include "bot/command_processor.h"
#include "config/colors.h"
#include "config/get_settings.h"
#include "config/language.h"
#include "config/profiles.h"

namespace corvane {

// The anti-idle line: at least a minute apart, at most 24 days (what a settings dialog
// offers too).
inline constexpr std::int64_t kMinIdleMinutes = 1;
inline constexpr std::int64_t kMaxIdleMinutes = 24 * 24 * 60;

class TBotLink {
 public:
  virtual ~TBotLink() = default;

  // The start sequence (local: profile, plug-ins, automatic connection; remote: the bot's
  // state arrives).
  virtual void Start() = 0;
  // Local: the close sequence (false when something could not be saved). Remote: detaches
  // and leaves the bot running. Safe to call twice: the window calls it as it closes and
  // again as it goes.
  virtual bool Close() = 0;
  // Whether the bot runs in another process (Exit then asks whether to stop it).
  virtual bool Remote() const { return false; }

  // What the window shows.
  virtual const TSettings& Settings() const = 0;
  virtual const TMemberViews& Views() const = 0;
  virtual const TLanguage& Language() const = 0;
  // The users and commands, for the dialogs' lists; edited through the calls below only.
  virtual const TBotCommandControl& Database() const = 0;
  virtual bool Connected() const = 0;
  virtual std::string CurrentProfile() const = 0;
  virtual std::vector<std::string> ListProfiles() const = 0;
  // The folders the language list is read from.
  virtual std::vector<std::string> LangDirs() const = 0;
  // The bot's home on this machine, where profiles.ini and the icons lie; empty when the
  // bot runs elsewhere (the shipped icons and the default scrollback serve then).
  virtual std::string LocalHome() const = 0;

  // The menu, the view buttons, the input line and the clan invitation.
  virtual void ConnectClicked() = 0;
  virtual void DisconnectClicked() = 0;
  virtual void ExitClicked() = 0;
  virtual void ToggleUtf8() = 0;
  virtual void ToggleJoinNotify() = 0;
  virtual void RestartPlugins() = 0;
  virtual void ChooseView(TViewMode mode) = 0;
  // True when the line was taken (the input line is then cleared).
  virtual bool TypeLine(const std::string& prefix, const std::string& input) = 0;
  virtual void AnswerClanInvitation(bool accept) = 0;
  // A line of the front end's own in the chat pane (an icon that could not be read).
  virtual void AddChatLine(const std::string& text, TColor color) = 0;

  // The settings dialog: settings applied and saved at once.
  virtual void ApplySettings(const TSettings& settings) = 0;
  // The user is added or changed; flags "?" keep his.
  virtual void SetUser(const std::string& name, std::int32_t access, const std::string& flags) = 0;
  virtual void DeleteUser(const std::string& name) = 0;
  // A new custom command, enabled.
  virtual void AddCommand(const std::string& name, const std::string& text, std::int32_t access,
                          const std::string& flags) = 0;
  // The first command with exactly that name, kind and text gets the new values; false when
  // there is none (any more).
  struct TCommandEdit {
    std::string name;
    std::string text;
    TCmdType kind = TCmdType::Custom;
    std::optional<std::string> new_name;
    std::optional<std::string> new_text;
    std::optional<std::int32_t> access;
    std::optional<std::string> flags;
    std::optional<bool> enabled;
    bool operator==(const TCommandEdit&) const = default;
  };
  virtual bool UpdateCommand(const TCommandEdit& edit) = 0;
  // Only a custom command; false when there is none of that name.
  virtual bool DeleteCommand(const std::string& name) = 0;
  virtual void ResetCommandsToDefaults() = 0;

  // The profile operations, with the rules of TBotCore's; `ask` puts a question to the
  // person.
  enum class TChoice : std::uint8_t { Unchanged, Refused, Switched };
  virtual TChoice ChooseProfile(const std::string& name, const TProfiles::TAsk& ask) = 0;
  virtual TProfiles::TCreateResult CreateProfile(const std::string& typed_name,
                                                 const std::string& parent,
                                                 const TProfiles::TAsk& ask) = 0;
  virtual TProfileMessage DeleteProfile(const std::string& name,
                                        const TProfiles::TAsk& confirm) = 0;
  // Why the profile cannot be renamed (empty: it can).
  virtual TProfileMessage RenameRefusal(const std::string& name) const = 0;
  virtual TProfileMessage RenameProfile(const std::string& name, const std::string& new_name) = 0;
  // The language whose "Languige (LanguigeLocal)" reads `display`; false when none does.
  virtual bool ChooseLanguage(const std::string& display) = 0;
};

}  // namespace corvane
