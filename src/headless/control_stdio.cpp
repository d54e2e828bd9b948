#include "headless/control_stdio.h"

#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "app/control_client.h"

namespace corvane {
namespace {

// Bytes read from one side that the other has not taken yet. A side is read again only
// once they are gone, so a slow reader slows the writer instead of filling memory.
struct TPending {
  std::string bytes;

  bool Empty() const { return bytes.empty(); }
  // 1 when bytes came, 0 at the end of `fd`, -1 at a failure.
  int ReadFrom(int fd) {
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) bytes.assign(buffer, static_cast<std::size_t>(n));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 1;
    return n > 0 ? 1 : static_cast<int>(n);
  }
  // False at a failure. A descriptor reported writable takes PIPE_BUF bytes without
  // blocking; a socket is written without waiting at all.
  bool WriteTo(int fd, bool socket) {
    const ssize_t n = socket
                          ? send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                          : write(fd, bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
    if (n > 0) bytes.erase(0, static_cast<std::size_t>(n));
    return n >= 0 || errno == EINTR || errno == EAGAIN;
  }
};

int Fail(const std::string& what) {
  std::cerr << "corvane: " << what << '\n';
  return 1;
}

}  // namespace

int RunControlStdio(const std::string& home) {
  std::string error;
  const int bot = ConnectToBot(home, error);
  if (bot < 0) return Fail(error);
  // A reader that went away shows as EPIPE.
  signal(SIGPIPE, SIG_IGN);
  TPending to_bot, to_out;
  bool input = true;       // stdin has not ended
  bool bot_writes = true;  // the bot has not closed its side
  bool shut = false;       // the bot was told that no more comes
  int code = 0;
  while (bot_writes || !to_out.Empty()) {
    if (!input && to_bot.Empty() && !shut) {
      shutdown(bot, SHUT_WR);
      shut = true;
    }
    const short bot_events = static_cast<short>((bot_writes && to_out.Empty() ? POLLIN : 0) |
                                                (to_bot.Empty() ? 0 : POLLOUT));
    pollfd fds[3] = {
        {input && to_bot.Empty() ? STDIN_FILENO : -1, POLLIN, 0},
        {bot_events != 0 ? bot : -1, bot_events, 0},
        // Watched even with nothing to write: an error there means its reader is gone.
        {STDOUT_FILENO, static_cast<short>(to_out.Empty() ? 0 : POLLOUT), 0},
    };
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      code = Fail(std::string("poll: ") + std::strerror(errno));
      break;
    }
    if (fds[0].revents != 0 && to_bot.ReadFrom(STDIN_FILENO) <= 0) input = false;
    if ((fds[1].revents & (POLLOUT | POLLHUP | POLLERR)) != 0 && !to_bot.Empty() &&
        !to_bot.WriteTo(bot, true)) {
      // The bot stopped reading: what it still says is copied all the same.
      to_bot.bytes.clear();
      input = false;
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && to_out.Empty()) {
      const int got = to_out.ReadFrom(bot);
      if (got < 0) code = Fail(std::string("cannot read from the bot: ") + std::strerror(errno));
      if (got <= 0) bot_writes = false;
    }
    if ((fds[2].revents & POLLOUT) != 0 ? !to_out.WriteTo(STDOUT_FILENO, false)
                                        : fds[2].revents != 0) {
      break;  // nobody reads what the bot says
    }
  }
  close(bot);
  return code;
}

}  // namespace corvane
