#include "app/control_client.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace corvane {
namespace {

using TClock = std::chrono::steady_clock;

std::string Reason(int error) {
  return std::strerror(error);
}

std::string Within(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

TClock::time_point After(int ms) {
  return TClock::now() + std::chrono::milliseconds(ms);
}

// 1 once `fd` is ready for `events`, 0 at the deadline, -1 at a failure (errno telling).
int WaitFor(int fd, short events, TClock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, static_cast<int>(left));
    if (n > 0) return 1;
    if (n < 0 && errno != EINTR) return -1;
  }
}

}  // namespace

std::string ControlSocketPath(const std::string& home) {
  return home + "/" + kControlSocketName;
}

bool WithSocketAddress(const std::string& folder, const char* name,
                       const std::function<bool(const sockaddr_un&, socklen_t)>& fn,
                       std::string& error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // The path and its terminating NUL, which the zeroed address already holds.
  const auto length = [&](const std::string& path) {
    std::memcpy(address.sun_path, path.data(), path.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  };
  const std::string path = folder + "/" + name;
  if (path.size() < sizeof address.sun_path) return fn(address, length(path));

  const int dir = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    const int failure = errno;
    error = "cannot open " + folder + ": " + Reason(failure);
    errno = failure;
    return false;
  }
  const std::string by_fd = "/proc/self/fd/" + std::to_string(dir) + "/" + name;
  bool done = false;
  int failure = ENAMETOOLONG;
  if (by_fd.size() < sizeof address.sun_path) {
    done = fn(address, length(by_fd));
    failure = errno;
  } else {
    error = "the socket name " + std::string(name) + " is too long";
  }
  close(dir);
  errno = failure;
  return done;
}

int ConnectToBot(const std::string& home, std::string& error, bool* no_bot) {
  if (no_bot != nullptr) *no_bot = false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "cannot make a socket: " + Reason(errno);
    return -1;
  }
  // A bot whose queue of waiting connections is full keeps connect() waiting this long.
  const timeval timeout{kControlTimeoutMs / 1000, (kControlTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  int failure = 0;
  const bool connected = WithSocketAddress(
      home, kControlSocketName,
      [&](const sockaddr_un& address, socklen_t length) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) return true;
        failure = errno;
        return false;
      },
      error);
  if (connected) return fd;
  if (failure == 0) failure = errno;  // the home could not be opened
  close(fd);
  if (failure == ENOENT || failure == ECONNREFUSED) {
    error = "no bot is running on " + home;
    if (no_bot != nullptr) *no_bot = true;
  } else if (failure == EAGAIN) {
    error =
        "the bot on " + home + " did not take the connection within " + Within(kControlTimeoutMs);
  } else if (error.empty()) {
    error = "cannot connect to " + ControlSocketPath(home) + ": " + Reason(failure);
  }
  return -1;
}

TControlConnection::~TControlConnection() {
  close(fd_);
}

bool TControlConnection::Send(const control::TRequest& request, const control::TRequestId& id,
                              std::string& error) {
  return Write(control::EncodeRequest(request, id), After(kControlTimeoutMs), kControlTimeoutMs,
               error);
}

std::optional<control::TBotMessage> TControlConnection::Read(int timeout_ms, std::string& error) {
  return ReadBy(After(timeout_ms), timeout_ms, error);
}

bool TControlConnection::Call(const control::TRequest& request, int timeout_ms,
                              const TOnMessage& on_message, std::string& error) {
  const TClock::time_point deadline = After(timeout_ms);
  const control::TRequestId id = control::TRequestId::Number(next_id_++);
  if (!Write(control::EncodeRequest(request, id), deadline, timeout_ms, error)) return false;
  for (;;) {
    std::optional<control::TBotMessage> message = ReadBy(deadline, timeout_ms, error);
    if (!message) return false;
    if (const auto* result = std::get_if<control::TResult>(&*message); result && result->id == id) {
      if (result->ok) return true;
      error = result->error.empty() ? "the bot refused" : result->error;
      return false;
    }
    if (const auto* refusal = std::get_if<control::TError>(&*message);
        refusal && refusal->id == id) {
      error = refusal->error;
      return false;
    }
    if (on_message) on_message(*message);
  }
}

bool TControlConnection::Write(const std::string& line, TDeadline deadline, int budget_ms,
                               std::string& error) {
  for (std::size_t sent = 0; sent < line.size();) {
    const ssize_t n =
        send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    const int ready = errno == EAGAIN ? WaitFor(fd_, POLLOUT, deadline) : -1;
    if (ready == 0) {
      error = "the bot did not take the request within " + Within(budget_ms);
      return false;
    }
    if (ready < 0) {
      error = "cannot write to the bot: " + Reason(errno);
      return false;
    }
  }
  return true;
}

std::optional<control::TBotMessage> TControlConnection::ReadBy(TDeadline deadline, int budget_ms,
                                                               std::string& error) {
  for (;;) {
    while (const std::optional<std::string> line = lines_.Next()) {
      control::TDecodedMessage decoded = control::DecodeMessage(*line);
      if (decoded.message) return std::move(decoded.message);
      // A message a newer bot sends, which this program does not know: skipped.
      if (decoded.error.rfind("unknown type ", 0) == 0) continue;
      error = "the bot sent a malformed line: " + decoded.error;
      return std::nullopt;
    }
    if (lines_.Overflowed()) {
      error = "the bot sent a line longer than " + std::to_string(kMaxBotLine >> 20) + " MiB";
      return std::nullopt;
    }
    const int ready = WaitFor(fd_, POLLIN, deadline);
    if (ready == 0) {
      error = "the bot did not answer within " + Within(budget_ms);
      return std::nullopt;
    }
    char buffer[65536];
    const ssize_t n = ready > 0 ? read(fd_, buffer, sizeof buffer) : -1;
    if (n > 0) {
      lines_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    } else if (n == 0) {
      error = "the bot closed the connection";
      return std::nullopt;
    } else if (errno != EINTR && errno != EAGAIN) {
      error = "cannot read from the bot: " + Reason(errno);
      return std::nullopt;
    }
  }
}

}  // namespace corvane
