#include "config/profiles.h"

#include <filesystem>
#include <system_error>

#include "config/Operations.h"
#include "config/get_settings.h"
#include "config/ini_file.h"
#include "config/language.h"

namespace corvane {
namespace fs = std::filesystem;

namespace {

TProfileMessage Message(const char* text_key, const char* title_key, TMsgIcon icon) {
  TProfileMessage m;
  m.text_key = text_key;
  m.title_key = title_key;
  m.icon = icon;
  return m;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

std::string TProfileMessage::Text(const TLanguage& lang) const {
  if (!literal.empty()) return literal;
  std::string text = lang.Text(kProfSection, text_key);
  if (!new_name.empty()) ReplaceAll(text, "%pn", new_name);
  return text + suffix;
}

std::string TProfileMessage::Title(const TLanguage& lang) const {
  return lang.Text(kOptionsSection, title_key);
}

TProfiles::TProfiles(std::string home, std::string shared)
    : home_(std::move(home)), shared_(std::move(shared)) {}

std::vector<std::string> TProfiles::LangDirs() const {
  std::vector<std::string> dirs{LangDir()};
  std::error_code ec;
  const std::string shipped = shared_ + "/lang";
  if (!shared_.empty() && !std::filesystem::equivalent(shipped, LangDir(), ec)) {
    dirs.push_back(shipped);
  }
  return dirs;
}

void TProfiles::CreateFolders() const {
  std::error_code ec;
  for (const std::string& dir : {LangDir(), ProfilesDir(), IconsDir()}) {
    fs::create_directories(dir, ec);
  }
}

std::string TProfiles::ProfileFolder() const {
  return current_.empty() ? ProfilesDir() : ProfilesDir() + "/" + current_;
}

bool TProfiles::Exists(const std::string& name) const {
  return !name.empty() && FileExists(ProfilesDir() + "/" + name + "/profile.ini");
}

bool TProfiles::IsFolder(const std::string& name) const {
  // A profile is a folder directly under profiles/: "..", "." or a path would reach
  // outside it (deleting ".." would delete the whole home).
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    return false;
  }
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(ProfilesDir() + "/" + name, ec));
}

bool TProfiles::WriteCurrent() const {
  return TIniFile(ProfilesIni()).WriteString(kProfilesSection, kCurrentProfileKey, current_);
}

bool TProfiles::LoadProfile(TSettings& settings) {
  current_ = TIniFile(ProfilesIni()).ReadString(kProfilesSection, kCurrentProfileKey, "");
  if (!FileExists(SettingsPath())) {
    // A stale name (its folder or profile.ini gone) is forgotten quietly.
    current_.clear();
    WriteCurrent();
  }
  settings = TSettings();
  settings.Load(SettingsPath());
  return !current_.empty();
}

bool TProfiles::SaveProfile(const TSettings& settings, std::string* failed_path) const {
  if (!WriteCurrent()) {
    if (failed_path != nullptr) *failed_path = ProfilesIni();
    return false;
  }
  if (!settings.Save(SettingsPath())) {
    if (failed_path != nullptr) *failed_path = SettingsPath();
    return false;
  }
  return true;
}

bool TProfiles::CheckProfile(TProfileMessage* refusal) const {
  if (!current_.empty() && FileExists(SettingsPath())) return true;
  if (refusal != nullptr) *refusal = Message("patprofnotexists2", "err", TMsgIcon::None);
  return false;
}

std::vector<std::string> TProfiles::ListProfiles() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(ProfilesDir(), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_directory(type_ec)) continue;
    const std::string name = it->path().filename().string();
    if (Exists(name)) names.push_back(name);
  }
  return names;
}

bool TProfiles::SwitchProfile(const std::string& name) {
  if (!Exists(name) || name == current_) return false;
  current_ = name;
  WriteCurrent();
  return true;
}

std::string TProfiles::CleanProfileName(const std::string& typed_name) {
  std::string name = typed_name;
  TrimSpaces(name);
  for (const char* bad : {"*", "/", "\\", "\"", ":", "?", "<", ">", ".", "|"}) {
    ReplaceAll(name, bad, "_");
  }
  return name;
}

TProfiles::TCreateResult TProfiles::CreateProfile(const std::string& typed_name,
                                                  const std::string& parent, bool connected,
                                                  const TAsk& ask,
                                                  const std::function<void()>& disconnect) {
  TCreateResult r;
  r.name = CleanProfileName(typed_name);
  if (r.name.empty()) {
    r.message = Message("profisnullerr", "err", TMsgIcon::Warning);
    return r;
  }
  const std::string folder = ProfilesDir() + "/" + r.name;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder, ec))) {
    r.message = Message("profisexist", "err", TMsgIcon::Warning);
    return r;
  }
  TSettings settings;
  if (parent == kDefaultProfileItem) {
    settings.Load(ProfilesDir() + "/profile.ini");
  } else if (Exists(parent)) {
    settings.Load(ProfilesDir() + "/" + parent + "/profile.ini");
  } else {
    r.message = Message("patprofnotexists", "err", TMsgIcon::Error);
    return r;
  }
  if (!fs::create_directory(folder, ec) || ec) {
    r.message = Message("profcrterror", "err", TMsgIcon::Error);
    return r;
  }
  if (connected) {
    if (!ask || !ask(Message("crprofcoution", "caution", TMsgIcon::Question))) {
      // Leaving the empty folder behind would block the name for good.
      fs::remove(folder, ec);
      return r;
    }
    if (disconnect) disconnect();
  }
  if (!settings.Save(folder + "/profile.ini")) {
    fs::remove_all(folder, ec);
    r.message = Message("profcrterror", "err", TMsgIcon::Error);
    return r;
  }
  SwitchProfile(r.name);
  r.created = true;
  r.message = Message("crok", "okmsg", TMsgIcon::Information);
  r.message.new_name = r.name;
  return r;
}

TProfileMessage TProfiles::DeleteProfile(const std::string& name, const TAsk& confirm) const {
  if (!IsFolder(name)) return {};
  if (name == current_) return Message("profdelerror1", "err", TMsgIcon::Warning);
  TProfileMessage question = Message("profdelquestion", "caution", TMsgIcon::Question);
  question.suffix = name;
  if (!confirm || !confirm(question)) return {};
  if (DeleteFolder(ProfilesDir() + "/" + name)) {
    return Message("profdelok", "err", TMsgIcon::Information);
  }
  return Message("profdelerror2", "err", TMsgIcon::Error);
}

TProfileMessage TProfiles::RenameRefusal(const std::string& name) const {
  if (!IsFolder(name)) return {};
  if (name == current_) return Message("profrmerror1", "err", TMsgIcon::Warning);
  return {};
}

TProfileMessage TProfiles::RenameProfile(const std::string& name,
                                         const std::string& new_name) const {
  if (!IsFolder(name)) return {};
  if (name == current_) return Message("profrmerror1", "err", TMsgIcon::Warning);
  if (new_name == name) return {};
  const TProfileMessage refused = Message("profrmerror2", "err", TMsgIcon::Error);
  // The typed name must name a folder inside profiles/, and a new one.
  if (new_name.empty() || new_name == "." || new_name == ".." ||
      new_name.find('/') != std::string::npos) {
    return refused;
  }
  for (unsigned char c : new_name) {
    if (c < 32 || c == 127) return refused;
  }
  const std::string target = ProfilesDir() + "/" + new_name;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec))) return refused;
  fs::rename(ProfilesDir() + "/" + name, target, ec);
  if (ec) return refused;
  return Message("profrmok", "err", TMsgIcon::Information);
}

}  // namespace corvane
