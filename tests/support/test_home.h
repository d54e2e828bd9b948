#pragma once
// A bot home for the tests and the benchmarks: one current profile whose account logs on
// at the fake chat and BNLS servers on 127.0.0.1.

#include <filesystem>
#include <string>

#include "config/get_settings.h"
#include "config/ini_file.h"
#include "support/fake_bnls_server.h"
#include "support/fake_chat_server.h"

namespace corvane::test {

// Writes home/profiles/<profile>/profile.ini and makes it current; the servers are told the
// account. False when the files could not be written.
inline bool WriteTestHome(const std::filesystem::path& home, const std::string& profile,
                          TFakeChatServer& chat, const TFakeBnlsServer& bnls,
                          const std::string& username, bool connect_at_startup,
                          bool autoreconnect = false) {
  const std::string password = "Secret";
  std::filesystem::create_directories(home / "profiles" / profile);
  TSettings s;
  s.Load("");
  s.BnetServer = "127.0.0.1";
  s.BnetPort = chat.Port();
  s.BnlsServer = "127.0.0.1";
  s.BnlsPort = bnls.Port();
  s.Username = username;
  s.Password = password;
  s.ConnectAtStartup = connect_at_startup;
  s.Autoreconnect = autoreconnect;
  chat.SetAccount(username, password);
  return s.Save((home / "profiles" / profile / "profile.ini").string()) &&
         TIniFile(home / "profiles.ini").WriteString("Profiles", "CurrentProfile", profile);
}

}  // namespace corvane::test
