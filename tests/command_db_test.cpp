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

// A version 3 file: refused, and set aside by a reset.
const std::string kVersion3 = "QVCL\x03USR\x01\0\0\0\0\0\0\0Eve\0\0\x01\0\0\0"s;

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
    s += u->Name + '/' + std::to_string(u->Access) + '/' + u->Flags + ' ';
  s += "|";
  for (const auto& c : db.Commands())
    s += " " + c->Name + "/" + std::to_string(c->Access) + "/" + c->Flags + "/" +
         (c->Enabled ? "on/" : "off/") + "ICP"[static_cast<int>(c->CmdType)] + "/" + c->Text;
  return s;
}

// The layout written. Every cut of a file loads what it holds, and counts are believed only
// as far as the data go: a huge count ends at once. Version 1 loads; a file of another kind
// or version is refused and changes nothing.
TEST_F(CommandDb, FileLayoutAndTruncatedOldAndForeignFiles) {
  TBotCommandControl db;
  db.SetUser("Bob", -2, "S");
  db.AddCustomCommand("hi", "hello", false, true, 10, "");
  db.AddPluginCommand("p.so", "pc", 0, nullptr, false, 7, "F");
  db.AddInternalCommand("hi", "Z", 3, true, {}, true);  // keeps "hello", saved as no text
  ASSERT_TRUE(db.SaveToFile(path_));
  const std::string bytes = Read(path_);
  EXPECT_EQ(bytes,
            "QVCL\x02USR\x01\0\0\0\0\0\0\0Bob\0S\0\xFE\xFF\xFF\xFF"
            "CMD\x02\0\0\0\0\0\0\0hi\0Z\0\x03\0\0\0\x01\x01\0"
            "\x01\0\0\0pc\0F\0\x07\0\0\0\0\x03p.so\0"s);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    Write(bytes.substr(0, n));
    TBotCommandControl cut;
    EXPECT_EQ(cut.LoadFromFile(path_), n >= 5) << n;
    EXPECT_LE(cut.Users().size() + cut.Commands().size(), 3u) << n;
  }
  const auto start = std::chrono::steady_clock::now();
  Write("QVCL\x02USR\xFF\xFF\xFF\xFF\0\0\0\0Cut"s);
  TBotCommandControl db2;
  EXPECT_TRUE(db2.LoadFromFile(path_));
  Write("QVCL\x02USR\0\0\0\0CMD\xFF\xFF\xFF\xFF"s);
  EXPECT_TRUE(db2.LoadFromFile(path_));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  Write(
      "QVCL\x01USR\x01\0\0\0\0\0\0\0Ann\0A\0\x05\0\0\0"
      "CMD\x02\0\0\0\0\0\0\0kick\0\0\x05\0\0\0\0\x01\0\0\0own\0Q\0\x09\0\0\0\x01"s);
  EXPECT_TRUE(db2.LoadFromFile(path_));
  for (const std::string& bad : {kVersion3, "QVCX\x02USR\x01\0\0\0\0\0\0\0Eve\0\0\x01\0\0\0"s}) {
    Write(bad);
    EXPECT_FALSE(db2.LoadFromFile(path_));
  }
  // Of the huge counts the started entry counts, none after it.
  EXPECT_EQ(Dump(db2), "Cut/0/ Ann/5/A | kick/5//off/I/ own/9/Q/on/I/");
}

TEST_F(CommandDb, LoadAppliesEntriesInFileOrder) {
  TBotCommandControl stored;
  stored.SetUser("Ann", 1, "S");
  stored.AddCustomCommand("hi", "a", false, true, 10, "L");
  stored.AddInternalCommand("HI", "", 40, true, {}, false);
  stored.AddCustomCommand("hi", "b", false, true, 10, "");
  stored.AddCustomCommand("hi", "c %user", false, false, 10, "");
  stored.AddPluginCommand("p.so", "go", 0, nullptr, true, 1, "F");
  stored.AddPluginCommand("P.SO", "GO", 0, nullptr, false, 2, "");
  ASSERT_TRUE(stored.SaveToFile(path_));
  // The internal entry takes over the first custom hi; the next two merge into a new one.
  TBotCommandControl db;
  ASSERT_TRUE(db.LoadFromFile(path_));
  EXPECT_EQ(Dump(db), "Ann/1/S | hi/40//on/I/a hi/10//off/C/c %user go/2//on/P/p.so");
}

// A reset keeps the stored users and settings of the internal commands and gives each its
// handler; the defaults replace the file, users and all.
TEST_F(CommandDb, ResetKeepsStoredSettingsOfInternalCommands) {
  const auto handler_for = [](const std::string& name) {
    return name == "kick" ? TInternalHandler([](auto&&...) { return true; }) : nullptr;
  };
  TBotCommandControl stored;
  stored.SetUser("Ann", 10, "");
  stored.AddInternalCommand("KICK", "Z", 5, false, {}, false);
  stored.AddCustomCommand("hi", "a", false, true, 10, "");
  ASSERT_TRUE(stored.SaveToFile(path_));
  auto db = ResetCommandDatabase(false, path_, handler_for);
  const std::string dump = Dump(*db);
  EXPECT_EQ(dump.rfind("Ann/10/ |", 0), 0u) << dump;
  EXPECT_NE(dump.find(" kick/5/Z/off/I/"), std::string::npos) << dump;
  EXPECT_TRUE(db->FindCommand("kick", TCmdType::Internal)->Handler);
  EXPECT_FALSE(db->FindCommand("ban", TCmdType::Internal)->Handler);
  auto defaults = ResetCommandDatabase(true, path_, handler_for);
  EXPECT_EQ(defaults->FindCommand("kick", TCmdType::Internal)->Access, 50);
  TBotCommandControl reread;
  ASSERT_TRUE(reread.LoadFromFile(path_));
  EXPECT_EQ(Dump(reread), Dump(*defaults));
  EXPECT_EQ(Dump(reread).find("Ann"), std::string::npos);
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
      slow.emplace_back(static_cast<std::int32_t>(random() % levels) - 2, i);
      fast.AddCustomCommand(std::to_string(i), "", false, true, slow.back().first, "");
    }
    for (std::size_t i = 0; i < slow.size(); ++i)
      for (std::size_t j = i; j < slow.size(); ++j)
        if (slow[i].first < slow[j].first) std::swap(slow[i], slow[j]);
    fast.SortCommands();
    for (std::size_t i = 0; i < slow.size(); ++i) {
      ASSERT_EQ(fast.Commands()[i]->Name, std::to_string(slow[i].second)) << round << " at " << i;
    }
  }
}

// A file that is there but cannot be read holds somebody's users: it is moved aside, never
// replaced by the defaults. A missing file is simply made.
TEST_F(CommandDb, AnUnreadableFileIsSetAsideNotOverwritten) {
  TDatabaseFileReport report;
  ResetCommandDatabase(false, path_, nullptr, &report);
  EXPECT_TRUE(!report.unreadable && report.saved) << "a missing file is made";
  for (const std::string& bad : {kVersion3, "garbage header"s, ""s}) {
    Write(bad);
    report = {};
    ResetCommandDatabase(false, path_, nullptr, &report);
    EXPECT_TRUE(report.unreadable && report.saved);
    EXPECT_EQ(report.set_aside.rfind(path_ + ".unreadable-", 0), 0u) << report.set_aside;
    EXPECT_EQ(Read(report.set_aside), bad);
    TBotCommandControl fresh;
    EXPECT_TRUE(fresh.LoadFromFile(path_) && fresh.Commands().size() == kInternalCommands.size());
  }
}

}  // namespace
}  // namespace corvane
