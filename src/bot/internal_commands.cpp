#include "bot/internal_commands.h"

#include <charconv>
#include <map>

#include "bnet/bnet.h"
#include "config/Operations.h"
#include "config/language.h"
#include "config/language_sections.h"

namespace corvane {
namespace {

constexpr char kProtectBanText[] = "Bot will be ban any not safelisted users.";
constexpr char kProtectKickText[] = "Bot will be kick any not safelisted users.";
constexpr char kProtectOffText[] = "Channel protection disabled.";

// What a handler is given by dispatch.
struct TCall {
  TBotHost& host;
  const std::string& speaker;
  const std::string& args;
  std::int32_t ping;
  std::uint8_t source;

  TBotCommandControl& Db() const { return host.Database(); }
  bool Console() const { return source == kSourceConsole; }
  // The command's target: the whole argument text, blanks trimmed.
  std::string Target() const {
    std::string t = args;
    TrimSpaces(t);
    return t;
  }
  // The name a kick, ban or shitlist is about: the first word. The words after it are the
  // reason the server shows, and must not hide a safelisted name from the test.
  std::string TargetName() const {
    const std::string t = Target();
    return t.substr(0, t.find(' '));
  }
  // Whispered back to a whisperer, written to the pane for the console, else said in the
  // channel.
  void Route(const std::string& reply, TColor console_color) const {
    if (source == kSourceWhisper) {
      host.QueueLine("/w " + speaker + " " + reply);
    } else if (Console()) {
      host.AddChatLine("[BOT] " + reply, console_color);
    } else {
      host.QueueLine(reply);
    }
  }
  // The arguments with double blanks made single, split at blanks.
  std::vector<std::string> Words() const {
    std::string a = args;
    ReplaceAll(a, "  ", " ");
    return SplitQuoted(a, ' ');
  }
};

using TCommand = bool (*)(const TCall&);

// A whole decimal number that fits in 32 bits, with an optional sign.
bool ParseLevel(const std::string& word, std::int32_t& level) {
  std::string_view w = word;
  if (!w.empty() && w[0] == '+') w.remove_prefix(1);
  const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), level);
  return !w.empty() && ec == std::errc() && end == w.data() + w.size();
}

bool HasUpperA(const std::string& flags) {
  return UpperCase(flags).find('A') != std::string::npos;
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  ReplaceAll(text, what, with);
  return text;
}

bool PingMe(const TCall& c) {
  if (!CheckConnected(c.host)) return false;
  const std::string ping = std::to_string(c.ping);
  if (c.speaker == "*") {
    c.host.AddChatLine(
        Replaced(c.host.Language().Text(kInternalCommandsSection, "bot_ping_me"), "%ping", ping),
        kRed);
  } else {
    c.Route(
        Replaced(c.host.Language().Text(kInternalCommandsSection, "user_ping_say"), "%ping", ping),
        kRed);
  }
  return true;
}

bool KickOrBan(const TCall& c, const char* command) {
  if (!CheckConnected(c.host)) return false;
  const std::string target = c.Target();
  if (c.Db().IsSafelisted(c.TargetName())) {
    c.host.QueueLine(c.TargetName() + " is safelisted!");
    return false;
  }
  c.host.QueueLine(command + target);
  return true;
}

bool Kick(const TCall& c) {
  return KickOrBan(c, "/kick ");
}
bool Ban(const TCall& c) {
  return KickOrBan(c, "/ban ");
}

bool KickMe(const TCall& c) {
  c.host.QueueLine("/kick " + c.speaker);
  return true;
}

