/* eightball: the command "8ball QUESTION" answers a yes-or-no question. */
#include <corvane/plugin.h>
#include <stdio.h>
#include <time.h>

static TSendText send_text;
static TAddCommand add_command;

static const char* const answers[] = {
    "It is certain.",     "Without a doubt.",   "Ask again later.", "Cannot predict now.",
    "Don't count on it.", "My sources say no.", "Outlook good.",    "Very doubtful.",
};

static uint8_t eightball(const char* speaker, const char* args, const char* flags, int32_t ping,
                         uint32_t bnet_flags, int32_t source) {
  char reply[256];
  unsigned long mix = (unsigned long)time(NULL);
  (void)flags, (void)ping, (void)bnet_flags, (void)source;
  if (speaker == NULL) speaker = "";
  if (args == NULL || args[0] == '\0') {
    snprintf(reply, sizeof reply, "%s: ask me a question.", speaker);
  } else {
    for (const char* c = args; *c != '\0'; c++) mix = mix * 31 + (unsigned char)*c;
    snprintf(reply, sizeof reply, "%s: %s", speaker,
             answers[mix % (sizeof answers / sizeof answers[0])]);
  }
  send_text(reply);
  return 1;
}

CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out) {
  (void)module;
  if (info == CORVANE_INFO_NAME) *out = "Eightball";
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first,
                                  intptr_t second) {
  (void)second;
  if (message == CORVANE_FN_SEND_TEXT) send_text = (TSendText)first;
  if (message == CORVANE_FN_ADD_COMMAND) add_command = (TAddCommand)first;
  /* Added at load, and again whenever the bot's commands were replaced. */
  if (message == CORVANE_MSG_LOAD_END || message == CORVANE_MSG_COMMANDS_RESET ||
      message == CORVANE_MSG_PROFILE_SWITCHED) {
    add_command(module, "8ball", "", 0, 1, eightball, CORVANE_ADD_KEEP);
  }
}
