#include "config/language.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>

#include "config/Operations.h"

namespace corvane {

const TLangDefault kLangDefaults[] = {
    {kMainWindowSection, "Connect", "Connect"},
    {kMainWindowSection, "Disconnect", "Disconnect"},
    {kMainWindowSection, "MenuBot", "Bot"},
    {kMainWindowSection, "MenuBotExit", "Exit"},
    {kMainWindowSection, "MenuSettings", "Settings"},
    {kMainWindowSection, "MenuSettingsMain", "Main settings"},
    {kMainWindowSection, "MenuSettingsUseUTF8", "Use UTF8 Encoding/Decoding"},
    {kMainWindowSection, "LeaveJoinMessages", "Leave/Join Messages"},
    {kMainWindowSection, "RestartPluginSystem", "Restart plugin system"},
    {kMainWindowSection, "ChannelButton", "Channel"},
    {kMainWindowSection, "FriendsButton", "Friends"},
    {kMainWindowSection, "ClanButton", "Clan"},

    // The caption key begins with the Cyrillic capital Es of code page 1251.
    {kOptionsSection,
     "\xD1"
     "aption",
     "Settings"},
    {kOptionsSection, "OkBtn", "OK"},
    {kOptionsSection, "cancelbtn", "Cancel"},
    {kOptionsSection, "ApplyBtn", "Apply"},
    {kOptionsSection, "HelpBtn", "Help"},
    {kOptionsSection, "err", "Error"},
    {kOptionsSection, "caution", "Caution"},
    {kOptionsSection, "okmsg", "Created!"},

    {kOptionsListSection, "lvprofiles", "Profiles"},
    {kOptionsListSection, "lvgeneral", "General settings"},
    {kOptionsListSection, "lvmessages", "Messages"},
    {kOptionsListSection, "userman", "Userlist"},
    {kOptionsListSection, "cmdman", "Commands"},
    {kOptionsListSection, "other", "Other"},

    {kProfSection, "lbl1", "Profiles"},
    {kProfSection, "lbl2", "New profile"},
    {kProfSection, "lbl3", "Name"},
    {kProfSection, "lbl5", "Copy settings from:"},
    {kProfSection, "lbl6", "Choose profile:"},
    {kProfSection, "ed1deftext", "My profile"},
    {kProfSection, "btn1", "Create"},
    {kProfSection, "btn2", "Delete"},
    {kProfSection, "btn3", "Rename"},
    {kProfSection, "langlbl1", "Profile languige:"},
    {kProfSection, "langlbl2", "Creator:"},
    {kProfSection, "langlbl3", "Email:"},
    {kProfSection, "langlbl4", "Web:"},
    {kProfSection, "curprofmsg", "Current profile: %p"},
    {kProfSection, "profmsgload", "Loaded profile: %p"},
    {kProfSection, "profmsgloaderr",
     "No profile was loaded. Use Settings->Main settings->Profiles for profile management."},
    {kProfSection, "patprofnotexists2",
     "Current profile not found or not selected after install Corvane.\r\n"
     "You must create or choose profile, before connect to Battle.net."},
    {kProfSection, "profisnullerr", "Incorrecct profile name."},
    {kProfSection, "profisexist", "Profile with this name already exists."},
    {kProfSection, "patprofnotexists", "Partent profile not found."},
    {kProfSection, "profcrterror", "Cannot create profile."},
    {kProfSection, "crprofcoution",
     "After create new profile you win be disconnected.\r\nProceed?"},
    {kProfSection, "crok", "New profile with name \"%pn\" was succesfully created!"},
    {kProfSection, "choseprofile", "After choose profile you win be disconnected.\r\nProceed?"},
    {kProfSection, "profdelerror1", "Cannot delete current profile."},
    {kProfSection, "profdelquestion", "Do you realy want to delete profile: "},
    {kProfSection, "profdelerror2", "Cannot delete profile."},
    {kProfSection, "profdelok", "Profile successfully deleted."},
    {kProfSection, "profrmerror1", "Cannot rename current profile."},
    {kProfSection, "profrmerror2", "Cannot rename profile."},
    {kProfSection, "profrmok", "Profile successfully renamed."},

    {kOptionsGenSection, "lbl1", "General settings"},
    {kOptionsGenSection, "lbl2", "Account name:"},
    {kOptionsGenSection, "lbl3", "Password:"},
    {kOptionsGenSection, "lbl6", "Battle.net server:"},
    {kOptionsGenSection, "lbl7", "Game"},
    {kOptionsGenSection, "lbl9", "Home channel:"},
    {kOptionsGenSection, "lbl10", "Trigger:"},
    {kOptionsGenSection, "lbl11", "BNLS server:"},
    {kOptionsGenSection, "lbl12", "BNLS port:"},
    {kOptionsGenSection, "ch1", "Ping spoofing -1 ms"},
    {kOptionsGenSection, "ch2", "Autoreconnect if disconnected"},
    {kOptionsGenSection, "ch3", "Connect on startup"},
    {kOptionsGenSection, "ch5", "PvPgn server"},

    {kOptionsMsgsSection, "lbl1", "Idle and greet messages"},
    {kOptionsMsgsSection, "cb1", "Show anti-idle message"},
    {kOptionsMsgsSection, "lbl2", "Time (min):"},
    {kOptionsMsgsSection, "lbl3", "Message"},
    {kOptionsMsgsSection, "cb2", "Show great message"},
    {kOptionsMsgsSection, "cb3", "Whisper great message"},
    {kOptionsMsgsSection, "cb4", "Only for my clan"},
    {kOptionsMsgsSection, "lbl4", "You can use special variables."},

    {kOptionsUserManSection, "1", "User managment"},
    {kOptionsUserManSection, "2", "Username"},
    {kOptionsUserManSection, "3", "Access"},
    {kOptionsUserManSection, "4", "Flags"},
    {kOptionsUserManSection, "5", "Add"},
    {kOptionsUserManSection, "6", "Delete"},
    {kOptionsUserManSection, "7", "Edit"},
    {kOptionsUserManSection, "8", "Caution! No way to cancel changes!"},

    {kOptionsCmdManSection, "1", "Command managment"},
    {kOptionsCmdManSection, "2", "Command"},
    {kOptionsCmdManSection, "3", "Access"},
    {kOptionsCmdManSection, "4", "Flags"},
    {kOptionsCmdManSection, "5", "Enabled"},
    {kOptionsCmdManSection, "6", "Type"},
    {kOptionsCmdManSection, "7", "Edit"},
    {kOptionsCmdManSection, "8", "Caution! No way to cancel changes!"},
    {kOptionsCmdManSection, "9", "Default"},
    {kOptionsCmdManSection, "10", "Custom action"},
    {kOptionsCmdManSection, "11", "Add"},
    {kOptionsCmdManSection, "12", "Delete"},
    {kOptionsCmdManSection, "caution", "Caution"},
    {kOptionsCmdManSection, "defquestion", "Do you realy want to set default settings?"},
    {kOptionsCmdManSection, "delerr", "Do can delete only custom commands!"},
    {kOptionsCmdManSection, "delquestion", "Do you realy want to delete custom command: "},

    {kOptionsOtherSection, "1", "Other"},
    {kOptionsOtherSection, "cb1", "Enable flood protection"},
    {kOptionsOtherSection, "2", "Time between commands:"},

    {kOptionsDelUserSection, "caution", "Caution"},
    {kOptionsDelUserSection, "delquestion", "Do you realy want to delete user: "},

    {kOptionsAddUserSection, "0", "Add user"},
    {kOptionsAddUserSection, "01", "Edit user"},
    {kOptionsAddUserSection, "1", "Username:"},
    {kOptionsAddUserSection, "2", "Access:"},
    {kOptionsAddUserSection, "3", "Flags:"},
    {kOptionsAddUserSection, "4", "Add"},
    {kOptionsAddUserSection, "5", "Cancel"},

    {kOptionsAddCmdSection, "1", "Command:"},
    {kOptionsAddCmdSection, "2", "Type:"},
    {kOptionsAddCmdSection, "3", "Access:"},
    {kOptionsAddCmdSection, "4", "Flags:"},
    {kOptionsAddCmdSection, "5", "Disable command"},
    {kOptionsAddCmdSection, "6", "OK"},
    {kOptionsAddCmdSection, "7", "Cancel"},
    {kOptionsAddCmdSection, "8", "Custom:"},
    {kOptionsAddCmdSection, "9", "Edit command"},
    {kOptionsAddCmdSection, "10", "Add command"},
    {kOptionsAddCmdSection, "11", "Plugin name:"},

    {kInternalCommandsSection, "not_conn", "Bot not connected!"},
    {kInternalCommandsSection, "bot_ping_me", "Bot ping at login was %ping ms."},
    {kInternalCommandsSection, "user_ping_say", "Your ping at login was %ping ms."},
    {kInternalCommandsSection, "user_add", "%user added with %acs access and flags %flags."},

    {kPluginSection, "1", "Try to find and load plugins..."},
    {kPluginSection, "2", "Loaded %d plugin(s)."},
    {kPluginSection, "3", "Loaded plugin %pluname (%dllname)."},
    {kPluginSection, "4", "Error. Cannot load plugin %dllname (code: %code)."},

    {kSubmessagesSection, "102", "joined to channel."},
    {kSubmessagesSection, "103", "leave channel."},

    {kEventsSection, "10", "Joined to channel "},
    {kEventsSection, "11", "The whisper message of the Battle.net user %u"},
    {kEventsSection, "12", "You send whisper message to %u"},
    {kEventsSection, "13", "This channel is full."},
    {kEventsSection, "14", "This channel is restricted."},
    {kEventsSection, "1", "Connecting..."},
    {kEventsSection, "2", "Connected!"},
    {kEventsSection, "3", "Disconnected."},

    // Status codes of the Battle.net and BNLS clients whose text is fixed.
    {kBnlsSection, "300", "Connecting..."},
    {kBnlsSection, "301", "Connected!"},
    {kBnlsSection, "302", "Disconnected."},
    {kBnlsSection, "303", "Version byte received."},
    {kBnlsSection, "304", "Revision choosed."},
    {kBnlsSection, "308", "Logged succesfully!"},
    {kBnlsSection, "10000", "First byte is not FF."},

    {kErrorsSection, "flood_autorec", "Autoreconnect after 20 min."},
    {kErrorsSection, "3009", "Account not exist or need upgrade."},
    {kErrorsSection, "3011", "Username or password incorrect."},
    {kErrorsSection, "3012", "You disconnected for flooding."},
    {kErrorsSection, "3013", "The server did not complete the logon in time."},
    {kErrorsSection, "3014", "The BNLS server did not answer in time."},
    {kErrorsSection, "3015", "The server stopped reading what the bot sends."},
    {kErrorsSection, "-2", "[BNET] Internal bot error."},

    {kBotSection, "queue_full",
     "Too many lines wait to be sent: replies are dropped until the queue drains."},
    {kBotSection, "save_failed", "Cannot save %file: %reason"},
    {kBotSection, "db_unreadable",
     "%file cannot be read: it was renamed to %aside, and the bot goes on with the default "
     "commands."},
    {kBotSection, "db_unreadable_kept",
     "%file cannot be read and cannot be moved aside (%reason): it is left as it is, and the "
     "bot goes on with the default commands and saves none."},

    {kClanInviteSection, "cimsg", "%1 invite you to clan %2"},
    {kClanInviteSection, "0", "Invitation accepted!"},
    {kClanInviteSection, "4", "User decline to join."},
    {kClanInviteSection, "5", "Failed to invite user."},
    {kClanInviteSection, "9", "Clan is full."},
};

const std::size_t kLangDefaultCount = std::size(kLangDefaults);

// The names of the icons, in section kIconSection of the language files.
const TIconName kIconNames[kIconCount] = {
    {"WAR3_PEON", "Peon"},
    {"WAR3_FOOTMAN", "Footman"},
    {"WAR3_Knight", "Knight"},
    {"WAR3_Archmage", "Archmage"},
    {"WAR3_Medivh", "Medivh"},
    {"WAR3_Grunt", "Grunt"},
    {"WAR3_Tauren", "Tauren"},
    {"WAR3_FarSeer", "Far Seer"},
    {"WAR3_Thrall", "Thrall"},
    {"WAR3_Ghoul", "Ghoul"},
    {"WAR3_Abomination", "Abomination"},
    {"WAR3_Lich", "Lich"},
    {"WAR3_Tichondrius", "Tichondrius"},
    {"WAR3_Archer", "Archer"},
    {"WAR3_Druid", "Druid"},
    {"WAR3_Priestess", "Priestess"},
    {"WAR3_FurionStomrage", "Furion Stomrage"},
    {"WAR3_GreenDragon", "Green dragon"},
    {"WAR3_BlueDragon", "Blue dragon"},
    {"WAR3_RedDragon", "Red dragon"},
    {"WAR3_Deathwing", "Deathwing"},
    {"W3XP_Peon", "Peon"},
    {"W3XP_Rifleman", "Rifleman"},
    {"W3XP_Sorceress", "Sorceress"},
    {"W3XP_Spellbreaker", "Spellbreaker"},
    {"W3XP_BloodMage", "Blood mage"},
    {"W3XP_Jaina", "Jaina"},
    {"W3XP_Trollheadhunter", "Trollheadhunter"},
    {"W3XP_Shaman", "Shaman"},
    {"W3XP_SpiritWalker", "Spirit Walker"},
    {"W3XP_Shadowhunter", "Shadowhunter"},
    {"W3XP_Rexxar", "Rexxar"},
    {"W3XP_CryptFiend", "Crypt fiend"},
    {"W3XP_Banshee", "Banshee"},
    {"W3XP_Destroyer", "Destroyer"},
    {"W3XP_CryptLord", "Crypt lord"},
    {"W3XP_Sylvanas", "Sylvanas"},
    {"W3XP_Huntress", "Huntress"},
    {"W3XP_Druid", "Druid"},
    {"W3XP_Dryad", "Dryad"},
    {"W3XP_Keeper", "Keeper"},
    {"W3XP_Maiev", "Maiev"},
    {"W3XP_Myrmidon", "Myrmidon"},
    {"W3XP_Siren", "Siren"},
    {"W3XP_DragonTurtle", "Dragon turtle"},
    {"W3XP_SeaWitch", "Sea witch"},
    {"W3XP_Illidan", "Illidan"},
    {"W3XP_Felguard", "Felguard"},
    {"W3XP_infernal", "Infernal"},
    {"W3XP_Doomguard", "Doomguard"},
    {"W3XP_PitLord", "PitLord"},
    {"W3XP_Archimonde", "Archimonde"},
};

namespace {

std::string Display(const std::string& name, const std::string& local_name) {
  return name + " (" + local_name + ")";
}

}  // namespace

const char* DefaultText(const std::string& section, const std::string& key) {
  for (std::size_t i = 0; i < kLangDefaultCount; ++i) {
    const TLangDefault& d = kLangDefaults[i];
    if (EqualsNoCase(d.section, section) && EqualsNoCase(d.key, key)) {
      return d.text;
    }
  }
  if (EqualsNoCase(kIconSection, section)) {
    for (const TIconName& icon : kIconNames) {
      if (EqualsNoCase(icon.key, key)) {
        return icon.name;
      }
    }
  }
  return nullptr;
}

std::vector<TLangDefault> AllDefaults() {
  std::vector<TLangDefault> all(kLangDefaults, kLangDefaults + kLangDefaultCount);
  all.reserve(kLangDefaultCount + kIconCount);
  for (const TIconName& icon : kIconNames) {
    all.push_back({kIconSection, icon.key, icon.name});
  }
  return all;
}

std::vector<TLangEntry> ListLanguages(const std::string& lang_folder) {
  namespace fs = std::filesystem;
  constexpr std::string_view kExtension = ".lng";

  std::vector<TLangEntry> entries;
  std::error_code ec;
  fs::directory_iterator it(lang_folder, ec);
  if (ec) {
    return entries;
  }
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.ends_with(kExtension)) {
      continue;
    }
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) {
      continue;
    }
    const TIniFile file(it->path().string());
    entries.push_back({name,
                       Display(file.ReadString(kLangMainSection, kLangNameKey, ""),
                               file.ReadString(kLangMainSection, kLangLocalNameKey, "")),
                       lang_folder});
  }
  return entries;
}

