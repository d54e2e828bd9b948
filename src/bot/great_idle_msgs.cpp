#include "bot/great_idle_msgs.h"

#include <chrono>
#include <random>

#include "bnet/bnet.h"
#include "bnet/statstring.h"
#include "config/Operations.h"
#include "config/get_settings.h"
#include "config/language.h"

namespace corvane {
namespace {

constexpr int kMaxDraws = 101;

// The user's locale's long time ("%X") or short date ("%x").
std::string LocalTimeText(std::time_t now, bool date) {
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  // The short date is the locale's own, two-digit years included where that is its form.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
  const std::size_t n = date ? std::strftime(text, sizeof text, "%x", &local)
                             : std::strftime(text, sizeof text, "%X", &local);
#pragma GCC diagnostic pop
  return std::string(text, n);
}

// "%rnd", "%time" and "%date", shared by both messages; false when nobody else is there.
bool FillCommonTail(TBotHost& host, std::string& message) {
  const std::string random_user = PickRandomUser(host);
  if (random_user.empty()) return false;
  const std::time_t now = host.Now();
  ReplaceAll(message, "%rnd", random_user);
  ReplaceAll(message, "%time", LocalTimeText(now, false));
  ReplaceAll(message, "%date", LocalTimeText(now, true));
  return true;
}

}  // namespace

std::string PickRandomUser(TBotHost& host) {
  const std::vector<TUser>& roster = host.Roster();
  if (roster.size() < 2) return {};
  const TBNET* session = host.Session();
  const std::string bot = session != nullptr ? session->UniqueName() : std::string();
  std::mt19937 random(static_cast<std::uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<std::size_t> pick(0, roster.size() - 1);
  std::string name;
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    name = roster[pick(random)].Name;
    if (name != bot) break;
  }
  return name;
}

void SendGreet(TBotHost& host, const std::string& name, const std::string& statstring,
               std::uint32_t ping) {
  const TBNET* session = host.Session();
  const TSettings& settings = host.Settings();
  if (session == nullptr || !settings.GreetEnable || name == session->UniqueName()) return;
  TParsedStatstring parsed;
  ParseStatstring(statstring, parsed, host.Language().Lookup());
  if (settings.GreetForMyClan &&
      (session->ClanInfo().Tag.empty() || !EqualsNoCase(session->ClanInfo().Tag, parsed.Clan))) {
    return;
  }
  std::string message = settings.GreetMsg;
  if (settings.GreetWhisper) message = "/w " + name + " " + message;
  ReplaceAll(message, "%uname", name);
  ReplaceAll(message, "%bname", session->UniqueName());
  ReplaceAll(message, "%ping", std::to_string(ping));
  ReplaceAll(message, "%lvl", std::to_string(parsed.Level));
  ReplaceAll(message, "%ch", session->LastChannel());
  ReplaceAll(message, "%icon", IconName(parsed.Icon, host.Language().Lookup()));
  if (!FillCommonTail(host, message)) return;
  host.QueueLine(message, TLineKind::Greeting);
}

void SendIdleMessage(TBotHost& host) {
  const TBNET* session = host.Session();
  const TSettings& settings = host.Settings();
  if (session == nullptr || !session->Active() || !settings.IdleEnable ||
      settings.IdleMsg.empty()) {
    return;
  }
  std::string message = settings.IdleMsg;
  ReplaceAll(message, "%bname", session->UniqueName());
  ReplaceAll(message, "%ch", session->LastChannel());
  if (!FillCommonTail(host, message)) return;
  host.QueueLine(message, TLineKind::Idle);
}

}  // namespace corvane
