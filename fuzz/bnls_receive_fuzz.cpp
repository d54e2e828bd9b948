// Any byte stream from a BNLS server, cut into blocks anywhere: the client must frame it
// without crashing, hanging or reading out of bounds.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bnet/bnls.h"
#include "net/main_loop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static corvane::TMainLoop loop;
  if (size < 2)
    return 0;
  // The first two bytes choose where the rest is cut into three blocks.
  const std::size_t body = size - 2;
  const std::size_t cut1 = body ? data[0] % (body + 1) : 0;
  const std::size_t cut2 = cut1 + (body - cut1 ? data[1] % (body - cut1 + 1) : 0);
  const std::uint8_t* p = data + 2;

  corvane::TBNLS bnls(loop);  // a fresh stream: no thread until it connects
  // Touch every byte handed on, so that the sanitizers see any bad one.
  auto use = [](corvane::TBNLS&, std::unique_ptr<corvane::TBuffer> b) {
    volatile std::uint8_t sum = 0;
    for (int i = 0; i < b->Length(); ++i)
      sum = static_cast<std::uint8_t>(sum + b->Data()[i]);
  };
  bnls.OnLogonChallenge = use;
  bnls.OnLogonProof = use;
  bnls.OnHashData = use;
  bnls.OnVersionByte = [](corvane::TBNLS&, std::uint32_t) {};
  bnls.OnChooseNLSRevision = [](corvane::TBNLS&, std::uint32_t) {};

  bnls.ReceiveData(p, static_cast<int>(cut1));
  bnls.ReceiveData(p + cut1, static_cast<int>(cut2 - cut1));
  bnls.ReceiveData(p + cut2, static_cast<int>(body - cut2));
  return 0;
}
