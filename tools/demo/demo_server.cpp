// corvane-demo-server: a chat server and a BNLS server on 127.0.0.1 with a few simulated
// channel members, so that a newcomer can watch the bot log on, join its channel, greet a
// member and answer a command without a server of their own.
//
// As soon as both listen it prints "chat 127.0.0.1 PORT" and "bnls 127.0.0.1 PORT" on
// stdout, then one "demo: ..." line for each thing that happens, among them
// "demo: BOT says: TEXT" for every line the bot sends. SIGINT or SIGTERM end it.

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bnet/sid.h"
#include "sim/sim_bnls_server.h"
#include "sim/sim_chat_server.h"

namespace {

using corvane::sim::TClientMessage;
using corvane::sim::TSimBnlsServer;
using corvane::sim::TSimChannelMember;
using corvane::sim::TSimChatServer;
using TClock = std::chrono::steady_clock;

constexpr char kProgram[] = "corvane-demo-server";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::size_t kChallengeSize = 32;   // before the account name in SID_AUTH_ACCOUNTLOGON
constexpr std::size_t kMaxChatLength = 255;  // what a server passes on of one chat line

// The simulated members; those `present` are in the channel when the bot arrives.
struct TMember {
  const char* name;
  std::uint32_t flags;
  std::uint32_t ping;
  const char* statstring;
  bool present;
};

constexpr TMember kMembers[] = {
    {"Mira", 0, 32, "PX3W 2N3W 14", true},
    {"Tovan", 0, 118, "3RAW 1O3W 6", true},
    {"Alice", 0, 47, "PX3W 3H3W 21", false},
    {"Bob", 0, 95, "PX3W 1U3W 3", false},
};

// One line of the script: `after_ms` after the line before it (the first: after the bot
// entered the channel), `user` does `event`. %bot in the text stands for the bot's name;
// a join carries the member's status string instead of a text.
struct TScriptLine {
  int after_ms;
  std::uint32_t event;
  const char* user;
  const char* text;
};

// Played each time the bot enters the demo channel. The commands need access 10 (whoami)
// and 20 (ping) in the bot's user database.
constexpr TScriptLine kOpening[] = {
    {800, corvane::EID_JOIN, "Alice", ""},
    {1200, corvane::EID_TALK, "Alice", "Hi all! Is the new bot awake?"},
    {1200, corvane::EID_WHISPER, "Alice", "psst, %bot, can you hear me?"},
    {1000, corvane::EID_TALK, "Alice", ".whoami"},
    {1800, corvane::EID_TALK, "Mira", "Welcome, %bot!"},
};

// Then these, round and round, for as long as the bot stays.
constexpr TScriptLine kIdle[] = {
    {15000, corvane::EID_TALK, "Mira", "Anyone up for a game tonight?"},
    {12000, corvane::EID_JOIN, "Bob", ""},
    {6000, corvane::EID_TALK, "Bob", "hi all"},
    {9000, corvane::EID_TALK, "Alice", ".ping Bob"},
    {14000, corvane::EID_EMOTE, "Mira", "stretches and yawns."},
    {10000, corvane::EID_LEAVE, "Bob", ""},
    {18000, corvane::EID_TALK, "Alice", ".whoami"},
};

constexpr std::size_t kOpeningSize = std::size(kOpening);
constexpr std::size_t kIdleSize = std::size(kIdle);
constexpr int kMinIdleGapMs = 5000;

constexpr const TMember* FindMember(std::string_view name) {
  for (const TMember& m : kMembers) {
    if (std::string_view(m.name) == name) return &m;
  }
  return nullptr;
}

constexpr bool ScriptIsSound() {
  for (const TScriptLine& line : kOpening) {
    if (FindMember(line.user) == nullptr || line.after_ms <= 0) return false;
  }
  for (const TScriptLine& line : kIdle) {
    if (FindMember(line.user) == nullptr || line.after_ms < kMinIdleGapMs) return false;
  }
  return true;
}
static_assert(ScriptIsSound(), "every script line names a member and waits long enough");

// The line `index` of the script: the opening, then the idle lines.
const TScriptLine& ScriptLine(std::size_t index) {
  return index < kOpeningSize ? kOpening[index] : kIdle[(index - kOpeningSize) % kIdleSize];
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// A null-terminated string at pos (up to the end of the body when it lacks the 0).
std::string ReadString(const std::string& body, std::size_t pos) {
  if (pos >= body.size()) return {};
  const std::size_t end = body.find('\0', pos);
  return body.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

// One line on stdout, flushed, so that a reader sees it at once.
std::mutex g_out_mutex;
void Out(std::string line) {
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  line.push_back('\n');
  std::lock_guard lock(g_out_mutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

struct TOptions {
  std::uint16_t chat_port = 0;
  std::uint16_t bnls_port = 0;
  std::string account = "DemoBot";
  std::string password = "demo";
  std::string channel = "Corvane Demo";
  bool help = false;
};

constexpr char kUsage[] =
    "usage: corvane-demo-server [options]\n"
    "A local chat server and BNLS server with a few simulated channel members.\n"
    "\n"
    "  --chat-port N     chat server port (0 or absent: any free port)\n"
    "  --bnls-port N     BNLS server port (0 or absent: any free port)\n"
    "  --account NAME    the account the bot logs on with (default DemoBot)\n"
    "  --password PW     its password (default demo)\n"
    "  --channel NAME    the channel of the simulated members (default \"Corvane Demo\")\n"
    "  --help            this text\n"
    "\n"
    "Prints \"chat 127.0.0.1 PORT\" and \"bnls 127.0.0.1 PORT\" once it listens, then what\n"
    "happens. SIGINT or SIGTERM end it.\n";

bool ParsePort(std::string_view text, std::uint16_t& port) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 65535)
    return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// Fills `options` from the command line; on a bad one gives false with the reason.
bool ParseOptions(int argc, char** argv, TOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    std::string value;
    bool has_value = false;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.erase(eq);
      has_value = true;
    }
    const bool known = name == "--chat-port" || name == "--bnls-port" || name == "--account" ||
                       name == "--password" || name == "--channel";
    if (!known) {
      error = "unknown option " + name;
      return false;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        error = name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (name == "--chat-port" || name == "--bnls-port") {
      if (!ParsePort(value, name == "--chat-port" ? options.chat_port : options.bnls_port)) {
        error = name + ": not a port number: " + value;
        return false;
      }
    } else if (value.empty() || value.find('\0') != std::string::npos) {
      error = name + " needs a value";
      return false;
    } else if (name == "--account") {
      options.account = value;
    } else if (name == "--password") {
      options.password = value;
    } else {
      options.channel = value;
    }
  }
  return true;
}

// Watches what the bot sends and plays the script while the bot is in the demo channel.
class TDemo {
 public:
  TDemo(const TOptions& options, TSimChatServer& chat) : options_(options), chat_(chat) {}

  // Server thread: a message from the bot, already answered by the chat server.
  void OnMessage(const TClientMessage& m) {
    std::lock_guard lock(mutex_);
    switch (m.id) {
      case corvane::SID_AUTH_INFO:
        Out("demo: bot connected, logging on");
        break;
      case corvane::SID_AUTH_ACCOUNTLOGON:
        challenge_ = m.body.substr(0, kChallengeSize);
        bot_ = ReadString(m.body, kChallengeSize);
        break;
      case corvane::SID_AUTH_ACCOUNTLOGONPROOF:
        if (!ProofRight(m.body)) {
          Out("demo: logon of " + bot_ + " refused: this server has the account " +
              options_.account + " with the password given by --password");
        }
        break;
      case corvane::SID_ENTERCHAT:
        if (chat_.LoggedOn()) Out("demo: bot logged on as " + bot_);
        break;
      case corvane::SID_JOINCHANNEL:
        Joined(chat_.Channel());
        break;
      case corvane::SID_CHATCOMMAND: {
        const std::string text = ReadString(m.body, 0);
        Out("demo: " + bot_ + " says: " + text);
        AnswerWhisper(text);
        break;
      }
      default:
        break;
    }
  }

  // Server thread: the bot's connection ended.
  void OnClose() {
    std::lock_guard lock(mutex_);
    playing_ = false;
    Out("demo: bot disconnected");
  }

  // Plays the script whenever the bot is in the demo channel, until Stop.
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (!playing_) {
        wake_.wait(lock);
      } else if (TClock::now() < due_) {
        wake_.wait_until(lock, due_);
      } else {
        // The lock stays held while the line goes out: a line of an ended visit can never
        // reach the bot's next connection.
        Play(ScriptLine(next_));
        next_ = next_ + 1 < kOpeningSize + kIdleSize ? next_ + 1 : kOpeningSize;
        due_ = TClock::now() + std::chrono::milliseconds(ScriptLine(next_).after_ms);
      }
    }
  }

  // Any thread.
  void Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    wake_.notify_all();
  }

