// Any byte stream from a chat server, cut into blocks anywhere, through the session's
// framing and every handler: no crash, hang, bad read or unbounded growth.

#include <cstddef>
#include <cstdint>

#include "bnet/bnet.h"
#include "fuzz_blocks.h"
#include "net/main_loop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static corvane::TMainLoop loop;
  if (size < 3) return 0;
  corvane::TBNET bnet(loop);  // no thread until it connects
  // The switches change which paths the handlers take.
  bnet.UTF8 = (data[2] & 1) != 0;
  bnet.LoggedOn = (data[2] & 2) != 0;
  bnet.IsPvPgn = (data[2] & 4) != 0;
  bnet.PingSpoofing = (data[2] & 8) != 0;
  bnet.UniqueName = "bot";
  bnet.DumpFileName.clear();
  bnet.Username = "bot";
  std::size_t seen = 0;
  bnet.OnChatEvent = [&](corvane::TBNET&, std::int32_t, const std::string& s1,
                         const std::string& s2, const std::string& s3, std::uint32_t,
                         std::uint32_t) { seen += s1.size() + s2.size() + s3.size(); };
  bnet.OnProfile = [&](corvane::TBNET&, std::int32_t, const corvane::TBNETUserProfStats* u,
                       const corvane::TBNETClanProfStats* c) {
    if (u != nullptr) {
      for (int i = 0; i < u->TeamCount; ++i)
        seen += u->Teams.at(static_cast<std::size_t>(i)).Partner1.size();
    }
    if (c != nullptr) seen += c->ClanTag.size();
  };
  corvane::fuzz::FeedInBlocks(data, size, 3,
                              [&](const std::uint8_t* p, int n) { bnet.ReceiveData(p, n); });
  if (bnet.Friends.size() > 255 || bnet.ClanMembers.size() > 255) __builtin_trap();
  return 0;
}
