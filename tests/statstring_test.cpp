#include "bnet/statstring.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

using namespace std::string_literals;

// Product, icon, level, Diablo value and clan, parsed over fields that held other values.
std::string Parsed(const std::string& statstring, std::string* text = nullptr,
                   const TTextLookup& lookup = {}) {
  TParsedStatstring p;
  p.Product = 9, p.Icon = 7, p.Text = "old";
  ParseStatstring(statstring, p, lookup);
  if (text) *text += p.Text + "\n";
  return std::to_string(p.Product) + " " + std::to_string(p.Icon) + " " + std::to_string(p.Level) +
         " " + std::to_string(p.DiabloValue) + " " + p.Clan + "|";
}

TEST(StatstringTest, ProductsIconsLevelsClansAndTables) {
  // Unknown products and an empty icon word leave the fields alone (the first nine give their
  // text too); then the ends of the icon ranges, a known race with its tier out of range
  // (keeps the icon), levels that are no 32-bit number.
  std::string fields, texts;
  int i = 0;
  for (const char* s : {"3RAW 3H3W 12 CBA", "PX3W 1D3W 1", "3RAW 2X3W 5", "RATS 0 0 0", "LTRD 5 7",
                        "RHSD -3 2147483648", "", "3raw 3H3W 12 CBA", "PX3W", "3RAW 5R3W 1",
                        "PX3W 2H3W 1", "PX3W 6D3W 1", "3RAW 6H3W 5", "PX3W 3", "PX3W 7O3W 3",
                        "3RAW 1H3W 12x", "3RAW 1H3W -2147483648"}) {
    fields += Parsed(s, i++ < 9 ? &texts : nullptr);
  }
  // A lookup names the Warcraft III icons.
  Parsed("PX3W 2N3W 9", &texts,
         [](const std::string& section, const std::string& key, const std::string& default_text) {
           return "<" + section + "/" + key + "/" + default_text + ">";
         });
  EXPECT_EQ(fields,
            "0 2 12 0 ABC|1 21 1 0 |0 62 5 0 |4 54 0 0 |2 52 0 7 |3 53 0 0 |9 7 0 0 |9 7 0 0 |"
            "1 7 0 0 |0 20 1 0 |1 22 1 0 |1 51 1 0 |0 62 5 0 |1 62 0 0 |1 7 3 0 |0 0 0 0 |"
            "0 0 -2147483648 0 |");
  EXPECT_EQ(texts,
            "WarCraft III: Reign of Chaos (Icon: Knight, Level 12)\n"
            "WarCraft III: The Frozen Throne (Icon: Peon, Level 1)\n"
            "WarCraft III: Reign of Chaos (Icon: , Level 5)\nStarcraft\nDiablo (Level: 5)\n"
            "Diablo: Shareware (Level: -3)\nold\nold\nold\nWarCraft III: The Frozen Throne (Icon: "
            "<LOCAL_ICONS/W3XP_Huntress/Huntress>, Level 9)\n");
  // Control bytes in a clan tag are padding; a 10 KB one, every other byte a control byte.
  std::string long_clan;
  for (int j = 0; j < 5000; ++j) long_clan += {static_cast<char>(j % 32), 'b'};
  EXPECT_EQ(Parsed("3RAW 1H3W 1 C\0B\x01\x1f\x41\x7f\xe9"s) + Parsed("3RAW 2O3W 7 " + long_clan),
            "0 0 1 0 \xe9\x7f\x41\x42\x43|0 5 7 0 " + std::string(5000, 'b') + "|");
  EXPECT_EQ(IconName(-1) + ProductName(12) + ClanRankName(5) + std::to_string(IconImage(51)) +
                std::to_string(IconImage(52)) + std::to_string(IconImage(-128 + 5)),
            "Unknownunknown5206");
}

}  // namespace
}  // namespace corvane
