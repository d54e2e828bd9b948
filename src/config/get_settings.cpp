#include "config/get_settings.h"

#include <sys/stat.h>

#include "config/ini_file.h"

namespace corvane {

namespace {

constexpr char kMain[] = "Main";
constexpr char kGreet[] = "Great messages";
constexpr char kIdle[] = "Idle messages";
constexpr char kLocal[] = "Local";
constexpr char kOther[] = "Other";

constexpr mode_t kPrivateMode = 0600;

}  // namespace

void TSettings::Load(const std::string& path) {
  const TIniFile ini(path);
  Username = ini.ReadString(kMain, "Username", "");
  Password = ini.ReadString(kMain, "Password", "");
  BnetServer = ini.ReadString(kMain, "BnetServer", kDefaultBnetServer);
  BnetPort = ini.ReadInteger(kMain, "BnetPort", kDefaultBnetPort);
  IsPvPgn = ini.ReadBool(kMain, "IsPvPgn", false);
  BnlsServer = ini.ReadString(kMain, "BnlsServer", kDefaultBnlsServer);
  BnlsPort = ini.ReadInteger(kMain, "BnlsPort", kDefaultBnlsPort);
  HomeChannel = ini.ReadString(kMain, "HomeChannel", "");
  Trigger = ini.ReadString(kMain, "Trigger", kDefaultTrigger);
  PingSpoofing = ini.ReadBool(kMain, "PingSpoofing", false);
  Autoreconnect = ini.ReadBool(kMain, "Autoreconnect", false);
  ConnectAtStartup = ini.ReadBool(kMain, "ConnectAtStartup", false);
  Game = ini.ReadInteger(kMain, "Game", kDefaultGame);
  UTF8 = ini.ReadBool(kMain, "UTF8", true);
  JoinNotify = ini.ReadBool(kMain, "JoinNotify", false);
  VisWhisper = ini.ReadBool(kMain, "VisWhisper", true);

  GreetEnable = ini.ReadBool(kGreet, "Enable", false);
  GreetWhisper = ini.ReadBool(kGreet, "Whisper", false);
  GreetForMyClan = ini.ReadBool(kGreet, "ForMyClan", false);
  GreetMsg = ini.ReadString(kGreet, "Msg", "");

  IdleEnable = ini.ReadBool(kIdle, "Enable", false);
  IdleInterval = ini.ReadInteger(kIdle, "Interval", kDefaultIdleInterval);
  IdleMsg = ini.ReadString(kIdle, "Msg", "");

  FpEnable = ini.ReadBool(kOther, "fp_enable", false);
  FpTime = ini.ReadInteger(kOther, "fp_time", kDefaultFpTime);

  if (Game < 1 || Game > 8) Game = kDefaultGame;

  Language = ini.ReadString(kLocal, "Languige", kDefaultLanguage);
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
  bool ok = ini.WriteString(kMain, "Username", Username);
  ok = ini.WriteString(kMain, "Password", Password) && ok;
  ok = ini.WriteString(kMain, "BnetServer", BnetServer) && ok;
  ok = ini.WriteInteger(kMain, "BnetPort", BnetPort) && ok;
  ok = ini.WriteBool(kMain, "IsPvPgn", IsPvPgn) && ok;
  ok = ini.WriteString(kMain, "BnlsServer", BnlsServer) && ok;
  ok = ini.WriteInteger(kMain, "BnlsPort", BnlsPort) && ok;
  ok = ini.WriteString(kMain, "HomeChannel", HomeChannel) && ok;
  ok = ini.WriteString(kMain, "Trigger", Trigger) && ok;
  ok = ini.WriteBool(kMain, "PingSpoofing", PingSpoofing) && ok;
  ok = ini.WriteBool(kMain, "Autoreconnect", Autoreconnect) && ok;
  ok = ini.WriteBool(kMain, "ConnectAtStartup", ConnectAtStartup) && ok;
  ok = ini.WriteInteger(kMain, "Game", Game) && ok;

  ok = ini.WriteString(kLocal, "Languige", Language) && ok;

  ok = ini.WriteBool(kMain, "UTF8", UTF8) && ok;
  ok = ini.WriteBool(kMain, "JoinNotify", JoinNotify) && ok;
  ok = ini.WriteBool(kMain, "VisWhisper", VisWhisper) && ok;

  ok = ini.WriteBool(kGreet, "Enable", GreetEnable) && ok;
  ok = ini.WriteBool(kGreet, "Whisper", GreetWhisper) && ok;
  ok = ini.WriteBool(kGreet, "ForMyClan", GreetForMyClan) && ok;
  ok = ini.WriteString(kGreet, "Msg", GreetMsg) && ok;

  ok = ini.WriteBool(kIdle, "Enable", IdleEnable) && ok;
  ok = ini.WriteInteger(kIdle, "Interval", IdleInterval) && ok;
  ok = ini.WriteString(kIdle, "Msg", IdleMsg) && ok;

  ok = ini.WriteBool(kOther, "fp_enable", FpEnable) && ok;
  ok = ini.WriteInteger(kOther, "fp_time", FpTime) && ok;
  return ini.EndUpdate() && ok;
}

}  // namespace corvane
