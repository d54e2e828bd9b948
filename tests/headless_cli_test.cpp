// The profile and users commands of the real program: their output, exit codes and the
// files they leave behind in a fresh home folder. The rules behind them are TProfiles'
// (profiles_test); here is what the command line adds.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bot/command_processor.h"
#include "config/Operations.h"
#include "config/get_settings.h"
#include "config/ini_file.h"
#include "headless/cli.h"
#include "support/program.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

struct TRun {
  int code = -1;
  std::string out, err;
};

std::string Bytes(const fs::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// The words of a command line that holds no empty word and no word with a blank.
Args Words(const std::string& line) {
  Args words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool HasUser(const fs::path& db_path, const std::string& name) {
  TBotCommandControl db;
  std::int32_t access = 0;
  std::string flags;
  return db.LoadFromFile(db_path) && db.GetUserRights(name, access, flags);
}

class HeadlessCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-cli-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    home_ = dir_ / "home";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // corvane --home HOME args...
  TRun Run(const Args& args) const {
    Args words{"--home", home_.string()};
    words.insert(words.end(), args.begin(), args.end());
    test::TProgram program(CORVANE_BIN, words);
    program.CloseStdin();
    const int code = program.Wait();
    return {code, program.Out(), program.Err()};
  }
  // Expects success with that output (and nothing on stderr), or failure with that one
  // line on stderr.
  void Ok(const Args& args, const std::string& out) {
    const TRun r = Run(args);
    EXPECT_EQ(r.code, kExitOk) << args.back() << ": " << r.err;
    EXPECT_EQ(r.out + r.err, out) << args.back();
  }
  void Ok(const std::string& line, const std::string& out) { Ok(Words(line), out); }
  void Fails(const Args& args, const std::string& err, int code = kExitFailed) {
    const TRun r = Run(args);
    EXPECT_EQ(r.code, code) << args.back();
    EXPECT_EQ(r.out + r.err, "corvane: " + err + "\n") << args.back();
  }
  void Fails(const std::string& line, const std::string& err) { Fails(Words(line), err); }
  fs::path Ini(const std::string& name) const { return home_ / "profiles" / name / "profile.ini"; }
  static std::string Created(const std::string& name) {
    return "New profile with name \"" + name +
           "\" was succesfully created!\nCurrent profile: " + name + "\n";
  }

  fs::path dir_, home_;
};

TEST_F(HeadlessCli, ProfileCommandsAnswerAsTheDialogsAndStayInsideProfiles) {
  Ok("profile list", "");
  EXPECT_FALSE(fs::exists(home_)) << "listing creates nothing";
  Ok("profile create main", Created("main"));
  Ok("profile set main Main.Trigger=!", "Profile 'main': 1 setting saved.\n");
  // --from copies the parent's settings; without it the default profile's.
  Ok("profile create --from main old", Created("old"));
  Ok("profile create keep", Created("keep"));
  TSettings s;
  s.Load(Ini("old"));
  EXPECT_EQ(s.Trigger, "!");
  s.Load(Ini("keep"));
  EXPECT_EQ(s.Trigger, ".");
  Ok("profile create ..", Created("__"));  // the name cleaned as the dialog cleans it
  fs::create_directories(home_ / "profiles" / "no ini");  // not a profile: never listed
  std::ofstream(home_ / "precious") << "x";
  std::multiset<std::string> listed;
  std::istringstream list(Run(Words("profile list")).out);
  for (std::string line; std::getline(list, line);) listed.insert(line);
  EXPECT_EQ(listed, (std::multiset<std::string>{"* __", "  main", "  old", "  keep"}));

  Ok("profile use main", "Current profile: main\n");
  Ok("profile use main", "Profile 'main' is current already.\n");
  Fails("profile create x --from=..", "Partent profile not found.");
  Fails("profile delete main", "Cannot delete current profile.");
  for (const std::string bad : {"missing", "..", ".", "no ini", "main/", "keep/..", ""}) {
    for (const Args& args : {Args{"profile", "use", bad}, Args{"profile", "delete", bad},
                             Args{"profile", "rename", bad, "x"}}) {
      Fails(args, "no profile named '" + bad + "'");
    }
  }
  for (const char* target : {"keep", "..", "a/b"}) {
    Fails({"profile", "rename", "old", target}, "Cannot rename profile.");
  }
  EXPECT_TRUE(fs::exists(home_ / "precious") && fs::exists(home_ / "profiles" / "no ini"));
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "x"));
  Ok("profile rename old old", "Profile 'old' has that name already.\n");
  Ok({"profile", "rename", "old", "new one"}, "Profile successfully renamed.\n");
  EXPECT_TRUE(fs::exists(Ini("new one")) && !fs::exists(Ini("old")));
  Ok({"profile", "delete", "new one"}, "Profile successfully deleted.\n");
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "new one"));

  // Texts come from the current profile's language file, English where it is silent.
  fs::create_directories(home_ / "lang");
  std::ofstream(home_ / "lang" / "pirate.lng")
      << "[BOT_INTERFACE_OPTIONSWND_PROF]\ncrok=Arr, \"%pn\" be made!%enterYo ho\n"
         "profdelerror1=Ye cannot scuttle yer own ship\n";
  Ok("profile set main Local.Languige=pirate.lng", "Profile 'main': 1 setting saved.\n");
  Ok("profile create deck", "Arr, \"deck\" be made!\nYo ho\nCurrent profile: deck\n");
  Fails("profile delete deck", "Cannot delete current profile.");  // deck speaks English
  Ok("profile use main", "Current profile: main\n");
  Fails("profile delete main", "Ye cannot scuttle yer own ship");
}

