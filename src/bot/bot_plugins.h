#pragma once
// Native plug-ins: shared objects in the plugins/ folder that export the functions of the
// plug-in interface (include/corvane/plugin.h). The system loads them, hands each the table
// of the bot's functions, passes them chat events and bot events, and lets them add
// commands that dispatch calls.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bot/bot_host.h"
#include "corvane/plugin.h"

namespace corvane {

// What plug-ins reach of the bot beyond the bot logic's own interface.
class TPluginHost {
 public:
  virtual ~TPluginHost() = default;
  virtual TBotHost& Bot() = 0;
  virtual void AddChatMessage(const std::string& head, TColor head_color, const std::string& body,
                              TColor body_color) = 0;
  virtual std::intptr_t MainWindowId() const = 0;
  virtual std::string ProfileName() const = 0;
  virtual std::string LastWhisperer() const = 0;
  virtual std::string CurrentChannel() const = 0;
  virtual void ProcessOutgoingLine(const std::string& line) = 0;
};

// One loaded library.
struct TBotPlugin {
  void* Module = nullptr;  // the dlopen handle; none after unloading
  std::string FileName;    // full path
  std::string Name;        // info item 10
  std::string Info11, Info12, Info13;
  std::array<std::uint8_t, 4> Info14{};
  TGetPluginInfo GetPluginInfo = nullptr;
  TPluginMessage PluginMessage = nullptr;
  TChatEvent ChatEvent = nullptr;  // optional

  // The plug-in's identity in its calls to the bot.
  TPluginModule Id() const { return reinterpret_cast<TPluginModule>(Module); }
  // The file name without its folder: the owner recorded with its commands.
  std::string BaseName() const;
};

// Load statuses.
inline constexpr int kPluginLoaded = 0;
inline constexpr int kPluginAlreadyLoaded = 1;
inline constexpr int kPluginCannotLoad = 2;
inline constexpr int kPluginMissingExports = 3;

class TBotPluginSystem {
 public:
  // One system is active at a time: the bot's functions that plug-ins call carry no
  // context, so they reach the system through it.
  explicit TBotPluginSystem(TPluginHost& host);
  ~TBotPluginSystem();  // unloads every plug-in in load order
  TBotPluginSystem(const TBotPluginSystem&) = delete;
  TBotPluginSystem& operator=(const TBotPluginSystem&) = delete;

  // Loads every "*.so" file of the folder, reporting in the chat pane; the number loaded.
  int StartPlugins(const std::string& folder);
  int LoadPlugin(const std::string& path);
  void UnloadPlugin(TBotPlugin& plugin);

  void BroadcastChatEvent(std::int32_t event, const std::string& user, const std::string& text,
                          std::uint32_t flags, std::int32_t ping) const;
  void BroadcastMessage(std::int32_t message, std::intptr_t first, std::intptr_t second) const;
  // Messages 10101 and 10104 with their records.
  void BroadcastClanInvitationResult(std::uint32_t result, const std::string& user,
                                     const std::string& message) const;
  void BroadcastClanMemberStatus(std::uint8_t rank, std::uint8_t online,
                                 const std::string& name) const;

  const std::vector<std::unique_ptr<TBotPlugin>>& Plugins() const { return plugins_; }

 private:
  friend struct TPluginFunctions;
  TBotPlugin* FindLoaded(TPluginModule module) const;

  TPluginHost& host_;
  std::vector<std::unique_ptr<TBotPlugin>> plugins_;
  // Texts handed out by functions 133 to 135: valid until the next call.
  std::string profile_text_, whisperer_text_, channel_text_;
};

}  // namespace corvane
