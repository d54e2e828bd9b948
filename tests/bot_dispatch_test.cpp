// Dispatch of chat and console lines to the bot's commands: trigger, rights, flood gate,
// custom command expansion, and lines meant to break them. (Plug-in commands: bot_plugins_test.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <span>
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

namespace corvane {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;
using test::TFakeBotHost;

// A line after `ticks` ticks of the anti-flood timer, from `who` ("*": the console) with
// the line's extra flags, and whether a command took it.
struct TStep {
  int ticks;
  const char *who, *line, *extra;
  bool handled;
};
void Play(TFakeBotHost& host, std::span<const TStep> steps) {
  for (const TStep& s : steps) {
    for (int i = 0; i < s.ticks; ++i) host.Tick();
    const bool handled =
        s.who[0] == '*' ? host.Console(s.line) : host.Say(s.who, s.line, kSourceTalk, s.extra);
    EXPECT_EQ(handled, s.handled) << s.who << " " << s.line;
  }
}

// Flag letters compare with case; the line's flags and the stored ones both count. Of two
// commands of one name, the one of higher access comes first once sorted. "pingme"
// (access 10) runs for a stranger only through "L"; it finds no session.
// Each speaker has a gate of his own: a member who keeps the bot busy shuts out himself,
// never the owner's operators. The console passes a shut gate, and shuts nobody's. A
// handler that answers false still shuts the speaker's gate: "whoami" of a speaker who is
// no bot user, run through a flag ("C") he was given for the line.
TEST(Dispatch, TriggerRightsAndTheFloodGateOfEachSpeaker) {
  TFakeBotHost host;
  // Bot users, then custom commands (lower case) that answer their name and access.
  const std::tuple<const char*, int, const char*> rows[] = {
      {"Low", 5, ""},   {"LowZ", 5, "Z"},   {"LowLower", 5, "z"}, {"Neg", -1, ""},
      {"Pal", 0, "F"},  {"Mid", 20, ""},    {"High", 60, ""},     {"Ann", 80, ""},
      {"Op", 80, ""},   {"vip", 100, "XZ"}, {"clan", 100, "C"},   {"pal", 100, "F"},
      {"rank", 10, ""}, {"rank", 50, ""}};
  for (const auto& [name, access, flags] : rows) {
    if (std::islower(name[0])) {
      host.db->AddCustomCommand(name, name + std::to_string(access), false, true, access, flags);
    } else {
      host.db->SetUser(name, access, flags);
    }
  }
  host.db->SortCommands();
  const TBotCommand* whoami = host.db->FindCommand("whoami", TCmdType::Internal);
  host.db->UpdateCommand(whoami, whoami->Name, whoami->Text, true, whoami->Access, "C");
  // None of these reaches a command, so none closes the flood gate.
  for (const char* line : {"", ".", "..", "!say x", " .say x", ".say ", ".sayx", "say x"}) {
    EXPECT_FALSE(host.Say("Ann", line)) << line;
  }
  EXPECT_TRUE(host.Say("Ann", ".SAY   hi  all  "));
  const TStep steps[] = {
      {1, "Low", ".add Bob 1", "L", false},   {1, "Low", ".vip", "L", false},
      {1, "LowZ", ".vip", "L", true},         {1, "LowLower", ".vip", "L", false},
      {1, "Neg", ".kickme", "", false},       {1, "Neg", ".kickme", "L", true},
      {1, "Stranger", ".clan", "LC", true},   {1, "Stranger", ".clan", "LF", false},
      {1, "Stranger", ".pal", "LCF", true},   {1, "Pal", ".pal", "", true},
      {1, "High", ".rank", "L", true},        {1, "Mid", ".rank", "L", true},
      {1, "Low", ".rank", "L", false},        {1, "Stranger", ".pingme", "", false},
      {1, "Stranger", ".pingme", "L", false},  // the flood gate from here
      {1, "Ann", ".say one", "L", true},      {0, "Ann", ".say two", "L", false},
      {0, "ANN", ".say two", "L", false},     {0, "Op", ".say op", "L", true},
      {0, "Other", ".kickme", "L", true},     {1, "Ann", ".say three", "L", true},
      {0, "*", "/say four", "L", true},       {0, "*", "/say five", "L", true},
      {0, "Ann", ".say six", "L", false},     {0, "Op", ".say op again", "L", true},
      {0, "*", "/nosuchcommand", "L", false}, {1, "Stranger", ".whoami", "LC", false},
      {0, "Stranger", ".kickme", "L", false}};
  Play(host, steps);
  // With flood protection a speaker waits fp_time seconds, however often the timer ticks;
  // and a trigger of two characters, of either case.
  host.settings.FpEnable = true;
  host.settings.FpTime = 5;
  host.settings.Trigger = "!b";
  const TStep protection[] = {
      {1, "Ann", "!bsay eight", "L", true}, {3, "Ann", "!bsay nine", "L", false},
      {0, "Op", "!BSay op too", "L", true}, {3, "Ann", "!bSAY ten", "L", true},
      {3, "Ann", "!bSAY ten", "L", false},  {0, "Op", "!BSay op last", "L", true}};
  Play(host, protection);
  EXPECT_EQ(host.queued, (Lines{"hi  all", "vip100", "/kick Neg", "clan100", "pal100", "pal100",
                                "rank50", "rank10", "one", "op", "/kick Other", "three", "four",
                                "five", "op again", "eight", "op too", "ten", "op last"}));
  EXPECT_EQ(host.lines.size(), 1u) << "only the second pingme ran";
}

// Custom commands as members type them, and lines meant to break them. A reply that would
// outgrow the bound is dropped before it is built: arguments that feed each placeholder
// the next one twice (doubling it 29 times), and a reply just inside the bound that holds
// 4096 placeholders for one long word.
TEST(Dispatch, CustomCommandExpansionAndHostileLines) {
  std::string chain = ".c", wide = ".c ";
  for (int i = 2; i <= 30; ++i) chain += " %" + std::to_string(i) + "%" + std::to_string(i);
  for (int i = 0; i < 512; ++i) wide += "%2";
  wide += " " + std::string(20000, 'w');
  const std::string greet = "Hello %user, you said: %text";
  // The command's text, the line, the reply ("": none) and whether a command took it.
  const std::tuple<std::string, std::string, std::string, bool> cases[] = {
      {greet, ".c hi all", "Hello Bob, you said: hi all", true},
      {"@1Welcome %1", ".c Bob", "Welcome Bob", true},
      {"%10 %2", ".c a b c d e f g h i j", "a0 b", true},  // "%10" is "%1" and a 0
      // Placeholders typed as arguments are taken as text, but for the word placeholders
      // that come after "%text" in the expansion order.
      {greet, ".c %text %user %1", "Hello Bob, you said: %text %user %text", true},
      {"%1%1%1%1%1%1%1%1", chain, "", true},
      {"%1%1%1%1%1%1%1%1", wide, "", true},
      {greet, ".c " + std::string(100000, 'x'), "", true},
      {greet, std::string(100000, 'x'), "", false},
      {"@1Welcome %1", ".c \"Bob Ann", "Welcome \"Bob Ann", true},
      {"@1Welcome %1", ".\"c Bob", "", false},
      {"@1Welcome %1", ".c\" Bob", "", false},
      // Only ASCII letters fold; other bytes, control bytes included, pass as they are.
      {greet, ".CAF\xE9 x", "Hello Bob, you said: x", true},
      {greet, ".caf\xC9 x", "", false},
      {greet, ".c\t x", "", false},
      {greet, ".c \x01\xFF\r\n\0end"s, "Hello Bob, you said: \x01\xFF\r\n\0end"s, true}};
  for (const auto& [text, line, reply, handled] : cases) {
    TFakeBotHost host;
    host.db->AddCustomCommand("c", text, false, true, 0, "");
    host.db->AddCustomCommand("caf\xE9", text, false, true, 0, "");
    g_largest_allocation = 0;
    EXPECT_EQ(host.Say("Bob", line, kSourceWhisper), handled) << line;
    EXPECT_LT(g_largest_allocation, 256u * 1024) << "the expansion copied the hostile word";
    EXPECT_EQ(host.queued, reply.empty() ? Lines{} : Lines{reply}) << line.substr(0, 40);
  }
}

}  // namespace
}  // namespace corvane
