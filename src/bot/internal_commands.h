#pragma once
// The twenty built-in commands of the bot.

#include <string>

#include "bot/bot_host.h"
#include "bot/command_processor.h"

namespace corvane {

// The handler of the internal command of that name (case ignored), working through
// `host`, which must outlive it; an empty handler for any other name.
TInternalHandler InternalHandler(TBotHost& host, const std::string& name);

// True when the session exists and its connection is open; otherwise writes the
// "not connected" line in red and gives false.
bool CheckConnected(TBotHost& host);

}  // namespace corvane
