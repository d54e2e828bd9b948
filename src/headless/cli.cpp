#include "headless/cli.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "app/control_client.h"
#include "bot/command_processor.h"
#include "config/Operations.h"
#include "config/codepage.h"
#include "config/get_settings.h"
#include "config/home_lock.h"
#include "config/language.h"
#include "config/language_sections.h"
#include "config/profiles.h"
#include "config/setting_values.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Texts of the code page reach a UTF-8 terminal: a line break of a language text ("%enter")
// becomes a plain line feed, and other control characters (an escape sequence would act on
// the terminal) blanks.
std::string Printable(const std::string& text) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
    out += DisplayText(text.substr(from, at - from)) + "\n";
  }
  return out + DisplayText(text.substr(from));
}

// What is typed on the command line is UTF-8; names and texts are kept in the code page,
// as the bot compares and sends them.
std::string Typed(const std::string& utf8) {
  return ProcessCodePage().FromUtf8(utf8);
}

int Usage(std::ostream& err, const std::string& what) {
  err << "corvane: " << what << " (try --help)\n";
  return kExitUsage;
}

int Failed(std::ostream& err, const std::string& what) {
  err << "corvane: " << what << '\n';
  return kExitFailed;
}

// The language the dialogs would speak with these settings, and their messages as the
// command line shows them.
struct TTexts {
  TTexts(const TProfiles& profiles, const TSettings& settings) {
    language.Apply(LanguageFolder(profiles.LangDirs(), settings.Language), settings.Language);
  }

  std::string Text(const std::string& section, const std::string& key) const {
    return Printable(language.Text(section, key));
  }

  // What a dialog's message box would say: information on stdout, anything else (warnings,
  // errors, the refusal to connect) on stderr.
  int Show(const TProfileMessage& message, std::ostream& out, std::ostream& err) const {
    const std::string text = Printable(message.Text(language));
    if (message.icon == TMsgIcon::Information) {
      out << text << '\n';
      return kExitOk;
    }
    return Failed(err, text);
  }

  TLanguage language;
};

TSettings CurrentSettings(TProfiles& profiles) {
  TSettings settings;
  profiles.LoadProfile(settings);
  return settings;
}

// The profiles of the home, its current profile and the language the dialogs would speak.
struct TContext {
  explicit TContext(const THomePaths& paths)
      : profiles(paths.home, paths.shared),
        settings(CurrentSettings(profiles)),
        texts(profiles, settings) {}

  bool Listed(const std::string& name) const {
    const std::vector<std::string> names = profiles.ListProfiles();
    return std::find(names.begin(), names.end(), name) != names.end();
  }

  TProfiles profiles;
  TSettings settings;
  TTexts texts;
};

// Held by a command that changes the home, from before it reads what it changes: it waits
// for another such command, and is refused while a bot runs there (the bot would save its
// own copy over the change at exit). Empty when refused, the refusal shown.
std::optional<THomeLock> LockForWriting(const std::string& home, std::ostream& err) {
  std::string refusal;
  std::optional<THomeLock> lock = THomeLock::ForWriter(home, refusal);
  if (!lock) Failed(err, refusal);
  return lock;
}

int UnknownProfile(std::ostream& err, const std::string& name) {
  return Failed(err, "no profile named '" + BlankControls(name) + "'");
}

// There is no connection in this process, so nothing is asked that would end one; a
// question whose only consequence is the requested operation is answered yes.
bool AnswerYes(const TProfileMessage&) {
  return true;
}

// A message of the profile section, as TProfiles gives them.
TProfileMessage Message(const char* text_key, TMsgIcon icon) {
  TProfileMessage message;
  message.text_key = text_key;
  message.icon = icon;
  return message;
}

std::string CurrentProfileLine(const TTexts& texts, const std::string& name) {
  std::string line = texts.Text(kProfSection, "curprofmsg");
  ReplaceAll(line, "%p", BlankControls(name));
  return line;
}

int AlreadyCurrent(const std::string& name, std::ostream& out) {
  out << "Profile '" << BlankControls(name) << "' is current already.\n";
  return kExitOk;
}

int SameName(const std::string& name, std::ostream& out) {
  out << "Profile '" << BlankControls(name) << "' has that name already.\n";
  return kExitOk;
}

