#include "sim/sim_bnls_server.h"

#include <utility>

#include "bnet/sid.h"

namespace corvane::sim {
namespace {

constexpr std::size_t kHeaderSize = 3;

std::string Dword(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
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

TSimBnlsServer::TSimBnlsServer(std::uint16_t port)
    : TSimBnlsServer(std::make_unique<TSimTcpServer>(port)) {}

TSimBnlsServer::TSimBnlsServer(std::unique_ptr<TSimTcpServer> tcp) : tcp_(std::move(tcp)) {
  tcp_->SetDataHandler([this](TSimTcpServer&, std::string& inbox) { OnData(inbox); });
  tcp_->SetAcceptHandler([this](TSimTcpServer&) { OnConnection(); });
}

TSimBnlsServer::~TSimBnlsServer() {
  tcp_->Stop();
}

void TSimBnlsServer::SetVersionByte(std::uint32_t v) {
  std::lock_guard lock(mutex_);
  version_byte_ = v;
}

void TSimBnlsServer::SetNlsResult(std::uint32_t r) {
  std::lock_guard lock(mutex_);
  nls_result_ = r;
}

std::string TSimBnlsServer::ChallengeAnswer(const std::string& account,
                                            const std::string& password) {
  return Digest("challenge:" + account + ":" + password, 32);
}

std::string TSimBnlsServer::ProofAnswer(const std::string& server_data) {
  return Digest("proof:" + server_data, 20);
}

std::string TSimBnlsServer::HashAnswer(const std::string& data) {
  return Digest("hash:" + data, 20);
}

std::string TSimBnlsServer::Frame(std::uint8_t id, const std::string& body) {
  const std::size_t len = body.size() + kHeaderSize;
  std::string s;
  s.push_back(static_cast<char>(len & 0xFF));
  s.push_back(static_cast<char>((len >> 8) & 0xFF));
  s.push_back(static_cast<char>(id));
  return s + body;
}

std::string TSimBnlsServer::Answer(const TBnlsRequest& r) const {
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
    default:  // not a request of the bot's: no answer
      return {};
  }
}

void TSimBnlsServer::OnData(std::string& inbox) {
  while (inbox.size() >= kHeaderSize) {
    const auto len = static_cast<std::size_t>(static_cast<unsigned char>(inbox[0]) |
                                              (static_cast<unsigned char>(inbox[1]) << 8));
    if (len < kHeaderSize) {  // not the protocol: drop the client
      inbox.clear();
      tcp_->CloseConnection();
      return;
    }
    if (inbox.size() < len) return;
    TBnlsRequest r;
    r.id = static_cast<std::uint8_t>(inbox[2]);
    r.body = inbox.substr(kHeaderSize, len - kHeaderSize);
    inbox.erase(0, len);
    if (!OnRequest(r)) {
      inbox.clear();
      tcp_->CloseConnection();
      return;
    }
    const std::string answer = Answer(r);
    if (!answer.empty()) SendAnswer(answer);
  }
}

}  // namespace corvane::sim
