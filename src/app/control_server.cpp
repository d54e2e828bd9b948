#include "app/control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "app/control_client.h"
#include "app/control_protocol.h"

namespace corvane {

struct TControlServer::TClient {
  TClientId id = 0;
  int fd = -1;
  TLineReader reader;  // the thread's alone
  // Lines handed to the main thread and not yet carried out.
  std::atomic<int> pending{0};
  // The client shut its side: it is closed once its lines are carried out and answered.
  std::atomic<bool> ended{false};
  // Guarded by the server's mutex.
  std::string out;
  std::size_t sent = 0;
  bool close_after_output = false;
  std::string drop_why;  // set: to be dropped for this reason
};

TControlServer::TControlServer(TEventLoop& loop, THandler& handler, std::size_t max_output)
    : loop_(loop), handler_(handler), max_output_(max_output) {}

TControlServer::~TControlServer() {
  *alive_ = false;
  if (thread_.joinable()) {
    stop_ = true;
    Wake();
    thread_.join();
  }
  for (auto& [id, client] : clients_) close(client->fd);
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    unlink(path_.c_str());
  }
  if (wake_fd_ >= 0) close(wake_fd_);
}

bool TControlServer::Listen(const std::string& folder, std::string& error) {
  const std::string path = ControlSocketPath(folder);
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    // Only a socket is taken for one left behind: anything else there is somebody's file.
    if (!S_ISSOCK(st.st_mode)) {
      error = path + " is there and is no socket";
      return false;
    }
    unlink(path.c_str());
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("cannot make a socket: ") + std::strerror(errno);
    return false;
  }
  const bool bound = WithSocketAddress(
      folder, kControlSocketName,
      [&](const sockaddr_un& address, socklen_t length) {
        if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) return true;
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        return false;
      },
      error);
  // Where the home is not the owner's alone, nobody else may connect either; SO_PEERCRED
  // refuses another user who could.
  if (!bound || chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
    if (bound) {
      error = "cannot listen on " + path + ": " + std::strerror(errno);
      unlink(path.c_str());
    }
    close(fd);
    return false;
  }
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    error = std::string("cannot make an eventfd: ") + std::strerror(errno);
    close(fd);
    unlink(path.c_str());
    return false;
  }
  listen_fd_ = fd;
  path_ = path;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TControlServer::Wake() const {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wake_fd_, &one, sizeof one);
}

void TControlServer::Queue(TClient& client, std::string_view bytes) {
  if (!client.drop_why.empty()) return;
  const bool was_empty = client.sent == client.out.size();
  if (client.out.size() - client.sent + bytes.size() > max_output_) {
    client.drop_why =
        "it did not read the last " + std::to_string(max_output_) + " bytes the bot sent";
    client.out.clear();
    client.sent = 0;
    Wake();
    return;
  }
  client.out.append(bytes);
  if (was_empty) Wake();
}

void TControlServer::Send(TClientId id, std::string_view bytes) {
  const std::lock_guard lock(mutex_);
  const auto it = clients_.find(id);
  if (it != clients_.end()) Queue(*it->second, bytes);
}

void TControlServer::CloseAfterOutput(TClientId id) {
  const std::lock_guard lock(mutex_);
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  it->second->close_after_output = true;
  Wake();
}

std::size_t TControlServer::ClientCount() const {
  const std::lock_guard lock(mutex_);
  return clients_.size();
}