int SettingsSaved(const std::string& name, std::size_t count, std::ostream& out) {
  out << "Profile '" << BlankControls(name) << "': " << count
      << (count == 1 ? " setting" : " settings") << " saved.\n";
  return kExitOk;
}

int ProfileList(const std::vector<std::string>& names, const std::string& current,
                std::ostream& out) {
  for (const std::string& name : names) {
    out << (name == current ? "* " : "  ") << BlankControls(name) << '\n';
  }
  return kExitOk;
}

void PrintUser(const std::string& name, std::int32_t access, const std::string& flags,
               std::ostream& out) {
  out << DisplayText(name) << '\t' << access << '\t' << DisplayText(flags) << '\n';
}

int UserAdded(const TTexts& texts, const std::string& name, std::int32_t access,
              const std::string& flags, std::ostream& out) {
  // The name goes in last: one that holds "%acs" must stay as typed.
  std::string line = texts.Text(kInternalCommandsSection, "user_add");
  ReplaceAll(line, "%acs", std::to_string(access));
  ReplaceAll(line, "%flags", flags);
  ReplaceAll(line, "%user", DisplayText(name));
  out << line << '\n';
  return kExitOk;
}

// ---- a running bot ----

// The bot running on the home, reached through its control socket. A change goes through
// it rather than into the files, over which it would save its own copy; what the commands
// print is what they print for the files.
class TRunningBot {
 public:
  TRunningBot(int fd, const THomePaths& paths)
      : connection_(fd), profiles_(paths.home, paths.shared) {
    settings_.Load("");
  }

  // Asks for the state, the settings and the profiles; false, the failure shown, when the
  // bot does not answer.
  bool Start(std::ostream& err) {
    if (!Ask(control::TStatusRequest{}, err)) return false;
    texts_.emplace(profiles_, settings_);
    return true;
  }

  // Has the request carried out; false, the bot's refusal or the failure shown, when not.
  bool Ask(const control::TRequest& request, std::ostream& err) {
    std::string error;
    const auto take = [this](const control::TBotMessage& message) { Take(message); };
    if (connection_.Call(request, kControlTimeoutMs, take, error)) return true;
    Failed(err, Printable(error));
    return false;
  }

  bool Listed(const std::string& name) const {
    const std::vector<std::string>& names = profile_list_.profiles;
    return std::find(names.begin(), names.end(), name) != names.end();
  }
  const control::TState& State() const { return state_; }
  const control::TProfileList& Profiles() const { return profile_list_; }
  const control::TUserList& Users() const { return users_; }
  const TTexts& Texts() const { return *texts_; }

 private:
  void Take(const control::TBotMessage& message) {
    if (const auto* state = std::get_if<control::TState>(&message)) state_ = *state;
    if (const auto* settings = std::get_if<TSettings>(&message)) settings_ = *settings;
    if (const auto* list = std::get_if<control::TProfileList>(&message)) profile_list_ = *list;
    if (const auto* users = std::get_if<control::TUserList>(&message)) users_ = *users;
  }

  TControlConnection connection_;
  TProfiles profiles_;  // where the language files are
  control::TState state_;
  TSettings settings_;
  control::TProfileList profile_list_;
  control::TUserList users_;
  std::optional<TTexts> texts_;  // once started
};

// Why no bot could be reached on the home.
struct TAbsence {
  std::string error;
  bool no_bot = false;  // none runs there
};

// What `act` returns, done with the bot running on the home, started. Nothing when no bot
// can be reached there (`absent` tells why): the files are used then, and the home's lock
// tells whether a bot holds them after all.
std::optional<int> ViaBot(const THomePaths& paths, std::ostream& err,
                          const std::function<int(TRunningBot&)>& act, TAbsence* absent = nullptr) {
  TAbsence ignored;
  TAbsence& why = absent != nullptr ? *absent : ignored;
  const int fd = ConnectToBot(paths.home, why.error, &why.no_bot);
  if (fd < 0) return std::nullopt;
  TRunningBot bot(fd, paths);
  if (!bot.Start(err)) return kExitFailed;
  return act(bot);
}

// ---- profile ----

