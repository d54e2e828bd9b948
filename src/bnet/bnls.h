#pragma once
// Client of a BNLS logon-hashing server: asks for the product's version byte, the NLS
// revision, the account logon challenge and proof, and a plain password hash, and hands
// every answer to the session.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/Buffer.h"
#include "net/NetObjs.h"

namespace corvane {

class TBNLS {
 public:
  using TConnectEvent = std::function<void(TBNLS& sender, int code)>;
  using TValueEvent = std::function<void(TBNLS& sender, std::uint32_t value)>;
  using TDisconnectEvent = std::function<void(TBNLS& sender)>;
  // The answer's payload; the receiver owns it from then on.
  using TAnswerEvent = std::function<void(TBNLS& sender, std::unique_ptr<TBuffer> answer)>;

  explicit TBNLS(TEventLoop& loop);
  ~TBNLS();
  TBNLS(const TBNLS&) = delete;
  TBNLS& operator=(const TBNLS&) = delete;

  void Connect(const std::string& host, int port);
  void Disconnect();

  void RequestVersionByte(std::uint32_t product);
  void ChooseNLSRevision(std::uint32_t revision);
  void LogonChallenge(const std::string& account, const std::string& password);
  // Sends the first 64 bytes of `server_data` (salt and server key); the buffer is unchanged.
  void LogonProof(const TBuffer& server_data);
  void HashData(const std::string& data);

  // The client's receive handler: frames the stream and hands each complete answer on.
  void ReceiveData(const std::uint8_t* bytes, int count);

  // True from the end of the first connection attempt until a close is reported or asked
  // for, whatever the attempt's result.
  bool Connected() const { return connected_; }
  TCustomClient& Client() { return client_; }

  TConnectEvent OnConnect;
  TValueEvent OnVersionByte;
  TValueEvent OnChooseNLSRevision;
  TDisconnectEvent OnDisconnect;
  TAnswerEvent OnLogonChallenge;
  TAnswerEvent OnLogonProof;
  TAnswerEvent OnHashData;

 private:
  void SendRequest(TBuffer& request);
  // False when a callback destroyed this object.
  bool HandleAnswer(std::uint8_t id, TBuffer& body);

  TCustomClient client_;
  TBuffer receive_;
  bool connected_ = false;
  // Lets the framing loop notice that a callback destroyed this object.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
