// Any byte stream from a chat server, cut into blocks anywhere, through the session's
// framing and every handler: no crash, hang, bad read or unbounded growth.

#include <cstddef>
#include <cstdint>

#include "bnet/bnet.h"
#include "fuzz_blocks.h"
#include "net/main_loop.h"

namespace {

// Touches what the handlers hand over, so that a bad string or record is read.
class TObserver final : public corvane::TSessionObserver {
 public:
  std::size_t seen = 0;
  void MemberJoined(const corvane::TChatEventInfo& e) override { Add(e); }
  void MemberShown(const corvane::TChatEventInfo& e) override { Add(e); }
  void TalkReceived(const corvane::TChatEventInfo& e) override { Add(e); }
  void ClanInvitationReceived(const std::string& tag, const std::string& clan,
                              const std::string& inviter, std::uint32_t) override {
    seen += tag.size() + clan.size() + inviter.size();
  }
  void UserProfileReceived(const corvane::TBNETUserProfStats& u) override {
    for (int i = 0; i < u.TeamCount; ++i) {
      seen += u.Teams.at(static_cast<std::size_t>(i)).Partner1.size();
    }
  }
  void ClanProfileReceived(const corvane::TBNETClanProfStats& c) override {
    seen += c.ClanTag.size();
  }

 private:
  void Add(const corvane::TChatEventInfo& e) { seen += e.user.size() + e.text.size(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static corvane::TMainLoop loop;
  if (size < 3) return 0;
  // The switches change which paths the handlers take.
  corvane::TSessionConfig config;
  config.UTF8 = (data[2] & 1) != 0;
  config.IsPvPgn = (data[2] & 4) != 0;
  config.PingSpoofing = (data[2] & 8) != 0;
  config.Username = "bot";
  corvane::TBNET bnet(loop, config);  // no thread until it connects
  TObserver observer;
  bnet.SetObserver(&observer);
  if ((data[2] & 2) != 0) {
    // Logged on, as after SID_ENTERCHAT.
    static const std::uint8_t kEnterChat[] = {0xFF, 0x0A, 0x0C, 0x00, 'b', 'o',
                                              't',  0,    's',  0,    'b', 0};
    bnet.ReceiveData(kEnterChat, sizeof kEnterChat);
  }
  corvane::fuzz::FeedInBlocks(data, size, 3,
                              [&](const std::uint8_t* p, int n) { bnet.ReceiveData(p, n); });
  if (bnet.Friends().size() > 255 || bnet.ClanMembers().size() > 255) __builtin_trap();
  return 0;
}
