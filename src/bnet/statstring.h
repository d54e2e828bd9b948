#pragma once
// Users' status strings: which product a channel member runs, the icon earned, level and
// clan, and a one-line text for display; plus the tables that name products, icons and
// clan ranks.

#include <cstdint>
#include <string>

#include "config/text_lookup.h"

namespace corvane {

struct TParsedStatstring {
  std::uint8_t Product = 0;  // index into the product names
  std::uint8_t Icon = 0;     // 0-51 Warcraft III icons, 52-61 other products, 62 unknown icon
  std::int32_t Level = 0;
  std::string Clan;  // reading order
  std::int32_t DiabloLevel = 0;
  std::int32_t DiabloValue = 0;
  std::string Text;
};

inline constexpr std::uint8_t kUnknownIcon = 62;

// Fills the fields that the status string gives; the others keep their values.
void ParseStatstring(const std::string& statstring, TParsedStatstring& parsed,
                     const TTextLookup& lookup = {});
std::string ProductName(int product);
std::string IconName(int icon, const TTextLookup& lookup = {});
int IconImage(int icon);  // icons 0-51 -> icon + 1, everything else -> 0 (icon taken mod 128)
std::string ClanRankName(int rank);

// A word that arrives reversed (a product code, a clan tag) in reading order; control bytes
// are padding and left out.
std::string ReversedPrintable(const std::string& word);

}  // namespace corvane