int ProfileCreate(const std::vector<std::string>& args, const THomePaths& paths, std::ostream& out,
                  std::ostream& err) {
  std::optional<std::string> name;
  std::optional<std::string> parent;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& word = args[i];
    std::optional<std::string> from;
    if (word == "--from") {
      if (i + 1 >= args.size()) return Usage(err, "--from needs a profile name");
      from = args[++i];
    } else if (word.rfind("--from=", 0) == 0) {
      from = word.substr(7);
    } else if (word.rfind("--", 0) == 0) {
      return Usage(err, "unknown option '" + BlankControls(word) + "' of 'profile create'");
    } else if (!name) {
      name = word;
    } else {
      return Usage(err, "unexpected word '" + BlankControls(word) + "' after 'profile create'");
    }
    if (from) {
      if (parent) return Usage(err, "--from is given twice");
      parent = from;
    }
  }
  if (!name) return Usage(err, "'profile create' needs a profile NAME");

  const TProfileMessage missing_parent = Message("patprofnotexists", TMsgIcon::Error);
  if (const auto code = ViaBot(paths, err, [&](TRunningBot& bot) {
        if (parent && !bot.Listed(*parent)) return bot.Texts().Show(missing_parent, out, err);
        if (!bot.Ask(control::TProfileCreate{*name, parent}, err)) return kExitFailed;
        TProfileMessage created = Message("crok", TMsgIcon::Information);
        created.new_name = TProfiles::CleanProfileName(*name);  // as the bot cleaned it
        bot.Texts().Show(created, out, err);
        out << CurrentProfileLine(bot.Texts(), created.new_name) << '\n';
        return kExitOk;
      })) {
    return *code;
  }
  const std::optional<THomeLock> lock = LockForWriting(paths.home, err);
  if (!lock) return kExitFailed;
  TContext ctx(paths);
  if (parent && !ctx.Listed(*parent)) return ctx.texts.Show(missing_parent, out, err);
  ctx.profiles.CreateFolders();
  const TProfiles::TCreateResult result = ctx.profiles.CreateProfile(
      *name, parent.value_or(kDefaultProfileItem), false, AnswerYes, nullptr);
  if (result.message.Empty()) return Failed(err, "no profile was created");
  const int code = ctx.texts.Show(result.message, out, err);
  if (result.created) out << CurrentProfileLine(ctx.texts, result.name) << '\n';
  return code;
}

int ProfileUse(const std::string& name, TContext& ctx, std::ostream& out, std::ostream& err) {
  if (!ctx.Listed(name)) return UnknownProfile(err, name);
  if (name == ctx.profiles.Current()) return AlreadyCurrent(name, out);
  if (!ctx.profiles.SwitchProfile(name)) {
    return Failed(err, "cannot switch to '" + BlankControls(name) + "'");
  }
  out << CurrentProfileLine(ctx.texts, name) << '\n';
  return kExitOk;
}

int ProfileDelete(const std::string& name, const TContext& ctx, std::ostream& out,
                  std::ostream& err) {
  if (!ctx.Listed(name)) return UnknownProfile(err, name);
  const TProfileMessage result = ctx.profiles.DeleteProfile(name, AnswerYes);
  // Empty: the entry is no folder of its own (a link to one), which the dialog never lists.
  if (result.Empty()) return UnknownProfile(err, name);
  return ctx.texts.Show(result, out, err);
}

int ProfileRename(const std::string& name, const std::string& new_name, const TContext& ctx,
                  std::ostream& out, std::ostream& err) {
  if (!ctx.Listed(name)) return UnknownProfile(err, name);
  const TProfileMessage refusal = ctx.profiles.RenameRefusal(name);
  if (!refusal.Empty()) return ctx.texts.Show(refusal, out, err);
  if (new_name == name) return SameName(name, out);
  const TProfileMessage result = ctx.profiles.RenameProfile(name, new_name);
  if (result.Empty()) return UnknownProfile(err, name);
  return ctx.texts.Show(result, out, err);
}

// The same three through the bot, which refuses what TProfiles refuses; the refusals the
// command line words itself, or that a message box shows, are made here as for the files.
int BotProfileUse(const std::string& name, TRunningBot& bot, std::ostream& out, std::ostream& err) {
  if (!bot.Listed(name)) return UnknownProfile(err, name);
  if (name == bot.Profiles().current) return AlreadyCurrent(name, out);
  if (!bot.Ask(control::TProfileUse{name}, err)) return kExitFailed;
  out << CurrentProfileLine(bot.Texts(), name) << '\n';
  return kExitOk;
}

