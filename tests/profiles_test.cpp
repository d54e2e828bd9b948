#include "config/profiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "config/get_settings.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

const auto kYes = [](const TProfileMessage&) { return true; };
const auto kNo = [](const TProfileMessage&) { return false; };

class Profiles : public ::testing::Test {
 protected:
  void SetUp() override { profiles.CreateFolders(); }
  void TearDown() override { fs::remove_all(home_); }
  // A profile folder with a profile.ini whose trigger is its name.
  void MakeProfile(const std::string& name) {
    settings.Trigger = name;
    fs::create_directories(home_ / "profiles" / name);
    ASSERT_TRUE(settings.Save((home_ / "profiles" / name / "profile.ini").string()));
  }
  // The current name as the program holds it and as profiles.ini stores it.
  std::string Current(const TProfiles& p) const {
    return p.Current() + "|" +
           TIniFile(p.ProfilesIni()).ReadString("Profiles", "CurrentProfile", "<none>");
  }

  const fs::path home_ =
      fs::temp_directory_path() / ("corvane-profiles-" + std::to_string(getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  TProfiles profiles{home_.string()};
  TSettings settings;
};

TEST_F(Profiles, CreateCleansTheNameCopiesItsParentAndSwitches) {
  EXPECT_EQ(TProfiles::CleanProfileName("a*b/c\\d\"e:f<g>h|i.j? "), "a_b_c_d_e_f_g_h_i_j_");
  fs::create_directories(home_ / "profiles" / "taken");  // a folder without profile.ini
  const auto refusal = [&](const char* name, const char* parent = kDefaultProfileItem) {
    return profiles.CreateProfile(name, parent, false, kYes, {}).message.text_key + " ";
  };
  EXPECT_EQ(refusal("   ") + refusal("x", "missing parent") + refusal("taken"),
            "profisnullerr patprofnotexists profisexist ");
  // The default profile's settings (written while no profile is current) are the parent.
  settings.Trigger = "!";
  profiles.SaveProfile(settings);
  const auto r = profiles.CreateProfile(" my.bot ", kDefaultProfileItem, false, kYes, {});
  EXPECT_EQ(r.name + " " + Current(profiles), "my_bot my_bot|my_bot");
  EXPECT_EQ(TIniFile(profiles.SettingsPath()).ReadString("Main", "Trigger", ""), "!");
  EXPECT_EQ(fs::status(profiles.SettingsPath()).permissions(), fs::perms(0600)) << "a password";
  // While connected the user is asked first; a no leaves nothing behind.
  int disconnects = 0;
  const auto disconnect = [&] { ++disconnects; };
  EXPECT_FALSE(profiles.CreateProfile("other", "my_bot", true, kNo, disconnect).created);
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "other"));
  EXPECT_TRUE(profiles.CreateProfile("other", "my_bot", true, kYes, disconnect).created);
  EXPECT_EQ(std::to_string(disconnects) + Current(profiles), "1other|other");
}

// Listing, switching, deleting and renaming; names that lead out of profiles/ are no profile;
// a current profile removed behind the program's back is forgotten.
TEST_F(Profiles, OperationsRefuseTheCurrentOneAndStayInsideProfiles) {
  for (const char* name : {"current", "spare", "third"}) MakeProfile(name);
  fs::create_directories(home_ / "profiles" / "not-a-profile");
  std::ofstream(home_ / "profiles" / "stray-file") << "x";
  ASSERT_TRUE(profiles.SwitchProfile("current"));
  EXPECT_TRUE(profiles.LoadProfile(settings) && settings.Trigger == "current");
  const auto del = [&](const std::string& name, const TProfiles::TAsk& ask) {
    return profiles.DeleteProfile(name, ask).text_key + "|";
  };
  EXPECT_EQ(del("current", kYes) + del("nothing-here", kYes) + del("spare", kNo) +
                del("spare", kYes) + profiles.RenameRefusal("current").text_key + "|" +
                profiles.RenameProfile("third", "current").text_key,
            "profdelerror1|||profdelok|profrmerror1|profrmerror2");
  for (const std::string bad : {"", ".", "..", "../profiles", "third/..", "../x", "a/b", "t\tb"}) {
    EXPECT_TRUE(profiles.DeleteProfile(bad, kYes).Empty()) << bad;
    EXPECT_TRUE(profiles.RenameProfile(bad, "x").Empty()) << bad;
    EXPECT_EQ(profiles.RenameProfile("third", bad).text_key, "profrmerror2") << bad;
  }
  EXPECT_EQ(profiles.RenameProfile("third", "fourth").text_key, "profrmok");
  // Only folders holding a profile.ini are listed; nothing outside was touched.
  const auto names = profiles.ListProfiles();
  EXPECT_EQ(std::multiset<std::string>(names.begin(), names.end()),
            (std::multiset<std::string>{"current", "fourth"}));

  fs::remove_all(home_ / "profiles" / "current");
  TProfiles restarted(home_.string());
  TProfileMessage refusal;
  EXPECT_FALSE(restarted.LoadProfile(settings) || restarted.CheckProfile(&refusal));
  EXPECT_EQ(Current(restarted) + refusal.text_key + settings.Trigger, "|patprofnotexists2.");
}

}  // namespace
}  // namespace corvane
