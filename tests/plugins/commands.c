/* Test plug-in: adds the commands "alpha" (mode 1) and "beta" (mode 2), which answer
 * "<name> ran: <args>". Instead of answering, "alpha" with one of these arguments reaches
 * the bot's other functions: "who" (138), "clan" (139), "info" (130, 133 to 135, 137) and
 * "nulls" (null texts to 110, 120, 121, 122, 136 and 137). */
#include <corvane/plugin.h>
#include <string.h>

#include "plugin_log.h"

#define FIRST_FUNCTION 110
#define LAST_FUNCTION 139

static TPluginModule g_module;
static intptr_t g_functions[LAST_FUNCTION - FIRST_FUNCTION + 1];

/* The address of one of the bot's functions; a missing one is logged, not called. */
static intptr_t need(int32_t number) {
  intptr_t address = g_functions[number - FIRST_FUNCTION];
  if (address == 0) plugin_log("missing %d", (int)number);
  return address;
}

static void send_reply(const char* name, const char* args) {
  TSendText send = (TSendText)need(CORVANE_FN_SEND_TEXT);
  char reply[600];
  snprintf(reply, sizeof reply, "%s ran: %s", name, args != NULL ? args : "");
  if (send != NULL) send(reply);
}

static uint8_t log_user(const char* name, const char* clan, const char* statstring, int32_t ping,
                        uint32_t flags) {
  plugin_log("user %s %s %s %d %u", plugin_log_text(name), plugin_log_text(clan),
             plugin_log_text(statstring), (int)ping, (unsigned)flags);
  return 1;
}

static uint8_t log_clan_member(const char* name, uint32_t rank, uint8_t online) {
  plugin_log("clan %s %u %u", plugin_log_text(name), (unsigned)rank, (unsigned)online);
  return 0;
}

static void log_info(void) {
  TGetText profile = (TGetText)need(CORVANE_FN_PROFILE_NAME);
  TGetText whisperer = (TGetText)need(CORVANE_FN_LAST_WHISPERER);
  TGetText channel = (TGetText)need(CORVANE_FN_CHANNEL);
  TIsOperator is_operator = (TIsOperator)need(CORVANE_FN_IS_OPERATOR);
  TMainWindow window = (TMainWindow)need(CORVANE_FN_MAIN_WINDOW);
  if (profile != NULL) plugin_log("profile %s", plugin_log_text(profile()));
  if (whisperer != NULL) plugin_log("whisperer %s", plugin_log_text(whisperer()));
  if (channel != NULL) plugin_log("channel %s", plugin_log_text(channel()));
  if (is_operator != NULL) plugin_log("op %u", (unsigned)is_operator("Boss"));
  if (window != NULL) plugin_log("window %lld", (long long)window());
}

static void pass_nulls(void) {
  TSendText send = (TSendText)need(CORVANE_FN_SEND_TEXT);
  TShowText show = (TShowText)need(CORVANE_FN_SHOW_TEXT);
  TShowColouredText show_coloured = (TShowColouredText)need(CORVANE_FN_SHOW_COLOURED_TEXT);
  TShowChatMessage show_chat = (TShowChatMessage)need(CORVANE_FN_SHOW_CHAT_MESSAGE);
  TSendText send_now = (TSendText)need(CORVANE_FN_SEND_TEXT_NOW);
  TIsOperator is_operator = (TIsOperator)need(CORVANE_FN_IS_OPERATOR);
  if (send != NULL) send(NULL);
  if (show != NULL) show(NULL);
  if (show_coloured != NULL) show_coloured(NULL, 0x0000FF00u);
  if (show_chat != NULL) show_chat(NULL, 0x00FFFFFFu, NULL, 0x00FFFFFFu);
  if (send_now != NULL) send_now(NULL);
  if (is_operator != NULL) is_operator(NULL);
  plugin_log("nulls done");
}

static uint8_t alpha(const char* speaker, const char* args, const char* flags, int32_t ping,
                     uint32_t bnet_flags, int32_t source) {
  (void)flags;
  (void)ping;
  (void)bnet_flags;
  (void)source;
  plugin_log("run alpha %s %s", plugin_log_text(speaker), plugin_log_text(args));
  const char* action = args != NULL ? args : "";
  if (strcmp(action, "who") == 0) {
    TListChannelUsers list = (TListChannelUsers)need(CORVANE_FN_LIST_CHANNEL_USERS);
    if (list != NULL) list(log_user);
  } else if (strcmp(action, "clan") == 0) {
    TListClanMembers list = (TListClanMembers)need(CORVANE_FN_LIST_CLAN_MEMBERS);
    if (list != NULL) list(log_clan_member);
  } else if (strcmp(action, "info") == 0) {
    log_info();
  } else if (strcmp(action, "nulls") == 0) {
    pass_nulls();
  } else {
    send_reply("alpha", args);
  }
  return 1;
}

static uint8_t beta(const char* speaker, const char* args, const char* flags, int32_t ping,
                    uint32_t bnet_flags, int32_t source) {
  (void)flags;
  (void)ping;
  (void)bnet_flags;
  (void)source;
  plugin_log("run beta %s %s", plugin_log_text(speaker), plugin_log_text(args));
  send_reply("beta", args);
  return 1;
}

static void add_commands(void) {
  TAddCommand add = (TAddCommand)need(CORVANE_FN_ADD_COMMAND);
  if (add == NULL) return;
  int32_t result = add(g_module, "alpha", "", 40, 1, alpha, CORVANE_ADD_REPLACE);
  plugin_log("add alpha %d", (int)result);
  result = add(g_module, "beta", "", 40, 1, beta, CORVANE_ADD_KEEP);
  plugin_log("add beta %d", (int)result);
}

static void remove_gamma(void) {
  TRemoveCommand remove = (TRemoveCommand)need(CORVANE_FN_REMOVE_COMMAND);
  if (remove != NULL) plugin_log("remove gamma %u", (unsigned)remove(g_module, "gamma"));
}

CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out) {
  (void)module;
  plugin_log("info %d", (int)info);
  if (out != NULL && info == CORVANE_INFO_NAME) *out = "Commands";
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first,
                                  intptr_t second) {
  (void)second;
  g_module = module;
  plugin_log("msg %d", (int)message);
  if (message >= FIRST_FUNCTION && message <= LAST_FUNCTION) {
    g_functions[message - FIRST_FUNCTION] = first;
  } else if (message == CORVANE_MSG_LOAD_END) {
    add_commands();
    remove_gamma();
  } else if (message == CORVANE_MSG_COMMANDS_RESET || message == CORVANE_MSG_PROFILE_SWITCHED) {
    add_commands();
  } else if (message == CORVANE_MSG_CLAN_INVITATION && first != 0) {
    const TClanInvitationResult* invitation = (const TClanInvitationResult*)first;
    plugin_log("invite %u %u %s|%s", (unsigned)invitation->size, (unsigned)invitation->result,
               plugin_log_text(invitation->user), plugin_log_text(invitation->message));
  } else if (message == CORVANE_MSG_CLAN_MEMBER && first != 0) {
    const TClanMemberStatus* member = (const TClanMemberStatus*)first;
    plugin_log("member %u %u %u %s", (unsigned)member->size, (unsigned)member->rank,
               (unsigned)member->online, plugin_log_text(member->name));
  }
}

CORVANE_EXPORT void ChatEvent(int32_t event, const char* user, const char* text, uint32_t flags,
                              int32_t ping) {
  plugin_log("event %d %s|%s %u %d", (int)event, plugin_log_text(user), plugin_log_text(text),
             (unsigned)flags, (int)ping);
}
