// Test plug-in: adds "alpha" (mode 1) and "beta" (mode 2), which log "run <name> <speaker>
// <args>|<flags> <ping> <source>" and answer "<name> ran: <args>", and tries to remove "gamma"
// (another plug-in's). "alpha" with one of these arguments reaches the bot's other functions
// instead of answering, and logs what they gave: "who" (138: "user <name> <clan> <statstring>
// <ping> <flags>", its callback stopping at once), "clan" (139: "clan <name> <rank> <online>"),
// "info" (133 to 135, 137 for "Boss", 130: "profile|whisperer|channel <text>", "op <n>",
// "window <id>"), "nulls" (null texts to 110, 120 to 122, 136 and 137, then "nulls done").
// Logged too: "add|remove <command> <result>", the records of messages 10101 ("invite <size>
// <result> <user>|<message>") and 10104 ("member <size> <rank> <online> <name>"), and chat
// events ("event <n> <user>|<text> <flags> <ping>").
#include <corvane/plugin.h>
#include <string.h>

#include "plugin_log.h"

static intptr_t g_functions[30];  // 110 to 139, as handed over
#define FN(type, number) ((type)g_functions[(number)-CORVANE_FN_SEND_TEXT])

static uint8_t log_user(const char* name, const char* clan, const char* statstring, int32_t ping,
                        uint32_t flags) {
  plugin_log("user %s %s %s %d %u", or_null(name), or_null(clan), or_null(statstring), (int)ping,
             (unsigned)flags);
  return 1;
}

static uint8_t log_clan_member(const char* name, uint32_t rank, uint8_t online) {
  plugin_log("clan %s %u %u", or_null(name), (unsigned)rank, (unsigned)online);
  return 0;
}

static uint8_t run(const char* name, const char* speaker, const char* args, const char* flags,
                   int32_t ping, int32_t source) {
  plugin_log("run %s %s %s|%s %d %d", name, or_null(speaker), or_null(args), or_null(flags),
             (int)ping, (int)source);
  const char* a = args != NULL ? args : "";
  if (strcmp(name, "alpha") == 0 && strcmp(a, "who") == 0) {
    FN(TListChannelUsers, CORVANE_FN_LIST_CHANNEL_USERS)(log_user);
  } else if (strcmp(name, "alpha") == 0 && strcmp(a, "clan") == 0) {
    FN(TListClanMembers, CORVANE_FN_LIST_CLAN_MEMBERS)(log_clan_member);
  } else if (strcmp(name, "alpha") == 0 && strcmp(a, "info") == 0) {
    plugin_log("profile %s", or_null(FN(TGetText, CORVANE_FN_PROFILE_NAME)()));
    plugin_log("whisperer %s", or_null(FN(TGetText, CORVANE_FN_LAST_WHISPERER)()));
    plugin_log("channel %s", or_null(FN(TGetText, CORVANE_FN_CHANNEL)()));
    plugin_log("op %u", (unsigned)FN(TIsOperator, CORVANE_FN_IS_OPERATOR)("Boss"));
    plugin_log("window %lld", (long long)FN(TMainWindow, CORVANE_FN_MAIN_WINDOW)());
  } else if (strcmp(name, "alpha") == 0 && strcmp(a, "nulls") == 0) {
    FN(TSendText, CORVANE_FN_SEND_TEXT)(NULL);
    FN(TShowText, CORVANE_FN_SHOW_TEXT)(NULL);
    FN(TShowColouredText, CORVANE_FN_SHOW_COLOURED_TEXT)(NULL, 0x0000FF00u);
    FN(TShowChatMessage, CORVANE_FN_SHOW_CHAT_MESSAGE)(NULL, 0x00FFFFFFu, NULL, 0x00FFFFFFu);
    FN(TSendText, CORVANE_FN_SEND_TEXT_NOW)(NULL);
    FN(TIsOperator, CORVANE_FN_IS_OPERATOR)(NULL);
    plugin_log("nulls done");
  } else {
    char reply[600];
    snprintf(reply, sizeof reply, "%s ran: %s", name, a);
    FN(TSendText, CORVANE_FN_SEND_TEXT)(reply);
  }
  return 1;
}

static uint8_t alpha(const char* speaker, const char* args, const char* flags, int32_t ping,
                     uint32_t bnet_flags, int32_t source) {
  (void)bnet_flags;
  return run("alpha", speaker, args, flags, ping, source);
}

static uint8_t beta(const char* speaker, const char* args, const char* flags, int32_t ping,
                    uint32_t bnet_flags, int32_t source) {
  (void)bnet_flags;
  return run("beta", speaker, args, flags, ping, source);
}

CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out) {
  (void)module;
  plugin_log("info %d", (int)info);
  if (out != NULL && info == CORVANE_INFO_NAME) *out = "Commands";
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first,
                                  intptr_t second) {
  (void)second;
  plugin_log("msg %d", (int)message);
  if (message >= CORVANE_FN_SEND_TEXT && message <= CORVANE_FN_LIST_CLAN_MEMBERS) {
    g_functions[message - CORVANE_FN_SEND_TEXT] = first;
  } else if (message == CORVANE_MSG_LOAD_END || message == CORVANE_MSG_COMMANDS_RESET ||
             message == CORVANE_MSG_PROFILE_SWITCHED) {
    TAddCommand add = FN(TAddCommand, CORVANE_FN_ADD_COMMAND);
    plugin_log("add alpha %d", (int)add(module, "alpha", "", 40, 1, alpha, CORVANE_ADD_REPLACE));
    plugin_log("add beta %d", (int)add(module, "beta", "", 40, 1, beta, CORVANE_ADD_KEEP));
    if (message == CORVANE_MSG_LOAD_END) {
      plugin_log("remove gamma %u",
                 (unsigned)FN(TRemoveCommand, CORVANE_FN_REMOVE_COMMAND)(module, "gamma"));
    }
  } else if (message == CORVANE_MSG_CLAN_INVITATION && first != 0) {
    const TClanInvitationResult* r = (const TClanInvitationResult*)first;
    plugin_log("invite %u %u %s|%s", (unsigned)r->size, (unsigned)r->result, or_null(r->user),
               or_null(r->message));
  } else if (message == CORVANE_MSG_CLAN_MEMBER && first != 0) {
    const TClanMemberStatus* m = (const TClanMemberStatus*)first;
    plugin_log("member %u %u %u %s", (unsigned)m->size, (unsigned)m->rank, (unsigned)m->online,
               or_null(m->name));
  }
}

CORVANE_EXPORT void ChatEvent(int32_t event, const char* user, const char* text, uint32_t flags,
                              int32_t ping) {
  plugin_log("event %d %s|%s %u %d", (int)event, or_null(user), or_null(text), (unsigned)flags,
             (int)ping);
}
