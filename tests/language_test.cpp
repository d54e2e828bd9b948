#include "config/language.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
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

constexpr char kOptionsWnd[] = "BOT_INTERFACE_OPTIONSWND";
constexpr char kCaptionKey[] = "\321aption";  // a Cyrillic letter, not the Latin C

// english.lng holds exactly the compiled-in texts and nothing else, section by section in their
// order: a split section or a repeated key would hide later entries from every lookup.
TEST(LanguageDefaultsTest, ShippedEnglishFileHoldsExactlyTheDefaults) {
  const std::string folder = std::string(CORVANE_SOURCE_DIR) + "/lang";
  TLanguage lang;
  lang.Apply(folder, "english.lng");
  const std::vector<TLangDefault> all = AllDefaults();
  std::set<std::string> sections;
  std::set<std::pair<std::string, std::string>> keys;
  std::string current;
  for (const TLangDefault& d : all) {
    EXPECT_EQ(lang.LangText(d.section, d.key, "\x01missing"), d.text) << d.section << " " << d.key;
    if (LowerCase(d.section) != current) {
      EXPECT_TRUE(sections.insert(current = LowerCase(d.section)).second) << d.section;
    }
    EXPECT_TRUE(keys.insert({current, LowerCase(d.key)}).second) << d.section << " " << d.key;
  }
  const TIniFile file(folder + "/english.lng");
  std::size_t in_file = 0;
  for (const std::string& section : file.ReadSections()) {
    if (section != "main") in_file += file.ReadKeys(section).size();
  }
  EXPECT_EQ(in_file, all.size());
}

// The %-words of a text with a mark for a blank at either end; "%enter" may run into the next word.
std::multiset<std::string> Shape(const std::string& text) {
  std::multiset<std::string> words{text.starts_with(' ') ? "<blank" : "",
                                   text.ends_with(' ') ? "blank>" : ""};
  for (std::size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1)) {
    std::size_t end = p + 1;
    while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])) != 0) ++end;
    if (text.compare(p, 6, kLangLineBreak) == 0) end = p + 6;
    words.insert(text.substr(p, end - p));
  }
  return words;
}

// russian.lng has english.lng's sections and keys in their order, and each text keeps the
// placeholders, line breaks and edge blanks the code relies on.
TEST(LanguageFilesTest, RussianFileMatchesTheEnglishOneKeyForKey) {
  const std::string folder = std::string(CORVANE_SOURCE_DIR) + "/lang";
  const TIniFile english(folder + "/english.lng");
  const TIniFile russian(folder + "/russian.lng");
  ASSERT_EQ(russian.ReadSections(), english.ReadSections());
  for (const std::string& section : english.ReadSections()) {
    EXPECT_EQ(russian.ReadKeys(section), english.ReadKeys(section)) << section;
    for (const std::string& key : english.ReadKeys(section)) {
      const std::string text = english.ReadString(section, key, "");
      const std::string translated = russian.ReadString(section, key, "");
      EXPECT_EQ(Shape(translated), Shape(text)) << section << " " << key;
      EXPECT_EQ(translated.empty(), text.empty()) << section << " " << key;
    }
  }
  TLanguage lang;
  lang.Apply(folder, "russian.lng");
  // The file's own name for the language is read in code page 1251, not as UTF-8.
  EXPECT_EQ(lang.CurrentLanguageDisplay(), "Russian (\xD0\xF3\xF1\xF1\xEA\xE8\xE9)");
  EXPECT_NE(lang.Text("BOT_INTERFACE_MAINWINDOW", "Connect"), "Connect");
  EXPECT_NE(lang.Text("BOT_INTERFACE_MAINWINDOW", "Connect"), "");
}

class LanguageFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::create_directories(root_)); }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const std::string& f, const std::string& text) { std::ofstream(root_ / f) << text; }
  const fs::path root_ =
      fs::temp_directory_path() / ("corvane-lang-" + std::to_string(::getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string folder_ = root_.string();
};

TEST_F(LanguageFolderTest, FileTextsIgnoreCaseAndTurnEnterMarksIntoLineBreaks) {
  TLanguage lang;
  const TTextLookup lookup = lang.Lookup();
  // Without a file every text is its default.
  EXPECT_EQ(lang.Text("BNET_CLAN_INVITE", "1") + IconName(1, lookup), kIconNames[1].name);
  Write("de.lng",
        "[bnet_events]\r\n13=first%enter second\r\n[bot_interface_mainwindow]\r\n"
        "CONNECT=Ver%enterbinden\r\n[BOT_INTERFACE_OPTIONSWND]\r\n\xD1"
        "aption=Einstellungen\r\n[local_icons]\r\nwar3_peon=Bauer\r\n");
  lang.Apply(folder_, "de.lng");
  // Defaults go through the same replacement. The captions of the main window are read as
  // they stand.
  EXPECT_EQ(lang.Text("Bnet_Events", "13"), "first\r\n second");
  EXPECT_EQ(lang.LangText("BNET_EVENTS", "99", "a%enterb"), "a\r\nb");
  EXPECT_EQ(lang.Raw("BOT_INTERFACE_MAINWINDOW", "Connect", "x"), "Ver%enterbinden");
  EXPECT_EQ(lang.Text(kOptionsWnd, kCaptionKey), "Einstellungen");
  EXPECT_EQ(lang.Text(kOptionsWnd, "Caption"), "");
  EXPECT_EQ(lang.Text("BOT_INTERFACE_MAINWINDOW", "Disconnect"), "Disconnect");
  EXPECT_EQ(IconName(0, lookup), "Bauer") << "the lookup follows the store";
  lang.Apply(folder_, "absent.lng");  // gives the defaults again
  EXPECT_EQ(IconName(0, lookup) + lang.CurrentLanguageDisplay(),
            std::string(kIconNames[0].name) + " ()");
}

TEST_F(LanguageFolderTest, ListingTakesRegularLngFilesAndTheLastOfEqualDisplays) {
  Write("ru.lng", "[main]\r\nLanguige=Russian\r\nLanguigeLocal=\xD0\xF3\xF1\r\n");
  Write("bare.lng", "[other]\r\nkey=value\r\n");
  for (const char* name : {"notes.txt", "upper.LNG", "ru.lng.bak"}) Write(name, "[main]\r\n");
  fs::create_directory(root_ / "x.lng");
  std::set<std::string> listed;
  for (const TLangEntry& e : ListLanguages(folder_)) listed.insert(e.file_name + "|" + e.display);
  EXPECT_EQ(listed, (std::set<std::string>{"bare.lng| ()", "ru.lng|Russian (\xD0\xF3\xF1)"}));
  EXPECT_TRUE(ListLanguages(folder_ + "/missing").empty());

  const std::string same = "[main]\r\nLanguige=Deutsch\r\nLanguigeLocal=German\r\n";
  for (const char* name : {"a.lng", "b.lng", "c.lng"}) Write(name, same);
  Write("e.lng", "[main]\r\nLanguige=Deutsch\r\nLanguigeLocal=German \r\n");
  std::string last;
  for (const TLangEntry& e : ListLanguages(folder_)) {
    if (e.display == "Deutsch (German)") last = e.file_name;
  }
  EXPECT_EQ(FileForDisplay(folder_, "Deutsch (German)"), last);
  EXPECT_EQ(FileForDisplay(folder_, "Deutsch (German )"), "e.lng");
}

}  // namespace
}  // namespace corvane