std::string FileForDisplay(const std::string& lang_folder, const std::string& display) {
  std::string found;
  for (const TLangEntry& entry : ListLanguages(lang_folder)) {
    if (entry.display == display) {
      found = entry.file_name;
    }
  }
  return found;
}

std::vector<TLangEntry> ListLanguages(const std::vector<std::string>& folders) {
  std::vector<TLangEntry> entries;
  for (const std::string& folder : folders) {
    const std::size_t earlier = entries.size();
    for (TLangEntry& entry : ListLanguages(folder)) {
      const auto same = [&entry](const TLangEntry& e) { return e.file_name == entry.file_name; };
      if (std::none_of(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(earlier),
                       same)) {
        entries.push_back(std::move(entry));
      }
    }
  }
  return entries;
}

std::string FileForDisplay(const std::vector<std::string>& folders, const std::string& display) {
  std::string found;
  for (const TLangEntry& entry : ListLanguages(folders)) {
    if (entry.display == display) found = entry.file_name;
  }
  return found;
}

std::string LanguageFolder(const std::vector<std::string>& folders, const std::string& file_name) {
  std::error_code ec;
  for (const std::string& folder : folders) {
    if (std::filesystem::is_regular_file(folder + "/" + file_name, ec)) return folder;
  }
  return folders.empty() ? std::string() : folders.front();
}

void TLanguage::Apply(const std::string& lang_folder, const std::string& file_name) {
  store_.reset();
  store_ = std::make_unique<TIniFile>(lang_folder + "/" + file_name);
  file_name_ = file_name;
}

std::string TLanguage::Raw(const std::string& section, const std::string& key,
                           const std::string& default_text) const {
  return store_ ? store_->ReadString(section, key, default_text) : default_text;
}

std::string TLanguage::LangText(const std::string& section, const std::string& key,
                                const std::string& default_text) const {
  std::string text = Raw(section, key, default_text);
  ReplaceAll(text, kLangLineBreak, "\r\n");
  return text;
}

std::string TLanguage::Text(const std::string& section, const std::string& key) const {
  const char* default_text = DefaultText(section, key);
  return LangText(section, key, default_text ? default_text : "");
}

std::string TLanguage::CurrentLanguageDisplay() const {
  return Display(LangText(kLangMainSection, kLangNameKey, ""),
                 LangText(kLangMainSection, kLangLocalNameKey, ""));
}

TTextLookup TLanguage::Lookup() const {
  return [this](const std::string& section, const std::string& key,
                const std::string& default_text) { return LangText(section, key, default_text); };
}

}  // namespace corvane