bool Add(const TCall& c) {
  std::int32_t access = 0;
  std::string flags;
  if (!c.Db().GetUserRights(c.speaker, access, flags)) return true;
  const std::vector<std::string> words = SplitQuoted(c.args, ' ');
  if (words.size() < 2) return true;
  const std::string& target = words[0];
  std::int32_t level = 0;
  if (!ParseLevel(words[1], level)) return true;
  const std::string new_flags = words.size() > 2 ? words[2] : std::string();
  const bool all_rights = HasUpperA(flags);
  if (level >= access && !all_rights) return true;
  std::int32_t target_access = 0;
  std::string target_flags;
  c.Db().GetUserRights(target, target_access, target_flags);
  if (HasUpperA(target_flags) || level <= target_access) return true;  // levels only rise
  std::string shown;
  if (all_rights) {
    c.Db().SetUser(target, level, new_flags);
    shown = new_flags;
  } else {
    c.Db().SetUser(target, level, "?");
  }
  std::string reply = c.host.Language().Text(kInternalCommandsSection, "user_add");
  ReplaceAll(reply, "%user", target);
  ReplaceAll(reply, "%acs", std::to_string(level));
  ReplaceAll(reply, "%flags", shown);
  if (c.Console()) {
    c.host.AddChatLine("BOT " + reply, kGreen);
  } else {
    c.host.QueueLine(reply);
  }
  return true;
}

bool WhoAmI(const TCall& c) {
  if (c.Console()) {
    c.host.AddChatLine("[BOT] You have ALL access and ALL flags. Good luck!", kLime);
    return true;
  }
  std::int32_t access = 0;
  std::string flags;
  if (!c.Db().GetUserRights(c.speaker, access, flags)) return false;
  std::string reply = c.speaker + " you have " + std::to_string(access) + " access";
  reply += flags.empty() ? "." : " and " + flags + " flags.";
  c.host.QueueLine(c.source == kSourceWhisper ? "/w " + c.speaker + " " + reply : reply);
  return true;
}

bool Designate(const TCall& c) {
  if (!CheckConnected(c.host)) return false;
  const std::string target = c.Target();
  c.host.QueueLine("/designate " + target);
  if (!c.Console()) c.host.QueueLine("I designated " + target);
  return true;
}

bool Unban(const TCall& c) {
  if (!CheckConnected(c.host)) return false;
  c.host.QueueLine("/unban " + c.Target());
  return true;
}

bool Shitlist(const TCall& c) {
  const std::string name = c.TargetName();
  if (c.Db().IsSafelisted(name)) return true;
  if (c.Db().IsShitlisted(name)) {
    c.host.QueueLine(c.speaker + " allready shitlisted!");
    return true;
  }
  // The user record is the name alone, so that his next join finds it.
  c.Db().SetUser(name, 0, "B");
  c.host.QueueLine("/ban " + c.Target() + " (Shitlisted)");
  c.host.QueueLine(name + " now shitlisted!");
  return true;
}

bool Unshitlist(const TCall& c) {
  const std::string target = c.Target();
  if (!c.Db().IsSafelisted(target) && c.Db().IsShitlisted(target)) {
    c.Db().DeleteUser(target);
    c.host.QueueLine(target + " now is not shitlisted!");
  }
  return true;
}

bool Quit(const TCall& c) {
  c.host.Quit();
  return true;
}

bool Safelist(const TCall& c) {
  const std::string target = c.Target();
  if (c.Db().IsSafelisted(target)) {
    c.host.QueueLine(c.speaker + " allready safelisted!");
    return true;
  }
  c.Db().AddSafelisted(target);
  c.host.QueueLine(target + " now safelisted!");
  return true;
}

bool Unsafelist(const TCall& c) {
  const std::string target = c.Target();
  if (c.Db().IsSafelisted(target)) {
    c.Db().RemoveUserFlag(target, "S");
    c.host.QueueLine(target + " now is not safelisted!");
  }
  return true;
}

bool Say(const TCall& c) {
  c.host.QueueLine(c.args);
  return true;
}

bool CmdAdd(const TCall& c) {
  const std::vector<std::string> words = c.Words();
  if (words.size() < 2) return true;
  std::int32_t level = 0;
  if (!ParseLevel(words[1], level)) return true;
  std::string text;
  for (std::size_t i = 2; i < words.size(); ++i) text += (i > 2 ? " " : "") + words[i];
  c.Db().AddCustomCommand(words[0], text, false, true, level, "");
  const std::string reply =
      "Command " + words[0] + "[" + std::to_string(level) + ", " + text + "] added!";
  if (c.Console()) {
    c.host.AddChatLine(reply, kLime);
  } else {
    c.host.QueueLine(reply);
  }
  return true;
}

