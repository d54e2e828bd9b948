#pragma once
// The profile and user operations from the command line: headless users have no settings
// dialog, so `corvane profile ...` and `corvane users ...` give them the same operations,
// with the same rules and texts the dialogs use. While a bot runs on the home they go
// through its control socket, so that the bot makes the change at once (it would save its
// own copy over the files); otherwise they act on the files, and the commands that change
// them wait for one another (THomeLock). Either way they print the same. `say` and
// `status` need a running bot.

#include <ostream>
#include <string>
#include <vector>

#include "config/home.h"

namespace corvane {

// Exit codes of the command-line operations.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;      // the operation was refused or failed
inline constexpr int kExitUsage = 2;       // unknown sub-command, missing or bad argument
inline constexpr int kExitNotRunning = 3;  // `status`: no bot runs on the home

// `args` are the words after "profile": list | create NAME [--from PARENT] | use NAME |
// delete NAME | rename OLD NEW | set NAME Section.Key=value...
int RunProfileCommand(const THomePaths& paths, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err);

// `args` are the words after "users": add NAME ACCESS [FLAGS] | list
int RunUsersCommand(const THomePaths& paths, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err);

// `words` are said in the channel, joined by blanks.
int RunSayCommand(const THomePaths& paths, const std::vector<std::string>& words, std::ostream& out,
                  std::ostream& err);

// `args` are none: prints the running bot's state, one "key: value" a line.
int RunStatusCommand(const THomePaths& paths, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err);

}  // namespace corvane
