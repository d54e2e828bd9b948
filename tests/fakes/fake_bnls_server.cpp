#include "fakes/fake_bnls_server.h"

#include <chrono>
#include <thread>

#include "bnet/sid.h"

namespace corvane::test {
namespace {

std::string Dword(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  return s;
}

// A stand-in for the real logon arithmetic: n bytes that depend on every input byte.
std::string Digest(const std::string& seed, std::size_t n) {
  std::uint32_t h = 2166136261u;
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    for (unsigned char c : seed) h = (h ^ c) * 16777619u;
    h = (h ^ static_cast<std::uint32_t>(i)) * 16777619u;
    out.push_back(static_cast<char>(h >> 24));
  }
  return out;
}

}  // namespace

TFakeBnlsServer::TFakeBnlsServer(std::uint16_t port) : tcp_(port) {
  tcp_.SetDataHandler([this](TFakeTcpServer&, std::string& inbox) { OnData(inbox); });
  tcp_.SetAcceptHandler([this](TFakeTcpServer&) {
    std::lock_guard lock(mutex_);
    held_.clear();
    held_count_ = 0;
  });
}

TFakeBnlsServer::~TFakeBnlsServer() {
  tcp_.Stop();
}

void TFakeBnlsServer::SetVersionByte(std::uint32_t v) {
  std::lock_guard lock(mutex_);
  version_byte_ = v;
}

void TFakeBnlsServer::SetNlsResult(std::uint32_t r) {
  std::lock_guard lock(mutex_);
  nls_result_ = r;
}

void TFakeBnlsServer::SetSplitAnswers(bool on, int split_at) {
  std::lock_guard lock(mutex_);
  split_ = on;
  split_at_ = split_at;
}

void TFakeBnlsServer::SetAnswersPerWrite(int n) {
  std::lock_guard lock(mutex_);
  per_write_ = n < 1 ? 1 : n;
}

void TFakeBnlsServer::SetCloseAfterRequests(int n) {
  std::lock_guard lock(mutex_);
  close_after_ = n;
}

std::vector<TBnlsRequest> TFakeBnlsServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TFakeBnlsServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  tcp_.ClearReceived();
}

bool TFakeBnlsServer::WaitForRequests(std::size_t n, int timeout_ms) const {
  return TFakeTcpServer::WaitFor([&] { return Requests().size() >= n; }, timeout_ms);
}

std::string TFakeBnlsServer::ChallengeAnswer(const std::string& account,
                                             const std::string& password) {
  return Digest("challenge:" + account + ":" + password, 32);
}

std::string TFakeBnlsServer::ProofAnswer(const std::string& server_data) {
  return Digest("proof:" + server_data, 20);
}

std::string TFakeBnlsServer::HashAnswer(const std::string& data) {
  return Digest("hash:" + data, 20);
}

std::string TFakeBnlsServer::Frame(std::uint8_t id, const std::string& body) {
  const std::size_t len = body.size() + 3;
  std::string s;
  s.push_back(static_cast<char>(len & 0xFF));
  s.push_back(static_cast<char>((len >> 8) & 0xFF));
  s.push_back(static_cast<char>(id));
  return s + body;
}

std::string TFakeBnlsServer::Answer(const TBnlsRequest& r) const {
  std::lock_guard lock(mutex_);
  switch (r.id) {
    case BNLS_REQUESTVERSIONBYTE:
      return Frame(r.id, r.body.substr(0, 4) + Dword(version_byte_));
    case BNLS_CHOOSENLSREVISION:
      return Frame(r.id, Dword(nls_result_));
    case BNLS_LOGONCHALLENGE: {
      const std::size_t end = r.body.find('\0');
      const std::string account = r.body.substr(0, end);
      const std::string rest = end == std::string::npos ? "" : r.body.substr(end + 1);
      return Frame(r.id, ChallengeAnswer(account, rest.substr(0, rest.find('\0'))));
    }
    case BNLS_LOGONPROOF:
      return Frame(r.id, ProofAnswer(r.body));
    case BNLS_HASHDATA:
      return Frame(r.id, HashAnswer(r.body.size() >= 8 ? r.body.substr(8) : ""));
    default:
      return {};
  }
}

void TFakeBnlsServer::OnData(std::string& inbox) {
  while (inbox.size() >= 3) {
    const auto len = static_cast<std::size_t>(static_cast<unsigned char>(inbox[0]) |
                                              (static_cast<unsigned char>(inbox[1]) << 8));
    if (len < 3) {  // nonsense from the client: drop the connection
      tcp_.CloseConnection();
      inbox.clear();
      return;
    }
    if (inbox.size() < len) return;
    TBnlsRequest r;
    r.id = static_cast<std::uint8_t>(inbox[2]);
    r.raw = inbox.substr(0, len);
    r.body = r.raw.substr(3);
    inbox.erase(0, len);
    int close_after;
    std::size_t count;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(r);
      count = requests_.size();
      close_after = close_after_;
    }
    if (close_after > 0 && count >= static_cast<std::size_t>(close_after)) {
      tcp_.CloseConnection();
      inbox.clear();
      return;
    }
    Emit(Answer(r));
  }
}

void TFakeBnlsServer::Emit(const std::string& answer) {
  if (answer.empty()) return;
  std::string out;
  bool split;
  std::size_t split_at;
  {
    std::lock_guard lock(mutex_);
    held_ += answer;
    if (++held_count_ < per_write_) return;
    out.swap(held_);
    held_count_ = 0;
    split = split_;
    split_at = static_cast<std::size_t>(split_at_);
  }
  if (split && split_at > 0 && split_at < out.size()) {
    tcp_.Write(out.substr(0, split_at));
    // Long enough for the client to take the first part in a read of its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    tcp_.Write(out.substr(split_at));
  } else {
    tcp_.Write(out);
  }
}

}  // namespace corvane::test
