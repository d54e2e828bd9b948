#pragma once
// The simulated BNLS server with the tests' fault injection on top: it records every
// request, and misbehaves on demand: answers split across writes, several answers in one
// write, an early close.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_bnls_server.h"
#include "support/fake_tcp_server.h"

namespace corvane::test {

struct TBnlsRequest {
  std::uint8_t id = 0;
  std::string body;  // the bytes after the 3-byte header
  std::string raw;   // the whole request as it arrived
};

class TFakeBnlsServer : public sim::TSimBnlsServer {
 public:
  // Serving at once. Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TFakeBnlsServer(std::uint16_t port = 0);
  ~TFakeBnlsServer() override;

  TFakeTcpServer& Tcp();

  // Every answer leaves in two writes a short pause apart, cut after `split_at` bytes.
  void SetSplitAnswers(bool on, int split_at = 2);
  // Answers are held until n of them are ready, then leave together in one write.
  void SetAnswersPerWrite(int n);
  // The connection is closed instead of answering the n-th request (0: never).
  void SetCloseAfterRequests(int n);

  std::vector<TBnlsRequest> Requests() const;
  void ClearRequests();  // forgets the record (long runs keep memory flat)
  bool WaitForRequests(std::size_t n, int timeout_ms) const;

 protected:
  void OnConnection() override;
  bool OnRequest(const sim::TBnlsRequest& request) override;
  void SendAnswer(const std::string& answer) override;

 private:
  mutable std::mutex record_mutex_;  // guards everything below
  bool split_ = false;
  int split_at_ = 2;
  int per_write_ = 1;
  int close_after_ = 0;
  std::vector<TBnlsRequest> requests_;
  std::string held_;
  int held_count_ = 0;
};

}  // namespace corvane::test
