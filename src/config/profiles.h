#pragma once
// Profiles: one folder per configuration under `profiles`, the current one remembered in
// profiles.ini. These operations hold no widgets: each tells what a dialog must show (a
// message key, its title key and icon) instead of showing it, and asks its questions
// through a callback.

#include <functional>
#include <string>
#include <vector>

namespace corvane {

class TSettings;
class TLanguage;

enum class TMsgIcon { None, Information, Warning, Error, Question };

// A message box: text from the profile section (kProfSection), title from the dialog
// section (kOptionsSection).
struct TProfileMessage {
  std::string text_key;
  std::string title_key;
  TMsgIcon icon = TMsgIcon::None;
  std::string new_name;  // replaces "%pn" in the text
  std::string suffix;    // follows the text directly
  // A text as it stands instead of the language's (a bot elsewhere gave it).
  std::string literal;

  bool Empty() const { return text_key.empty() && literal.empty(); }
  std::string Text(const TLanguage& lang) const;
  std::string Title(const TLanguage& lang) const;
};

inline constexpr char kDefaultProfileItem[] = "[Default profile]";

class TProfiles {
 public:
  // A question to the user; true for OK or Yes.
  using TAsk = std::function<bool(const TProfileMessage& question)>;

  // `home` is the bot's folder, where profiles.ini, profiles/, lang/, icons/ and plugins/
  // lie; `shared`, where the language files and icons shipped with the program lie (none:
  // the home alone).
  explicit TProfiles(std::string home, std::string shared = {});

  const std::string& Home() const { return home_; }
  // The folders language files are read from: the home's first, then the shipped ones.
  std::vector<std::string> LangDirs() const;
  std::string ProfilesDir() const { return home_ + "/profiles"; }
  std::string ProfilesIni() const { return home_ + "/profiles.ini"; }
  std::string LangDir() const { return home_ + "/lang"; }
  std::string IconsDir() const { return home_ + "/icons"; }
  std::string PluginsDir() const { return home_ + "/plugins"; }
  // Creates lang/, profiles/ and icons/ when they are missing.
  void CreateFolders() const;

  const std::string& Current() const { return current_; }
  // profiles/N, or profiles itself (the default profile) when none is current.
  std::string ProfileFolder() const;
  std::string SettingsPath() const { return ProfileFolder() + "/profile.ini"; }
  std::string DatabasePath() const { return ProfileFolder() + "/usrcmd.bin"; }
  // profiles/N/profile.ini exists.
  bool Exists(const std::string& name) const;

  // Reads the current name from profiles.ini, clears a stale one there, and loads the
  // settings (the default profile's when none is current). True when a profile is current.
  bool LoadProfile(TSettings& settings);
  // Writes the current name and saves the settings into the profile folder; false (errno
  // telling why, `failed_path` which file) when a file could not be written.
  bool SaveProfile(const TSettings& settings, std::string* failed_path = nullptr) const;
  // True when a connection may be made; otherwise `refusal` tells why (the settings dialog
  // opens after it).
  bool CheckProfile(TProfileMessage* refusal) const;

  // Folders under profiles/ that hold a profile.ini, in listing order.
  std::vector<std::string> ListProfiles() const;

  // Makes N current and writes it to profiles.ini; the caller then loads it. False when N
  // has no profile.ini or is current already.
  bool SwitchProfile(const std::string& name);

  struct TCreateResult {
    bool created = false;  // and switched to
    std::string name;      // the cleaned name, to be shown in the name field
    TProfileMessage message;
  };
  // `parent` is a profile name or kDefaultProfileItem. While connected the user is asked
  // first; `disconnect` runs when the user agrees.
  TCreateResult CreateProfile(const std::string& typed_name, const std::string& parent,
                              bool connected, const TAsk& ask,
                              const std::function<void()>& disconnect);
  static std::string CleanProfileName(const std::string& typed_name);

  // An empty message: nothing to show (no such profile, or the user said no).
  TProfileMessage DeleteProfile(const std::string& name, const TAsk& confirm) const;
  // The refusal to show before the rename dialog opens, or an empty message.
  TProfileMessage RenameRefusal(const std::string& name) const;
  TProfileMessage RenameProfile(const std::string& name, const std::string& new_name) const;

 private:
  bool IsFolder(const std::string& name) const;
  bool WriteCurrent() const;

  std::string home_;
  std::string shared_;
  std::string current_;
};

}  // namespace corvane
