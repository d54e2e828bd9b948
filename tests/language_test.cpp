#include "config/language.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bnet/statstring.h"
#include "config/Operations.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Cases = std::vector<std::pair<std::string, std::string>>;

constexpr char kOptionsWnd[] = "BOT_INTERFACE_OPTIONSWND";
constexpr char kCaptionKey[] =
    "\xD1"
    "aption";  // starts with a Cyrillic letter, not the Latin C

void ExpectAll(const Cases& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

std::string Default(const std::string& section, const std::string& key) {
  const char* text = DefaultText(section, key);
  return text != nullptr ? text : "<none>";
}

TEST(LanguageDefaultsTest, SectionsAreRunsKeysAreUniqueAndLookupIsExact) {
  // english.lng is written section by section in this order, and a repeated key would hide
  // the later entry from every lookup.
  std::set<std::string> sections;
  std::set<std::pair<std::string, std::string>> keys;
  std::string current;
  for (const TLangDefault& d : AllDefaults()) {
    const std::string section = LowerCase(d.section);
    if (section != current) {
      EXPECT_TRUE(sections.insert(section).second) << "section " << d.section << " split";
      current = section;
    }
    EXPECT_TRUE(keys.insert({section, LowerCase(d.key)}).second) << d.section << " " << d.key;
  }
  // "0" and "01" are different keys; a key of one section is not found under another;
  // codes whose text carries a number take the caller's text.
  // clang-format off
  ExpectAll({{Default("bot_interface_mainwindow", "CONNECT"), "Connect"},
             {Default(kOptionsWnd, kCaptionKey), "Settings"},
             {Default(kOptionsWnd, "Caption"), "<none>"},
             {Default("BOT_INTERFACE_OPTIONSWND_ADDUSER", "01"), "Edit user"},
             {Default("BOT_INTERFACE_OPTIONSWND_ADDUSER", "0"), "Add user"},
             {Default("BOT_INTERFACE_OPTIONSWND_PROF", "okmsg"), "<none>"},
             {Default("BNET_ERRORS", "2000"), "<none>"},
             {Default("local_icons", "war3_peon"), kIconNames[0].name}});
  // clang-format on
}

TEST(LanguageDefaultsTest, ShippedEnglishFileHoldsExactlyTheDefaults) {
  const std::string folder = std::string(CORVANE_SOURCE_DIR) + "/lang";
  TLanguage lang;
  lang.Apply(folder, "english.lng");
  const std::vector<TLangDefault> all = AllDefaults();
  ASSERT_EQ(all.size(), kLangDefaultCount + kIconCount);
  for (const TLangDefault& d : all) {
    EXPECT_EQ(lang.LangText(d.section, d.key, "\x01missing"), d.text) << d.section << " " << d.key;
  }
  EXPECT_EQ(lang.CurrentLanguageDisplay(), "English (English)");
  // Nothing in the file that the program does not know.
  const TIniFile file(folder + "/english.lng");
  std::size_t keys = 0;
  for (const std::string& section : file.ReadSections()) {
    if (section == "main") continue;
    for (const std::string& key : file.ReadKeys(section)) {
      EXPECT_NE(DefaultText(section, key), nullptr) << section << " " << key;
      ++keys;
    }
  }
  EXPECT_EQ(keys, all.size());
}

class LanguageFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::create_directories(root_)); }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const std::string& name, const std::string& content) {
    std::ofstream(root_ / name, std::ios::binary) << content;
  }
  const fs::path root_ =
      fs::temp_directory_path() / ("corvane-lang-" + std::to_string(::getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string folder_ = root_.string();
};

TEST_F(LanguageFolderTest, FileTextsIgnoreCaseAndTurnEnterMarksIntoLineBreaks) {
  TLanguage lang;
  EXPECT_FALSE(lang.Loaded());
  const TTextLookup lookup = lang.Lookup();
  // Without a file every text is its default.
  ExpectAll({{lang.Text("BNET_CLAN_INVITE", "cimsg"), "%1 invite you to clan %2"},
             {lang.Text("BNET_CLAN_INVITE", "1"), ""},
             {lang.Raw("BNET_ERRORS", "2000", "Connect error! (3)"), "Connect error! (3)"},
             {lang.CurrentLanguageDisplay(), " ()"},
             {IconName(1, lookup), kIconNames[1].name}});
  Write("de.lng",
        "[bnet_events]\r\n13=first%enter second\r\n14=%enter%enter\r\n"
        "[bot_interface_mainwindow]\r\nCONNECT=Ver%enterbinden\r\n"
        "[BOT_INTERFACE_OPTIONSWND]\r\n\xD1"
        "aption=Einstellungen\r\n[local_icons]\r\nwar3_peon=Bauer\r\n");
  lang.Apply(folder_, "de.lng");
  // Defaults go through the same replacement; a compiled-in \r\n stays as it is. The
  // captions of the main window are read as they stand.
  // clang-format off
  ExpectAll({{lang.Text("BNET_EVENTS", "13"), "first\r\n second"},
             {lang.Text("Bnet_Events", "14"), "\r\n\r\n"},
             {lang.LangText("BNET_EVENTS", "99", "a%enterb"), "a\r\nb"},
             {lang.Text("BOT_INTERFACE_OPTIONSWND_PROF", "crprofcoution"),
              "After create new profile you win be disconnected.\r\nProceed?"},
             {lang.Raw("BOT_INTERFACE_MAINWINDOW", "Connect", "x"), "Ver%enterbinden"},
             {lang.Text(kOptionsWnd, kCaptionKey), "Einstellungen"},
             {lang.Text(kOptionsWnd, "Caption"), ""},
             {lang.Text("BOT_INTERFACE_MAINWINDOW", "Disconnect"), "Disconnect"},
             {IconName(0, lookup), "Bauer"} /* the lookup follows the store */});
  // clang-format on
  // A file that does not exist gives the defaults again.
  lang.Apply(folder_, "absent.lng");
  EXPECT_TRUE(lang.Loaded());
  EXPECT_EQ(IconName(0, lookup), kIconNames[0].name);
  EXPECT_EQ(lang.CurrentLanguageDisplay(), " ()");
}

TEST_F(LanguageFolderTest, ListingTakesRegularLngFilesAndTheLastOfEqualDisplays) {
  Write("ru.lng", "[main]\r\nLanguige=Russian\r\nLanguigeLocal=\xD0\xF3\xF1\r\n");
  Write("bare.lng", "[other]\r\nkey=value\r\n");
  for (const char* name : {"notes.txt", "upper.LNG", "ru.lng.bak"}) {
    Write(name, "[main]\r\nLanguige=Notes\r\n");
  }
  fs::create_directory(root_ / "x.lng");
  std::vector<TLangEntry> entries = ListLanguages(folder_);
  std::sort(entries.begin(), entries.end(),
            [](const TLangEntry& a, const TLangEntry& b) { return a.file_name < b.file_name; });
  ASSERT_EQ(entries.size(), 2u);
  ExpectAll({{entries[0].file_name + "|" + entries[0].display, "bare.lng| ()"},
             {entries[1].file_name + "|" + entries[1].display, "ru.lng|Russian (\xD0\xF3\xF1)"},
             {FileForDisplay(folder_, "russian (\xD0\xF3\xF1)"), ""} /* case counts */,
             {FileForDisplay(folder_, "Notes ()"), ""},
             {FileForDisplay(folder_ + "/missing", " ()"), ""}});
  EXPECT_TRUE(ListLanguages(folder_ + "/missing").empty());

  const std::string same = "[main]\r\nLanguige=Deutsch\r\nLanguigeLocal=German\r\n";
  for (const char* name : {"a.lng", "b.lng", "c.lng"}) Write(name, same);
  Write("e.lng", "[main]\r\nLanguige=Deutsch\r\nLanguigeLocal=German \r\n");
  std::string last;
  for (const TLangEntry& entry : ListLanguages(folder_)) {
    if (entry.display == "Deutsch (German)") last = entry.file_name;
  }
  EXPECT_EQ(FileForDisplay(folder_, "Deutsch (German)"), last);
  EXPECT_EQ(FileForDisplay(folder_, "Deutsch (German )"), "e.lng");
}

}  // namespace
}  // namespace corvane
