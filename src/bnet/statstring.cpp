#include "bnet/statstring.h"

#include <charconv>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

#include "config/Operations.h"
#include "config/language_sections.h"

namespace corvane {

namespace {

constexpr std::uint8_t kReignOfChaos = 0;
constexpr std::uint8_t kFrozenThrone = 1;
constexpr std::uint8_t kDiablo = 2;
constexpr std::uint8_t kDiabloShareware = 3;

// First word of a status string: the product's code as it arrives, reversed.
struct TProductCode {
  std::string_view code;
  std::uint8_t product;
  std::uint8_t icon;  // unused for the Warcraft III rows, whose icon comes from the icon word
};

constexpr TProductCode kProductCodes[] = {
    {"3RAW", kReignOfChaos, kUnknownIcon},
    {"PX3W", kFrozenThrone, kUnknownIcon},
    {"LTRD", kDiablo, 52},
    {"RHSD", kDiabloShareware, 53},
    {"RATS", 4, 54},
    {"PXES", 5, 55},
    {"RTSJ", 6, 56},
    {"NB2W", 7, 58},
    {"RHSS", 8, 57},
    {"TAHC", 9, 59},
    {"PX2D", 10, 61},
    {"VD2D", 11, 60},
};

constexpr const char* kProductNames[] = {
    "WarCraft III: Reign of Chaos",
    "WarCraft III: The Frozen Throne",
    "Diablo",
    "Diablo: Shareware",
    "Starcraft",
    "Starcraft: Brood War",
    "Starcraft: Japanese",
    "Warcraft II: Battle.net Edition",
    "Starcraft: Shareware",
    "Chat bot",
    "Diablo II: Lord of Destruction",
    "Diablo II",
};
constexpr int kProductCount = static_cast<int>(std::size(kProductNames));

constexpr const char* kClanRankNames[] = {
    "peon (<1 week)", "peon (>1 week)", "grunt", "shaman", "leader",
};
constexpr int kClanRankCount = static_cast<int>(std::size(kClanRankNames));

// Race letters in the order of their icon ranges.
constexpr std::string_view kReignRaces = "HOUNR";
constexpr std::string_view kThroneRaces = "HOUNRD";

// The whole word as a decimal number that fits in 32 bits (a leading '-' allowed), else 0.
std::int32_t ToInt(const std::string& word) {
  std::int32_t value = 0;
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value);
  if (ec != std::errc() || ptr != end) {
    return 0;
  }
  return value;
}

// Icon of a Reign of Chaos icon word: tier 1 is 0, tiers 2-5 take four numbers per race.
std::uint8_t ReignIcon(char tier, char race) {
  if (tier == '1') {
    return 0;
  }
  const std::size_t r = kReignRaces.find(race);
  if (r == std::string_view::npos || tier < '2' || tier > '5') {
    return kUnknownIcon;
  }
  return static_cast<std::uint8_t>(1 + 4 * r + static_cast<std::size_t>(tier - '2'));
}

// Icon of a Frozen Throne icon word: tier 1 is 21, tiers 2-6 take five numbers per race. A
// known race with any other tier keeps `current`.
std::uint8_t ThroneIcon(char tier, char race, std::uint8_t current) {
  if (tier == '1') {
    return 21;
  }
  const std::size_t r = kThroneRaces.find(race);
  if (r == std::string_view::npos) {
    return kUnknownIcon;
  }
  if (tier < '2' || tier > '6') {
    return current;
  }
  return static_cast<std::uint8_t>(22 + 5 * r + static_cast<std::size_t>(tier - '2'));
}

void MakeText(TParsedStatstring& parsed, const TTextLookup& lookup) {
  std::string text = ProductName(parsed.Product);
  if (parsed.Product == kReignOfChaos || parsed.Product == kFrozenThrone) {
    text += " (Icon: " + IconName(parsed.Icon, lookup) + ", Level " + std::to_string(parsed.Level) +
            ")";
  } else if (parsed.Product == kDiablo || parsed.Product == kDiabloShareware) {
    text += " (Level: " + std::to_string(parsed.DiabloLevel) + ")";
  }
  parsed.Text = std::move(text);
}

}  // namespace

void ParseStatstring(const std::string& statstring, TParsedStatstring& parsed,
                     const TTextLookup& lookup) {
  if (statstring.empty()) {
    return;
  }
  const std::string code = QuotedWord(statstring, 1);
  const TProductCode* row = nullptr;
  for (const TProductCode& candidate : kProductCodes) {
    if (candidate.code == code) {
      row = &candidate;
      break;
    }
  }
  if (row == nullptr) {
    return;
  }
  parsed.Product = row->product;

  if (row->product == kReignOfChaos || row->product == kFrozenThrone) {
    const std::string icon_word = QuotedWord(statstring, 2);
    if (icon_word.empty()) {
      return;
    }
    const char tier = icon_word[0];
    const char race = icon_word.size() > 1 ? icon_word[1] : '\0';  // no race letter
    if (row->product == kReignOfChaos) {
      parsed.Icon = ReignIcon(tier, race);
    } else {
      parsed.Icon = ThroneIcon(tier, race, parsed.Icon);
    }
    parsed.Level = ToInt(QuotedWord(statstring, 3));
    parsed.Clan = ReversedPrintable(QuotedWord(statstring, 4));
  } else {
    parsed.Icon = row->icon;
    if (row->product == kDiablo || row->product == kDiabloShareware) {
      parsed.DiabloLevel = ToInt(QuotedWord(statstring, 2));
      parsed.DiabloValue = ToInt(QuotedWord(statstring, 3));
    }
  }
  MakeText(parsed, lookup);
}

std::string ProductName(int product) {
  if (product < 0 || product >= kProductCount) {
    return "Unknown";
  }
  return kProductNames[product];
}

std::string IconName(int icon, const TTextLookup& lookup) {
  if (icon < 0 || icon >= kIconCount) {
    return std::string();
  }
  const TIconName& entry = kIconNames[icon];
  if (!lookup) {
    return entry.name;
  }
  return lookup(kIconSection, entry.key, entry.name);
}

int IconImage(int icon) {
  const int index = ((icon % 128) + 128) % 128;
  return index < kIconCount ? index + 1 : 0;
}

std::string ReversedPrintable(const std::string& word) {
  std::string code;
  code.reserve(word.size());
  for (auto it = word.rbegin(); it != word.rend(); ++it) {
    if (static_cast<unsigned char>(*it) >= 32) {
      code.push_back(*it);
    }
  }
  return code;
}

std::string ClanRankName(int rank) {
  if (rank < 0 || rank >= kClanRankCount) {
    return "unknown";
  }
  return kClanRankNames[rank];
}

}  // namespace corvane
