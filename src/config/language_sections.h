#pragma once
// The sections of a language file. Every text the program looks up lives in one of them;
// this is the one place that names them.

namespace corvane {

// The file's self-description (name, local name, creator, ...).
inline constexpr char kLangMainSection[] = "main";

// The main window and the settings dialog with its pages and small dialogs.
inline constexpr char kMainWindowSection[] = "BOT_INTERFACE_MAINWINDOW";
inline constexpr char kOptionsSection[] = "BOT_INTERFACE_OPTIONSWND";  // also the titles
inline constexpr char kOptionsListSection[] = "BOT_INTERFACE_OPTIONSWND_LISTVIEW";
inline constexpr char kProfSection[] = "BOT_INTERFACE_OPTIONSWND_PROF";  // profile messages
inline constexpr char kOptionsGenSection[] = "BOT_INTERFACE_OPTIONSWND_GEN";
inline constexpr char kOptionsMsgsSection[] = "BOT_INTERFACE_OPTIONSWND_MSGS";
inline constexpr char kOptionsUserManSection[] = "BOT_INTERFACE_OPTIONSWND_USERMAN";
inline constexpr char kOptionsCmdManSection[] = "BOT_INTERFACE_OPTIONSWND_CMDMAN";
inline constexpr char kOptionsOtherSection[] = "BOT_INTERFACE_OPTIONSWND_OTHER";
inline constexpr char kOptionsDelUserSection[] = "BOT_INTERFACE_OPTIONSWND_DELUSER";
inline constexpr char kOptionsAddUserSection[] = "BOT_INTERFACE_OPTIONSWND_ADDUSER";
inline constexpr char kOptionsAddCmdSection[] = "BOT_INTERFACE_OPTIONSWND_ADDCMD";

// The bot's own messages.
inline constexpr char kInternalCommandsSection[] = "BOT_INTERNAL_COMMANDS";
inline constexpr char kPluginSection[] = "PLUGIN_SYSTEM";
inline constexpr char kBotSection[] = "BOT_MESSAGES";

// The chat session: events, the BNLS and logon steps, errors, clan invitations.
inline constexpr char kSubmessagesSection[] = "CHAT_SUBMESSAGES";
inline constexpr char kEventsSection[] = "BNET_EVENTS";
inline constexpr char kBnlsSection[] = "BNET_BNLS";
inline constexpr char kErrorsSection[] = "BNET_ERRORS";
inline constexpr char kClanInviteSection[] = "BNET_CLAN_INVITE";

// The names of the icons that status strings give (config/text_lookup.h).
inline constexpr char kIconSection[] = "LOCAL_ICONS";

}  // namespace corvane
