// Where a bot's home and the shipped files are: given, from the environment, beside a
// program in its build folder, or under the user's data folder for an installed program;
// and the language files read from the home first, then from the shipped folder.

#include "config/home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/language.h"
#include "config/profiles.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

void SetEnv(const char* name, const char* value) {
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

TEST(Home, GivenEnvironmentBuildFolderAndInstalled) {
  const fs::path root = fs::temp_directory_path() / ("corvane-home-" + std::to_string(getpid()));
  const std::string prefix = (root / "usr").string();
  fs::create_directories(root / "usr/bin");
  fs::create_directories(root / "usr/share/corvane");
  fs::create_directories(root / "build");
  fs::create_directories(root / "portable/bin");
  const std::string bin = prefix + "/bin", build = (root / "build").string();
  struct TCase {
    const char* given;
    const char* corvane_home;
    const char* xdg;
    std::string folder;
    std::string home, shared;
    bool per_user;
  } cases[] = {
      {"/given", "/env", "/xdg", bin, "/given", prefix + "/share/corvane", false},
      {"", "/env", "/xdg", bin, "/env", prefix + "/share/corvane", false},
      {"", nullptr, "/xdg", build, build, build, false},
      {"", nullptr, "/xdg", bin, "/xdg/corvane", prefix + "/share/corvane", true},
      {"", nullptr, nullptr, bin, "/home/u/.local/share/corvane", prefix + "/share/corvane", true},
      {"", nullptr, "relative", bin, "/home/u/.local/share/corvane", prefix + "/share/corvane",
       true},
      // A "bin" folder without the shared files beside it is a portable folder.
      {"", nullptr, "/xdg", (root / "portable/bin").string(), "", "", false},
  };
  SetEnv("HOME", "/home/u");
  for (const TCase& c : cases) {
    SetEnv("CORVANE_HOME", c.corvane_home);
    SetEnv("XDG_DATA_HOME", c.xdg);
    const THomePaths paths = ResolveHome(c.given, c.folder);
    const std::string home = c.home.empty() ? c.folder : c.home;
    const std::string shared = c.shared.empty() ? c.folder : c.shared;
    EXPECT_EQ(paths.home, home) << c.folder;
    EXPECT_EQ(paths.shared, shared) << c.folder;
    EXPECT_EQ(paths.per_user, c.per_user) << c.folder;
  }
  unsetenv("CORVANE_HOME");
  unsetenv("XDG_DATA_HOME");

  // The per-user home is made on first start, private to the user.
  const std::string made = (root / "data/corvane").string();
  std::string error;
  ASSERT_TRUE(EnsureHome(made, error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(made.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(EnsureHome(made, error)) << "an existing home is fine";
  fs::remove_all(root);
}

TEST(Home, LanguagesFromTheHomeFirstThenTheShippedOnes) {
  const fs::path root = fs::temp_directory_path() / ("corvane-lhome-" + std::to_string(getpid()));
  const auto write = [](const fs::path& file, const char* name) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[main]\nLanguige=" << name << "\nLanguigeLocal=" << name << "\n";
  };
  write(root / "home/lang/english.lng", "Mine");
  write(root / "shared/lang/english.lng", "Shipped");
  write(root / "shared/lang/russian.lng", "Russian");
  const TProfiles profiles((root / "home").string(), (root / "shared").string());
  const std::vector<std::string> dirs = profiles.LangDirs();
  ASSERT_EQ(dirs.size(), 2u);
  std::vector<std::string> listed;
  for (const TLangEntry& e : ListLanguages(dirs)) listed.push_back(e.file_name + " " + e.display);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed,
            (std::vector<std::string>{"english.lng Mine (Mine)", "russian.lng Russian (Russian)"}));
  EXPECT_EQ(FileForDisplay(dirs, "Russian (Russian)"), "russian.lng");
  EXPECT_EQ(FileForDisplay(dirs, "Shipped (Shipped)"), "") << "hidden by the home's own";
  EXPECT_EQ(LanguageFolder(dirs, "russian.lng"), (root / "shared/lang").string());
  EXPECT_EQ(LanguageFolder(dirs, "english.lng"), (root / "home/lang").string());
  // A home that is the shipped folder (a build folder) reads it once.
  EXPECT_EQ(TProfiles((root / "home").string(), (root / "home").string()).LangDirs().size(), 1u);
  fs::remove_all(root);
}

}  // namespace
}  // namespace corvane
