#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/get_settings.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  TSettings Loaded(const std::string& text) const {
    std::ofstream(path_, std::ios::binary) << text;
    TSettings s;
    s.Load(path_);
    return s;
  }
  static std::string Text(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
  }
  fs::perms Mode() const { return fs::status(path_).permissions(); }
  const fs::path dir_ =
      fs::temp_directory_path() / ("corvane-settings-" + std::to_string(::getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string path_ = (dir_ / kProfileFileName).string();
};

// Every field, as Save writes it: first the defaults that a missing file gives, then a file
// with no field at its default, where a key that Load or Save misses would show.
TEST_F(SettingsTest, SaveWritesEveryFieldInOrderAsLoadReadIt) {
  TSettings s;
  s.Username = "leftover";
  s.Load((dir_ / "missing/profile.ini").string());
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  ASSERT_TRUE(s.Save(path_));
  EXPECT_EQ(Text(path_),
            "[Main]\nUsername=\nPassword=\nBnetServer=uswest.battle.net\nBnetPort=6112\nIsPvPgn=0\n"
            "BnlsServer=jbls.davnit.net\nBnlsPort=9367\nHomeChannel=\nTrigger=.\nPingSpoofing=0\n"
            "Autoreconnect=0\nConnectAtStartup=0\nGame=7\nUTF8=1\nJoinNotify=0\nVisWhisper=1\n\n"
            "[Local]\nLanguige=english.lng\n\n[Great messages]\nEnable=0\nWhisper=0\n"
            "ForMyClan=0\nMsg=\n\n[Idle messages]\nEnable=0\nInterval=1\nMsg=\n\n"
            "[Other]\nfp_enable=0\nfp_time=1\n");
  const std::string full =
      "[Main]\nUsername=user name\nPassword=p=ss;word \nBnetServer=server.example\n"
      "BnetPort=6113\nIsPvPgn=1\nBnlsServer=bnls.example\nBnlsPort=-1\nHomeChannel=Clan Home\n"
      "Trigger=!\nPingSpoofing=1\nAutoreconnect=1\nConnectAtStartup=1\nGame=8\nUTF8=0\n"
      "JoinNotify=1\nVisWhisper=0\n\n[Local]\nLanguige=russian.lng\n\n"
      "[Great messages]\nEnable=1\nWhisper=1\nForMyClan=1\nMsg= Hi %user \n\n"
      "[Idle messages]\nEnable=1\nInterval=15\nMsg=idle %time\n\n"
      "[Other]\nfp_enable=1\nfp_time=3\n";
  const std::string saved = (dir_ / "saved.ini").string();
  ASSERT_TRUE(Loaded(full).Save(saved));
  EXPECT_EQ(Text(saved), full);
}

TEST_F(SettingsTest, ValuesThatDoNotConvertGiveTheirDefaultsAndOnlyGameIsChecked) {
  for (const auto& [text, game] : {std::pair{"0", 7}, {"9", 7}, {"-3", 7}, {"1", 1}, {"8", 8}}) {
    EXPECT_EQ(Loaded(std::string("[Main]\nGame=") + text + "\n").Game, game) << text;
  }
  TSettings s = Loaded(
      "[main]\nusername=alice\nBnlsPort=letters\nJoinNotify=yes\n"
      "[Idle messages]\nInterval=\n[great MESSAGES]\nmsg=" +
      std::string(3000, 'g') + "\n");
  EXPECT_EQ(s.Username, "alice");
  EXPECT_EQ(s.BnlsPort, 9367);
  EXPECT_FALSE(s.JoinNotify);
  EXPECT_EQ(s.IdleInterval, 1);
  EXPECT_EQ(s.GreetMsg, std::string(TIniFile::kMaxValue, 'g'));
  s = Loaded("[Main]\nBnetPort=0\nTrigger=\n[Other]\nfp_time=0\n");
  EXPECT_EQ(s.BnetPort, 0);
  EXPECT_EQ(s.FpTime, 0);
  EXPECT_EQ(s.Trigger, "");
}

TEST_F(SettingsTest, SaveKeepsUnknownKeysAndLoadAndSaveCloseTheFileToOthers) {
  const mode_t old_mask = ::umask(0);
  const bool created = TSettings().Save(path_);
  ::umask(old_mask);
  ASSERT_TRUE(created);
  EXPECT_EQ(Mode(), fs::perms(0600));
  TSettings s = Loaded("; kept\n[MAIN]\nusername=old\nExtra=kept too\n[Mine]\nk=v\n");
  // A file others may read is closed when it is read, not only when it is next written.
  ::chmod(path_.c_str(), 0644);
  s.Load(path_);
  EXPECT_EQ(Mode(), fs::perms(0600));
  ::chmod(path_.c_str(), 0644);
  s.Username = "new";
  ASSERT_TRUE(s.Save(path_));
  EXPECT_EQ(Mode(), fs::perms(0600));
  EXPECT_EQ(Text(path_).rfind("; kept\n[MAIN]\nusername=new\nExtra=kept too\n", 0), 0u);
  EXPECT_NE(Text(path_).find("[Mine]\nk=v\n"), std::string::npos) << Text(path_);
}

}  // namespace
}  // namespace corvane