 private:
  bool ProofRight(const std::string& proof) const {
    return proof == TSimBnlsServer::ProofAnswer(TSimChatServer::SaltAndServerKey()) &&
           challenge_ == TSimBnlsServer::ChallengeAnswer(options_.account, options_.password);
  }

  void Joined(const std::string& channel) {
    if (channel.empty()) return;  // the server did not let it in
    if (Lower(channel) != Lower(options_.channel)) {
      playing_ = false;
      Out("demo: bot joined \"" + channel + "\"; the members are in \"" + options_.channel + "\"");
      return;
    }
    present_.clear();
    std::string names;
    for (const TMember& member : kMembers) {
      if (!member.present) continue;
      present_.insert(Lower(member.name));
      names += (names.empty() ? "" : ", ") + std::string(member.name);
    }
    playing_ = true;
    next_ = 0;
    due_ = TClock::now() + std::chrono::milliseconds(ScriptLine(0).after_ms);
    wake_.notify_all();
    Out("demo: bot joined \"" + channel + "\" with " + names);
  }

  std::string Expand(const char* text) const {
    std::string out = text;
    const std::string marker = "%bot";
    for (std::size_t at = out.find(marker); at != std::string::npos;
         at = out.find(marker, at + bot_.size())) {
      out.replace(at, marker.size(), bot_);
    }
    return out;
  }

