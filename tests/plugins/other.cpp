// Test plug-in, written in C++: adds the command "gamma" (mode 0) and tries to remove
// "alpha", a command that another plug-in owns.
#include <corvane/plugin.h>

#include <cstdio>

#include "plugin_log.h"

namespace {

TPluginModule g_module = 0;
TSendText g_send = nullptr;
TAddCommand g_add = nullptr;
TRemoveCommand g_remove = nullptr;

uint8_t Gamma(const char* speaker, const char* args, const char*, int32_t, uint32_t, int32_t) {
  plugin_log("run gamma %s %s", plugin_log_text(speaker), plugin_log_text(args));
  char reply[600];
  std::snprintf(reply, sizeof reply, "gamma ran: %s", args != nullptr ? args : "");
  if (g_send != nullptr) g_send(reply);
  return 1;
}

template <typename F>
F Function(intptr_t address) {
  return reinterpret_cast<F>(address);
}

}  // namespace

CORVANE_EXPORT void GetPluginInfo(TPluginModule, int32_t info, const void** out) {
  plugin_log("info %d", static_cast<int>(info));
  if (out != nullptr && info == CORVANE_INFO_NAME) *out = "Other";
}

CORVANE_EXPORT void PluginMessage(TPluginModule module, int32_t message, intptr_t first, intptr_t) {
  g_module = module;
  plugin_log("msg %d", static_cast<int>(message));
  switch (message) {
    case CORVANE_FN_SEND_TEXT:
      g_send = Function<TSendText>(first);
      break;
    case CORVANE_FN_ADD_COMMAND:
      g_add = Function<TAddCommand>(first);
      break;
    case CORVANE_FN_REMOVE_COMMAND:
      g_remove = Function<TRemoveCommand>(first);
      break;
    case CORVANE_MSG_LOAD_END:
      if (g_add != nullptr) {
        plugin_log("add gamma %d",
                   static_cast<int>(g_add(g_module, "gamma", "", 0, 1, Gamma, CORVANE_ADD_NEW)));
      }
      if (g_remove != nullptr) {
        plugin_log("remove alpha %u", static_cast<unsigned>(g_remove(g_module, "alpha")));
      }
      break;
    default:
      break;
  }
}

CORVANE_EXPORT void ChatEvent(int32_t event, const char* user, const char* text, uint32_t flags,
                              int32_t ping) {
  plugin_log("event %d %s|%s %u %d", static_cast<int>(event), plugin_log_text(user),
             plugin_log_text(text), static_cast<unsigned>(flags), static_cast<int>(ping));
}
