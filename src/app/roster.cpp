#include "app/roster.h"

#include <algorithm>

#include "bnet/bnet.h"
#include "config/Operations.h"

namespace corvane {

const TUser* TRoster::Find(const std::string& name) const {
  for (const TUser& u : members_) {
    if (u.Name == name) return &u;
  }
  return nullptr;
}

const TUser& TRoster::Add(const std::string& name, std::uint32_t flags, std::uint32_t ping,
                          const std::string& statstring, const TTextLookup& lookup) {
  TUser u;
  u.Name = name;
  u.Flags = static_cast<std::uint8_t>(flags);
  u.Ping = ping;
  u.Info = statstring;
  ParseStatstring(statstring, u.Parsed, lookup);
  u.Clan = u.Parsed.Clan;
  u.Status = 1;
  members_.push_back(std::move(u));
  return members_.back();
}

bool TRoster::Remove(const std::string& name) {
  const auto it = std::find_if(members_.begin(), members_.end(),
                               [&](const TUser& u) { return u.Name == name; });
  if (it == members_.end()) return false;
  members_.erase(it);
  return true;
}

bool TRoster::SetFlags(const std::string& name, std::uint32_t flags) {
  for (TUser& u : members_) {
    if (u.Name == name) {
      u.Flags = static_cast<std::uint8_t>(flags);
      return true;
    }
  }
  return false;
}

std::string UserAttributes(const TBNET* session, const std::string& name) {
  if (session == nullptr) return {};
  const auto holds = [&](const std::vector<TUser>& list) {
    return std::any_of(list.begin(), list.end(),
                       [&](const TUser& u) { return EqualsNoCase(u.Name, name); });
  };
  std::string letters;
  if (holds(session->ClanMembers())) letters += 'C';
  if (holds(session->Friends())) letters += 'F';
  return letters;
}

}  // namespace corvane
