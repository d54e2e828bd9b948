/*
 * Corvane plug-in interface.
 *
 * A plug-in is a shared object in the bot's plugins/ folder (plugins/NAME.so) that exports,
 * with C linkage, GetPluginInfo and PluginMessage, and optionally ChatEvent. The bot loads
 * every plug-in at start-up (and again on "Restart plugin system", or SIGHUP in headless
 * mode), asks it for its name and four more info items, hands it the table of the bot's
 * functions through PluginMessage, then passes it every chat event and a few bot events.
 *
 * Rules of the interface:
 * - Everything happens on the bot's main thread; a plug-in must not block.
 * - Texts are zero-terminated byte strings in the chat server's code page. A text handed
 *   to the bot is copied at once. A text the bot hands out stays valid only until the
 *   value it shows changes: copy it to keep it.
 * - Booleans are one byte: 0 false, 1 true.
 * - Slots that carry an address or a module handle are pointer-sized (intptr_t).
 *
 * This header is plain C (C99 or later, or C++).
 */
#ifndef CORVANE_PLUGIN_H
#define CORVANE_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The plug-in's identity in calls to the bot: the first argument of every export. */
typedef intptr_t TPluginModule;

/* ---- The exports of a plug-in ---------------------------------------------------------- */

/* GetPluginInfo(module, info, out): the bot asks for items 10 to 14 at load, in order. The
 * bot sets *out to NULL before each call; the plug-in stores a pointer there:
 *   10: its name (text), shown in the bot's messages; 11, 12, 13: texts the bot keeps;
 *   14: a pointer to 4 bytes that the bot copies.
 * Storing nothing gives an empty text (four zero bytes for item 14). */
typedef void (*TGetPluginInfo)(TPluginModule module, int32_t info, const void** out);

/* PluginMessage(module, message, first, second): see the message numbers below. */
typedef void (*TPluginMessage)(TPluginModule module, int32_t message, intptr_t first,
                               intptr_t second);

/* ChatEvent(event, user, text, flags, ping): optional; once per chat event, see the event
 * numbers below. */
typedef void (*TChatEvent)(int32_t event, const char* user, const char* text, uint32_t flags,
                           int32_t ping);

#define CORVANE_INFO_NAME 10
#define CORVANE_INFO_11 11
#define CORVANE_INFO_12 12
#define CORVANE_INFO_13 13
#define CORVANE_INFO_14 14

/* ---- Messages the bot sends through PluginMessage ------------------------------------- */

/* At load, to the plug-in being loaded: 100, then each function of the table (110 to 139,
 * first = the function's address), then 10000. */
#define CORVANE_MSG_LOAD_BEGIN 100
#define CORVANE_MSG_LOAD_END 10000
/* To every loaded plug-in: */
#define CORVANE_MSG_COMMANDS_RESET                                                           \
  10100                                   /* the command database was reset to its defaults: \
                                             add your commands again */
#define CORVANE_MSG_CLAN_INVITATION 10101 /* first = const TClanInvitationResult* */
#define CORVANE_MSG_CLAN_LIST 10102       /* the clan member list arrived */
#define CORVANE_MSG_FRIENDS_LIST 10103    /* the friends list arrived */
#define CORVANE_MSG_CLAN_MEMBER 10104     /* first = const TClanMemberStatus* */
#define CORVANE_MSG_PROFILE_SWITCHED                        \
  10105 /* another profile's commands were loaded: add your \
           commands again */
/* To one plug-in, just before it is unloaded. */
#define CORVANE_MSG_UNLOAD 65535

/* The records of messages 10101 and 10104 (packed, little-endian); they and their texts
 * are valid only during the call. `size` is the record's own size in bytes. */
#pragma pack(push, 1)
typedef struct TClanInvitationResult {
  uint32_t size;       /* sizeof(TClanInvitationResult) */
  uint32_t result;     /* the server's result code of the invitation */
  const char* user;    /* the invited user */
  const char* message; /* the text the bot shows for that result */
} TClanInvitationResult;

typedef struct TClanMemberStatus {
  uint32_t size; /* sizeof(TClanMemberStatus) */
  uint8_t rank;
  uint8_t online;
  const char* name;
} TClanMemberStatus;
#pragma pack(pop)

/* ---- Chat events passed to ChatEvent --------------------------------------------------- */

#define CORVANE_EVENT_SHOW_USER 1     /* member shown on entering a channel */
#define CORVANE_EVENT_JOIN 2          /* member joined (not the bot itself) */
#define CORVANE_EVENT_LEAVE 3         /* member left */
#define CORVANE_EVENT_WHISPER 4       /* whisper received: user = sender, text = message */
#define CORVANE_EVENT_TALK 5          /* talk: user = speaker, text = message */
#define CORVANE_EVENT_CHANNEL 7       /* channel entered */
#define CORVANE_EVENT_USER_FLAGS 9    /* a member's flags changed (his new values) */
#define CORVANE_EVENT_WHISPER_SENT 10 /* whisper sent: user = recipient, text = message */
#define CORVANE_EVENT_CHANNEL_FULL 13
#define CORVANE_EVENT_CHANNEL_RESTRICTED 15
#define CORVANE_EVENT_INFO 18  /* information from the server: the text is in `user` */
#define CORVANE_EVENT_ERROR 19 /* error from the server: the text is in `user` */
#define CORVANE_EVENT_EMOTE 23 /* user = speaker, text = emote */

/* ---- The bot's functions, handed over at load ------------------------------------------ */

