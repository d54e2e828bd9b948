#pragma once
// The members of the bot's current channel, in order of arrival, looked up by exact name.

#include <cstdint>
#include <string>
#include <vector>

#include "bnet/statstring.h"
#include "bnet/user.h"

namespace corvane {

class TBNET;

class TRoster {
 public:
  const std::vector<TUser>& Members() const { return members_; }
  std::size_t Size() const { return members_.size(); }
  void Clear() { members_.clear(); }

  // The first member with exactly this name (case counts), or nullptr.
  const TUser* Find(const std::string& name) const;
  // Appends a member made from a chat event: name, flags (low byte kept), ping and status
  // string, decoded with `lookup` for the icon names. Returns the new entry.
  const TUser& Add(const std::string& name, std::uint32_t flags, std::uint32_t ping,
                   const std::string& statstring, const TTextLookup& lookup = {});
  // Removes the first member of that name; false when there is none.
  bool Remove(const std::string& name);
  // Sets the flags of the first member of that name; false when there is none.
  bool SetFlags(const std::string& name, std::uint32_t flags);

 private:
  std::vector<TUser> members_;
};

// "C" when the name is in the session's clan member list, then "F" when it is in its
// friends list (names compared without regard to case).
std::string UserAttributes(const TBNET* session, const std::string& name);

}  // namespace corvane