bool CmdDel(const TCall& c) {
  const std::vector<std::string> words = c.Words();
  const std::string name = words.empty() ? std::string() : words[0];
  const TBotCommand* command = c.Db().FindCommand(name, TCmdType::Custom);
  if (command == nullptr) return true;
  c.Db().RemoveCommand(command);
  const std::string reply = "Command " + name + " removed.";
  c.host.AddChatLine(reply, kLime);
  if (!c.Console()) c.host.QueueLine(reply);
  return true;
}

bool Invite(const TCall& c) {
  if (TBNET* session = c.host.Session()) session->InviteToClan(c.Target());
  c.host.AddChatLine("[CLAN] Sended clan invitation.", kYellow);
  return true;
}

bool Rejoin(const TCall& c) {
  c.host.QueueLine("/rejoin");
  return true;
}

bool Ping(const TCall& c) {
  const std::vector<std::string> words = c.Words();
  if (words.empty()) return true;
  const TUser* member = c.host.FindChannelUser(words[0]);
  if (member == nullptr) return true;
  c.Route("Ping of " + member->Name + " at login was " + std::to_string(member->Ping) + ".",
          kGreen);
  return true;
}

bool Protect(const TCall& c) {
  const std::vector<std::string> words = c.Words();
  const std::string word = words.empty() ? std::string() : UpperCase(words[0]);
  if (word == "KICK") {
    c.host.SetProtectMode(kProtectKick);
  } else if (word == "BAN") {
    c.host.SetProtectMode(kProtectBan);
  } else if (word == "OFF") {
    c.host.SetProtectMode(kProtectOff);
  }
  switch (c.host.ProtectMode()) {
    case kProtectBan:
      c.Route(kProtectBanText, kGreen);
      break;
    case kProtectKick:
      c.Route(kProtectKickText, kGreen);
      break;
    default:
      c.Route(kProtectOffText, kGreen);
      break;
  }
  return true;
}

const std::map<std::string, TCommand>& Commands() {
  static const std::map<std::string, TCommand> table = {{"PINGME", PingMe},
                                                        {"KICK", Kick},
                                                        {"BAN", Ban},
                                                        {"KICKME", KickMe},
                                                        {"ADD", Add},
                                                        {"WHOAMI", WhoAmI},
                                                        {"DESIGNATE", Designate},
                                                        {"UNBAN", Unban},
                                                        {"SHITLIST", Shitlist},
                                                        {"UNSHITLIST", Unshitlist},
                                                        {"QUIT", Quit},
                                                        {"SAFELIST", Safelist},
                                                        {"UNSAFELIST", Unsafelist},
                                                        {"SAY", Say},
                                                        {"CMDADD", CmdAdd},
                                                        {"CMDDEL", CmdDel},
                                                        {"INVITE", Invite},
                                                        {"REJOIN", Rejoin},
                                                        {"PING", Ping},
                                                        {"PROTECT", Protect}};
  return table;
}

}  // namespace

bool CheckConnected(TBotHost& host) {
  if (TBNET* session = host.Session(); session != nullptr && session->Active()) return true;
  host.AddChatLine("[BOT] " + host.Language().Text(kInternalCommandsSection, "not_conn"), kRed);
  return false;
}

TInternalHandler InternalHandler(TBotHost& host, const std::string& name) {
  const auto it = Commands().find(UpperCase(name));
  if (it == Commands().end()) return {};
  const TCommand command = it->second;
  return [&host, command](const std::string& speaker, const std::string& args, const std::string&,
                          std::int32_t ping, std::uint32_t, std::uint8_t source) {
    return command(TCall{host, speaker, args, ping, source});
  };
}

}  // namespace corvane
