// Chat events through the session's framing to OnChatEvent: a recorded-style stream of
// members shown, joins and talk, fed in 8 KB blocks as the socket client delivers it.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bnet/bnet.h"
#include "bnet/sid.h"
#include "net/main_loop.h"

namespace {

std::string Dw(std::uint32_t v) {
  return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string ChatEvent(std::uint32_t id, const std::string& user, const std::string& text) {
  std::string body =
      Dw(id) + Dw(0x10) + Dw(120) + Dw(0) + Dw(0) + Dw(0) + user + '\0' + text + '\0';
  const auto len = static_cast<std::uint16_t>(body.size() + 4);
  return std::string{'\xFF', static_cast<char>(corvane::SID_CHATEVENT),
                     static_cast<char>(len & 0xFF), static_cast<char>(len >> 8)} +
         body;
}

std::string Stream(int events) {
  std::string s;
  for (int i = 0; i < events; ++i) {
    const std::string user = "member" + std::to_string(i % 500);
    switch (i % 4) {
      case 0:
        s += ChatEvent(1, user, "PX3W 3H3W 27 CBA");
        break;
      case 1:
        s += ChatEvent(2, user, "3RAW 2O3W 5");
        break;
      default:
        s += ChatEvent(5, user, "hello there, how is the channel today?");
    }
  }
  return s;
}

void Feed(corvane::TBNET& bnet, const std::string& stream) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(stream.data());
  for (std::size_t at = 0; at < stream.size(); at += 8192) {
    bnet.ReceiveData(p + at, static_cast<int>(std::min<std::size_t>(8192, stream.size() - at)));
  }
}

void BM_ChatEventStream(benchmark::State& state) {
  corvane::TMainLoop loop;
  corvane::TBNET bnet(loop);
  struct TCounter final : corvane::TSessionObserver {
    std::int64_t events = 0;
    void TalkReceived(const corvane::TChatEventInfo& e) override { Count(e); }
    void MemberJoined(const corvane::TChatEventInfo& e) override { Count(e); }
    void MemberLeft(const corvane::TChatEventInfo& e) override { Count(e); }
    void MemberShown(const corvane::TChatEventInfo& e) override { Count(e); }
    void Count(const corvane::TChatEventInfo& e) {
      benchmark::DoNotOptimize(e.user.size() + e.text.size());
      ++events;
    }
  } counter;
  bnet.SetObserver(&counter);
  const std::int64_t& events = counter.events;
  const std::string stream = Stream(100000);
  for (auto _ : state) Feed(bnet, stream);
  state.counters["events_per_s"] =
      benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ChatEventStream)->Unit(benchmark::kMillisecond);

void BM_ThousandMemberListing(benchmark::State& state) {
  corvane::TMainLoop loop;
  corvane::TBNET bnet(loop);
  struct TRoster final : corvane::TSessionObserver {
    std::vector<std::string> names;
    void MemberShown(const corvane::TChatEventInfo& e) override { names.push_back(e.user); }
  } observer;
  bnet.SetObserver(&observer);
  std::vector<std::string>& roster = observer.names;
  std::string stream;
  for (int i = 0; i < 1000; ++i)
    stream += ChatEvent(1, "member" + std::to_string(i), "PX3W 3H3W 27 CBA");
  for (auto _ : state) {
    roster.clear();
    Feed(bnet, stream);
  }
}
BENCHMARK(BM_ThousandMemberListing)->Unit(benchmark::kMicrosecond);

}  // namespace
