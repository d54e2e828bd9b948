#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bot/command_processor.h"

namespace corvane {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

class CommandDb : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  const fs::path dir_ =
      fs::temp_directory_path() / ("corvane_db_" + std::to_string(getpid()) + "_" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string path_ = (dir_ / "usrcmd.bin").string();
};

// Every stored field of every record, in list order: "name/access/flags" per user, then
// "name/access/flags/enabled/kind/text" per command.
std::string Dump(const TBotCommandControl& db) {
  std::string s;
  for (const auto& u : db.Users())
    s += u->Name + "/" + std::to_string(u->Access) + "/" + u->Flags + " ";
  s += "|";
  for (const auto& c : db.Commands()) {
    s += " " + c->Name + "/" + std::to_string(c->Access) + "/" + c->Flags + "/" +
         (c->Enabled ? "on/" : "off/") + "ICP"[static_cast<int>(c->CmdType)] + "/" + c->Text;
  }
  return s;
}

std::uint8_t Proc(const char*, const char*, const char*, std::int32_t, std::uint32_t,
                  std::int32_t) {
  return 1;
}

TEST_F(CommandDb, WritesTheFileLayout) {
  TBotCommandControl db;
  ASSERT_TRUE(db.SaveToFile(path_));
  EXPECT_EQ(Read(path_), "QVCL\x02USR\0\0\0\0CMD\0\0\0\0"s);
  db.SetUser("Bob", -2, "S");
  db.AddCustomCommand("hi", "hello", false, true, 10, "");
  db.AddPluginCommand("p.so", "pc", 0, Proc, false, 7, "F");
  db.AddInternalCommand("hi", "Z", 3, true, {}, true);  // keeps "hello", saved as no text
  ASSERT_TRUE(db.SaveToFile(path_));
  EXPECT_EQ(Read(path_),
            "QVCL\x02USR\x01\0\0\0"
            "\0\0\0\0Bob\0S\0\xFE\xFF\xFF\xFF"
            "CMD\x02\0\0\0"
            "\0\0\0\0hi\0Z\0\x03\0\0\0\x01\x01\0"
            "\x01\0\0\0pc\0F\0\x07\0\0\0\0\x03p.so\0"s);
}

TEST_F(CommandDb, LoadAppliesEntriesInFileOrder) {
  TBotCommandControl stored;
  stored.SetUser("Ann", 1, "S");
  stored.SetUser("Bob", -2, "?");
  stored.AddCustomCommand("hi", "a", false, true, 10, "L");
  stored.AddInternalCommand("HI", "", 40, true, {}, false);
  stored.AddCustomCommand("hi", "b", false, true, 10, "");
  stored.AddCustomCommand("hi", "c %user", false, false, 10, "");
  stored.AddPluginCommand("p.so", "go", 0, Proc, true, 1, "F");
  stored.AddPluginCommand("P.SO", "GO", 0, nullptr, false, 2, "");
  ASSERT_TRUE(stored.SaveToFile(path_));
  std::string bytes = Read(path_);
  bytes.replace(bytes.find("Bob\0\0"s), 5, "ANN\0?\0"s);  // Ann again, with flags "?"
  Write(bytes);
  // The internal entry takes over the first custom hi; the next two merge into a new one.
  TBotCommandControl db;
  ASSERT_TRUE(db.LoadFromFile(path_));
  EXPECT_EQ(Dump(db), "Ann/-2/S | hi/40//on/I/a hi/10//off/C/c %user go/2//on/P/p.so");
  EXPECT_FALSE(db.Commands()[2]->PluginLoaded) << "a procedure comes only from the plug-in";
}

TEST_F(CommandDb, ResetKeepsStoredSettingsOfInternalCommands) {
  int calls = 0;
  const auto handler_for = [&](const std::string& name) -> TInternalHandler {
    if (name != "kick") return {};
    return [&](const std::string&, const std::string&, const std::string&, std::int32_t,
               std::uint32_t, std::uint8_t) { return ++calls > 0; };
  };
  TBotCommandControl stored;
  stored.SetUser("Ann", 10, "");
  stored.AddInternalCommand("KICK", "Z", 5, false, {}, false);
  stored.AddCustomCommand("hi", "a", false, true, 10, "");
  stored.AddCustomCommand("hi", "b", false, true, 50, "");
  ASSERT_TRUE(stored.SaveToFile(path_));

  auto db = ResetCommandDatabase(false, path_, handler_for);
  ASSERT_EQ(db->Commands().size(), kInternalCommands.size() + 2);
  EXPECT_EQ(db->Commands().front()->Name, "quit");
  const std::string dump = Dump(*db);
  EXPECT_LT(dump.find("hi/50"), dump.find("hi/10"));
  EXPECT_NE(dump.find(" kick/5/Z/off/I/"), std::string::npos);
  const TBotCommand* kick = db->FindCommand("kick", TCmdType::Internal);
  ASSERT_TRUE(kick->Handler);
  kick->Handler("a", "", "", 0, 0, 1);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(db->FindCommand("ban", TCmdType::Internal)->Handler);

  auto defaults = ResetCommandDatabase(true, path_, handler_for);
  EXPECT_EQ(defaults->Commands().size(), kInternalCommands.size());
  EXPECT_EQ(defaults->FindCommand("kick", TCmdType::Internal)->Access, 50);
  TBotCommandControl reread;
  ASSERT_TRUE(reread.LoadFromFile(path_));
  EXPECT_EQ(Dump(reread), Dump(*defaults)) << "the defaults replace the file, users and all";
}

TEST_F(CommandDb, UserRightsAndFlags) {
  TBotCommandControl db;
  std::int32_t access = -7;
  std::string flags = "unchanged";
  EXPECT_FALSE(db.GetUserRights("nobody", access, flags));
  EXPECT_EQ(flags, "unchanged");
  EXPECT_TRUE(db.GetUserRights("*", access, flags));
  EXPECT_EQ(std::to_string(access) + flags, "100000A");

  db.SetUser("Alice", 40, "S");
  db.SetUser("alice", 20, "?");
  db.SetUser("Bob", 5, "?");
  EXPECT_EQ(Dump(db), "Alice/20/S Bob/5/ |");
  db.AddUserFlag("bob", "S");
  db.AddUserFlag("BOB", "S");
  EXPECT_TRUE(db.IsSafelisted("bOb"));
  EXPECT_EQ(db.Users()[1]->Flags, "S");
  db.SetUser("Bob", 5, "SxS");
  db.RemoveUserFlag("bob", "S");
  db.AddUserFlag("Eve", "b");
  EXPECT_FALSE(db.IsShitlisted("eve")) << "flag letters keep their case";
  db.AddUserFlag("Eve", "B");
  EXPECT_TRUE(db.IsShitlisted("EVE"));
  db.DeleteUser("ALICE");
  EXPECT_EQ(Dump(db), "Bob/5/x Eve/0/bB |");
}

// Higher levels first, in exactly the order of the plain exchange loop, on random lists: few
// and many levels, short and long.
TEST_F(CommandDb, SortIsTheExchangeLoop) {
  std::mt19937 random(7);
  for (int round = 0; round < 400; ++round) {
    const int n = round < 300 ? static_cast<int>(random() % 40) : 1500;
    const int levels = 1 + static_cast<int>(random() % (round % 2 ? 300 : 6));
    TBotCommandControl fast;
    std::vector<std::pair<std::int32_t, int>> slow;  // access, name
    for (int i = 0; i < n; ++i) {
      const auto access = static_cast<std::int32_t>(random() % levels) - 2;
      fast.AddCustomCommand(std::to_string(i), "", false, true, access, "");
      slow.emplace_back(access, i);
    }
    for (std::size_t i = 0; i < slow.size(); ++i) {
      for (std::size_t j = i; j < slow.size(); ++j) {
        if (slow[i].first < slow[j].first) std::swap(slow[i], slow[j]);
      }
    }
    fast.SortCommands();
    for (std::size_t i = 0; i < slow.size(); ++i) {
      ASSERT_EQ(fast.Commands()[i]->Name, std::to_string(slow[i].second)) << round << " at " << i;
    }
  }
}

// A file that is there but cannot be read holds somebody's users: it is moved aside, never
// replaced by the defaults. A missing file is simply made.
TEST_F(CommandDb, AnUnreadableFileIsSetAsideNotOverwritten) {
  for (const std::string& bad :
       {"QVCL\x03USR\x01\0\0\0\0\0\0\0Eve\0\0\x01\0\0\0"s, "garbage header"s, ""s}) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Write(bad);
    TDatabaseFileReport report;
    ResetCommandDatabase(false, path_, nullptr, &report);
    EXPECT_TRUE(report.unreadable);
    EXPECT_EQ(report.set_aside.rfind(path_ + ".unreadable-", 0), 0u) << report.set_aside;
    EXPECT_EQ(Read(report.set_aside), bad);
    EXPECT_TRUE(report.saved);
    TBotCommandControl fresh;
    EXPECT_TRUE(fresh.LoadFromFile(path_));
    EXPECT_EQ(fresh.Commands().size(), kInternalCommands.size());
  }
  fs::remove(path_);
  TDatabaseFileReport report;
  ResetCommandDatabase(false, path_, nullptr, &report);
  EXPECT_FALSE(report.unreadable);
  EXPECT_TRUE(report.saved);
}

