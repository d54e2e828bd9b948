#include "config/language.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bnet/statstring.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

constexpr char kOptionsWnd[] = "BOT_INTERFACE_OPTIONSWND";
constexpr char kCaptionKey[] =
    "\xD1"
    "aption";

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(c < 0x80 ? std::tolower(c) : c); });
  return s;
}

TEST(LanguageDefaultsTest, EachSectionIsOneRunAndEachKeyIsUnique) {
  // english.lng is written section by section in this order, and a repeated key would hide
  // the later entry from every lookup.
  std::set<std::string> sections;
  std::set<std::pair<std::string, std::string>> keys;
  std::string current;
  for (const TLangDefault& d : AllDefaults()) {
    const std::string section = Lower(d.section);
    if (section != current) {
      EXPECT_TRUE(sections.insert(section).second) << "section " << d.section << " split";
      current = section;
    }
    EXPECT_TRUE(keys.insert({section, Lower(d.key)}).second) << d.section << " " << d.key;
  }
}

TEST(LanguageDefaultsTest, DefaultTextLookup) {
  EXPECT_STREQ(DefaultText("bot_interface_mainwindow", "CONNECT"), "Connect");
  // The caption key starts with a Cyrillic letter, not the Latin C.
  EXPECT_STREQ(DefaultText(kOptionsWnd, kCaptionKey), "Settings");
  EXPECT_EQ(DefaultText(kOptionsWnd, "Caption"), nullptr);
  // "0" and "01" are different keys.
  EXPECT_STREQ(DefaultText("BOT_INTERFACE_OPTIONSWND_ADDUSER", "01"), "Edit user");
  EXPECT_STREQ(DefaultText("BOT_INTERFACE_OPTIONSWND_ADDUSER", "0"), "Add user");
  // A key of one section is not found under another.
  EXPECT_EQ(DefaultText("BOT_INTERFACE_OPTIONSWND_PROF", "okmsg"), nullptr);
  // Codes whose text carries a number take the caller's text.
  EXPECT_EQ(DefaultText("BNET_ERRORS", "2000"), nullptr);
  EXPECT_STREQ(DefaultText("local_icons", "war3_peon"), kIconNames[0].name);
}

TEST(LanguageDefaultsTest, ShippedEnglishFileHoldsExactlyTheDefaults) {
  const std::string folder = std::string(CORVANE_SOURCE_DIR) + "/lang";
  ASSERT_TRUE(fs::is_regular_file(folder + "/english.lng"));
  TLanguage lang;
  lang.Apply(folder, "english.lng");

  const std::string missing = "\x01missing";
  const std::vector<TLangDefault> all = AllDefaults();
  ASSERT_EQ(all.size(), kLangDefaultCount + kIconCount);
  for (const TLangDefault& d : all) {
    EXPECT_EQ(lang.LangText(d.section, d.key, missing), d.text) << d.section << " " << d.key;
    EXPECT_EQ(lang.Text(d.section, d.key), d.text) << d.section << " " << d.key;
  }
  EXPECT_EQ(lang.Raw("BOT_INTERFACE_OPTIONSWND_PROF", "choseprofile", missing),
            "After choose profile you win be disconnected.%enterProceed?");
  EXPECT_EQ(lang.CurrentLanguageDisplay(), "English (English)");
  EXPECT_EQ(lang.LangText("main", "EMail", missing), "");

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
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() /
            ("corvane-lang-" + std::to_string(::getpid()) + "-" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(root_));
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream(root_ / name, std::ios::binary) << content;
  }

  std::string Folder() const { return root_.string(); }

  fs::path root_;
};

TEST_F(LanguageFolderTest, EnterMarksBecomeLineBreaks) {
  Write("t.lng",
        "[BNET_EVENTS]\r\n13=first%enter second\r\n14=%enter%enter\r\n"
        "[BOT_INTERFACE_MAINWINDOW]\r\nConnect=Con%enternect\r\n");
  TLanguage lang;
  lang.Apply(Folder(), "t.lng");
  EXPECT_EQ(lang.Text("BNET_EVENTS", "13"), "first\r\n second");
  EXPECT_EQ(lang.Text("BNET_EVENTS", "14"), "\r\n\r\n");
  // Defaults go through the same replacement; a compiled-in \r\n stays as it is.
  EXPECT_EQ(lang.LangText("BNET_EVENTS", "99", "a%enterb"), "a\r\nb");
  EXPECT_EQ(lang.Text("BOT_INTERFACE_OPTIONSWND_PROF", "crprofcoution"),
            "After create new profile you win be disconnected.\r\nProceed?");
  // The captions of the main window are read as they stand.
  EXPECT_EQ(lang.Raw("BOT_INTERFACE_MAINWINDOW", "Connect", "x"), "Con%enternect");
}