  void Play(const TScriptLine& line) {
    const TMember& member = *FindMember(line.user);
    const std::string name = member.name;
    std::string text = Expand(line.text);
    switch (line.event) {
      case corvane::EID_JOIN:
        present_.insert(Lower(name));
        text = member.statstring;
        Out("demo: " + name + " joins");
        break;
      case corvane::EID_LEAVE:
        present_.erase(Lower(name));
        Out("demo: " + name + " leaves");
        break;
      case corvane::EID_WHISPER:
        Out("demo: " + name + " whispers to " + bot_ + ": " + text);
        break;
      case corvane::EID_EMOTE:
        Out("demo: " + name + " emotes: " + text);
        break;
      default:
        Out("demo: <" + name + "> " + text);
        break;
    }
    chat_.SendChatEvent(line.event, name, text, member.flags, member.ping);
  }

  // A whisper the bot sends to a member is confirmed, as a server does; one to a name that
  // is not here gets the server's error.
  void AnswerWhisper(const std::string& text) {
    const std::size_t space = text.find(' ');
    if (space == std::string::npos) return;
    const std::string command = Lower(text.substr(0, space));
    if (command != "/w" && command != "/whisper" && command != "/m" && command != "/msg") return;
    const std::size_t target_at = text.find_first_not_of(' ', space);
    if (target_at == std::string::npos) return;
    const std::size_t target_end = text.find(' ', target_at);
    const std::string target = text.substr(target_at, target_end - target_at);
    const std::string message =
        target_end == std::string::npos ? std::string() : text.substr(target_end + 1);
    const TMember* member = nullptr;
    for (const TMember& m : kMembers) {
      if (Lower(m.name) == Lower(target)) member = &m;
    }
    if (member == nullptr || present_.count(Lower(target)) == 0) {
      chat_.SendChatEvent(corvane::EID_ERROR, "", "That user is not logged on.");
      return;
    }
    chat_.SendChatEvent(corvane::EID_WHISPERSENT, member->name, message.substr(0, kMaxChatLength),
                        member->flags, member->ping);
  }

  const TOptions& options_;
  TSimChatServer& chat_;

  std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  bool stop_ = false;
  bool playing_ = false;  // the bot is in the demo channel
  std::size_t next_ = 0;  // the script line that comes next
  TClock::time_point due_;
  std::string bot_;                // the name the bot logged on with
  std::string challenge_;          // of its logon
  std::set<std::string> present_;  // the members in the channel, lower case
};

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  // The signals wait for the thread that takes them; every thread started from here on
  // inherits the mask. A reader that goes away must not end the server.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<TSimChatServer> chat;
  std::unique_ptr<TSimBnlsServer> bnls;
  try {
    chat = std::make_unique<TSimChatServer>(options.chat_port);
    bnls = std::make_unique<TSimBnlsServer>(options.bnls_port);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return kExitFailure;
  }

  TDemo demo(options, *chat);
  chat->SetAccount(options.account, options.password);
  std::vector<TSimChannelMember> members;
  for (const TMember& m : kMembers) {
    if (m.present) members.push_back({m.name, m.flags, m.ping, m.statstring});
  }
  chat->SetChannelMembers(options.channel, members);
  chat->SetMessageHandler([&demo](const TClientMessage& m) { demo.OnMessage(m); });
  chat->SetCloseHandler([&demo] { demo.OnClose(); });
  // Set up: a bot that connected early (to a port given) is served from here on.
  chat->Start();
  bnls->Start();

  Out("chat 127.0.0.1 " + std::to_string(chat->Port()));
  Out("bnls 127.0.0.1 " + std::to_string(bnls->Port()));
  Out("demo: waiting for the bot: account " + options.account + ", members in \"" +
      options.channel + "\"");

  std::thread waiter([&demo, &signals] {
    int signal_number = 0;
    sigwait(&signals, &signal_number);
    demo.Stop();
  });
  demo.Run();
  waiter.join();
  Out("demo: stopping");
  // The handlers use the demo: the servers stop before it goes.
  chat->Stop();
  bnls->Stop();
  return 0;
}
