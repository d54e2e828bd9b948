// The profile and users commands of the real program: their output, exit codes and the
// files they leave behind in a fresh home folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
#include "fakes/program.h"
#include "headless/cli.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Bytes(const fs::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
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

  // corvane --home HOME args..., stdout and stderr caught in files beside the home.
  TRun Run(const std::vector<std::string>& args) const {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    std::vector<std::string> words{CORVANE_BIN, "--home", home_.string()};
    words.insert(words.end(), args.begin(), args.end());
    const pid_t pid = fork();
    if (pid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
      std::vector<char*> argv;
      for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
      argv.push_back(nullptr);
      execv(CORVANE_BIN, argv.data());
      _exit(127);
    }
    int status = 0;
    TRun r;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
      r.code = WEXITSTATUS(status);
    }
    r.out = Bytes(out);
    r.err = Bytes(err);
    return r;
  }
  fs::path Profile(const std::string& name) const { return home_ / "profiles" / name; }
  fs::path Ini(const std::string& name) const { return Profile(name) / "profile.ini"; }
  std::string Current() const {
    return TIniFile(home_ / "profiles.ini").ReadString("Profiles", "CurrentProfile", "<none>");
  }
  void Create(const std::string& name) {
    ASSERT_EQ(Run({"profile", "create", name}).code, kExitOk) << name;
  }

  fs::path dir_, home_;
};