int BotProfileDelete(const std::string& name, TRunningBot& bot, std::ostream& out,
                     std::ostream& err) {
  if (!bot.Listed(name)) return UnknownProfile(err, name);
  if (name == bot.Profiles().current) {
    return bot.Texts().Show(Message("profdelerror1", TMsgIcon::Warning), out, err);
  }
  if (!bot.Ask(control::TProfileDelete{name}, err)) return kExitFailed;
  return bot.Texts().Show(Message("profdelok", TMsgIcon::Information), out, err);
}

int BotProfileRename(const std::string& name, const std::string& new_name, TRunningBot& bot,
                     std::ostream& out, std::ostream& err) {
  if (!bot.Listed(name)) return UnknownProfile(err, name);
  if (name == bot.Profiles().current) {
    return bot.Texts().Show(Message("profrmerror1", TMsgIcon::Warning), out, err);
  }
  if (new_name == name) return SameName(name, out);
  if (!bot.Ask(control::TProfileRename{name, new_name}, err)) return kExitFailed;
  return bot.Texts().Show(Message("profrmok", TMsgIcon::Information), out, err);
}

// One Section.Key=value of `profile set`, checked; its text is still as typed.
std::optional<TSettingValue> ParseAssignment(const std::string& word, std::string& error) {
  const std::size_t eq = word.find('=');
  if (eq == std::string::npos) {
    error = "'" + BlankControls(word) + "' is not Section.Key=value";
    return std::nullopt;
  }
  const TSettingField* field = FindSetting(word.substr(0, eq), error);
  if (field == nullptr) return std::nullopt;
  return ParseSettingValue(*field, word.substr(eq + 1), error);
}

int ProfileSet(const std::vector<std::string>& args, const THomePaths& paths, std::ostream& out,
               std::ostream& err) {
  if (args.size() < 3)
    return Usage(err, "'profile set' needs a profile NAME and Section.Key=value");
  // Every assignment is checked before anything is written.
  std::vector<TSettingValue> assignments;
  bool bad = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    std::string error;
    if (std::optional<TSettingValue> a = ParseAssignment(args[i], error)) {
      assignments.push_back(*a);
    } else {
      err << "corvane: " << error << '\n';
      bad = true;
    }
  }
  if (bad) return Usage(err, "nothing was written");

  for (TSettingValue& a : assignments) a.text = Typed(a.text);

  const std::string& name = args[1];
  if (const auto code = ViaBot(paths, err, [&](TRunningBot& bot) {
        if (!bot.Listed(name)) return UnknownProfile(err, name);
        control::TSettingsSet set{std::nullopt, assignments};
        if (name != bot.Profiles().current) set.profile = name;
        if (!bot.Ask(set, err)) return kExitFailed;
        return SettingsSaved(name, assignments.size(), out);
      })) {
    return *code;
  }
  const std::optional<THomeLock> lock = LockForWriting(paths.home, err);
  if (!lock) return kExitFailed;
  const TContext ctx(paths);
  if (!ctx.Listed(name)) return UnknownProfile(err, name);
  const std::string path = ctx.profiles.ProfilesDir() + "/" + name + "/" + kProfileFileName;
  TSettings settings;
  settings.Load(path);
  for (const TSettingValue& a : assignments) a.ApplyTo(settings);
  if (!settings.Save(path)) return Failed(err, "cannot write " + path);
  return SettingsSaved(name, assignments.size(), out);
}

// ---- users ----

// The current profile's database; nullopt (and the refusal shown) when no profile is current.
std::optional<std::string> DatabaseOf(const TContext& ctx, std::ostream& out, std::ostream& err) {
  TProfileMessage refusal;
  if (ctx.profiles.CheckProfile(&refusal)) return ctx.profiles.DatabasePath();
  ctx.texts.Show(refusal, out, err);
  err << "corvane: create a profile with 'corvane profile create NAME', or choose one with "
         "'corvane profile use NAME'\n";
  return std::nullopt;
}

// A file that is there but does not load is left alone rather than replaced with defaults.
bool Unreadable(const std::string& path, std::ostream& err) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return false;
  TBotCommandControl probe;
  if (probe.LoadFromFile(path)) return false;
  err << "corvane: " << path << " is no user database; it was left as it is\n";
  return true;
}

