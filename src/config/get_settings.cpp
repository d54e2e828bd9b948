#include "config/get_settings.h"

#include <sys/stat.h>

#include <cstdint>

#include "config/ini_file.h"

namespace corvane {

namespace {

constexpr char kMain[] = "Main";
constexpr char kGreet[] = "Great messages";
constexpr char kIdle[] = "Idle messages";
constexpr char kLocal[] = "Local";
constexpr char kOther[] = "Other";

constexpr mode_t kPrivateMode = 0600;

constexpr std::int32_t kMinInt = INT32_MIN;
constexpr std::int32_t kMaxInt = INT32_MAX;

constexpr TSettingField Text(const char* section, const char* key, std::string TSettings::*field,
                             const char* default_value) {
  return {section, key, field, nullptr, nullptr, default_value, 0, kMinInt, kMaxInt};
}

constexpr TSettingField Number(const char* section, const char* key, std::int32_t TSettings::*field,
                               std::int32_t default_value, std::int32_t min = kMinInt,
                               std::int32_t max = kMaxInt) {
  return {section, key, nullptr, field, nullptr, "", default_value, min, max};
}

constexpr TSettingField Flag(const char* section, const char* key, bool TSettings::*field,
                             bool default_value) {
  return {section, key, nullptr, nullptr, field, "", default_value ? 1 : 0, 0, 1};
}

constexpr TSettingField kFields[] = {
    Text(kMain, "Username", &TSettings::Username, ""),
    Text(kMain, "Password", &TSettings::Password, ""),
    Text(kMain, "BnetServer", &TSettings::BnetServer, kDefaultBnetServer),
    Number(kMain, "BnetPort", &TSettings::BnetPort, kDefaultBnetPort),
    Flag(kMain, "IsPvPgn", &TSettings::IsPvPgn, false),
    Text(kMain, "BnlsServer", &TSettings::BnlsServer, kDefaultBnlsServer),
    Number(kMain, "BnlsPort", &TSettings::BnlsPort, kDefaultBnlsPort),
    Text(kMain, "HomeChannel", &TSettings::HomeChannel, ""),
    Text(kMain, "Trigger", &TSettings::Trigger, kDefaultTrigger),
    Flag(kMain, "PingSpoofing", &TSettings::PingSpoofing, false),
    Flag(kMain, "Autoreconnect", &TSettings::Autoreconnect, false),
    Flag(kMain, "ConnectAtStartup", &TSettings::ConnectAtStartup, false),
    // The products BNLS knows.
    Number(kMain, "Game", &TSettings::Game, kDefaultGame, 1, 8),

    Text(kLocal, "Languige", &TSettings::Language, kDefaultLanguage),

    Flag(kMain, "UTF8", &TSettings::UTF8, true),
    Flag(kMain, "JoinNotify", &TSettings::JoinNotify, false),
    Flag(kMain, "VisWhisper", &TSettings::VisWhisper, true),

    Flag(kGreet, "Enable", &TSettings::GreetEnable, false),
    Flag(kGreet, "Whisper", &TSettings::GreetWhisper, false),
    Flag(kGreet, "ForMyClan", &TSettings::GreetForMyClan, false),
    Text(kGreet, "Msg", &TSettings::GreetMsg, ""),

    Flag(kIdle, "Enable", &TSettings::IdleEnable, false),
    Number(kIdle, "Interval", &TSettings::IdleInterval, kDefaultIdleInterval),
    Text(kIdle, "Msg", &TSettings::IdleMsg, ""),

    Flag(kOther, "fp_enable", &TSettings::FpEnable, false),
    Number(kOther, "fp_time", &TSettings::FpTime, kDefaultFpTime),
};

}  // namespace

std::span<const TSettingField> SettingFields() {
  return kFields;
}

void TSettings::Load(const std::string& path) {
  // The file holds the password: one that others may read is closed as soon as it is seen,
  // not only when the bot next writes it.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) {
    ::chmod(path.c_str(), kPrivateMode);
  }
  const TIniFile ini(path);
  for (const TSettingField& f : kFields) {
    if (f.text != nullptr) {
      this->*f.text = ini.ReadString(f.section, f.key, f.text_default);
    } else if (f.number != nullptr) {
      const std::int32_t value = ini.ReadInteger(f.section, f.key, f.number_default);
      this->*f.number = value < f.min || value > f.max ? f.number_default : value;
    } else {
      this->*f.flag = ini.ReadBool(f.section, f.key, f.number_default != 0);
    }
  }
}

bool TSettings::Save(const std::string& path) const {
  // The file holds the password: an existing one that others may read is closed first.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0 &&
      ::chmod(path.c_str(), kPrivateMode) != 0) {
    return false;
  }

  TIniFile ini(path);
  ini.SetCreateMode(kPrivateMode);
  ini.BeginUpdate();
  bool ok = true;
  for (const TSettingField& f : kFields) {
    if (f.text != nullptr) {
      ok = ini.WriteString(f.section, f.key, this->*f.text) && ok;
    } else if (f.number != nullptr) {
      ok = ini.WriteInteger(f.section, f.key, this->*f.number) && ok;
    } else {
      ok = ini.WriteBool(f.section, f.key, this->*f.flag) && ok;
    }
  }
  return ini.EndUpdate() && ok;
}

}  // namespace corvane
