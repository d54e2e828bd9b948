#include "support/fake_chat_server.h"

namespace corvane::test {

TFakeChatServer::TFakeChatServer(std::uint16_t port)
    : sim::TSimChatServer(std::make_unique<TFakeTcpServer>(port, TFakeTcpServer::TNotStarted{})) {
  Start();
}

TFakeChatServer::~TFakeChatServer() {
  Stop();  // the hooks below use this object's members
}

TFakeTcpServer& TFakeChatServer::Tcp() {
  return static_cast<TFakeTcpServer&>(sim::TSimChatServer::Tcp());
}

void TFakeChatServer::SetDropOn(std::uint8_t id) {
  std::lock_guard lock(record_mutex_);
  drop_on_ = id;
}

std::vector<TChatMessage> TFakeChatServer::Messages() const {
  std::lock_guard lock(record_mutex_);
  return messages_;
}

std::vector<TChatMessage> TFakeChatServer::MessagesWithId(std::uint8_t id) const {
  std::lock_guard lock(record_mutex_);
  std::vector<TChatMessage> out;
  for (const TChatMessage& m : messages_) {
    if (m.id == id) out.push_back(m);
  }
  return out;
}

void TFakeChatServer::ClearMessages() {
  {
    std::lock_guard lock(record_mutex_);
    messages_.clear();
  }
  Tcp().ClearReceived();
}

void TFakeChatServer::SendRaw(const std::string& bytes) {
  if (!bytes.empty()) Tcp().Write(bytes);
}

void TFakeChatServer::SendSplit(const std::string& bytes, std::size_t at) {
  // Long enough for the client to take the first part in a read of its own.
  Tcp().WriteSplit(bytes, at, std::chrono::milliseconds(30));
}

void TFakeChatServer::DropConnection() {
  Tcp().CloseConnection();
}

void TFakeChatServer::OnConnection() {
  std::lock_guard lock(record_mutex_);
  if (drop_on_ == kDropOnAccept) Tcp().CloseConnection();
}

bool TFakeChatServer::OnClientMessage(const sim::TClientMessage& message) {
  std::lock_guard lock(record_mutex_);
  messages_.push_back({message.id, message.body, std::chrono::steady_clock::now()});
  return drop_on_ == 0 || message.id != drop_on_;
}

}  // namespace corvane::test
