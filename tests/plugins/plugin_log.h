/* Logging for the test plug-ins: one line per call they receive, appended to the file that
 * CORVANE_PLUGIN_LOG names, so that the loader's tests can read what the bot did. The file
 * is opened and closed for every line: each line is on disk before the call returns, and
 * nothing stays open once the plug-in is unloaded. A null text is logged as "(null)".
 *
 * The lines, <n> being decimal:
 *   every plug-in:   info <n>                           GetPluginInfo(item n)
 *                    msg <n>                            PluginMessage(message n)
 *   commands, other: event <n> <user>|<text> <flags> <ping>   ChatEvent
 *                    run <command> <speaker> <args>    a command procedure ran
 *                    add <command> <result>            function 131 returned
 *                    remove <command> <result>         function 132 returned
 *   commands:        user <name> <clan> <statstring> <ping> <flags>   138's callback
 *                    clan <name> <rank> <online>       139's callback
 *                    profile|whisperer|channel <text>  133, 134, 135
 *                    op <result>                       137 for "Boss"
 *                    window <id>                       130
 *                    nulls done                        null texts to 110, 120-122, 136, 137
 *                    invite <size> <result> <user>|<message>   message 10101
 *                    member <size> <rank> <online> <name>      message 10104
 *                    missing <n>                       function n was not handed over */
#ifndef CORVANE_PLUGIN_LOG_H
#define CORVANE_PLUGIN_LOG_H

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#if defined(__GNUC__)
#define PLUGIN_LOG_PRINTF __attribute__((format(printf, 1, 2)))
#else
#define PLUGIN_LOG_PRINTF
#endif

static inline PLUGIN_LOG_PRINTF void plugin_log(const char* format, ...) {
  const char* path = getenv("CORVANE_PLUGIN_LOG");
  if (path == NULL || path[0] == '\0') return;
  FILE* file = fopen(path, "a");
  if (file == NULL) return;
  va_list args;
  va_start(args, format);
  vfprintf(file, format, args);
  va_end(args);
  fputc('\n', file);
  fclose(file);
}

/* A text as logged: "(null)" for a null pointer, so that a test sees one. */
static inline const char* plugin_log_text(const char* text) {
  return text != NULL ? text : "(null)";
}

#endif /* CORVANE_PLUGIN_LOG_H */
