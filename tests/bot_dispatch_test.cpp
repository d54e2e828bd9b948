// Dispatch of chat and console lines to the bot's commands: trigger, rights, flood gate,
// custom command expansion and plug-in commands, and lines meant to break them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "support/fake_bot_host.h"

// The largest single allocation since the last reset: how far a reply grew before the
// bound on custom expansion stopped it. (GCC takes the free of what this new gave for a
// mismatch once it inlines both.)
namespace {
std::size_t g_largest_allocation = 0;
}  // namespace
void* operator new(std::size_t size) {
  g_largest_allocation = std::max(g_largest_allocation, size);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace {
// The last call of the plug-in command, as "speaker|args|flags|ping|source".
std::string g_plugin_call;
std::uint8_t g_plugin_result = 1;
}  // namespace

extern "C" std::uint8_t TestPluginProc(const char* speaker, const char* args, const char* flags,
                                       std::int32_t ping, std::uint32_t, std::int32_t source) {
  g_plugin_call = std::string(speaker) + "|" + args + "|" + flags + "|" + std::to_string(ping) +
                  "|" + std::to_string(source);
  return g_plugin_result;
}

namespace corvane {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;
using test::TFakeBotHost;

TEST(Dispatch, TriggerBlanksAndCase) {
  TFakeBotHost host;
  host.db->SetUser("Ann", 80, "");
  EXPECT_TRUE(host.Say("Ann", ".say hi all"));
  host.Tick();
  EXPECT_TRUE(host.Say("Ann", ".SAY   hi  all  "));
  host.Tick();
  // None of these reaches a command, so none closes the flood gate.
  for (const char* line : {"", ".", "..", "!say x", " .say x", ".say ", ".sayx", "say x"}) {
    EXPECT_FALSE(host.Say("Ann", line)) << line;
  }
  host.settings.Trigger = "!b";
  EXPECT_FALSE(host.Say("Ann", "!b"));
  EXPECT_TRUE(host.Say("Ann", "!BSay two-char trigger"));
  EXPECT_EQ(host.queued, (Lines{"hi all", "hi  all", "two-char trigger"}));
}

TEST(Dispatch, AccessAndFlags) {
  TFakeBotHost host;
  host.db->SetUser("Low", 5, "");
  host.db->SetUser("LowZ", 5, "Z");
  host.db->SetUser("LowLower", 5, "z");
  host.db->SetUser("Neg", -1, "");
  host.db->SetUser("Pal", 0, "F");
  host.db->SetUser("Mid", 20, "");
  host.db->SetUser("High", 60, "");
  host.db->AddCustomCommand("vip", "vip ok", false, true, 100, "XZ");
  host.db->AddCustomCommand("clan", "clan ok", false, true, 100, "C");
  host.db->AddCustomCommand("pal", "pal ok", false, true, 100, "F");
  // Of two commands of one name, the one of higher access comes first once sorted.
  host.db->AddCustomCommand("rank", "rank 10", false, true, 10, "");
  host.db->AddCustomCommand("rank", "rank 50", false, true, 50, "");
  host.db->SortCommands();
  // Flag letters compare with case; the line's flags and the stored ones both count.
  // "pingme" (access 10) runs for a stranger only through "L"; it finds no session.
  const struct {
    const char *who, *line, *extra;
    bool runs;
  } cases[] = {{"Low", ".add Bob 1", "L", false},  {"Low", ".vip", "L", false},
               {"LowZ", ".vip", "L", true},        {"LowLower", ".vip", "L", false},
               {"Neg", ".kickme", "", false},      {"Neg", ".kickme", "L", true},
               {"Stranger", ".clan", "LC", true},  {"Stranger", ".clan", "LF", false},
               {"Stranger", ".pal", "LCF", true},  {"Pal", ".pal", "", true},
               {"High", ".rank", "L", true},       {"Mid", ".rank", "L", true},
               {"Low", ".rank", "L", false},       {"Stranger", ".pingme", "", false},
               {"Stranger", ".pingme", "L", false}};
  for (const auto& c : cases) {
    host.Tick();
    EXPECT_EQ(host.Say(c.who, c.line, kSourceTalk, c.extra), c.runs) << c.who << " " << c.line;
  }
  EXPECT_EQ(host.queued,
            (Lines{"vip ok", "/kick Neg", "clan ok", "pal ok", "pal ok", "rank 50", "rank 10"}));
  EXPECT_EQ(host.lines.size(), 1u) << "only the second pingme ran";
}

// Each speaker has a gate of his own: a member who keeps the bot busy shuts out himself,
// never the owner's operators.
TEST(Dispatch, FloodGateIsPerSpeaker) {
  TFakeBotHost host;
  host.db->SetUser("Ann", 80, "");
  host.db->SetUser("Op", 80, "");
  EXPECT_TRUE(host.Say("Ann", ".say one"));
  EXPECT_FALSE(host.Say("Ann", ".say two"));
  EXPECT_FALSE(host.Say("ANN", ".say two")) << "names compare without case";
  EXPECT_TRUE(host.Say("Op", ".say op"));
  EXPECT_TRUE(host.Say("Other", ".kickme"));
  host.Tick();
  EXPECT_TRUE(host.Say("Ann", ".say three"));
  // The console passes a shut gate, and shuts nobody's.
  EXPECT_TRUE(host.Console("/say four"));
  EXPECT_TRUE(host.Console("/say five"));
  EXPECT_FALSE(host.Say("Ann", ".say six"));
  EXPECT_TRUE(host.Say("Op", ".say op again"));
  EXPECT_FALSE(host.Console("/nosuchcommand"));

  // A handler that answers false still shuts the speaker's gate: "whoami" of a speaker who
  // is no bot user, run through a flag he was given for the line.
  host.Tick();
  const TBotCommand* whoami = host.db->FindCommand("whoami", TCmdType::Internal);
  host.db->UpdateCommand(whoami, whoami->Name, whoami->Text, true, whoami->Access, "C");
  EXPECT_FALSE(host.Say("Stranger", ".whoami", kSourceTalk, "LC"));
  EXPECT_FALSE(host.Say("Stranger", ".kickme"));

  // With flood protection a speaker waits fp_time seconds, however often the timer ticks.
  host.settings.FpEnable = true;
  host.settings.FpTime = 5;
  host.Tick();
  EXPECT_TRUE(host.Say("Ann", ".say eight"));
  for (int i = 0; i < 3; ++i) host.Tick();
  EXPECT_FALSE(host.Say("Ann", ".say nine"));
  EXPECT_TRUE(host.Say("Op", ".say op too"));
  for (int i = 0; i < 3; ++i) host.Tick();
  EXPECT_TRUE(host.Say("Ann", ".say ten"));
  EXPECT_EQ(host.queued, (Lines{"one", "op", "/kick Other", "three", "four", "five", "op again",
                                "eight", "op too", "ten"}));
}

// Custom commands as members type them, and lines meant to break them.
TEST(Dispatch, CustomCommandExpansionAndHostileLines) {
  const std::string greet = "Hello %user, you said: %text";
  const struct {
    std::string text, line, reply;  // no reply: ""
    bool handled = true;
    std::int32_t ping = 0;
  } cases[] = {{greet, ".c hi all", "Hello Bob, you said: hi all"},
               {"@1Welcome %1", ".c", ""},  // handled, though nothing is said
               {"@1Welcome %1", ".c Bob", "Welcome Bob"},
               {"@xWelcome", ".c Bob", ""},
               {"%user pongs %ping", ".c", "Bob pongs -10", true, -10},
               {"%10 %2", ".c a b c d e f g h i j", "a0 b"},  // "%10" is "%1" and a 0
               // Placeholders typed as arguments are taken as text, but for the word placeholders
               // that come after "%text" in the expansion order.
               {greet, ".c %text %user %1", "Hello Bob, you said: %text %user %text"},
               {greet, ".c " + std::string(100000, 'x'), ""},
               {greet, std::string(100000, 'x'), "", false},
               {"@1Welcome %1", ".c \"Bob Ann", "Welcome \"Bob Ann"},
               {"@1Welcome %1", ".\"c Bob", "", false},
               {"@1Welcome %1", ".c\" Bob", "", false},
               // Only ASCII letters fold; other bytes, control bytes included, pass as they are.
               {greet, ".c\t x", "", false},
               {greet, ".c \x01\xFF\r\n\0end"s, "Hello Bob, you said: \x01\xFF\r\n\0end"s}};
  for (const auto& c : cases) {
    TFakeBotHost host;
    host.db->AddCustomCommand("c", c.text, false, true, 0, "");
    EXPECT_EQ(host.Say("Bob", c.line, kSourceWhisper, "L", c.ping), c.handled) << c.line;
    EXPECT_EQ(host.queued, c.reply.empty() ? Lines{} : Lines{c.reply}) << c.line.substr(0, 40);
  }
  TFakeBotHost host;
  host.db->AddCustomCommand("caf\xE9", "accent", false, true, 0, "");
  EXPECT_TRUE(host.Say("Bob", ".CAF\xE9"));
  host.Tick();
  EXPECT_FALSE(host.Say("Bob", ".caf\xC9"));
}

// A reply that would outgrow the bound is dropped before it is built: arguments that feed
// each placeholder the next one twice (doubling it 29 times), and a reply just inside the
// bound that holds 4096 placeholders for one long word.
TEST(Dispatch, CustomExpansionNeverBuildsAnOversizedReply) {
  TFakeBotHost host;
  host.db->AddCustomCommand("grow", "%1%1%1%1%1%1%1%1", false, true, 0, "");
  std::string chain = ".grow";
  for (int i = 2; i <= 30; ++i) chain += " %" + std::to_string(i) + "%" + std::to_string(i);
  std::string wide = ".grow ";
  for (int i = 0; i < 512; ++i) wide += "%2";
  wide += " " + std::string(20000, 'w');
  for (const std::string& line : {chain, wide}) {
    host.Tick();
    g_largest_allocation = 0;
    EXPECT_TRUE(host.Say("Bob", line));
    EXPECT_LT(g_largest_allocation, 256u * 1024) << "the expansion copied the hostile word";
    EXPECT_TRUE(host.queued.empty());
  }
}

TEST(Dispatch, PluginCommands) {
  TFakeBotHost host;
  host.db->SetUser("Ann", 0, "SZ");
  host.db->AddPluginCommand("echo.so", "plug", 0, TestPluginProc, true, 0, "");
  host.db->AddCustomCommand("plug", "custom", false, true, 0, "");
  g_plugin_result = 1;
  EXPECT_TRUE(host.Say("Ann", ".PLUG  a \"b c\" ", kSourceWhisper, "LC", 33));
  EXPECT_EQ(g_plugin_call, "Ann|a \"b c\"|SZ|33|2");

  // A plug-in that declines leaves the line unhandled, and the gate keeps the custom
  // command of the same name from running.
  host.Tick();
  g_plugin_result = 0;
  EXPECT_FALSE(host.Say("Ann", ".plug x"));
  EXPECT_EQ(g_plugin_call, "Ann|x|SZ|0|1");

  host.Tick();
  g_plugin_call.clear();
  host.db->ForgetPluginProcedures("echo.so");
  EXPECT_FALSE(host.Say("Ann", ".plug y"));
  EXPECT_EQ(g_plugin_call, "");
  EXPECT_FALSE(host.Say("Ann", ".plug z"));  // the unloaded plug-in still shut the gate
  EXPECT_TRUE(host.queued.empty());
}

}  // namespace
}  // namespace corvane
