#pragma once
// The settings of one profile, kept in its profile.ini, and the names of the program-wide
// profiles.ini.

#include <cstdint>
#include <span>
#include <string>

namespace corvane {

// profile.ini holds the account password as plain text: it is made readable by its owner
// only.
inline constexpr char kProfileFileName[] = "profile.ini";
inline constexpr char kProfilesFileName[] = "profiles.ini";

// profiles.ini.
inline constexpr char kProfilesSection[] = "Profiles";
inline constexpr char kCurrentProfileKey[] = "CurrentProfile";
inline constexpr char kShutdownSection[] = "Shutdown";
inline constexpr char kKillKey[] = "Kill";
inline constexpr char kUiSection[] = "Ui";
inline constexpr char kUiLeftKey[] = "Left";
inline constexpr char kUiTopKey[] = "Top";
inline constexpr char kUiWidthKey[] = "Width";
inline constexpr char kUiHeightKey[] = "Height";

// Values of the keys missing from a profile.ini.
inline constexpr char kDefaultBnetServer[] = "uswest.battle.net";
inline constexpr std::int32_t kDefaultBnetPort = 6112;
inline constexpr char kDefaultBnlsServer[] = "jbls.davnit.net";
inline constexpr std::int32_t kDefaultBnlsPort = 9367;
inline constexpr char kDefaultTrigger[] = ".";
inline constexpr std::int32_t kDefaultGame = 7;  // Warcraft III
inline constexpr std::int32_t kDefaultIdleInterval = 1;
inline constexpr char kDefaultLanguage[] = "english.lng";
inline constexpr std::int32_t kDefaultFpTime = 1;

class TSettings {
 public:
  // Reads every field from the profile.ini at `path`; a missing file or key gives the
  // default. A Game outside 1..8 becomes 7.
  void Load(const std::string& path);
  // Writes every field into the file at `path` in one replacement, keeping the keys it
  // does not know; false (errno telling why) when the file could not be written.
  bool Save(const std::string& path) const;

  // [Main]
  std::string Username;
  std::string Password;
  std::string BnetServer;
  std::int32_t BnetPort = 0;
  bool IsPvPgn = false;
  std::string BnlsServer;
  std::int32_t BnlsPort = 0;
  std::string HomeChannel;
  std::string Trigger;
  bool PingSpoofing = false;
  bool Autoreconnect = false;
  bool ConnectAtStartup = false;
  std::int32_t Game = 0;  // BNLS product id: 7 WAR3, 8 W3XP
  // [Idle messages]
  bool IdleEnable = false;
  std::int32_t IdleInterval = 0;  // minutes
  std::string IdleMsg;
  // [Great messages]
  bool GreetEnable = false;
  bool GreetWhisper = false;
  bool GreetForMyClan = false;
  std::string GreetMsg;
  // [Local]
  std::string Language;  // file name of the language file, no folder
  // [Main]
  bool UTF8 = false;
  bool JoinNotify = false;
  bool VisWhisper = false;
  // [Other]
  bool FpEnable = false;
  std::int32_t FpTime = 0;  // seconds
};

// One key of profile.ini and the field of TSettings that holds it. Exactly one of the three
// member pointers is set; a missing key, or a number outside [min, max], gives the default.
struct TSettingField {
  const char* section;  // spelled as stored
  const char* key;      // spelled as stored
  std::string TSettings::*text;
  std::int32_t TSettings::*number;
  bool TSettings::*flag;
  const char* text_default;
  std::int32_t number_default;  // a flag's default is 0 or 1
  std::int32_t min;
  std::int32_t max;
};

// Every key that TSettings reads and writes, in the order Save writes them.
std::span<const TSettingField> SettingFields();

}  // namespace corvane
