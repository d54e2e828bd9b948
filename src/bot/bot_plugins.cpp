#include "bot/bot_plugins.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "bnet/bnet.h"
#include "bot/ChEvents.h"
#include "bot/command_processor.h"
#include "bot/plugin_file.h"
#include "config/Operations.h"
#include "config/colors.h"
#include "config/language.h"
#include "config/language_sections.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// The one system that the context-free functions of the table act on.
TBotPluginSystem* g_active = nullptr;

// Texts from a plug-in may be null: an empty text, never a crash.
std::string Text(const char* p) {
  return p != nullptr ? std::string(p) : std::string();
}

// The interface gives colours as 0x00BBGGRR; panes take 0xRRGGBB.
TColor FromBgr(std::uint32_t bgr) {
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

}  // namespace

// The bot's functions as the plug-ins call them (C calling convention, no context).
struct TPluginFunctions {
  static TPluginHost* Host() { return g_active != nullptr ? &g_active->host_ : nullptr; }

  static void SendText(const char* text) {
    if (TPluginHost* h = Host()) h->Bot().QueueLine(Text(text));
  }
  static void ShowText(const char* text) {
    if (TPluginHost* h = Host()) h->Bot().AddChatLine(Text(text), kLime);
  }
  static void ShowColouredText(const char* text, std::uint32_t colour) {
    if (TPluginHost* h = Host()) h->Bot().AddChatLine(Text(text), FromBgr(colour));
  }
  static void ShowChatMessage(const char* head, std::uint32_t head_colour, const char* body,
                              std::uint32_t body_colour) {
    if (TPluginHost* h = Host()) {
      h->AddChatMessage(Text(head), FromBgr(head_colour), Text(body), FromBgr(body_colour));
    }
  }
  static std::intptr_t MainWindow() {
    TPluginHost* h = Host();
    return h != nullptr ? h->MainWindowId() : 0;
  }
  static std::int32_t AddCommand(TPluginModule module, const char* name, const char* flags,
                                 std::int32_t access, std::uint8_t enabled, TBotCmdProc proc,
                                 std::uint8_t mode) {
    if (g_active == nullptr) return -1;
    const TBotPlugin* plugin = g_active->FindLoaded(module);
    if (plugin == nullptr) return -1;
    TBotCommandControl& db = g_active->host_.Bot().Database();
    db.AddPluginCommand(plugin->BaseName(), Text(name), mode, proc, enabled != 0, access,
                        Text(flags));
    db.SortCommands();
    return 0;
  }
  static std::uint8_t RemoveCommand(TPluginModule module, const char* name) {
    if (g_active == nullptr) return 0;
    const TBotPlugin* plugin = g_active->FindLoaded(module);
    if (plugin == nullptr) return 0;
    g_active->host_.Bot().Database().DeletePluginCommand(Text(name), plugin->BaseName());
    return 1;
  }
  static const char* ProfileName() {
    if (g_active == nullptr) return "";
    g_active->profile_text_ = g_active->host_.ProfileName();
    return g_active->profile_text_.c_str();
  }
  static const char* LastWhisperer() {
    if (g_active == nullptr) return "";
    g_active->whisperer_text_ = g_active->host_.LastWhisperer();
    return g_active->whisperer_text_.c_str();
  }
  static const char* Channel() {
    if (g_active == nullptr) return "";
    g_active->channel_text_ = g_active->host_.CurrentChannel();
    return g_active->channel_text_.c_str();
  }
  static void SendTextNow(const char* text) {
    if (TPluginHost* h = Host()) h->ProcessOutgoingLine(Text(text));
  }
  static std::uint8_t IsOperator(const char* name) {
    TPluginHost* h = Host();
    return h != nullptr && IsChannelOperator(h->Bot(), Text(name)) ? 1 : 0;
  }
  static void ListChannelUsers(TChannelUserCallback callback) {
    TPluginHost* h = Host();
    if (h == nullptr || callback == nullptr) return;
    // By position, each entry taken afresh: nothing a callback does may leave a dangling
    // reference behind.
    for (std::size_t i = 0; i < h->Bot().Roster().size(); ++i) {
      const TUser u = h->Bot().Roster()[i];
      if (callback(u.Name.c_str(), u.Clan.c_str(), u.Info.c_str(),
                   static_cast<std::int32_t>(u.Ping), u.Flags & 0xFFu) == 1) {
        break;
      }
    }
  }
  static void ListClanMembers(TClanMemberCallback callback) {
    TPluginHost* h = Host();
    if (h == nullptr || callback == nullptr || h->Bot().Session() == nullptr) return;
    for (std::size_t i = 0; i < h->Bot().Session()->ClanMembers().size(); ++i) {
      const TUser u = h->Bot().Session()->ClanMembers()[i];
      if (callback(u.Name.c_str(), static_cast<std::uint32_t>(u.Rank), u.Status) != 0) break;
    }
  }
};

