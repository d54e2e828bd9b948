// Any byte stream from a BNLS server, cut into blocks anywhere: the client must frame it
// without crashing, hanging or reading out of bounds.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bnet/bnls.h"
#include "fuzz_blocks.h"
#include "net/main_loop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static corvane::TMainLoop loop;
  if (size < 2) return 0;
  corvane::TBNLS bnls(loop);  // a fresh stream: no thread until it connects
  // Touch every byte handed on, so that the sanitizers see any bad one.
  auto use = [](corvane::TBNLS&, std::unique_ptr<corvane::TBuffer> b) {
    volatile std::uint8_t sum = 0;
    for (int i = 0; i < b->Length(); ++i) sum = static_cast<std::uint8_t>(sum + b->Data()[i]);
  };
  bnls.OnLogonChallenge = use;
  bnls.OnLogonProof = use;
  bnls.OnHashData = use;
  bnls.OnVersionByte = [](corvane::TBNLS&, std::uint32_t) {};
  bnls.OnChooseNLSRevision = [](corvane::TBNLS&, std::uint32_t) {};

  corvane::fuzz::FeedInBlocks(data, size, 2,
                              [&](const std::uint8_t* p, int n) { bnls.ReceiveData(p, n); });
  return 0;
}
