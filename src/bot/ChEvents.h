#pragma once
// The bot's reactions to channel events. The join checks are the working one; the other
// hooks are the places where further reactions belong, and do nothing yet.

#include <cstdint>
#include <string>

#include "bot/bot_host.h"

namespace corvane {

// A user other than the bot joined: bans a shitlisted user and, while the channel is
// protected, kicks or bans everyone not safelisted (only when the bot is a channel
// operator), then greets the user.
void OnUserJoin(TBotHost& host, const std::string& name, const std::string& statstring,
                std::uint32_t flags, std::uint32_t ping);

// The roster entry of that exact name exists and the low byte of its flags is exactly 2.
bool IsChannelOperator(const TBotHost& host, const std::string& name);

inline void OnUserInChannel(TBotHost&, const std::string&) {}
inline void OnUserLeave(TBotHost&, const std::string&) {}
inline void OnUserTalk(TBotHost&, const std::string&, const std::string&) {}
inline void OnUserWhisper(TBotHost&, const std::string&, const std::string&) {}
inline void OnUserEmote(TBotHost&, const std::string&, const std::string&) {}
inline void OnChannelJoined(TBotHost&, const std::string&) {}
inline void OnServerInfo(TBotHost&, const std::string&) {}
inline void OnServerError(TBotHost&, const std::string&) {}
inline void OnClanMemberStatus(TBotHost&, const std::string&) {}
inline void OnProfileReceived(TBotHost&) {}
// Asked before a typed line goes on the outgoing queue; true lets it go.
inline bool AllowTypedLine(TBotHost&, const std::string&) {
  return true;
}

}  // namespace corvane