TEST_F(HeadlessCli, SetReachesEveryKeyAndABadSetWritesNothing) {
  Ok("profile create main", Created("main"));
  // Every key at a value that is none of the defaults; sections and keys in any case.
  TSettings expected;
  expected.Load(Ini("main"));
  Args args{"profile", "set", "main"};
  int n = 0;
  for (const TSettingField& f : SettingFields()) {
    std::string value = "v" + std::to_string(n++) + " = x ";
    if (f.flag != nullptr) {
      value = f.number_default != 0 ? "off" : "TRUE";
      expected.*f.flag = f.number_default == 0;
    } else if (f.number != nullptr) {
      value = f.min > 0 ? "+8" : "-1";
      expected.*f.number = f.min > 0 ? 8 : -1;
    } else {
      expected.*f.text = value;
    }
    args.push_back(UpperCase(f.section) + "." + LowerCase(f.key) + "=" + value);
  }
  Ok(args, "Profile 'main': " + std::to_string(n) + " settings saved.\n");
  ASSERT_TRUE(expected.Save((dir_ / "expected.ini").string()));
  EXPECT_EQ(Bytes(Ini("main")), Bytes(dir_ / "expected.ini"));

  const std::string before = Bytes(Ini("main"));
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"Main.Nope=1", "unknown key 'Nope' in section 'Main'"},
      {"Main.Trigger", "'Main.Trigger' is not Section.Key=value"},
      {"Main.=1", "'Main.=1' is not Section.Key=value"},
      {"Main.BnetPort=12x", "'12x' is not a whole number for Main.BnetPort"},
      {"Main.BnetPort=2147483648", "'2147483648' is not a whole number"},
      {"Main.Game=9", "'9' is not a whole number from 1 to 8 for Main.Game"},
      {"Main.UTF8=2", "'2' is no switch value for Main.UTF8"},
      {"Main.HomeChannel=a\nb", "Main.HomeChannel must be a single line"},
      {"Idle messages.Msg=" + std::string(2048, 'm'), "Idle messages.Msg is longer than 2047"}};
  for (const auto& [word, error] : bad) {
    // Every bad word is named, not only the first, and nothing is written.
    const TRun r = Run({"profile", "set", "main", "Main.Trigger=!", "Mian.Trigger=1", word});
    EXPECT_EQ(r.code, kExitUsage) << word;
    EXPECT_EQ(r.err.rfind("corvane: unknown section 'Mian'", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\ncorvane: " + error), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\ncorvane: nothing was written"), std::string::npos) << r.err;
  }
  Fails("profile set .. Main.Trigger=!", "no profile named '..'");
  EXPECT_EQ(Bytes(Ini("main")), before);
  EXPECT_FALSE(fs::exists(home_ / "profile.ini"));
  EXPECT_FALSE(fs::exists(Ini("main").string() + ".tmp"));
}

