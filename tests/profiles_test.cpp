#include "config/profiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/get_settings.h"
#include "config/ini_file.h"
#include "config/language.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

const auto kYes = [](const TProfileMessage&) { return true; };
const auto kNo = [](const TProfileMessage&) { return false; };

class Profiles : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(home_);
    profiles.CreateFolders();
  }
  void TearDown() override { fs::remove_all(home_); }

  // A profile folder with a profile.ini whose trigger is `trigger`.
  void MakeProfile(const std::string& name, const std::string& trigger = ".") {
    TSettings s;
    s.Load("");
    s.Trigger = trigger;
    fs::create_directories(home_ / "profiles" / name);
    ASSERT_TRUE(s.Save((home_ / "profiles" / name / "profile.ini").string()));
  }
  std::string CurrentInIni() const {
    return TIniFile(profiles.ProfilesIni()).ReadString("Profiles", "CurrentProfile", "<none>");
  }

  const fs::path home_ =
      fs::temp_directory_path() / ("corvane-profiles-" + std::to_string(getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  TProfiles profiles{home_.string()};
  TSettings settings;
  TLanguage lang;  // no store: English defaults
};

TEST_F(Profiles, CreateCleansTheNameCopiesItsParentAndSwitches) {
  EXPECT_EQ(TProfiles::CleanProfileName("a*b/c\\d\"e:f<g>h|i.j? "), "a_b_c_d_e_f_g_h_i_j_");
  EXPECT_EQ(profiles.CreateProfile("   ", kDefaultProfileItem, false, kYes, {}).message.text_key,
            "profisnullerr");
  EXPECT_EQ(profiles.CreateProfile("x", "missing parent", false, kYes, {}).message.text_key,
            "patprofnotexists");
  fs::create_directories(home_ / "profiles" / "taken");  // a folder without profile.ini
  EXPECT_EQ(profiles.CreateProfile("taken", kDefaultProfileItem, false, kYes, {}).message.text_key,
            "profisexist");

  // The default profile's settings (written while no profile is current) are the parent.
  settings.Load("");
  settings.Trigger = "!";
  profiles.SaveProfile(settings);
  const auto r = profiles.CreateProfile(" my.bot ", kDefaultProfileItem, false, kYes, {});
  ASSERT_TRUE(r.created);
  EXPECT_EQ(r.name, "my_bot");
  EXPECT_EQ(r.message.Text(lang), "New profile with name \"my_bot\" was succesfully created!");
  EXPECT_EQ(profiles.Current(), "my_bot");
  EXPECT_EQ(CurrentInIni(), "my_bot");
  TSettings copy;
  copy.Load(profiles.SettingsPath());
  EXPECT_EQ(copy.Trigger, "!");
  struct stat st {};
  ASSERT_EQ(stat(profiles.SettingsPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds the password";

  // While connected the user is asked first; a no leaves nothing behind.
  bool disconnected = false;
  const auto disconnect = [&] { disconnected = true; };
  EXPECT_FALSE(profiles.CreateProfile("other", "my_bot", true, kNo, disconnect).created);
  EXPECT_FALSE(disconnected);
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "other"));
  EXPECT_TRUE(profiles.CreateProfile("other", "my_bot", true, kYes, disconnect).created);
  EXPECT_TRUE(disconnected);
  EXPECT_EQ(profiles.Current(), "other");
}

TEST_F(Profiles, ListingSwitchingAndAStaleCurrentProfile) {
  MakeProfile("alpha");
  MakeProfile("beta", "#");
  fs::create_directories(home_ / "profiles" / "not-a-profile");
  std::ofstream(home_ / "profiles" / "stray-file") << "x";
  auto names = profiles.ListProfiles();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "beta"}));
  EXPECT_FALSE(profiles.SwitchProfile("not-a-profile"));
  ASSERT_TRUE(profiles.SwitchProfile("beta"));
  EXPECT_FALSE(profiles.SwitchProfile("beta")) << "already current";
  EXPECT_TRUE(profiles.LoadProfile(settings));
  EXPECT_EQ(settings.Trigger, "#");
  TProfileMessage refusal;
  EXPECT_TRUE(profiles.CheckProfile(&refusal));

  // The current profile disappears behind the program's back.
  fs::remove_all(home_ / "profiles" / "beta");
  TProfiles restarted(home_.string());
  EXPECT_FALSE(restarted.LoadProfile(settings));
  EXPECT_EQ(restarted.Current(), "");
  EXPECT_EQ(CurrentInIni(), "") << "the stale name is cleared";
  EXPECT_EQ(settings.Trigger, ".");
  EXPECT_FALSE(restarted.CheckProfile(&refusal));
  EXPECT_EQ(refusal.text_key, "patprofnotexists2");
  EXPECT_EQ(refusal.Title(lang), "Error");
}

TEST_F(Profiles, DeleteAndRenameRefuseTheCurrentOneAndStayInsideProfiles) {
  for (const char* name : {"current", "spare", "third"}) MakeProfile(name);
  ASSERT_TRUE(profiles.SwitchProfile("current"));
  EXPECT_EQ(profiles.DeleteProfile("current", kYes).text_key, "profdelerror1");
  EXPECT_TRUE(profiles.DeleteProfile("nothing-here", kYes).Empty());
  TProfileMessage asked;
  EXPECT_TRUE(profiles.DeleteProfile("spare", [&](auto& q) { return asked = q, false; }).Empty());
  EXPECT_EQ(asked.Text(lang), "Do you realy want to delete profile: spare");
  EXPECT_TRUE(fs::exists(home_ / "profiles" / "spare"));
  EXPECT_EQ(profiles.DeleteProfile("spare", kYes).text_key, "profdelok");
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "spare"));
  // Names that lead out of profiles/ are no profile: the home and its profiles stay.
  for (const std::string outside : {"..", ".", "../profiles", "third/.."}) {
    EXPECT_TRUE(profiles.DeleteProfile(outside, kYes).Empty()) << outside;
    EXPECT_TRUE(profiles.RenameProfile(outside, "moved").Empty()) << outside;
  }
  EXPECT_TRUE(fs::exists(home_ / "profiles" / "third" / "profile.ini"));

  EXPECT_EQ(profiles.RenameRefusal("current").text_key, "profrmerror1");
  EXPECT_EQ(profiles.RenameProfile("current", "x").text_key, "profrmerror1");
  for (const std::string bad : {"", ".", "..", "../escaped", "a/b", "tab\there", "current"}) {
    EXPECT_EQ(profiles.RenameProfile("third", bad).text_key, "profrmerror2") << bad;
  }
  EXPECT_FALSE(fs::exists(home_ / "escaped"));
  EXPECT_TRUE(profiles.RenameProfile("third", "third").Empty()) << "unchanged name: nothing";
  EXPECT_EQ(profiles.RenameProfile("third", "fourth").text_key, "profrmok");
  EXPECT_TRUE(profiles.Exists("fourth"));
  EXPECT_FALSE(fs::exists(home_ / "profiles" / "third"));
}

}  // namespace
}  // namespace corvane
