// Test plug-in: the two required exports only; every info item has a value.
#include <corvane/plugin.h>

#include "plugin_log.h"

static const uint8_t kFourBytes[4] = {1, 2, 3, 4};
static const char* const kTexts[] = {"InfoOnly", "eleven", "twelve", "thirteen"};

CORVANE_EXPORT void GetPluginInfo(TPluginModule module, int32_t info, const void** out) {
  (void)module;
  plugin_log("info %d", (int)info);
  if (out != NULL && info >= CORVANE_INFO_NAME && info <= CORVANE_INFO_13) {
    *out = kTexts[info - CORVANE_INFO_NAME];
  } else if (out != NULL && info == CORVANE_INFO_14) {
    *out = kFourBytes;
  }
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first,
                                  intptr_t second) {
  (void)module, (void)first, (void)second;
  plugin_log("msg %d", (int)message);
}
