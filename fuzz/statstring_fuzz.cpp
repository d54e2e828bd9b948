// Fuzz target for the status-string parser in bnet/statstring.h: the input is the whole
// status string, parsed into a fresh record; the tables are then asked about its fields.

#include <cstddef>
#include <cstdint>
#include <string>

#include "bnet/statstring.h"

namespace {

void Check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string statstring(reinterpret_cast<const char*>(data), size);
  corvane::TParsedStatstring parsed;
  corvane::ParseStatstring(statstring, parsed);

  Check(parsed.Product <= 11);
  Check(parsed.Icon <= corvane::kUnknownIcon);
  for (const char c : parsed.Clan) {
    Check(static_cast<unsigned char>(c) >= 32);
  }
  Check(parsed.Clan.size() <= size);

  const std::string product = corvane::ProductName(parsed.Product);
  Check(parsed.Text.empty() || parsed.Text.compare(0, product.size(), product) == 0);

  const std::string icon = corvane::IconName(parsed.Icon);
  Check(icon.empty() == (parsed.Icon >= corvane::kIconCount));
  const int image = corvane::IconImage(parsed.Icon);
  Check(image == (parsed.Icon < corvane::kIconCount ? parsed.Icon + 1 : 0));

  // A lookup that answers with the key must reach the text in place of the English name.
  const corvane::TTextLookup by_key = [](const std::string&, const std::string& key,
                                         const std::string&) { return key; };
  corvane::TParsedStatstring localised;
  corvane::ParseStatstring(statstring, localised, by_key);
  Check(localised.Icon == parsed.Icon && localised.Level == parsed.Level &&
        localised.Clan == parsed.Clan && localised.DiabloLevel == parsed.DiabloLevel);
  if (parsed.Product <= 1 && parsed.Icon < corvane::kIconCount && !parsed.Text.empty()) {
    Check(localised.Text.find(corvane::kIconNames[parsed.Icon].key) != std::string::npos);
  }
  return 0;
}
