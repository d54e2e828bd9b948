// The profile and users commands of the real program: their output, exit codes (0 done,
// 1 refused or failed, 2 a usage error) and the files they leave behind in a fresh home
// folder. The rules behind them are TProfiles' (profiles_test); here is what the command
// line adds.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/program.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

std::string Bytes(const fs::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// A command line: words split at blanks, or given one by one.
struct TLine : Args {
  TLine(std::initializer_list<std::string> words) : Args(words) {}
  TLine(const char* line) {  // NOLINT: implicit on purpose
    std::istringstream in(line);
    for (std::string w; in >> w;) push_back(w);
  }
};

class HeadlessCli : public ::testing::Test {
 protected:
  void SetUp() override { home_ = (dir_ = mkdtemp(dir_name_)) / "home"; }
  void TearDown() override { fs::remove_all(dir_); }

  // corvane --home HOME line...: the exit code and stdout, then stderr.
  std::pair<int, std::string> Run(const TLine& line) const {
    Args words{"--home", home_.string()};
    words.insert(words.end(), line.begin(), line.end());
    test::TProgram program(CORVANE_BIN, words);
    program.CloseStdin();
    return {program.Wait(), program.Out() + program.Err()};  // in that order
  }
  void Expect(const TLine& line, int code, const std::string& out) {
    EXPECT_EQ(Run(line), std::make_pair(code, out)) << ::testing::PrintToString(line);
  }
  void Create(const std::string& name) { EXPECT_EQ(Run({"profile", "create", name}).first, 0); }

  char dir_name_[32] = "/tmp/corvane-cli-XXXXXX";
  fs::path dir_, home_;
};

TEST_F(HeadlessCli, ProfileCommandsStayInsideTheListedProfiles) {
  Expect("profile list", 0, "");
  EXPECT_FALSE(fs::exists(home_)) << "listing creates nothing";
  Expect("profile create main", 0,
         "New profile with name \"main\" was succesfully created!\nCurrent profile: main\n");
  EXPECT_EQ(Run("profile set main MAIN.trigger=! Main.BnetPort=+8").first, 0);
  EXPECT_EQ(Run("profile create --from main old").first, 0);  // with the parent's settings
  const std::string old = Bytes(home_ / "profiles" / "old" / "profile.ini");
  EXPECT_TRUE(old.find("\nTrigger=!\n") != old.npos && old.find("\nBnetPort=8\n") != old.npos);
  Create("..");  // the name cleaned as the dialog cleans it
  fs::create_directories(home_ / "profiles" / "no ini");  // not a profile: never listed
  std::ofstream(home_ / "precious") << "x";
  std::multiset<std::string> listed;
  std::istringstream list(Run("profile list").second);
  for (std::string line; std::getline(list, line);) listed.insert(line);
  EXPECT_EQ(listed, (std::multiset<std::string>{"* __", "  main", "  old"}));

  Expect("profile create x --from=..", 1, "corvane: Partent profile not found.\n");
  Expect("profile delete __", 1, "corvane: Cannot delete current profile.\n");
  for (const std::string bad : {"missing", "..", ".", "no ini", "main/", "old/..", ""}) {
    for (const TLine& line :
         {TLine{"profile", "use", bad}, TLine{"profile", "delete", bad},
          TLine{"profile", "rename", bad, "x"}, TLine{"profile", "set", bad, "Main.Trigger=!"}}) {
      Expect(line, 1, "corvane: no profile named '" + bad + "'\n");
    }
  }
  for (const char* target : {"main", "..", "a/b"}) {
    Expect({"profile", "rename", "old", target}, 1, "corvane: Cannot rename profile.\n");
  }
  EXPECT_TRUE(fs::exists(home_ / "precious") && fs::exists(home_ / "profiles" / "no ini") &&
              !fs::exists(home_ / "profiles" / "x"));
  Expect({"profile", "rename", "old", "new one"}, 0, "Profile successfully renamed.\n");
}

TEST_F(HeadlessCli, ABadSetOrUsageErrorWritesNothing) {
  Create("main");
  const fs::path ini = home_ / "profiles" / "main" / "profile.ini";
  const std::string before = Bytes(ini), profiles = Bytes(home_ / "profiles.ini");
  // Each usage error is one line on stderr alone; a bad set names every bad word, not only
  // the first (here two), and that nothing was written.
  std::vector<std::pair<TLine, int>> cases;  // and the lines on stderr
  for (const char* line :
       {"profile", "profile frob", "profile list x", "profile create", "profile create a b",
        "profile create a --from", "profile create a --from main --from main",
        "profile create a --force", "profile use main x", "profile delete", "profile rename main",
        "profile set main", "users", "users frob", "users list x", "users add a",
        "users add a 1 A x"}) {
    cases.push_back({line, 1});
  }
  for (const std::string& bad :
       Args{"Main.Nope=1", "Main.Trigger", "Main.BnetPort=2147483648", "Main.Game=9", "Main.UTF8=2",
            "Main.HomeChannel=a\nb", "Idle messages.Msg=" + std::string(2048, 'm')}) {
    cases.push_back({{"profile", "set", "main", "Main.Trigger=!", "Mian.Trigger=1", bad}, 3});
  }
  for (const auto& [line, lines] : cases) {
    const auto [code, err] = Run(line);
    EXPECT_EQ(code, 2) << err;
    EXPECT_EQ(err.rfind("corvane: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), lines) << err;
  }
  EXPECT_EQ(Bytes(ini) + Bytes(home_ / "profiles.ini"), before + profiles);
  EXPECT_FALSE(fs::exists(home_ / "profile.ini") || fs::exists(ini.string() + ".tmp") ||
               fs::exists(home_ / "profiles" / "a"));
}

TEST_F(HeadlessCli, UsersAddListAndUpdate) {
  EXPECT_EQ(Run("users add Alice 50").first, 1) << "no profile is current";
  Create("main");
  const fs::path db_path = home_ / "profiles" / "main" / "usrcmd.bin";
  // Then updates: without FLAGS they stay, an empty FLAGS clears them. A name typed in UTF-8
  // is kept in the code page (CP1251) as the server's names are, and shown in UTF-8.
  for (const TLine& add :
       {TLine("users add Alice 50 AS"), TLine("users add bob +10 L"), TLine("users add ALICE 60"),
        TLine{"users", "add", "bob", "0", ""}, TLine("users add Жора 7")}) {
    EXPECT_EQ(Run(add).first, 0);
  }
  Expect("users list", 0, "Alice\t60\tAS\nbob\t0\t\nЖора\t7\t\n");
  const std::string before = Bytes(db_path);
  EXPECT_NE(before.find("\xC6\xEE\xF0\xE0"), std::string::npos);
  for (const TLine& bad :
       {TLine("users add x -1"), TLine("users add x 2147483648"), TLine("users add x 5 A1"),
        TLine("users add * 5"), TLine{"users", "add", "x", ""}, TLine{"users", "add", "", "5"}}) {
    EXPECT_EQ(Run(bad).first, 2) << ::testing::PrintToString(bad);
  }
  EXPECT_EQ(Bytes(db_path), before);

  std::ofstream(db_path, std::ios::trunc) << "not a database";
  for (const char* line : {"users add carol 5", "users list"}) EXPECT_EQ(Run(line).first, 1);
  EXPECT_EQ(Bytes(db_path), "not a database") << "a file that does not load is left alone";
}

TEST_F(HeadlessCli, WritersStartedTogetherLoseNoChange) {
  Create("main");
  constexpr int kWriters = 30;
  // Each writer waits for a line of the gate, so that all start at once.
  const fs::path gate = dir_ / "gate";
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  const int gate_fd = open(gate.c_str(), O_RDWR | O_CLOEXEC);
  std::vector<std::unique_ptr<test::TProgram>> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.push_back(std::make_unique<test::TProgram>(
        "/bin/sh", Args{"-c", "read _ <\"$0\"; exec \"$@\"", gate.string(), CORVANE_BIN, "--home",
                        home_.string(), "users", "add", "user" + std::to_string(i), "7"}));
  }
  EXPECT_EQ(write(gate_fd, std::string(kWriters, '\n').data(), kWriters), kWriters);
  for (auto& writer : writers) EXPECT_EQ(writer->Wait(), 0) << writer->Err();
  close(gate_fd);
  const std::string listed = Run("users list").second;  // user0 to user29, once each
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), kWriters) << listed;
}

}  // namespace
}  // namespace corvane
