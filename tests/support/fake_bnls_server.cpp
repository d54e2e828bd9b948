#include "support/fake_bnls_server.h"

#include <chrono>

namespace corvane::test {

TFakeBnlsServer::TFakeBnlsServer(std::uint16_t port)
    : sim::TSimBnlsServer(std::make_unique<TFakeTcpServer>(port, TFakeTcpServer::TNotStarted{})) {
  Start();
}

TFakeBnlsServer::~TFakeBnlsServer() {
  Stop();  // the hooks below use this object's members
}

TFakeTcpServer& TFakeBnlsServer::Tcp() {
  return static_cast<TFakeTcpServer&>(sim::TSimBnlsServer::Tcp());
}

void TFakeBnlsServer::SetSplitAnswers(bool on, int split_at) {
  std::lock_guard lock(record_mutex_);
  split_ = on;
  split_at_ = split_at;
}

void TFakeBnlsServer::SetAnswersPerWrite(int n) {
  std::lock_guard lock(record_mutex_);
  per_write_ = n < 1 ? 1 : n;
}

void TFakeBnlsServer::SetCloseAfterRequests(int n) {
  std::lock_guard lock(record_mutex_);
  close_after_ = n;
}

std::vector<TBnlsRequest> TFakeBnlsServer::Requests() const {
  std::lock_guard lock(record_mutex_);
  return requests_;
}

void TFakeBnlsServer::ClearRequests() {
  {
    std::lock_guard lock(record_mutex_);
    requests_.clear();
  }
  Tcp().ClearReceived();
}

bool TFakeBnlsServer::WaitForRequests(std::size_t n, int timeout_ms) const {
  return TFakeTcpServer::WaitFor([&] { return Requests().size() >= n; }, timeout_ms);
}

void TFakeBnlsServer::OnConnection() {
  std::lock_guard lock(record_mutex_);
  held_.clear();
  held_count_ = 0;
}

bool TFakeBnlsServer::OnRequest(const sim::TBnlsRequest& request) {
  std::lock_guard lock(record_mutex_);
  requests_.push_back({request.id, request.body, Frame(request.id, request.body)});
  return close_after_ <= 0 || requests_.size() < static_cast<std::size_t>(close_after_);
}

void TFakeBnlsServer::SendAnswer(const std::string& answer) {
  std::string out;
  bool split;
  std::size_t split_at;
  {
    std::lock_guard lock(record_mutex_);
    held_ += answer;
    if (++held_count_ < per_write_) return;
    out.swap(held_);
    held_count_ = 0;
    split = split_;
    split_at = static_cast<std::size_t>(split_at_);
  }
  if (split && split_at > 0 && split_at < out.size()) {
    // Long enough for the client to take the first part in a read of its own.
    Tcp().WriteSplit(out, split_at, std::chrono::milliseconds(30));
  } else {
    Tcp().Write(out);
  }
}

}  // namespace corvane::test
