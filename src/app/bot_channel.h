#pragma once
// A byte stream to a running bot's control socket: the socket itself for a bot on this
// machine, or the pipes of `ssh [user@]host corvane --home HOME --control-stdio` for one
// elsewhere, so that SSH does the authentication and the encryption.

#include <sys/types.h>

#include <optional>
#include <string>

namespace corvane {

// "[[user@]host:]HOME": a host comes before the first ':' when no '/' does; "host:" alone
// is the bot of the host's default home.
struct TAttachTarget {
  std::string host;  // "[user@]host"; empty for this machine
  std::string home;  // empty: the host's default
  bool operator==(const TAttachTarget&) const = default;
};
std::optional<TAttachTarget> ParseAttachTarget(const std::string& text, std::string& error);

class TBotChannel {
 public:
  // The program run for a host: "ssh", or $CORVANE_SSH (a wrapper with options of its own).
  static std::string SshProgram();
  // Connects to the bot of `target`. Nothing, and why, when there is none on this machine or
  // ssh cannot be started (a bot missing on a host shows as the stream ending at once).
  static std::optional<TBotChannel> Open(const TAttachTarget& target, std::string& error);

  TBotChannel(TBotChannel&& other) noexcept;
  TBotChannel& operator=(TBotChannel&& other) noexcept;
  TBotChannel(const TBotChannel&) = delete;
  TBotChannel& operator=(const TBotChannel&) = delete;
  // Closes the stream and reaps ssh, ending it when it lingers.
  ~TBotChannel();

  int ReadFd() const { return read_fd_; }
  int WriteFd() const { return write_fd_; }
  // No more requests: the bot answers what it has and closes its side.
  void EndWriting();
  std::string Describe() const { return description_; }
  // What the destructor does, at once.
  void Release();

 private:
  TBotChannel() = default;

  int read_fd_ = -1;
  int write_fd_ = -1;  // the same as read_fd_ for a socket
  pid_t child_ = -1;
  std::string description_;
};

}  // namespace corvane