namespace {

// The function table in the order it is handed over.
struct TTableEntry {
  std::int32_t number;
  std::intptr_t address;
};

const std::array<TTableEntry, 14>& FunctionTable() {
  using F = TPluginFunctions;
  const auto a = [](auto fn) { return reinterpret_cast<std::intptr_t>(fn); };
  static const std::array<TTableEntry, 14> table = {{
      {CORVANE_FN_SEND_TEXT, a(&F::SendText)},
      {CORVANE_FN_SHOW_TEXT, a(&F::ShowText)},
      {CORVANE_FN_SHOW_COLOURED_TEXT, a(&F::ShowColouredText)},
      {CORVANE_FN_SHOW_CHAT_MESSAGE, a(&F::ShowChatMessage)},
      {CORVANE_FN_MAIN_WINDOW, a(&F::MainWindow)},
      {CORVANE_FN_ADD_COMMAND, a(&F::AddCommand)},
      {CORVANE_FN_REMOVE_COMMAND, a(&F::RemoveCommand)},
      {CORVANE_FN_PROFILE_NAME, a(&F::ProfileName)},
      {CORVANE_FN_LAST_WHISPERER, a(&F::LastWhisperer)},
      {CORVANE_FN_CHANNEL, a(&F::Channel)},
      {CORVANE_FN_SEND_TEXT_NOW, a(&F::SendTextNow)},
      {CORVANE_FN_IS_OPERATOR, a(&F::IsOperator)},
      {CORVANE_FN_LIST_CHANNEL_USERS, a(&F::ListChannelUsers)},
      {CORVANE_FN_LIST_CLAN_MEMBERS, a(&F::ListClanMembers)},
  }};
  return table;
}

}  // namespace

std::string TBotPlugin::BaseName() const {
  return fs::path(FileName).filename().string();
}

TBotPluginSystem::TBotPluginSystem(TPluginHost& host) : host_(host) {
  g_active = this;
}

TBotPluginSystem::~TBotPluginSystem() {
  for (const auto& p : plugins_) {
    if (p->Module != nullptr) UnloadPlugin(*p);
  }
  plugins_.clear();
  if (g_active == this) g_active = nullptr;
}

TBotPlugin* TBotPluginSystem::FindLoaded(TPluginModule module) const {
  for (const auto& p : plugins_) {
    if (p->Module != nullptr && p->Id() == module) return p.get();
  }
  return nullptr;
}

int TBotPluginSystem::StartPlugins(const std::string& folder) {
  const TLanguage& lang = host_.Bot().Language();
  TBotHost& bot = host_.Bot();
  bot.AddChatLine("[PLUGIN] " + lang.Text(kPluginSection, "1"), kGreen);

  // Files only, in name order (the order of a directory listing is the file system's).
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    std::error_code type_ec;
    if (path.extension() == ".so" && fs::is_regular_file(path, type_ec)) files.push_back(path);
  }
  std::sort(files.begin(), files.end());

  int loaded = 0;
  for (const fs::path& path : files) {
    const int status = LoadPlugin(path.string());
    if (status == kPluginLoaded) {
      ++loaded;
      continue;
    }
    std::string line = lang.Text(kPluginSection, "4");
    ReplaceAll(line, "%code", std::to_string(status));
    ReplaceAll(line, "%dllname", path.filename().string());
    bot.AddChatLine("[PLUGIN] " + line, kRed);
  }
  std::string done = lang.Text(kPluginSection, "2");
  ReplaceAll(done, "%d", std::to_string(loaded));
  bot.AddChatLine("[PLUGIN] " + done, kGreen);
  return loaded;
}

