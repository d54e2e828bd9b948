#pragma once
// What the layers above the configuration take of the current language without the
// language store itself: a function that looks a text up, and the icon names whose texts
// the language files hold (section kIconSection).

#include <functional>
#include <string>

namespace corvane {

// Looks a text up in the current language: (section, key, English default) -> text.
// An empty lookup gives the English default.
using TTextLookup = std::function<std::string(const std::string& section, const std::string& key,
                                              const std::string& default_text)>;

inline constexpr int kIconCount = 52;  // icons 0-51 have names and images

// Language key and English name of icons 0-51 (defined with the other English texts).
struct TIconName {
  const char* key;
  const char* name;
};
extern const TIconName kIconNames[kIconCount];

}  // namespace corvane
