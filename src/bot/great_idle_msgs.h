#pragma once
// The two messages the bot sends by itself: the greeting of a joining user and the
// anti-idle line.

#include <cstdint>
#include <string>

#include "bot/bot_host.h"

namespace corvane {

void SendGreet(TBotHost& host, const std::string& name, const std::string& statstring,
               std::uint32_t ping);
void SendIdleMessage(TBotHost& host);
// A random channel member other than the bot, or "" when the bot is (nearly) alone.
std::string PickRandomUser(TBotHost& host);

}  // namespace corvane