/* 110: puts a line on the bot's outgoing queue (paced against the server's flood limit). */
#define CORVANE_FN_SEND_TEXT 110
typedef void (*TSendText)(const char* text);
/* 120: writes a line to the chat pane in lime. */
#define CORVANE_FN_SHOW_TEXT 120
typedef void (*TShowText)(const char* text);
/* 121: writes a line to the chat pane in a colour 0x00BBGGRR. */
#define CORVANE_FN_SHOW_COLOURED_TEXT 121
typedef void (*TShowColouredText)(const char* text, uint32_t colour);
/* 122: writes "head: body" to the chat pane, head and body in their colours (0x00BBGGRR). */
#define CORVANE_FN_SHOW_CHAT_MESSAGE 122
typedef void (*TShowChatMessage)(const char* head, uint32_t head_colour, const char* body,
                                 uint32_t body_colour);
/* 130: the main window's native id (0 without a window). */
#define CORVANE_FN_MAIN_WINDOW 130
typedef intptr_t (*TMainWindow)(void);

/* The procedure of a plug-in command: called by the bot's dispatch when a user with the
 * right access or flags types the trigger and the command's name. speaker is "*" for the
 * bot's console. Return 1 when the command was handled, 0 to let dispatch try the next
 * command of that name. */
#ifndef CORVANE_TBOTCMDPROC_DEFINED
#define CORVANE_TBOTCMDPROC_DEFINED
typedef uint8_t (*TBotCmdProc)(const char* speaker, const char* args, const char* flags,
                               int32_t ping, uint32_t bnet_flags, int32_t source);
#endif
/* The `source` of a command line. */
#define CORVANE_SOURCE_TALK 1
#define CORVANE_SOURCE_WHISPER 2
#define CORVANE_SOURCE_EMOTE 3
#define CORVANE_SOURCE_CONSOLE 4

/* 131: adds a command of this plug-in: 0 when done, -1 when `module` is not a loaded
 * plug-in. The bot's database keeps plug-in commands across runs, and the owner may edit
 * them. mode 0 always adds a new record; when this plug-in's command of that name is
 * stored already, mode 1 makes it callable again with the access and flags given, mode 2
 * makes it callable again keeping the stored access, flags and switch. */
#define CORVANE_FN_ADD_COMMAND 131
#define CORVANE_ADD_NEW 0
#define CORVANE_ADD_REPLACE 1
#define CORVANE_ADD_KEEP 2
typedef int32_t (*TAddCommand)(TPluginModule module, const char* name, const char* flags,
                               int32_t access, uint8_t enabled, TBotCmdProc proc, uint8_t mode);
/* 132: removes a command of this plug-in: 1 when `module` is a loaded plug-in, else 0.
 * Commands of other plug-ins are never removed. */
#define CORVANE_FN_REMOVE_COMMAND 132
typedef uint8_t (*TRemoveCommand)(TPluginModule module, const char* name);
/* 133, 134, 135: the current profile's name, the user who last whispered the bot, the
 * current channel. The text stays valid until the next call of the same function. */
#define CORVANE_FN_PROFILE_NAME 133
#define CORVANE_FN_LAST_WHISPERER 134
#define CORVANE_FN_CHANNEL 135
typedef const char* (*TGetText)(void);
/* 136: sends a line at once, bypassing the queue (the local commands "/profile ",
 * "/clanprofile ", "/join " and "/j " are honoured). Mind the server's flood limit. */
#define CORVANE_FN_SEND_TEXT_NOW 136
/* (type TSendText) */
/* 137: 1 when the user is a channel operator (or the bot's own account), else 0. */
#define CORVANE_FN_IS_OPERATOR 137
typedef uint8_t (*TIsOperator)(const char* name);
/* 138: calls back once per member of the channel, in the order of the member list; stops
 * when the callback returns exactly 1. flags is the low byte of the member's flags. */
#define CORVANE_FN_LIST_CHANNEL_USERS 138
typedef uint8_t (*TChannelUserCallback)(const char* name, const char* clan, const char* statstring,
                                        int32_t ping, uint32_t flags);
typedef void (*TListChannelUsers)(TChannelUserCallback callback);
/* 139: calls back once per member of the bot's clan, highest rank first; stops when the
 * callback returns non-zero. */
#define CORVANE_FN_LIST_CLAN_MEMBERS 139
typedef uint8_t (*TClanMemberCallback)(const char* name, uint32_t rank, uint8_t online);
typedef void (*TListClanMembers)(TClanMemberCallback callback);

/* Default visibility and C linkage for the three exports: write
 *   CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out)
 * and so on. */
#if defined(__GNUC__)
#define CORVANE_EXPORT_VISIBILITY __attribute__((visibility("default")))
#else
#define CORVANE_EXPORT_VISIBILITY
#endif
#ifdef __cplusplus
#define CORVANE_EXPORT extern "C" CORVANE_EXPORT_VISIBILITY
#else
#define CORVANE_EXPORT CORVANE_EXPORT_VISIBILITY
#endif

/* The exports, declared here so that a plug-in's definitions are checked against them. */
CORVANE_EXPORT_VISIBILITY void GetPluginInfo(TPluginModule module, int32_t info, const void** out);
CORVANE_EXPORT_VISIBILITY void PluginMessage(TPluginModule module, int32_t message, intptr_t first,
                                             intptr_t second);
CORVANE_EXPORT_VISIBILITY void ChatEvent(int32_t event, const char* user, const char* text,
                                         uint32_t flags, int32_t ping);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_PLUGIN_H */