int UsersList(const THomePaths& paths, std::ostream& out, std::ostream& err) {
  const TContext ctx(paths);
  const std::optional<std::string> path = DatabaseOf(ctx, out, err);
  if (!path) return kExitFailed;
  std::error_code ec;
  if (!fs::exists(*path, ec)) return kExitOk;  // the bot has not made it yet: nobody
  TBotCommandControl db;
  if (!db.LoadFromFile(*path)) {
    return Failed(err, *path + " is no user database");
  }
  for (const auto& u : db.Users()) PrintUser(u->Name, u->Access, u->Flags, out);
  return kExitOk;
}

int UsersAdd(const std::vector<std::string>& args, const THomePaths& paths, std::ostream& out,
             std::ostream& err) {
  if (args.size() < 3) return Usage(err, "'users add' needs a user NAME and an ACCESS level");
  if (args.size() > 4) {
    return Usage(err, "unexpected word '" + BlankControls(args[4]) + "' after 'users add'");
  }
  const std::string name = Typed(args[1]);
  if (name.empty() || name == "*") {
    return Usage(err, "'" + name + "' is no user name (\"*\" is the console)");
  }
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) {
      return Usage(err, "a user name holds no blanks or control characters");
    }
  }
  std::int32_t access = 0;
  if (!ParseInt32(args[2], access) || access < 0) {
    return Usage(err, "ACCESS must be a whole number from 0 to " + std::to_string(INT32_MAX) +
                          ", not '" + BlankControls(args[2]) + "'");
  }
  // Without FLAGS an existing user keeps his; an empty FLAGS clears them.
  std::string flags = "?";
  if (args.size() == 4) {
    flags = args[3];
    const bool letters = std::all_of(flags.begin(), flags.end(), [](char c) {
      return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    if (!letters) return Usage(err, "FLAGS are letters, not '" + BlankControls(flags) + "'");
  }

  if (const auto code = ViaBot(paths, err, [&](TRunningBot& bot) {
        const control::TUserSet set{name, access,
                                    flags == "?" ? std::nullopt : std::optional(flags)};
        if (!bot.Ask(set, err) || !bot.Ask(control::TUsersList{}, err)) return kExitFailed;
        for (const control::TUserList::TEntry& user : bot.Users().users) {
          if (EqualsNoCase(user.name, name)) {
            return UserAdded(bot.Texts(), name, user.access, user.flags, out);
          }
        }
        return Failed(err, "the bot does not list " + DisplayText(name) + " among its users");
      })) {
    return *code;
  }
  const std::optional<THomeLock> lock = LockForWriting(paths.home, err);
  if (!lock) return kExitFailed;
  const TContext ctx(paths);
  const std::optional<std::string> path = DatabaseOf(ctx, out, err);
  if (!path) return kExitFailed;
  if (Unreadable(*path, err)) return kExitFailed;
  // As the bot opens it at start: the internal commands, then the file's users and commands.
  const std::unique_ptr<TBotCommandControl> db = ResetCommandDatabase(false, *path, nullptr);
  db->SetUser(name, access, flags);
  if (!db->SaveToFile(*path)) return Failed(err, "cannot write " + *path);

  std::int32_t stored_access = 0;
  std::string stored_flags;
  db->GetUserRights(name, stored_access, stored_flags);
  return UserAdded(ctx.texts, name, stored_access, stored_flags, out);
}

}  // namespace

