#pragma once
// Puts a session into a state the way a server would, by handing it the server's
// messages: tests reach a logged-on session, a clan or a friends list without sockets.

#include <cstdint>
#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/sid.h"

namespace corvane::test {

// A little-endian double word.
inline std::string Dword(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// 0xFF, id, the length of the whole frame (a little-endian word), the body.
inline std::string ChatFrame(std::uint8_t id, const std::string& body) {
  return std::string{'\xFF', static_cast<char>(id)} + Dword(body.size() + 4).substr(0, 2) + body;
}

inline void Feed(TBNET& bnet, const std::string& bytes) {
  bnet.ReceiveData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<int>(bytes.size()));
}

// Logged on as `name`; the session asks for its home channel, which becomes LastChannel.
inline void EnterChat(TBNET& bnet, const std::string& name) {
  Feed(bnet, ChatFrame(SID_ENTERCHAT, name + '\0' + "PX3W" + '\0' + name + '\0'));
}

inline std::string ChatEventFrame(std::uint32_t id, const std::string& user,
                                  const std::string& text, std::uint32_t flags = 0,
                                  std::uint32_t ping = 0) {
  return ChatFrame(SID_CHATEVENT, Dword(id) + Dword(flags) + Dword(ping) + std::string(12, '\0') +
                                      user + '\0' + text + '\0');
}

struct TClanMember {
  std::string name;
  std::uint8_t rank = 0, online = 0;
};

// In the clan `tag` (up to four characters) at `rank`, with these members.
inline void JoinClan(TBNET& bnet, const std::string& tag, std::uint8_t rank,
                     const std::vector<TClanMember>& members) {
  // The tag is sent as a double word: reversed, padded with zeros.
  Feed(bnet,
       ChatFrame(SID_CLANINFO, '\0' + std::string(tag.rbegin(), tag.rend()) +
                                   std::string(4 - tag.size(), '\0') + static_cast<char>(rank)));
  std::string list = Dword(1) + static_cast<char>(members.size());
  for (const TClanMember& m : members) {
    list += m.name + '\0' + static_cast<char>(m.rank) + static_cast<char>(m.online) + '\0';
  }
  Feed(bnet, ChatFrame(SID_CLANMEMBERLIST, list));
}

}  // namespace corvane::test
