#pragma once
// The simulated TCP server with what the tests need on top: a record of every byte
// received, counts of the connections accepted and ended, and a bounded wait.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/sim_tcp_server.h"

namespace corvane::test {

// A record the server thread writes and the test reads: f runs on it under a lock.
template <class T>
class TGuarded {
 public:
  template <class F>
  auto With(F f) const {
    std::lock_guard lock(mutex_);
    return f(value_);
  }

 private:
  mutable std::mutex mutex_;
  mutable T value_{};
};

class TFakeTcpServer : public sim::TSimTcpServer {
 public:
  // Run on the server thread with the bytes of the current connection not yet consumed;
  // the handler erases what it has handled.
  using TDataHandler = std::function<void(TFakeTcpServer& server, std::string& inbox)>;

  // Port 0: any free port. Throws std::runtime_error when it cannot listen. A fake server
  // built on top passes start = false and starts it once it is set up.
  explicit TFakeTcpServer(std::uint16_t port = 0, bool start = true);
  ~TFakeTcpServer() override { Stop(); }  // the hooks below use this object's members

  void SetDataHandler(TDataHandler handler);

  // Every byte of every connection, in order.
  std::string Received() const {
    return received_.With([](std::string& r) { return r; });
  }
  void ClearReceived() {
    received_.With([](std::string& r) { r = std::string(); });
  }
  int Accepted() const { return accepted_; }  // connections accepted so far
  int Closed() const { return closed_; }      // connections that have ended
  // Waits (sleeping in short steps, bounded by timeout_ms) until pred() holds.
  static bool WaitFor(const std::function<bool()>& pred, int timeout_ms);

 protected:
  void OnBytes(std::string_view bytes) override {
    received_.With([&](std::string& r) { r.append(bytes); });
  }
  void OnAccepted() override { ++accepted_; }
  void OnClosed() override { ++closed_; }

 private:
  TGuarded<std::string> received_;
  std::atomic<int> accepted_{0};
  std::atomic<int> closed_{0};
};

}  // namespace corvane::test