int RunProfileCommand(const THomePaths& paths, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    return Usage(err, "'profile' needs one of list, create, use, delete, rename, set");
  }
  const std::string& sub = args[0];
  // The number of words each fixed-form command takes, its own name included.
  const auto expect = [&](std::size_t words, const char* form) -> std::optional<int> {
    if (args.size() < words) {
      return Usage(err, std::string("a word is missing: the form is 'profile ") + form + "'");
    }
    if (args.size() > words) {
      return Usage(
          err, "unexpected word '" + BlankControls(args[words]) + "' after 'profile " + sub + "'");
    }
    return std::nullopt;
  };
  if (sub == "list") {
    if (const auto code = expect(1, "list")) return *code;
    const auto list = [&](TRunningBot& bot) {
      return ProfileList(bot.Profiles().profiles, bot.Profiles().current, out);
    };
    if (const auto code = ViaBot(paths, err, list)) return *code;
    const TContext ctx(paths);
    return ProfileList(ctx.profiles.ListProfiles(), ctx.profiles.Current(), out);
  }
  if (sub == "create") return ProfileCreate(args, paths, out, err);
  if (sub == "use") {
    if (const auto code = expect(2, "use NAME")) return *code;
    const auto use = [&](TRunningBot& bot) { return BotProfileUse(args[1], bot, out, err); };
    if (const auto code = ViaBot(paths, err, use)) return *code;
    const std::optional<THomeLock> lock = LockForWriting(paths.home, err);
    if (!lock) return kExitFailed;
    TContext ctx(paths);
    return ProfileUse(args[1], ctx, out, err);
  }
  if (sub == "delete") {
    if (const auto code = expect(2, "delete NAME")) return *code;
    const auto del = [&](TRunningBot& bot) { return BotProfileDelete(args[1], bot, out, err); };
    if (const auto code = ViaBot(paths, err, del)) return *code;
    const std::optional<THomeLock> lock = LockForWriting(paths.home, err);
    if (!lock) return kExitFailed;
    return ProfileDelete(args[1], TContext(paths), out, err);
  }
  if (sub == "rename") {
    if (const auto code = expect(3, "rename OLD NEW")) return *code;
    const auto rename = [&](TRunningBot& bot) {
      return BotProfileRename(args[1], args[2], bot, out, err);
    };
    if (const auto code = ViaBot(paths, err, rename)) return *code;
    const std::optional<THomeLock> lock = LockForWriting(paths.home, err);
    if (!lock) return kExitFailed;
    return ProfileRename(args[1], args[2], TContext(paths), out, err);
  }
  if (sub == "set") return ProfileSet(args, paths, out, err);
  return Usage(err, "unknown profile command '" + BlankControls(sub) + "'");
}

int RunUsersCommand(const THomePaths& paths, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "'users' needs one of add, list");
  const std::string& sub = args[0];
  if (sub == "list") {
    if (args.size() > 1) {
      return Usage(err, "unexpected word '" + BlankControls(args[1]) + "' after 'users list'");
    }
    const auto list = [&](TRunningBot& bot) {
      if (!bot.Ask(control::TUsersList{}, err)) return kExitFailed;
      for (const control::TUserList::TEntry& u : bot.Users().users) {
        PrintUser(u.name, u.access, u.flags, out);
      }
      return kExitOk;
    };
    if (const auto code = ViaBot(paths, err, list)) return *code;
    return UsersList(paths, out, err);
  }
  if (sub == "add") return UsersAdd(args, paths, out, err);
  return Usage(err, "unknown users command '" + BlankControls(sub) + "'");
}

int RunSayCommand(const THomePaths& paths, const std::vector<std::string>& words,
                  std::ostream& /*out*/, std::ostream& err) {
  if (words.empty()) return Usage(err, "'say' needs the TEXT to say");
  std::string text = words[0];
  for (std::size_t i = 1; i < words.size(); ++i) text += " " + words[i];
  const auto say = [&](TRunningBot& bot) {
    return bot.Ask(control::TSay{Typed(text)}, err) ? kExitOk : kExitFailed;
  };
  TAbsence absent;
  if (const auto code = ViaBot(paths, err, say, &absent)) return *code;
  return Failed(err, absent.error);
}

int RunStatusCommand(const THomePaths& paths, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
  if (!args.empty()) {
    return Usage(err, "unexpected word '" + BlankControls(args[0]) + "' after 'status'");
  }
  const auto status = [&](TRunningBot& bot) {
    const auto yes = [](bool on) { return on ? "yes" : "no"; };
    const control::TState& state = bot.State();
    out << "running: yes\n"
        << "connected: " << yes(state.connected) << '\n'
        << "logged on: " << yes(state.logged_on) << '\n'
        << "channel: " << DisplayText(state.channel) << '\n'
        << "profile: " << BlankControls(state.profile) << '\n';
    return kExitOk;
  };
  TAbsence absent;
  if (const auto code = ViaBot(paths, err, status, &absent)) return *code;
  if (!absent.no_bot) return Failed(err, absent.error);
  out << "running: no\n";
  return kExitNotRunning;
}

}  // namespace corvane
