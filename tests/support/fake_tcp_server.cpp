#include "support/fake_tcp_server.h"

#include <chrono>
#include <thread>
#include <utility>

namespace corvane::test {

TFakeTcpServer::TFakeTcpServer(std::uint16_t port, bool start) : sim::TSimTcpServer(port) {
  if (start) Start();
}

void TFakeTcpServer::SetDataHandler(TDataHandler handler) {
  sim::TSimTcpServer::SetDataHandler(
      [this, handler = std::move(handler)](sim::TSimTcpServer&, std::string& inbox) {
        handler(*this, inbox);
      });
}

bool TFakeTcpServer::WaitFor(const std::function<bool()>& pred, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace corvane::test
