// Test plug-in: lacks the required PluginMessage export, so the bot must refuse it (and
// never ask it for its info: that would be logged).
#include <corvane/plugin.h>

#include "plugin_log.h"

CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out) {
  (void)module;
  plugin_log("info %d", (int)info);
  if (out != NULL && info == CORVANE_INFO_NAME) *out = "NoMessage";
}
