#pragma once
// Values for the keys of profile.ini that come from outside the settings dialog (the
// command line, the control socket), checked alike wherever they come from: the key by its
// "Section.Key" name, letter case aside; a text on one line that profile.ini keeps whole; a
// number within the key's range; a switch.

#include <cstdint>
#include <optional>
#include <string>

#include "config/get_settings.h"

namespace corvane {

// One checked value and the key it is for; only the member of the key's kind counts.
struct TSettingValue {
  const TSettingField* field = nullptr;
  std::string text;
  std::int32_t number = 0;
  bool flag = false;

  void ApplyTo(TSettings& settings) const;
  bool operator==(const TSettingValue&) const = default;
};

// "Section.Key" as profile.ini spells it.
std::string SettingName(const TSettingField& field);

// The key that `name` ("Section.Key") stands for; nullptr when none, `error` telling why
// and which sections or keys there are.
const TSettingField* FindSetting(const std::string& name, std::string& error);

// The value for `field`, which must be of that kind; nothing when it is out of bounds,
// `error` telling why.
std::optional<TSettingValue> SettingText(const TSettingField& field, const std::string& text,
                                         std::string& error);
std::optional<TSettingValue> SettingNumber(const TSettingField& field, std::int64_t number,
                                           std::string& error);
TSettingValue SettingFlag(const TSettingField& field, bool flag);

// The value as the command line spells it, read by the key's kind: "6112", "on".
std::optional<TSettingValue> ParseSettingValue(const TSettingField& field, const std::string& typed,
                                               std::string& error);

}  // namespace corvane
