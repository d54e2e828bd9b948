#include "config/home_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string Reason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// 0 once the lock is held, else the errno of the failure (EWOULDBLOCK: someone holds it).
int Lock(int fd, int how) {
  while (flock(fd, how) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// The process id the holding bot wrote, or "" when there is none to read.
std::string HolderPid(int fd) {
  char text[32];
  const ssize_t n = pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return "";
  std::string pid(text, static_cast<std::size_t>(n));
  pid.erase(pid.find_last_not_of(" \n") + 1);
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) return "";
  return pid;
}

// Without it a refused bot or writer cannot name this one; no reason to stop.
bool WritePid(int fd) {
  const std::string pid = std::to_string(getpid()) + "\n";
  return ftruncate(fd, 0) == 0 &&
         pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
}

}  // namespace

std::optional<THomeLock> THomeLock::ForBot(const std::string& home, std::string& refusal) {
  return Take(home, true, refusal);
}

std::optional<THomeLock> THomeLock::EnterForBot(const std::string& given_home, std::string& home,
                                                std::string& refusal) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(given_home, ec);
  home = ec ? given_home : absolute.string();  // if not, ForBot says why
  std::optional<THomeLock> lock = ForBot(home, refusal);
  if (lock && chdir(home.c_str()) != 0) {
    refusal = "cannot enter the home folder " + home;
    return std::nullopt;
  }
  return lock;
}

std::optional<THomeLock> THomeLock::ForWriter(const std::string& home, std::string& refusal) {
  return Take(home, false, refusal);
}

std::optional<THomeLock> THomeLock::Take(const std::string& home, bool bot, std::string& refusal) {
  std::error_code ec;
  const fs::path dir = fs::absolute(home, ec);
  if (ec) {
    refusal = "cannot find the home folder " + home + ": " + ec.message();
    return std::nullopt;
  }
  fs::create_directories(dir, ec);  // a first start on a new home
  if (ec) {
    refusal = "cannot create the home folder " + dir.string() + ": " + ec.message();
    return std::nullopt;
  }
  const auto open_file = [&](const char* name, int& fd) {
    const fs::path path = dir / name;
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) refusal = "cannot open " + path.string() + ": " + Reason(errno);
    return fd >= 0;
  };
  const auto failed = [&](const char* name, int error) {
    refusal = "cannot lock " + (dir / name).string() + ": " + Reason(error);
    return std::nullopt;
  };

  THomeLock lock;  // what is held so far goes with it on every early return
  if (!open_file(kWriteLockName, lock.write_fd_)) return std::nullopt;
  // Writers queue here; a bot waits here only for the writer at work.
  if (const int error = Lock(lock.write_fd_, LOCK_EX)) return failed(kWriteLockName, error);
  if (!open_file(kBotLockName, lock.bot_fd_)) return std::nullopt;
  // Held by anyone else only when a bot runs: every other taker holds the write lock first.
  if (const int error = Lock(lock.bot_fd_, LOCK_EX | LOCK_NB)) {
    if (error != EWOULDBLOCK) return failed(kBotLockName, error);
    const std::string pid = HolderPid(lock.bot_fd_);
    const std::string who = pid.empty() ? "Corvane bot" : "Corvane bot (process " + pid + ")";
    refusal = bot ? "another " + who + " is running on " + dir.string() + "; stop it first"
                  : "a " + who + " is running on " + dir.string() +
                        " and would overwrite this change when it exits; stop it first";
    return std::nullopt;
  }
  if (bot) {
    // Written before the write lock goes, so that whoever is refused next can read it.
    WritePid(lock.bot_fd_);
    close(std::exchange(lock.write_fd_, -1));
  }
  return lock;
}

THomeLock::THomeLock(THomeLock&& other) noexcept
    : bot_fd_(std::exchange(other.bot_fd_, -1)), write_fd_(std::exchange(other.write_fd_, -1)) {}

THomeLock& THomeLock::operator=(THomeLock&& other) noexcept {
  if (this != &other) {
    Release();
    bot_fd_ = std::exchange(other.bot_fd_, -1);
    write_fd_ = std::exchange(other.write_fd_, -1);
  }
  return *this;
}

THomeLock::~THomeLock() {
  Release();
}

void THomeLock::Release() {
  // Closing a descriptor drops its lock. The bot lock goes first: a bot that the write lock
  // lets through must find it free.
  for (int* fd : {&bot_fd_, &write_fd_}) {
    if (*fd >= 0) close(std::exchange(*fd, -1));
  }
}

}  // namespace corvane
