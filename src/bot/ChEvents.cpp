#include "bot/ChEvents.h"

#include "bnet/bnet.h"
#include "bot/command_processor.h"
#include "bot/great_idle_msgs.h"

namespace corvane {

bool IsChannelOperator(const TBotHost& host, const std::string& name) {
  const TUser* member = host.FindChannelUser(name);
  return member != nullptr && member->Flags == 2;
}

void OnUserJoin(TBotHost& host, const std::string& name, const std::string& statstring,
                std::uint32_t, std::uint32_t ping) {
  const TBNET* session = host.Session();
  const std::string bot = session != nullptr ? session->UniqueName() : std::string();
  if (IsChannelOperator(host, bot)) {
    TBotCommandControl& db = host.Database();
    const bool safe = db.IsSafelisted(name);
    if (db.IsShitlisted(name)) host.QueueLine("/ban " + name + " (Shitlisted)");
    if (host.ProtectMode() == kProtectKick && !safe) {
      host.QueueLine("/kick " + name + " (This channel is protected!)");
    }
    if (host.ProtectMode() == kProtectBan && !safe) {
      host.QueueLine("/ban " + name + " (This channel is protected!)");
    }
  }
  SendGreet(host, name, statstring, ping);
}

}  // namespace corvane
