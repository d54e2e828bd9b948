#pragma once
// The profile and user operations from the command line: headless users have no settings
// dialog, so `corvane profile ...` and `corvane users ...` give them the same operations,
// with the same rules and texts the dialogs use. The commands that change the home wait for
// one another and are refused while a bot runs there (THomeLock); the listings are not.

#include <ostream>
#include <string>
#include <vector>

#include "config/home.h"

namespace corvane {

// Exit codes of the command-line operations.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the operation was refused or failed
inline constexpr int kExitUsage = 2;   // unknown sub-command, missing or bad argument

// `args` are the words after "profile": list | create NAME [--from PARENT] | use NAME |
// delete NAME | rename OLD NEW | set NAME Section.Key=value...
int RunProfileCommand(const THomePaths& paths, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err);

// `args` are the words after "users": add NAME ACCESS [FLAGS] | list
int RunUsersCommand(const THomePaths& paths, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err);

}  // namespace corvane
