#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "config/get_settings.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

auto Fields(const TSettings& s) {
  return std::tie(s.Username, s.Password, s.BnetServer, s.BnetPort, s.IsPvPgn, s.BnlsServer,
                  s.BnlsPort, s.HomeChannel, s.Trigger, s.PingSpoofing, s.Autoreconnect,
                  s.ConnectAtStartup, s.Game, s.IdleEnable, s.IdleInterval, s.IdleMsg,
                  s.GreetEnable, s.GreetWhisper, s.GreetForMyClan, s.GreetMsg, s.Language, s.UTF8,
                  s.JoinNotify, s.VisWhisper, s.FpEnable, s.FpTime);
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-settings-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name = kProfileFileName) const {
    return (dir_ / name).string();
  }
  TSettings Loaded(const std::string& text) const {
    std::ofstream(Path(), std::ios::binary) << text;
    TSettings s;
    s.Load(Path());
    return s;
  }
  std::string Text(const std::string& name = kProfileFileName) const {
    std::ostringstream out;
    out << std::ifstream(Path(name), std::ios::binary).rdbuf();
    return out.str();
  }
  fs::perms Mode() const { return fs::status(Path()).permissions(); }

  fs::path dir_;
};

TEST_F(SettingsTest, MissingFileGivesTheDefaults) {
  TSettings s;
  s.Username = "leftover";
  s.Load(Path("missing/profile.ini"));
  EXPECT_FALSE(fs::exists(Path("missing")));
  // Every field, as Save writes it.
  ASSERT_TRUE(s.Save(Path()));
  EXPECT_EQ(Text(),
            "[Main]\nUsername=\nPassword=\nBnetServer=uswest.battle.net\nBnetPort=6112\nIsPvPgn=0\n"
            "BnlsServer=jbls.davnit.net\nBnlsPort=9367\nHomeChannel=\nTrigger=.\nPingSpoofing=0\n"
            "Autoreconnect=0\nConnectAtStartup=0\nGame=7\nUTF8=1\nJoinNotify=0\nVisWhisper=1\n\n"
            "[Local]\nLanguige=english.lng\n\n[Great messages]\nEnable=0\nWhisper=0\n"
            "ForMyClan=0\nMsg=\n\n[Idle messages]\nEnable=0\nInterval=1\nMsg=\n\n"
            "[Other]\nfp_enable=0\nfp_time=1\n");
}

TEST_F(SettingsTest, ValuesThatDoNotConvertGiveTheirDefaults) {
  for (const auto& [text, game] : {std::pair{"0", 7}, {"9", 7}, {"-3", 7}, {"1", 1}, {"8", 8}}) {
    EXPECT_EQ(Loaded(std::string("[Main]\nGame=") + text + "\n").Game, game) << text;
  }
  TSettings s = Loaded(
      "[main]\nusername=alice\nBNETPORT=0x17E0\nBnlsPort=letters\nUTF8=yes\n"
      "JoinNotify=yes\nVisWhisper=2\n[Idle messages]\nInterval=\n"
      "[great MESSAGES]\nmsg=" +
      std::string(3000, 'g') + "\n");
  EXPECT_EQ(s.Username, "alice");
  EXPECT_EQ(s.BnetPort, 6112);
  EXPECT_EQ(s.BnlsPort, 9367);
  EXPECT_TRUE(s.UTF8);
  EXPECT_FALSE(s.JoinNotify);
  EXPECT_TRUE(s.VisWhisper);
  EXPECT_EQ(s.IdleInterval, 1);
  EXPECT_EQ(s.GreetMsg, std::string(TIniFile::kMaxValue, 'g'));

  s = Loaded("[Main]\nUTF8=2\nBnetPort=0\nTrigger=\n[Other]\nfp_time=0\n");
  EXPECT_TRUE(s.UTF8);
  EXPECT_EQ(s.BnetPort, 0) << "nothing is checked but Game";
  EXPECT_EQ(s.Trigger, "");
  EXPECT_EQ(s.FpTime, 0);
}

TEST_F(SettingsTest, SaveWritesEveryFieldInOrderAndLoadGivesItBack) {
  // No field at its default: a key that Load or Save misses shows in the saved text.
  const std::string full =
      "[Main]\nUsername=user name\nPassword=p=ss;word \nBnetServer=server.example\n"
      "BnetPort=6113\nIsPvPgn=1\nBnlsServer=bnls.example\nBnlsPort=-1\nHomeChannel=Clan Home\n"
      "Trigger=!\nPingSpoofing=1\nAutoreconnect=1\nConnectAtStartup=1\nGame=8\nUTF8=0\n"
      "JoinNotify=1\nVisWhisper=0\n\n[Local]\nLanguige=russian.lng\n\n"
      "[Great messages]\nEnable=1\nWhisper=1\nForMyClan=1\nMsg= Hi %user \n\n"
      "[Idle messages]\nEnable=1\nInterval=15\nMsg=idle %time\n\n"
      "[Other]\nfp_enable=1\nfp_time=3\n";
  const TSettings loaded = Loaded(full);
  ASSERT_TRUE(loaded.Save(Path("saved.ini")));
  EXPECT_EQ(Text("saved.ini"), full);
  TSettings again;
  again.Load(Path("saved.ini"));
  EXPECT_EQ(Fields(again), Fields(loaded));
}

TEST_F(SettingsTest, SaveKeepsUnknownKeysAndLoadAndSaveCloseTheFileToOthers) {
  const mode_t old_mask = ::umask(0);
  const bool created = TSettings().Save(Path());
  ::umask(old_mask);
  ASSERT_TRUE(created);
  EXPECT_EQ(Mode(), fs::perms(0600));

  TSettings s = Loaded("; kept\n[MAIN]\nusername=old\nExtra=kept too\n[Mine]\nk=v\n");
  // A file others may read is closed when it is read, not only when it is next written.
  ::chmod(Path().c_str(), 0644);
  s.Load(Path());
  EXPECT_EQ(Mode(), fs::perms(0600));
  ::chmod(Path().c_str(), 0644);
  s.Username = "new";
  ASSERT_TRUE(s.Save(Path()));
  EXPECT_EQ(Mode(), fs::perms(0600));
  EXPECT_EQ(Text().rfind("; kept\n[MAIN]\nusername=new\nExtra=kept too\n", 0), 0u) << Text();
  EXPECT_NE(Text().find("[Mine]\nk=v\n"), std::string::npos) << Text();
}

}  // namespace
}  // namespace corvane