TEST_F(CommandDb, CommandOperations) {
  TBotCommandControl db;
  const TBotCommand* p = db.AddPluginCommand("Lib.so", "go", 0, nullptr, true, 10, "A");
  db.RemoveCommand(db.AddPluginCommand("Lib.so", "go", 0, nullptr, true, 10, "A"));
  // Mode 2 keeps what the owner edited; mode 1 takes the plug-in's values.
  ASSERT_TRUE(db.UpdateCommand(p, "go", "Lib.so", false, 99, "A"));
  EXPECT_EQ(db.AddPluginCommand("LIB.SO", "GO", 2, Proc, true, 10, "B"), p);
  EXPECT_EQ(Dump(db), "| go/99/A/off/P/Lib.so");
  EXPECT_TRUE(p->PluginLoaded);
  EXPECT_EQ(p->PluginProc, &Proc);
  EXPECT_EQ(db.AddPluginCommand("lib.so", "go", 1, nullptr, true, 15, "C"), p);
  EXPECT_EQ(Dump(db), "| go/15/C/off/P/Lib.so");
  EXPECT_FALSE(p->PluginLoaded);
  db.AddPluginCommand("other.so", "go", 1, nullptr, true, 15, "C");

  const TBotCommand* internal = db.AddInternalCommand("go", "", 1, true, {}, false);
  EXPECT_FALSE(db.DeletePluginCommand("go", "third.so"));
  EXPECT_TRUE(db.DeletePluginCommand("Go", "LIB.so"));
  EXPECT_EQ(db.FindCommand("GO", TCmdType::Plugin)->Text, "other.so");
  EXPECT_EQ(db.FindCommand("go", TCmdType::Internal), internal);
  EXPECT_EQ(db.FindCommand("go", TCmdType::Custom), nullptr);

  const TBotCommand* custom = db.AddCustomCommand("hi", "old", false, true, 10, "");
  EXPECT_EQ(db.AddCustomCommand("HI", "new", true, false, 10, "X"), custom);
  EXPECT_NE(db.AddCustomCommand("hi", "other", true, true, 11, ""), custom);
  EXPECT_EQ(db.AddInternalCommand("Hi", "Q", 3, true, {}, true), custom);
  EXPECT_EQ(Dump(db), "| go/15/C/on/P/other.so go/1//on/I/ hi/3/Q/on/I/new hi/11//on/C/other");
}

