#pragma once
// The client end of a running bot's control socket, blocking: the command line connects,
// asks and waits for the answer, each wait bounded, so that a bot that never answers
// cannot hang a script or a cron job.

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/control_protocol.h"

namespace corvane {

// How long the command line waits for the bot: to connect, and for an answer.
inline constexpr int kControlTimeoutMs = 10000;
// The longest line read from the bot: its lines have no bound of their own (the view of a
// crowded channel), this one only keeps a runaway bot from taking all memory.
inline constexpr std::size_t kMaxBotLine = std::size_t{256} << 20;

// The control socket of the bot running on `home`.
std::string ControlSocketPath(const std::string& home);

// Calls fn with an address for `name` inside `folder` short enough for sun_path: the path
// itself, or, for a longer one, the folder opened and reached through /proc/self/fd (open
// during the call only). Returns fn's answer; false, `error` telling why and errno kept,
// when the folder cannot be opened.
bool WithSocketAddress(const std::string& folder, const char* name,
                       const std::function<bool(const sockaddr_un&, socklen_t)>& fn,
                       std::string& error);

// A connected socket to the bot running on `home` (close-on-exec), or -1 with `error` set.
// `no_bot`, when given, tells whether the failure means that no bot runs there (the socket
// is missing or nobody listens on it) rather than some other failure.
int ConnectToBot(const std::string& home, std::string& error, bool* no_bot = nullptr);

// Requests to a bot and its messages over a connected socket, which it owns. One thread.
class TControlConnection {
 public:
  using TOnMessage = std::function<void(const control::TBotMessage&)>;

  explicit TControlConnection(int fd) : fd_(fd) {}
  ~TControlConnection();
  TControlConnection(const TControlConnection&) = delete;
  TControlConnection& operator=(const TControlConnection&) = delete;

  // False, `error` telling why, when the request could not be written within
  // kControlTimeoutMs.
  bool Send(const control::TRequest& request, const control::TRequestId& id, std::string& error);
  // The next message, waiting at most timeout_ms for it. Lines of a type this program does
  // not know (a newer bot's) are skipped. Nothing, `error` telling why, at a malformed line,
  // the end of the connection or the time-out.
  std::optional<control::TBotMessage> Read(int timeout_ms, std::string& error);
  // Sends `request` with an id of its own and hands every message to on_message (when
  // given) until the answer to it: true when it was carried out; false, `error` telling
  // why (the bot's refusal among the reasons), when not, or not within timeout_ms.
  bool Call(const control::TRequest& request, int timeout_ms, const TOnMessage& on_message,
            std::string& error);

 private:
  using TDeadline = std::chrono::steady_clock::time_point;
  // `budget_ms`: the whole wait the deadline ends, for the time-out's text.
  bool Write(const std::string& line, TDeadline deadline, int budget_ms, std::string& error);
  std::optional<control::TBotMessage> ReadBy(TDeadline deadline, int budget_ms, std::string& error);

  int fd_;
  TLineReader lines_{kMaxBotLine};
  std::int64_t next_id_ = 1;
};

}  // namespace corvane
