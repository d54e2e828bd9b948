// CPU cost of a connected client that has nothing to do. A listening socket on 127.0.0.1
// accepts the connection and then stays silent; the process measures its own CPU time
// over the idle period (the main thread sleeps, so nearly all of it is the client's).
//
//   idle_client_bench [seconds]   (default 10)

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "net/NetObjs.h"
#include "net/main_loop.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  corvane::SocketStartup();

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 1) != 0) {
    std::perror("listen");
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);

  corvane::TMainLoop loop;
  corvane::TCustomClient client(loop);
  int code = -1;
  client.OnConnect = [&](corvane::TCustomClient&, int c) { code = c; };
  client.Connect("127.0.0.1", ntohs(addr.sin_port));
  int peer = accept(listener, nullptr, nullptr);
  if (!loop.RunUntil([&] { return client.State() == corvane::TClientState::Connected; }, 5000) ||
      code != 0 || peer < 0) {
    std::fprintf(stderr, "could not connect\n");
    return 1;
  }

  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = CpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::printf(
      "idle connected client: %.4f s CPU over %.1f s = %.4f%% of one core (target <= 0.05%%)\n",
      cpu, wall, 100.0 * cpu / wall);
  close(peer);
  close(listener);
  return cpu / wall <= 0.0005 ? 0 : 1;
}
