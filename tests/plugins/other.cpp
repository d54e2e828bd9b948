// Test plug-in, written in C++: adds the command "gamma" (mode 0) and tries to remove
// "alpha", a command that another plug-in owns, logging "remove alpha <result>".
#include <corvane/plugin.h>

#include "plugin_log.h"

namespace {
TAddCommand g_add = nullptr;
TRemoveCommand g_remove = nullptr;
uint8_t Gamma(const char*, const char*, const char*, int32_t, uint32_t, int32_t) {
  return 1;
}
}  // namespace

CORVANE_EXPORT void GetPluginInfo(TPluginModule, int32_t info, const void** out) {
  plugin_log("info %d", static_cast<int>(info));
  if (out != nullptr && info == CORVANE_INFO_NAME) *out = "Other";
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first, intptr_t) {
  plugin_log("msg %d", static_cast<int>(message));
  if (message == CORVANE_FN_ADD_COMMAND) g_add = reinterpret_cast<TAddCommand>(first);
  if (message == CORVANE_FN_REMOVE_COMMAND) g_remove = reinterpret_cast<TRemoveCommand>(first);
  if (message == CORVANE_MSG_LOAD_END) {
    g_add(module, "gamma", "", 0, 1, Gamma, CORVANE_ADD_NEW);
    plugin_log("remove alpha %u", static_cast<unsigned>(g_remove(module, "alpha")));
  }
}