TEST_F(HeadlessCli, ListCreateAndUse) {
  TRun r = Run({"profile", "list"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_FALSE(fs::exists(home_)) << "listing creates nothing";

  r = Run({"profile", "create", "main"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out,
            "New profile with name \"main\" was succesfully created!\nCurrent profile: main\n");
  EXPECT_EQ(fs::status(Ini("main")).permissions(), fs::perms(0600));
  EXPECT_EQ(Current(), "main");
  ASSERT_EQ(Run({"profile", "set", "main", "Main.Trigger=!"}).code, kExitOk);

  // --from copies the parent's settings; without it the default profile's.
  EXPECT_EQ(Run({"profile", "create", "--from", "main", "copy"}).code, kExitOk);
  EXPECT_EQ(Run({"profile", "create", "plain"}).code, kExitOk);
  TSettings s;
  s.Load(Ini("copy"));
  EXPECT_EQ(s.Trigger, "!");
  s.Load(Ini("plain"));
  EXPECT_EQ(s.Trigger, ".");

  // A created profile becomes current. Names the dialog cleans are cleaned here too.
  r = Run({"profile", "create", ".."});
  EXPECT_EQ(r.out, "New profile with name \"__\" was succesfully created!\nCurrent profile: __\n");
  EXPECT_EQ(Current(), "__");
  fs::create_directories(Profile("no ini"));  // not a profile: never listed
  r = Run({"profile", "list"});
  std::multiset<std::string> lines;
  std::istringstream listed(r.out);
  for (std::string line; std::getline(listed, line);) lines.insert(line);
  EXPECT_EQ(lines, (std::multiset<std::string>{"* __", "  main", "  copy", "  plain"}));

  r = Run({"profile", "use", "main"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "Current profile: main\n");
  EXPECT_EQ(Current(), "main");
  r = Run({"profile", "use", "main"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "Profile 'main' is current already.\n");
  for (const char* bad : {"missing", "..", ".", "no ini", "main/", ""}) {
    r = Run({"profile", "use", bad});
    EXPECT_EQ(r.code, kExitFailed) << bad;
    EXPECT_EQ(r.err, "corvane: no profile named '" + std::string(bad) + "'\n");
  }
  EXPECT_EQ(Current(), "main");
}

TEST_F(HeadlessCli, CreateRefusalsUseTheDialogTexts) {
  Create("main");
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"profile", "create", "main"}, "Profile with this name already exists."},
      {{"profile", "create", "   "}, "Incorrecct profile name."},
      {{"profile", "create", ""}, "Incorrecct profile name."},
      {{"profile", "create", "x", "--from", "nope"}, "Partent profile not found."},
      {{"profile", "create", "x", "--from=.."}, "Partent profile not found."},
  };
  for (const auto& [args, text] : refused) {
    const TRun r = Run(args);
    EXPECT_EQ(r.code, kExitFailed) << text;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "corvane: " + text + "\n");
  }
  EXPECT_FALSE(fs::exists(Profile("x")));
  EXPECT_EQ(Current(), "main");

  // Language texts come from the current profile's language file, English where it is silent.
  fs::create_directories(home_ / "lang");
  std::ofstream(home_ / "lang" / "pirate.lng")
      << "[BOT_INTERFACE_OPTIONSWND_PROF]\ncrok=Arr, \"%pn\" be made!%enterYo ho\n"
         "profdelerror1=Ye cannot scuttle yer own ship\n";
  ASSERT_EQ(Run({"profile", "set", "main", "Local.Languige=pirate.lng"}).code, kExitOk);
  TRun r = Run({"profile", "create", "deck"});
  EXPECT_EQ(r.out, "Arr, \"deck\" be made!\nYo ho\nCurrent profile: deck\n");
  r = Run({"profile", "delete", "deck"});
  EXPECT_EQ(r.err, "corvane: Cannot delete current profile.\n") << "deck speaks English";
  ASSERT_EQ(Run({"profile", "use", "main"}).code, kExitOk);
  EXPECT_EQ(Run({"profile", "delete", "main"}).err, "corvane: Ye cannot scuttle yer own ship\n");
}

TEST_F(HeadlessCli, DeleteAndRename) {
  Create("keep");
  Create("old");
  Create("main");
  fs::create_directories(Profile("no ini"));
  std::ofstream(home_ / "precious") << "x";

  TRun r = Run({"profile", "delete", "main"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "corvane: Cannot delete current profile.\n");
  for (const char* bad : {"..", ".", "missing", "no ini", "keep/.."}) {
    r = Run({"profile", "delete", bad});
    EXPECT_EQ(r.code, kExitFailed) << bad;
    EXPECT_EQ(r.err, "corvane: no profile named '" + std::string(bad) + "'\n");
  }
  EXPECT_TRUE(fs::exists(home_ / "precious"));
  EXPECT_TRUE(fs::exists(Profile("no ini")));

  r = Run({"profile", "rename", "main", "other"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "corvane: Cannot rename current profile.\n");
  for (const char* target : {"keep", "..", ".", "a/b", "no ini", ""}) {
    r = Run({"profile", "rename", "old", target});
    EXPECT_EQ(r.code, kExitFailed) << target;
    EXPECT_EQ(r.err, "corvane: Cannot rename profile.\n") << target;
  }
  EXPECT_EQ(Run({"profile", "rename", "..", "x"}).err, "corvane: no profile named '..'\n");
  EXPECT_TRUE(fs::exists(Ini("old")) && fs::exists(Ini("keep")));
  r = Run({"profile", "rename", "old", "old"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "Profile 'old' has that name already.\n");

  r = Run({"profile", "rename", "old", "new one"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "Profile successfully renamed.\n");
  EXPECT_TRUE(fs::exists(Ini("new one")));
  EXPECT_FALSE(fs::exists(Profile("old")));

  r = Run({"profile", "delete", "new one"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "Profile successfully deleted.\n");
  EXPECT_FALSE(fs::exists(Profile("new one")));
  EXPECT_TRUE(fs::exists(Ini("keep")));
}

TEST_F(HeadlessCli, SetReachesEveryKeyAndKeepsTheFilePrivate) {
  Create("main");
  // A file with a key of its own and none of ours, readable by others.
  std::ofstream(Ini("main"), std::ios::trunc) << "[Plugins]\nmine=kept\n";
  fs::permissions(Ini("main"), fs::perms(0644));
  // Every key at a value that is none of the defaults; sections and keys in any case.
  std::vector<std::string> args{"profile", "set", "main"};
  int n = 0;
  for (const TSettingField& f : SettingFields()) {
    const std::string value = f.flag != nullptr     ? (f.number_default != 0 ? "off" : "TRUE")
                              : f.number != nullptr ? "2"
                                                    : "v" + std::to_string(n) + " = x ";
    args.push_back(UpperCase(f.section) + "." + LowerCase(f.key) + "=" + value);
    ++n;
  }
  args.push_back("Main.BnlsPort=-1");
  args.push_back("main.game=+8");
  const TRun r = Run(args);
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "Profile 'main': " + std::to_string(n + 2) + " settings saved.\n");

  EXPECT_EQ(fs::status(Ini("main")).permissions(), fs::perms(0600));
  const std::string text = Bytes(Ini("main"));
  EXPECT_NE(text.find("[Plugins]\nmine=kept\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n[Great messages]\nEnable=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nUTF8=0\n"), std::string::npos) << "switches are stored as 1 and 0";
  EXPECT_NE(text.find("\nUsername=v0 = x \n"), std::string::npos) << text;
  TSettings s;
  s.Load(Ini("main"));
  n = 0;
  for (const TSettingField& f : SettingFields()) {
    const std::string name = std::string(f.section) + "." + f.key;
    if (f.flag != nullptr) {
      EXPECT_EQ(s.*f.flag, f.number_default == 0) << name;
    } else if (f.number != nullptr) {
      EXPECT_EQ(s.*f.number, name == "Main.BnlsPort" ? -1 : name == "Main.Game" ? 8 : 2) << name;
    } else {
      EXPECT_EQ(s.*f.text, "v" + std::to_string(n) + " = x ") << name;
    }
    ++n;
  }
}

TEST_F(HeadlessCli, BadSetWritesNothing) {
  Create("main");
  const std::string before = Bytes(Ini("main"));
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"Main.Nope=1", "unknown key 'Nope' in section 'Main'"},
      {"Mian.Trigger=1", "unknown section 'Mian'"},
      {"Main.Trigger", "'Main.Trigger' is not Section.Key=value"},
      {"Trigger=!", "'Trigger=!' is not Section.Key=value"},
      {"Main.=1", "'Main.=1' is not Section.Key=value"},
      {"Main.BnetPort=12x", "'12x' is not a whole number for Main.BnetPort"},
      {"Main.BnetPort=", "'' is not a whole number for Main.BnetPort"},
      {"Main.BnetPort=2147483648", "'2147483648' is not a whole number"},
      {"Main.BnetPort=0x10", "'0x10' is not a whole number"},
      {"Main.Game=9", "'9' is not a whole number from 1 to 8 for Main.Game"},
      {"Main.UTF8=2", "'2' is no switch value for Main.UTF8"},
      {"Main.HomeChannel=a\nb", "Main.HomeChannel must be a single line"},
      {"Idle messages.Msg=" + std::string(2048, 'm'), "Idle messages.Msg is longer than 2047"},
  };
  for (const auto& [word, error] : bad) {
    const TRun r = Run({"profile", "set", "main", "Main.Trigger=!", word});
    EXPECT_EQ(r.code, kExitUsage) << word;
    EXPECT_EQ(r.err.rfind("corvane: " + error, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\ncorvane: nothing was written"), std::string::npos) << r.err;
  }
  // Every bad one is named, not only the first.
  const TRun r = Run({"profile", "set", "main", "A.b=1", "Main.Game=0"});
  EXPECT_NE(r.err.find("'A'"), std::string::npos);
  EXPECT_NE(r.err.find("'0'"), std::string::npos);
  EXPECT_EQ(Bytes(Ini("main")), before);

  EXPECT_EQ(Run({"profile", "set", "missing", "Main.Trigger=!"}).code, kExitFailed);
  EXPECT_EQ(Run({"profile", "set", "..", "Main.Trigger=!"}).code, kExitFailed);
  EXPECT_EQ(Bytes(Ini("main")), before);
  EXPECT_FALSE(fs::exists(home_ / "profile.ini"));
  EXPECT_FALSE(fs::exists(Ini("main").string() + ".tmp"));
}

TEST_F(HeadlessCli, UsersAddListAndUpdate) {
  TRun r = Run({"users", "add", "Alice", "50"});
  EXPECT_EQ(r.code, kExitFailed) << "no profile is current";
  EXPECT_EQ(r.err.rfind("corvane: Current profile not found or not selected", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "usrcmd.bin"));

  Create("main");
  const fs::path db_path = Profile("main") / "usrcmd.bin";
  r = Run({"users", "list"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, "");
  r = Run({"users", "add", "Alice", "50", "AS"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "Alice added with 50 access and flags AS.\n");
  EXPECT_EQ(Run({"users", "add", "bob", "+10", "L"}).code, kExitOk);
  // An update: without FLAGS they stay, an empty FLAGS clears them.
  EXPECT_EQ(Run({"users", "add", "ALICE", "60"}).out, "ALICE added with 60 access and flags AS.\n");
  EXPECT_EQ(Run({"users", "add", "bob", "0", ""}).code, kExitOk);
  // Typed in UTF-8, kept in the code page (CP1251) as the server's names are, shown in UTF-8.
  EXPECT_EQ(Run({"users", "add", "Жора", "7"}).out, "Жора added with 7 access and flags .\n");
  r = Run({"users", "list"});
  EXPECT_EQ(r.out, "Alice\t60\tAS\nbob\t0\t\nЖора\t7\t\n");

  // A file the bot loads: the internal commands and the users.
  TBotCommandControl db;
  ASSERT_TRUE(db.LoadFromFile(db_path));
  EXPECT_EQ(db.Commands.size(), kInternalCommands.size());
  std::int32_t access = 0;
  std::string flags;
  ASSERT_TRUE(db.GetUserRights("alice", access, flags));
  EXPECT_EQ(access, 60);
  EXPECT_EQ(flags, "AS");
  EXPECT_TRUE(db.GetUserRights("\xC6\xEE\xF0\xE0", access, flags));

  const std::string before = Bytes(db_path);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"x", "-1"},
                                             {"x", "1x"},
                                             {"x", "2147483648"},
                                             {"x", ""},
                                             {"x", "5", "A1"},
                                             {"x", "5", "?"},
                                             {"*", "5"},
                                             {"a b", "5"},
                                             {"", "5"}}) {
    std::vector<std::string> args{"users", "add"};
    args.insert(args.end(), bad.begin(), bad.end());
    r = Run(args);
    EXPECT_EQ(r.code, kExitUsage) << bad[0] << " " << bad[1];
    EXPECT_EQ(r.err.rfind("corvane: ", 0), 0u);
  }
  EXPECT_EQ(Bytes(db_path), before);

  std::ofstream(db_path, std::ios::trunc) << "not a database";
  EXPECT_EQ(Run({"users", "add", "carol", "5"}).code, kExitFailed);
  EXPECT_EQ(Run({"users", "list"}).code, kExitFailed);
  EXPECT_EQ(Bytes(db_path), "not a database") << "a file that does not load is left alone";
}

TEST_F(HeadlessCli, WritersStartedTogetherLoseNoChange) {
  Create("main");
  constexpr int kWriters = 30;
  // Each writer waits for a line of the gate, so that all start at once. (Not the end of its
  // stdin: every later writer inherits the ends of the earlier ones' pipes.)
  const fs::path gate = dir_ / "gate";
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  const int gate_fd = open(gate.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(gate_fd, 0);
  std::vector<std::unique_ptr<test::TProgram>> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.push_back(std::make_unique<test::TProgram>(
        "/bin/sh", std::vector<std::string>{"-c", "read _ <\"$0\"; exec \"$@\"", gate.string(),
                                            CORVANE_BIN, "--home", home_.string(), "users", "add",
                                            "user" + std::to_string(i), "7"}));
  }
  const std::string lines(kWriters, '\n');
  EXPECT_EQ(write(gate_fd, lines.data(), lines.size()), kWriters);
  for (auto& writer : writers) EXPECT_EQ(writer->Wait(), kExitOk) << writer->Err();
  close(gate_fd);

  TBotCommandControl db;
  ASSERT_TRUE(db.LoadFromFile(Profile("main") / "usrcmd.bin"));
  for (int i = 0; i < kWriters; ++i) {
    std::int32_t access = 0;
    std::string flags;
    EXPECT_TRUE(db.GetUserRights("user" + std::to_string(i), access, flags)) << i;
  }
}

TEST_F(HeadlessCli, UsageErrors) {
  Create("main");
  const std::string ini = Bytes(home_ / "profiles.ini");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"profile"},
           {"profile", "frob"},
           {"profile", "list", "x"},
           {"profile", "create"},
           {"profile", "create", "a", "b"},
           {"profile", "create", "a", "--from"},
           {"profile", "create", "a", "--from", "main", "--from", "main"},
           {"profile", "create", "a", "--force"},
           {"profile", "use"},
           {"profile", "use", "main", "x"},
           {"profile", "delete"},
           {"profile", "rename", "main"},
           {"profile", "rename", "a", "b", "c"},
           {"profile", "set", "main"},
           {"users"},
           {"users", "frob"},
           {"users", "list", "x"},
           {"users", "add", "a"},
           {"users", "add", "a", "1", "A", "x"}}) {
    const TRun r = Run(args);
    EXPECT_EQ(r.code, kExitUsage) << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("corvane: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
  EXPECT_FALSE(fs::exists(Profile("a")));
  EXPECT_EQ(Bytes(home_ / "profiles.ini"), ini);
}

}  // namespace
}  // namespace corvane