int TBotPluginSystem::LoadPlugin(const std::string& path) {
  const std::string base = fs::path(path).filename().string();
  for (const auto& p : plugins_) {
    if (p->Module != nullptr && EqualsNoCase(p->BaseName(), base)) return kPluginAlreadyLoaded;
  }
  // RTLD_LOCAL: one plug-in's symbols never stand in for another's.
  void* module = LooksLoadable(path) ? dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (module == nullptr) return kPluginCannotLoad;
  auto get_info = reinterpret_cast<TGetPluginInfo>(dlsym(module, "GetPluginInfo"));
  auto message = reinterpret_cast<TPluginMessage>(dlsym(module, "PluginMessage"));
  auto chat_event = reinterpret_cast<TChatEvent>(dlsym(module, "ChatEvent"));
  if (get_info == nullptr || message == nullptr) {
    dlclose(module);
    return kPluginMissingExports;
  }

  auto plugin = std::make_unique<TBotPlugin>();
  plugin->Module = module;
  plugin->FileName = path;
  plugin->GetPluginInfo = get_info;
  plugin->PluginMessage = message;
  plugin->ChatEvent = chat_event;
  const auto info_text = [&](std::int32_t item) {
    const void* out = nullptr;
    get_info(plugin->Id(), item, &out);
    return Text(static_cast<const char*>(out));
  };
  plugin->Name = info_text(CORVANE_INFO_NAME);
  plugin->Info11 = info_text(CORVANE_INFO_11);
  plugin->Info12 = info_text(CORVANE_INFO_12);
  plugin->Info13 = info_text(CORVANE_INFO_13);
  const void* four = nullptr;
  get_info(plugin->Id(), CORVANE_INFO_14, &four);
  if (four != nullptr)
    std::copy_n(static_cast<const std::uint8_t*>(four), 4, plugin->Info14.begin());

  // Listed before the hand-over, so that functions 131 and 132 find it by its module.
  TBotPlugin& p = *plugins_.emplace_back(std::move(plugin));
  const TPluginModule id = p.Id();
  message(id, CORVANE_MSG_LOAD_BEGIN, 0, 0);
  for (const TTableEntry& e : FunctionTable()) message(id, e.number, e.address, 0);
  message(id, CORVANE_MSG_LOAD_END, 0, 0);

  std::string line = host_.Bot().Language().Text(kPluginSection, "3");
  ReplaceAll(line, "%dllname", base);
  ReplaceAll(line, "%pluname", p.Name);
  host_.Bot().AddChatLine("[PLUGIN] " + line, kGreen);
  return kPluginLoaded;
}

void TBotPluginSystem::UnloadPlugin(TBotPlugin& plugin) {
  if (plugin.Module == nullptr) return;
  const std::string base = plugin.BaseName();
  host_.Bot().Database().ForgetPluginProcedures(base);
  plugin.PluginMessage(plugin.Id(), CORVANE_MSG_UNLOAD, 0, 0);
  dlclose(plugin.Module);
  plugin.Module = nullptr;
}

void TBotPluginSystem::BroadcastChatEvent(std::int32_t event, const std::string& user,
                                          const std::string& text, std::uint32_t flags,
                                          std::int32_t ping) const {
  for (std::size_t i = 0; i < plugins_.size(); ++i) {
    const TBotPlugin& p = *plugins_[i];
    if (p.Module != nullptr && p.ChatEvent != nullptr) {
      p.ChatEvent(event, user.c_str(), text.c_str(), flags, ping);
    }
  }
}

void TBotPluginSystem::BroadcastMessage(std::int32_t message, std::intptr_t first,
                                        std::intptr_t second) const {
  // By position: a plug-in may be loaded or unloaded from inside a message.
  for (std::size_t i = 0; i < plugins_.size(); ++i) {
    const TBotPlugin& p = *plugins_[i];
    if (p.Module != nullptr) p.PluginMessage(p.Id(), message, first, second);
  }
}

void TBotPluginSystem::BroadcastClanInvitationResult(std::uint32_t result, const std::string& user,
                                                     const std::string& message) const {
  const TClanInvitationResult record{sizeof(TClanInvitationResult), result, user.c_str(),
                                     message.c_str()};
  BroadcastMessage(CORVANE_MSG_CLAN_INVITATION, reinterpret_cast<std::intptr_t>(&record), 0);
}

void TBotPluginSystem::BroadcastClanMemberStatus(std::uint8_t rank, std::uint8_t online,
                                                 const std::string& name) const {
  const TClanMemberStatus record{sizeof(TClanMemberStatus), rank, online, name.c_str()};
  BroadcastMessage(CORVANE_MSG_CLAN_MEMBER, reinterpret_cast<std::intptr_t>(&record), 0);
}

}  // namespace corvane
