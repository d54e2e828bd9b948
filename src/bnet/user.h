#pragma once
// An entry of the channel roster, the friends list or the clan member list; each list
// fills the fields it needs.

#include <cstdint>
#include <string>

#include "bnet/statstring.h"

namespace corvane {

struct TUser {
  std::string Name;
  std::string Clan;
  std::int32_t Rank = 0;
  std::uint8_t Flags = 0;
  std::uint32_t Ping = 0;  // channel member: ping at login
  std::string Info;        // channel member: status string
  TParsedStatstring Parsed;
  std::uint8_t Status = 0;
  std::uint8_t LocationType = 0;
  std::string Product;  // friend: four-character product code in reading order
  std::string Location;
};

}  // namespace corvane
