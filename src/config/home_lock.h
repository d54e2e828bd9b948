#pragma once
// One bot per home, and no change to the home behind a running bot's back: a bot keeps its
// users, commands and settings in memory and saves them over the files at exit, so anything
// written there meanwhile would be lost. Advisory flock locks on two files in the home:
//   corvane.lock         held by the running bot for its whole life (it holds the bot's
//                        process id); a command-line writer holds it for its short run
//   corvane-write.lock   taken first, waiting, by every writer and by a starting bot, so that
//                        writers queue instead of overwriting each other
// The kernel drops both with the process, however it ends (even SIGKILL), so a crash leaves
// no stale lock; the descriptors are closed on exec, so no child program keeps them.

#include <optional>
#include <string>

namespace corvane {

class THomeLock {
 public:
  static constexpr char kBotLockName[] = "corvane.lock";
  static constexpr char kWriteLockName[] = "corvane-write.lock";

  // The home for a running bot, until the lock is destroyed. Waits while a command-line
  // writer is at work; refused (empty, `refusal` tells why, naming the running bot's process
  // id) while another bot runs on the home. Creates the home folder when it is missing.
  static std::optional<THomeLock> ForBot(const std::string& home, std::string& refusal);
  // ForBot on `given_home` made absolute (given back in `home`), which then becomes the
  // current folder, so that files a plug-in or the session writes by a relative name land in
  // the home, not wherever the program was started. Refused as ForBot is, or when the home
  // cannot be entered.
  static std::optional<THomeLock> EnterForBot(const std::string& given_home, std::string& home,
                                              std::string& refusal);
  // The home for one change from the command line. Waits for another writer; refused while
  // a bot runs on the home. Creates the home folder when it is missing.
  static std::optional<THomeLock> ForWriter(const std::string& home, std::string& refusal);

  THomeLock(THomeLock&& other) noexcept;
  THomeLock& operator=(THomeLock&& other) noexcept;
  THomeLock(const THomeLock&) = delete;
  THomeLock& operator=(const THomeLock&) = delete;
  ~THomeLock();

 private:
  THomeLock() = default;
  static std::optional<THomeLock> Take(const std::string& home, bool bot, std::string& refusal);
  void Release();

  int bot_fd_ = -1;    // corvane.lock
  int write_fd_ = -1;  // corvane-write.lock; a bot lets it go once it holds corvane.lock
};

}  // namespace corvane
