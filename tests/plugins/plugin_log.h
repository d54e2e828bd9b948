// Logging for the test plug-ins: one line per call, appended to the file that
// CORVANE_PLUGIN_LOG names (opened and closed for every line, so each is on disk before
// the call returns and nothing stays open after unloading). Every plug-in logs
// "info <n>" and "msg <n>" for GetPluginInfo and PluginMessage; its other lines are
// described in its file.
#ifndef CORVANE_PLUGIN_LOG_H
#define CORVANE_PLUGIN_LOG_H

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

static inline __attribute__((format(printf, 1, 2))) void plugin_log(const char* format, ...) {
  const char* path = getenv("CORVANE_PLUGIN_LOG");
  FILE* file = path != NULL && path[0] != '\0' ? fopen(path, "a") : NULL;
  if (file == NULL) return;
  va_list args;
  va_start(args, format);
  vfprintf(file, format, args);
  va_end(args);
  fputc('\n', file);
  fclose(file);
}

// A text as logged: "(null)" for a null pointer, so that a test sees one.
static inline const char* or_null(const char* text) {
  return text != NULL ? text : "(null)";
}

#endif  // CORVANE_PLUGIN_LOG_H
