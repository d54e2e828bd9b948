#include "support/fake_tcp_server.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace corvane::test {

TFakeTcpServer::TFakeTcpServer(std::uint16_t port) : TFakeTcpServer(port, TNotStarted{}) {
  Start();
}

TFakeTcpServer::TFakeTcpServer(std::uint16_t port, TNotStarted) : sim::TSimTcpServer(port) {}

TFakeTcpServer::~TFakeTcpServer() {
  Stop();  // the hooks below use this object's members
}

void TFakeTcpServer::SetDataHandler(TDataHandler handler) {
  if (!handler) return sim::TSimTcpServer::SetDataHandler({});
  sim::TSimTcpServer::SetDataHandler(
      [this, handler = std::move(handler)](sim::TSimTcpServer&, std::string& inbox) {
        handler(*this, inbox);
      });
}

void TFakeTcpServer::SetAcceptHandler(TAcceptHandler handler) {
  if (!handler) return sim::TSimTcpServer::SetAcceptHandler({});
  sim::TSimTcpServer::SetAcceptHandler(
      [this, handler = std::move(handler)](sim::TSimTcpServer&) { handler(*this); });
}

void TFakeTcpServer::SetCloseHandler(TCloseHandler handler) {
  if (!handler) return sim::TSimTcpServer::SetCloseHandler({});
  sim::TSimTcpServer::SetCloseHandler(
      [this, handler = std::move(handler)](sim::TSimTcpServer&) { handler(*this); });
}

bool TFakeTcpServer::WriteSplit(const std::string& bytes, std::size_t at,
                                std::chrono::milliseconds pause) {
  // One hold over both parts: nothing the server answers meanwhile lands between them.
  const auto hold = HoldWrites();
  at = std::min(at, bytes.size());
  if (!WriteHeld(std::string_view(bytes).substr(0, at))) return false;
  std::this_thread::sleep_for(pause);
  return WriteHeld(std::string_view(bytes).substr(at));
}

std::string TFakeTcpServer::Received() const {
  std::lock_guard lock(record_mutex_);
  return received_;
}

void TFakeTcpServer::ClearReceived() {
  std::lock_guard lock(record_mutex_);
  received_.clear();
  received_.shrink_to_fit();
}

int TFakeTcpServer::Accepted() const {
  std::lock_guard lock(record_mutex_);
  return accepted_;
}

int TFakeTcpServer::Closed() const {
  std::lock_guard lock(record_mutex_);
  return closed_;
}

bool TFakeTcpServer::WaitFor(const std::function<bool()>& pred, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void TFakeTcpServer::OnBytes(std::string_view bytes) {
  std::lock_guard lock(record_mutex_);
  received_.append(bytes);
}

void TFakeTcpServer::OnAccepted() {
  std::lock_guard lock(record_mutex_);
  ++accepted_;
}

void TFakeTcpServer::OnClosed() {
  std::lock_guard lock(record_mutex_);
  ++closed_;
}

}  // namespace corvane::test
