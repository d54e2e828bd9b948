#include "support/fake_bnls_server.h"

#include <memory>

namespace corvane::test {

TFakeBnlsServer::TFakeBnlsServer(std::uint16_t port)
    : sim::TSimBnlsServer(std::make_unique<TFakeTcpServer>(port, false)) {
  Start();
}

}  // namespace corvane::test
