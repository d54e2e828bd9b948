#pragma once
// The simulated BNLS server with a record of every request on top.

#include <cstdint>
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
  ~TFakeBnlsServer() override { Stop(); }  // the hook below uses this object's members

  TFakeTcpServer& Tcp() { return static_cast<TFakeTcpServer&>(sim::TSimBnlsServer::Tcp()); }

  std::vector<TBnlsRequest> Requests() const {
    return requests_.With([](std::vector<TBnlsRequest>& r) { return r; });
  }
  // Forgets the record (long runs keep memory flat).
  void ClearRequests() {
    requests_.With([](std::vector<TBnlsRequest>& r) { r = {}; });
    Tcp().ClearReceived();
  }

 protected:
  bool OnRequest(const sim::TBnlsRequest& request) override {
    requests_.With([&](std::vector<TBnlsRequest>& r) {
      r.push_back({request.id, request.body, Frame(request.id, request.body)});
    });
    return true;
  }

 private:
  TGuarded<std::vector<TBnlsRequest>> requests_;
};

}  // namespace corvane::test
