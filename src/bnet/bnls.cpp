#include "bnet/bnls.h"

#include <algorithm>
#include <utility>

#include "bnet/sid.h"

namespace corvane {
namespace {

constexpr int kHeaderSize = 3;      // u16 length, u8 id
constexpr int kProofDataSize = 64;  // salt and server key
constexpr std::uint32_t kHashFlags = 1;

TBuffer NewRequest(std::uint8_t id) {
  TBuffer b;
  b.AddWord(0);  // length, patched when the request is complete
  b.AddByte(id);
  return b;
}

}  // namespace

TBNLS::TBNLS(TEventLoop& loop) : client_(loop) {
  client_.OnConnect = [this](TCustomClient&, int code) {
    connected_ = true;
    // A new stream starts: nothing left over from an earlier connection may frame it.
    receive_.Clear();
    if (OnConnect) OnConnect(*this, code);
  };
  client_.OnRead = [this](TCustomClient&, const std::uint8_t* bytes, int count) {
    ReceiveData(bytes, count);
  };
  client_.OnDisconnect = [this](TCustomClient&) {
    connected_ = false;
    if (OnDisconnect) OnDisconnect(*this);
  };
}

TBNLS::~TBNLS() {
  OnConnect = nullptr;
  OnVersionByte = nullptr;
  OnChooseNLSRevision = nullptr;
  OnDisconnect = nullptr;
  OnLogonChallenge = nullptr;
  OnLogonProof = nullptr;
  OnHashData = nullptr;
  client_.OnConnect = nullptr;
  client_.OnRead = nullptr;
  client_.OnDisconnect = nullptr;
}

void TBNLS::Connect(const std::string& host, int port) {
  client_.Connect(host, port);
}

void TBNLS::Disconnect() {
  client_.Disconnect();
  connected_ = false;
}

void TBNLS::SendRequest(TBuffer& request) {
  // Dropped by the client when there is no connection.
  client_.Send(request.Data(), request.Length());
}

void TBNLS::RequestVersionByte(std::uint32_t product) {
  TBuffer b = NewRequest(BNLS_REQUESTVERSIONBYTE);
  b.AddDWord(product);
  b.PatchBnlsLength();
  SendRequest(b);
}

void TBNLS::ChooseNLSRevision(std::uint32_t revision) {
  TBuffer b;
  b.AddWord(7);  // always 7 bytes long
  b.AddByte(BNLS_CHOOSENLSREVISION);
  b.AddDWord(revision);
  SendRequest(b);
}

void TBNLS::LogonChallenge(const std::string& account, const std::string& password) {
  TBuffer b = NewRequest(BNLS_LOGONCHALLENGE);
  b.AddNTString(account);
  b.AddNTString(password);
  b.PatchBnlsLength();
  SendRequest(b);
}

void TBNLS::LogonProof(const TBuffer& server_data) {
  TBuffer b = NewRequest(BNLS_LOGONPROOF);
  // A short server answer is sent padded with zeros rather than read past its end.
  const int have = std::min(server_data.Length(), kProofDataSize);
  b.AddData(server_data.Data(), have);
  for (int i = have; i < kProofDataSize; ++i) b.AddByte(0);
  b.PatchBnlsLength();
  SendRequest(b);
}

void TBNLS::HashData(const std::string& data) {
  TBuffer b = NewRequest(BNLS_HASHDATA);
  b.AddDWord(static_cast<std::uint32_t>(data.size()));
  b.AddDWord(kHashFlags);
  b.AddString(data);
  b.PatchBnlsLength();
  SendRequest(b);
}

void TBNLS::ReceiveData(const std::uint8_t* bytes, int count) {
  if (count > 0) receive_.AddData(bytes, count);
  while (receive_.Length() >= kHeaderSize) {
    const std::uint8_t* p = receive_.Data();
    const int length = p[0] | (p[1] << 8);
    if (receive_.Length() < length) return;  // wait for the rest
    const std::uint8_t id = p[2];
    // Each answer is decoded from its own bytes only, so a short, long or unknown answer
    // never eats into the next one; a length below the header still moves on by 3.
    const int body_size = std::max(length, kHeaderSize) - kHeaderSize;
    TBuffer body;
    body.AddData(p + kHeaderSize, body_size);
    receive_.Skip(kHeaderSize + body_size);
    if (!HandleAnswer(id, body)) return;
  }
}

bool TBNLS::HandleAnswer(std::uint8_t id, TBuffer& body) {
  std::weak_ptr<bool> alive = alive_;
  switch (id) {
    case BNLS_REQUESTVERSIONBYTE: {
      body.GetDWord();  // the product number, as asked
      const std::uint32_t version_byte = body.GetDWord();
      if (OnVersionByte) OnVersionByte(*this, version_byte);
      break;
    }
    case BNLS_CHOOSENLSREVISION: {
      const std::uint32_t result = body.GetDWord();
      if (OnChooseNLSRevision) OnChooseNLSRevision(*this, result);
      break;
    }
    case BNLS_LOGONCHALLENGE:
    case BNLS_LOGONPROOF:
    case BNLS_HASHDATA: {
      TAnswerEvent& handler = id == BNLS_LOGONCHALLENGE ? OnLogonChallenge
                              : id == BNLS_LOGONPROOF   ? OnLogonProof
                                                        : OnHashData;
      if (handler) handler(*this, std::make_unique<TBuffer>(std::move(body)));
      break;
    }
    default:
      break;  // not an answer to anything this client asks
  }
  return !alive.expired();
}

}  // namespace corvane
