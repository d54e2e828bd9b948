// Fuzz target for command dispatch in bot/command_processor.h, with the internal commands
// of bot/internal_commands.h behind it.
//
// Input layout: byte 0 picks the source (low two bits) and the speaker (the rest: one of
// fifty bot users, the console or a stranger); the rest is the line. Each input starts
// from the same database, as commands such as "cmdadd" and "shitlist" change it. At most
// one command may run: at most two queued lines and one chat-pane line, none longer than
// the expansion bound (or the line itself, which "say" repeats); and unless the console
// spoke, a command that ran shuts the flood gate for the same line said again.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "bot/internal_commands.h"
#include "net/main_loop.h"
#include "support/fake_bot_host.h"

namespace {

using corvane::TBotCommandControl;
using corvane::test::TFakeBotHost;

constexpr int kUsers = 50;
constexpr std::size_t kReplyBound = 8192;

int g_plugin_calls = 0;

void Check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

extern "C" std::uint8_t CountingPluginProc(const char*, const char* args, const char*, std::int32_t,
                                           std::uint32_t, std::int32_t) {
  ++g_plugin_calls;
  return args[0] != 'n';
}

std::string UserName(int i) {
  return "User" + std::to_string(i);
}

std::unique_ptr<TBotCommandControl> MakeDatabase(TFakeBotHost& host) {
  auto db = std::make_unique<TBotCommandControl>();
  for (const auto& d : corvane::kInternalCommands) {
    db->AddInternalCommand(d.name, d.flags, d.access, true, corvane::InternalHandler(host, d.name),
                           true);
  }
  static const char* const kFlags[] = {"", "A", "S", "B", "SB", "Z", "C", "F", "a", "SZ"};
  for (int i = 0; i < kUsers; ++i) {
    db->SetUser(UserName(i), (i * 37) % 120 - 10, kFlags[i % 10]);
  }
  db->AddCustomCommand("greet", "Hello %user, you said: %text", false, true, 0, "");
  db->AddCustomCommand("welcome", "@1Welcome %1", false, true, 10, "L");
  db->AddCustomCommand("pair", "@2%2 and %1 (%ping)", false, true, 20, "");
  db->AddCustomCommand("words", "%1|%2|%3|%4|%5|%text", false, true, 0, "");
  db->AddCustomCommand("grow", "%1%1%1%1%1%1%1%1", false, true, 0, "");
  db->AddCustomCommand("greet", "Hi again %user", false, true, 60, "Z");
  db->AddCustomCommand("off", "never", false, false, 0, "");
  db->AddPluginCommand("fuzz.so", "plug", 0, CountingPluginProc, true, 30, "C");
  db->AddPluginCommand("gone.so", "plug", 0, nullptr, true, 0, "");
  db->SortCommands();
  return db;
}

TFakeBotHost& Host() {
  static TFakeBotHost* host = [] {
    static corvane::TMainLoop loop;
    static corvane::TBNET session(loop);
    corvane::test::EnterChat(session, "Bot");
    auto* h = new TFakeBotHost;
    h->session = &session;
    h->AddMember("Bot", 2, 10, "");
    h->AddMember("User1", 0, 77, "3RAW 3H3W 12 CBA");
    h->AddMember("Stranger", 16, 200, "");
    return h;
  }();
  return *host;
}

struct TOutcome {
  std::size_t queued = 0;
  std::size_t pane = 0;
  int plugin_calls = 0;
  bool Empty() const { return queued == 0 && pane == 0 && plugin_calls == 0; }
};

TOutcome Dispatch(TFakeBotHost& host, const std::string& speaker, const std::string& line,
                  const std::string& extra, std::uint8_t source) {
  host.Clear();
  g_plugin_calls = 0;
  const char* trigger = source == corvane::kSourceConsole ? "/" : ".";
  host.db->ProcessCommand(host, speaker, line, trigger, extra, 0, 42, source);
  const TOutcome out{host.queued.size(), host.lines.size(), g_plugin_calls};
  Check(out.queued <= 2 && out.pane <= 1 && out.plugin_calls <= 1);
  for (const std::string& q : host.queued) {
    Check(q.size() <= std::max(kReplyBound, line.size()) + 64);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TFakeBotHost& host = Host();
  host.db = MakeDatabase(host);
  host.protect = corvane::kProtectOff;
  host.quit = false;

  static const char* const kExtra[] = {"L", "LC", "LF"};
  const std::uint8_t source = static_cast<std::uint8_t>((data[0] & 3) + 1);
  const int who = data[0] >> 2;
  const bool console = source == corvane::kSourceConsole;
  const std::string speaker = console        ? "*"
                              : who < kUsers ? UserName(who)
                                             : "Stranger" + std::to_string(who);
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

  const TOutcome first = Dispatch(host, speaker, line, kExtra[who % 3], source);
  // A line that does not start with the trigger reaches no command.
  if (line.empty() || line[0] != (console ? '/' : '.')) Check(first.Empty());
  if (!console && !first.Empty()) {
    Check(Dispatch(host, speaker, line, kExtra[who % 3], source).Empty());
  }
  host.Tick();
  return 0;
}