// Version 1 loads; a file of another kind or version is refused. Every cut of a file loads
// what it holds, and counts are believed only as far as the data go: a huge count ends at
// once.
TEST_F(CommandDb, OldTruncatedAndForeignFiles) {
  Write(
      "QVCL\x01USR\x01\0\0\0\0\0\0\0Ann\0A\0\x05\0\0\0"
      "CMD\x02\0\0\0\0\0\0\0kick\0\0\x05\0\0\0\0\x01\0\0\0own\0Q\0\x09\0\0\0\x01"s);
  TBotCommandControl old;
  ASSERT_TRUE(old.LoadFromFile(path_));
  const std::string loaded = Dump(old);
  EXPECT_EQ(loaded, "Ann/5/A | kick/5//off/I/ own/9/Q/on/I/");
  for (const std::string& bad : {"QVCL\x03USR\x01\0\0\0\0\0\0\0Eve\0\0\x01\0\0\0"s,
                                 "QVCX\x02USR\x01\0\0\0\0\0\0\0Eve\0\0\x01\0\0\0"s, "QVC"s}) {
    Write(bad);
    EXPECT_FALSE(old.LoadFromFile(path_));
  }
  EXPECT_FALSE(old.LoadFromFile((dir_ / "missing.bin").string()));
  EXPECT_EQ(Dump(old), loaded) << "a refused file changes nothing";
  TBotCommandControl& full = old;
  full.SetUser("Ben", 10, "S");
  full.AddCustomCommand("hi", "hello", false, true, 10, "");
  full.AddPluginCommand("p.so", "go", 0, nullptr, true, 1, "");
  ASSERT_TRUE(full.SaveToFile(path_));
  const std::string bytes = Read(path_);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    Write(bytes.substr(0, n));
    TBotCommandControl db;
    EXPECT_EQ(db.LoadFromFile(path_), n >= 5) << n;
    EXPECT_LE(db.Users().size(), full.Users().size()) << n;
    EXPECT_LE(db.Commands().size(), full.Commands().size()) << n;
  }
  const auto start = std::chrono::steady_clock::now();
  Write("QVCL\x02USR\xFF\xFF\xFF\xFF\0\0\0\0Cut"s);
  TBotCommandControl db;
  EXPECT_TRUE(db.LoadFromFile(path_));
  Write("QVCL\x02USR\0\0\0\0CMD\xFF\xFF\xFF\xFF"s);
  EXPECT_TRUE(db.LoadFromFile(path_));
  EXPECT_EQ(Dump(db), "Cut/0/ |") << "the started entry counts, none after it";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace corvane
