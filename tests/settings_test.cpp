#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/get_settings.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  TSettings Loaded(const std::string& text, TSettings s = {}) const {
    std::ofstream(path_, std::ios::binary) << text;
    s.Load(path_);
    return s;
  }
  static std::string Text(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
  }
  const fs::path dir_ =
      fs::temp_directory_path() / ("corvane-settings-" + std::to_string(::getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string path_ = (dir_ / kProfileFileName).string();
};

// A file with no field at its default comes back byte for byte, so a key that Load or Save
// misses shows. A missing file gives the defaults and makes nothing; only Game is checked.
TEST_F(SettingsTest, EveryFieldLoadsAndSavesInOrderAndMissingOnesGiveDefaults) {
  const std::string full =
      "[Main]\nUsername=user name\nPassword=p=ss;word \nBnetServer=server.example\n"
      "BnetPort=6113\nIsPvPgn=1\nBnlsServer=bnls.example\nBnlsPort=-1\nHomeChannel=Clan Home\n"
      "Trigger=!\nPingSpoofing=1\nAutoreconnect=1\nConnectAtStartup=1\nGame=8\nUTF8=0\n"
      "JoinNotify=1\nVisWhisper=0\n\n[Local]\nLanguige=russian.lng\n\n"
      "[Great messages]\nEnable=1\nWhisper=1\nForMyClan=1\nMsg= Hi %user \n\n"
      "[Idle messages]\nEnable=1\nInterval=15\nMsg=idle %time\n\n"
      "[Other]\nfp_enable=1\nfp_time=3\n";
  ASSERT_TRUE(Loaded(full).Save(path_ + "2"));
  EXPECT_EQ(Text(path_ + "2"), full);
  TSettings s = Loaded("[Main]\nUsername=leftover\n");
  s.Load((dir_ / "missing/profile.ini").string());
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_EQ(s.Username + s.Trigger + std::to_string(s.Game), ".7");
  for (const auto& [text, game] : {std::pair{"0", 7}, {"9", 7}, {"-3", 7}, {"1", 1}, {"8", 8}}) {
    EXPECT_EQ(Loaded(std::string("[Main]\nGame=") + text + "\n").Game, game) << text;
  }
}

TEST_F(SettingsTest, SaveKeepsUnknownKeysAndLoadAndSaveCloseTheFileToOthers) {
  const mode_t old_mask = ::umask(0);
  EXPECT_TRUE(TSettings().Save(path_));
  ::umask(old_mask);
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0600));
  TSettings s = Loaded("; kept\n[Mine]\nk=v\n[MAIN]\nExtra=kept too\n");
  // A file others may read is closed when it is read, not only when it is next written.
  ::chmod(path_.c_str(), 0644);
  s.Load(path_);
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0600));
  ::chmod(path_.c_str(), 0644);
  ASSERT_TRUE(s.Save(path_));
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0600));
  EXPECT_EQ(Text(path_).rfind("; kept\n[Mine]\nk=v\n[MAIN]\nExtra=kept too\n", 0), 0u);
}

}  // namespace
}  // namespace corvane
