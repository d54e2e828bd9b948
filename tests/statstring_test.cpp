#include "bnet/statstring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace corvane {
namespace {

TParsedStatstring Parsed(const std::string& statstring, const TTextLookup& lookup = {}) {
  TParsedStatstring p;
  ParseStatstring(statstring, p, lookup);
  return p;
}

TEST(StatstringTest, WarcraftThreeStrings) {
  TParsedStatstring p = Parsed("3RAW 3H3W 12 CBA");  // the text shows product, icon and level
  EXPECT_EQ(p.Clan, "ABC");
  EXPECT_EQ(p.Text, "WarCraft III: Reign of Chaos (Icon: Knight, Level 12)");

  p = Parsed("PX3W 1D3W 1");
  EXPECT_EQ(p.Text, "WarCraft III: The Frozen Throne (Icon: Peon, Level 1)");
  EXPECT_EQ(p.Icon, 21);
  EXPECT_EQ(p.Clan, "");
  // Range ends of each product.
  EXPECT_EQ(Parsed("3RAW 5R3W 1").Icon, 20);
  EXPECT_EQ(Parsed("PX3W 2H3W 1").Icon, 22);
  EXPECT_EQ(Parsed("PX3W 6D3W 1").Icon, 51);

  p = Parsed("3RAW 2X3W 5");
  EXPECT_EQ(p.Icon, kUnknownIcon);
  EXPECT_EQ(p.Text, "WarCraft III: Reign of Chaos (Icon: , Level 5)");
  EXPECT_EQ(Parsed("3RAW 6H3W 5").Icon, kUnknownIcon);
  EXPECT_EQ(Parsed("PX3W 3").Icon, kUnknownIcon);  // no race letter
}

TEST(StatstringTest, OtherProducts) {
  TParsedStatstring p = Parsed("RATS 0 0 0");
  EXPECT_EQ(p.Icon, 54);
  EXPECT_EQ(p.Text, "Starcraft");

  p = Parsed("LTRD 5 7");
  EXPECT_EQ(p.DiabloValue, 7);
  EXPECT_EQ(p.Text, "Diablo (Level: 5)");

  p = Parsed("RHSD -3 2147483648");
  EXPECT_EQ(p.DiabloValue, 0);
  EXPECT_EQ(p.Text, "Diablo: Shareware (Level: -3)");
}

TEST(StatstringTest, FieldsTheStringDoesNotGiveKeepTheirValues) {
  TParsedStatstring before;
  before.Product = 9;
  before.Icon = 7;
  before.Text = "old";
  for (const char* s : {"", "3raw 3H3W 12 CBA", "ABCD 1 2"}) {
    TParsedStatstring p = before;
    ParseStatstring(s, p);
    EXPECT_EQ(p.Product, 9) << s;
    EXPECT_EQ(p.Text, "old") << s;
  }
  TParsedStatstring p = before;
  ParseStatstring("PX3W", p);  // empty icon word: only the product is set
  EXPECT_EQ(p.Product, 1);
  EXPECT_EQ(p.Icon, 7);
  EXPECT_EQ(p.Text, "old");

  p = before;
  ParseStatstring("PX3W 7O3W 3", p);  // known race, tier out of range
  EXPECT_EQ(p.Icon, 7);
  EXPECT_EQ(p.Level, 3);
}

TEST(StatstringTest, BadNumbersAndClanBytes) {
  EXPECT_EQ(Parsed("3RAW 1H3W 12x").Level, 0);
  EXPECT_EQ(Parsed("3RAW 1H3W +12").Level, 0);
  EXPECT_EQ(Parsed("3RAW 1H3W -2147483648").Level, INT32_MIN);

  const std::string clan{'C', '\0', 'B', '\x01', '\x1f', 'A', '\x7f', '\xe9'};
  EXPECT_EQ(Parsed("3RAW 1H3W 1 " + clan).Clan, std::string({'\xe9', '\x7f', 'A', 'B', 'C'}));

  std::string long_clan;  // 10 KB, every other byte a control byte
  for (int i = 0; i < 5000; ++i) {
    long_clan += {static_cast<char>(i % 32), 'b'};
  }
  const TParsedStatstring p = Parsed("3RAW 2O3W 7 " + long_clan);
  EXPECT_EQ(p.Icon, 5);
  EXPECT_EQ(p.Clan, std::string(5000, 'b'));
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
  EXPECT_EQ(IconName(-1), "");
}

TEST(StatstringTest, TablesOutOfRange) {
  EXPECT_EQ(IconImage(51), 52);
  EXPECT_EQ(IconImage(52), 0);
  EXPECT_EQ(IconImage(kUnknownIcon), 0);
  EXPECT_EQ(IconImage(128 + 5), 6);
  EXPECT_EQ(IconImage(-128 + 5), 6);
  EXPECT_EQ(ProductName(12), "Unknown");
  EXPECT_EQ(ProductName(-1), "Unknown");
  EXPECT_EQ(ClanRankName(4), "leader");
  EXPECT_EQ(ClanRankName(5), "unknown");
}

}  // namespace
}  // namespace corvane
