// Command-line entry of the bot: the headless front end and the profile and user
// operations.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "config/home.h"
#include "headless/cli.h"
#include "headless/headless.h"
#ifdef CORVANE_HAS_WINDOW
#include "ui/run_window.h"
#endif
#include "version.h"

namespace {

constexpr char kUsage[] =
    "Usage: corvane [--home DIR]            (the window, in a build that has one)\n"
    "       corvane [--home DIR] --headless\n"
    "       corvane [--home DIR] profile list\n"
    "       corvane [--home DIR] profile create NAME [--from PARENT]\n"
    "       corvane [--home DIR] profile use NAME\n"
    "       corvane [--home DIR] profile delete NAME\n"
    "       corvane [--home DIR] profile rename OLD NEW\n"
    "       corvane [--home DIR] profile set NAME Section.Key=value...\n"
    "       corvane [--home DIR] users add NAME ACCESS [FLAGS]\n"
    "       corvane [--home DIR] users list\n"
    "       corvane --help | --version\n"
    "\n"
    "A chat bot for Battle.net-protocol chat servers.\n"
    "  --headless   run without a window: chat to stdout, stdin is the input line\n"
    "  --home DIR   the folder holding profiles.ini, profiles/, lang/ and plugins/\n"
    "               (default: $CORVANE_HOME, else for an installed program\n"
    "               $XDG_DATA_HOME/corvane or ~/.local/share/corvane, else the\n"
    "               program's own folder)\n"
    "The profile and users commands act on the current profile's files, as the\n"
    "settings dialog would.\n";

// The program's own folder: its home when it runs from its build or a portable folder.
std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

int UsageError(const std::string& what) {
  std::cerr << "corvane: " << what << " (try --help)\n";
  return corvane::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string home;
  bool headless = false;
  std::vector<std::string> command;  // "profile ..." or "users ..."
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!command.empty()) {
      command.push_back(arg);
    } else if (arg == "--version") {
      std::printf("corvane %s\n", corvane::kVersion);
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--home") {
      if (i + 1 >= argc) return UsageError("--home needs a folder");
      home = argv[++i];
    } else if (arg.rfind("--home=", 0) == 0) {
      home = arg.substr(7);
    } else if (arg == "--headless") {
      headless = true;
    } else if (arg == "profile" || arg == "users") {
      command.push_back(arg);
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  const corvane::THomePaths paths = corvane::ResolveHome(home, ProgramFolder());
  std::string error;
  if (paths.per_user && !corvane::EnsureHome(paths.home, error)) {
    std::cerr << "corvane: " << error << '\n';
    return corvane::kExitFailed;
  }
  if (!command.empty()) {
    if (headless) return UsageError("--headless does not go with '" + command[0] + "'");
    const std::vector<std::string> rest(command.begin() + 1, command.end());
    return command[0] == "profile" ? corvane::RunProfileCommand(paths, rest, std::cout, std::cerr)
                                   : corvane::RunUsersCommand(paths, rest, std::cout, std::cerr);
  }
  if (headless) return corvane::RunHeadless(paths);
#ifdef CORVANE_HAS_WINDOW
  return corvane::RunWindow(paths);
#else
  return UsageError("this build has no window; run with --headless");
#endif
}