TEST_F(HeadlessCli, UsersAddListAndUpdate) {
  const TRun none = Run(Words("users add Alice 50"));
  EXPECT_EQ(none.code, kExitFailed) << "no profile is current";
  EXPECT_EQ(none.err.rfind("corvane: Current profile not found or not selected", 0), 0u);

  Ok("profile create main", Created("main"));
  const fs::path db_path = home_ / "profiles" / "main" / "usrcmd.bin";
  Ok("users list", "");
  Ok("users add Alice 50 AS", "Alice added with 50 access and flags AS.\n");
  Ok("users add bob +10 L", "bob added with 10 access and flags L.\n");
  // An update: without FLAGS they stay, an empty FLAGS clears them.
  Ok("users add ALICE 60", "ALICE added with 60 access and flags AS.\n");
  Ok({"users", "add", "bob", "0", ""}, "bob added with 0 access and flags .\n");
  // Typed in UTF-8, kept in the code page (CP1251) as the server's names are, shown in UTF-8.
  Ok("users add Жора 7", "Жора added with 7 access and flags .\n");
  Ok("users list", "Alice\t60\tAS\nbob\t0\t\nЖора\t7\t\n");
  EXPECT_TRUE(HasUser(db_path, "\xC6\xEE\xF0\xE0"));

  const std::string before = Bytes(db_path);
  for (const Args& bad : std::vector<Args>{{"x", "-1"},
                                           {"x", "2147483648"},
                                           {"x", ""},
                                           {"x", "5", "A1"},
                                           {"*", "5"},
                                           {"a b", "5"},
                                           {"", "5"}}) {
    Args args{"users", "add"};
    args.insert(args.end(), bad.begin(), bad.end());
    EXPECT_EQ(Run(args).code, kExitUsage) << bad[0] << " " << bad[1];
  }
  EXPECT_EQ(Bytes(db_path), before);

  std::ofstream(db_path, std::ios::trunc) << "not a database";
  EXPECT_EQ(Run(Words("users add carol 5")).code, kExitFailed);
  EXPECT_EQ(Run(Words("users list")).code, kExitFailed);
  EXPECT_EQ(Bytes(db_path), "not a database") << "a file that does not load is left alone";
}

TEST_F(HeadlessCli, WritersStartedTogetherLoseNoChange) {
  Ok("profile create main", Created("main"));
  constexpr int kWriters = 30;
  // Each writer waits for a line of the gate, so that all start at once.
  const fs::path gate = dir_ / "gate";
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  const int gate_fd = open(gate.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(gate_fd, 0);
  std::vector<std::unique_ptr<test::TProgram>> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.push_back(std::make_unique<test::TProgram>(
        "/bin/sh", Args{"-c", "read _ <\"$0\"; exec \"$@\"", gate.string(), CORVANE_BIN, "--home",
                        home_.string(), "users", "add", "user" + std::to_string(i), "7"}));
  }
  const std::string lines(kWriters, '\n');
  EXPECT_EQ(write(gate_fd, lines.data(), lines.size()), kWriters);
  for (auto& writer : writers) EXPECT_EQ(writer->Wait(), kExitOk) << writer->Err();
  close(gate_fd);
  for (int i = 0; i < kWriters; ++i) {
    EXPECT_TRUE(HasUser(home_ / "profiles" / "main" / "usrcmd.bin", "user" + std::to_string(i)));
  }
}

TEST_F(HeadlessCli, UsageErrors) {
  Ok("profile create main", Created("main"));
  const std::string ini = Bytes(home_ / "profiles.ini");
  for (const char* line :
       {"profile", "profile frob", "profile list x", "profile create", "profile create a b",
        "profile create a --from", "profile create a --from main --from main",
        "profile create a --force", "profile use main x", "profile delete", "profile rename main",
        "profile set main", "users", "users frob", "users list x", "users add a",
        "users add a 1 A x"}) {
    const TRun r = Run(Words(line));
    EXPECT_EQ(r.code, kExitUsage) << line;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("corvane: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "a"));
  EXPECT_EQ(Bytes(home_ / "profiles.ini"), ini);
}

}  // namespace
}  // namespace corvane
