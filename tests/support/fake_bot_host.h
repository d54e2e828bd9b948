#pragma once
// A recording TBotHost for the bot tests, the dispatch fuzz target and the benchmarks: it
// keeps every queued line and chat-pane line, owns the settings (as a missing profile.ini
// gives them), the English texts and a database holding the internal commands bound to
// this host, and plays the roster, the protection mode, the timers and the clock.
// TLoopbackSession gives a session that is connected, to fake servers on 127.0.0.1.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bnet/bnet.h"
#include "bot/bot_host.h"
#include "bot/command_processor.h"
#include "bot/internal_commands.h"
#include "config/get_settings.h"
#include "config/language.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"
#include "support/fake_tcp_server.h"
#include "support/session_feed.h"

namespace corvane::test {

class TFakeBotHost : public TBotHost {
 public:
  TFakeBotHost() {
    settings.Load("");
    // The new database is saved once; a path of its own keeps hosts apart.
    static std::atomic<int> serial{0};
    const std::string file = std::filesystem::temp_directory_path().string() + "/corvane_host_" +
                             std::to_string(getpid()) + "_" + std::to_string(serial++);
    db = ResetCommandDatabase(true, file,
                              [this](const std::string& n) { return InternalHandler(*this, n); });
    unlink(file.c_str());
  }
  TFakeBotHost(const TFakeBotHost&) = delete;  // the handlers hold `this`

  void QueueLine(const std::string& line, TLineKind) override { queued.push_back(line); }
  void AddChatLine(const std::string& text, TColor c) override { lines.emplace_back(text, c); }
  TBNET* Session() override { return session; }
  const TSettings& Settings() const override { return settings; }
  TBotCommandControl& Database() override { return *db; }
  const TLanguage& Language() const override { return language; }
  const std::vector<TUser>& Roster() const override { return roster; }
  const TUser* FindChannelUser(const std::string& name) const override {
    const auto it = std::ranges::find(roster, name, &TUser::Name);
    return it == roster.end() ? nullptr : &*it;
  }
  TProtectMode ProtectMode() const override { return protect; }
  void SetProtectMode(TProtectMode mode) override { protect = mode; }
  std::uint32_t TickMs() const override { return tick_ms; }
  void Quit() override { quit = true; }
  std::time_t Now() const override { return now; }

  // A line from `speaker` with the settings' trigger.
  bool Say(const std::string& speaker, const std::string& line, std::uint8_t source = kSourceTalk,
           const std::string& extra = "L", std::int32_t ping = 0) {
    return db->ProcessCommand(*this, speaker, line, settings.Trigger, extra, 0, ping, source);
  }
  // A line typed on the bot's input line.
  bool Console(const std::string& line, std::int32_t ping = 0) {
    return db->ProcessCommand(*this, "*", line, "/", "L", 0, ping, kSourceConsole);
  }
  // The anti-flood timer's tick, a second later.
  void Tick() { db->SetReady(tick_ms += 1000); }

  void AddMember(const std::string& name, std::uint8_t flags = 0, std::uint32_t ping = 0,
                 const std::string& status = "") {
    TUser& u = roster.emplace_back();
    std::tie(u.Name, u.Flags, u.Ping, u.Info) = std::tie(name, flags, ping, status);
  }
  void Clear() {
    queued.clear();
    lines.clear();
  }

  TSettings settings;
  TLanguage language;
  std::unique_ptr<TBotCommandControl> db;
  TBNET* session = nullptr;
  std::vector<TUser> roster;
  TProtectMode protect = kProtectOff;
  std::uint32_t tick_ms = 5000;
  bool quit = false;
  std::time_t now = 1700000000;

  std::vector<std::string> queued;
  std::vector<std::pair<std::string, TColor>> lines;
};

// A session whose chat and BNLS connections are open to two silent servers, taken into
// chat in "Op Room" as `unique_name`; it stays Active as long as nobody runs the loop for
// long.
class TLoopbackSession {
  // Declared first: the servers outlive the session that talks to them.
  TFakeTcpServer chat_;
  TFakeTcpServer bnls_;

 public:
  explicit TLoopbackSession(const std::string& unique_name = "Bot") {
    SocketStartup();
    TSessionConfig config;
    config.Host = config.BnlsServer = "127.0.0.1";
    config.Port = chat_.Port();
    config.BnlsPort = bnls_.Port();
    config.HomeChannel = "Op Room";
    bnet.Connect(config);
    const auto chat_up = [&] { return bnet.ChatClient().State() == TClientState::Connected; };
    connected = loop.RunUntil([&] { return chat_up() && bnet.Bnls().Connected(); }, 5000);
    EnterChat(bnet, unique_name);
  }

  TMainLoop loop;
  TBNET bnet{loop};
  bool connected = false;
};

}  // namespace corvane::test
