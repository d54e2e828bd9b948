// Taking bytes off the front of a buffer must cost the same per byte whatever lies behind
// it: TBuffer's field reads, and the client's pending output leaving in 1023-byte sends.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "net/Buffer.h"
#include "net/NetObjs.h"
#include "net/main_loop.h"
#include "net/timeouts.h"

namespace {

void BM_ReadDWordFields(benchmark::State& state) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  corvane::TBuffer source;
  for (std::size_t i = 0; i < bytes / 4; ++i) source.AddDWord(static_cast<std::uint32_t>(i));
  const auto fields = static_cast<std::int64_t>(bytes / 4);
  for (auto _ : state) {
    corvane::TBuffer b(source);  // the copy is not timed: only the reads are
    const auto start = std::chrono::steady_clock::now();
    while (b.Length() >= 4) benchmark::DoNotOptimize(b.GetDWord());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations() * fields);
  state.counters["ns_per_field"] =
      benchmark::Counter(static_cast<double>(state.iterations() * fields),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadDWordFields)->Arg(1 << 10)->Arg(1 << 20)->UseManualTime();

void BM_ReceivePattern(benchmark::State& state) {
  // Blocks appended, small messages read off the front: the receive buffer's life.
  const auto backlog = static_cast<std::size_t>(state.range(0));
  corvane::TBuffer b;
  for (std::size_t i = 0; i < backlog / 4; ++i) b.AddDWord(1);
  for (auto _ : state) {
    b.AddDWord(2);
    b.AddWord(3);
    b.AddNTString("hello");
    benchmark::DoNotOptimize(b.GetDWord());
    benchmark::DoNotOptimize(b.GetWord());
    benchmark::DoNotOptimize(b.GetNTString());
  }
}
BENCHMARK(BM_ReceivePattern)->Arg(1 << 10)->Arg(1 << 20);

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_ClientDrain(benchmark::State& state) {
  // A server that reads at once takes `total` bytes, queued in pieces whenever the pending
  // output has room for one: small pieces keep it topped up, a piece as large as the cap
  // makes the client drain a full buffer each time. cpu_s is the whole process's processor
  // time per run, nearly all of it the client thread's.
  const auto total = static_cast<std::uint64_t>(state.range(0));
  const auto piece_size = static_cast<std::size_t>(state.range(1));
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 1) != 0) {
    state.SkipWithError("cannot listen on 127.0.0.1");
    return;
  }
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::atomic<std::uint64_t> received{0};
  std::thread reader([&] {
    const int peer = accept(listener, nullptr, nullptr);
    std::vector<char> block(1 << 16);
    for (ssize_t n; peer >= 0 && (n = recv(peer, block.data(), block.size(), 0)) > 0;) {
      received += static_cast<std::uint64_t>(n);
    }
    if (peer >= 0) close(peer);
  });

  corvane::SocketStartup();
  {
    corvane::TMainLoop loop;
    corvane::TCustomClient client(loop);
    client.Connect("127.0.0.1", ntohs(addr.sin_port));
    if (!loop.RunUntil([&] { return client.State() == corvane::TClientState::Connected; }, 5000)) {
      state.SkipWithError("could not connect");
    }
    const std::vector<std::uint8_t> piece(piece_size, 'x');
    double cpu = 0;
    std::uint64_t target = 0;
    for (auto _ : state) {
      const double cpu0 = ProcessCpuSeconds();
      for (std::uint64_t queued = 0; queued < total && client.Active();) {
        if (client.PendingOutput() + piece.size() <= corvane::kMaxPendingOutput) {
          client.Send(piece.data(), static_cast<int>(piece.size()));
          queued += piece.size();
        } else {
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
      }
      target += total;
      while (client.Active() && received.load() < target) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      cpu += ProcessCpuSeconds() - cpu0;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(total));
    state.counters["cpu_s"] = benchmark::Counter(
        cpu / static_cast<double>(std::max<std::int64_t>(1, state.iterations())));
    client.Disconnect();
    loop.RunUntil([&] { return !client.Active(); }, 5000);
  }
  corvane::SocketCleanup();
  shutdown(listener, SHUT_RDWR);
  reader.join();
  close(listener);
}
BENCHMARK(BM_ClientDrain)
    ->Args({8 << 20, 64 << 10})
    ->Args({8 << 20, corvane::kMaxPendingOutput})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
