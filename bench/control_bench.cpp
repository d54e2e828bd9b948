// The control socket of a headless bot in a channel of 1,000 members with 20,000 lines of
// scrollback: the time for a client to attach (every message of the greeting read and
// decoded), the time from a member's talk leaving the chat server to its line reaching an
// attached client, and what an idle attached client costs the bot. Prints its figures.
//   control_bench [idle seconds, default 30]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

#include "app/control_client.h"
#include "control_rig.h"
#include "proc_stats.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using Clock = std::chrono::steady_clock;
using bench::CpuNs;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Reads until a chat line holding `text`; false at the end or after 10 s.
bool ReadLine(TControlConnection& c, const std::string& text, std::size_t* messages = nullptr) {
  for (;;) {
    std::string error;
    const std::optional<control::TBotMessage> m = c.Read(10000, error);
    if (!m) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    if (messages != nullptr) ++*messages;
    const auto* line = std::get_if<TPaneLine>(&*m);
    if (line != nullptr && line->Text().find(text) != std::string::npos) return true;
  }
}

std::optional<TControlConnection> Attach(const bench::TControlRig& rig) {
  std::string error;
  const int fd = ConnectToBot(rig.Home().string(), error);
  if (fd < 0) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return std::nullopt;
  }
  return std::optional<TControlConnection>(std::in_place, fd);
}

}  // namespace

int main(int argc, char** argv) {
  const int idle_seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  constexpr int kMembers = 1000;
  constexpr int kLines = 20000;
  bench::TControlRig rig(kMembers, kLines);
  if (!rig.Ready()) return 1;
  const std::string last = "line " + std::to_string(kLines - 1) + " of";

  std::vector<double> attach;
  std::size_t messages = 0;
  for (int run = 0; run < 5; ++run) {
    const auto begun = Clock::now();
    std::optional<TControlConnection> c = Attach(rig);
    messages = 0;
    if (!c || !ReadLine(*c, last, &messages)) return 1;
    attach.push_back(Ms(Clock::now() - begun));
  }
  std::sort(attach.begin(), attach.end());
  std::printf(
      "attach (%d members, %d lines of scrollback, %zu messages read and decoded): "
      "median %.1f ms, worst %.1f ms\n",
      kMembers, kLines, messages, attach[attach.size() / 2], attach.back());

  std::optional<TControlConnection> client = Attach(rig);
  if (!client || !ReadLine(*client, last)) return 1;
  std::vector<double> latency;
  for (int i = 0; i < 300; ++i) {
    const std::string text = "event " + std::to_string(i) + " now";
    const auto sent = Clock::now();
    rig.Chat().SendChatEvent(5, "Member7", text);
    if (!ReadLine(*client, text)) return 1;
    latency.push_back(Ms(Clock::now() - sent) * 1000.0);
    rig.Drain(i % 20 == 0 ? 5 : 0);  // the bot's stdout, so that it never blocks on it
  }
  std::sort(latency.begin(), latency.end());
  std::printf(
      "a member's talk from the chat server to an attached client: median %.0f us, "
      "99th percentile %.0f us, worst %.0f us\n",
      latency[latency.size() / 2], latency[latency.size() * 99 / 100], latency.back());

  // The bot's processor time idling with the client above attached, then without it.
  const auto idle = [&] {
    rig.Drain(1000);
    const long long before = CpuNs(rig.Bot().Pid());
    const auto begun = Clock::now();
    rig.Drain(idle_seconds * 1000);
    const double wall_s = std::chrono::duration<double>(Clock::now() - begun).count();
    return 100.0 * static_cast<double>(CpuNs(rig.Bot().Pid()) - before) / 1e9 / wall_s;
  };
  const double with_client = idle();
  client.reset();
  const double without = idle();
  std::printf(
      "idle for %d s: %.4f %% of one core with one client attached, %.4f %% without; "
      "the client adds %.4f %%\n",
      idle_seconds, with_client, without, with_client - without);
  return 0;
}
