/*
 * seen: remembers when each channel member was last seen and what he did then, and answers
 * "seen NAME" in the channel (or by whisper, when asked by whisper):
 *   Alice was last seen 5 minutes ago, saying: hi
 *   I have not seen Bob.
 * The command needs access 10 at first; the owner may change that and it stays changed.
 * The memory lasts while the plug-in is loaded.
 */
#include <corvane/plugin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define MAX_NAMES 1000 /* when full, the member seen longest ago is forgotten */
#define NAME_SIZE 64   /* longer names are cut, alike when stored and when asked for */
#define TEXT_SIZE 128  /* what he said, cut so that the answer fits one chat line */

typedef struct Sighting {
  char name[NAME_SIZE];
  char text[TEXT_SIZE];
  int32_t event;
  time_t when;
} Sighting;

static TSendText g_send;
static TAddCommand g_add_command;
static Sighting* g_table;
static size_t g_count;
static size_t g_capacity;

/* Copies at most size - 1 bytes and always ends the copy; a null text copies as empty. */
static void copy_cut(char* to, size_t size, const char* from) {
  size_t n = 0;
  if (from != NULL) {
    while (n + 1 < size && from[n] != '\0') {
      to[n] = from[n];
      n++;
    }
  }
  to[n] = '\0';
}

/* Chat names differ only in ASCII letter case; other bytes depend on the code page. */
static int same_name(const char* a, const char* b) {
  for (;; a++, b++) {
    int x = (*a >= 'A' && *a <= 'Z') ? *a - 'A' + 'a' : *a;
    int y = (*b >= 'A' && *b <= 'Z') ? *b - 'A' + 'a' : *b;
    if (x != y) return 0;
    if (x == '\0') return 1;
  }
}

static Sighting* find(const char* name) {
  for (size_t i = 0; i < g_count; i++) {
    if (same_name(g_table[i].name, name)) return &g_table[i];
  }
  return NULL;
}

/* A free record, or the one seen longest ago when the table is full or memory is short. */
static Sighting* make_room(void) {
  if (g_count == g_capacity && g_capacity < MAX_NAMES) {
    size_t capacity = g_capacity == 0 ? 64 : g_capacity * 2;
    if (capacity > MAX_NAMES) capacity = MAX_NAMES;
    Sighting* grown = realloc(g_table, capacity * sizeof *grown);
    if (grown != NULL) {
      g_table = grown;
      g_capacity = capacity;
    }
  }
  if (g_count < g_capacity) return &g_table[g_count++];
  if (g_count == 0) return NULL;
  Sighting* oldest = &g_table[0];
  for (size_t i = 1; i < g_count; i++) {
    if (g_table[i].when < oldest->when) oldest = &g_table[i];
  }
  return oldest;
}

static void remember(int32_t event, const char* user, const char* text) {
  char name[NAME_SIZE];
  if (user == NULL || user[0] == '\0') return;
  copy_cut(name, sizeof name, user);
  Sighting* sighting = find(name);
  if (sighting == NULL) sighting = make_room();
  if (sighting == NULL) return;
  memcpy(sighting->name, name, sizeof name); /* keeps the spelling he last used */
  copy_cut(sighting->text, sizeof sighting->text, text);
  sighting->event = event;
  sighting->when = time(NULL);
}

/* "5 minutes ago", "1 day ago", "just now". */
static void describe_age(char* out, size_t size, time_t then) {
  static const struct {
    long seconds;
    const char* unit;
  } units[] = {{86400, "day"}, {3600, "hour"}, {60, "minute"}, {1, "second"}};
  double elapsed = difftime(time(NULL), then);
  long seconds = elapsed > 0 ? (long)elapsed : 0;
  for (size_t i = 0; i < sizeof units / sizeof units[0]; i++) {
    long count = seconds / units[i].seconds;
    if (count > 0) {
      snprintf(out, size, "%ld %s%s ago", count, units[i].unit, count == 1 ? "" : "s");
      return;
    }
  }
  snprintf(out, size, "just now");
}

static const char* describe_event(int32_t event) {
  switch (event) {
    case CORVANE_EVENT_JOIN:
      return "joining the channel";
    case CORVANE_EVENT_LEAVE:
      return "leaving the channel";
    case CORVANE_EVENT_TALK:
      return "saying: ";
    case CORVANE_EVENT_EMOTE:
      return "emoting: ";
    default:
      return "in the channel";
  }
}

static uint8_t seen_command(const char* speaker, const char* args, const char* flags, int32_t ping,
                            uint32_t bnet_flags, int32_t source) {
  char name[NAME_SIZE];
  char prefix[NAME_SIZE + 4] = "";
  char age[32];
  char reply[512];
  (void)flags;
  (void)ping;
  (void)bnet_flags;
  if (args == NULL) args = "";
  while (*args == ' ') args++;
  copy_cut(name, sizeof name, args);
  name[strcspn(name, " ")] = '\0';

  /* A question whispered gets its answer whispered back. */
  if (source == CORVANE_SOURCE_WHISPER && speaker != NULL) {
    char who[NAME_SIZE];
    copy_cut(who, sizeof who, speaker);
    snprintf(prefix, sizeof prefix, "/w %s ", who);
  }

  const Sighting* sighting = name[0] != '\0' ? find(name) : NULL;
  if (name[0] == '\0') {
    snprintf(reply, sizeof reply, "%sWhom should I look for? Give a name after seen.", prefix);
  } else if (sighting == NULL) {
    snprintf(reply, sizeof reply, "%sI have not seen %s.", prefix, name);
  } else {
    int said = sighting->event == CORVANE_EVENT_TALK || sighting->event == CORVANE_EVENT_EMOTE;
    describe_age(age, sizeof age, sighting->when);
    snprintf(reply, sizeof reply, "%s%s was last seen %s, %s%s", prefix, sighting->name, age,
             describe_event(sighting->event), said ? sighting->text : "");
  }
  if (g_send != NULL) g_send(reply);
  return 1;
}

CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out) {
  (void)module;
  if (out != NULL && info == CORVANE_INFO_NAME) *out = "Seen";
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first,
                                  intptr_t second) {
  (void)second;
  switch (message) {
    case CORVANE_FN_SEND_TEXT:
      g_send = (TSendText)first;
      break;
    case CORVANE_FN_ADD_COMMAND:
      g_add_command = (TAddCommand)first;
      break;
    case CORVANE_MSG_LOAD_END:
    case CORVANE_MSG_COMMANDS_RESET:
    case CORVANE_MSG_PROFILE_SWITCHED:
      /* Mode 2: a command the owner has edited keeps his access, flags and switch. */
      if (g_add_command != NULL) {
        g_add_command(module, "seen", "", 10, 1, seen_command, CORVANE_ADD_KEEP);
      }
      break;
    case CORVANE_MSG_UNLOAD:
      free(g_table);
      g_table = NULL;
      g_count = g_capacity = 0;
      break;
    default:
      break;
  }
}

CORVANE_EXPORT void ChatEvent(int32_t event, const char* user, const char* text, uint32_t flags,
                              int32_t ping) {
  (void)flags;
  (void)ping;
  switch (event) {
    case CORVANE_EVENT_SHOW_USER:
    case CORVANE_EVENT_JOIN:
    case CORVANE_EVENT_LEAVE:
    case CORVANE_EVENT_TALK:
    case CORVANE_EVENT_EMOTE:
      remember(event, user, text);
      break;
    default:
      break;
  }
}
