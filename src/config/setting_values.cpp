#include "config/setting_values.h"

#include <algorithm>
#include <climits>
#include <span>

#include "config/Operations.h"
#include "config/ini_file.h"

namespace corvane {
namespace {

std::string NumberError(const TSettingField& field, const std::string& shown) {
  std::string error = "'" + BlankControls(shown) + "' is not a whole number";
  if (field.min != INT32_MIN || field.max != INT32_MAX) {
    error += " from " + std::to_string(field.min) + " to " + std::to_string(field.max);
  }
  return error + " for " + SettingName(field);
}

// The spellings of a switch; TSettings::Save writes it as 1 or 0.
bool ParseFlag(const std::string& word, bool& value) {
  const std::string w = LowerCase(word);
  if (w == "1" || w == "true" || w == "yes" || w == "on") {
    value = true;
  } else if (w == "0" || w == "false" || w == "no" || w == "off") {
    value = false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

void TSettingValue::ApplyTo(TSettings& settings) const {
  if (field->text != nullptr) {
    settings.*field->text = text;
  } else if (field->number != nullptr) {
    settings.*field->number = number;
  } else {
    settings.*field->flag = flag;
  }
}

std::string SettingName(const TSettingField& field) {
  return std::string(field.section) + "." + field.key;
}

const TSettingField* FindSetting(const std::string& name, std::string& error) {
  // Section names hold blanks but no dot, so the last dot ends the section.
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
    error = "'" + BlankControls(name) + "' is not Section.Key";
    return nullptr;
  }
  const std::string section = name.substr(0, dot);
  const std::string key = name.substr(dot + 1);
  const std::span<const TSettingField> fields = SettingFields();
  const auto in_section = [&](const TSettingField& f) { return EqualsNoCase(f.section, section); };
  if (std::none_of(fields.begin(), fields.end(), in_section)) {
    std::string known;
    for (const TSettingField& f : fields) {
      const std::string quoted = "'" + std::string(f.section) + "'";
      if (known.find(quoted) == std::string::npos) known += (known.empty() ? "" : ", ") + quoted;
    }
    error = "unknown section '" + BlankControls(section) + "' (sections: " + known + ")";
    return nullptr;
  }
  const auto match = std::find_if(fields.begin(), fields.end(), [&](const TSettingField& f) {
    return in_section(f) && EqualsNoCase(f.key, key);
  });
  if (match == fields.end()) {
    std::string known;
    for (const TSettingField& f : fields) {
      if (in_section(f)) known += (known.empty() ? "" : ", ") + std::string(f.key);
    }
    error = "unknown key '" + BlankControls(key) + "' in section '" + BlankControls(section) +
            "' (keys: " + known + ")";
    return nullptr;
  }
  return &*match;
}

std::optional<TSettingValue> SettingText(const TSettingField& field, const std::string& text,
                                         std::string& error) {
  // A line break would end the line in profile.ini, and a longer value reads back cut.
  if (text.find_first_of("\r\n") != std::string::npos) {
    error = SettingName(field) + " must be a single line";
    return std::nullopt;
  }
  if (text.size() > TIniFile::kMaxValue) {
    error =
        SettingName(field) + " is longer than " + std::to_string(TIniFile::kMaxValue) + " bytes";
    return std::nullopt;
  }
  return TSettingValue{&field, text, 0, false};
}

std::optional<TSettingValue> SettingNumber(const TSettingField& field, std::int64_t number,
                                           std::string& error) {
  if (number < field.min || number > field.max) {
    error = NumberError(field, std::to_string(number));
    return std::nullopt;
  }
  return TSettingValue{&field, {}, static_cast<std::int32_t>(number), false};
}

TSettingValue SettingFlag(const TSettingField& field, bool flag) {
  return TSettingValue{&field, {}, 0, flag};
}

std::optional<TSettingValue> ParseSettingValue(const TSettingField& field, const std::string& typed,
                                               std::string& error) {
  if (field.text != nullptr) return SettingText(field, typed, error);
  if (field.number != nullptr) {
    std::int32_t number = 0;
    if (!ParseInt32(typed, number)) {
      error = NumberError(field, typed);
      return std::nullopt;
    }
    std::optional<TSettingValue> value = SettingNumber(field, number, error);
    if (!value) error = NumberError(field, typed);
    return value;
  }
  bool flag = false;
  if (!ParseFlag(typed, flag)) {
    error = "'" + BlankControls(typed) + "' is no switch value for " + SettingName(field) +
            " (1, 0, true, false, yes, no, on or off)";
    return std::nullopt;
  }
  return SettingFlag(field, flag);
}

}  // namespace corvane
