#include "support/fake_chat_server.h"

#include <memory>

namespace corvane::test {

TFakeChatServer::TFakeChatServer(std::uint16_t port)
    : sim::TSimChatServer(std::make_unique<TFakeTcpServer>(port, false)) {
  Start();
}

std::vector<TChatMessage> TFakeChatServer::MessagesWithId(std::uint8_t id) const {
  return messages_.With([&](std::vector<TChatMessage>& all) {
    std::vector<TChatMessage> out;
    for (const TChatMessage& m : all) {
      if (m.id == id) out.push_back(m);
    }
    return out;
  });
}

bool TFakeChatServer::OnClientMessage(const sim::TClientMessage& message) {
  messages_.With([&](std::vector<TChatMessage>& m) {
    m.push_back({message.id, message.body, std::chrono::steady_clock::now()});
  });
  return drop_on_ == 0 || message.id != drop_on_;
}

}  // namespace corvane::test
