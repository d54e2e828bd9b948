// Dispatch of chat and console lines to the bot's commands: trigger, rights, flood gate,
// custom command expansion and plug-in commands, and lines meant to break them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fakes/fake_bot_host.h"

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
  EXPECT_EQ(host.queued, (Lines{"hi all", "hi  all"}));

  // None of these reaches a command, so none closes the flood gate.
  host.Clear();
  for (const char* line : {"", ".", "..", "!say x", " .say x", ".say ", ".sayx", "say x"}) {
    EXPECT_FALSE(host.Say("Ann", line)) << line;
  }
  host.settings.Trigger = "!b";
  EXPECT_FALSE(host.Say("Ann", "!b"));
  EXPECT_TRUE(host.Say("Ann", "!BSay two-char trigger"));
  EXPECT_EQ(host.queued, (Lines{"two-char trigger"}));
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
  auto runs = [&](const std::string& who, const std::string& line, const std::string& extra) {
    host.Tick();
    return host.Say(who, line, kSourceTalk, extra);
  };

  EXPECT_FALSE(runs("Low", ".add Bob 1", "L"));
  EXPECT_FALSE(runs("Low", ".vip", "L"));
  EXPECT_TRUE(runs("LowZ", ".vip", "L"));
  EXPECT_FALSE(runs("LowLower", ".vip", "L"));  // letters compare with case
  EXPECT_FALSE(runs("Neg", ".kickme", ""));
  EXPECT_TRUE(runs("Neg", ".kickme", "L"));
  EXPECT_TRUE(runs("Stranger", ".clan", "LC"));
  EXPECT_FALSE(runs("Stranger", ".clan", "LF"));
  EXPECT_TRUE(runs("Stranger", ".pal", "LCF"));
  EXPECT_TRUE(runs("Pal", ".pal", ""));  // stored flags count as well
  EXPECT_TRUE(runs("High", ".rank", "L"));
  EXPECT_TRUE(runs("Mid", ".rank", "L"));
  EXPECT_FALSE(runs("Low", ".rank", "L"));
  EXPECT_EQ(host.queued,
            (Lines{"vip ok", "/kick Neg", "clan ok", "pal ok", "pal ok", "rank 50", "rank 10"}));

  // "pingme" (access 10) runs for a stranger only through "L"; here it finds no session.
  EXPECT_FALSE(runs("Stranger", ".pingme", ""));
  EXPECT_TRUE(host.lines.empty());
  EXPECT_FALSE(runs("Stranger", ".pingme", "L"));
  EXPECT_EQ(host.lines.size(), 1u);
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
  host.db->FindCommand("whoami", TCmdType::Internal)->Flags = "C";
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

TEST(Dispatch, CustomCommandExpansion) {
  TFakeBotHost host;
  host.db->AddCustomCommand("greet", "Hello %user, you said: %text", false, true, 0, "");
  host.db->AddCustomCommand("welcome", "@1Welcome %1", false, true, 0, "");
  host.db->AddCustomCommand("bad", "@xWelcome", false, true, 0, "");
  host.db->AddCustomCommand("pong", "%user pongs %ping", false, true, 0, "");
  host.db->AddCustomCommand("ten", "%10 %2", false, true, 0, "");
  auto say = [&](const std::string& line, std::int32_t ping = 0) {
    host.Tick();
    return host.Say("Bob", line, kSourceWhisper, "L", ping);
  };
  EXPECT_TRUE(say(".greet hi all"));
  EXPECT_TRUE(say(".welcome"));  // handled, though nothing is said
  EXPECT_TRUE(say(".welcome Bob"));
  EXPECT_TRUE(say(".bad Bob"));
  EXPECT_TRUE(say(".pong", -10));
  EXPECT_TRUE(say(".ten a b c d e f g h i j"));  // "%10" is "%1" and a 0
  EXPECT_EQ(host.queued,
            (Lines{"Hello Bob, you said: hi all", "Welcome Bob", "Bob pongs -10", "a0 b"}));
}

TEST(Dispatch, PluginCommands) {
  TFakeBotHost host;
  host.db->SetUser("Ann", 0, "SZ");
  TBotCommand* plug = host.db->AddPluginCommand("echo.so", "plug", 0, TestPluginProc, true, 0, "");
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
  plug->PluginLoaded = false;
  EXPECT_FALSE(host.Say("Ann", ".plug y"));
  EXPECT_EQ(g_plugin_call, "");
  EXPECT_FALSE(host.Say("Ann", ".plug z"));  // the unloaded plug-in still shut the gate
  EXPECT_TRUE(host.queued.empty());
}

TEST(Dispatch, HostileLines) {
  TFakeBotHost host;
  host.db->SetUser("Ann", 80, "");
  host.db->AddCustomCommand("greet", "Hello %user, you said: %text", false, true, 0, "");
  host.db->AddCustomCommand("welcome", "@1Welcome %1", false, true, 0, "");
  host.db->AddCustomCommand("caf\xE9", "accent", false, true, 0, "");
  host.db->AddCustomCommand("grow", "%1%1%1%1%1%1%1%1", false, true, 0, "");
  auto say = [&](const std::string& line) {
    host.Tick();
    host.Clear();
    return host.Say("Bob", line);
  };

  // Placeholders typed as arguments are taken as text, but for the word placeholders
  // that come after "%text" in the expansion order.
  EXPECT_TRUE(say(".greet %text %user %1"));
  EXPECT_EQ(host.queued, (Lines{"Hello Bob, you said: %text %user %text"}));

  EXPECT_FALSE(say(std::string(100000, 'x')));
  EXPECT_TRUE(say(".greet " + std::string(100000, 'x')));
  EXPECT_TRUE(host.queued.empty());

  EXPECT_TRUE(say(".welcome \"Bob Ann"));
  EXPECT_EQ(host.queued, (Lines{"Welcome \"Bob Ann"}));
  EXPECT_FALSE(say(".\"welcome Bob"));
  EXPECT_FALSE(say(".welcome\" Bob"));

  // Only ASCII letters fold; other bytes, control bytes included, pass through as they are.
  EXPECT_TRUE(say(".CAF\xE9"));
  EXPECT_FALSE(say(".caf\xC9"));
  EXPECT_FALSE(say(".greet\t x"));
  EXPECT_TRUE(say(".greet \x01\xFF\r\n\0end"s));
  EXPECT_EQ(host.queued, (Lines{"Hello Bob, you said: \x01\xFF\r\n\0end"s}));

  // Arguments that feed each placeholder the next one twice would double the reply 29
  // times; and a reply just inside the bound holds 4096 placeholders for one long word.
  std::string chain = ".grow";
  for (int i = 2; i <= 30; ++i) chain += " %" + std::to_string(i) + "%" + std::to_string(i);
  std::string wide = ".grow ";
  for (int i = 0; i < 512; ++i) wide += "%2";
  wide += " " + std::string(20000, 'w');
  for (const std::string& line : {chain, wide}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(say(line));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(host.queued.empty());
  }
}

}  // namespace
}  // namespace corvane
