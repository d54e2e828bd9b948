#pragma once
// A BNLS server for the tests: answers the five requests of the bot's BNLS client with
// deterministic values, records every request, and can misbehave on demand: answers
// split across writes, several answers in one write, an early close.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "fakes/fake_tcp_server.h"

namespace corvane::test {

struct TBnlsRequest {
  std::uint8_t id = 0;
  std::string body;  // the bytes after the 3-byte header
  std::string raw;   // the whole request as it arrived
};

class TFakeBnlsServer {
 public:
  // Port 0: any free port. Throws std::runtime_error when it cannot listen.
  explicit TFakeBnlsServer(std::uint16_t port = 0);
  ~TFakeBnlsServer();

  std::uint16_t Port() const { return tcp_.Port(); }
  TFakeTcpServer& Tcp() { return tcp_; }

  void SetVersionByte(std::uint32_t v);
  void SetNlsResult(std::uint32_t r);
  // Every answer leaves in two writes a short pause apart, cut after `split_at` bytes.
  void SetSplitAnswers(bool on, int split_at = 2);
  // Answers are held until n of them are ready, then leave together in one write.
  void SetAnswersPerWrite(int n);
  // The connection is closed instead of answering the n-th request (0: never).
  void SetCloseAfterRequests(int n);

  std::vector<TBnlsRequest> Requests() const;
  void ClearRequests();  // forgets the record (long runs keep memory flat)
  bool WaitForRequests(std::size_t n, int timeout_ms) const;

  // The payloads this server answers with, for the tests to compare.
  static std::string ChallengeAnswer(const std::string& account, const std::string& password);
  static std::string ProofAnswer(const std::string& server_data);
  static std::string HashAnswer(const std::string& data);
  // A whole answer: u16 length, id, body.
  static std::string Frame(std::uint8_t id, const std::string& body);

 private:
  void OnData(std::string& inbox);
  std::string Answer(const TBnlsRequest& request) const;
  void Emit(const std::string& answer);

  mutable std::mutex mutex_;
  std::uint32_t version_byte_ = 0x1C;
  std::uint32_t nls_result_ = 1;
  bool split_ = false;
  int split_at_ = 2;
  int per_write_ = 1;
  int close_after_ = 0;
  std::vector<TBnlsRequest> requests_;
  std::string held_;
  int held_count_ = 0;
  TFakeTcpServer tcp_;  // last: its thread stops before the members above go
};

}  // namespace corvane::test