void TControlServer::Run() {
  std::vector<pollfd> fds;
  std::vector<std::shared_ptr<TClient>> polled;
  std::vector<std::pair<TClientId, std::string>> leaving;
  while (!stop_) {
    fds.clear();
    polled.clear();
    leaving.clear();
    fds.push_back({wake_fd_, POLLIN, 0});
    {
      const std::lock_guard lock(mutex_);
      // At the bound a newcomer waits in the backlog until somebody leaves.
      fds.push_back(
          {listen_fd_, static_cast<short>(clients_.size() < kMaxClients ? POLLIN : 0), 0});
      for (auto& [id, client] : clients_) {
        const bool output = client->sent < client->out.size();
        if (!client->drop_why.empty()) {
          leaving.emplace_back(id, client->drop_why);
          continue;
        }
        const bool done = client->pending == 0 && !output;
        if (done && (client->close_after_output || client->ended)) {
          leaving.emplace_back(id, std::string());
          continue;
        }
        short events = output ? POLLOUT : 0;
        if (!client->ended && !client->close_after_output && client->pending < kMaxPendingLines) {
          events |= POLLIN;
        }
        // A client that shut its side reports a hang-up at every poll: it is only written.
        fds.push_back({events == 0 && client->ended ? -1 : client->fd, events, 0});
        polled.push_back(client);
      }
    }
    for (const auto& [id, why] : leaving) Drop(id, why);
    if (!leaving.empty()) continue;

    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = read(wake_fd_, &count, sizeof count);
    }
    if ((fds[1].revents & POLLIN) != 0) Accept();
    for (std::size_t i = 0; i < polled.size(); ++i) {
      const short revents = fds[i + 2].revents;
      TClient& client = *polled[i];
      bool keep = true;
      if ((revents & POLLOUT) != 0) keep = WriteTo(client);
      if (keep && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) keep = ReadFrom(client);
      if (!keep) Drop(client.id, std::string());
    }
  }
}

void TControlServer::Accept() {
  const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid()) {
    close(fd);
    loop_.Post([this, alive = alive_, uid = peer.uid] {
      if (*alive) handler_.ClientRefused(uid);
    });
    return;
  }
  auto client = std::make_shared<TClient>();
  client->fd = fd;
  {
    const std::lock_guard lock(mutex_);
    client->id = next_id_++;
    clients_.emplace(client->id, client);
  }
  loop_.Post([this, alive = alive_, id = client->id] {
    if (*alive) handler_.ClientConnected(id);
  });
}

bool TControlServer::ReadFrom(TClient& client) {
  char block[65536];
  const ssize_t n = recv(client.fd, block, sizeof block, MSG_DONTWAIT);
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  if (n == 0) {
    client.ended = true;  // closed once what it asked is answered
    return true;
  }
  client.reader.Feed(std::string_view(block, static_cast<std::size_t>(n)));
  std::shared_ptr<TClient> shared;
  {
    const std::lock_guard lock(mutex_);
    const auto it = clients_.find(client.id);
    if (it != clients_.end()) shared = it->second;
  }
  while (std::optional<std::string> line = client.reader.Next()) {
    ++client.pending;
    loop_.Post([this, alive = alive_, shared, line = std::move(*line)]() mutable {
      if (!*alive) return;
      handler_.ClientLine(shared->id, std::move(line));
      const int left = --shared->pending;
      // The request may have ended the bot, and this server with it.
      if (!*alive) return;
      // Reading resumes below the bound; a client that is done may be closed at nought.
      if (left == kMaxPendingLines - 1 || left == 0) Wake();
    });
  }
  if (client.reader.Overflowed()) {
    const std::lock_guard lock(mutex_);
    client.drop_why = "it sent a line longer than " + std::to_string(kMaxControlLine) + " bytes";
  }
  return true;
}

bool TControlServer::WriteTo(TClient& client) {
  const std::lock_guard lock(mutex_);
  while (client.sent < client.out.size()) {
    const ssize_t n = send(client.fd, client.out.data() + client.sent,
                           client.out.size() - client.sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      // What has left goes once it outweighs the rest, so that a byte moves a bounded
      // number of times however slowly the client reads.
      if (client.sent >= client.out.size() - client.sent) {
        client.out.erase(0, client.sent);
        client.sent = 0;
      }
      return errno == EAGAIN || errno == EINTR;
    }
    client.sent += static_cast<std::size_t>(n);
  }
  client.out.clear();
  client.sent = 0;
  return true;
}

void TControlServer::Drop(TClientId id, const std::string& why) {
  {
    const std::lock_guard lock(mutex_);
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    close(it->second->fd);
    clients_.erase(it);
  }
  loop_.Post([this, alive = alive_, id, why] {
    if (*alive) handler_.ClientGone(id, why);
  });
}

}  // namespace corvane
