#pragma once
// What a process has cost, read from /proc: for the benchmarks that run the real program.

#include <sys/types.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace corvane::bench {

// Nanoseconds on a processor of all the threads of a process (finer than clock ticks).
inline long long CpuNs(pid_t pid) {
  long long total = 0;
  std::error_code ec;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream in(task.path() / "schedstat");
    long long ns = 0;
    if (in >> ns) total += ns;
  }
  return total;
}

inline long ResidentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

}  // namespace corvane::bench
