#include "config/language.h"

#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>

#include "config/Operations.h"

namespace corvane {

namespace {

constexpr char kMainWindow[] = "BOT_INTERFACE_MAINWINDOW";
constexpr char kOptions[] = "BOT_INTERFACE_OPTIONSWND";
constexpr char kOptionsList[] = "BOT_INTERFACE_OPTIONSWND_LISTVIEW";
constexpr char kOptionsProf[] = "BOT_INTERFACE_OPTIONSWND_PROF";
constexpr char kOptionsGen[] = "BOT_INTERFACE_OPTIONSWND_GEN";
constexpr char kOptionsMsgs[] = "BOT_INTERFACE_OPTIONSWND_MSGS";
constexpr char kOptionsUserMan[] = "BOT_INTERFACE_OPTIONSWND_USERMAN";
constexpr char kOptionsCmdMan[] = "BOT_INTERFACE_OPTIONSWND_CMDMAN";
constexpr char kOptionsOther[] = "BOT_INTERFACE_OPTIONSWND_OTHER";
constexpr char kOptionsDelUser[] = "BOT_INTERFACE_OPTIONSWND_DELUSER";
constexpr char kOptionsAddUser[] = "BOT_INTERFACE_OPTIONSWND_ADDUSER";
constexpr char kOptionsAddCmd[] = "BOT_INTERFACE_OPTIONSWND_ADDCMD";
constexpr char kInternalCommands[] = "BOT_INTERNAL_COMMANDS";
constexpr char kPluginSystem[] = "PLUGIN_SYSTEM";
constexpr char kChatSubmessages[] = "CHAT_SUBMESSAGES";
constexpr char kBnetEvents[] = "BNET_EVENTS";
constexpr char kBnetBnls[] = "BNET_BNLS";
constexpr char kBnetErrors[] = "BNET_ERRORS";
constexpr char kClanInvite[] = "BNET_CLAN_INVITE";
constexpr char kBotMessages[] = "BOT_MESSAGES";

}  // namespace

const TLangDefault kLangDefaults[] = {
    {kMainWindow, "Connect", "Connect"},
    {kMainWindow, "Disconnect", "Disconnect"},
    {kMainWindow, "MenuBot", "Bot"},
    {kMainWindow, "MenuBotExit", "Exit"},
    {kMainWindow, "MenuSettings", "Settings"},
    {kMainWindow, "MenuSettingsMain", "Main settings"},
    {kMainWindow, "MenuSettingsUseUTF8", "Use UTF8 Encoding/Decoding"},
    {kMainWindow, "LeaveJoinMessages", "Leave/Join Messages"},
    {kMainWindow, "RestartPluginSystem", "Restart plugin system"},
    {kMainWindow, "ChannelButton", "Channel"},
    {kMainWindow, "FriendsButton", "Friends"},
    {kMainWindow, "ClanButton", "Clan"},

    // The caption key begins with the Cyrillic capital Es of code page 1251.
    {kOptions,
     "\xD1"
     "aption",
     "Settings"},
    {kOptions, "OkBtn", "OK"},
    {kOptions, "cancelbtn", "Cancel"},
    {kOptions, "ApplyBtn", "Apply"},
    {kOptions, "HelpBtn", "Help"},
    {kOptions, "err", "Error"},
    {kOptions, "caution", "Caution"},
    {kOptions, "okmsg", "Created!"},

    {kOptionsList, "lvprofiles", "Profiles"},
    {kOptionsList, "lvgeneral", "General settings"},
    {kOptionsList, "lvmessages", "Messages"},
    {kOptionsList, "userman", "Userlist"},
    {kOptionsList, "cmdman", "Commands"},
    {kOptionsList, "other", "Other"},

    {kOptionsProf, "lbl1", "Profiles"},
    {kOptionsProf, "lbl2", "New profile"},
    {kOptionsProf, "lbl3", "Name"},
    {kOptionsProf, "lbl5", "Copy settings from:"},
    {kOptionsProf, "lbl6", "Choose profile:"},
    {kOptionsProf, "ed1deftext", "My profile"},
    {kOptionsProf, "btn1", "Create"},
    {kOptionsProf, "btn2", "Delete"},
    {kOptionsProf, "btn3", "Rename"},
    {kOptionsProf, "langlbl1", "Profile languige:"},
    {kOptionsProf, "langlbl2", "Creator:"},
    {kOptionsProf, "langlbl3", "Email:"},
    {kOptionsProf, "langlbl4", "Web:"},
    {kOptionsProf, "curprofmsg", "Current profile: %p"},
    {kOptionsProf, "profmsgload", "Loaded profile: %p"},
    {kOptionsProf, "profmsgloaderr",
     "No profile was loaded. Use Settings->Main settings->Profiles for profile management."},
    {kOptionsProf, "patprofnotexists2",
     "Current profile not found or not selected after install Corvane.\r\n"
     "You must create or choose profile, before connect to Battle.net."},
    {kOptionsProf, "profisnullerr", "Incorrecct profile name."},
    {kOptionsProf, "profisexist", "Profile with this name already exists."},
    {kOptionsProf, "patprofnotexists", "Partent profile not found."},
    {kOptionsProf, "profcrterror", "Cannot create profile."},
    {kOptionsProf, "crprofcoution",
     "After create new profile you win be disconnected.\r\nProceed?"},
    {kOptionsProf, "crok", "New profile with name \"%pn\" was succesfully created!"},
    {kOptionsProf, "choseprofile", "After choose profile you win be disconnected.\r\nProceed?"},
    {kOptionsProf, "profdelerror1", "Cannot delete current profile."},
    {kOptionsProf, "profdelquestion", "Do you realy want to delete profile: "},
    {kOptionsProf, "profdelerror2", "Cannot delete profile."},
    {kOptionsProf, "profdelok", "Profile successfully deleted."},
    {kOptionsProf, "profrmerror1", "Cannot rename current profile."},
    {kOptionsProf, "profrmerror2", "Cannot rename profile."},
    {kOptionsProf, "profrmok", "Profile successfully renamed."},

    {kOptionsGen, "lbl1", "General settings"},
    {kOptionsGen, "lbl2", "Account name:"},
    {kOptionsGen, "lbl3", "Password:"},
    {kOptionsGen, "lbl6", "Battle.net server:"},
    {kOptionsGen, "lbl7", "Game"},
    {kOptionsGen, "lbl9", "Home channel:"},
    {kOptionsGen, "lbl10", "Trigger:"},
    {kOptionsGen, "lbl11", "BNLS server:"},
    {kOptionsGen, "lbl12", "BNLS port:"},
    {kOptionsGen, "ch1", "Ping spoofing -1 ms"},
    {kOptionsGen, "ch2", "Autoreconnect if disconnected"},
    {kOptionsGen, "ch3", "Connect on startup"},
    {kOptionsGen, "ch5", "PvPgn server"},

    {kOptionsMsgs, "lbl1", "Idle and greet messages"},
    {kOptionsMsgs, "cb1", "Show anti-idle message"},
    {kOptionsMsgs, "lbl2", "Time (min):"},
    {kOptionsMsgs, "lbl3", "Message"},
    {kOptionsMsgs, "cb2", "Show great message"},
    {kOptionsMsgs, "cb3", "Whisper great message"},
    {kOptionsMsgs, "cb4", "Only for my clan"},
    {kOptionsMsgs, "lbl4", "You can use special variables."},

    {kOptionsUserMan, "1", "User managment"},
    {kOptionsUserMan, "2", "Username"},
    {kOptionsUserMan, "3", "Access"},
    {kOptionsUserMan, "4", "Flags"},
    {kOptionsUserMan, "5", "Add"},
    {kOptionsUserMan, "6", "Delete"},
    {kOptionsUserMan, "7", "Edit"},
    {kOptionsUserMan, "8", "Caution! No way to cancel changes!"},

    {kOptionsCmdMan, "1", "Command managment"},
    {kOptionsCmdMan, "2", "Command"},
    {kOptionsCmdMan, "3", "Access"},
    {kOptionsCmdMan, "4", "Flags"},
    {kOptionsCmdMan, "5", "Enabled"},
    {kOptionsCmdMan, "6", "Type"},
    {kOptionsCmdMan, "7", "Edit"},
    {kOptionsCmdMan, "8", "Caution! No way to cancel changes!"},
    {kOptionsCmdMan, "9", "Default"},
    {kOptionsCmdMan, "10", "Custom action"},
    {kOptionsCmdMan, "11", "Add"},
    {kOptionsCmdMan, "12", "Delete"},
    {kOptionsCmdMan, "caution", "Caution"},
    {kOptionsCmdMan, "defquestion", "Do you realy want to set default settings?"},
    {kOptionsCmdMan, "delerr", "Do can delete only custom commands!"},
    {kOptionsCmdMan, "delquestion", "Do you realy want to delete custom command: "},

    {kOptionsOther, "1", "Other"},
    {kOptionsOther, "cb1", "Enable flood protection"},
    {kOptionsOther, "2", "Time between commands:"},

    {kOptionsDelUser, "caution", "Caution"},
    {kOptionsDelUser, "delquestion", "Do you realy want to delete user: "},

    {kOptionsAddUser, "0", "Add user"},
    {kOptionsAddUser, "01", "Edit user"},
    {kOptionsAddUser, "1", "Username:"},
    {kOptionsAddUser, "2", "Access:"},
    {kOptionsAddUser, "3", "Flags:"},
    {kOptionsAddUser, "4", "Add"},
    {kOptionsAddUser, "5", "Cancel"},

    {kOptionsAddCmd, "1", "Command:"},
    {kOptionsAddCmd, "2", "Type:"},
    {kOptionsAddCmd, "3", "Access:"},
    {kOptionsAddCmd, "4", "Flags:"},
    {kOptionsAddCmd, "5", "Disable command"},
    {kOptionsAddCmd, "6", "OK"},
    {kOptionsAddCmd, "7", "Cancel"},
    {kOptionsAddCmd, "8", "Custom:"},
    {kOptionsAddCmd, "9", "Edit command"},
    {kOptionsAddCmd, "10", "Add command"},
    {kOptionsAddCmd, "11", "Plugin name:"},

    {kInternalCommands, "not_conn", "Bot not connected!"},
    {kInternalCommands, "bot_ping_me", "Bot ping at login was %ping ms."},
    {kInternalCommands, "user_ping_say", "Your ping at login was %ping ms."},
    {kInternalCommands, "user_add", "%user added with %acs access and flags %flags."},

    {kPluginSystem, "1", "Try to find and load plugins..."},
    {kPluginSystem, "2", "Loaded %d plugin(s)."},
    {kPluginSystem, "3", "Loaded plugin %pluname (%dllname)."},
    {kPluginSystem, "4", "Error. Cannot load plugin %dllname (code: %code)."},

    {kChatSubmessages, "102", "joined to channel."},
    {kChatSubmessages, "103", "leave channel."},

    {kBnetEvents, "10", "Joined to channel "},
    {kBnetEvents, "11", "The whisper message of the Battle.net user %u"},
    {kBnetEvents, "12", "You send whisper message to %u"},
    {kBnetEvents, "13", "This channel is full."},
    {kBnetEvents, "14", "This channel is restricted."},
    {kBnetEvents, "1", "Connecting..."},
    {kBnetEvents, "2", "Connected!"},
    {kBnetEvents, "3", "Disconnected."},

    // Status codes of the Battle.net and BNLS clients whose text is fixed.
    {kBnetBnls, "300", "Connecting..."},
    {kBnetBnls, "301", "Connected!"},
    {kBnetBnls, "302", "Disconnected."},
    {kBnetBnls, "303", "Version byte received."},
    {kBnetBnls, "304", "Revision choosed."},
    {kBnetBnls, "308", "Logged succesfully!"},
    {kBnetBnls, "10000", "First byte is not FF."},

    {kBnetErrors, "flood_autorec", "Autoreconnect after 20 min."},
    {kBnetErrors, "3009", "Account not exist or need upgrade."},
    {kBnetErrors, "3011", "Username or password incorrect."},
    {kBnetErrors, "3012", "You disconnected for flooding."},
    {kBnetErrors, "3013", "The server did not complete the logon in time."},
    {kBnetErrors, "3014", "The BNLS server did not answer in time."},
    {kBnetErrors, "3015", "The server stopped reading what the bot sends."},
    {kBnetErrors, "-2", "[BNET] Internal bot error."},

    {kBotMessages, "queue_full",
     "Too many lines wait to be sent: replies are dropped until the queue drains."},
    {kBotMessages, "save_failed", "Cannot save %file: %reason"},
    {kBotMessages, "db_unreadable",
     "%file cannot be read: it was renamed to %aside, and the bot goes on with the default "
     "commands."},
    {kBotMessages, "db_unreadable_kept",
     "%file cannot be read and cannot be moved aside (%reason): it is left as it is, and the "
     "bot goes on with the default commands and saves none."},

    {kClanInvite, "cimsg", "%1 invite you to clan %2"},
    {kClanInvite, "0", "Invitation accepted!"},
    {kClanInvite, "4", "User decline to join."},
    {kClanInvite, "5", "Failed to invite user."},
    {kClanInvite, "9", "Clan is full."},
};

const std::size_t kLangDefaultCount = std::size(kLangDefaults);

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
  }
  return true;
}

std::string Display(const std::string& name, const std::string& local_name) {
  return name + " (" + local_name + ")";
}

}  // namespace

const char* DefaultText(const std::string& section, const std::string& key) {
  for (std::size_t i = 0; i < kLangDefaultCount; ++i) {
    const TLangDefault& d = kLangDefaults[i];
    if (SameText(d.section, section) && SameText(d.key, key)) {
      return d.text;
    }
  }
  if (SameText(kIconSection, section)) {
    for (const TIconName& icon : kIconNames) {
      if (SameText(icon.key, key)) {
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
    entries.push_back({name, Display(file.ReadString(kLangMainSection, kLangNameKey, ""),
                                     file.ReadString(kLangMainSection, kLangLocalNameKey, ""))});
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