TEST_F(LanguageFolderTest, SectionsAndKeysIgnoreCase) {
  Write("de.lng",
        "[bot_interface_mainwindow]\r\nCONNECT=Verbinden\r\n"
        "[BOT_INTERFACE_OPTIONSWND]\r\n\xD1"
        "aption=Einstellungen\r\n"
        "[local_icons]\r\nwar3_peon=Bauer\r\n");
  TLanguage lang;
  lang.Apply(Folder(), "de.lng");
  EXPECT_EQ(lang.Raw("BOT_INTERFACE_MAINWINDOW", "Connect", "Connect"), "Verbinden");
  EXPECT_EQ(lang.Text("Bot_Interface_MainWindow", "connect"), "Verbinden");
  EXPECT_EQ(lang.Text(kOptionsWnd, kCaptionKey), "Einstellungen");
  EXPECT_EQ(lang.Text(kOptionsWnd, "Caption"), "");
  EXPECT_EQ(lang.Text("BOT_INTERFACE_MAINWINDOW", "Disconnect"), "Disconnect");
  EXPECT_EQ(IconName(0, lang.Lookup()), "Bauer");
}

TEST_F(LanguageFolderTest, WithoutAFileEveryTextIsItsDefault) {
  TLanguage lang;
  EXPECT_FALSE(lang.Loaded());
  EXPECT_EQ(lang.Text("BNET_CLAN_INVITE", "cimsg"), "%1 invite you to clan %2");
  EXPECT_EQ(lang.Text("BNET_CLAN_INVITE", "1"), "");
  EXPECT_EQ(lang.Raw("BNET_ERRORS", "2000", "Connect error! (3)"), "Connect error! (3)");
  EXPECT_EQ(lang.CurrentLanguageDisplay(), " ()");
  EXPECT_EQ(IconName(1, lang.Lookup()), kIconNames[1].name);

  Write("fr.lng", "[LOCAL_ICONS]\r\nWAR3_FOOTMAN=Fantassin\r\n");
  lang.Apply(Folder(), "fr.lng");
  const TTextLookup lookup = lang.Lookup();
  EXPECT_EQ(IconName(1, lookup), "Fantassin");

  // The lookup follows the store; a file that does not exist gives the defaults again.
  lang.Apply(Folder(), "absent.lng");
  EXPECT_TRUE(lang.Loaded());
  EXPECT_EQ(lang.FileName(), "absent.lng");
  EXPECT_EQ(IconName(1, lookup), kIconNames[1].name);
  EXPECT_EQ(lang.Text("BNET_EVENTS", "10"), "Joined to channel ");
  EXPECT_EQ(lang.CurrentLanguageDisplay(), " ()");
}

TEST_F(LanguageFolderTest, ListingTakesRegularLngFilesOnly) {
  Write("ru.lng", "[main]\r\nLanguige=Russian\r\nLanguigeLocal=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n");
  Write("bare.lng", "[other]\r\nkey=value\r\n");
  Write("notes.txt", "[main]\r\nLanguige=Notes\r\n");
  Write("upper.LNG", "[main]\r\nLanguige=Upper\r\n");
  Write("ru.lng.bak", "[main]\r\nLanguige=Backup\r\n");
  fs::create_directory(root_ / "x.lng");

  std::vector<TLangEntry> entries = ListLanguages(Folder());
  std::sort(entries.begin(), entries.end(),
            [](const TLangEntry& a, const TLangEntry& b) { return a.file_name < b.file_name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].file_name, "bare.lng");
  EXPECT_EQ(entries[0].display, " ()");
  EXPECT_EQ(entries[1].file_name, "ru.lng");
  EXPECT_EQ(entries[1].display, "Russian (\xD0\xF3\xF1\xF1\xEA\xE8\xE9)");

  EXPECT_EQ(FileForDisplay(Folder(), " ()"), "bare.lng");
  EXPECT_EQ(FileForDisplay(Folder(), "russian (\xD0\xF3\xF1\xF1\xEA\xE8\xE9)"), "");  // case counts
  EXPECT_EQ(FileForDisplay(Folder(), "Notes ()"), "");
  EXPECT_TRUE(ListLanguages(Folder() + "/missing").empty());
  EXPECT_EQ(FileForDisplay(Folder() + "/missing", " ()"), "");
}

TEST_F(LanguageFolderTest, EqualDisplaysPickTheLastListedFile) {
  const std::string same = "[main]\r\nLanguige=Deutsch\r\nLanguigeLocal=German\r\n";
  for (const char* name : {"a.lng", "b.lng", "c.lng", "d.lng"}) Write(name, same);
  Write("e.lng", "[main]\r\nLanguige=Deutsch\r\nLanguigeLocal=German \r\n");

  const std::vector<TLangEntry> entries = ListLanguages(Folder());
  ASSERT_EQ(entries.size(), 5u);
  std::string last;
  for (const TLangEntry& entry : entries) {
    if (entry.display == "Deutsch (German)") last = entry.file_name;
  }
  EXPECT_EQ(FileForDisplay(Folder(), "Deutsch (German)"), last);
  EXPECT_EQ(FileForDisplay(Folder(), "Deutsch (German )"), "e.lng");

  TLanguage lang;
  lang.Apply(Folder(), last);
  EXPECT_EQ(lang.CurrentLanguageDisplay(), "Deutsch (German)");
}

}  // namespace
}  // namespace corvane
