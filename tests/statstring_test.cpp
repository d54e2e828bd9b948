#include "bnet/statstring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

namespace corvane {
namespace {

TParsedStatstring Parsed(const std::string& statstring, const TTextLookup& lookup = {}) {
  TParsedStatstring p;
  ParseStatstring(statstring, p, lookup);
  return p;
}

TEST(StatstringTest, ProductsIconsLevelsClansAndTables) {
  const std::string clan{'C', '\0', 'B', '\x01', '\x1f', 'A', '\x7f', '\xe9'};  // controls pad
  std::string long_clan;  // 10 KB, every other byte a control byte
  for (int i = 0; i < 5000; ++i) long_clan += {static_cast<char>(i % 32), 'b'};
  // clang-format off
  const std::pair<std::string, std::string> texts[] = {
      {Parsed("3RAW 3H3W 12 CBA").Text, "WarCraft III: Reign of Chaos (Icon: Knight, Level 12)"},
      {Parsed("PX3W 1D3W 1").Text, "WarCraft III: The Frozen Throne (Icon: Peon, Level 1)"},
      {Parsed("3RAW 2X3W 5").Text, "WarCraft III: Reign of Chaos (Icon: , Level 5)"},
      {Parsed("RATS 0 0 0").Text, "Starcraft"}, {Parsed("LTRD 5 7").Text, "Diablo (Level: 5)"},
      {Parsed("RHSD -3 2147483648").Text, "Diablo: Shareware (Level: -3)"},
      {Parsed("3RAW 3H3W 12 CBA").Clan, "ABC"},
      {Parsed("3RAW 1H3W 1 " + clan).Clan, "\xe9\x7f" "ABC"},
      {Parsed("3RAW 2O3W 7 " + long_clan).Clan, std::string(5000, 'b')}, {IconName(-1), ""},
      {ProductName(12), "Unknown"}, {ProductName(-1), "Unknown"}, {ClanRankName(5), "unknown"}};
  const std::pair<std::int64_t, std::int64_t> numbers[] = {
      {Parsed("PX3W 1D3W 1").Icon, 21}, {Parsed("3RAW 5R3W 1").Icon, 20},  // the range ends
      {Parsed("PX3W 2H3W 1").Icon, 22}, {Parsed("PX3W 6D3W 1").Icon, 51},
      {Parsed("3RAW 2X3W 5").Icon, kUnknownIcon}, {Parsed("3RAW 6H3W 5").Icon, kUnknownIcon},
      {Parsed("PX3W 3").Icon, kUnknownIcon} /* no race letter */, {Parsed("RATS 0 0 0").Icon, 54},
      {Parsed("3RAW 2O3W 7 " + long_clan).Icon, 5}, {Parsed("LTRD 5 7").DiabloValue, 7},
      {Parsed("RHSD -3 2147483648").DiabloValue, 0}, {Parsed("3RAW 1H3W 12x").Level, 0},
      {Parsed("3RAW 1H3W +12").Level, 0}, {Parsed("3RAW 1H3W -2147483648").Level, INT32_MIN},
      {IconImage(51), 52}, {IconImage(52), 0}, {IconImage(-128 + 5), 6}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(texts); ++i)
    EXPECT_EQ(texts[i].first, texts[i].second) << i;
  for (std::size_t i = 0; i < std::size(numbers); ++i) {
    EXPECT_EQ(numbers[i].first, numbers[i].second) << i;
  }
}

TEST(StatstringTest, FieldsTheStringDoesNotGiveKeepTheirValues) {
  TParsedStatstring before;
  before.Product = 9;
  before.Icon = 7;
  before.Text = "old";
  // Only the product for an empty icon word.
  for (const char* s : {"", "3raw 3H3W 12 CBA", "ABCD 1 2", "PX3W"}) {
    TParsedStatstring p = before;
    ParseStatstring(s, p);
    EXPECT_EQ(p.Product, s[0] == 'P' ? 1 : 9) << s;
    EXPECT_EQ(p.Icon, 7) << s;
    EXPECT_EQ(p.Text, "old") << s;
  }
  ParseStatstring("PX3W 7O3W 3", before);  // known race, tier out of range
  EXPECT_EQ(before.Icon, 7);
  EXPECT_EQ(before.Level, 3);
}

TEST(StatstringTest, LookupReplacesIconNames) {
  std::string seen;
  TTextLookup lookup = [&seen](const std::string& section, const std::string& key,
                               const std::string& default_text) {
    seen = section + "/" + key + "/" + default_text;
    return "<" + key + ">";
  };
  EXPECT_EQ(Parsed("PX3W 2N3W 9", lookup).Text,
            "WarCraft III: The Frozen Throne (Icon: <W3XP_Huntress>, Level 9)");
  EXPECT_EQ(seen, "LOCAL_ICONS/W3XP_Huntress/Huntress");
  EXPECT_EQ(IconName(52, lookup), "");
}

}  // namespace
}  // namespace corvane
